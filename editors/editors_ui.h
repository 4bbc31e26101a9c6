// Callbacks of the carrier editor, the impairments editor, the carrier
// assistant and the option dialogs.
#pragma once

// Main panel: Add, the carrier list (double click edits, right click makes the
// reference carrier), Delete, Assistant.
int AddLine(int panel, int control, int event, void* callback_data, int data1, int data2);
int EditLine(int panel, int control, int event, void* callback_data, int data1, int data2);
int DeleteLine(int panel, int control, int event, void* callback_data, int data1, int data2);
int LAsist(int panel, int control, int event, void* callback_data, int data1, int data2);

// Carrier editor.
int EditOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int EditCancel(int panel, int control, int event, void* callback_data, int data1, int data2);
// The modulation, filter and data-source rules on the panel they are given
// (editor or assistant). ProcessMod runs all three.
int ProcessMod(int panel, int control, int event, void* callback_data, int data1, int data2);
int ProcessFilt(int panel, int control, int event, void* callback_data, int data1, int data2);
int ProcessDSource(int panel, int control, int event, void* callback_data, int data1, int data2);
int IQBrowse(int panel, int control, int event, void* callback_data, int data1, int data2);
int FilterBrowse(int panel, int control, int event, void* callback_data, int data1, int data2);
int DataBrowse(int panel, int control, int event, void* callback_data, int data1, int data2);

// Impairments editor.
int EditInpair(int panel, int control, int event, void* callback_data, int data1, int data2);
int EditInpairOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int EditInpairCancel(int panel, int control, int event, void* callback_data, int data1, int data2);
int ProcessInpairType(int panel, int control, int event, void* callback_data, int data1, int data2);

// Carrier assistant.
int AsistantOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int AsistantCancel(int panel, int control, int event, void* callback_data, int data1, int data2);

// Option dialogs (menu items, then their buttons).
void GeneralOptions(int menu_bar, int menu_item, void* callback_data, int panel);
void InstrumentOptions(int menu_bar, int menu_item, void* callback_data, int panel);
void CompileOptions(int menu_bar, int menu_item, void* callback_data, int panel);
int GeneralOptOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int GeneralCancel(int panel, int control, int event, void* callback_data, int data1, int data2);
int InstrumentOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int InstrumentCancel(int panel, int control, int event, void* callback_data, int data1, int data2);
int ProcessNorm(int panel, int control, int event, void* callback_data, int data1, int data2);
int CompileOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int CompileCancel(int panel, int control, int event, void* callback_data, int data1, int data2);

// The menu labels of the two external applications, from the settings (an
// unnamed one shows "Application 1" / "Application 2").
void SetAppMenuLabels();
