// File menu: load, append, save and reset carrier tables; load and save setups.
// Tables and setups are read in either form (binary image or JSON, told by
// content) and written in the form of the file's name (shell/fileforms.h).
#include "shell/filemenu_ui.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "editors/tableview_ui.h"
#include "shell/fileforms.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"

namespace {

constexpr const char* TABLE_PATTERNS = "*.kvt;*.json";
constexpr const char* SETUP_PATTERNS = "*.set;*.json";

// What the core said about a file while a file operation ran: it becomes the
// second line of the operation's own pop-up.
std::string core_says;

void CatchCoreMessage(const char*, const char* text) {
    if (!core_says.empty()) core_says += "\n";
    core_says += text;
}

CoreHooks hooks_before;

void StartCatching() {
    core_says.clear();
    hooks_before = core_hooks;
    core_hooks.message = CatchCoreMessage;
}

void StopCatching() { core_hooks = hooks_before; }

// "File Opening Error (N)" and, on the next line, which file and why.
void FileError(int number, const char* path) {
    std::string text = "File Opening Error (" + std::to_string(number) + ")\n";
    text += core_says.empty() ? std::string(path) + ": " + std::strerror(errno) : core_says;
    MessagePopup("", text.c_str());
}

// Asks for a file; false when the user cancelled or the path does not fit the
// 256-byte path field of the records (it would otherwise be cut silently and
// a later Save would write somewhere else).
bool SelectFile(const char* directory, const char* pattern, const char* pattern_list,
                const char* title, int button, int allow_new_folder, char (&path)[MAX_PATHNAME_LEN]) {
    path[0] = 0;
    int chosen = FileSelectPopup(directory, pattern, pattern_list, title, button, 0, 1, 1,
                                 allow_new_folder, path);
    if (chosen == VAL_NO_FILE_SELECTED || path[0] == 0) return false;
    path[MAX_PATHNAME_LEN - 1] = 0;
    if (std::strlen(path) >= sizeof globals.table_file) {
        MessagePopup("", "The file path is too long: at most 255 characters are kept.");
        return false;
    }
    return true;
}

bool SelectTableToRead(char (&path)[MAX_PATHNAME_LEN]) {
    return SelectFile(FieldText(globals.data_dir).c_str(), "*.kvt *.json", TABLE_PATTERNS,
                      "Table Files", VAL_LOAD_BUTTON, 0, path);
}

// A table with carriers always has a reference carrier among them.
void KeepReferenceInTable() {
    if (globals.carrier_count > 0 &&
        (globals.reference_carrier < 1 || globals.reference_carrier > globals.carrier_count))
        globals.reference_carrier = 1;
}

void RefreshAfterLoad() {
    globals.carrier_count = UpdateCarrierTable();
    globals.current_carrier = globals.carrier_count;
}

// Loads the table at `path`; the error number tells the caller's pop-up. A
// file that is not a table changes nothing.
void LoadTable(const char* path, int error_number) {
    if (std::strlen(path) >= sizeof globals.table_file) {
        core_says = std::string(path) + ": the path is longer than 255 characters";
        FileError(error_number, path);
        return;
    }
    StartCatching();
    int count = LoadTableForm(path);
    StopCatching();
    if (count < 0) {
        FileError(error_number, path);
        return;
    }
    SetField(globals.table_file, path);
    SetMenuBarAttribute(handle0, MENU_SAVE, ATTR_DIMMED, 0);
    globals.reference_carrier = 1;
    RefreshAfterLoad();
}

// Writes the table, with the comment of the main panel, in the form of the
// path's name. On failure nothing in memory has changed.
bool SaveTable(const char* path, int error_number) {
    char field[COMMENT_SIZE];
    GetCtrlVal(handle, MAIN_COMMENT, field);
    char before[COMMENT_SIZE];
    std::memcpy(before, comment, sizeof comment);
    std::memset(comment, 0, sizeof comment);
    std::memcpy(comment, field, std::strlen(field));
    StartCatching();
    int result = SaveTableForm(path);
    StopCatching();
    if (result != 0) {
        std::memcpy(comment, before, sizeof comment);
        FileError(error_number, path);
        return false;
    }
    return true;
}

// Staging for Append: the file's records are read aside, then copied behind
// the carriers in use.
Carrier appended[MAX_CARRIERS];
Carrier kept[MAX_CARRIERS];
char kept_comment[COMMENT_SIZE];

}  // namespace

void LoadFile(int, int, void*, int) {
    char path[MAX_PATHNAME_LEN];
    if (!SelectTableToRead(path)) return;
    LoadTable(path, 2);
}

void LoadLastFile(int, int, void*, int) { LoadTable(FieldText(globals.table_file).c_str(), 3); }

// The appended table's comment replaces the comment; table_file and the Save
// command stay as they were, so that Save never writes into the appended file.
void AppendFile(int, int, void*, int) {
    char path[MAX_PATHNAME_LEN];
    if (!SelectTableToRead(path)) return;
    std::memcpy(kept, signals, sizeof signals);
    std::memcpy(kept_comment, comment, sizeof comment);
    StartCatching();
    int count = LoadTableForm(path);
    StopCatching();
    if (count < 0) {
        FileError(4, path);
        return;
    }
    std::memcpy(appended, signals, sizeof signals);
    std::memcpy(signals, kept, sizeof signals);
    int first = globals.carrier_count;
    if (first < 0) first = 0;
    if (first > MAX_CARRIERS) first = MAX_CARRIERS;
    int room = MAX_CARRIERS - first;
    std::memcpy(&signals[first], appended, sizeof(Carrier) * room);
    int left_out = count > room ? count - room : 0;

    RefreshAfterLoad();
    KeepReferenceInTable();
    UpdateCarrierTable();   // the reference mark
    if (left_out > 0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "The table holds %d carriers: %d carrier%s of the appended file did not fit "
                      "and %s left out.",
                      MAX_CARRIERS, left_out, left_out == 1 ? "" : "s", left_out == 1 ? "was" : "were");
        MessagePopup("", text);
    }
}

void save(int menu_bar, int menu_item, void* callback_data, int panel) {
    if (globals.table_file[0] == 0) {   // nothing chosen yet: ask where
        saveas(menu_bar, menu_item, callback_data, panel);
        return;
    }
    SaveTable(FieldText(globals.table_file).c_str(), 6);
}

void saveas(int, int, void*, int) {
    char path[MAX_PATHNAME_LEN];
    if (!SelectFile("", "*.kvt", TABLE_PATTERNS, "Table Files", VAL_SAVE_BUTTON, 1, path)) return;
    if (!SaveTable(path, 5)) return;
    SetField(globals.table_file, path);
    SetMenuBarAttribute(handle0, MENU_SAVE, ATTR_DIMMED, 0);
    SetCtrlVal(handle, MAIN_TABLE_FILE, path);
}

// A new table belongs to no file yet: Save stays dimmed until Load or Save As.
void NewTable(int, int, void*, int) {
    signals[0].frequency_hz = -1.0f;
    globals.current_carrier = globals.carrier_count = globals.reference_carrier = 0;
    std::memset(comment, 0, sizeof comment);
    std::memset(globals.table_file, 0, sizeof globals.table_file);
    SetMenuBarAttribute(handle0, MENU_SAVE, ATTR_DIMMED, 1);
    UpdateCarrierTable();
}

void LoadSetup(int, int, void*, int) {
    char path[MAX_PATHNAME_LEN];
    if (!SelectFile(FieldText(globals.data_dir).c_str(), "*.set *.json", SETUP_PATTERNS,
                    "Setup Files", VAL_LOAD_BUTTON, 0, path))
        return;
    static GlobalSettings loaded;
    loaded = globals;
    StartCatching();
    int result = LoadSetupForm(path, &loaded);
    StopCatching();
    if (result != 0) {
        FileError(7, path);
        return;
    }
    int count = globals.carrier_count;
    std::memcpy(loaded.table_file, globals.table_file, sizeof loaded.table_file);
    globals = loaded;
    globals.carrier_count = count;
    globals.current_carrier = count;
    KeepReferenceInTable();
    SetMenuBarAttribute(handle0, MENU_APP1, ATTR_ITEM_NAME, FieldText(globals.ext_app1_name).c_str());
    SetMenuBarAttribute(handle0, MENU_APP2, ATTR_ITEM_NAME, FieldText(globals.ext_app2_name).c_str());
    GetCtrlVal(handle, MAIN_COMMENT, comment);   // the refresh rewrites the field
    UpdateCarrierTable();   // the reference mark moves to the setup's carrier
}

void SaveSetupAs(int, int, void*, int) {
    char path[MAX_PATHNAME_LEN];
    if (!SelectFile("", "*.set", SETUP_PATTERNS, "Setup Files", VAL_SAVE_BUTTON, 1, path)) return;
    StartCatching();
    int result = SaveSetupForm(path, &globals);
    StopCatching();
    if (result != 0) FileError(8, path);
}
