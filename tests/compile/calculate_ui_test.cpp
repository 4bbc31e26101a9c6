// The compile command of the GUI, driven through the UI seam.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include "compile/calculate_ui.h"
#include "compile/engine.h"
#include "compile/iqformats.h"
#include "editors/tableview_ui.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "shell/widgets_ui.h"
#include "support/scripted_popups_ui.h"
#include "support/app_ui.h"
#include "support/tempdir.h"

namespace {

class Calculate : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        iq_settings = IqSettings{};
        LoadCompilePanels();
        handle5 = LoadPanel(0, "uldo.uir", PANEL_ANALYSIS);
        SetQpskCarrier(0, 10e6f, 1e6f);
        signals[1].frequency_hz = -1.0f;
        SetSmallCompileSettings();
        globals.output_baseband_i = globals.output_baseband_q = 1;
        globals.carrier_count = 1;
        SetField(globals.waveform_dir, dir.path().string());
        numpoints = 0;
    }

    static int Numeric(int panel, int control) {
        double v = -1;
        GetCtrlVal(panel, control, &v);
        return static_cast<int>(v);
    }

    TempDir dir;
    ScriptedPopups popups;
};

TEST_F(Calculate, WritesOneFilePerPassAndShowsThePlan) {
    std::string path = dir.File("wave.wfm");
    popups.file_answers = {{path, VAL_NEW_FILE_SELECTED}};
    UpdateCarrierTable();   // undims the compile command
    SimulateMenuItem(handle0, MENU_COMPILE);

    ASSERT_EQ(popups.Count(ScriptedPopups::FILE_SELECT), 1);
    EXPECT_EQ(popups.shown[0].title, "Specify Waveform File (Native Format)");
    EXPECT_EQ(popups.shown[0].text, "*.wfm");
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(numpoints, 4000);
    // "MAGIC 1000\r\n#" + "5" + "20000" + 5 bytes per sample + "CLOCK %f\r\n".
    char trailer[64];
    int trailer_length = std::snprintf(trailer, sizeof trailer, "CLOCK %f\r\n", record_clock);
    for (const char* name : {"wave.wfm", "wave_I.wfm", "wave_Q.wfm"})
        EXPECT_EQ(ReadBytes(dir.File(name)).size(), 13u + 1 + 5 + 20000 + trailer_length) << name;

    EXPECT_FALSE(IsPanelVisible(handle2));
    ASSERT_GT(handle5, 0);
    EXPECT_TRUE(IsPanelVisible(handle5));
    EXPECT_EQ(Numeric(handle5, ANALYSIS_SAMPLES), 4000);
    EXPECT_EQ(Numeric(handle5, ANALYSIS_SYMBOLS), symbols_in_record[0]);
    char text[64];
    GetCtrlVal(handle5, ANALYSIS_MODULATION, text);
    EXPECT_STREQ(text, "QPSK");
    GetCtrlVal(handle2, PROGRESS_STATUS, text);
    EXPECT_STREQ(text, "Sending Baseband Q..");
    int dimmed = -1;
    GetPanelAttribute(handle, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 0);
}

// The complex pass of the compile options: its record beside the waveform file.
TEST_F(Calculate, ComplexRecordBesideTheWaveform) {
    iq_settings = IqSettings{1, IQ_CF32_LE, 0.0, 0};
    popups.file_answers = {{dir.File("wave.wfm"), VAL_NEW_FILE_SELECTED}};
    UpdateCarrierTable();
    SimulateMenuItem(handle0, MENU_COMPILE);
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(ReadBytes(dir.File("wave.cf32")).size(), 8u * 4000);
    EXPECT_NEAR(iq_center_hz, 10e6, record_clock / 4000);

    globals.output_destination = 2;  // a GPIB-format file holds no complex record
    SimulateMenuItem(handle0, MENU_COMPILE);
    EXPECT_EQ(popups.Last(ScriptedPopups::MESSAGE),
              "The complex I/Q record is written to a native-format file only.");
    iq_settings = IqSettings{0, IQ_CF32_LE, 0.0, 0};
}

TEST_F(Calculate, CancelledDialogCompilesNothing) {
    SimulateClick(handle, MAIN_CARRIER_BUTTON);   // dimmed until the table view shows carriers
    SimulateMenuItem(handle0, MENU_COMPILE);
    EXPECT_EQ(popups.Count(ScriptedPopups::FILE_SELECT), 0);
    UpdateCarrierTable();
    SimulateClick(handle, MAIN_CARRIER_BUTTON);   // the dialog is cancelled
    EXPECT_EQ(popups.Count(ScriptedPopups::FILE_SELECT), 1);
    EXPECT_EQ(numpoints, 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(Calculate, RefusalsArePopUpsAndWriteNothing) {
    globals.max_record_length = 3999;
    popups.file_answers = {{dir.File("wave.wfm"), VAL_NEW_FILE_SELECTED}};
    AcquireData(handle0, MENU_COMPILE, nullptr, handle);
    ASSERT_EQ(popups.Count(ScriptedPopups::MESSAGE), 1);
    EXPECT_EQ(popups.shown.back().title, "COMPILATION ERROR");
    EXPECT_EQ(popups.shown.back().text,
              "Not enough record length in target\n"
              "The record needs 4000 samples; the target holds at most 3999.");
    EXPECT_FALSE(std::filesystem::exists(dir.File("wave.wfm")));
    EXPECT_FALSE(IsPanelVisible(handle2));
}

// Presses Cancel on the progress panel, as a user would, once the run has
// shown some progress: from inside the run's own event processing.
void CancelOnceUnderway(QTimer* timer, int* clicks) {
    QObject::connect(timer, &QTimer::timeout, [timer, clicks] {
        double percent = 0;
        GetCtrlVal(handle2, PROGRESS_PERCENT, &percent);
        if (!IsPanelVisible(handle2) || percent <= 0) return;
        SimulateClick(handle2, PROGRESS_CANCEL);
        ++*clicks;
        timer->stop();
    });
    timer->start(0);
}

TEST_F(Calculate, CancelStopsTheRunningCompileAndOnlyThatOne) {
    globals.compile_length = 2000000;   // long enough for many cancel polls
    globals.max_record_length = 16000000;
    std::string path = dir.File("wave.wfm");
    const std::string previous = "the waveform of an earlier compile";
    WriteBytes(path, previous.data(), previous.size());

    // A click before the run, and the main button's own commit, reach no run.
    SimulateClick(handle2, PROGRESS_CANCEL);
    QTimer timer;
    int clicks = 0;
    CancelOnceUnderway(&timer, &clicks);
    popups.file_answers = {{path, VAL_EXISTING_FILE_SELECTED}};
    UpdateCarrierTable();
    SimulateClick(handle, MAIN_CARRIER_BUTTON);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(IsPanelVisible(handle2));
    EXPECT_FALSE(IsPanelVisible(handle5));
    double percent = 0;
    GetCtrlVal(handle2, PROGRESS_PERCENT, &percent);
    EXPECT_LT(percent, 100.0);
    EXPECT_EQ(numpoints, 2000000);
    // Cancelled before its output was complete: the earlier file is untouched
    // and no half-written one is left beside it.
    std::vector<char> bytes = ReadBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), previous);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 1);

    // Clicks after the run stopped are forgotten: the next compile runs to its end.
    SimulateClick(handle2, PROGRESS_CANCEL);
    SimulateClick(handle2, PROGRESS_CANCEL);
    globals.compile_length = 4000;
    popups.file_answers = {{path, VAL_EXISTING_FILE_SELECTED}};
    SimulateClick(handle, MAIN_CARRIER_BUTTON);
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_TRUE(IsPanelVisible(handle5));
    EXPECT_EQ(numpoints, 4000);
    for (const char* name : {"wave.wfm", "wave_I.wfm", "wave_Q.wfm"})
        EXPECT_GT(ReadBytes(dir.File(name)).size(), 20000u) << name;
}

TEST_F(Calculate, CancelDuringAnOutputPassKeepsThePreviousFile) {
    globals.compile_length = 2000000;
    globals.max_record_length = 16000000;
    globals.output_baseband_i = globals.output_baseband_q = 0;
    std::string path = dir.File("wave.wfm");
    const std::string previous = "kept";
    WriteBytes(path, previous.data(), previous.size());
    // Cancel once the RF pass is under way.
    QTimer timer;
    int clicks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        char status[64] = "";
        GetCtrlVal(handle2, PROGRESS_STATUS, status);
        double percent = 0;
        GetCtrlVal(handle2, PROGRESS_PERCENT, &percent);
        if (std::string(status) != "Sending RF.." || percent <= 0) return;
        // Escape on the progress panel is its Cancel button.
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(PanelWidget(handle2), &escape);
        ++clicks;
        timer.stop();
    });
    timer.start(0);
    popups.file_answers = {{path, VAL_EXISTING_FILE_SELECTED}};
    AcquireData(handle0, MENU_COMPILE, nullptr, handle);
    ASSERT_EQ(clicks, 1);
    std::vector<char> bytes = ReadBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), previous);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST_F(Calculate, GpibFormatFileDialog) {
    globals.output_destination = 2;
    globals.output_baseband_i = globals.output_baseband_q = 0;
    std::string path = dir.File("wave.gpi");
    popups.file_answers = {{path, VAL_NEW_FILE_SELECTED}};
    AcquireData(handle0, MENU_COMPILE, nullptr, handle);
    EXPECT_EQ(popups.shown[0].title, "Specify Waveform File (GPIB Format)");
    EXPECT_EQ(popups.shown[0].text, "*.gpi");
    std::vector<char> bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(std::string(bytes.data(), 23), "MMEM:DATA \"BROXEL.WFM\",");
}

TEST_F(Calculate, InstrumentDestinations) {
    // GPIB through the capture backend: the reset, then the pass's messages.
    std::string capture = dir.File("bus.txt");
    setenv("ULDO_GPIB", ("capture:" + capture).c_str(), 1);
    globals.output_destination = 0;
    globals.output_baseband_i = globals.output_baseband_q = 0;
    AcquireData(handle0, MENU_COMPILE, nullptr, handle);
    unsetenv("ULDO_GPIB");
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
    std::vector<char> bytes = ReadBytes(capture);
    std::string text(bytes.begin(), bytes.end());
    size_t reset = text.find("*rst"), header = text.find("MMEM:DATA \"BROXEL.WFM\"");
    EXPECT_NE(reset, std::string::npos);
    EXPECT_NE(header, std::string::npos);
    EXPECT_LT(reset, header);

    // FTP: declining the name prompt ends the run silently.
    globals.output_destination = 3;
    numpoints = 0;
    popups.prompt_answers = {std::nullopt};
    AcquireData(handle0, MENU_COMPILE, nullptr, handle);
    EXPECT_EQ(popups.Count(ScriptedPopups::PROMPT), 1);
    EXPECT_EQ(popups.Last(ScriptedPopups::PROMPT), "FTP File Name");
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0);
    EXPECT_EQ(numpoints, 0);
    EXPECT_FALSE(IsPanelVisible(handle2));
}

}  // namespace
