#include "shaping/windows.h"

#include <fftw3.h>

#include <cmath>
#include <cstring>

#include "shell/uldo.h"

namespace {

constexpr double pi = PI_DOUBLE;

// Applies w0 to x[0] and weight(i) to the pair x[i], x[n - i]; for even n the
// middle entry n/2 keeps weight 1.
template <class Weight>
int SymmetricWindow(double* x, int32_t n, double w0, Weight weight) {
    if (n < 1) return STATUS_COUNT_BELOW_ONE;
    x[0] *= w0;
    for (int32_t i = 1; i <= (n - 1) / 2; ++i) {
        double w = weight(i);
        x[i] *= w;
        x[n - i] *= w;
    }
    return 0;
}

// a0 - a1 cos(theta) + a2 cos(2 theta), the Blackman family; w0 is the weight
// of index 0.
int CosineSumWindow(double* x, int32_t n, double a0, double a1, double a2, double w0) {
    return SymmetricWindow(x, n, w0, [=](int32_t i) {
        double c = std::cos(2.0 * pi * i / n);
        return a0 - a1 * c + a2 * (2.0 * c * c - 1.0);
    });
}

// Modified Bessel function of the first kind, order 0, by its power series.
double BesselI0(double x) {
    double q = x * x / 4.0;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 1000; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

}  // namespace

int TriWin(double* x, int32_t n) {
    int32_t h = n / 2;
    // i never exceeds h here, so the rising side is the only one computed.
    return SymmetricWindow(x, n, 0.0, [=](int32_t i) { return static_cast<double>(i) / h; });
}

int HanWin(double* x, int32_t n) {
    return SymmetricWindow(x, n, 0.0, [=](int32_t i) {
        double s = std::sin(pi * i / n);
        return s * s;
    });
}

int HamWin(double* x, int32_t n) {
    return SymmetricWindow(x, n, 0.08,
                           [=](int32_t i) { return 0.54 - 0.46 * std::cos(2.0 * pi * i / n); });
}

// Index 0 gets the sum at theta = 0 as rounded, a tiny negative number rather than 0.
int BkmanWin(double* x, int32_t n) { return CosineSumWindow(x, n, 0.42, 0.5, 0.08, 0.42 - 0.5 + 0.08); }

// Index 0 gets 0.0049 itself; the rounded sum of the coefficients lies a few ulps above.
int BlkHarrisWin(double* x, int32_t n) {
    return CosineSumWindow(x, n, 0.42323, 0.49755, 0.07922, 0.0049);
}

int ExBkmanWin(double* x, int32_t n) {
    const double a0 = 7938.0 / 18608.0, a1 = 9240.0 / 18608.0, a2 = 1430.0 / 18608.0;
    return CosineSumWindow(x, n, a0, a1, a2, a0 - a1 + a2);
}

int FlatTopWin(double* x, int32_t n) {
    auto weight = [](double c1) {
        double c2 = 2.0 * c1 * c1 - 1.0;
        double c3 = 2.0 * c1 * c2 - c1;
        double c4 = 2.0 * c1 * c3 - c2;
        return 0.215578948 - 0.41663158 * c1 + 0.277263158 * c2 - 0.083578947 * c3 +
               0.006947368 * c4;
    };
    return SymmetricWindow(x, n, weight(1.0),
                           [=](int32_t i) { return weight(std::cos(2.0 * pi * i / n)); });
}

int KsrWin(double* x, int32_t n, double beta) {
    double norm = BesselI0(beta);
    return SymmetricWindow(x, n, 1.0 / norm, [=](int32_t i) {
        double r = 1.0 - 2.0 * i / n;
        double arg = 1.0 - r * r;
        return BesselI0(beta * std::sqrt(arg > 0.0 ? arg : 0.0)) / norm;
    });
}

int CosTaperedWin(double* x, int32_t n) {
    int32_t m = n / 10;
    if (m < 1) return 0;
    x[0] = 0.0;
    x[n - 1] = 0.0;
    for (int32_t i = 1; i < m; ++i) {
        double s = std::sin(pi * i / (2.0 * m));
        x[i] *= s * s;
        x[n - 1 - i] *= s * s;
    }
    return 0;
}

void MyWindow(double* x, int32_t n) {
    if (n < 1) return;
    double b[1000];
    for (double& v : b) v = 1.0;
    BlkHarrisWin(b, 1000);
    // Short tables: the tapers overlap, and whatever would fall outside is dropped.
    for (int32_t i = 0; i < 500 && i < n; ++i) x[i] *= b[i];
    for (int32_t i = 0; i < 500; ++i) {
        int32_t j = n - 500 + i;
        if (j >= 0) x[j] *= b[500 + i];
    }
}

int KaiserWin(double* x, int32_t n) { return KsrWin(x, n, KAISER_BETA); }

int OwnWin(double* x, int32_t n) {
    MyWindow(x, n);
    return 0;
}

const WindowRoutine window_designs[WINDOW_CODES] = {
    nullptr,       TriWin,        nullptr,       HanWin,        HamWin,
    BkmanWin,      KaiserWin,     BlkHarrisWin,  CosTaperedWin, ExBkmanWin,
    nullptr,       FlatTopWin,    nullptr,       nullptr,       OwnWin,
};

WindowRoutine WindowDesign(int32_t window_type) {
    return window_type >= 0 && window_type < WINDOW_CODES ? window_designs[window_type] : nullptr;
}

int Bw_LPF(const double* x, int32_t n, double fs, double fc, int32_t order, double* y) {
    if (n < 1) return STATUS_COUNT_BELOW_ONE;
    if (order < 1) return STATUS_ORDER_BELOW_ONE;
    // Written as !(v > 0) so that a NaN is refused too.
    if (!(fc > 0.0)) return STATUS_NOT_POSITIVE;
    if (!(fs > 0.0)) return STATUS_NOT_POSITIVE;
    if (fc > fs / 2.0) return STATUS_CUTOFF_ABOVE_HALF_RATE;
    if (y != x) std::memmove(y, x, sizeof(double) * static_cast<size_t>(n));

    double omega = std::tan(pi * fc / fs);
    if (order % 2 == 1) {
        double a = (1.0 - omega) / (1.0 + omega);
        double b = omega / (1.0 + omega);
        double u1 = 0.0, y1 = 0.0;
        for (int32_t i = 0; i < n; ++i) {
            double u = y[i];
            double out = b * (u + u1) + a * y1;
            u1 = u;
            y1 = out;
            y[i] = out;
        }
    }
    double omega2 = omega * omega;
    for (int32_t k = 1; k <= order / 2; ++k) {
        double c = std::cos(pi / 2.0 + (2.0 * k - 1.0) * pi / (2.0 * order));
        double d = 1.0 + omega2 - 2.0 * omega * c;
        double b = omega2 / d;
        double a1 = (2.0 - 2.0 * omega2) / d;
        double a2 = -(1.0 + omega2 + 2.0 * omega * c) / d;
        double u1 = 0.0, u2 = 0.0, y1 = 0.0, y2 = 0.0;
        for (int32_t i = 0; i < n; ++i) {
            double u = y[i];
            double out = b * (u + 2.0 * u1 + u2) + a1 * y1 + a2 * y2;
            u2 = u1;
            u1 = u;
            y2 = y1;
            y1 = out;
            y[i] = out;
        }
    }
    return 0;
}

namespace {
// The transform's plan is made once per size and kept: planning costs far more
// than the transform, and the preview always asks for the same size.
fftw_plan spectrum_plan = nullptr;
double* spectrum_work = nullptr;  // n reals in, n/2 + 1 complex out, in place
int32_t spectrum_size = 0;
}  // namespace

int Spectrum(double* x, int32_t n) {
    if (n < 1) return STATUS_COUNT_BELOW_ONE;
    if (n == 1) {
        x[0] = x[0] * x[0];
        return 0;
    }
    if (n != spectrum_size) {
        if (spectrum_plan) fftw_destroy_plan(spectrum_plan);
        if (spectrum_work) fftw_free(spectrum_work);
        spectrum_plan = nullptr;
        spectrum_size = 0;
        spectrum_work = fftw_alloc_real(2 * (static_cast<size_t>(n) / 2 + 1));
        if (!spectrum_work) return STATUS_OUT_OF_MEMORY;
        spectrum_plan = fftw_plan_dft_r2c_1d(n, spectrum_work,
                                             reinterpret_cast<fftw_complex*>(spectrum_work),
                                             FFTW_ESTIMATE);
        if (!spectrum_plan) {
            fftw_free(spectrum_work);
            spectrum_work = nullptr;
            return STATUS_OUT_OF_MEMORY;
        }
        spectrum_size = n;
    }
    std::memcpy(spectrum_work, x, sizeof(double) * static_cast<size_t>(n));
    fftw_execute(spectrum_plan);
    const double* X = spectrum_work;  // interleaved re, im
    double scale = 1.0 / (static_cast<double>(n) * n);
    x[0] = X[0] * X[0] * scale;
    for (int32_t k = 1; k <= n / 2; ++k) {
        double re = X[2 * k], im = X[2 * k + 1];
        double p = (re * re + im * im) * scale;
        x[k] = p;
        x[n - k] = p;
    }
    return 0;
}

int ToPolar(double x, double y, double* magnitude, double* phase) {
    if (x == 0.0 && y == 0.0) {
        *magnitude = 0.0;
        *phase = 0.0;
        return 0;
    }
    *magnitude = std::sqrt(x * x + y * y);
    *phase = std::atan2(y, x);
    return 0;
}
