// Start-up, main loop and exit of the GUI program.
#pragma once

// The whole life of the GUI: start-up, event loop, the loop's return value.
int UldoMain(int argc, char** argv);

// Start-up up to the event loop: records, DVB tables, settings, splash panels,
// every panel, and the table named by a single command-line argument. The
// application object must exist (InitUserInterface). Tests drive it directly.
void StartUp(int argc, char** argv);

void Shutdown(int menu_bar, int menu_item, void* callback_data, int panel);
// Main panel: its window's close button asks to exit, as the Exit command does.
int MainPanel(int panel, int control, int event, void* callback_data, int data1, int data2);
int ShutDown1(int panel, int control, int event, void* callback_data, int data1, int data2);
void HelpTop(int menu_bar, int menu_item, void* callback_data, int panel);
void CallExtApp(int menu_bar, int menu_item, void* callback_data, int panel);
void OpenAbout(int menu_bar, int menu_item, void* callback_data, int panel);
int CloseAbout(int panel, int control, int event, void* callback_data, int data1, int data2);
