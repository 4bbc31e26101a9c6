// Fixture of the compile engine tests: a fresh table and settings, recorders
// for the hooks, a scratch directory as the current directory (the reference
// carrier's pulse goes to FILTER.DAT there), and runs into memory sinks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "compile/engine.h"
#include "compile/output.h"
#include "modulation/mapper.h"
#include "shell/hooks.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"
#include "support/tempdir.h"

namespace enginetest {

inline std::vector<int>& Moments() {
    static std::vector<int> v;
    return v;
}
inline void RecordMoment(int moment) { Moments().push_back(moment); }

// One decoded WFM pass: normalised samples and marker bytes.
struct WfmPass {
    std::vector<float> r;
    std::vector<int> marker;
};

inline bool ParseWfm(const std::vector<unsigned char>& bytes, WfmPass* out) {
    const std::string magic = "MAGIC 1000\r\n#";
    if (bytes.size() < magic.size() + 2 || std::memcmp(bytes.data(), magic.data(), magic.size()) != 0)
        return false;
    size_t at = magic.size();
    int digits = bytes[at++] - '0';
    long d = std::stol(std::string(bytes.begin() + at, bytes.begin() + at + digits));
    at += digits;
    if (d % 5 != 0 || at + d > bytes.size()) return false;
    out->r.resize(d / 5);
    out->marker.resize(d / 5);
    for (long k = 0; k < d / 5; ++k) {
        std::memcpy(&out->r[k], &bytes[at + 5 * k], 4);
        out->marker[k] = bytes[at + 5 * k + 4];
    }
    return true;
}

struct EngineRun {
    int result = -1;
    WfmPass pass[4];          // 1 composite, 2 baseband I, 3 baseband Q
    std::vector<unsigned char> bytes[4];
    // Samples scaled back by the peaks the passes were normalised with.
    std::vector<float> composite, baseband_i, baseband_q;
};

class EngineFixture : public ::testing::Test {
public:
    EngineFixture() : old_dir_(std::filesystem::current_path()) {}
    ~EngineFixture() override { std::filesystem::current_path(old_dir_); }

    // Tests that loop over cases call SetUp and TearDown around each one.
    void SetUp() override {
        for (int c = 0; c < MAX_CARRIERS; ++c) CloseDataFile(c);
        StartCoreCase();
        InitPI();
        std::fill(std::begin(GMSK_corr), std::end(GMSK_corr), 0.0f);
        Moments().clear();
        core_hooks.analysis = RecordMoment;
        SetCompileThreads(0);
        SetCompileBlocking(0, 0);
        SetCompileStoreBudget(int64_t(1) << 30);
        std::filesystem::current_path(dir_.path());
        globals.compile_mode = 0;
        globals.compile_length = 2000;
        globals.sample_clock = 1.0f;
        globals.max_record_length = 1 << 30;
        globals.record_granularity = 1;
        globals.reference_carrier = 1;
        globals.baseband_all_carriers = 1;
        globals.instrument_type = 0;
        globals.output_destination = 1;
        count_ = 0;
    }
    void TearDown() override {
        AbortOutput();
        for (int c = 0; c < MAX_CARRIERS; ++c) CloseDataFile(c);
        core_hooks = CoreHooks{};
        SetCompileThreads(0);
        SetCompileBlocking(0, 0);
        SetCompileStoreBudget(int64_t(1) << 30);
    }

    // Appends a carrier with the defaults of a new record.
    Carrier& Add(int modulation, double frequency_hz, double symbol_rate, int filter = FILTER_SQRT_RCOS,
                 int length = 9, float param = 0.35f) {
        Carrier& c = signals[count_];
        c = Carrier{};
        c.frequency_hz = static_cast<float>(frequency_hz);
        c.symbol_rate = static_cast<float>(symbol_rate);
        c.amplitude = 1.0f;
        c.modulation = modulation;
        c.filter_type = filter;
        c.filter_length = length;
        c.filter_param = param;
        c.prbs_poly_i = 3;
        c.prbs_seed_i = 0xFEDCBA98u;
        c.prbs_poly_q = 3;
        c.prbs_seed_q = 0xFEDCBA98u;
        c.prbs_iq_equal = 1;
        ++count_;
        if (count_ < MAX_CARRIERS) signals[count_].frequency_hz = -1.0f;
        return c;
    }

    // Mode 0 with a record of n samples at exactly `clock` Hz, given that the
    // reference frequency is a whole number of clock / n.
    void Plan(int n, double clock) {
        globals.compile_mode = 0;
        globals.compile_length = n;
        double f_max = 0;
        for (int i = 0; i < count_; ++i) f_max = std::max(f_max, static_cast<double>(signals[i].frequency_hz));
        globals.sample_clock = static_cast<float>(clock / f_max);
    }

    // The whole run with all three outputs as WFM into memory.
    EngineRun Run() {
        EngineRun run;
        MemorySink sinks[4];
        CompileTargets targets{};
        for (int p = 1; p <= 3; ++p) {
            InitMemorySink(&sinks[p]);
            targets.sink[p] = &sinks[p].sink;
        }
        globals.output_rf = globals.output_baseband_i = globals.output_baseband_q = 1;
        run.result = CompileTable(&targets);
        for (int p = 1; p <= 3; ++p) {
            run.bytes[p] = sinks[p].bytes;
            if (run.result == COMPILE_DONE) EXPECT_TRUE(ParseWfm(sinks[p].bytes, &run.pass[p])) << p;
        }
        auto scale = [](const WfmPass& w, float peak) {
            std::vector<float> v(w.r.size());
            for (size_t k = 0; k < v.size(); ++k) v[k] = w.r[k] * peak;
            return v;
        };
        run.composite = scale(run.pass[1], max_value);
        run.baseband_i = scale(run.pass[2], max_i);
        run.baseband_q = scale(run.pass[3], max_i);
        return run;
    }

    std::filesystem::path old_dir_;
    TempDir dir_;
    int count_ = 0;
};

// Largest |a - b| over the samples, relative to the largest |b|.
inline double RelativeError(const std::vector<float>& a, const std::vector<float>& b) {
    double worst = 0.0, scale = 0.0;
    size_t n = std::min(a.size(), b.size());
    for (size_t k = 0; k < n; ++k) {
        worst = std::max(worst, std::fabs(static_cast<double>(a[k]) - b[k]));
        scale = std::max(scale, std::fabs(static_cast<double>(b[k])));
    }
    return scale > 0 ? worst / scale : worst;
}

}  // namespace enginetest
