// The visual displays opened from the analysis panel after a compile of an
// example table, the map preview and the quantisation calculator.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "compile/calculate_ui.h"
#include "compile/engine.h"
#include "displays/visual.h"
#include "displays/visual_ui.h"
#include "displays/visualplot_ui.h"
#include "maps/mapspanels_ui.h"
#include "shell/fileforms.h"
#include "shell/panels_ui.h"
#include "shell/qcustomplot_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "shell/widgets_ui.h"
#include "support/scripted_popups_ui.h"
#include "support/tempdir.h"
#include "support/app_ui.h"

namespace {

int VisibleWindows(const char* title) {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) ++count;
    return count;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

QCustomPlot* Plot(int panel, int control) { return qobject_cast<QCustomPlot*>(CtrlWidget(panel, control)); }

std::string Text(int panel, int control) {
    char text[256] = {};
    GetCtrlVal(panel, control, text);
    return text;
}

class Visual : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        LoadCompilePanels();
        handle5 = handle12 = handle16 = handle17 = handle26 = handle28 = handle29 = 0;
        handle14 = LoadPanel(0, "uldo.uir", PANEL_POWER);
        handle18 = LoadPanel(0, "uldo.uir", PANEL_MAP_EDITOR);
        handle25 = LoadPanel(0, "uldo.uir", PANEL_MAP_PREVIEW);
        numpoints = 0;
    }

    // The mixed example with its QPSK carrier (3.84 Msym/s) as the reference.
    void CompileExample() {
        int carriers = LoadTableForm((std::string(ULDO_SOURCE_DIR) + "/examples/mixed.kvt").c_str());
        ASSERT_EQ(carriers, 6);
        SetSmallCompileSettings();
        globals.compile_length = 60000;
        globals.carrier_count = carriers;
        ASSERT_EQ(signals[0].modulation, MOD_QPSK);
        SetField(globals.waveform_dir, dir.path().string());
        popups.file_answers = {{dir.File("wave.wfm"), VAL_NEW_FILE_SELECTED}};
        AcquireData(handle0, MENU_COMPILE, nullptr, handle);
        ASSERT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
        ASSERT_GT(handle5, 0);
        ASSERT_EQ(numpoints, 60000);
    }

    TempDir dir;
    ScriptedPopups popups;
};

// Each button opens its display; OK discards it; a second opening replaces
// the first copy rather than adding one.
TEST_F(Visual, EachDisplayOpensOnceAndCloses) {
    CompileExample();
    struct Display {
        int button;
        int* handle;
        const char* title;
        int ok;
    } displays[] = {
        {ANALYSIS_IQ_TIME, &handle16, "I and Q against Time", TRACE_OK},
        {ANALYSIS_EYE, &handle17, "Eye Diagram", TRACE_OK},
        {ANALYSIS_PHASE, &handle12, "PHASE DIAGRAM DISPLAY", ZOOM_OK},
        {ANALYSIS_CONSTELLATION, &handle12, "CONSTELLATION DISPLAY", ZOOM_OK},
        {ANALYSIS_GLIM, &handle26, "CONSTELLATION DISPLAY", GLIM_OK},
        {ANALYSIS_GLIM_ZOOM, &handle28, "Persistence Zoom", GLIM_ZOOM_OK},
    };
    for (const Display& d : displays) {
        SCOPED_TRACE(d.title);
        ASSERT_EQ(SimulateClick(handle5, d.button), 0);
        int first = *d.handle;
        ASSERT_GT(first, 0);
        EXPECT_TRUE(IsPanelVisible(first));
        SimulateClick(handle5, d.button);
        EXPECT_EQ(IsPanelVisible(first), first == *d.handle ? 1 : UIE_BAD_PANEL);
        EXPECT_TRUE(IsPanelVisible(*d.handle));
        EXPECT_EQ(VisibleWindows(d.title), 1);
        int open = *d.handle;
        SimulateClick(open, d.ok);
        EXPECT_EQ(*d.handle, 0);
        EXPECT_EQ(IsPanelVisible(open), UIE_BAD_PANEL);
        EXPECT_EQ(VisibleWindows(d.title), 0);
    }
    // The quantisation calculator comes from the Tools menu.
    SimulateMenuItem(handle0, MENU_QUANT);
    SimulateMenuItem(handle0, MENU_QUANT);
    ASSERT_GT(handle29, 0);
    EXPECT_EQ(VisibleWindows("Quantisation Calculator"), 1);
    SimulateClick(handle29, QUANT_OK);
    EXPECT_EQ(handle29, 0);
    EXPECT_EQ(VisibleWindows("Quantisation Calculator"), 0);
}

TEST_F(Visual, PlotsHoldTheRecordTheEyeAndTheSymbolInstants) {
    CompileExample();
    SimulateClick(handle5, ANALYSIS_EYE);
    // Traces of two symbols of the QPSK reference plus one sample, stepping through the record.
    ASSERT_GT(pointperiod, 1.0f);
    int n = static_cast<int>(2.0f * pointperiod + 1.5f);
    EXPECT_EQ(eye_length, n);
    EXPECT_EQ(eye_start[1], static_cast<int>(2.0f * pointperiod + 0.5f));
    EXPECT_LT(eye_start[eye_traces - 1], numpoints - n);
    EXPECT_GT(eye_traces, 500);
    QCustomPlot* eye = Plot(handle17, TRACE_I_GRAPH);
    ASSERT_TRUE(eye && eye->plottableCount() == 1);
    auto* traces = dynamic_cast<DensityPlottable*>(eye->plottable(0));
    ASSERT_TRUE(traces);
    EXPECT_EQ(traces->Traces(), eye_traces);
    EXPECT_EQ(traces->Points(), eye_traces * n);
    EXPECT_NEAR(eye->xAxis->range().upper, (n - 1) / pointperiod, 1e-6);   // two symbols

    SimulateClick(handle5, ANALYSIS_CONSTELLATION);
    QCustomPlot* zoom = Plot(handle12, ZOOM_GRAPH);
    ASSERT_TRUE(zoom && zoom->plottableCount() == 2);
    auto* path = dynamic_cast<DensityPlottable*>(zoom->plottable(0));
    auto* instants = dynamic_cast<DensityPlottable*>(zoom->plottable(1));
    ASSERT_TRUE(path && instants);
    EXPECT_EQ(path->Points(), numpoints);
    EXPECT_EQ(instants->Points(), ConstellationLength());
    EXPECT_GT(ConstellationLength(), 100);

    SimulateClick(handle5, ANALYSIS_IQ_TIME);
    QCustomPlot* q = Plot(handle16, TRACE_Q_GRAPH);
    ASSERT_TRUE(q && q->graphCount() == 1);
    EXPECT_EQ(q->graph(0)->dataCount(), numpoints);
    EXPECT_NEAR(q->graph(0)->data()->at(1)->key, 1e6 / record_clock, 1e-12);   // microseconds
}

// The traces are drawn where the axes put them: the constellation's yellow
// symbol instants over the faint trajectory, again after a zoom onto one.
TEST_F(Visual, ConstellationDrawsTheInstantsWhereTheAxesPutThem) {
    CompileExample();
    SimulateClick(handle5, ANALYSIS_CONSTELLATION);
    QCustomPlot* zoom = Plot(handle12, ZOOM_GRAPH);
    ASSERT_TRUE(zoom);
    ASSERT_GT(ConstellationLength(), 0);
    auto colour_at = [zoom](double i, double q) {
        QImage shot = zoom->toPixmap(zoom->width(), zoom->height(), 1.0).toImage();
        return shot.pixelColor(static_cast<int>(zoom->xAxis->coordToPixel(i)),
                               static_cast<int>(zoom->yAxis->coordToPixel(q)));
    };
    auto yellow = [](const QColor& c) { return c.red() > 100 && c.green() > 100 && 2 * c.blue() < c.red(); };
    double i = phase_ic[0], q = phase_qc[0];
    EXPECT_TRUE(yellow(colour_at(i, q))) << colour_at(i, q).name().toStdString();
    // The plot's centre before the zoom: the faint trajectory, no instant.
    QColor centre = colour_at(0.0, 0.0);
    EXPECT_FALSE(yellow(centre));
    EXPECT_LT(centre.red(), 120);

    // Zoomed onto the first instant, it sits at the plot's new centre.
    double h = 0.02 * zoom->xAxis->range().size();
    zoom->xAxis->setRange(i - h, i + h);
    zoom->yAxis->setRange(q - h, q + h);
    EXPECT_TRUE(yellow(colour_at(i, q))) << colour_at(i, q).name().toStdString();
}

TEST_F(Visual, PersistenceZoomMarginalsFollowTheCursorsAndTheGammaOnlyTheImage) {
    CompileExample();
    SimulateClick(handle5, ANALYSIS_GLIM_ZOOM);
    ASSERT_GT(handle28, 0);
    auto number = [](int control) {
        double v = -1;
        GetCtrlVal(handle28, control, &v);
        return v;
    };
    EXPECT_EQ(number(GLIM_COUNT), numpoints);
    EXPECT_EQ(number(GLIM_SUM), numpoints);   // the window starts on the whole grid
    EXPECT_EQ(number(GLIM_WIDTH), 400);

    // The right half of the plane: columns 200 .. 399.
    SetGraphCursor(handle28, GLIM_GRAPH, 1, 200.0, 0.0);
    UpdateGamma(handle28, GLIM_GRAPH, EVENT_VAL_CHANGED, nullptr, 1, 0);
    int64_t right = 0;
    for (int col = 200; col < 400; ++col)
        for (int row = 0; row < 400; ++row) right += glim_counts[row][col];
    EXPECT_EQ(number(GLIM_SUM), right);
    EXPECT_EQ(number(GLIM_WIDTH), 200);
    auto* bars = qobject_cast<QCPBars*>(Plot(handle28, GLIM_X_GRAPH)->plottable(0));
    ASSERT_TRUE(bars);
    EXPECT_EQ(bars->data()->at(199)->value, 0.0);
    EXPECT_EQ(bars->data()->at(250)->value, glim_x[250]);
    EXPECT_GT(glim_x[250] + glim_x[300], 0);

    // Gamma 10: the image brightens, the marginals keep the raw counts.
    auto* image = qobject_cast<QCPColorMap*>(Plot(handle28, GLIM_GRAPH)->plottable(0));
    ASSERT_TRUE(image);
    int row = 0, col = 0;
    for (int r = 0; r < 400; ++r)
        for (int c = 0; c < 400; ++c)
            if (glim_counts[r][c] > 0 && glim_counts[r][c] < glim_peak / 4) row = r, col = c;
    double before = image->data()->cell(col, row);
    SetCtrlVal(handle28, GLIM_GAMMA, 10.0);
    SimulateCommit(handle28, GLIM_GAMMA);
    EXPECT_GT(image->data()->cell(col, row), before);
    EXPECT_EQ(bars->data()->at(250)->value, glim_x[250]);
    EXPECT_EQ(number(GLIM_SUM), right);
}

TEST_F(Visual, AllZeroRecordShowsEmptyDisplaysWithANote) {
    CompileExample();
    std::fill(phase_i, phase_i + DISPLAY_POINTS, 0.0f);
    std::fill(phase_q, phase_q + DISPLAY_POINTS, 0.0f);
    max_i = 0.0f;
    SimulateClick(handle5, ANALYSIS_GLIM);
    EXPECT_NE(Text(handle26, GLIM_NOTE).find("all zeros"), std::string::npos);
    SimulateClick(handle5, ANALYSIS_GLIM_ZOOM);
    double sum = -1;
    GetCtrlVal(handle28, GLIM_SUM, &sum);
    EXPECT_EQ(sum, 0.0);
    EXPECT_EQ(glim_peak, 0);
}

// The print buttons of the phase diagram, the zoom and the map preview.
TEST_F(Visual, PrintButtonsPrintThePanels) {
    CompileExample();
    SimulateClick(handle5, ANALYSIS_PHASE);
    SimulateClick(handle5, ANALYSIS_GLIM_ZOOM);
    map.num_points = 1;
    SimulateClick(handle18, MAP_PREVIEW);
    const struct {
        int panel, button;
        const char* file;
    } prints[] = {{handle12, ZOOM_PRINT, "phase.pdf"},
                  {handle28, GLIM_ZOOM_PRINT, "zoom.pdf"},
                  {handle25, PREVIEW_PRINT, "preview.pdf"}};
    for (const auto& p : prints) {
        std::string pdf = dir.File(p.file);
        setenv("ULDO_PRINT_PDF", pdf.c_str(), 1);
        SimulateClick(p.panel, p.button);
        unsetenv("ULDO_PRINT_PDF");
        EXPECT_EQ(FileText(pdf).substr(0, 4), "%PDF") << p.file;
        EXPECT_GT(FileText(pdf).size(), 5000u) << p.file;
    }
}

TEST_F(Visual, MapPreviewShowsTheMapOverTheDimmedEditor) {
    map.num_points = 4;
    const float points[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    for (int k = 0; k < 4; ++k) map.point_i[k] = points[k][0], map.point_q[k] = points[k][1];
    DisplayPanel(handle18);
    int dimmed = 1;
    GetCtrlAttribute(handle18, MAP_PREVIEW, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 0);
    SimulateClick(handle18, MAP_PREVIEW);
    EXPECT_TRUE(IsPanelVisible(handle25));
    GetPanelAttribute(handle18, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 1);
    QCustomPlot* plot = Plot(handle25, PREVIEW_GRAPH);
    ASSERT_TRUE(plot && plot->plottableCount() == 1);
    EXPECT_EQ(plot->plottable(0)->interface1D()->dataCount(), 4);
    SimulateClick(handle25, PREVIEW_OK);
    EXPECT_FALSE(IsPanelVisible(handle25));
    GetPanelAttribute(handle18, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 0);
}

TEST_F(Visual, QuantisationCursorReadsTheCurve) {
    SimulateMenuItem(handle0, MENU_QUANT);
    ASSERT_GT(handle29, 0);
    double x = 0, y = 0;
    GetCtrlVal(handle29, QUANT_CURSOR_X, &x);
    GetCtrlVal(handle29, QUANT_CURSOR_Y, &y);
    EXPECT_NEAR(x, 100.0, 1e-4);
    EXPECT_NEAR(y, quant_noise[100], 1e-9);
    // One bit more: 6.02 dB lower at the same rate.
    double bits = 0;
    GetCtrlVal(handle29, QUANT_BITS, &bits);
    SetCtrlVal(handle29, QUANT_BITS, bits + 1);
    SimulateCommit(handle29, QUANT_BITS);
    double lower = 0;
    GetCtrlVal(handle29, QUANT_CURSOR_Y, &lower);
    EXPECT_NEAR(y - lower, 6.0206, 1e-3);
}

}  // namespace
