// The persistence displays: every sample as a point on a canvas, and the zoom,
// an intensity histogram of the I/Q plane with a gamma, a cursor window and
// the window's marginal distributions.
#include <QString>

#include <algorithm>

#include "displays/analysis_report.h"
#include "displays/visual.h"
#include "displays/visual_ui.h"
#include "displays/visualplot_ui.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"

namespace {

const char* EmptyNote() {
    if (DisplayLength() == 0) return "There is no compiled record to show.";
    if (!(max_i > 0.0f)) return "The baseband record is all zeros: there is nothing to show.";
    return "";
}

// The axis rects of the zoom share their margins, so that the marginals stand
// under and beside the columns and rows they sum.
const QMargins zoom_margins(62, 42, 62, 46);

QCPColorMap* ColourMap(QCustomPlot* plot) {
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (auto* map = qobject_cast<QCPColorMap*>(plot->plottable(i))) return map;
    return nullptr;
}

QCPBars* Bars(QCustomPlot* plot) {
    for (int i = 0; i < plot->plottableCount(); ++i)
        if (auto* bars = qobject_cast<QCPBars*>(plot->plottable(i))) return bars;
    return nullptr;
}

void FixMargins(QCustomPlot* plot, const QMargins& margins) {
    plot->axisRect()->setAutoMargins(QCP::msNone);
    plot->axisRect()->setMargins(margins);
}

// Grey levels 0 .. 254 at the map's own positions, blue above the map: the
// gradient is sampled at exactly these positions, so no level is blended.
QCPColorGradient GreyMapGradient() {
    QCPColorGradient gradient;
    gradient.clearColorStops();
    gradient.setLevelCount(256);
    const double step = 1.0 / 255.0;
    for (int i = 0; i < 255; ++i) gradient.setColorStopAt(i * step, QColor(i, i, i));
    gradient.setColorStopAt(255 * step, QColor(0, 0, 255));
    return gradient;
}

// Cell coordinates onto the value of I or Q they stand for.
QCPRange ValueRange(const QCPRange& cells) {
    double peak = max_i > 0.0f ? max_i : 1.0;
    return QCPRange((cells.lower - 200.5) / 190.0 * peak, (cells.upper - 200.5) / 190.0 * peak);
}

void SetUpZoom(int panel) {
    QCustomPlot* image = DisplayPlot(panel, GLIM_GRAPH);
    QCustomPlot* x_plot = DisplayPlot(panel, GLIM_X_GRAPH);
    QCustomPlot* y_plot = DisplayPlot(panel, GLIM_Y_GRAPH);
    FixMargins(image, zoom_margins);
    FixMargins(x_plot, QMargins(zoom_margins.left(), 8, zoom_margins.right(), 40));
    FixMargins(y_plot, QMargins(8, zoom_margins.top(), 20, zoom_margins.bottom()));

    // Cell (col, row) covers [col, col + 1) x [row, row + 1), the coordinates the cursors read.
    auto* map = new QCPColorMap(image->xAxis, image->yAxis);
    map->data()->setSize(GLIM_CELLS, GLIM_CELLS);
    map->data()->setRange(QCPRange(0.5, GLIM_CELLS - 0.5), QCPRange(0.5, GLIM_CELLS - 0.5));
    map->setGradient(GreyMapGradient());
    map->setInterpolate(false);
    map->setTightBoundary(true);
    map->setDataRange(QCPRange(0, 255));
    image->xAxis->setRange(0, GLIM_CELLS);
    image->yAxis->setRange(0, GLIM_CELLS);
    LabelAxes(image, "I [cell]", "Q [cell]");
    image->xAxis2->setVisible(true);
    image->yAxis2->setVisible(true);
    for (QCPAxis* axis : {image->xAxis2, image->yAxis2}) {
        axis->setTickLabels(true);
        axis->setBasePen(image->xAxis->basePen());
        axis->setTickPen(image->xAxis->tickPen());
        axis->setSubTickPen(image->xAxis->subTickPen());
        axis->setTickLabelColor(image->xAxis->tickLabelColor());
        axis->setLabelColor(image->xAxis->labelColor());
    }
    image->xAxis2->setLabel("I");
    image->yAxis2->setLabel("Q");
    image->xAxis2->setRange(ValueRange(image->xAxis->range()));
    image->yAxis2->setRange(ValueRange(image->yAxis->range()));

    auto* x_bars = new QCPBars(x_plot->xAxis, x_plot->yAxis);
    x_bars->setWidth(1.0);
    x_bars->setPen(Qt::NoPen);
    x_bars->setBrush(QColor(255, 0, 0));
    x_plot->xAxis->setRange(0, GLIM_CELLS);
    LabelAxes(x_plot, "I [cell]", "Samples");

    auto* y_bars = new QCPBars(y_plot->yAxis, y_plot->xAxis);  // horizontal: keys up the y axis
    y_bars->setWidth(1.0);
    y_bars->setPen(Qt::NoPen);
    y_bars->setBrush(QColor(255, 255, 0));
    y_plot->yAxis->setRange(0, GLIM_CELLS);
    LabelAxes(y_plot, "Samples", "");
    y_plot->yAxis->setTickLabels(false);

    // Whole grid: every sample of the record lies between the cursors.
    SetGraphCursor(panel, GLIM_GRAPH, 1, 0.0, 0.0);
    SetGraphCursor(panel, GLIM_GRAPH, 2, GLIM_CELLS, GLIM_CELLS);
}

// One marginal into its bars; the count axis runs 0 to 100 for an empty window.
void PlotMarginal(QCustomPlot* plot, QCPBars* bars, const int32_t* counts, QCPAxis* count_axis) {
    QVector<double> keys(GLIM_CELLS), values(GLIM_CELLS);
    double top = 0.0;
    for (int k = 0; k < GLIM_CELLS; ++k) {
        keys[k] = k + 0.5;
        values[k] = counts[k];
        top = std::max(top, values[k]);
    }
    bars->setData(keys, values, true);
    count_axis->setRange(0.0, glim_sum == 0 ? 100.0 : 1.05 * top);
    ReplotLater(plot);
}

// Re-bins the record and applies the cursors and the gamma. Only the graphs
// whose picture changes are redrawn: the marginals follow the cursors, the
// image follows the gamma.
void RefreshZoom(int panel, bool image_changes, bool marginals_change) {
    QCustomPlot* image = DisplayPlot(panel, GLIM_GRAPH);
    QCustomPlot* x_plot = DisplayPlot(panel, GLIM_X_GRAPH);
    QCustomPlot* y_plot = DisplayPlot(panel, GLIM_Y_GRAPH);
    QCPColorMap* map = image ? ColourMap(image) : nullptr;
    QCPBars* x_bars = x_plot ? Bars(x_plot) : nullptr;
    QCPBars* y_bars = y_plot ? Bars(y_plot) : nullptr;
    if (!map || !x_bars || !y_bars) return;

    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    GetGraphCursor(panel, GLIM_GRAPH, 1, &x1, &y1);
    GetGraphCursor(panel, GLIM_GRAPH, 2, &x2, &y2);
    int32_t n = DisplayLength();
    BinPersistence(phase_i, phase_q, n, max_i);
    float control = 5.0f;
    GetCtrlVal(panel, GLIM_GAMMA, &control);
    SumGlimWindow(x1, y1, x2, y2);
    if (marginals_change) {
        PlotMarginal(x_plot, x_bars, glim_x, x_plot->yAxis);
        PlotMarginal(y_plot, y_bars, glim_y, y_plot->xAxis);
    }
    SetCtrlVal(panel, GLIM_SUM, static_cast<double>(glim_sum));
    SetCtrlVal(panel, GLIM_COUNT, n);
    SetCtrlVal(panel, GLIM_WIDTH, static_cast<int>(std::max(x1, x2) - std::min(x1, x2)));
    SetCtrlVal(panel, GLIM_HEIGHT, static_cast<int>(std::max(y1, y2) - std::min(y1, y2)));
    if (!image_changes) return;
    ApplyGlimGamma(GlimGamma(control));
    BuildGlimGreyMap();
    QCPColorMapData* cells = map->data();
    for (int row = 0; row < GLIM_CELLS; ++row)
        for (int col = 0; col < GLIM_CELLS; ++col) cells->setCell(col, row, GlimGreyLevel(glim_shown[row][col]));
    map->setDataRange(QCPRange(0, 255));
    ShowNote(image, EmptyNote());
    ReplotLater(image);
}

}  // namespace

// ---------------------------------------------------------------------------
// Canvas.

void DrawGlim(int panel) {
    CanvasClear(panel, GLIM_CANVAS_CTRL);
    SetCtrlVal(panel, GLIM_NOTE, EmptyNote());
    int32_t n = DisplayLength();
    CanvasStartBatchDraw(panel, GLIM_CANVAS_CTRL);
    for (int32_t s = 0; s < n; ++s) {
        int x, y;
        if (GlimPixel(phase_i[s], phase_q[s], max_i, &x, &y))
            CanvasDrawPoint(panel, GLIM_CANVAS_CTRL, x, y, VAL_YELLOW);
    }
    CanvasEndBatchDraw(panel, GLIM_CANVAS_CTRL);
}

int ShowGlim(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK || LoadDisplay(&handle26, PANEL_PERSISTENCE) < 0) return 0;
    SetPanelAttribute(handle26, ATTR_TITLE, "CONSTELLATION DISPLAY");
    DrawGlim(handle26);
    DisplayPanel(handle26);
    return 0;
}

int GlimOk(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT || event == EVENT_LEFT_CLICK) CloseDisplay(&handle26);
    return 0;
}

// ---------------------------------------------------------------------------
// Zoom.

void DrawGlimZoom(int panel) {
    QCustomPlot* image = DisplayPlot(panel, GLIM_GRAPH);
    if (!image) return;
    if (!ColourMap(image)) SetUpZoom(panel);
    RefreshZoom(panel, true, true);
}

int UpdateGamma(int panel, int control, int event, void*, int, int) {
    if (handle28 <= 0 || panel != handle28) {
        // The analysis panel's button.
        if (event != EVENT_LEFT_CLICK || LoadDisplay(&handle28, PANEL_GLIM_ZOOM) < 0) return 0;
        DisplayPanel(handle28);
        DrawGlimZoom(handle28);
        return 0;
    }
    if (control == GLIM_GAMMA && event == EVENT_VAL_CHANGED)
        RefreshZoom(handle28, true, false);
    else if (control == GLIM_GRAPH && (event == EVENT_COMMIT || event == EVENT_VAL_CHANGED))
        RefreshZoom(handle28, false, true);
    return 0;
}

int ZoomGlimOk(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT && event != EVENT_LEFT_CLICK) return 0;
    CloseDisplay(&handle28);
    if (handle5 > 0) DisplayPanel(handle5);
    return 0;
}

int ZoomGlimPrint(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK && handle28 > 0) PrintDisplayPanel(handle28, PrintHeading("Persistence Zoom").c_str());
    return 0;
}
