// The quantisation calculator: a converter's quantisation-noise density
// against the sample rate, beside the thermal floor.
#include <QSharedPointer>

#include <algorithm>
#include <cmath>

#include "displays/visual.h"
#include "displays/visual_ui.h"
#include "displays/visualplot_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"

namespace {

// The rate axis runs over log10 of the rate in MHz, labelled in MHz: the
// cursors of the graph then move on a plain linear axis.
void SetUpRateAxis(QCustomPlot* plot) {
    QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
    for (int decade = 0; decade <= 4; ++decade)
        ticker->addTick(decade, QString::number(std::pow(10.0, decade), 'f', 0));
    ticker->setSubTickCount(0);
    plot->xAxis->setTicker(ticker);
    plot->xAxis->setRange(0.0, 4.0);
    LabelAxes(plot, "Sample Rate [MHz]", "Noise Density [dBm/Hz]");
}

}  // namespace

void DrawQuant(int panel) {
    QCustomPlot* plot = DisplayPlot(panel, QUANT_GRAPH);
    if (!plot) return;
    float bits = 0.0f, crest = 0.0f;
    GetCtrlVal(panel, QUANT_BITS, &bits);
    GetCtrlVal(panel, QUANT_CREST, &crest);
    BuildQuantCurve(bits, crest);
    DeleteGraphPlot(panel, QUANT_GRAPH, VAL_DELETE_ALL);
    SetUpRateAxis(plot);
    QVector<QCPCurveData> noise(QUANT_POINTS), floor(QUANT_POINTS);
    double low = QUANT_FLOOR_DBM_HZ, high = QUANT_FLOOR_DBM_HZ;
    for (int j = 0; j < QUANT_POINTS; ++j) {
        double x = std::log10(quant_x[j]);
        noise[j] = QCPCurveData(j, x, quant_noise[j]);
        floor[j] = QCPCurveData(j, x, quant_floor[j]);
        if (std::isfinite(quant_noise[j])) {
            low = std::min(low, quant_noise[j]);
            high = std::max(high, quant_noise[j]);
        }
    }
    AddCurve(plot, floor, QColor(255, 0, 0))->setPen(QPen(QColor(255, 0, 0), 3));
    AddCurve(plot, noise, QColor(255, 255, 255))->setPen(QPen(QColor(255, 255, 255), 1.5));
    plot->yAxis->setRange(10.0 * std::floor(low / 10.0) - 10.0, 10.0 * std::ceil(high / 10.0) + 10.0);
    // The cursor starts at 100 MHz and stays on the curve.
    double x = 0.0, y = 0.0;
    GetGraphCursor(panel, QUANT_GRAPH, 1, &x, &y);
    int j = x == 0.0 && y == 0.0 ? QUANT_POINTS / 2 : QuantNearest(std::pow(10.0, x));
    SetGraphCursor(panel, QUANT_GRAPH, 1, std::log10(quant_x[j]), quant_noise[j]);
    ReplotLater(plot);
}

void Quant_Calculator(int, int, void*, int) {
    if (LoadDisplay(&handle29, PANEL_QUANT) < 0) return;
    UpdateQuantGraph(handle29, QUANT_BITS, EVENT_LEFT_CLICK, nullptr, 0, 0);
}

int UpdateQuantGraph(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT || handle29 <= 0) return 0;
    DrawQuant(handle29);
    DisplayPanel(handle29);
    UpdateQuantCursor(handle29, QUANT_GRAPH, EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

// The cursor sits on the noise curve: its read-outs are the curve's rate and
// density at the point nearest to where it was left.
int UpdateQuantCursor(int, int, int event, void*, int, int) {
    if ((event != EVENT_COMMIT && event != EVENT_VAL_CHANGED) || handle29 <= 0) return 0;
    double x = 0.0, y = 0.0;
    if (GetGraphCursor(handle29, QUANT_GRAPH, 1, &x, &y) < 0) return 0;
    int j = QuantNearest(std::pow(10.0, x));
    SetGraphCursor(handle29, QUANT_GRAPH, 1, std::log10(quant_x[j]), quant_noise[j]);
    SetCtrlVal(handle29, QUANT_CURSOR_X, quant_x[j]);
    SetCtrlVal(handle29, QUANT_CURSOR_Y, quant_noise[j]);
    return 0;
}

int Quant_Calculator_OK(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT || event == EVENT_LEFT_CLICK) CloseDisplay(&handle29);
    return 0;
}
