// The analysis panel after a compile through the GUI, the power table and
// CCDF panels, their printouts and the offscreen images.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QWidget>

#include <QImage>
#include <QString>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "compile/calculate_ui.h"
#include "compile/engine.h"
#include "displays/analysis_report.h"
#include "displays/displays_ui.h"
#include "displays/power.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/qcustomplot_ui.h"
#include "shell/userint_ui.h"
#include "shell/widgets_ui.h"
#include "shaping/filters.h"
#include "support/scripted_popups_ui.h"
#include "support/app_ui.h"
#include "support/tempdir.h"

namespace {

class Analysis : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        LoadCompilePanels();
        handle14 = LoadPanel(0, "uldo.uir", PANEL_POWER);   // as start-up loads it
        handle5 = handle27 = 0;

        // A shaped QPSK reference at a quarter of the clock and a GMSK carrier.
        SetQpskCarrier(0, 10e6f, 1e6f);
        const Carrier& c = signals[0];
        Carrier& g = signals[1];
        g = c;
        g.frequency_hz = 4e6f;
        g.amplitude = 0.5f;
        g.modulation = MOD_GMSK;
        g.filter_type = FILTER_GAUSS2;
        g.filter_param = 0.3f;
        signals[2].frequency_hz = -1.0f;
        SetSmallCompileSettings();
        globals.carrier_count = 2;
        SetField(globals.waveform_dir, dir.path().string());
        numpoints = 0;
    }
    void TearDown() override {
        unsetenv("ULDO_PRINT_PDF");
        GuiFixture::TearDown();
    }

    void Compile() {
        popups.file_answers = {{dir.File("wave.wfm"), VAL_NEW_FILE_SELECTED}};
        AcquireData(handle0, MENU_COMPILE, nullptr, handle);
        ASSERT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
        ASSERT_GT(handle5, 0);
    }

    static double Numeric(int panel, int control) {
        double v = NAN;
        GetCtrlVal(panel, control, &v);
        return v;
    }

    // Prints through the button into a PDF; its size (0 when missing).
    std::uintmax_t PrintToPdf(int panel, int button, const char* name) {
        std::string pdf = dir.File(name);
        setenv("ULDO_PRINT_PDF", pdf.c_str(), 1);
        SimulateClick(panel, button);
        unsetenv("ULDO_PRINT_PDF");
        std::ifstream in(pdf, std::ios::binary);
        char magic[5] = {};
        in.read(magic, 4);
        EXPECT_STREQ(magic, "%PDF") << name;
        std::error_code ec;
        auto size = std::filesystem::file_size(pdf, ec);
        return ec ? 0 : size;
    }

    static std::string Text(int panel, int control) {
        char text[64] = "";
        GetCtrlVal(panel, control, text);
        return text;
    }

    // Prints through the button into a picture of the page: a heading of
    // text above the panel, and where the panel's buttons were, the panel's
    // background only. The buttons are back on the panel afterwards.
    void ExpectHeadingWithoutButtons(int panel, int button) {
        std::string png = dir.File("page.png");
        setenv("ULDO_PRINT_PDF", png.c_str(), 1);
        SimulateClick(panel, button);
        unsetenv("ULDO_PRINT_PDF");
        QImage page(QString::fromStdString(png));
        ASSERT_FALSE(page.isNull());
        // The panel: the run of rows off white at the page's left edge, at the bottom.
        const QRgb white = qRgb(255, 255, 255);
        int y1 = page.height() - 1;
        while (y1 > 0 && page.pixel(1, y1) == white) --y1;
        int y0 = y1;
        while (y0 > 0 && page.pixel(1, y0 - 1) != white) --y0;
        QWidget* window = PanelWidget(panel);
        ASSERT_GT(y0, 10);
        const double scale = (y1 - y0 + 1) / double(window->height());
        // Above it, dark text on the white page.
        int dark = 0;
        for (int y = 0; y < y0; ++y)
            for (int x = 0; x < page.width(); ++x) dark += qGray(page.pixel(x, y)) < 128;
        EXPECT_GT(dark, 50);
        // Where the button was, the panel's background alone.
        QRect b = CtrlWidget(panel, button)->geometry();
        auto at = [&](int x, int y) { return page.pixel(int(x * scale), y0 + int(y * scale)); };
        const QRgb background = at(b.left() - 4, b.center().y());
        int differ = 0;
        for (int y = b.top() + 1; y < b.bottom(); ++y)
            for (int x = b.left() + 1; x < b.right(); ++x) differ += at(x, y) != background;
        EXPECT_EQ(differ, 0);
        EXPECT_TRUE(CtrlWidget(panel, button)->isVisible());
    }

    TempDir dir;
    ScriptedPopups popups;
};

TEST_F(Analysis, CompileShowsPowerSpectrumAndPeaks) {
    Compile();
    EXPECT_TRUE(IsPanelVisible(handle5));
    EXPECT_NEAR(std::stod(Text(handle5, ANALYSIS_POWER)), CarrierPower(0), 1e-3);
    EXPECT_LT(std::stod(Text(handle5, ANALYSIS_POWER)), 10.0);
    EXPECT_DOUBLE_EQ(Numeric(handle5, ANALYSIS_PEAK_RF), max_value);
    EXPECT_DOUBLE_EQ(Numeric(handle5, ANALYSIS_PEAK_IQ), max_i);
    // 10 MHz of a 40 MHz record: bin 2048 of 8192, on the carrier's line,
    // the axis in MHz and the level in dB below the top bin.
    ASSERT_DOUBLE_EQ(record_clock, 40e6);
    double x = -1, y = 0;
    GetGraphCursor(handle5, ANALYSIS_SPECTRUM, 1, &x, &y);
    EXPECT_EQ(x, 10.0);
    EXPECT_EQ(y, FFT_Array[2048] - spectrum_top);
    EXPECT_GT(y, -10.0);
    EXPECT_EQ(Numeric(handle5, ANALYSIS_CURSOR_FREQUENCY), 10.0);
    EXPECT_EQ(Numeric(handle5, ANALYSIS_CURSOR_LEVEL), y);
    // Dragged anywhere, the cursor goes onto the line at the nearest bin.
    SetGraphCursor(handle5, ANALYSIS_SPECTRUM, 1, 7.3, -3.0);
    UpdateSpectrumCursor(handle5, ANALYSIS_SPECTRUM, EVENT_VAL_CHANGED, nullptr, 1, 0);
    GetGraphCursor(handle5, ANALYSIS_SPECTRUM, 1, &x, &y);
    EXPECT_DOUBLE_EQ(x, 1495 * 40.0 / 8192);   // round(7.3 MHz * 8192 / 40 MHz)
    EXPECT_EQ(y, FFT_Array[1495] - spectrum_top);
    EXPECT_EQ(Numeric(handle5, ANALYSIS_CURSOR_FREQUENCY), x);
    EXPECT_EQ(Numeric(handle5, ANALYSIS_CURSOR_LEVEL), y);

    // The plan of the reference, control by control.
    const Carrier& ref = signals[0];
    const struct {
        int control;
        double value;
    } plan[] = {
        {ANALYSIS_FREQUENCY, ref.frequency_hz / 1e6}, {ANALYSIS_SYMBOL_RATE, ref.symbol_rate / 1e6},
        {ANALYSIS_CLOCK, record_clock / 1e6},         {ANALYSIS_FILTER_PARAM, ref.filter_param},
        {ANALYSIS_SYMBOLS, double(symbols_in_record[0])}, {ANALYSIS_SAMPLES, double(numpoints)},
    };
    for (const auto& p : plan) EXPECT_NEAR(Numeric(handle5, p.control), p.value, 1e-9) << p.control;
    // The pulse in symbols about its peak.
    auto* pulse = qobject_cast<QCustomPlot*>(CtrlWidget(handle5, ANALYSIS_PULSE));
    ASSERT_TRUE(pulse && pulse->plottableCount() == 1);
    EXPECT_EQ(pulse->plottable(0)->interface1D()->dataCount(), PulseEntries(ref.filter_length));
    EXPECT_DOUBLE_EQ(pulse->plottable(0)->interface1D()->dataMainKey(0), -(ref.filter_length + 1) / 2.0);
    EXPECT_EQ(pulse->xAxis->label(), "symbols");
    // A tone has no pulse: the plot is empty and says why; the next plot drops the note.
    signals[1].modulation = MOD_FM;
    PlotAnalysisPulse(handle5, 1);
    auto notes = [&] {
        std::vector<QString> texts;
        for (int i = 0; i < pulse->itemCount(); ++i)
            if (auto* text = qobject_cast<QCPItemText*>(pulse->item(i))) texts.push_back(text->text());
        return texts;
    };
    EXPECT_EQ(pulse->plottableCount(), 0);
    EXPECT_EQ(notes(), std::vector<QString>{"No pulse: the reference is an analog FM tone."});
    PlotAnalysisPulse(handle5, 0);
    EXPECT_TRUE(notes().empty());
    EXPECT_EQ(pulse->plottableCount(), 1);
    // The cursor is still there and follows; a new plot puts it back at 0.
    EXPECT_EQ(SetGraphCursor(handle5, ANALYSIS_PULSE, 1, 0.5, 0.25), 0);
    RefreshPlots(PanelWidget(handle5));
    PlotAnalysisPulse(handle5, 0);
    signals[1].modulation = MOD_GMSK;
    GetGraphCursor(handle5, ANALYSIS_PULSE, 1, &x, &y);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    // 150 dB below the highest line, the DC bin included, up to half the clock.
    auto* spectrum = qobject_cast<QCustomPlot*>(CtrlWidget(handle5, ANALYSIS_SPECTRUM));
    ASSERT_TRUE(spectrum && spectrum->plottableCount() == 1);
    EXPECT_EQ(spectrum->plottable(0)->interface1D()->dataCount(), SPECTRUM_BINS);
    EXPECT_DOUBLE_EQ(spectrum->yAxis->range().lower, -150.0);
    EXPECT_DOUBLE_EQ(spectrum->yAxis->range().upper, 0.0);
    EXPECT_DOUBLE_EQ(spectrum->xAxis->range().upper, 4095 * 40.0 / 8192);
    EXPECT_EQ(spectrum->xAxis->label(), "MHz");
    EXPECT_EQ(spectrum->yAxis->label(), "dB");

    // Without the RF pass the readout stays at 0.
    globals.output_rf = 0;
    globals.output_baseband_i = 1;
    Compile();
    EXPECT_EQ(Text(handle5, ANALYSIS_POWER), "0.000");

    // A reference without a defined power says so in words.
    globals.output_rf = 1;
    signals[0].modulation = MOD_FILE1;
    ShowAnalysisPower();
    EXPECT_EQ(Text(handle5, ANALYSIS_POWER), "n/a");
}

TEST_F(Analysis, PowerTableOpensPrintsAndReturns) {
    Compile();
    SimulateClick(handle5, ANALYSIS_POWER_TABLE);
    ASSERT_GT(handle14, 0);
    EXPECT_TRUE(IsPanelVisible(handle14));
    EXPECT_FALSE(IsPanelVisible(handle5));
    int rows = 0;
    GetNumListItems(handle14, POWER_LIST, &rows);
    ASSERT_EQ(rows, 2);
    char text[64];
    int value = -1;
    GetLabelFromIndex(handle14, POWER_LIST, 1, text, sizeof text);
    GetValueFromIndex(handle14, POWER_LIST, 1, &value);
    EXPECT_EQ(value, 1);
    char expected[64];
    std::snprintf(expected, sizeof expected, "   2  GMSK          4.000000 |  %8.3f",
                  10.0 + 20.0 * std::log10(0.5 / max_value));
    EXPECT_STREQ(text, expected);
    double total = std::pow(10.0, CarrierPower(0) / 10) + std::pow(10.0, CarrierPower(1) / 10);
    EXPECT_NEAR(std::stod(Text(handle14, POWER_SUMMARY)), 10.0 - 10.0 * std::log10(total), 1e-3);
    EXPECT_DOUBLE_EQ(Numeric(handle14, POWER_PEAK), max_value);

    EXPECT_GT(PrintToPdf(handle14, POWER_PRINT, "power.pdf"), 1000u);
    ExpectHeadingWithoutButtons(handle14, POWER_PRINT);

    // No carrier left: no power at all, 10 dB above minus infinity.
    SimulateClick(handle14, POWER_OK);
    signals[0].frequency_hz = 0.0f;
    SimulateClick(handle5, ANALYSIS_POWER_TABLE);
    EXPECT_EQ(Text(handle14, POWER_SUMMARY), "inf");

    int power = handle14;
    SimulateClick(handle14, POWER_OK);
    EXPECT_EQ(handle14, 0);
    EXPECT_EQ(IsPanelVisible(power), UIE_BAD_PANEL);   // discarded
    EXPECT_TRUE(IsPanelVisible(handle5));
}

TEST_F(Analysis, CCDFShowsTheRatioAndFollowsItsCursor) {
    Compile();
    SimulateClick(handle5, ANALYSIS_CCDF);
    ASSERT_GT(handle27, 0);
    EXPECT_TRUE(IsPanelVisible(handle27));
    char title[32];
    GetPanelAttribute(handle27, ATTR_TITLE, title, sizeof title);
    EXPECT_STREQ(title, "CCDF");
    // A shaped QPSK carrier has peaks: some dB above its mean.
    EXPECT_GT(ccdf_ratio, 2.0);
    char ratio[16];
    std::snprintf(ratio, sizeof ratio, "%.3f", ccdf_ratio);
    EXPECT_EQ(Text(handle27, CCDF_RATIO), ratio);
    EXPECT_EQ(Numeric(handle27, CCDF_CURSOR_X), 0.0);
    EXPECT_NEAR(Numeric(handle27, CCDF_CURSOR_Y), ccdf_y[0], 1e-4);
    // Shares on a logarithmic axis from 100 % down to 0.001 %.
    auto* graph = qobject_cast<QCustomPlot*>(CtrlWidget(handle27, CCDF_GRAPH));
    ASSERT_TRUE(graph);
    EXPECT_EQ(graph->yAxis->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_DOUBLE_EQ(graph->yAxis->range().lower, 0.001);
    EXPECT_DOUBLE_EQ(graph->yAxis->range().upper, 100.0);

    // Released at 2 dB, whatever the height: the figure the command line prints.
    std::string report = AnalysisReportText();
    std::size_t at = report.find("+2 dB ");
    ASSERT_NE(at, std::string::npos) << report;
    const double printed = std::stod(report.substr(at + 6));
    for (double height : {25.3, 41.2, 0.5}) {
        SetGraphCursor(handle27, CCDF_GRAPH, 1, 2.02, height);
        UpdateCCDFCursor(handle27, CCDF_GRAPH, EVENT_VAL_CHANGED, nullptr, 1, 0);   // dragging: nothing yet
        UpdateCCDFCursor(handle27, CCDF_GRAPH, EVENT_COMMIT, nullptr, 1, 0);
        EXPECT_EQ(Numeric(handle27, CCDF_CURSOR_X), 2.0) << height;
        EXPECT_NEAR(Numeric(handle27, CCDF_CURSOR_Y), printed, 5e-5) << height;
        double x = 0, y = 0;
        GetGraphCursor(handle27, CCDF_GRAPH, 1, &x, &y);
        EXPECT_EQ(y, Numeric(handle27, CCDF_CURSOR_Y));   // on the curve
    }

    EXPECT_GT(PrintToPdf(handle27, CCDF_PRINT, "ccdf.pdf"), 1000u);
    ExpectHeadingWithoutButtons(handle27, CCDF_PRINT);

    int ccdf = handle27;
    SimulateClick(handle27, CCDF_OK);
    EXPECT_EQ(handle27, 0);
    EXPECT_EQ(IsPanelVisible(ccdf), UIE_BAD_PANEL);
    EXPECT_TRUE(IsPanelVisible(handle5));

    // A silent record: no curve on the logarithmic axis, the cursor at 0 %.
    std::fill(phase_i, phase_i + numpoints, 0.0f);
    std::fill(phase_q, phase_q + numpoints, 0.0f);
    SimulateClick(handle5, ANALYSIS_CCDF);
    ASSERT_GT(handle27, 0);
    EXPECT_EQ(Text(handle27, CCDF_RATIO), "0.000");
    EXPECT_EQ(Numeric(handle27, CCDF_CURSOR_Y), 0.0);
    graph = qobject_cast<QCustomPlot*>(CtrlWidget(handle27, CCDF_GRAPH));
    ASSERT_TRUE(graph);
    EXPECT_EQ(graph->plottableCount(), 0);
    RefreshPlots(PanelWidget(handle27));
}

void PressKey(int panel, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(PanelWidget(panel), &press);
}

// Each panel closes with its window's close button and with Escape just as
// with its own button: the callback runs and the analysis panel comes back.
TEST_F(Analysis, PanelsCloseLikeTheirButtons) {
    Compile();
    struct Case {
        int button;      // of the analysis panel, opening the panel
        int* opened;
        int how;         // 0 close button, 1 Escape, 2 Enter on the default button
    } cases[] = {{ANALYSIS_POWER_TABLE, &handle14, 0}, {ANALYSIS_POWER_TABLE, &handle14, 1},
                 {ANALYSIS_POWER_TABLE, &handle14, 2}, {ANALYSIS_CCDF, &handle27, 0},
                 {ANALYSIS_CCDF, &handle27, 1},        {ANALYSIS_CCDF, &handle27, 2}};
    for (const Case& c : cases) {
        SimulateClick(handle5, c.button);
        int panel = *c.opened;
        ASSERT_GT(panel, 0);
        ASSERT_TRUE(IsPanelVisible(panel));
        if (c.how == 0)
            PanelWidget(panel)->close();
        else
            PressKey(panel, c.how == 1 ? Qt::Key_Escape : Qt::Key_Return);
        EXPECT_EQ(*c.opened, 0) << c.button << " " << c.how;
        EXPECT_EQ(IsPanelVisible(panel), UIE_BAD_PANEL);
        EXPECT_TRUE(IsPanelVisible(handle5));
    }
    // The analysis panel has its Close button; the close box and Escape do the same.
    SimulateClick(handle5, ANALYSIS_CLOSE);
    EXPECT_FALSE(IsPanelVisible(handle5));
    for (int how : {0, 1}) {
        DisplayPanel(handle5);
        if (how == 0)
            PanelWidget(handle5)->close();
        else
            PressKey(handle5, Qt::Key_Escape);
        EXPECT_FALSE(IsPanelVisible(handle5)) << how;
    }
    // It stays loaded for the displays of the last compile.
    SimulateClick(handle5, ANALYSIS_POWER_TABLE);
    EXPECT_GT(handle14, 0);
}

// The analysis panel grows with its window, its plots with it, and it stands
// clear of the main panel's Compile button.
TEST_F(Analysis, AnalysisPanelGrowsAndLeavesTheCompileButtonFree) {
    SetPanelPos(handle, VAL_AUTO_CENTER, VAL_AUTO_CENTER);   // as start-up places it
    Compile();
    QWidget* window = PanelWidget(handle5);
    QWidget* spectrum = CtrlWidget(handle5, ANALYSIS_SPECTRUM);
    QWidget* close = CtrlWidget(handle5, ANALYSIS_CLOSE);
    QSize plot = spectrum->size();
    QRect button = close->geometry();
    window->resize(window->width() + 300, window->height() + 200);
    QApplication::processEvents();
    // In proportion to the panel: 900 px wide grown by a third.
    EXPECT_GT(spectrum->width(), plot.width() * 1.3);
    EXPECT_GT(spectrum->height(), plot.height() + 80);
    EXPECT_EQ(close->size(), button.size());
    EXPECT_GT(close->x(), button.x());
    EXPECT_GT(close->y(), button.y());

    // On a screen of the size the program is laid out for (the test screen may be smaller).
    QRect area = QApplication::primaryScreen()->availableGeometry();
    if (area.width() >= 1280) {
        QWidget* compile = CtrlWidget(handle, MAIN_CARRIER_BUTTON);
        QRect on_screen(compile->mapToGlobal(QPoint(0, 0)), compile->size());
        EXPECT_FALSE(window->frameGeometry().intersects(on_screen));
    }
}

TEST_F(Analysis, ImagesForTheCommandLine) {
    EXPECT_EQ(SaveAnalysisImages(dir.File("none").c_str()), -1);   // nothing compiled yet
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 1);
    ASSERT_EQ(CompileTable(nullptr), COMPILE_DONE);
    std::string out = dir.File("png");
    ASSERT_EQ(SaveAnalysisImages(out.c_str()), 0);
    for (const char* name : {"spectrum.png", "ccdf.png", "iq.png"}) {
        QImage image(QString::fromStdString(out + "/" + name));
        EXPECT_FALSE(image.isNull()) << name;
        EXPECT_GE(image.width(), 600) << name;
    }
}

}  // namespace
