// The power table and CCDF panels of the analysis panel.
#include "compile/engine.h"
#include "displays/displays.h"
#include "displays/power.h"
#include "shell/panels.h"
#include "shell/uldo.h"
#include "shell/userint.h"

namespace {

constexpr const char* UIR = "uldo.uir";

// Each opening gets a fresh panel; a copy still loaded goes first.
int LoadFresh(int* panel_handle, int resource) {
    if (*panel_handle > 0) DiscardPanel(*panel_handle);
    *panel_handle = LoadPanel(0, UIR, resource);
    if (*panel_handle <= 0) {
        *panel_handle = 0;
        return -1;
    }
    // Where the analysis panel stands, beside the main panel.
    if (PlacePanelBeside(*panel_handle, handle) < 0)
        SetPanelPos(*panel_handle, VAL_AUTO_CENTER, VAL_AUTO_CENTER);
    return 0;
}

void BackToAnalysis(int* panel_handle) {
    if (*panel_handle > 0) DiscardPanel(*panel_handle);
    *panel_handle = 0;
    if (handle5 > 0) DisplayPanel(handle5);
}

}  // namespace

int OpenPower(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    if (handle5 > 0) HidePanel(handle5);
    if (LoadFresh(&handle14, PANEL_POWER) < 0) {
        if (handle5 > 0) DisplayPanel(handle5);
        return 0;
    }
    ClearListCtrl(handle14, POWER_LIST);
    BuildPowerTable();
    for (int i = 0; i < power_row_count; ++i)
        InsertListItem(handle14, POWER_LIST, -1, power_rows[i].text, power_rows[i].carrier);
    SetCtrlVal(handle14, POWER_SUMMARY, static_cast<double>(power_summary));
    SetCtrlVal(handle14, POWER_PEAK, static_cast<double>(max_value));
    DisplayPanel(handle14);
    return 0;
}

int PowerOk(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT || event == EVENT_LEFT_CLICK) BackToAnalysis(&handle14);
    return 0;
}

int PrintPower(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK && handle14 > 0) PrintPanel(handle14);
    return 0;
}

void PlotCCDF(int panel) {
    PlotXY(panel, CCDF_GRAPH, ccdf_x, ccdf_y, CCDF_BINS, VAL_DOUBLE, VAL_DOUBLE, VAL_WHITE);
    SetGraphCursor(panel, CCDF_GRAPH, 1, 0.0, ccdf_y[0]);
}

int ShowCCDF(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    BuildCCDF();
    if (LoadFresh(&handle27, PANEL_CCDF) < 0) return 0;
    SetPanelAttribute(handle27, ATTR_TITLE, "CCDF");
    PlotCCDF(handle27);
    DisplayPanel(handle27);
    SetCtrlVal(handle27, CCDF_RATIO, ccdf_ratio);
    UpdateCCDFCursor(handle27, CCDF_GRAPH, EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

int UpdateCCDFCursor(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || handle27 <= 0) return 0;
    double x = 0.0, y = 0.0;
    if (GetGraphCursor(handle27, CCDF_GRAPH, 1, &x, &y) < 0) return 0;
    SetCtrlVal(handle27, CCDF_CURSOR_X, x);
    SetCtrlVal(handle27, CCDF_CURSOR_Y, y);
    return 0;
}

int CCDFOk(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT || event == EVENT_LEFT_CLICK) BackToAnalysis(&handle27);
    return 0;
}

int CCDFPrint(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK && handle27 > 0) PrintPanel(handle27);
    return 0;
}
