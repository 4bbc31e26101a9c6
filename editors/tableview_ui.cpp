// The main panel's carrier list, and the analysis panel's name fields.
#include "editors/tableview_ui.h"

#include "editors/tablerows.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"

int UpdateCarrierTable() {
    SetCtrlVal(handle, MAIN_COMMENT, FieldText(comment).c_str());
    SetCtrlVal(handle, MAIN_TABLE_FILE, FieldText(globals.table_file).c_str());
    // The selected row stays selected across the refresh.
    int selected = -1;
    GetCtrlIndex(handle, MAIN_CARRIER_LIST, &selected);
    ClearListCtrl(handle, MAIN_CARRIER_LIST);
    int rows = 0;
    char row[CARRIER_ROW_SIZE];
    while (rows < MAX_CARRIERS && signals[rows].frequency_hz > 0) {
        FormatCarrierRow(rows, row, sizeof row);
        InsertListItem(handle, MAIN_CARRIER_LIST, -1, row, rows);
        ++rows;
    }
    if (selected > 0 && rows > 0) SetCtrlIndex(handle, MAIN_CARRIER_LIST, selected < rows ? selected : rows - 1);
    int dimmed = rows == 0 ? 1 : 0;
    SetCtrlAttribute(handle, MAIN_CARRIER_BUTTON, ATTR_DIMMED, dimmed);
    SetCtrlAttribute(handle, MAIN_DELETE, ATTR_DIMMED, dimmed);
    SetMenuBarAttribute(handle0, MENU_COMPILE, ATTR_DIMMED, dimmed);
    return rows;
}

void ShowPanelMod(int modulation) {
    if (const char* name = ModulationDisplayName(modulation))
        SetCtrlVal(handle5, ANALYSIS_MODULATION, name);
}

void ShowPanelFilter(int filter) {
    if (const char* name = FilterDisplayName(filter)) SetCtrlVal(handle5, ANALYSIS_FILTER, name);
}
