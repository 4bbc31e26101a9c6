#include "shell/codes.h"

#include <gtest/gtest.h>

#include "compile/engine.h"
#include "shell/fileforms.h"
#include "shell/recordfiles.h"
#include "support/core_fixture.h"
#include "support/tempdir.h"

namespace {

TEST(Codes, EveryNamedCodeReadsBackAndNamesFold) {
    for (int kind = CODE_NONE + 1; kind < CODE_KINDS; ++kind) {
        int codes[64];
        int n = CodeValues(kind, codes, 64);
        ASSERT_GT(n, 0) << CodeKindName(kind);
        for (int i = 0; i < n; ++i) {
            const char* name = CodeName(kind, codes[i]);
            if (name) EXPECT_EQ(CodeOfName(kind, name), codes[i]) << CodeKindName(kind) << " " << name;
        }
    }
    struct Case {
        int kind;
        const char* name;
        int code;
    } cases[] = {
        {CODE_MODULATION, "qam-64", MOD_QAM64},      {CODE_MODULATION, "QAM-64", MOD_QAM64},
        {CODE_MODULATION, "PI/4-DQPSK", MOD_DQPSK},  {CODE_MODULATION, "DVBC(256)", MOD_DVBC256},
        {CODE_MODULATION, "UNMOD", MOD_NONE},        {CODE_MODULATION, "QAM1K", MOD_QAM1024},
        {CODE_FILTER, "sqrt_rcos", FILTER_SQRT_RCOS}, {CODE_FILTER, "SQR(RCOS)", FILTER_SQRT_RCOS},
        {CODE_FILTER, "R.COS.", FILTER_RCOS},        {CODE_FILTER, "GAUSSIAN-2", FILTER_GAUSS2},
        {CODE_FILTER, "butter4", 8},                 {CODE_FILTER, "BUTTERWRTH", -2},
        {CODE_FILTER, "rrc", -1},                    {CODE_WINDOW, "blackman-harris", WINDOW_BLACKMAN_HARRIS},
        {CODE_INSTRUMENT_TYPE, "wfm", 0},            {CODE_INSTRUMENT_TYPE, "text-tab", 10},
        {CODE_DESTINATION, "gpib-file", 2},          {CODE_DESTINATION, "", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(CodeOfName(c.kind, c.name), c.code) << c.name;
    EXPECT_EQ(CodeName(CODE_WINDOW, 2), nullptr);  // valid, but no name: written as a number
    EXPECT_TRUE(CodeValid(CODE_WINDOW, 2));
    EXPECT_FALSE(CodeValid(CODE_MODULATION, 15));
}

class CodeChecks : public ::testing::Test {
protected:
    void SetUp() override {
        StartCoreCase();
        signals[0] = Carrier{};
        signals[0].frequency_hz = 1e6f;
        signals[0].symbol_rate = 1e5f;
        signals[0].modulation = MOD_QPSK;
        signals[0].filter_length = 9;
        signals[1] = signals[0];
        signals[1].frequency_hz = 2e6f;
        signals[2].frequency_hz = -1.0f;
        globals.reference_carrier = 1;
        globals.compile_length = 1000;
        globals.sample_clock = 2.5f;
        globals.max_record_length = 1000000;
    }
    void TearDown() override { core_hooks = CoreHooks{}; }
    TempDir dir;
};

// The plan refuses a code outside its table, whatever form the table came in.
TEST_F(CodeChecks, PlanRefusesUnknownCodes) {
    ASSERT_EQ(PlanRecord(), 0);
    struct Case {
        int32_t Carrier::*field;
        int32_t value;
        const char* message;
    } cases[] = {
        {&Carrier::modulation, 99, "Carrier 2: modulation 99 is not a modulation code; modulation names: NONE, QPSK,"},
        {&Carrier::filter_type, 18, "Carrier 2: filter_type 18 is not a filter code; filter names: NONE, RCOS,"},
        {&Carrier::window_type, -1, "Carrier 2: window_type -1 is not a window code"},
        {&Carrier::data_source, 4, "Carrier 2: data_source 4 is not a data source code; data source names: PRBS, "
                                   "FILE, ZEROS, ONES"},
        {&Carrier::filter_file_format, 3, "Carrier 2: filter_file_format 3 is not a filter file format code"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        SetUp();
        signals[1].*c.field = c.value;
        messages.clear();
        EXPECT_EQ(PlanRecord(), -1);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].rfind(std::string("COMPILATION ERROR|") + c.message, 0), 0u) << messages[0];
    }
}

TEST_F(CodeChecks, BinaryTableWithAnUnknownCodeIsRefusedAndTouchesNothing) {
    signals[1].modulation = 99;
    const std::string path = dir.File("bad.kvt");
    ASSERT_EQ(WriteTableFile(path.c_str()), 0);
    ResetRecords();
    signals[0].frequency_hz = 7.0f;
    EXPECT_EQ(LoadTableForm(path.c_str()), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("|" + path + ": Carrier 2: modulation 99 is not a modulation code", 0), 0u)
        << messages[0];
    EXPECT_EQ(signals[0].frequency_hz, 7.0f);
}

}  // namespace
