// Windows for the pulse tables and the numerical routines the signal work rests
// on: a Butterworth low-pass, a two-sided power spectrum and a polar conversion.
//
// The window routines work in place on x[0 .. n-1]. Their weights follow
// w[n - i] = w[i] (symmetric about n/2, the DFT-even form), so each weight is
// computed once and applied to the mirrored pair.
#pragma once

#include <cstdint>

// Status codes of the routines below; 0 is success.
constexpr int STATUS_OUT_OF_MEMORY = -20001;
constexpr int STATUS_COUNT_BELOW_ONE = -20003;
constexpr int STATUS_CUTOFF_ABOVE_HALF_RATE = -20020;
constexpr int STATUS_ORDER_BELOW_ONE = -20021;
constexpr int STATUS_NOT_POSITIVE = -20023;

// Beta of the Kaiser window that window code 6 applies.
constexpr double KAISER_BETA = 4.0;

// The routine of each window code, indexed by code (names: CodeName of
// CODE_WINDOW). nullptr for the codes that apply no window (0, 2, 10, 12, 13).
constexpr int WINDOW_CODES = 15;
typedef int (*WindowRoutine)(double* x, int32_t n);
extern const WindowRoutine window_designs[WINDOW_CODES];  // constant
// The routine of a code, nullptr for none or a code outside 0..14.
WindowRoutine WindowDesign(int32_t window_type);

// Blackman-Harris edge taper: the rising half of a 1000-point window on the
// first 500 entries, the falling half on the last 500. On tables shorter than
// 1000 the tapers overlap; below 500 they are clipped to the table.
void MyWindow(double* x, int32_t n);
int OwnWin(double* x, int32_t n);  // MyWindow, as a window routine

int TriWin(double* x, int32_t n);
int HanWin(double* x, int32_t n);
int HamWin(double* x, int32_t n);
int BkmanWin(double* x, int32_t n);
int KsrWin(double* x, int32_t n, double beta);
int KaiserWin(double* x, int32_t n);  // KsrWin with KAISER_BETA
int BlkHarrisWin(double* x, int32_t n);
// Tapers the first and last n/10 entries with sin^2; symmetric about (n-1)/2.
int CosTaperedWin(double* x, int32_t n);
int ExBkmanWin(double* x, int32_t n);
int FlatTopWin(double* x, int32_t n);

// Butterworth low-pass of the given order by the bilinear transform, cut-off fc
// at sample rate fs, zero initial state. y may be x. A refused call (status
// below 0) writes nothing.
int Bw_LPF(const double* x, int32_t n, double fs, double fc, int32_t order, double* y);

// Two-sided power spectrum in place: x[k] = |X_k|^2 / n^2 for k = 0 .. n-1.
int Spectrum(double* x, int32_t n);

// Magnitude and phase (radians, -pi .. pi) of x + iy; (0, 0) gives 0 and 0.
int ToPolar(double x, double y, double* magnitude, double* phase);
