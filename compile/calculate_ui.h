// The GUI's compile commands.
#pragma once

// The whole compile run of the GUI: output preparation, the engine's run with
// the progress panel and the analysis panel, and the cancel button.
void Calculate();

// Main panel buttons (act on a left click) and the menu command: dim the main
// panel while Calculate runs.
int Compile2(int panel, int control, int event, void* callback_data, int data1, int data2);
int Compile3(int panel, int control, int event, void* callback_data, int data1, int data2);
void AcquireData(int menu_bar, int menu_item, void* callback_data, int panel);

// Analysis panel set-up with the plan of the reference carrier (after the
// filters are designed).
void SetUpAnalysisPanel();
