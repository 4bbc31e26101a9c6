// Carrier powers against the compiled record, the CCDF of known
// distributions, and the spectrum preview's converter model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>
#include <algorithm>
#include <string>

#include "compile/engine_fixture.h"
#include "displays/analysis_report.h"
#include "displays/power.h"
#include "shaping/filters.h"
#include "transfer/corestate.h"

using namespace enginetest;

namespace {

// ---------------------------------------------------------------------------
// total_power and the power table.

TEST(TotalPower, ConstantEnvelopeAndAm) {
    // A unit-peak sine at full scale is 10 mW whatever the pulse.
    EXPECT_FLOAT_EQ(total_power(MOD_GMSK, nullptr, 0.8f, 0.8f, 0.5f, 9), 10.0f);
    EXPECT_FLOAT_EQ(total_power(MOD_4FSK, nullptr, 0.8f, 0.8f, 0.5f, 9), 10.0f);
    EXPECT_NEAR(total_power(MOD_NONE, nullptr, 0.5f, 1.0f, 0.0f, 0), 10.0 - 6.0206, 1e-4);
    // 100 % AM adds the two sidebands: 1 + m^2 / 2.
    EXPECT_NEAR(total_power(MOD_AM, nullptr, 1.0f, 1.0f, 100.0f, 0), 10.0 + 10.0 * std::log10(1.5), 1e-4);
}

TEST(TotalPower, PulseEnergyTimesFactor) {
    // 50 entries of 1 are one symbol of a held pulse: the factor alone.
    static double pulse[FIR_ROW_LENGTH];
    std::fill(pulse, pulse + 50, 1.0);
    EXPECT_NEAR(total_power(MOD_QPSK, pulse, 1.0f, 1.0f, 0.0f, 3), 10.0 + 10.0 * std::log10(2.0), 1e-4);
    // Only the 50 L + 51 entries of the pulse count.
    std::fill(pulse, pulse + FIR_ROW_LENGTH, 0.5);
    EXPECT_NEAR(total_power(MOD_BPSK, pulse, 1.0f, 1.0f, 0.0f, 1), 10.0 + 10.0 * std::log10(101 * 0.25 / 50), 1e-4);
    EXPECT_EQ(total_power(MOD_FILE1, pulse, 1.0f, 1.0f, 0.0f, 1), -INFINITY);
}

TEST(PowerFactor, Constellations) {
    // The mean symbol power of each alphabet as the mapper delivers it; the
    // rotating PSKs keep the power of their unrotated points divided by 2.
    InitPI();
    const double c8 = std::cos(std::acos(-1.0) / 8.0);
    struct Case {
        int modulation;
        double factor;
    };
    const Case cases[] = {
        {MOD_QPSK, 2.0},       {MOD_QAM16, 10.0 / 9},    {MOD_QAM32, 0.8},
        {MOD_QAM64, 6.0 / 7},  {MOD_QAM128, 82.0 / 121}, {MOD_QAM256, 34.0 / 45},
        {MOD_8PSK, 1.0 / (c8 * c8)}, {MOD_BPSK, 1.0},    {MOD_GMSK, 1.0},
        {MOD_DQPSK, 1.0},      {MOD_CQPSK, 1.0},         {MOD_OQPSK, 2.0},
        {MOD_QAM1024, 22.0 / 31}, {MOD_CAP16, 13.0 / 144},
        {MOD_O8PSK, 1.0 / (1.0 + std::sqrt(0.5))},       {MOD_8FSK, 1.0},
        {MOD_IS95DL, 2.0},     {MOD_3GPPDL, 1.0},        {MOD_8VSB, 3.0 / 7},
        {MOD_16VSB, 17.0 / 45}, {MOD_SSB, 65537.0 / (3 * 65535.0)},
        {MOD_3GPPSC, 0.0},     {MOD_FILE1, 0.0},         {MOD_FILE2, 0.0},
        {MOD_AM, 0.0},         {15, 0.0},                {-1, 0.0},
    };
    for (const Case& c : cases) EXPECT_NEAR(power_factor(c.modulation), c.factor, 2e-6) << c.modulation;

    ResetRecords();
    EXPECT_EQ(power_factor(MOD_FILE3), 0.0f);   // no map yet
    map.num_points = 4;
    const float i[] = {1, 0, -2, 0}, q[] = {0, 1, 0, -2};
    std::memcpy(map.point_i, i, sizeof i);
    std::memcpy(map.point_q, q, sizeof q);
    map.point_i[4] = 100.0f;   // past the map's points
    EXPECT_FLOAT_EQ(power_factor(MOD_FILE3), 2.5f);
}

// The power table reads the records the compile left: set them as it would.
class PowerTable : public ::testing::Test {
protected:
    void SetUp() override {
        ResetCoreState();
        max_value = 1.0f;
    }
    Carrier& Add(int r, int modulation, float mhz, float amplitude) {
        Carrier& c = signals[r];
        c.frequency_hz = mhz * 1e6f;
        c.amplitude = amplitude;
        c.modulation = modulation;
        c.filter_length = 9;
        signals[r + 1].frequency_hz = -1.0f;
        return c;
    }
};

TEST_F(PowerTable, RowsAndSummary) {
    Add(0, MOD_GMSK, 10.0f, 1.0f);
    ASSERT_EQ(BuildPowerTable(), 1);
    EXPECT_STREQ(power_rows[0].text, "   1  GMSK         10.000000 |    10.000");
    EXPECT_NEAR(power_summary, 0.0, 1e-5);

    // Two carriers at one frequency are told apart by number and modulation.
    Add(1, MOD_PM, 10.0f, 1.0f);
    Add(2, MOD_FILE1, 130.25f, 1.0f);   // no defined power: shown, not added
    ASSERT_EQ(BuildPowerTable(), 3);
    EXPECT_STREQ(power_rows[1].text, "   2  PM           10.000000 |    10.000");
    EXPECT_STREQ(power_rows[2].text, "   3  FILE 1      130.250000 |       n/a");
    EXPECT_EQ(power_rows[2].carrier, 2);
    EXPECT_EQ(power_rows[2].defined, 0);
    EXPECT_NEAR(power_summary, -3.0103, 1e-4);

    std::string report = AnalysisReportText();
    EXPECT_NE(report.find("power table    no.  modulation         MHz |    dBm\n"
                          "                 1  GMSK         10.000000 |    10.000\n"
                          "                 2  PM           10.000000 |    10.000\n"
                          "                 3  FILE 1      130.250000 |       n/a\n"),
              std::string::npos) << report;
    EXPECT_NE(report.find("back-off       -3.010 dB (10 dBm - total power of 13.010 dBm)"),
              std::string::npos) << report;

    // A two-digit negative level keeps its column.
    Add(3, MOD_GMSK, 20.0f, 0.01f);
    ASSERT_EQ(BuildPowerTable(), 4);
    EXPECT_STREQ(power_rows[3].text, "   4  GMSK         20.000000 |   -30.000");
}

TEST_F(PowerTable, UnfilteredCarrierHoldsItsSymbols) {
    // No filter leaves the carrier's FIR row alone; stale entries must not count.
    Add(0, MOD_QPSK, 10.0f, 1.0f).filter_type = FILTER_NONE;
    std::fill(FIR[0], FIR[0] + FIR_ROW_LENGTH, 3.0);
    BuildPowerTable();
    EXPECT_NEAR(power_rows[0].power_dbm, 10.0 + 10.0 * std::log10(2.0), 1e-4);
}

TEST_F(PowerTable, EmptyTableAndSilentRecord) {
    signals[0].frequency_hz = 0.0f;
    signals[1].frequency_hz = 5e6f;   // after the terminator
    EXPECT_EQ(BuildPowerTable(), 0);
    EXPECT_EQ(power_summary, INFINITY);

    Add(0, MOD_GMSK, 10.0f, 1.0f);
    max_value = 0.0f;   // a record of zeros has no full scale
    BuildPowerTable();
    EXPECT_STREQ(power_rows[0].text, "   1  GMSK         10.000000 |       n/a");
    EXPECT_EQ(power_summary, INFINITY);
}

TEST(Readout, FiguresWithoutAFiniteValue) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{INFINITY, "inf"}, {-INFINITY, "-inf"}, {NAN, "nan"}, {3.0103, "3.010"}, {-0.0004, "-0.000"}};
    for (const auto& c : cases) {
        char text[16];
        FormatDecibels(c.value, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.value;
    }
}

// The pulse the analysis panel plots, x in symbols from the peak.
TEST_F(PowerTable, PulsePlotCases) {
    Carrier& c = Add(0, MOD_QPSK, 10.0f, 1.0f);
    c.filter_type = FILTER_SQRT_RCOS;
    c.filter_length = 3;   // 201 entries
    std::fill(FIR[0], FIR[0] + FIR_ROW_LENGTH, 0.0);
    FIR[0][90] = 0.5;
    FIR[0][100] = -1.2;    // the peak by magnitude
    FIR[0][250] = 7.0;     // past the pulse's entries
    ASSERT_EQ(BuildPulsePlot(0), PULSE_FILTER);
    ASSERT_EQ(pulse_count, 201);
    EXPECT_EQ(pulse_x[0], -2.0);
    EXPECT_EQ(pulse_x[100], 0.0);
    EXPECT_EQ(pulse_y[100], -1.2);
    EXPECT_EQ(pulse_x[200], 2.0);
    EXPECT_DOUBLE_EQ(pulse_x[90], -0.2);
    EXPECT_STREQ(pulse_note, "");

    // Unfiltered: the symbol held for one symbol, whatever the FIR row holds.
    c.filter_type = FILTER_NONE;
    ASSERT_EQ(BuildPulsePlot(0), PULSE_HELD);
    const std::vector<double> x(pulse_x, pulse_x + pulse_count), y(pulse_y, pulse_y + pulse_count);
    EXPECT_EQ(x, (std::vector<double>{-1, -0.5, -0.5, 0.5, 0.5, 1}));
    EXPECT_EQ(y, (std::vector<double>{0, 0, 1, 1, 0, 0}));

    // A tone, an analog carrier: no pulse, a note.
    const struct {
        int modulation;
        const char* note;
    } none[] = {{MOD_NONE, "No pulse: the reference is an unmodulated tone."},
                {MOD_AM, "No pulse: the reference is an analog AM tone."},
                {MOD_FM, "No pulse: the reference is an analog FM tone."},
                {MOD_PM, "No pulse: the reference is an analog PM tone."}};
    for (const auto& k : none) {
        c.modulation = k.modulation;
        c.filter_type = FILTER_SQRT_RCOS;
        EXPECT_EQ(BuildPulsePlot(0), PULSE_NONE) << k.modulation;
        EXPECT_EQ(pulse_count, 0);
        EXPECT_STREQ(pulse_note, k.note);
    }
    EXPECT_EQ(BuildPulsePlot(-1), PULSE_NONE);
}

// total_power of a compiled single carrier against the mean power of the
// record itself: a unit-peak sine at full scale is +10 dBm over 50 ohms. Every
// modulation with a stated power, its factor taken from the mapper.
class MeasuredPower : public EngineFixture {};

TEST_F(MeasuredPower, MatchesTheCompiledRecord) {
    struct Case {
        const char* name;
        int modulation;
        int filter;
        float param;
    };
    const int rrc = FILTER_SQRT_RCOS;
    const Case cases[] = {
        {"UNMOD", MOD_NONE, FILTER_NONE, 0.0f},     {"QPSK", MOD_QPSK, rrc, 0.35f},
        {"QPSK, unfiltered", MOD_QPSK, FILTER_NONE, 0.0f},
        {"QAM-16, raised cosine", MOD_QAM16, FILTER_RCOS, 0.5f},
        {"QAM-32", MOD_QAM32, rrc, 0.35f},          {"QAM-64", MOD_QAM64, rrc, 0.35f},
        {"QAM-256", MOD_QAM256, rrc, 0.35f},        {"PI/4-DQPSK", MOD_DQPSK, rrc, 0.35f},
        {"OQPSK", MOD_OQPSK, rrc, 0.35f},           {"CQPSK", MOD_CQPSK, rrc, 0.35f},
        {"QAM-128", MOD_QAM128, rrc, 0.35f},        {"8-PSK", MOD_8PSK, rrc, 0.35f},
        {"BPSK", MOD_BPSK, rrc, 0.35f},             {"DVBC(16)", MOD_DVBC16, rrc, 0.15f},
        {"DVBC(32)", MOD_DVBC32, rrc, 0.15f},       {"DVBC(64)", MOD_DVBC64, rrc, 0.15f},
        {"AM", MOD_AM, FILTER_NONE, 60.0f},         {"FM", MOD_FM, FILTER_NONE, 0.0f},
        {"PM", MOD_PM, FILTER_NONE, 0.0f},          {"GMSK", MOD_GMSK, FILTER_GAUSS, 0.3f},
        {"8VSB", MOD_8VSB, rrc, 0.2f},              {"16VSB", MOD_16VSB, rrc, 0.2f},
        {"CAP-16", MOD_CAP16, rrc, 0.35f},          {"O-8PSK", MOD_O8PSK, rrc, 0.35f},
        {"DVBC(256)", MOD_DVBC256, rrc, 0.15f},     {"SSB", MOD_SSB, FILTER_RCOS, 0.3f},
        {"2-FSK", MOD_2FSK, FILTER_GAUSS, 0.5f},    {"4-FSK", MOD_4FSK, FILTER_GAUSS, 0.5f},
        {"8-FSK", MOD_8FSK, FILTER_GAUSS, 0.5f},    {"16-FSK", MOD_16FSK, FILTER_GAUSS, 0.5f},
        {"32-FSK", MOD_32FSK, FILTER_GAUSS, 0.5f},  {"FILE 3", MOD_FILE3, rrc, 0.35f},
        {"IS95(DL)", MOD_IS95DL, rrc, 0.35f},       {"3GPP(DL)", MOD_3GPPDL, rrc, 0.22f},
        {"QAM-1024", MOD_QAM1024, rrc, 0.35f},
        {"8VSB, unfiltered", MOD_8VSB, FILTER_NONE, 0.0f},
    };
    for (const Case& k : cases) {
        SetUp();
        // A map of two radii: FILE 3's power is that of its points.
        SymbolMap m{};
        m.num_points = 4;
        const float pi[] = {1.0f, 0.0f, -0.5f, 0.0f}, pq[] = {0.0f, 1.0f, 0.0f, -0.5f};
        std::memcpy(m.point_i, pi, sizeof pi);
        std::memcpy(m.point_q, pq, sizeof pq);
        WriteBytes(dir_.File("map.smp"), &m, sizeof m);

        // 262144 samples at 65.536 MHz, 16384 symbols (tones: 64 cycles of the message).
        const bool tone = k.modulation == MOD_AM || k.modulation == MOD_FM || k.modulation == MOD_PM;
        Carrier& c = Add(k.modulation, 8.192e6, tone ? 16e3 : 4.096e6, k.filter, 9, k.param);
        c.amplitude = 0.6f;
        c.deviation_hz = 400e3f;
        c.channel_code = 1;
        c.spreading_factor = 16;
        SetField(c.mod_file, dir_.File("map.smp"));
        Plan(262144, 65.536e6);
        EngineRun run = Run();
        ASSERT_EQ(run.result, COMPILE_DONE) << k.name << (Messages().empty() ? "" : Messages()[0]);
        ASSERT_TRUE(PowerDefined(k.modulation)) << k.name;
        double sum = 0.0;
        for (float v : run.composite) sum += static_cast<double>(v / max_value) * (v / max_value);
        double measured = 10.0 * std::log10(sum / run.composite.size() / 50.0 / 0.001);
        EXPECT_NEAR(CarrierPower(0), measured, 0.05) << k.name;
        TearDown();
    }
    // I/Q files and the synchronisation channel have no stated power.
    for (int modulation : {MOD_FILE1, MOD_FILE2, MOD_3GPPSC}) EXPECT_FALSE(PowerDefined(modulation)) << modulation;
}

// ---------------------------------------------------------------------------
// CCDF.

class CCDF : public ::testing::Test {
protected:
    void SetUp() override {
        std::fill(std::begin(phase_i), std::end(phase_i), 0.0f);
        std::fill(std::begin(phase_q), std::end(phase_q), 0.0f);
    }
    void TearDown() override { numpoints = 0; }
};

TEST_F(CCDF, ConstantPowerHasNoCurve) {
    for (int i = 0; i < 1000; ++i) {
        phase_i[i] = i % 3 ? 1.0f : -1.0f;
        phase_q[i] = i % 2 ? -1.0f : 1.0f;
    }
    numpoints = 1000;
    EXPECT_EQ(BuildCCDF(), 0.0);
    for (int j = 0; j < CCDF_BINS; ++j) {
        EXPECT_EQ(ccdf_x[j], 0.0);
        EXPECT_EQ(ccdf_y[j], 0.0);
    }
    numpoints = 0;   // nothing compiled
    EXPECT_EQ(BuildCCDF(), 0.0);
    EXPECT_EQ(ccdf_y[0], 0.0);
    EXPECT_EQ(CCDFPercentAbove(0.0), 0.0);
}

TEST_F(CCDF, PeakSamplesStayInTheTopBinAndSilenceIsNotCounted) {
    // Half the samples silent, half at twice the mean: all of the counted ones sit at the peak.
    for (int i = 0; i < 1000; ++i) phase_i[i] = i % 2 ? 1.0f : 0.0f;
    phase_q[1] = 1.0f;   // one sample at power 2, the rest of the odd ones at 1
    numpoints = 1000;
    double R = BuildCCDF();
    double mean = (499 + 2.0) / 1000;
    EXPECT_NEAR(R, 10 * std::log10(2.0 / mean), 1e-9);
    EXPECT_NEAR(ccdf_x[199], R, 1e-12);
    EXPECT_DOUBLE_EQ(ccdf_y[199], 0.1);    // the peak sample: k = 200
    EXPECT_DOUBLE_EQ(ccdf_y[0], 50.0);     // the zeros have no level
}

TEST_F(CCDF, SumOfManyCarriersApproachesRayleigh) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> phase(0.0, 2 * M_PI);
    const int tones = 48;
    double f[tones], p[tones];
    for (int t = 0; t < tones; ++t) {
        f[t] = phase(random) / (4 * M_PI);   // incommensurate frequencies up to a quarter of the rate
        p[t] = phase(random);
    }
    for (int i = 0; i < DISPLAY_POINTS; ++i) {
        double a = 0, b = 0;
        for (int t = 0; t < tones; ++t) {
            double w = 2 * M_PI * f[t] * i + p[t];
            a += std::cos(w);
            b += std::sin(w);
        }
        phase_i[i] = static_cast<float>(a);
        phase_q[i] = static_cast<float>(b);
    }
    numpoints = 600000;   // the display keeps the first 500,000
    double R = BuildCCDF();
    EXPECT_GT(R, 7.0);
    EXPECT_LT(R, 10 * std::log10(double(tones)));
    // Complex Gaussian: P(power >= x * mean) = exp(-x).
    auto rayleigh = [](double db) { return 100.0 * std::exp(-std::pow(10.0, db / 10.0)); };
    for (double db : {0.0, 2.0, 4.0, 6.0})
        EXPECT_NEAR(CCDFPercentAbove(db), rayleigh(db), 0.1 * rayleigh(db)) << db;
    // Each point of the curve is the share at or above its own level: the
    // figure a cursor there reads.
    for (int j : {0, 1, 40, 80, 120, 199}) EXPECT_NEAR(ccdf_y[j], CCDFPercentAbove(ccdf_x[j]), 1e-9) << j;
}

// ---------------------------------------------------------------------------
// Spectrum preview.

TEST(SpectrumPreview, ConverterLevels) {
    const int levels[] = {1024, 4096, 256, 4096, 65536, 1024, 256, 65536, 65536, 65536, 65536};
    for (int type = 0; type <= 10; ++type) EXPECT_EQ(DacLevels(type), levels[type]) << type;
}

// A full-scale tone: its line at the same height on both converters, the
// quantisation floor of 16 bits far below that of 8 bits.
TEST(SpectrumPreview, SixteenBitFloorFarBelowEightBit) {
    double top[2], floor[2];
    const int types[2] = {2, 4};   // 256 and 65536 levels
    record_clock = 8192.0;
    for (int t = 0; t < 2; ++t) {
        max_value = 0.9f;
        for (int s = 0; s < FFT_POINTS; ++s) FFT_Array[s] = 0.9 * std::sin(2 * M_PI * 1000.37 * s / FFT_POINTS);
        SpectrumPreview(types[t]);
        top[t] = spectrum_top;
        std::vector<double> rest(FFT_Array + 1200, FFT_Array + 4000);
        std::nth_element(rest.begin(), rest.begin() + rest.size() / 2, rest.end());
        floor[t] = rest[rest.size() / 2];
        EXPECT_EQ(SpectrumBin(1000.37), 1000);
        EXPECT_NEAR(FFT_Array[1000], top[t], 1.0);
    }
    EXPECT_NEAR(top[0], top[1], 0.2);
    EXPECT_LT(floor[1], floor[0] - 40.0) << floor[0] << " " << floor[1];
    EXPECT_GT(floor[1], top[1] - 150.0);   // still on the graph's 150 dB
}

TEST(SpectrumPreview, QuantisesDownToTheConverterGrid) {
    struct Case {
        double v;
        double full_scale;
        int levels;
        double steps;   // expected value in steps of 2 full_scale / levels
    };
    const Case cases[] = {
        {0.0, 1.0, 256, 0},          {0.004, 1.0, 256, 0},       {-0.004, 1.0, 256, -1},
        {3.5 / 128, 1.0, 256, 3},    {1.0, 1.0, 256, 127},       {-1.0, 1.0, 256, -128},
        {1.3, 1.0, 256, 127},        {-1.3, 1.0, 256, -128},     // beyond a fixed level: clipped
        {0.001, 2.0, 65536, 16},     {-0.001, 2.0, 65536, -17},
    };
    for (const Case& c : cases) {
        double v = c.v;
        QuantizeToConverter(&v, 1, static_cast<float>(c.full_scale), c.levels);
        EXPECT_DOUBLE_EQ(v, c.steps * 2 * c.full_scale / c.levels) << c.v << " " << c.levels;
    }
    double v = 0.123;
    QuantizeToConverter(&v, 1, 0.0f, 256);   // a silent record has no grid
    EXPECT_EQ(v, 0.123);
}

TEST(SpectrumPreview, CursorBin) {
    record_clock = 40e6;
    EXPECT_EQ(SpectrumBin(10e6), 2048);
    EXPECT_EQ(SpectrumBin(10e6 + 40e6 / 8192 * 0.49), 2048);
    EXPECT_EQ(SpectrumBin(10e6 + 40e6 / 8192 * 0.51), 2049);
    EXPECT_EQ(SpectrumBin(-5.0), 0);
    EXPECT_EQ(SpectrumBin(30e6), SPECTRUM_BINS - 1);
    // The axis in MHz: bin k at k * record clock / 8192, 10 MHz at bin 2048.
    EXPECT_DOUBLE_EQ(SpectrumBinMHz(2048), 10.0);
    EXPECT_DOUBLE_EQ(SpectrumBinMHz(1), 40.0 / 8192);
    for (int k : {0, 1, 728, 2048, SPECTRUM_BINS - 1}) EXPECT_EQ(SpectrumBin(SpectrumBinMHz(k) * 1e6), k) << k;
}

// The preview reads 8192 samples; a shorter record fills them by repeating
// itself, never with a previous run's samples.
TEST_F(MeasuredPower, ShortRecordRepeatsInTheSpectrumBuffer) {
    std::fill(std::begin(FFT_Array), std::end(FFT_Array), 1e9);
    Add(MOD_QPSK, 400e3, 100e3);
    Plan(3000, 3e6);
    ASSERT_EQ(CompileTable(nullptr), COMPILE_DONE);
    ASSERT_EQ(numpoints, 3000);
    for (int s = 3000; s < FFT_POINTS; ++s) ASSERT_EQ(FFT_Array[s], FFT_Array[s % 3000]) << s;
    for (double v : FFT_Array) ASSERT_LE(std::fabs(v), max_value);
}

}  // namespace
