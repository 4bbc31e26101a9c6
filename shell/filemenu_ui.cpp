// File menu: load, append, save and reset carrier tables; load and save setups.
#include "shell/filemenu.h"

#include <cstdio>
#include <cstring>

#include "editors/tableview.h"
#include "shell/panels.h"
#include "shell/recordfiles.h"
#include "shell/uldo.h"
#include "shell/userint.h"

namespace {

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

void OpenError(int number) {
    char text[40];
    std::snprintf(text, sizeof text, "File Opening Error (%d)", number);
    MessagePopup("", text);
}

void RefreshAfterLoad() {
    globals.carrier_count = UpdateCarrierTable();
    globals.current_carrier = globals.carrier_count;
}

// Loads the table at `path`; the error number tells the caller's pop-up.
void LoadTable(const char* path, int error_number) {
    if (ReadTableFile(path, 0) < 0) {
        OpenError(error_number);
        return;
    }
    SetField(globals.table_file, path);
    SetMenuBarAttribute(handle0, MENU_SAVE, ATTR_DIMMED, 0);
    globals.reference_carrier = 1;
    RefreshAfterLoad();
}

// Writes the table with the comment of the main panel; false on failure.
bool SaveTable(const char* path) {
    GetCtrlVal(handle, MAIN_COMMENT, comment);
    return WriteTableFile(path) == 0;
}

}  // namespace

void LoadFile(int, int, void*, int) {
    char path[MAX_PATHNAME_LEN];
    if (!SelectFile(FieldText(globals.data_dir).c_str(), "*.kvt", "", "Table Files",
                    VAL_LOAD_BUTTON, 0, path))
        return;
    LoadTable(path, 2);
}

void LoadLastFile(int, int, void*, int) { LoadTable(FieldText(globals.table_file).c_str(), 3); }

void AppendFile(int, int, void*, int) {
    char path[MAX_PATHNAME_LEN];
    if (!SelectFile(FieldText(globals.data_dir).c_str(), "*.kvt", "", "Table Files",
                    VAL_LOAD_BUTTON, 0, path))
        return;
    int first = globals.carrier_count;
    if (first < 0) first = 0;
    if (first > MAX_CARRIERS) first = MAX_CARRIERS;
    int left_out = ReadTableFile(path, first);
    if (left_out < 0) {
        OpenError(4);
        return;
    }
    SetField(globals.table_file, path);
    SetMenuBarAttribute(handle0, MENU_SAVE, ATTR_DIMMED, 0);
    RefreshAfterLoad();
    if (left_out > 0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "The table holds %d carriers: %d carrier%s of the appended file did not fit "
                      "and %s left out.",
                      MAX_CARRIERS, left_out, left_out == 1 ? "" : "s", left_out == 1 ? "was" : "were");
        MessagePopup("", text);
    }
}

void save(int, int, void*, int) {
    if (!SaveTable(FieldText(globals.table_file).c_str())) OpenError(6);
}

void saveas(int, int, void*, int) {
    char path[MAX_PATHNAME_LEN];
    if (!SelectFile("", "*.kvt", "*.kvt", "Table Files", VAL_SAVE_BUTTON, 1, path)) return;
    if (!SaveTable(path)) {
        OpenError(5);
        return;
    }
    SetField(globals.table_file, path);
    SetMenuBarAttribute(handle0, MENU_SAVE, ATTR_DIMMED, 0);
    SetCtrlVal(handle, MAIN_TABLE_FILE, path);
}

void NewTable(int, int, void*, int) {
    signals[0].frequency_hz = -1.0f;
    globals.current_carrier = globals.carrier_count = globals.reference_carrier = 0;
    std::memset(comment, 0, sizeof comment);
    SetMenuBarAttribute(handle0, MENU_SAVE, ATTR_DIMMED, 1);
    UpdateCarrierTable();
}

void LoadSetup(int, int, void*, int) {
    char path[MAX_PATHNAME_LEN];
    if (!SelectFile(FieldText(globals.data_dir).c_str(), "*.set", "", "Setup Files",
                    VAL_LOAD_BUTTON, 0, path))
        return;
    int count = globals.carrier_count;
    char table_file[sizeof globals.table_file];
    std::memcpy(table_file, globals.table_file, sizeof table_file);
    if (ReadSettingsFile(path, &globals) < 0) {
        OpenError(7);
        return;
    }
    globals.carrier_count = count;
    std::memcpy(globals.table_file, table_file, sizeof table_file);
    globals.current_carrier = count;
    SetMenuBarAttribute(handle0, MENU_APP1, ATTR_ITEM_NAME, FieldText(globals.ext_app1_name).c_str());
    SetMenuBarAttribute(handle0, MENU_APP2, ATTR_ITEM_NAME, FieldText(globals.ext_app2_name).c_str());
}

void SaveSetupAs(int, int, void*, int) {
    char path[MAX_PATHNAME_LEN];
    if (!SelectFile("", "*.set", "*.set", "Setup Files", VAL_SAVE_BUTTON, 1, path)) return;
    if (WriteSettingsFile(path, &globals) != 0) OpenError(8);
}
