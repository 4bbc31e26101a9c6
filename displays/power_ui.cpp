// The power table and CCDF panels of the analysis panel.
#include <QString>

#include <algorithm>
#include <cmath>

#include "shell/qcustomplot_ui.h"

#include "compile/engine.h"
#include "displays/analysis_report.h"
#include "displays/displays_ui.h"
#include "displays/power.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "shell/widgets_ui.h"

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
    char summary[32];
    FormatDecibels(power_summary, summary, sizeof summary);
    SetCtrlVal(handle14, POWER_SUMMARY, summary);
    SetCtrlVal(handle14, POWER_PEAK, static_cast<double>(max_value));
    DisplayPanel(handle14);
    return 0;
}

int PowerOk(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT || event == EVENT_LEFT_CLICK) BackToAnalysis(&handle14);
    return 0;
}

int PrintPower(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK && handle14 > 0)
        PrintDisplayPanel(handle14, PrintHeading("Power Table").c_str());
    return 0;
}

void PlotCCDF(int panel) {
    // A logarithmic share axis has no 0: the curve ends at its last sample.
    static double x[CCDF_BINS], y[CCDF_BINS];
    int n = 0;
    for (int j = 0; j < CCDF_BINS; ++j)
        if (ccdf_y[j] > 0.0) {
            x[n] = ccdf_x[j];
            y[n++] = ccdf_y[j];
        }
    DeleteGraphPlot(panel, CCDF_GRAPH, VAL_DELETE_ALL);
    double right = ccdf_ratio > 0.0 ? ccdf_ratio : 1.0;
    SetAxisRange(panel, CCDF_GRAPH, VAL_MANUAL, 0.0, right, VAL_MANUAL, CCDF_LOWEST_PERCENT, 100.0);
    if (auto* plot = qobject_cast<QCustomPlot*>(CtrlWidget(panel, CCDF_GRAPH))) {
        plot->yAxis->setScaleType(QCPAxis::stLogarithmic);
        QSharedPointer<QCPAxisTickerLog> ticker(new QCPAxisTickerLog);
        ticker->setSubTickCount(8);
        plot->yAxis->setTicker(ticker);
        plot->yAxis->setNumberFormat("gb");
        plot->yAxis->setNumberPrecision(3);
        plot->xAxis->setLabel(QStringLiteral("dB above average power"));
        plot->yAxis->setLabel(QStringLiteral("% of samples at or above"));
        plot->yAxis->grid()->setSubGridVisible(true);
        plot->yAxis->grid()->setSubGridPen(QPen(QColor(40, 40, 40), 0, Qt::DotLine));
    }
    if (n > 0) PlotXY(panel, CCDF_GRAPH, x, y, n, VAL_DOUBLE, VAL_DOUBLE, VAL_WHITE);
    SetGraphCursor(panel, CCDF_GRAPH, 1, 0.0, ccdf_y[0]);
}

int ShowCCDF(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    BuildCCDF();
    if (LoadFresh(&handle27, PANEL_CCDF) < 0) return 0;
    SetPanelAttribute(handle27, ATTR_TITLE, "CCDF");
    PlotCCDF(handle27);
    DisplayPanel(handle27);
    char ratio[32];
    FormatDecibels(ccdf_ratio, ratio, sizeof ratio);
    SetCtrlVal(handle27, CCDF_RATIO, ratio);
    UpdateCCDFCursor(handle27, CCDF_GRAPH, EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

int UpdateCCDFCursor(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || handle27 <= 0) return 0;
    double x = 0.0, y = 0.0;
    if (GetGraphCursor(handle27, CCDF_GRAPH, 1, &x, &y) < 0) return 0;
    // Onto the curve at the cursor's level, in steps of 0.05 dB (a few pixels,
    // so that a level such as 2 dB can be hit): the height where the mouse was
    // released does not count.
    x = std::clamp(std::round(x * 20.0) / 20.0, 0.0, std::max(ccdf_ratio, 0.0));
    y = CCDFPercentAbove(x);
    SetGraphCursor(handle27, CCDF_GRAPH, 1, x, y);
    SetCtrlVal(handle27, CCDF_CURSOR_X, x);
    SetCtrlVal(handle27, CCDF_CURSOR_Y, y);
    return 0;
}

int CCDFOk(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT || event == EVENT_LEFT_CLICK) BackToAnalysis(&handle27);
    return 0;
}

int CCDFPrint(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK && handle27 > 0) PrintDisplayPanel(handle27, PrintHeading("CCDF").c_str());
    return 0;
}
