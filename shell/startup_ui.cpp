// Start-up, exit, and the small menu actions: help, external applications, about.
#include "shell/startup.h"

#include <clocale>
#include <cstring>

#include "shell/filemenu.h"
#include "shell/hooks.h"
#include "shell/panels.h"
#include "shell/recordfiles.h"
#include "shell/uldo.h"
#include "shell/userint.h"

void BuildDvbTables();

namespace {

constexpr const char* UIR = "uldo.uir";
constexpr const char* SETTINGS_FILE = "globals.set";

void ShowCoreMessage(const char* title, const char* text) { MessagePopup(title, text); }

void GoToProjectDir() {
    char dir[4096];
    if (GetProjectDir(dir) == 0) SetDir(dir);
}

int LoadCentred(int resource) {
    int panel = LoadPanel(0, UIR, resource);
    SetPanelPos(panel, VAL_AUTO_CENTER, VAL_AUTO_CENTER);
    return panel;
}

void ShowFor(int panel, double seconds) {
    DisplayPanel(panel);
    ProcessDrawEvents();
    Delay(seconds);
    HidePanel(panel);
}

void SetAppMenuLabels() {
    SetMenuBarAttribute(handle0, MENU_APP1, ATTR_ITEM_NAME, FieldText(globals.ext_app1_name).c_str());
    SetMenuBarAttribute(handle0, MENU_APP2, ATTR_ITEM_NAME, FieldText(globals.ext_app2_name).c_str());
}

}  // namespace

void StartUp(int argc, char** argv) {
    // Qt adopts the user's locale; the number formats of every file we read
    // and write are the C locale's.
    std::setlocale(LC_NUMERIC, "C");
    core_hooks.message = ShowCoreMessage;
    RegisterUldoCallbacks();

    InitPI();
    signals[0].frequency_hz = -1.0f;
    BuildDvbTables();   // looks for its data in the start-up directory first
    GoToProjectDir();

    if (ReadSettingsFile(SETTINGS_FILE, &globals) < 0) MessagePopup("", "File Opening Error (0)");
    globals.current_carrier = globals.carrier_count = globals.reference_carrier = 0;
    std::memset(comment, 0, sizeof comment);

    handle = LoadCentred(PANEL_SPLASH);
    handle10 = LoadCentred(PANEL_SPLASH2);
    ShowFor(handle10, 1.0);
    ShowFor(handle, 2.0);
    DiscardPanel(handle);  // the splash is never shown again

    handle = LoadCentred(PANEL_MAIN);
    handle0 = LoadMenuBar(handle, UIR, MENUBAR_MAIN);
    SetAppMenuLabels();
    DisplayPanel(handle);

    handle2 = LoadCentred(PANEL_PROGRESS);
    handle3 = LoadCentred(PANEL_EDITOR);
    handle5 = LoadCentred(PANEL_ANALYSIS);
    handle6 = LoadCentred(PANEL_GENERAL_OPTIONS);
    handle7 = LoadCentred(PANEL_INSTRUMENT_OPTIONS);
    handle8 = LoadCentred(PANEL_COMPILE_OPTIONS);
    handle9 = LoadCentred(PANEL_ABOUT);
    handle11 = LoadCentred(PANEL_ASSISTANT);
    handle13 = LoadCentred(PANEL_PRBS);
    handle19 = LoadCentred(PANEL_PRBS2);
    handle14 = LoadCentred(PANEL_POWER);
    handle18 = LoadCentred(PANEL_MAP_EDITOR);
    handle20 = LoadCentred(PANEL_POINT_EDITOR);
    handle21 = LoadCentred(PANEL_MAP_QAM);
    handle22 = LoadCentred(PANEL_MAP_OFFSET);
    handle23 = LoadCentred(PANEL_MAP_ROTATION);
    handle24 = LoadCentred(PANEL_MAP_SCALE);
    handle25 = LoadCentred(PANEL_MAP_PREVIEW);
    handle26 = LoadCentred(PANEL_PERSISTENCE);
    handle30 = LoadCentred(PANEL_IMPAIRMENTS);

    if (argc == 2) {
        SetField(globals.table_file, argv[1]);
        LoadLastFile(handle0, 0, nullptr, handle);
    }
}

int UldoMain(int argc, char** argv) {
    InitUserInterface(argc, argv);
    StartUp(argc, argv);
    return RunUserInterface();
}

void Shutdown(int, int, void*, int) {
    if (ConfirmPopup("", "Do you really want to exit?") != 1) return;
    GoToProjectDir();
    if (WriteSettingsFile(SETTINGS_FILE, &globals) != 0) MessagePopup("", "File Opening Error (1)");
    QuitUserInterface(0);
}

int MainPanel(int, int, int event, void*, int, int) {
    if (event == EVENT_CLOSE) Shutdown(handle0, MENU_EXIT, nullptr, handle);
    return 0;
}

int ShutDown1(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) Shutdown(handle0, MENU_EXIT, nullptr, handle);
    return 0;
}

void HelpTop(int, int, void*, int) {
    MessagePopup("Help",
                 "ULDO compiles a table of up to 100 carriers into one seamlessly repeating\n"
                 "waveform record for an arbitrary waveform generator.\n\n"
                 "File: load, append, save and reset carrier tables (*.kvt) and setups (*.set).\n"
                 "Double-click a carrier to edit it; right-click makes it the reference carrier.\n"
                 "Compile: builds the record and writes or sends it to the instrument.\n"
                 "See README.md for the command-line compiler uldoc.");
}

void CallExtApp(int, int menu_item, void*, int) {
    if (menu_item == MENU_APP1)
        LaunchExecutable(FieldText(globals.ext_app1_command).c_str());
    else
        LaunchExecutable(FieldText(globals.ext_app2_command).c_str());
}

void OpenAbout(int, int, void*, int) {
    SetPanelPos(handle9, VAL_AUTO_CENTER, VAL_AUTO_CENTER);
    DisplayPanel(handle9);
}

int CloseAbout(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) {
        HidePanel(handle9);
        DisplayPanel(handle);
    }
    return 0;
}
