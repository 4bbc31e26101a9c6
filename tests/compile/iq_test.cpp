// The complex-baseband pass: shifted back up by its centre it is the RF
// record (every kind of carrier, on every kernel path), it does not depend
// on the number of threads or on whether pass 0's samples were kept, and its
// sample formats normalise and clip as the other passes do.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

#include "compile/engine.h"
#include "compile/iqformats.h"
#include "compile/kernel.h"
#include "compile/recordstats.h"
#include "engine_fixture.h"
#include "modulation/mapper.h"

using namespace enginetest;

namespace {

struct IqRun {
    int result = -1;
    std::vector<float> rf;                    // the RF record, scaled back by max_value
    std::vector<std::complex<double>> z;      // the complex record, scaled back by max_iq
    std::vector<unsigned char> iq_bytes;
};

class IqPass : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        iq_settings = IqSettings{1, IQ_CF32_LE, 0.0, 1};
        measure_records = 1;
    }
    void TearDown() override {
        iq_settings = IqSettings{0, IQ_CF32_LE, 0.0, 0};
        measure_records = 0;
        UseKernelPath(-1);
        EngineFixture::TearDown();
    }

    // One of every kind: linear (with an offset Q and the DVBC64 turn), a tone,
    // AM, FM and GMSK, 2000 samples at 100 MHz.
    void MixedTable() {
        Add(MOD_QPSK, 10e6, 2.5e6);
        Add(MOD_OQPSK, 16e6, 2e6).phase_deg = 30.0f;
        Add(MOD_DVBC64, 22e6, 1e6, FILTER_SQRT_RCOS, 9, 0.15f);
        Add(MOD_NONE, 25e6, 0.0, FILTER_NONE, 1, 0.0f).amplitude = 0.5f;
        Add(MOD_AM, 30e6, 0.1e6, FILTER_NONE, 1, 40.0f);
        Add(MOD_FM, 33e6, 0.05e6, FILTER_NONE, 1, 100.0f);
        Add(MOD_GMSK, 38e6, 0.5e6, FILTER_GAUSS2, 9, 0.3f);
        Plan(2000, 100e6);
        BuildDvbTables();
    }

    IqRun RunIq() {
        IqRun run;
        MemorySink sinks[PASS_IQ + 1];
        CompileTargets targets{};
        InitMemorySink(&sinks[1]);
        InitMemorySink(&sinks[PASS_IQ]);
        targets.sink[1] = &sinks[1].sink;
        targets.sink[PASS_IQ] = &sinks[PASS_IQ].sink;
        globals.output_rf = 1;
        globals.output_baseband_i = globals.output_baseband_q = 0;
        run.result = CompileTable(&targets);
        if (run.result != COMPILE_DONE) return run;
        const std::vector<unsigned char>& rf = sinks[1].bytes;
        run.iq_bytes = sinks[PASS_IQ].bytes;
        EXPECT_EQ(rf.size(), 4u * numpoints);
        EXPECT_EQ(run.iq_bytes.size(), 8u * numpoints);
        run.rf.resize(rf.size() / 4);
        std::memcpy(run.rf.data(), rf.data(), rf.size());
        for (float& v : run.rf) v *= max_value;
        std::vector<float> zf(run.iq_bytes.size() / 4);
        std::memcpy(zf.data(), run.iq_bytes.data(), run.iq_bytes.size());
        for (size_t k = 0; k + 1 < zf.size(); k += 2)
            run.z.emplace_back(static_cast<double>(zf[k]) * max_iq, static_cast<double>(zf[k + 1]) * max_iq);
        return run;
    }
};

// Re(z e^(j 2 pi F0 s / fs)) against the RF record, relative to its peak.
double ShiftedBackError(const IqRun& run) {
    const double n = static_cast<double>(run.z.size());
    double worst = 0.0, peak = 0.0;
    for (size_t s = 0; s < run.z.size(); ++s) {
        const double turn = static_cast<double>((iq_center_cycles * static_cast<int64_t>(s)) % numpoints) / n;
        const double up = (run.z[s] * std::polar(1.0, 2.0 * M_PI * turn)).real();
        worst = std::max(worst, std::fabs(up - run.rf[s]));
        peak = std::max(peak, std::fabs(static_cast<double>(run.rf[s])));
    }
    return worst / peak;
}

TEST_F(IqPass, ShiftedBackItIsTheRfRecordOnEveryKernelPath) {
    for (int path = KERNEL_BASELINE; path <= KernelBestPath(); ++path) {
        SetUp();
        MixedTable();
        UseKernelPath(path);
        IqRun run = RunIq();
        ASSERT_EQ(run.result, COMPILE_DONE) << path << ": " << (Messages().empty() ? "" : Messages()[0]);
        EXPECT_EQ(KernelPathInUse(), path);
        ASSERT_EQ(run.z.size(), static_cast<size_t>(numpoints));
        EXPECT_LT(ShiftedBackError(run), 2e-6) << "kernel path " << path;
        // The default centre is the middle of the occupied band (10 MHz less 1.6875 MHz
        // to 38 MHz plus 0.375 MHz), on the record grid of 50 kHz.
        EXPECT_NEAR(iq_center_hz, 50e3 * std::floor((8.3125e6 + 38.375e6) / 2.0 / 50e3 + 0.5), 1e-3);
        TearDown();
    }
}

TEST_F(IqPass, CentreOnTheGridAndRecordThatCloses) {
    MixedTable();
    iq_settings.center_hz = 26.512e6;  // between two grid frequencies: 26.5 MHz is the nearer
    IqRun run = RunIq();
    ASSERT_EQ(run.result, COMPILE_DONE);
    EXPECT_EQ(iq_center_cycles, 530);
    EXPECT_DOUBLE_EQ(iq_center_hz, 26.5e6);
    EXPECT_LT(ShiftedBackError(run), 2e-6);
    // Every carrier completes whole cycles relative to the centre: the spectrum
    // of the record holds no energy between its bins beyond rounding, so the
    // record shifted by one sample is the same record one sample later.
    const size_t n = run.z.size();
    double jump = std::abs(run.z[0] - run.z[n - 1]), step = 0.0;
    for (size_t s = 1; s < n; ++s) step = std::max(step, std::abs(run.z[s] - run.z[s - 1]));
    EXPECT_LE(jump, step);
}

TEST_F(IqPass, SameRecordWithAnyThreadsBlockingAndStore) {
    struct Case {
        int threads, block, segment;
        int64_t budget;
    };
    const Case cases[] = {{1, 0, 0, int64_t(1) << 30}, {2, 0, 0, int64_t(1) << 30}, {2, 96, 3, int64_t(1) << 30},
                          {3, 100, 2, 0}};
    std::vector<unsigned char> first;
    double first_ratio = 0.0;
    for (const Case& c : cases) {
        SetUp();
        MixedTable();
        SetCompileThreads(c.threads);
        SetCompileBlocking(c.block, c.segment);
        SetCompileStoreBudget(c.budget);
        IqRun run = RunIq();
        ASSERT_EQ(run.result, COMPILE_DONE);
        ASSERT_TRUE(iq_record_stats.valid && rf_record_stats.valid);
        if (first.empty()) {
            first = run.iq_bytes;
            first_ratio = RecordPeakToAverage(iq_record_stats);
        } else {
            EXPECT_TRUE(run.iq_bytes == first) << c.threads << " threads, block " << c.block;
            EXPECT_EQ(RecordPeakToAverage(iq_record_stats), first_ratio) << c.threads << " threads";
        }
        TearDown();
    }
}

// The record statistics are those of the samples written.
TEST_F(IqPass, RecordStatisticsAreTheWrittenOnes) {
    // 16 QPSK carriers with equal phases: the composite peaks far above what
    // the display baseband shows.
    for (int k = 0; k < 16; ++k) Add(MOD_QPSK, 10e6 + 2e6 * k, 1e6);
    Plan(4000, 100e6);
    IqRun run = RunIq();
    ASSERT_EQ(run.result, COMPILE_DONE);
    auto expect_stats = [](const RecordStats& stats, const std::vector<double>& power, const char* what) {
        double sum = 0.0, peak = 0.0;
        for (double p : power) {
            sum += p;
            peak = std::max(peak, p);
        }
        const double mean = sum / static_cast<double>(power.size());
        EXPECT_NEAR(RecordPeakToAverage(stats), 10.0 * std::log10(peak / mean), 1e-3) << what;
        for (double level : {2.0, 4.0, 6.0, 8.0}) {
            size_t above = 0;
            for (double p : power) above += p >= mean * std::pow(10.0, level / 10.0);
            // Levels are binned to 0.03 dB: allow the samples within a bin of the level.
            size_t near = 0;
            for (double p : power)
                near += std::fabs(10.0 * std::log10(p / mean) - level) < 0.04;
            EXPECT_NEAR(RecordPercentAbove(stats, level), 100.0 * static_cast<double>(above) / power.size(),
                        100.0 * static_cast<double>(near) / power.size() + 1e-9)
                << what << " +" << level << " dB";
        }
    };
    std::vector<double> rf_power, iq_power;
    for (float v : run.rf) rf_power.push_back(static_cast<double>(v) * v);
    for (auto z : run.z) iq_power.push_back(std::norm(z));
    expect_stats(rf_record_stats, rf_power, "RF record");
    expect_stats(iq_record_stats, iq_power, "I/Q record");
    EXPECT_GT(RecordPeakToAverage(rf_record_stats), 12.0);
}

TEST(IqFormats, NormalisedClippedAndNamed) {
    struct Case {
        int channels, format;
        float divisor;
        std::vector<float> re, im;
        std::vector<unsigned char> bytes;
    };
    auto f32 = [](std::initializer_list<float> values) {
        std::vector<unsigned char> out;
        for (float v : values) {
            unsigned char b[4];
            std::memcpy(b, &v, 4);
            out.insert(out.end(), b, b + 4);
        }
        return out;
    };
    const Case cases[] = {
        // Floats are the normalised values, beyond full scale included.
        {2, IQ_CF32_LE, 2.0f, {1.0f, -3.0f}, {0.5f, 2.0f}, f32({0.5f, 0.25f, -1.5f, 1.0f})},
        {1, IQ_CF32_LE, 4.0f, {1.0f}, {}, f32({0.25f})},
        // 16 bits: round(32767 r), clipped; a silent record (peak 0) is zeros.
        {2, IQ_CI16_LE, 1.0f, {0.5f, -2.0f}, {1.0f, -0.5f}, {0x00, 0x40, 0xFF, 0x7F, 0x01, 0x80, 0x01, 0xC0}},
        {1, IQ_CI16_LE, 0.0f, {0.7f}, {}, {0x00, 0x00}},
    };
    for (const Case& c : cases) {
        MemorySink sink;
        InitMemorySink(&sink);
        ASSERT_EQ(BeginIqOutput(c.channels, c.format, static_cast<int64_t>(c.re.size()), c.divisor, &sink.sink), 0);
        EXPECT_EQ(EncodeIqSamples(c.re.data(), c.im.empty() ? nullptr : c.im.data(), static_cast<int>(c.re.size())),
                  0);
        EXPECT_EQ(EndIqOutput(), 0);
        EXPECT_EQ(sink.bytes, c.bytes) << IqDatatypeName(c.format, c.channels == 2);
        EXPECT_EQ(sink.passes_ended, 1);
    }
    // A short record is not ended as a whole one.
    MemorySink sink;
    InitMemorySink(&sink);
    const float one = 1.0f;
    ASSERT_EQ(BeginIqOutput(1, IQ_CF32_LE, 2, 1.0f, &sink.sink), 0);
    EncodeIqSamples(&one, nullptr, 1);
    EXPECT_EQ(EndIqOutput(), -1);
    EXPECT_EQ(sink.passes_ended, 0);
    EXPECT_EQ(sink.passes_aborted, 1);

    EXPECT_EQ(IqFormatOfPath("out/w.cf32"), IQ_CF32_LE);
    EXPECT_EQ(IqFormatOfPath("W.CI16"), IQ_CI16_LE);
    EXPECT_EQ(IqFormatOfPath("w.ci16_le"), IQ_CI16_LE);
    EXPECT_EQ(IqFormatOfPath("w.wfm"), -1);
    EXPECT_STREQ(IqDatatypeName(IQ_CI16_LE, 0), "ri16_le");
    EXPECT_STREQ(IqDatatypeName(IQ_CF32_LE, 1), "cf32_le");
}

}  // namespace
