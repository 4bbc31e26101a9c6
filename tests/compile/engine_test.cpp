// The compile engine against the plain per-sample synthesis, and the
// properties of the compiled record: it closes on itself, a tone is one
// spectral line, Nyquist pulses hit the symbols, runs stop cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "compile/engine_fixture.h"
#include "compile/reference_kernel.h"
#include "support/descriptors.h"
#include "modulation/dvb.h"
#include "shaping/windows.h"

using namespace enginetest;

namespace {

void LoadDvb64() {
    std::ifstream in(std::string(ULDO_SOURCE_DIR) + "/resources/origin.res", std::ios::binary);
    static uint8_t block[ORIGIN_BYTES];
    in.read(reinterpret_cast<char*>(block), ORIGIN_BYTES);
    BuildDvbTable(block, MOD_DVBC64, symbol64, &phase_c64);
}

class Engine : public EngineFixture {
public:
    std::string WriteText(const std::string& name, const std::string& text) {
        std::string path = dir_.File(name);
        std::ofstream(path) << text;
        return path;
    }
};

// Records of 3000 samples at 3 MHz: frequencies on the 1 kHz grid, symbol
// counts chosen so that no carrier has whole samples per symbol.
struct SynthesisCase {
    const char* name;
    int reference;
    int all_carriers;
    std::function<void(Engine*)> table;
};

TEST_F(Engine, MatchesThePerSampleSynthesis) {
    const SynthesisCase cases[] = {
        {"shaped pair and 8PSK, sum of carriers", 2, 1,
         [](Engine* e) {
             e->Add(MOD_QPSK, 400e3, 113e3, FILTER_SQRT_RCOS, 9, 0.35f).amplitude = 0.7f;
             e->Add(MOD_QAM16, 237e3, 37e3, FILTER_SQRT_RCOS, 11, 0.22f);
             e->Add(MOD_8PSK, 810e3, 251e3, FILTER_RCOS, 7, 0.5f).phase_deg = 33.0f;
         }},
        {"shaped pair, reference only", 2, 0,
         [](Engine* e) {
             e->Add(MOD_QPSK, 400e3, 113e3, FILTER_SQRT_RCOS, 9, 0.35f);
             e->Add(MOD_QAM64, 237e3, 37e3, FILTER_SQRT_RCOS, 11, 0.22f).amplitude = 1.3f;
         }},
        {"offset Q and quarter-rate shift", 1, 1,
         [](Engine* e) {
             e->Add(MOD_OQPSK, 300e3, 113e3, FILTER_RCOS, 9, 0.5f);
             e->Add(MOD_8VSB, 500e3, 251e3, FILTER_SQRT_RCOS, 11, 0.2f);
             e->Add(MOD_SSB, 1100e3, 37e3, FILTER_RCOS, 7, 0.3f).phase_deg = -70.0f;
         }},
        {"held symbols, tone and analog carriers", 1, 1,
         [](Engine* e) {
             e->Add(MOD_QAM16, 200e3, 37e3, FILTER_NONE, 3);
             e->Add(MOD_NONE, 350e3, 0.0).amplitude = 0.5f;
             e->Add(MOD_AM, 600e3, 7e3).filter_param = 50.0f;
             e->Add(MOD_FM, 800e3, 5e3).filter_param = 10.0f;
             e->Add(MOD_PM, 1100e3, 3e3).filter_param = 90.0f;
         }},
        {"GMSK reference with FSK, sum of carriers", 1, 1,
         [](Engine* e) {
             e->Add(MOD_GMSK, 300e3, 113e3, FILTER_GAUSS2, 9, 0.3f);
             e->Add(MOD_4FSK, 700e3, 37e3, FILTER_RCOS, 7, 0.5f).deviation_hz = 20e3f;
             e->Add(MOD_QPSK, 1000e3, 251e3, FILTER_SQRT_RCOS, 9, 0.35f);
             e->Add(MOD_2FSK, 1200e3, 59e3, FILTER_NONE, 1).deviation_hz = 31e3f;
         }},
        {"GMSK reference after a linear carrier, sum of carriers", 2, 1,
         [](Engine* e) {
             e->Add(MOD_QPSK, 1000e3, 251e3, FILTER_SQRT_RCOS, 9, 0.35f).amplitude = 0.6f;
             e->Add(MOD_GMSK, 300e3, 113e3, FILTER_GAUSS, 7, 0.5f);
         }},
        {"GMSK reference only", 2, 0,
         [](Engine* e) {
             e->Add(MOD_QPSK, 1000e3, 251e3, FILTER_SQRT_RCOS, 9, 0.35f);
             e->Add(MOD_GMSK, 300e3, 113e3, FILTER_GAUSS, 7, 0.5f);
         }},
        {"DVB-C 64, sample and bit files, Q polynomial warm-up", 1, 1,
         [](Engine* e) {
             LoadDvb64();
             e->Add(MOD_DVBC64, 500e3, 113e3, FILTER_SQRT_RCOS, 9, 0.15f);
             Carrier& f = e->Add(MOD_FILE1, 900e3, 37e3, FILTER_RCOS, 7, 0.4f);
             SetField(f.mod_file, e->WriteText("samples.txt", "0.5 -0.25\n-1 0.75\n0.1 0.2\n0.9 -0.6\n-0.3 -0.3\n"));
             Carrier& d = e->Add(MOD_QPSK, 1200e3, 251e3, FILTER_SQRT_RCOS, 9, 0.3f);
             d.data_source = DATA_FILE;
             SetField(d.data_file, e->WriteText("bits.txt", "1 0 0 1 1 1 0 1 0 0 0 1 1 0 1\n"));
             Carrier& w = e->Add(MOD_DQPSK, 250e3, 64e3, FILTER_SQRT_RCOS, 9, 0.35f);
             w.prbs_iq_equal = 0;
             w.prbs_poly_q = 0x50000005u;
         }},
    };

    for (const SynthesisCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.table(this);
        globals.reference_carrier = c.reference;
        globals.baseband_all_carriers = c.all_carriers;
        Plan(3000, 3e6);
        // Blocks and segments far shorter than the record, on two threads.
        SetCompileThreads(2);
        SetCompileBlocking(64, 3);
        EngineRun run = Run();
        ASSERT_EQ(run.result, COMPILE_DONE) << (Messages().empty() ? "" : Messages()[0]);
        ASSERT_EQ(run.composite.size(), 3000u);
        float engine_corr[MAX_CARRIERS];
        std::copy(std::begin(GMSK_corr), std::end(GMSK_corr), engine_corr);
        std::vector<float> shown_i(phase_i, phase_i + 3000), shown_q(phase_q, phase_q + 3000);
        std::vector<float> const_i(phase_ic, phase_ic + const_points), const_q(phase_qc, phase_qc + const_points);
        const int engine_points = const_points;
        const float engine_peak = max_value, engine_peak_i = max_i;

        // One thread, other blocks, output passes computed again: the same bytes.
        SetCompileThreads(1);
        SetCompileBlocking(100, 7);
        SetCompileStoreBudget(0);
        EngineRun again = Run();
        ASSERT_EQ(again.result, COMPILE_DONE);
        for (int p = 1; p <= 3; ++p) EXPECT_TRUE(again.bytes[p] == run.bytes[p]) << "pass " << p;

        ReferenceRecord ref;
        ASSERT_EQ(ReferenceCompile(&ref), 0);
        EXPECT_LE(RelativeError(run.composite, ref.composite), 1e-6);
        EXPECT_LE(RelativeError(run.baseband_i, ref.baseband_i), 1e-6);
        EXPECT_LE(RelativeError(run.baseband_q, ref.baseband_q), 1e-6);
        EXPECT_NEAR(engine_peak, ref.max_value, 1e-6 * ref.max_value);
        EXPECT_NEAR(engine_peak_i, ref.max_i, 1e-6 * ref.max_i);
        int wrong_marks = 0;
        for (int s = 0; s < 3000; ++s) {
            int expected = s == 0 ? 3 : ref.symbol_start[s] ? 2 : 0;
            for (int p = 1; p <= 3; ++p) wrong_marks += run.pass[p].marker[s] != expected;
        }
        EXPECT_EQ(wrong_marks, 0);
        EXPECT_EQ(engine_points, ref.const_points);
        EXPECT_GT(engine_points, 0);
        std::vector<float> ref_shown_i(ref.phase_i.begin(), ref.phase_i.begin() + 3000);
        std::vector<float> ref_shown_q(ref.phase_q.begin(), ref.phase_q.begin() + 3000);
        EXPECT_LE(RelativeError(shown_i, ref_shown_i), 1e-6);
        EXPECT_LE(RelativeError(shown_q, ref_shown_q), 1e-6);
        std::vector<float> ref_ci(ref.phase_ic.begin(), ref.phase_ic.begin() + ref.const_points);
        std::vector<float> ref_cq(ref.phase_qc.begin(), ref.phase_qc.begin() + ref.const_points);
        EXPECT_LE(RelativeError(const_i, ref_ci), 1e-6);
        EXPECT_LE(RelativeError(const_q, ref_cq), 1e-6);
        for (int k = 0; k < count_; ++k) EXPECT_NEAR(engine_corr[k], ref.corr[k], 1e-5) << "carrier " << k + 1;
        TearDown();
    }
}

// A band-limited multi-carrier record played in a loop: the step from the
// last sample back to the first is no larger than the steps inside.
TEST_F(Engine, RecordJoinsItselfWithoutASeam) {
    LoadDvb64();
    Add(MOD_QAM16, 61e3, 17e3, FILTER_SQRT_RCOS, 15, 0.35f);
    Add(MOD_GMSK, 97e3, 13e3, FILTER_GAUSS, 7, 0.5f).amplitude = 0.8f;
    Add(MOD_DVBC64, 140e3, 11e3, FILTER_SQRT_RCOS, 15, 0.15f).amplitude = 0.6f;
    Add(MOD_4FSK, 43e3, 7e3, FILTER_RCOS, 9, 0.5f).deviation_hz = 3e3f;
    Plan(5000, 1e6);   // 4.7 .. 7.7 samples per cycle, 294 .. 714 per symbol
    SetCompileBlocking(256, 2);
    EngineRun run = Run();
    ASSERT_EQ(run.result, COMPILE_DONE);
    for (const std::vector<float>* v : {&run.composite, &run.baseband_i, &run.baseband_q}) {
        const std::vector<float>& x = *v;
        float inner = 0.0f;
        for (size_t s = 1; s < x.size(); ++s) inner = std::max(inner, std::fabs(x[s] - x[s - 1]));
        EXPECT_GT(inner, 0.0f);
        EXPECT_LE(std::fabs(x.front() - x.back()), inner);
    }
}

// A run of equal symbols holds the deviation the carrier asks for: GMSK a
// quarter of its symbol rate, FSK its set deviation with "GAUSSIAN-2" and
// "R.COS."; "GAUSSIAN" falls short of it and says so.
TEST_F(Engine, FrequencyModulatedCarriersKeepTheirDeviation) {
    struct Case {
        const char* name;
        int modulation, filter, length;
        float param, deviation_hz;
        double expected_hz, tolerance;   // steady frequency offset, relative tolerance
        bool warned;
    };
    const double Rs = 47e3;
    const Case cases[] = {
        {"GMSK, GAUSSIAN-2 BT 0.3", MOD_GMSK, FILTER_GAUSS2, 9, 0.3f, 0.0f, Rs / 4, 1e-3, false},
        {"2-FSK, GAUSSIAN-2 BT 0.5", MOD_2FSK, FILTER_GAUSS2, 9, 0.5f, 20e3f, 20e3, 0.011, false},
        {"2-FSK, R.COS. 0.5", MOD_2FSK, FILTER_RCOS, 17, 0.5f, 20e3f, 20e3, 0.003, false},
        {"2-FSK, GAUSSIAN BT 0.5", MOD_2FSK, FILTER_GAUSS, 17, 0.5f, 20e3f, 20e3 * 0.659, 0.003, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SetUp();
        Carrier& c = Add(k.modulation, 300e3, Rs, k.filter, k.length, k.param);
        c.deviation_hz = k.deviation_hz;
        c.data_source = DATA_ONES;
        globals.baseband_all_carriers = 0;
        Plan(100000, 3e6);
        ASSERT_EQ(CompileTable(nullptr), COMPILE_DONE);
        // Mean phase step of the displayed baseband, away from the record's ends.
        double turn = 0.0;
        const int from = 5000, to = 95000;
        for (int s = from; s < to; ++s)
            turn += std::arg(std::complex<double>(phase_i[s + 1], phase_q[s + 1]) *
                             std::conj(std::complex<double>(phase_i[s], phase_q[s])));
        const double frequency = std::fabs(turn) / (to - from) * record_clock / (2.0 * M_PI);
        EXPECT_NEAR(frequency / k.expected_hz, 1.0, k.tolerance);
        int warnings = 0;
        for (const std::string& m : Messages()) warnings += m.rfind("COMPILATION WARNING|Carrier 1:", 0) == 0;
        EXPECT_EQ(warnings, k.warned ? 1 : 0) << (Messages().empty() ? "" : Messages()[0]);
        if (k.warned) {
            EXPECT_NE(Messages()[0].find("13.18 kHz, 65.9 % of the set 20.00 kHz"), std::string::npos)
                << Messages()[0];
        }
        TearDown();
    }
}

// The phase of GMSK and FSK carriers is the running sum of their frequency
// pulse over the whole record; it must not drift from the double-precision
// synthesis however long the record is.
TEST_F(Engine, FrequencyModulatedPhaseHoldsOverLongRecords) {
    Add(MOD_GMSK, 1.1e6, 270833.0, FILTER_GAUSS2, 9, 0.3f);
    Add(MOD_4FSK, 0.7e6, 97e3, FILTER_RCOS, 9, 0.5f).deviation_hz = 60e3f;
    const int n = 3000000;
    Plan(n, 13e6);
    SetCompileThreads(2);
    EngineRun run = Run();
    ASSERT_EQ(run.result, COMPILE_DONE);
    ReferenceRecord ref;
    ASSERT_EQ(ReferenceCompile(&ref), 0);
    for (auto [engine, reference] : {std::pair{&run.composite, &ref.composite},
                                     std::pair{&run.baseband_i, &ref.baseband_i},
                                     std::pair{&run.baseband_q, &ref.baseband_q}}) {
        ASSERT_EQ(engine->size(), reference->size());
        double error = 0.0, power = 0.0;
        for (size_t s = 0; s < engine->size(); ++s) {
            double d = static_cast<double>((*engine)[s]) - (*reference)[s];
            error += d * d;
            power += static_cast<double>((*reference)[s]) * (*reference)[s];
        }
        EXPECT_LT(10.0 * std::log10(error / power), -120.0);
    }
}

// An unmodulated carrier, and an AM carrier without depth, are one spectral
// line 120 dB above every other bin: the carrier phase carries no error
// that grows along the record.
TEST_F(Engine, SingleToneIsOneSpectralLine) {
    for (int mod : {MOD_NONE, MOD_AM}) {
        SCOPED_TRACE(mod);
        SetUp();
        const int n = 1 << 17, cycles = 12345;
        Carrier& c = Add(mod, cycles * 1000.0, mod == MOD_AM ? 1000.0 * 77 : 0.0);
        c.amplitude = 0.8f;
        c.phase_deg = 20.0f;
        c.filter_param = 0.0f;
        Plan(n, n * 1000.0);
        EngineRun run = Run();
        ASSERT_EQ(run.result, COMPILE_DONE);
        std::vector<double> x(run.pass[1].r.begin(), run.pass[1].r.end());
        ASSERT_EQ(static_cast<int>(x.size()), n);
        // The waveform itself, at the start and the end of the record.
        for (int s : {0, 1, 2, n / 2, n - 2, n - 1}) {
            double theta = 2.0 * M_PI * static_cast<double>(static_cast<int64_t>(cycles) * s % n) / n +
                           20.0 * M_PI / 180.0;
            double expected = mod == MOD_AM ? std::sin(theta) : std::cos(theta);
            EXPECT_NEAR(x[s], expected, 1e-6) << s;
        }
        ASSERT_EQ(Spectrum(x.data(), n), 0);
        double line = x[cycles], worst = 0.0;
        for (int k = 0; k < n; ++k)
            if (k != cycles && k != n - cycles) worst = std::max(worst, x[k]);
        EXPECT_GT(10.0 * std::log10(line / worst), 120.0);
        TearDown();
    }
}

// A raised-cosine pulse with whole samples per symbol is 1 at its symbol and
// 0 at the others, so the baseband records at the symbol instants are the
// mapper's symbols, the last ones wrapping round to the first.
TEST_F(Engine, NyquistPulseBasebandIsTheSymbols) {
    const int sps = 8, S = 250, L = 11, D = (L - 1) / 2;
    Add(MOD_QAM16, 400e3, S * 1000.0, FILTER_RCOS, L, 0.5f);
    Add(MOD_QPSK, 900e3, 130e3, FILTER_SQRT_RCOS, 9, 0.35f);   // not in the baseband outputs
    globals.baseband_all_carriers = 0;
    globals.normalization_mode = 1;
    globals.normalization_level = 1.0f;
    Plan(sps * S, sps * S * 1000.0);
    EngineRun run = Run();
    ASSERT_EQ(run.result, COMPILE_DONE);
    ASSERT_EQ(symbols_in_record[0], S);

    ResetGenerators();
    std::vector<float> si(S), sq(S);
    for (int k = 0; k < S; ++k) ASSERT_EQ(iq(MOD_QAM16, &si[k], &sq[k], 0), 0);
    double worst = 0.0, worst_const = 0.0;
    for (int n = 0; n < S; ++n) {
        int k = (n + D) % S;
        worst = std::max(worst, std::fabs(static_cast<double>(run.pass[2].r[n * sps]) - si[k]));
        worst = std::max(worst, std::fabs(static_cast<double>(run.pass[3].r[n * sps]) - sq[k]));
        if (n >= 1) {
            worst_const = std::max(worst_const, std::fabs(static_cast<double>(phase_ic[n - 1]) - si[k]));
            worst_const = std::max(worst_const, std::fabs(static_cast<double>(phase_qc[n - 1]) - sq[k]));
        }
    }
    EXPECT_LT(worst, 1e-6);
    EXPECT_LT(worst_const, 1e-6);
    EXPECT_EQ(const_points, S - 1);
}

TEST_F(Engine, PassesRunInOrderAndReportTheirMoments) {
    Add(MOD_QPSK, 400e3, 113e3);
    Add(MOD_GMSK, 300e3, 37e3, FILTER_GAUSS2, 9, 0.3f);
    Plan(3000, 3e6);
    ASSERT_EQ(Run().result, COMPILE_DONE);
    EXPECT_EQ(Statuses(), (std::vector<std::string>{"FSK preprocessing..", "Compiling..", "Sending RF..",
                                                    "Sending Baseband I..", "Sending Baseband Q.."}));
    EXPECT_EQ(Moments(), (std::vector<int>{ANALYSIS_PLANNED, ANALYSIS_COMPILED, ANALYSIS_RF_PASS}));

    // Without outputs: the display data only, no sink touched.
    SetUp();
    Add(MOD_QPSK, 400e3, 113e3);
    Plan(3000, 3e6);
    MemorySink sink;
    InitMemorySink(&sink);
    CompileTargets targets{};
    targets.sink[1] = targets.sink[2] = targets.sink[3] = &sink.sink;
    ASSERT_EQ(CompileTable(&targets), COMPILE_DONE);
    EXPECT_EQ(Statuses(), std::vector<std::string>{"Compiling.."});
    EXPECT_EQ(sink.passes_begun, 0);
    EXPECT_GT(max_value, 0.0f);
    EXPECT_EQ(const_points, 112);
}

TEST_F(Engine, FixedNormalisationAndShortRecordSpectrumInput) {
    Add(MOD_QPSK, 400e3, 113e3);
    Plan(3000, 3e6);
    globals.normalization_mode = 1;
    globals.normalization_level = 0.25f;
    EngineRun run = Run();
    ASSERT_EQ(run.result, COMPILE_DONE);
    EXPECT_EQ(max_value, 0.25f);
    EXPECT_EQ(max_i, 0.25f);
    // The output passes scale by the fixed level, so samples exceed 1.
    float top = 0.0f;
    for (float r : run.pass[1].r) top = std::max(top, std::fabs(r));
    EXPECT_GT(top, 1.0f);
    // The spectrum input repeats the short record, as the instrument plays it.
    for (int s = 0; s < FFT_POINTS; ++s) ASSERT_EQ(FFT_Array[s], FFT_Array[s % 3000]) << s;
    EXPECT_FLOAT_EQ(static_cast<float>(FFT_Array[7]), run.pass[1].r[7] * 0.25f);
}

TEST_F(Engine, LongRecordKeepsTheFirstDisplayPoints) {
    const int n = 600000, S = 550000;
    Add(MOD_QPSK, 100e3, S * 10.0, FILTER_NONE, 1);
    Plan(n, n * 10.0);
    ASSERT_EQ(CompileTable(nullptr), COMPILE_DONE);
    EXPECT_EQ(const_points, DISPLAY_POINTS);
    // Held QPSK symbols are +-1 on each axis, right to the last stored point.
    EXPECT_EQ(std::fabs(phase_ic[DISPLAY_POINTS - 1]), 1.0f);
    EXPECT_EQ(std::fabs(phase_i[DISPLAY_POINTS - 1]), 1.0f);
}

// Cancelling the RF pass: the partial file is closed and never takes its path; the sample and bit
// files of the pass are closed too.
TEST_F(Engine, CancelledRunLeavesItsPartialFileClosed) {
    Carrier& d = Add(MOD_QPSK, 400e3, 113e3, FILTER_NONE, 1);
    d.data_source = DATA_FILE;
    SetField(d.data_file, WriteText("bits.txt", "1 0 1 1 0 0 1 0\n"));
    Carrier& f = Add(MOD_FILE2, 700e3, 37e3, FILTER_NONE, 1);
    SetField(f.mod_file, WriteText("samples.txt", "1 0\n0 1\n"));
    Plan(300000, 3e6);
    SetCompileBlocking(1000, 1);
    SetCompileStoreBudget(0);   // the output pass reads the files again
    static int polls;
    polls = 0;
    core_hooks.cancel_requested = [] {
        return Statuses().back() == "Sending RF.." && ++polls == 20 ? 1 : 0;
    };
    const int descriptors = OpenDescriptors();
    FileSink sink;
    std::string path = dir_.File("partial.wfm");
    InitFileSink(&sink, path.c_str(), 1);
    CompileTargets targets{};
    targets.sink[1] = &sink.sink;
    globals.output_rf = 1;
    EXPECT_EQ(CompileTable(&targets), COMPILE_CANCELLED);
    EXPECT_EQ(sink.file.fd, -1);
    EXPECT_EQ(data_handle[0], nullptr);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    // The unfinished file never took the path, and its temporary file is gone.
    EXPECT_FALSE(std::filesystem::exists(path));
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
        EXPECT_EQ(e.path().filename().string().find(".partial.wfm"), std::string::npos) << e.path();
}

TEST_F(Engine, FailedRunClosesWhatItOpened) {
    Carrier& d = Add(MOD_QPSK, 400e3, 113e3);
    d.data_source = DATA_FILE;
    SetField(d.data_file, WriteText("bits.txt", "1 0 1 1\n"));
    Carrier& f = Add(MOD_FILE1, 700e3, 37e3);
    SetField(f.mod_file, dir_.File("missing.txt").c_str());
    Plan(3000, 3e6);
    const int descriptors = OpenDescriptors();
    EXPECT_EQ(CompileTable(nullptr), COMPILE_FAILED);
    EXPECT_EQ(Messages(), std::vector<std::string>{"|File Opening Error (15)\n" + dir_.File("missing.txt") +
                                                   ": No such file or directory"});
    EXPECT_EQ(data_handle[0], nullptr);
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
