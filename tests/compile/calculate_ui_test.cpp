// The compile command of the GUI, driven through the UI seam.
#include <gtest/gtest.h>

#include "compile/calculate.h"
#include "compile/engine.h"
#include "editors/tableview.h"
#include "shell/hooks.h"
#include "shell/panels.h"
#include "shell/uldo.h"
#include "shell/userint.h"
#include "support/scripted_popups.h"
#include "support/ui_app.h"
#include "support/tempdir.h"

namespace {

class Calculate : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StartTestApplication(); }

    void SetUp() override {
        ResetRecords();
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
    EXPECT_EQ(popups.shown.back().text, "Not enough record length in target");
    EXPECT_FALSE(std::filesystem::exists(dir.File("wave.wfm")));
    EXPECT_FALSE(IsPanelVisible(handle2));
}

TEST_F(Calculate, CancelButtonStopsTheRun) {
    globals.compile_length = 400000;   // long enough to poll the cancel button
    popups.file_answers = {{dir.File("wave.wfm"), VAL_NEW_FILE_SELECTED}};
    // The click waits in the queue until the run polls the button.
    SimulateClick(handle2, PROGRESS_CANCEL);
    AcquireData(handle0, MENU_COMPILE, nullptr, handle);
    EXPECT_FALSE(IsPanelVisible(handle2));
    EXPECT_FALSE(IsPanelVisible(handle5));
    // The first poll comes in the compile pass, before any output file is opened.
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
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
