// Planning of the record: clock, length, the rounding of every carrier onto
// the record grid, and the plans that are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "compile/engine_fixture.h"

using namespace enginetest;

namespace {

class Planning : public EngineFixture {};

TEST_F(Planning, SymbolModeKeepsTheClockWhenTheLengthFitsTheGranularity) {
    Add(MOD_QPSK, 10e6, 1e6);
    globals.compile_mode = 1;
    globals.compile_length = 1000;   // symbols of the reference
    globals.sample_clock = 4.0f;
    globals.record_granularity = 1000;
    ASSERT_EQ(PlanRecord(), 0);
    EXPECT_EQ(numpoints, 40000);
    EXPECT_DOUBLE_EQ(record_clock, 40e6);
    EXPECT_EQ(symbols_in_record[0], 1000);
    EXPECT_FLOAT_EQ(pointperiod, 40.0f);
}

TEST_F(Planning, SymbolModeRoundsToTheGranularityAndMovesTheClock) {
    Add(MOD_QPSK, 10e6, 1.03e6);
    globals.compile_mode = 1;
    globals.compile_length = 1000;
    globals.sample_clock = 4.0f;
    globals.record_granularity = 1000;
    ASSERT_EQ(PlanRecord(), 0);
    // 40e6 * 1000 / 1.03e6 = 38834.95 -> 38835 -> 39000 samples.
    EXPECT_EQ(numpoints, 39000);
    EXPECT_NEAR(record_clock, 39000.0 * 1.03e6 / 1000, 1e-3);
    EXPECT_EQ(symbols_in_record[0], 1000);
}

TEST_F(Planning, LengthModeTakesTheClockFromTheReferenceCycles) {
    Add(MOD_QPSK, 3.01e6, 0.5e6);
    Add(MOD_QPSK, 10e6, 0.5e6);
    globals.compile_length = 1000;
    globals.sample_clock = 2.5f;
    globals.reference_carrier = 1;
    ASSERT_EQ(PlanRecord(), 0);
    EXPECT_EQ(cycles_in_record[0], 120);   // floor(120.4 + 0.5)
    const double clock = static_cast<double>(3.01e6f) * 1000 / 120;
    EXPECT_DOUBLE_EQ(record_clock, clock);
    EXPECT_FLOAT_EQ(signals[0].frequency_hz, 3.01e6f);
    // 10 MHz = 398.67 grid steps -> 399 steps of clock / 1000.
    EXPECT_EQ(cycles_in_record[1], 399);
    EXPECT_FLOAT_EQ(signals[1].frequency_hz, static_cast<float>(399 * clock / 1000));
    // 0.5 MHz = 19.93 symbols -> 20, and the rate follows the grid.
    EXPECT_EQ(symbols_in_record[1], 20);
    EXPECT_FLOAT_EQ(signals[1].symbol_rate, static_cast<float>(20 * clock / 1000));
    EXPECT_FLOAT_EQ(samples_per_symbol[1], 50.0f);

    // The rounded table plans to itself.
    Carrier before[2];
    std::memcpy(before, signals, sizeof before);
    ASSERT_EQ(PlanRecord(), 0);
    EXPECT_EQ(std::memcmp(before, signals, sizeof before), 0);
}

TEST_F(Planning, DifferentialModulationsGetAnEvenSymbolCount) {
    for (int mod : {MOD_DQPSK, MOD_O8PSK, MOD_QPSK}) {
        count_ = 0;
        Add(mod, 1e6, 1.001e6);
        Plan(10000, 10e6);
        ASSERT_EQ(PlanRecord(), 0);
        int expected = mod == MOD_QPSK ? 1001 : 1000;
        EXPECT_EQ(symbols_in_record[0], expected) << mod;
        EXPECT_FLOAT_EQ(signals[0].symbol_rate, static_cast<float>(expected * 1e3)) << mod;
    }
}

TEST_F(Planning, UnmodulatedTableNeedsNoSymbolGrid) {
    Add(MOD_NONE, 1.2345e6, 0.0);
    Plan(1000, 10e6);
    ASSERT_EQ(PlanRecord(), 0);
    EXPECT_EQ(symbols_in_record[0], 0);
    EXPECT_EQ(signals[0].symbol_rate, 0.0f);
    EXPECT_EQ(cycles_in_record[0], 123);
}

TEST_F(Planning, RecordAsLongAsTheTargetIsAccepted) {
    Add(MOD_QPSK, 1e6, 0.1e6);
    Plan(5000, 10e6);
    globals.max_record_length = 5000;
    EXPECT_EQ(PlanRecord(), 0);
    globals.max_record_length = 4999;
    EXPECT_EQ(PlanRecord(), -1);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0],
              "COMPILATION ERROR|Not enough record length in target\n"
              "The record needs 5000 samples; the target holds at most 4999.");
}

// Each refused plan: "COMPILATION ERROR" with a text naming the cause, and
// the table as it was.
TEST_F(Planning, RefusedPlansLeaveTheTableAlone) {
    struct Case {
        const char* name;
        std::function<void(Planning*)> set_up;
        const char* text;
    };
    const Case cases[] = {
        {"empty table", [](Planning*) { signals[0].frequency_hz = -1.0f; }, "empty"},
        {"no reference", [](Planning*) { globals.reference_carrier = 0; }, "reference"},
        {"reference past the table", [](Planning*) { globals.reference_carrier = 3; }, "reference"},
        {"highest frequency 0",
         [](Planning*) {
             signals[0].frequency_hz = 0.0f;
             signals[1].frequency_hz = 0.0f;
         },
         "0 Hz"},
        {"reference at 0 Hz", [](Planning*) { signals[0].frequency_hz = 0.0f; }, "no cycle"},
        {"reference cycles round to 0", [](Planning*) { signals[0].frequency_hz = 1.0f; }, "no cycle"},
        {"no samples", [](Planning*) { globals.compile_length = 0; }, "at least 1"},
        {"clock ratio 0", [](Planning*) { globals.sample_clock = 0.0f; }, "greater than 0"},
        {"unknown mode", [](Planning*) { globals.compile_mode = 7; }, "mode 7"},
        {"symbol mode without a rate",
         [](Planning*) {
             globals.compile_mode = 1;
             signals[0].symbol_rate = 0.0f;
         },
         "symbol rate"},
        {"symbol mode rounding to no samples",
         [](Planning*) {
             globals.compile_mode = 1;
             globals.compile_length = 1;
             globals.record_granularity = 1000;
         },
         "no samples"},
        {"symbols round to 0", [](Planning*) { signals[1].symbol_rate = 10.0f; }, "Carrier 2: its symbol rate"},
        {"tone cycles round to 0",
         [](Planning*) {
             signals[1].modulation = MOD_AM;
             signals[1].symbol_rate = 10.0f;
         },
         "Carrier 2: its tone frequency"},
        {"symbols faster than samples", [](Planning*) { signals[1].symbol_rate = 20e6f; }, "above the sample clock"},
        {"frequency not finite", [](Planning*) { signals[1].frequency_hz = INFINITY; }, "not a finite number"},
        {"too long for the target", [](Planning*) { globals.max_record_length = 999; },
         "Not enough record length in target"},
    };
    for (const Case& c : cases) {
        SetUp();
        Add(MOD_QPSK, 1e6, 0.1e6);
        Add(MOD_QPSK, 2e6, 0.2e6);
        Plan(1000, 10e6);
        c.set_up(this);
        Carrier before[3];
        std::memcpy(before, signals, sizeof before);
        EXPECT_EQ(CompileTable(nullptr), COMPILE_REFUSED) << c.name;
        ASSERT_EQ(Messages().size(), 1u) << c.name;
        EXPECT_EQ(Messages()[0].rfind("COMPILATION ERROR|", 0), 0u) << c.name;
        EXPECT_NE(Messages()[0].find(c.text), std::string::npos) << c.name << ": " << Messages()[0];
        EXPECT_EQ(std::memcmp(before, signals, sizeof before), 0) << c.name;
        EXPECT_TRUE(Statuses().empty()) << c.name;
        TearDown();
    }
}

TEST_F(Planning, CarriersThatCannotBeShapedAreRefusedBeforeAnyPass) {
    struct Case {
        int filter, length;
        const char* text;
    };
    // A held symbol still needs a history of 1 .. 202 symbols.
    for (Case c : {Case{FILTER_NONE, 0, "filter length must be 1 to 202"},
                   Case{FILTER_NONE, 203, "filter length must be 1 to 202"},
                   Case{FILTER_SQRT_RCOS, 0, "filter length"}}) {
        SetUp();
        Add(MOD_QPSK, 1e6, 0.1e6, c.filter, c.length);
        Plan(1000, 10e6);
        MemorySink sink;
        InitMemorySink(&sink);
        CompileTargets targets{};
        targets.sink[1] = &sink.sink;
        globals.output_rf = 1;
        EXPECT_EQ(CompileTable(&targets), COMPILE_REFUSED);
        ASSERT_EQ(Messages().size(), 1u);
        EXPECT_NE(Messages()[0].find(c.text), std::string::npos) << Messages()[0];
        EXPECT_EQ(sink.passes_begun, 0);
        TearDown();
    }
}

TEST_F(Planning, EnabledOutputWithoutSinkIsRefused) {
    Add(MOD_QPSK, 1e6, 0.1e6);
    Plan(1000, 10e6);
    CompileTargets targets{};
    globals.output_baseband_q = 1;
    EXPECT_EQ(CompileTable(&targets), COMPILE_REFUSED);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], "COMPILATION ERROR|No destination for the baseband Q output.");
}

}  // namespace
