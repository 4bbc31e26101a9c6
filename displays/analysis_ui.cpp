// The analysis panel's readouts during a compile run, and the offscreen
// images of its plots for the command-line compiler.
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QString>

#include <cmath>
#include <string>

#include "shell/qcustomplot_ui.h"

#include "compile/engine.h"
#include "displays/displays.h"
#include "displays/power.h"
#include "displays/visual_ui.h"
#include "shell/hooks.h"
#include "shell/panels.h"
#include "shell/uldo.h"
#include "shell/userint.h"
#include "shell/userint_ui.h"

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
    // Without a defined power the readout sits at the bottom of its range.
    if (!PowerDefined(c->modulation) || std::isnan(p)) p = -HUGE_VALF;
    SetCtrlVal(handle5, ANALYSIS_POWER, static_cast<double>(p));
}

void PlotSpectrumPreview(int panel, double reference_hz) {
    double top = spectrum_top;
    if (std::isfinite(top))
        SetAxisRange(panel, ANALYSIS_SPECTRUM, VAL_NO_CHANGE, 0.0, 0.0, VAL_MANUAL, top - 150.0, top);
    PlotY(panel, ANALYSIS_SPECTRUM, FFT_Array, SPECTRUM_BINS, VAL_DOUBLE, VAL_WHITE);
    int bin = SpectrumBin(reference_hz);
    SetGraphCursor(panel, ANALYSIS_SPECTRUM, 1, bin, FFT_Array[bin]);
}

void PlotIQ(int panel) {
    int n = numpoints < DISPLAY_POINTS ? numpoints : DISPLAY_POINTS;
    if (n > 0) PlotXY(panel, ANALYSIS_IQ_GRAPH, phase_i, phase_q, n, VAL_FLOAT, VAL_FLOAT, VAL_WHITE);
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
