// The analysis panel's readouts during a compile run, and the offscreen
// images of its plots for the command-line compiler.
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QString>

#include <algorithm>
#include <cmath>
#include <string>

#include "shell/qcustomplot_ui.h"

#include "compile/engine.h"
#include "displays/analysis_report.h"
#include "displays/displays_ui.h"
#include "displays/power.h"
#include "displays/visual_ui.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "shell/widgets_ui.h"

namespace {

constexpr const char* UIR = "uldo.uir";

const Carrier* Reference() {
    int ref = globals.reference_carrier - 1;
    return ref >= 0 && ref < MAX_CARRIERS ? &signals[ref] : nullptr;
}

// Renders one graph of a panel into a PNG at twice its size on the panel.
bool SaveGraph(int panel, int control, const std::string& path) {
    auto* plot = qobject_cast<QCustomPlot*>(CtrlWidget(panel, control));
    if (!plot) return false;
    RefreshPlots(PanelWidget(panel));
    return plot->savePng(QString::fromLocal8Bit(path.c_str()), 0, 0, 2.0);
}

}  // namespace

void ShowAnalysisPower() {
    const Carrier* c = Reference();
    if (handle5 <= 0 || !c) return;
    int ref = globals.reference_carrier - 1;
    float p = CarrierPower(ref);
    // A power that cannot be stated says so, rather than showing a number.
    char text[32] = "n/a";
    if (PowerDefined(c->modulation) && !std::isnan(p)) FormatDecibels(p, text, sizeof text);
    SetCtrlVal(handle5, ANALYSIS_POWER, text);
}

namespace {

void SetAxisLabels(int panel, int control, const char* x, const char* y) {
    auto* plot = qobject_cast<QCustomPlot*>(CtrlWidget(panel, control));
    if (!plot) return;
    plot->xAxis->setLabel(QString::fromUtf8(x));
    plot->yAxis->setLabel(QString::fromUtf8(y));
}

// Level of bin k in dB below the top bin (absolute where there is no top).
double SpectrumLevel(int k) {
    return std::isfinite(spectrum_top) ? FFT_Array[k] - spectrum_top : FFT_Array[k];
}

}  // namespace

void PlotSpectrumPreview(int panel, double reference_hz) {
    static double mhz[SPECTRUM_BINS], level[SPECTRUM_BINS];
    for (int k = 0; k < SPECTRUM_BINS; ++k) {
        mhz[k] = SpectrumBinMHz(k);
        level[k] = SpectrumLevel(k);
    }
    DeleteGraphPlot(panel, ANALYSIS_SPECTRUM, VAL_DELETE_ALL);
    double right = SpectrumBinMHz(SPECTRUM_BINS - 1);
    SetAxisRange(panel, ANALYSIS_SPECTRUM, right > 0.0 ? VAL_MANUAL : VAL_NO_CHANGE, 0.0, right, VAL_MANUAL,
                 -150.0, 0.0);
    PlotXY(panel, ANALYSIS_SPECTRUM, mhz, level, SPECTRUM_BINS, VAL_DOUBLE, VAL_DOUBLE, VAL_WHITE);
    SetAxisLabels(panel, ANALYSIS_SPECTRUM, "MHz", "dB");
    int bin = SpectrumBin(reference_hz);
    SetGraphCursor(panel, ANALYSIS_SPECTRUM, 1, mhz[bin], level[bin]);
    UpdateSpectrumCursor(panel, ANALYSIS_SPECTRUM, EVENT_COMMIT, nullptr, 1, 0);
}

int UpdateSpectrumCursor(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_COMMIT && event != EVENT_VAL_CHANGED) return 0;
    double x = 0.0, y = 0.0;
    if (GetGraphCursor(panel, control, 1, &x, &y) < 0) return 0;
    // Onto the line: the bin nearest the cursor's frequency, at its level.
    int bin = SpectrumBin(x * 1e6);
    double mhz = SpectrumBinMHz(bin), level = SpectrumLevel(bin);
    SetGraphCursor(panel, control, 1, mhz, level);
    SetCtrlVal(panel, ANALYSIS_CURSOR_FREQUENCY, mhz);
    SetCtrlVal(panel, ANALYSIS_CURSOR_LEVEL, level);
    return 0;
}

void PlotIQ(int panel) {
    int n = numpoints < DISPLAY_POINTS ? numpoints : DISPLAY_POINTS;
    DeleteGraphPlot(panel, ANALYSIS_IQ_GRAPH, VAL_DELETE_ALL);
    if (n <= 0) return;
    // Square and centred, so that circles stay round.
    double reach = 0.0;
    for (int k = 0; k < n; ++k) reach = std::max({reach, std::fabs(double(phase_i[k])), std::fabs(double(phase_q[k]))});
    if (!(reach > 0.0) || !std::isfinite(reach)) reach = 1.0;
    reach *= 1.1;
    SetAxisRange(panel, ANALYSIS_IQ_GRAPH, VAL_MANUAL, -reach, reach, VAL_MANUAL, -reach, reach);
    PlotXY(panel, ANALYSIS_IQ_GRAPH, phase_i, phase_q, n, VAL_FLOAT, VAL_FLOAT, VAL_WHITE);
    SetAxisLabels(panel, ANALYSIS_IQ_GRAPH, "I", "Q");
    auto* plot = qobject_cast<QCustomPlot*>(CtrlWidget(panel, ANALYSIS_IQ_GRAPH));
    if (!plot || plot->plottableCount() == 0) return;
    // Faint single points, each drawn on its own: where the trajectory passes
    // often they add up to white (one polyline would be blended only once).
    auto* curve = qobject_cast<QCPCurve*>(plot->plottable(plot->plottableCount() - 1));
    if (!curve) return;
    const QColor faint(255, 255, 255, 40);
    curve->setLineStyle(QCPCurve::lsNone);
    curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDot, faint, faint, 1));
    curve->setPen(QPen(faint, 0));
    curve->setAntialiased(false);
    curve->setAntialiasedScatters(false);
}

void PlotAnalysisPulse(int panel, int carrier) {
    auto* plot = qobject_cast<QCustomPlot*>(CtrlWidget(panel, ANALYSIS_PULSE));
    DeleteGraphPlot(panel, ANALYSIS_PULSE, VAL_DELETE_ALL);
    // An earlier note goes; the graph's cursor lines are items too and stay.
    if (plot)
        for (int i = plot->itemCount() - 1; i >= 0; --i)
            if (qobject_cast<QCPItemText*>(plot->item(i))) plot->removeItem(i);
    int kind = BuildPulsePlot(carrier);
    if (kind != PULSE_NONE) {
        SetAxisRange(panel, ANALYSIS_PULSE, VAL_AUTOSCALE, 0.0, 0.0, VAL_AUTOSCALE, 0.0, 0.0);
        PlotXY(panel, ANALYSIS_PULSE, pulse_x, pulse_y, pulse_count, VAL_DOUBLE, VAL_DOUBLE, VAL_WHITE);
        if (kind == PULSE_HELD)
            SetAxisRange(panel, ANALYSIS_PULSE, VAL_MANUAL, -1.0, 1.0, VAL_MANUAL, -0.1, 1.1);
    }
    SetGraphCursor(panel, ANALYSIS_PULSE, 1, 0.0, 0.0);
    SetAxisLabels(panel, ANALYSIS_PULSE, "symbols", "");
    if (!plot || kind != PULSE_NONE) return;
    SetAxisRange(panel, ANALYSIS_PULSE, VAL_MANUAL, -1.0, 1.0, VAL_MANUAL, -1.0, 1.0);
    auto* note = new QCPItemText(plot);
    note->position->setType(QCPItemPosition::ptAxisRectRatio);
    note->position->setCoords(0.5, 0.5);
    note->setText(QString::fromUtf8(pulse_note));
    note->setColor(QColor(200, 200, 200));
    plot->replot(QCustomPlot::rpQueuedReplot);
}

int PrintVisual(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK && handle5 > 0)
        PrintDisplayPanel(handle5, PrintHeading("Analysis").c_str());
    return 0;
}

void ShowAnalysisPreview() {
    const Carrier* c = Reference();
    if (handle5 <= 0 || !c) return;
    SpectrumPreview(globals.instrument_type);
    PlotSpectrumPreview(handle5, c->frequency_hz);
    PlotIQ(handle5);
    SetCtrlVal(handle5, ANALYSIS_PEAK_RF, static_cast<double>(max_value));
    SetCtrlVal(handle5, ANALYSIS_PEAK_IQ, static_cast<double>(max_i));
    ProcessDrawEvents();
}

int CloseAnalysis(int, int, int event, void*, int, int) {
    if ((event == EVENT_COMMIT || event == EVENT_LEFT_CLICK) && handle5 > 0) HidePanel(handle5);
    return 0;
}

int SaveAnalysisImages(const char* dir) {
    const Carrier* c = Reference();
    if (!c || numpoints < 1) {
        ReportMessage("", "There is no compiled record to draw.");
        return -1;
    }
    if (!QApplication::instance()) {
        // Nothing is shown: a terminal program must not need a display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "uldoc";
        static char* argv[] = {name, nullptr};
        InitUserInterface(argc, argv);
        RegisterUldoCallbacks();
    }
    std::string base = dir ? dir : ".";
    if (!QDir().mkpath(QString::fromLocal8Bit(base.c_str()))) {
        ReportMessage("", ("Cannot create the folder " + base).c_str());
        return -1;
    }
    int analysis = LoadPanel(0, UIR, PANEL_ANALYSIS);
    int ccdf = LoadPanel(0, UIR, PANEL_CCDF);
    if (analysis <= 0 || ccdf <= 0) {
        if (analysis > 0) DiscardPanel(analysis);
        if (ccdf > 0) DiscardPanel(ccdf);
        ReportMessage("", "The analysis panels cannot be loaded.");
        return -1;
    }
    SpectrumPreview(globals.instrument_type);
    PlotSpectrumPreview(analysis, c->frequency_hz);
    PlotIQ(analysis);
    BuildCCDF();
    PlotCCDF(ccdf);
    struct Image {
        int panel, control;
        const char* name;
    };
    const Image images[] = {
        {analysis, ANALYSIS_SPECTRUM, "spectrum.png"},
        {ccdf, CCDF_GRAPH, "ccdf.png"},
        {analysis, ANALYSIS_IQ_GRAPH, "iq.png"},
    };
    int result = 0;
    for (const Image& image : images) {
        std::string path = base + "/" + image.name;
        if (!SaveGraph(image.panel, image.control, path)) {
            ReportMessage("", ("Cannot write " + path).c_str());
            result = -1;
            break;
        }
    }
    DiscardPanel(analysis);
    DiscardPanel(ccdf);
    if (result == 0) result = SaveVisualImages(base.c_str());
    return result;
}
