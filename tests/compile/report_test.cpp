#include "compile/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "compile/engine.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"

namespace {

TEST(Report, DefaultWaveformNames) {
    struct Case {
        const char* table;
        int type, destination;
        const char* name;
    } cases[] = {
        {"examples/mixed.json", 0, 1, "mixed.wfm"},
        {"/data/plan.v2.kvt", 4, 1, "plan.v2.wfm"},  // only the last extension goes
        {"cable64.kvt", 5, 1, "cable64.pat"},
        {"cable64.kvt", 6, 2, "cable64.gpi"},
        {"cable64.kvt", 1, 2, "cable64.gpi"},
        {"t.kvt", 9, 1, "t.txt"},
        {"t.kvt", 10, 2, "t.txt"},  // text lists are native files only
        {"dir.d/table", 3, 1, "table.wfm"},
        {".hidden", 0, 1, ".hidden.wfm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        char out[64];
        ASSERT_EQ(DefaultWaveformName(out, sizeof out, c.table, c.type, c.destination), 0);
        EXPECT_STREQ(out, c.name);
    }
    char tiny[8] = "x";
    EXPECT_EQ(DefaultWaveformName(tiny, sizeof tiny, "longtable.kvt", 0, 1), -1);
    EXPECT_STREQ(tiny, "");
    EXPECT_EQ(DefaultWaveformName(tiny, sizeof tiny, "dir/", 0, 1), -1);
}

TEST(Report, ProgressLineStaysInsideItsBar) {
    char line[128];
    FormatProgressLine(line, sizeof line, "Compiling..", 42.7, 10);
    EXPECT_STREQ(line, "\rCompiling..            [####......]  42%");
    FormatProgressLine(line, sizeof line, "Sending RF..", 250.0, 4);
    EXPECT_STREQ(line, "\rSending RF..           [####] 100%");
    FormatProgressLine(line, sizeof line, "", std::nan(""), 4);
    EXPECT_STREQ(line, "\r                       [....]   0%");
    char small[6];
    EXPECT_EQ(FormatProgressLine(small, sizeof small, "Compiling..", 50.0, 10), 5);
    EXPECT_STREQ(small, "\rComp");
}

TEST(Report, PlanShowsTheRoundedGridPerCarrier) {
    StartCoreCase();
    globals.reference_carrier = 2;
    record_clock = 25083333.333333333;
    numpoints = 1000;
    pointperiod = 6.25f;
    compile_carriers = 3;
    signals[0] = Carrier{};
    signals[0].frequency_hz = 10.0333330e6f;
    signals[0].modulation = MOD_NONE;
    signals[1] = Carrier{};
    signals[1].frequency_hz = 3.01e6f;
    signals[1].symbol_rate = 3.84e6f;
    signals[1].modulation = MOD_3GPPDL;
    symbols_in_record[1] = 160;
    samples_per_symbol[1] = 6.25f;
    signals[2] = Carrier{};
    signals[2].frequency_hz = 5.0166665e6f;
    signals[2].symbol_rate = 100250.0f;
    signals[2].modulation = MOD_AM;
    symbols_in_record[2] = 4;
    samples_per_symbol[2] = 250.0f;
    signals[3].frequency_hz = -1.0f;

    std::string text = PlanReportText();
    EXPECT_NE(text.find("record clock   25083333.333333 Hz\n"), std::string::npos) << text;
    EXPECT_NE(text.find("samples        1000 (39.867 us)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("reference      carrier 2, 6.250 samples per symbol\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  1     UNMOD               10.033333                     -         -               -\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("  2 *   3GPP(DL)             3.010000         3.840000 Mcps       160           6.250\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("  3     AM                   5.016667   100.250000 kHz tone         4         250.000\n"),
              std::string::npos) << text;
    ResetCoreState();
    core_hooks = CoreHooks{};
}

}  // namespace
