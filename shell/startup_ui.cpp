// Start-up, exit, and the small menu actions: help, external applications, about.
#include "shell/startup_ui.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "editors/editors_ui.h"
#include "editors/options.h"
#include "shell/filemenu_ui.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/recordfiles.h"
#include "shell/safefile.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"

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

// "File Opening Error (N)" and, on the next line, the file and the reason.
void FileOpeningError(int number, const std::string& path, const char* reason) {
    std::string text = "File Opening Error (" + std::to_string(number) + ")\n" + path + ": " + reason;
    MessagePopup("", text.c_str());
}

// The settings of a first start (uldoc's defaults), with waveforms and data
// in the user's home.
void SetFirstStartSettings(GlobalSettings* s) {
    SetFirstStartDefaults(s);
    const char* home = std::getenv("HOME");
    if (home && *home && std::strlen(home) < sizeof s->waveform_dir) {
        SetField(s->waveform_dir, home);
        SetField(s->data_dir, home);
    }
}

// "globals.set" of the program's directory: a first start (no file) gets the
// defaults silently; a file that cannot be read or is short is reported.
void ReadStartSettings() {
    std::memset(&globals, 0, sizeof globals);
    char dir[4096];
    std::string path = GetProjectDir(dir) == 0 ? std::string(dir) + "/" + SETTINGS_FILE
                                               : std::string(SETTINGS_FILE);
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && errno == ENOENT) {
        SetFirstStartSettings(&globals);
        return;
    }
    if (ReadSettingsFile(path.c_str(), &globals) < 0) {
        FileOpeningError(0, path, std::strerror(errno));
        return;
    }
    if (st.st_size < SETTINGS_FILE_SIZE) {
        char reason[96];
        std::snprintf(reason, sizeof reason, "holds %lld of %ld bytes; the rest is zero",
                      static_cast<long long>(st.st_size), SETTINGS_FILE_SIZE);
        FileOpeningError(0, path, reason);
    }
}

// A relative argument names a file of the directory the program was started
// in, which the start-up leaves for the program's own.
std::string StartDirPath(const char* argument) {
    if (!argument || argument[0] == '/' || argument[0] == 0) return argument ? argument : "";
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return argument;
    std::string path = cwd;
    if (path.back() != '/') path += '/';
    return path + argument;
}

}  // namespace

void StartUp(int argc, char** argv) {
    // Qt adopts the user's locale; the number formats of every file we read
    // and write are the C locale's.
    std::setlocale(LC_NUMERIC, "C");
    core_hooks.message = ShowCoreMessage;
    RegisterUldoCallbacks();
    const std::string table_argument = argc == 2 ? StartDirPath(argv[1]) : std::string();

    InitPI();
    signals[0].frequency_hz = -1.0f;
    BuildDvbTables();
    GoToProjectDir();

    ReadStartSettings();
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
        if (table_argument.size() >= sizeof globals.table_file) {
            FileOpeningError(3, table_argument, "the path is longer than 255 characters");
            return;
        }
        SetField(globals.table_file, table_argument);
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
    char dir[4096];
    std::string path = GetProjectDir(dir) == 0 ? std::string(dir) + "/" + SETTINGS_FILE
                                               : std::string(SETTINGS_FILE);
    if (WriteSettingsFile(path.c_str(), &globals) != 0)
        MessagePopup("", (std::string("File Opening Error (1)\n") + safe_file_problem).c_str());
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
    // Paragraphs only: the pop-up wraps the lines to its width.
    MessagePopup("Help",
                 "ULDO compiles a table of up to 100 carriers into one seamlessly repeating "
                 "waveform record for an arbitrary waveform generator.\n\n"
                 "File: load (Ctrl+O), append, start a new (Ctrl+N), save (Ctrl+S) and save as "
                 "(Ctrl+Shift+S) carrier tables, as .kvt images or .json text; load and save "
                 "setups (.set or .json), the compile settings. Append adds a table's carriers "
                 "behind the ones in use; Save keeps writing the table that was loaded. The "
                 "carrier marked * is the reference carrier: it sets the record's timing.\n\n"
                 "Carriers: Add opens the carrier editor for a new carrier, a double click on a "
                 "row edits that carrier, a right click makes it the reference carrier, Delete "
                 "removes the selected one. The editor dims what the chosen modulation does not "
                 "use. The Assistant appends a comb of evenly spaced carriers with stepped or "
                 "random phases. The Options menu holds the directories and the two Tools "
                 "applications, the instrument (target type, destination, addresses) and the "
                 "compile settings (record length, clock ratio, passes, normalisation).\n\n"
                 "Compile (F5): plans the record from the reference carrier, writes the waveform "
                 "files (or sends them over GPIB or FTP, as the setup says) and shows the "
                 "analysis panel with the plan, the pulse, the spectrum and the I/Q plot; from "
                 "there the power table and the CCDF. Cancel stops a compile; the file it was "
                 "writing keeps what it held before.\n\n"
                 "Settings are kept in \"globals.set\" in the program's directory (ULDO_HOME) "
                 "and written back at exit (Ctrl+Q). The command-line compiler uldoc compiles "
                 "the same files.");
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
