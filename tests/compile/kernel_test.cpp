// The shaping loop and the carrier rotator against direct evaluation, on
// every code path the machine runs (AVX-512, AVX2, the baseline).
#include "compile/kernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

class Kernel : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (GetParam() > KernelBestPath()) GTEST_SKIP() << "this machine does not run the path";
        UseKernelPath(GetParam());
    }
    void TearDown() override { UseKernelPath(-1); }
};

// Sample s at symbol n = (s S) div N, offset x = 50 ((s S) mod N) / N table
// points: row j0 = x rounded half down, t = x - j0, and tap k interpolates
// around entry first - 50 k + j0.
TEST_P(Kernel, ShapingFollowsTheSymbolClock) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int taps : {1, 5, 17, 33, 49, 201}) {
        SCOPED_TRACE(taps);
        const int lanes = KernelLanes(taps), entries = 50 * taps + 51, first = 50 * taps;
        std::vector<double> pulse(entries);
        for (double& p : pulse) p = u(rng);
        std::vector<float> table(SHAPE_ROWS * 3 * lanes), table_q(SHAPE_ROWS * 3 * lanes);
        std::vector<double> table_fm(SHAPE_ROWS * 3 * lanes);
        BuildShapeTableFm(pulse.data(), entries, first, taps, lanes, table_fm.data());
        std::vector<float> rows(taps * 3 * SHAPE_ROWS_PADDED), rows_q(taps * 3 * SHAPE_ROWS_PADDED);
        BuildShapeTable(pulse.data(), entries, first, taps, lanes, nullptr, table.data());
        BuildShapeTable(pulse.data(), entries, first - 25, taps, lanes, nullptr, table_q.data());
        BuildShapeRows(table.data(), taps, lanes, rows.data());
        BuildShapeRows(table_q.data(), taps, lanes, rows_q.data());
        // 10 symbols in 1000 samples: the offsets 50 r / N are multiples of
        // 0.5, half of them exactly half-way; 37 in 1000 land anywhere.
        for (int64_t S : {10, 37}) {
            const int64_t N = 1000, s0 = 101;
            const int count = 777;
            std::vector<float> si(S + lanes + 1), sq(S + lanes + 1);
            for (size_t k = 0; k < si.size(); ++k) {
                si[k] = static_cast<float>(u(rng));
                sq[k] = static_cast<float>(u(rng));
            }
            const int64_t base = s0 * S / N;  // the window starts at the first sample's symbol
            ShapeRun run{table.data(), table_q.data(), si.data(), sq.data(), base, lanes, N, S, s0, count};
            std::vector<float> oi(count), oq(count), only(count), ri(count), rq(count);
            std::vector<double> fm(count);
            ShapeIQ(run, oi.data(), oq.data());
            ShapeI(run, only.data());
            ShapeFm(run, table_fm.data(), fm.data());
            // Rows form: every symbol's taps summed once per row.
            ShapeRun by_rows = run;
            by_rows.rows_i = rows.data();
            by_rows.rows_q = rows_q.data();
            by_rows.taps = taps;
            ShapeIQ(by_rows, ri.data(), rq.data());
            // Phase taps: the same interpolation read back per phase.
            const int64_t period = PhasePeriod(N, S);
            std::vector<float> phase(period * lanes), phase_q(period * lanes), pi(count), pq(count);
            BuildPhaseTable(run, table.data(), period, phase.data());
            BuildPhaseTable(run, table_q.data(), period, phase_q.data());
            ShapeRun by_phase = run;
            by_phase.phase_i = phase.data();
            by_phase.phase_q = phase_q.data();
            by_phase.period = period;
            ShapeIQ(by_phase, pi.data(), pq.data());
            EXPECT_EQ(pi, oi);
            EXPECT_EQ(pq, oq);
            // The clock of one period read from its table gives the same samples on every form.
            std::vector<int32_t> clock_n(period), clock_row(period);
            std::vector<float> clock_t(period);
            BuildClockTable(N, S, period, clock_n.data(), clock_row.data(), clock_t.data());
            for (const ShapeRun* form : {&run, &by_rows, &by_phase}) {
                ShapeRun tabled = *form;
                tabled.clock_n = clock_n.data();
                tabled.clock_row = clock_row.data();
                tabled.clock_t = clock_t.data();
                tabled.clock_period = period;
                tabled.clock_advance = ClockAdvance(N, S, period);
                std::vector<float> ti(count), tq(count), want_i(count), want_q(count);
                ShapeIQ(*form, want_i.data(), want_q.data());
                ShapeIQ(tabled, ti.data(), tq.data());
                EXPECT_EQ(ti, want_i);
                EXPECT_EQ(tq, want_q);
            }
            double worst = 0.0, worst_fm = 0.0;
            auto at = [&](long j) { return j >= 0 && j < entries ? pulse[j] : 0.0; };
            for (int m = 0; m < count; ++m) {
                int64_t s = s0 + m, n = s * S / N, r = s * S % N;
                double x = 50.0 * r / N;
                long j0 = static_cast<long>(x);
                if (x - j0 > 0.5) ++j0;
                double t = x - j0, ei = 0.0, eq = 0.0;
                for (int k = 0; k < taps; ++k) {
                    auto h = [&](long j) {
                        return ((at(j + 1) + at(j - 1)) / 2 - at(j)) * t * t + (at(j + 1) - at(j - 1)) / 2 * t + at(j);
                    };
                    long j = first - 50L * k + j0;
                    ei += si[n - base + k] * h(j);
                    eq += sq[n - base + k] * h(j - 25);
                }
                worst = std::max({worst, std::fabs(oi[m] - ei), std::fabs(oq[m] - eq), std::fabs(only[m] - ei),
                                  std::fabs(ri[m] - ei), std::fabs(rq[m] - eq)});
                worst_fm = std::max(worst_fm, std::fabs(fm[m] - ei));
            }
            EXPECT_LT(worst, 1e-5 * taps) << "S " << S;
            EXPECT_LT(worst_fm, 1e-13 * taps) << "S " << S;
        }
    }
}

// Far into a long record the rotator still gives the exact phase.
TEST_P(Kernel, RotatorKeepsTheExactPhase) {
    const int64_t N = 2000000011, F = 123456789;
    const double phase0 = 0.3, ramp = -1.5707963267948966;
    for (int64_t s0 : {int64_t(0), int64_t(777), N - 5000}) {
        const int count = 4999;
        std::vector<float> c(count), s(count);
        CarrierRotator(F, N, phase0, ramp, s0, count, c.data(), s.data());
        double worst = 0.0;
        for (int m = 0; m < count; ++m) {
            double ph = CarrierPhase(F, N, phase0, ramp, s0 + m);
            worst = std::max({worst, std::fabs(c[m] - std::cos(ph)), std::fabs(s[m] - std::sin(ph))});
        }
        EXPECT_LT(worst, 1e-7) << s0;
    }
    // The exact phase itself: whole turns of F cycles in N samples.
    EXPECT_NEAR(std::remainder(CarrierPhase(F, N, 0.0, 0.0, N - 1) + 2 * M_PI * F / N, 2 * M_PI), 0.0, 1e-9);
}

// Rotating and mixing in one sweep gives the bits of the rotator followed by the mix,
// from any first sample, with and without the baseband sums, added or written.
TEST_P(Kernel, RotateAndMixIsTheRotatorThenTheMix) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    const int64_t N = 4000037, F = 1234567;
    for (int64_t s0 : {int64_t(0), int64_t(5), int64_t(1021), N - 3000}) {
        for (int start : {0, 1}) {
            for (int baseband : {0, 1}) {
                const int count = 2999;
                std::vector<float> I(count), Q(count), c(count), s(count), comp(count), bi(count), bq(count);
                for (int m = 0; m < count; ++m) {
                    I[m] = u(rng);
                    Q[m] = u(rng);
                    comp[m] = u(rng);
                    bi[m] = u(rng);
                    bq[m] = u(rng);
                }
                std::vector<float> comp2 = comp, bi2 = bi, bq2 = bq;
                CarrierRotator(F, N, 0.7, 0.25, s0, count, c.data(), s.data());
                MixCarrier(0.8f, I.data(), Q.data(), c.data(), s.data(), count, comp.data(),
                           baseband ? bi.data() : nullptr, baseband ? bq.data() : nullptr, start);
                RotateAndMix(F, N, 0.7, 0.25, s0, count, 0.8f, I.data(), Q.data(), comp2.data(),
                             baseband ? bi2.data() : nullptr, baseband ? bq2.data() : nullptr, start);
                EXPECT_EQ(comp2, comp) << s0 << " " << start << " " << baseband;
                EXPECT_EQ(bi2, bi);
                EXPECT_EQ(bq2, bq);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, Kernel, ::testing::Values(KERNEL_AVX512, KERNEL_AVX2, KERNEL_BASELINE),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == KERNEL_AVX512 ? "Avx512Path"
                                    : info.param == KERNEL_AVX2 ? "Avx2Path"
                                                                : "BaselinePath";
                         });

}  // namespace
