// Numbers a compile cannot work with are refused before anything is written,
// naming the carrier (or the file and the entry) and why; what cannot be
// stated in the report is said in words.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "compile/limits.h"
#include "displays/analysis_report.h"
#include "engine_fixture.h"
#include "support/tempdir.h"

using namespace enginetest;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool MessageHas(const std::string& part) {
    for (const std::string& m : Messages())
        if (m.find(part) != std::string::npos) return true;
    return false;
}

bool StatesNoNumberInWords(const std::string& text) {
    return text.find("nan") == std::string::npos && text.find("inf") == std::string::npos;
}

class Limits : public EngineFixture {};

TEST_F(Limits, FieldsTheCompileUsesMustBeFiniteAndInRange) {
    struct Case {
        const char* what;
        int modulation;
        void (*set)(Carrier&);
        const char* message;  // "" when the carrier must compile
    } cases[] = {
        {"amplitude NaN", MOD_QPSK, [](Carrier& c) { c.amplitude = kNaN; }, "Carrier 2: its amplitude is not a finite"},
        {"amplitude 1e38", MOD_QPSK, [](Carrier& c) { c.amplitude = 1e38f; }, "Carrier 2: its amplitude 1e+38 is out"},
        {"amplitude denormal", MOD_QPSK, [](Carrier& c) { c.amplitude = 1e-40f; },
         "is too small to state its power"},
        {"phase inf", MOD_QPSK, [](Carrier& c) { c.phase_deg = -kInf; }, "Carrier 2: its phase_deg is not a finite"},
        {"roll-off NaN", MOD_QPSK, [](Carrier& c) { c.filter_param = kNaN; }, "its filter_param is not a finite"},
        {"FSK deviation inf", MOD_4FSK, [](Carrier& c) { c.deviation_hz = kInf; }, "its deviation_hz is not a"},
        {"impairment NaN", MOD_QPSK,
         [](Carrier& c) {
             c.impairment2_type = IMPAIRMENT_PHASE;
             c.impairment2_value = kNaN;
         },
         "its impairment2_value is not a finite"},
        // Fields a carrier does not use stay free.
        {"deviation of a QPSK carrier", MOD_QPSK, [](Carrier& c) { c.deviation_hz = kNaN; }, ""},
        {"value of an empty impairment slot", MOD_QPSK, [](Carrier& c) { c.impairment1_value = kInf; }, ""},
        {"roll-off of an unfiltered carrier", MOD_QPSK,
         [](Carrier& c) {
             c.filter_type = FILTER_NONE;
             c.filter_param = kNaN;
         },
         ""},
        {"amplitude 0", MOD_QPSK, [](Carrier& c) { c.amplitude = 0.0f; }, ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        SetUp();
        Add(MOD_QPSK, 20e6, 2e6);
        Carrier& c = Add(k.modulation, 30e6, 2e6, k.modulation == MOD_4FSK ? FILTER_GAUSS : FILTER_SQRT_RCOS,
                         k.modulation == MOD_4FSK ? 9 : 9, k.modulation == MOD_4FSK ? 0.5f : 0.35f);
        c.deviation_hz = k.modulation == MOD_4FSK ? 250e3f : 0.0f;
        k.set(c);
        Plan(2000, 100e6);
        EngineRun run = Run();
        if (*k.message) {
            EXPECT_EQ(run.result, COMPILE_REFUSED);
            EXPECT_TRUE(MessageHas(k.message)) << ::testing::PrintToString(Messages());
            EXPECT_TRUE(run.bytes[1].empty());
        } else {
            EXPECT_EQ(run.result, COMPILE_DONE) << ::testing::PrintToString(Messages());
            for (float v : run.composite) ASSERT_TRUE(std::isfinite(v));
        }
        TearDown();
    }
}

TEST_F(Limits, ReferenceCarrierOutsideTheTableIsNoReference) {
    Add(MOD_QPSK, 20e6, 2e6);
    Plan(2000, 100e6);
    for (int32_t reference : {INT32_MIN, -1, 0, 2, INT32_MAX}) {
        Messages().clear();
        globals.reference_carrier = reference;
        EXPECT_EQ(Run().result, COMPILE_REFUSED) << reference;
        EXPECT_TRUE(MessageHas("No reference carrier")) << reference;
    }
}

TEST_F(Limits, SilentCarrierAndSilentRecordAreWorded) {
    Add(MOD_QPSK, 20e6, 2e6).amplitude = 0.0f;
    Plan(2000, 100e6);
    EngineRun run = Run();
    ASSERT_EQ(run.result, COMPILE_DONE);
    EXPECT_TRUE(MessageHas("WARNING|The record is silent")) << ::testing::PrintToString(Messages());
    for (float v : run.pass[1].r) ASSERT_EQ(v, 0.0f);
    std::string report = AnalysisReportText();
    EXPECT_TRUE(StatesNoNumberInWords(report)) << report;
    EXPECT_NE(report.find("back-off       not stated"), std::string::npos) << report;

    // A silent carrier beside a sounding one.
    SetUp();
    Add(MOD_QPSK, 20e6, 2e6);
    Add(MOD_QPSK, 30e6, 2e6).amplitude = 0.0f;
    Plan(2000, 100e6);
    ASSERT_EQ(Run().result, COMPILE_DONE);
    report = AnalysisReportText();
    EXPECT_TRUE(StatesNoNumberInWords(report)) << report;
    EXPECT_NE(report.find("silent"), std::string::npos) << report;
}

TEST_F(Limits, IqFileCarriersAloneStateNoPower) {
    std::vector<float> samples;
    for (int k = 0; k < 64; ++k) samples.insert(samples.end(), {std::cos(k * 0.3f), std::sin(k * 0.3f)});
    WriteBytes("iq.f32", samples.data(), samples.size() * sizeof(float));
    Carrier& c = Add(MOD_FILE1, 20e6, 2e6);
    SetField(c.mod_file, "iq.f32");
    c.iq_file_encoding = 1;
    Plan(2000, 100e6);
    ASSERT_EQ(Run().result, COMPILE_DONE) << ::testing::PrintToString(Messages());
    std::string report = AnalysisReportText();
    EXPECT_TRUE(StatesNoNumberInWords(report)) << report;
}

// A value that is not a level is refused with its file, its place and why.
TEST_F(Limits, FileValuesMustBeFiniteLevels) {
    struct Case {
        const char* what;
        const char* file;
        std::string bytes;
        void (*use)(Carrier&, const char*);
        const char* message;
    } cases[] = {
        {"map point NaN", "map.smp", {}, [](Carrier& c, const char* f) {
             c.modulation = MOD_FILE3;
             SetField(c.mod_file, f);
         }, "Carrier 1: symbol map map.smp: point 3 (Q) is not a number (NaN)"},
        {"float32 coefficient NaN", "pulse.f32", {}, [](Carrier& c, const char* f) {
             c.filter_type = FILTER_FILE;
             c.filter_file_format = 1;
             SetField(c.filter_file, f);
         }, "Filter file pulse.f32: entry 4 is not a number (NaN)"},
        {"text coefficient 1e30", "pulse.txt", "0.1 0.5 1e30 0.5 0.1\n", [](Carrier& c, const char* f) {
             c.filter_type = FILTER_FILE;
             SetField(c.filter_file, f);
         }, "Filter file pulse.txt: entry 3 is out of range"},
        {"text filter without a number", "none.txt", "x 1 2 3\n", [](Carrier& c, const char* f) {
             c.filter_type = FILTER_FILE;
             SetField(c.filter_file, f);
         }, "Filter file none.txt: entry 1 is not a number; the file holds no coefficients"},
        {"empty text filter", "empty.txt", "", [](Carrier& c, const char* f) {
             c.filter_type = FILTER_FILE;
             SetField(c.filter_file, f);
         }, "Filter file empty.txt holds no coefficients"},
        {"I/Q sample NaN", "iq.f64", {}, [](Carrier& c, const char* f) {
             c.modulation = MOD_FILE1;
             c.iq_file_encoding = 2;
             SetField(c.mod_file, f);
         }, "Carrier 1: I/Q file iq.f64: value 6 is not a number (NaN)"},
        {"I/Q text sample inf", "iq.txt", "0.5 0.5\n-0.5 inf\n", [](Carrier& c, const char* f) {
             c.modulation = MOD_FILE2;
             SetField(c.mod_file, f);
         }, "Carrier 1: I/Q file iq.txt: value 4 is infinite"},
    };
    // Binary files: a QPSK map with a NaN in point 3's Q, five float32
    // coefficients with a NaN as the fourth, float64 pairs with a NaN as value 6.
    SymbolMap m{};
    m.num_points = 4;
    const float points[4][2] = {{1, 1}, {-1, 1}, {-1, kNaN}, {1, -1}};
    for (int k = 0; k < 4; ++k) {
        m.point_i[k] = points[k][0];
        m.point_q[k] = points[k][1];
    }
    cases[0].bytes.assign(reinterpret_cast<const char*>(&m), sizeof m);
    const float coefficients[5] = {0.1f, 0.5f, 1.0f, kNaN, 0.1f};
    cases[1].bytes.assign(reinterpret_cast<const char*>(coefficients), sizeof coefficients);
    const double pairs[8] = {0.5, 0.5, -0.5, 0.5, -0.5, std::nan(""), 0.5, -0.5};
    cases[5].bytes.assign(reinterpret_cast<const char*>(pairs), sizeof pairs);

    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        SetUp();
        WriteBytes(k.file, k.bytes.data(), k.bytes.size());
        k.use(Add(MOD_QPSK, 20e6, 2e6), k.file);
        Plan(2000, 100e6);
        EngineRun run = Run();
        EXPECT_NE(run.result, COMPILE_DONE);
        EXPECT_TRUE(MessageHas(k.message)) << ::testing::PrintToString(Messages());
        for (int p = 1; p <= 3; ++p) EXPECT_TRUE(run.bytes[p].empty()) << p;
        TearDown();
    }
}

TEST_F(Limits, RecordsBeyondNineLengthDigitsAreRefusedInThePlan) {
    // A definite-length block "#9<length>" counts at most 999,999,999 bytes.
    EXPECT_EQ(LargestRecord(0, 1), 199999999);   // WFM: 5 bytes a sample
    EXPECT_EQ(LargestRecord(5, 1), 499999999);   // PAT: 2 bytes a sample
    EXPECT_EQ(LargestRecord(1, 2), 499999999);   // CURVE block
    EXPECT_EQ(LargestRecord(1, 1), INT32_MAX);   // the native CURVE file has no block
    EXPECT_LT(LargestRecord(0, 0), 199999999);   // the instrument's block wraps the file's
    struct Case {
        int type;
        int samples;
        bool refused;
    } cases[] = {{0, 199999999, false}, {0, 200000000, true}, {5, 500000000, true}, {1, 500000000, false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.samples);
        SetUp();
        Add(MOD_NONE, 20e6, 0);
        globals.instrument_type = k.type;
        globals.output_rf = 1;
        globals.compile_length = k.samples;
        globals.max_record_length = INT32_MAX;
        EXPECT_EQ(PlanRecord(), k.refused ? -1 : 0);
        EXPECT_EQ(MessageHas("does not fit a"), k.refused) << ::testing::PrintToString(Messages());
        TearDown();
    }
}

}  // namespace
