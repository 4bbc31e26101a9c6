#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "shaping/filters.h"
#include "shaping/windows.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"

namespace {

constexpr double pi = std::numbers::pi;

struct WindowCase {
    const char* name;
    int window_type;
    std::function<int(double*, int32_t)> apply;
    std::function<double(int, int)> weight;  // closed form w(i) for n entries
};

double Theta(int i, int n) { return 2.0 * pi * i / n; }

std::vector<WindowCase> WindowCases() {
    return {
        {"TriWin", WINDOW_TRIANGLE, TriWin,
         [](int i, int n) { int h = n / 2; return i <= h ? double(i) / h : double(n - i) / h; }},
        {"HanWin", WINDOW_HANNING, HanWin,
         [](int i, int n) { return std::pow(std::sin(pi * i / n), 2.0); }},
        {"HamWin", WINDOW_HAMMING, HamWin,
         [](int i, int n) { return 0.54 - 0.46 * std::cos(Theta(i, n)); }},
        {"BkmanWin", WINDOW_BLACKMAN, BkmanWin,
         [](int i, int n) {
             return 0.42 - 0.5 * std::cos(Theta(i, n)) + 0.08 * std::cos(2 * Theta(i, n));
         }},
        {"BlkHarrisWin", WINDOW_BLACKMAN_HARRIS, BlkHarrisWin,
         [](int i, int n) {
             return 0.42323 - 0.49755 * std::cos(Theta(i, n)) + 0.07922 * std::cos(2 * Theta(i, n));
         }},
        {"ExBkmanWin", WINDOW_EXACT_BLACKMAN, ExBkmanWin,
         [](int i, int n) {
             return (7938 - 9240 * std::cos(Theta(i, n)) + 1430 * std::cos(2 * Theta(i, n))) / 18608;
         }},
        {"FlatTopWin", WINDOW_FLAT_TOP, FlatTopWin,
         [](int i, int n) {
             double t = Theta(i, n);
             return 0.215578948 - 0.41663158 * std::cos(t) + 0.277263158 * std::cos(2 * t) -
                    0.083578947 * std::cos(3 * t) + 0.006947368 * std::cos(4 * t);
         }},
        {"KsrWin", WINDOW_KAISER, [](double* x, int32_t n) { return KsrWin(x, n, 4.0); },
         [](int i, int n) {
             double r = 1.0 - 2.0 * i / n;
             return std::cyl_bessel_i(0.0, 4.0 * std::sqrt(1 - r * r)) / std::cyl_bessel_i(0.0, 4.0);
         }},
    };
}

std::vector<double> Ramp(int n) {
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) x[i] = 1.0 + 0.01 * i;
    return x;
}

}  // namespace

TEST(Windows, WeightsMatchClosedFormsWithMirrorSymmetry) {
    for (const WindowCase& c : WindowCases()) {
        for (int n : {101, 100, 7}) {
            std::vector<double> in = Ramp(n), x = in;
            ASSERT_EQ(c.apply(x.data(), n), 0) << c.name;
            for (int i = 0; i < n; ++i) {
                if (n % 2 == 0 && i == n / 2) {
                    EXPECT_EQ(x[i], in[i]) << c.name << " middle of " << n;
                    continue;
                }
                EXPECT_NEAR(x[i] / in[i], c.weight(i, n), 1e-13) << c.name << " n=" << n << " i=" << i;
            }
            for (int i = 1; i < n; ++i)
                EXPECT_NEAR(x[i] / in[i], x[n - i] / in[n - i], 1e-13) << c.name << " i=" << i;
        }
    }
}

TEST(Windows, IndexZeroAndTheTrianglePeak) {
    std::vector<double> x(101, 1.0);
    HamWin(x.data(), 101);
    EXPECT_DOUBLE_EQ(x[0], 0.08);
    for (double v : x) EXPECT_GT(v, 0.0);

    x.assign(101, 1.0);
    HanWin(x.data(), 101);
    EXPECT_EQ(x[0], 0.0);

    x.assign(101, 1.0);
    BkmanWin(x.data(), 101);
    EXPECT_NE(x[0], 0.0);  // rounding of the sum, not an exact zero
    EXPECT_NEAR(x[0], 0.0, 1e-16);

    x.assign(101, 1.0);
    ExBkmanWin(x.data(), 101);
    EXPECT_DOUBLE_EQ(x[0], 0.006878761822871851);

    // Exactly 0.0049, not the coefficient sum a few ulps off; the edge taper's
    // first entry depends on it.
    x.assign(101, 1.0);
    BlkHarrisWin(x.data(), 101);
    EXPECT_EQ(x[0], 0.0049);
    x.assign(1000, 1.0);
    MyWindow(x.data(), 1000);
    EXPECT_EQ(x[0], 0.0049);

    x.assign(101, 1.0);
    KsrWin(x.data(), 101, 4.0);
    EXPECT_NEAR(x[0], 1.0 / std::cyl_bessel_i(0.0, 4.0), 1e-15);

    // The pulse tables have odd length: both entries around n/2 get weight 1.
    x.assign(101, 1.0);
    TriWin(x.data(), 101);
    EXPECT_EQ(x[0], 0.0);
    EXPECT_EQ(x[50], 1.0);
    EXPECT_EQ(x[51], 1.0);
}

TEST(Windows, EmptyCountIsRefusedUntouched) {
    for (const WindowCase& c : WindowCases()) {
        double x[2] = {3.0, 4.0};
        EXPECT_EQ(c.apply(x, 0), STATUS_COUNT_BELOW_ONE) << c.name;
        EXPECT_EQ(c.apply(x, -5), STATUS_COUNT_BELOW_ONE) << c.name;
        EXPECT_EQ(x[0], 3.0);
        EXPECT_EQ(x[1], 4.0);
    }
    double x[1] = {3.0};
    EXPECT_EQ(CosTaperedWin(x, 0), 0);
    EXPECT_EQ(x[0], 3.0);
}

TEST(Windows, CosineTaperTouchesOnlyItsEdges) {
    std::vector<double> x(9, 2.0);
    EXPECT_EQ(CosTaperedWin(x.data(), 9), 0);
    EXPECT_EQ(x, std::vector<double>(9, 2.0));

    x.assign(10, 2.0);
    CosTaperedWin(x.data(), 10);
    EXPECT_EQ(x.front(), 0.0);
    EXPECT_EQ(x.back(), 0.0);
    for (int i = 1; i < 9; ++i) EXPECT_EQ(x[i], 2.0);

    x.assign(101, 1.0);
    CosTaperedWin(x.data(), 101);  // m = 10
    for (int i = 1; i < 10; ++i) {
        double w = std::pow(std::sin(pi * i / 20.0), 2.0);
        EXPECT_NEAR(x[i], w, 1e-15);
        EXPECT_NEAR(x[100 - i], w, 1e-15);
    }
    for (int i = 10; i <= 90; ++i) EXPECT_EQ(x[i], 1.0);
}

TEST(Windows, OwnWindowTapersFiveHundredEntriesEachEnd) {
    auto b = [](int i) {
        return 0.42323 - 0.49755 * std::cos(Theta(i, 1000)) + 0.07922 * std::cos(2 * Theta(i, 1000));
    };
    std::vector<double> x(1001, 1.0);
    MyWindow(x.data(), 1001);
    for (int i = 0; i < 500; ++i) EXPECT_NEAR(x[i], b(i), 1e-13) << i;
    EXPECT_EQ(x[500], 1.0);
    for (int i = 0; i < 500; ++i) EXPECT_NEAR(x[501 + i], b(500 + i), 1e-13) << i;

    // Shorter tables: overlapping tapers multiply, nothing outside is touched.
    for (int n : {700, 499, 101, 1}) {
        std::vector<double> buffer(n + 1000, 7.0);
        double* t = buffer.data() + 500;
        std::fill(t, t + n, 1.0);
        MyWindow(t, n);
        for (int i = 0; i < 500; ++i) {
            ASSERT_EQ(buffer[i], 7.0) << n;
            ASSERT_EQ(buffer[500 + n + i], 7.0) << n;
        }
        for (int j = 0; j < n; ++j) {
            double w = (j < 500 ? b(j) : 1.0) * (j >= n - 500 ? b(1000 - n + j) : 1.0);
            EXPECT_NEAR(t[j], w, 1e-13) << n << " " << j;
        }
    }
}

class ApplyWindowTest : public CoreFixture {
protected:
    void TearDown() override {
        CoreFixture::TearDown();
        ResetCoreState();
    }
    static void Fill(double* row) {
        for (int i = 0; i < FIR_ROW_LENGTH; ++i) row[i] = 1.0 + 0.001 * i;
    }
};

TEST_F(ApplyWindowTest, DispatchesEveryCodeToItsRoutineOverTheTable) {
    const int L = 5, n = 301;
    std::vector<std::pair<int, std::function<int(double*, int32_t)>>> routines;
    for (const WindowCase& c : WindowCases()) routines.push_back({c.window_type, c.apply});
    routines.push_back({WINDOW_COSINE_TAPER, CosTaperedWin});
    routines.push_back({WINDOW_OWN, [](double* x, int32_t m) { MyWindow(x, m); return 0; }});
    for (auto& [code, apply] : routines) {
        Fill(FIR[3]);
        std::vector<double> expected(FIR[3], FIR[3] + FIR_ROW_LENGTH);
        apply(expected.data(), n);
        signals[3].window_type = code;
        ApplyWindow(3, L);
        for (int i = 0; i < FIR_ROW_LENGTH; ++i) ASSERT_EQ(FIR[3][i], expected[i]) << code << " " << i;
    }
    for (int code : {0, 2, 10, 12, 13, 15, -1}) {
        Fill(FIR[3]);
        std::vector<double> before(FIR[3], FIR[3] + FIR_ROW_LENGTH);
        signals[3].window_type = code;
        ApplyWindow(3, L);
        EXPECT_TRUE(std::equal(before.begin(), before.end(), FIR[3])) << code;
    }
}

TEST_F(ApplyWindowTest, LengthOrCarrierOutsideTheTableTouchesNothing) {
    Fill(FIR[0]);
    Fill(FIR[1]);
    std::vector<double> before(FIR[0], FIR[0] + FIR_ROW_LENGTH);
    signals[0].window_type = WINDOW_HANNING;
    for (int L : {203, 1000, 0, -3}) ApplyWindow(0, L);
    ApplyWindow(-1, 5);
    ApplyWindow(MAX_CARRIERS, 5);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), FIR[0]));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), FIR[1]));

    ApplyWindow(0, MAX_FILTER_LENGTH);  // the whole row
    EXPECT_EQ(FIR[0][0], 0.0);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), FIR[1]));
}

// ---------------------------------------------------------------------------

TEST(ButterworthLowPass, RefusesBadParametersWithoutWriting) {
    struct Case {
        int n;
        double fs, fc;
        int order, status;
    } cases[] = {
        {0, 50, 5, 4, STATUS_COUNT_BELOW_ONE},    {8, 50, 5, 0, STATUS_ORDER_BELOW_ONE},
        {8, 50, 0, 4, STATUS_NOT_POSITIVE},       {8, 50, -1, 4, STATUS_NOT_POSITIVE},
        {8, 0, 5, 4, STATUS_NOT_POSITIVE},        {8, 50, NAN, 4, STATUS_NOT_POSITIVE},
        {8, 50, 25.000001, 4, STATUS_CUTOFF_ABOVE_HALF_RATE},
        {0, 50, 30, 0, STATUS_COUNT_BELOW_ONE},  // checked in order: the count first
    };
    for (const Case& c : cases) {
        double x[8] = {1, 0, 0, 0, 0, 0, 0, 0}, y[8];
        std::fill(y, y + 8, 9.0);
        EXPECT_EQ(Bw_LPF(x, c.n, c.fs, c.fc, c.order, y), c.status) << c.fc << " " << c.order;
        for (double v : y) EXPECT_EQ(v, 9.0);
    }
    double x[8] = {1, 0, 0, 0, 0, 0, 0, 0}, y[8];
    EXPECT_EQ(Bw_LPF(x, 8, 50, 25, 3, y), 0);  // exactly half the rate is accepted
    for (double v : y) EXPECT_TRUE(std::isfinite(v));
}

TEST(ButterworthLowPass, MatchesTheButterworthMagnitudeForEveryOrder) {
    const int n = 8192;
    const double fs = 50.0, fc = 5.0;
    std::vector<double> impulse(n, 0.0);
    impulse[0] = 1.0;
    auto magnitude = [&](const std::vector<double>& h, double f) {
        std::complex<double> sum = 0;
        for (int j = 0; j < n; ++j) sum += h[j] * std::polar(1.0, -2.0 * pi * f * j / fs);
        return std::abs(sum);
    };
    for (int order = 1; order <= 10; ++order) {
        std::vector<double> h(n);
        ASSERT_EQ(Bw_LPF(impulse.data(), n, fs, fc, order, h.data()), 0);
        EXPECT_NEAR(20.0 * std::log10(magnitude(h, fc)), -3.0103, 1e-4) << order;
        double previous = 2.0;
        for (double f : {0.0, 0.5, 1.5, 2.5, 3.5, 4.5, 5.0, 7.5, 10.0, 20.0}) {
            // The bilinear transform maps the analogue response through tan().
            double ratio = std::tan(pi * f / fs) / std::tan(pi * fc / fs);
            double expected = 1.0 / std::sqrt(1.0 + std::pow(ratio, 2.0 * order));
            double m = magnitude(h, f);
            EXPECT_NEAR(m, expected, 1e-7) << order << " f=" << f;
            EXPECT_LE(m, previous + 1e-12) << order << " f=" << f;
            previous = m;
        }
        std::vector<double> in_place = impulse;
        Bw_LPF(in_place.data(), n, fs, fc, order, in_place.data());
        EXPECT_EQ(in_place, h) << order;
    }
}

// ---------------------------------------------------------------------------

TEST(PowerSpectrum, ConstantAndSinesLandOnTheirBins) {
    const int n = 8192;
    std::vector<double> x(n, 3.0);
    ASSERT_EQ(Spectrum(x.data(), n), 0);
    EXPECT_NEAR(x[0], 9.0, 1e-12);
    for (int k = 1; k < n; ++k) ASSERT_NEAR(x[k], 0.0, 1e-20) << k;

    for (int j = 0; j < n; ++j) x[j] = 2.0 * std::sin(2.0 * pi * 37 * j / n);
    ASSERT_EQ(Spectrum(x.data(), n), 0);
    EXPECT_NEAR(x[37], 1.0, 1e-12);  // A^2/4 on each side
    EXPECT_NEAR(x[n - 37], 1.0, 1e-12);
    for (int k = 0; k < n; ++k)
        if (k != 37 && k != n - 37) {
            ASSERT_NEAR(x[k], 0.0, 1e-20) << k;
        }

    std::vector<double> nyquist(16);
    for (int j = 0; j < 16; ++j) nyquist[j] = (j % 2 ? -2.0 : 2.0);
    ASSERT_EQ(Spectrum(nyquist.data(), 16), 0);
    EXPECT_NEAR(nyquist[8], 4.0, 1e-12);
    EXPECT_NEAR(nyquist[0], 0.0, 1e-20);
}

TEST(PowerSpectrum, MatchesDirectTransformAcrossSizeChanges) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int n : {15, 64, 15, 2, 8192}) {
        std::vector<double> in(n);
        for (double& v : in) v = u(rng);
        std::vector<double> x = in;
        ASSERT_EQ(Spectrum(x.data(), n), 0);
        for (int k = 0; k < n; k += (n > 100 ? 97 : 1)) {
            std::complex<double> X = 0;
            for (int j = 0; j < n; ++j) X += in[j] * std::polar(1.0, -2.0 * pi * j * k / n);
            EXPECT_NEAR(x[k], std::norm(X) / (double(n) * n), 1e-13) << n << " " << k;
        }
    }
}

TEST(PowerSpectrum, DegenerateCounts) {
    double x[1] = {-3.0};
    EXPECT_EQ(Spectrum(x, 0), STATUS_COUNT_BELOW_ONE);
    EXPECT_EQ(x[0], -3.0);
    EXPECT_EQ(Spectrum(x, 1), 0);
    EXPECT_EQ(x[0], 9.0);
}

TEST(Polar, MagnitudeAndPhase) {
    struct Case {
        double x, y, magnitude, phase;
    } cases[] = {{0, 0, 0, 0}, {-1, 0, 1, pi}, {3, -4, 5, std::atan2(-4.0, 3.0)}, {0, 2, 2, pi / 2}};
    for (const Case& c : cases) {
        double m = -1, p = -1;
        EXPECT_EQ(ToPolar(c.x, c.y, &m, &p), 0);
        EXPECT_DOUBLE_EQ(m, c.magnitude);
        EXPECT_DOUBLE_EQ(p, c.phase);
    }
}

// ---------------------------------------------------------------------------
// Every window routine against its textbook coherent gain (the mean of the
// window): a0 for the cosine sums, 1/2 for the triangle, sinh(b) / (b I0(b))
// for Kaiser, 1 - r/2 for a cosine taper over a fraction r, and for the own
// window a 1000-point 3-term Blackman-Harris (mean a0) spread over its edges.
// A code that gains a routine needs a row here.
TEST(WindowProperties, CoherentGainOfEveryRoutine) {
    const int32_t n = 20000;
    const double beta = KAISER_BETA;
    const double i0 = std::cyl_bessel_i(0.0, beta);
    struct Case {
        int32_t code;
        double gain;
    } cases[] = {
        {WINDOW_TRIANGLE, 0.5},
        {WINDOW_HANNING, 0.5},
        {WINDOW_HAMMING, 0.54},
        {WINDOW_BLACKMAN, 0.42},
        {WINDOW_KAISER, std::sinh(beta) / (beta * i0)},
        {WINDOW_BLACKMAN_HARRIS, 0.42323},
        {WINDOW_COSINE_TAPER, 1.0 - 0.2 / 2.0},
        {WINDOW_EXACT_BLACKMAN, 7938.0 / 18608.0},
        {WINDOW_FLAT_TOP, 0.215578948},
        {WINDOW_OWN, (n - 1000 + 1000 * 0.42323) / n},
    };
    int routines = 0;
    for (int32_t code = 0; code < WINDOW_CODES; ++code) {
        WindowRoutine routine = WindowDesign(code);
        if (!routine) continue;
        ++routines;
        const Case* c = nullptr;
        for (const Case& k : cases)
            if (k.code == code) c = &k;
        ASSERT_NE(c, nullptr) << "window code " << code << " has no expected gain";
        std::vector<double> x(n, 1.0);
        ASSERT_EQ(routine(x.data(), n), 0) << code;
        double mean = 0.0;
        for (double v : x) mean += v;
        mean /= n;
        EXPECT_NEAR(mean, c->gain, 2e-4) << "window code " << code;
    }
    EXPECT_EQ(routines, static_cast<int>(std::size(cases)));
    EXPECT_EQ(WindowDesign(-1), nullptr);
    EXPECT_EQ(WindowDesign(WINDOW_CODES), nullptr);
}
