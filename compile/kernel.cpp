#include "compile/kernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <immintrin.h>

#include "shell/uldo.h"   // PI_DOUBLE

// The loops (kernel_body.inc) are compiled three times: for AVX-512, for
// AVX2 with FMA, and for the baseline the build targets. The machine picks
// at the first call. Lane sums run in a fixed order on every path, so a
// sample's value depends neither on the block it falls in nor on the thread.
#pragma GCC diagnostic ignored "-Wpsabi"
#if !defined(__clang__)
// GCC 12 takes the undefined source of its own _mm512_cvttpd_epi32 for uninitialised.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace {

constexpr double kTwoPi = 2.0 * PI_DOUBLE;

typedef float v8f __attribute__((vector_size(32)));

#define ULDO_INLINE inline __attribute__((always_inline))

// Walks the symbol clock of the samples s0 .. s0 + count - 1: per sample the
// symbol index n, the table row j0 and the offset t within it.
struct SymbolClock {
    int64_t N, n, q, rem, qs, rs;
    double inv_n;

    SymbolClock(int64_t numpoints, int64_t symbols, int64_t s0) {
        N = numpoints;
        uint64_t prod = static_cast<uint64_t>(s0) * static_cast<uint64_t>(symbols);
        n = static_cast<int64_t>(prod / static_cast<uint64_t>(N));
        int64_t r = static_cast<int64_t>(prod % static_cast<uint64_t>(N));
        // 50 r = q N + rem, kept exact as r advances by S per sample.
        q = POINTS_PER_SYMBOL * r / N;
        rem = POINTS_PER_SYMBOL * r % N;
        qs = POINTS_PER_SYMBOL * symbols / N;
        rs = POINTS_PER_SYMBOL * symbols % N;
        inv_n = 1.0 / static_cast<double>(N);
    }
    // Row (rounded half down) and offset of the current sample. Written
    // without branches: the conditions flip from sample to sample.
    ULDO_INLINE int Row(float* t) const {
        const int64_t up = 2 * rem > N;
        *t = static_cast<float>(static_cast<double>(rem - up * N) * inv_n);
        return static_cast<int>(q + up);
    }
    ULDO_INLINE void Next() {
        q += qs;
        rem += rs;
        const int64_t carry = rem >= N;
        rem -= carry * N;
        q += carry;
        const int64_t wrap = q >= POINTS_PER_SYMBOL;
        q -= POINTS_PER_SYMBOL * wrap;
        n += wrap;
    }
};

}  // namespace

// --- baseline ---------------------------------------------------------------
namespace {
namespace kernel_base {
#define KW 8
#define KERNEL_FMA(a, b, c) ((a) * (b) + (c))
#define KERNEL_FMA8(a, b, c) ((a) * (b) + (c))
#define KERNEL_FMAS(a, b, c) ((a) * (b) + (c))
#define KERNEL_FMA4(a, b, c) ((a) * (b) + (c))
#define KERNEL_VECTOR_CLOCK 0
#define KERNEL_MAXABS(x, p) _mm_max_ps(_mm_and_ps(x, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))), p)
#define KERNEL_PEAK_TYPE __m128
#define KERNEL_PEAK_LOAD _mm_loadu_ps
#define KERNEL_PEAK_SET _mm_set1_ps
#include "compile/kernel_body.inc"
#undef KW
#undef KERNEL_FMA
#undef KERNEL_FMA8
#undef KERNEL_FMAS
#undef KERNEL_FMA4
#undef KERNEL_VECTOR_CLOCK
#undef KERNEL_MAXABS
#undef KERNEL_PEAK_TYPE
#undef KERNEL_PEAK_LOAD
#undef KERNEL_PEAK_SET
}  // namespace kernel_base
}  // namespace

// --- AVX2 with FMA ------------------------------------------------------------
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif
namespace {
namespace kernel_avx2 {
#define KW 8
#define KERNEL_FMA(a, b, c) _mm256_fmadd_ps(a, b, c)
#define KERNEL_FMA8(a, b, c) _mm256_fmadd_ps(a, b, c)
#define KERNEL_FMAS(a, b, c) _mm_cvtss_f32(_mm_fmadd_ss(_mm_set_ss(a), _mm_set_ss(b), _mm_set_ss(c)))
#define KERNEL_FMA4(a, b, c) _mm_fmadd_ps(a, b, c)
#define KERNEL_VECTOR_CLOCK 1
#define KERNEL_MAXABS(x, p) _mm256_max_ps(_mm256_and_ps(x, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff))), p)
#define KERNEL_PEAK_TYPE __m256
#define KERNEL_PEAK_LOAD _mm256_loadu_ps
#define KERNEL_PEAK_SET _mm256_set1_ps
#include "compile/kernel_body.inc"
#undef KW
#undef KERNEL_FMA
#undef KERNEL_FMA8
#undef KERNEL_FMAS
#undef KERNEL_FMA4
#undef KERNEL_VECTOR_CLOCK
#undef KERNEL_MAXABS
#undef KERNEL_PEAK_TYPE
#undef KERNEL_PEAK_LOAD
#undef KERNEL_PEAK_SET
}  // namespace kernel_avx2
}  // namespace
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// --- AVX-512 ------------------------------------------------------------------
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma,avx512f,avx512vl,avx512dq"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma,avx512f,avx512vl,avx512dq")
#endif
namespace {
namespace kernel_avx512 {
#define KW 16
#define KERNEL_FMA(a, b, c) _mm512_fmadd_ps(a, b, c)
#define KERNEL_FMA8(a, b, c) _mm256_fmadd_ps(a, b, c)
#define KERNEL_FMAS(a, b, c) _mm_cvtss_f32(_mm_fmadd_ss(_mm_set_ss(a), _mm_set_ss(b), _mm_set_ss(c)))
#define KERNEL_FMA4(a, b, c) _mm_fmadd_ps(a, b, c)
#define KERNEL_VECTOR_CLOCK 2
#define KERNEL_MAXABS(x, p) _mm512_max_ps(_mm512_and_ps(x, _mm512_castsi512_ps(_mm512_set1_epi32(0x7fffffff))), p)
#define KERNEL_PEAK_TYPE __m512
#define KERNEL_PEAK_LOAD _mm512_loadu_ps
#define KERNEL_PEAK_SET _mm512_set1_ps
#include "compile/kernel_body.inc"
#undef KW
#undef KERNEL_FMA
#undef KERNEL_FMA8
#undef KERNEL_FMAS
#undef KERNEL_FMA4
#undef KERNEL_VECTOR_CLOCK
#undef KERNEL_MAXABS
#undef KERNEL_PEAK_TYPE
#undef KERNEL_PEAK_LOAD
#undef KERNEL_PEAK_SET
}  // namespace kernel_avx512
}  // namespace
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace {

typedef void (*ShapeFn)(const ShapeRun&, float*, float*);
typedef void (*RotatorFn)(int64_t, int64_t, double, double, int64_t, int, float*, float*);
typedef void (*MixFn)(float, const float*, const float*, const float*, const float*, int, float*, float*, float*, int);
typedef float (*PeakFn)(const float*, int, float);
typedef void (*PhaseFn)(const ShapeRun&, const float*, int64_t, float*);
typedef void (*RotateMixFn)(int64_t, int64_t, double, double, int64_t, int, float, const float*, const float*, float*,
                            float*, float*, int);
typedef void (*CaptureFn)(const float*, const float*, const float*, const float*, int, float*, float*);

struct Paths {
    ShapeFn iq_one, iq_two, i_only;
    RotatorFn rotator;
    MixFn mix;
    PhaseFn phase;
    PeakFn peak;
    CaptureFn capture;
    RotateMixFn rotate_mix;
};

#define ULDO_PATHS(ns) \
    {ns::ShapeIQOne, ns::ShapeIQTwo, ns::ShapeIOnly, ns::Rotator, ns::Mix, ns::BuildPhase, ns::Peak, ns::Capture, ns::RotateMix}
const Paths paths[3] = {ULDO_PATHS(kernel_base), ULDO_PATHS(kernel_avx2), ULDO_PATHS(kernel_avx512)};
int path_limit = KERNEL_AVX512;

int BestPath() {
    static const int best = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
            __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("fma"))
            return static_cast<int>(KERNEL_AVX512);
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return static_cast<int>(KERNEL_AVX2);
        return static_cast<int>(KERNEL_BASELINE);
    }();
    return best;
}

const Paths& ChosenPaths() { return paths[KernelPathInUse()]; }

}  // namespace

void BuildShapeTable(const double* pulse, int entries, int first_entry, int taps, int lanes,
                     const float* weight, float* table) {
    auto at = [&](long j) { return j >= 0 && j < entries ? pulse[j] : 0.0; };
    for (int j0 = 0; j0 < SHAPE_ROWS; ++j0) {
        float* c2 = table + static_cast<long>(j0) * 3 * lanes;
        float* c1 = c2 + lanes;
        float* c0 = c1 + lanes;
        for (int k = 0; k < lanes; ++k) {
            if (k >= taps) {
                c2[k] = c1[k] = c0[k] = 0.0f;
                continue;
            }
            long j = static_cast<long>(first_entry) - static_cast<long>(POINTS_PER_SYMBOL) * k + j0;
            double fm = at(j - 1), f0 = at(j), fp = at(j + 1);
            double w = weight ? weight[k] : 1.0;
            c2[k] = static_cast<float>(((fp + fm) / 2.0 - f0) * w);
            c1[k] = static_cast<float>((fp - fm) / 2.0 * w);
            c0[k] = static_cast<float>(f0 * w);
        }
    }
}

void BuildShapeRows(const float* table, int taps, int lanes, float* rows) {
    constexpr int P = SHAPE_ROWS_PADDED;
    for (int k = 0; k < taps; ++k)
        for (int c = 0; c < 3; ++c)
            for (int j0 = 0; j0 < P; ++j0)
                rows[(static_cast<long>(k) * 3 + c) * P + j0] =
                    j0 < SHAPE_ROWS ? table[(static_cast<long>(j0) * 3 + c) * lanes + k] : 0.0f;
}

void BuildShapeTableFm(const double* pulse, int entries, int first_entry, int taps, int lanes, double* table) {
    auto at = [&](long j) { return j >= 0 && j < entries ? pulse[j] : 0.0; };
    for (int j0 = 0; j0 < SHAPE_ROWS; ++j0) {
        double* c2 = table + static_cast<long>(j0) * 3 * lanes;
        double* c1 = c2 + lanes;
        double* c0 = c1 + lanes;
        for (int k = 0; k < lanes; ++k) {
            long j = static_cast<long>(first_entry) - static_cast<long>(POINTS_PER_SYMBOL) * k + j0;
            double fm = k < taps ? at(j - 1) : 0.0, f0 = k < taps ? at(j) : 0.0, fp = k < taps ? at(j + 1) : 0.0;
            c2[k] = (fp + fm) / 2.0 - f0;
            c1[k] = (fp - fm) / 2.0;
            c0[k] = f0;
        }
    }
}

void ShapeFm(const ShapeRun& run, const double* table, double* out) {
    SymbolClock clock(run.numpoints, run.symbols, run.s0);
    const int lanes = run.lanes;
    const long row = 3L * lanes;
    for (int m = 0; m < run.count; ++m) {
        const int64_t up = 2 * clock.rem > clock.N;
        const double t = static_cast<double>(clock.rem - up * clock.N) / static_cast<double>(clock.N);
        const double* c2 = table + (clock.q + up) * row;
        const double* c1 = c2 + lanes;
        const double* c0 = c1 + lanes;
        const float* x = run.sym_i + (clock.n - run.first);
        // Four partial sums in a fixed order.
        double a[4] = {0.0, 0.0, 0.0, 0.0};
        for (int k = 0; k < lanes; k += 4) {
            for (int l = 0; l < 4; ++l) {
                const double h = (c2[k + l] * t + c1[k + l]) * t + c0[k + l];
                a[l] += static_cast<double>(x[k + l]) * h;
            }
        }
        out[m] = (a[0] + a[1]) + (a[2] + a[3]);
        clock.Next();
    }
}

int64_t PhasePeriod(int64_t numpoints, int64_t symbols) {
    int64_t a = numpoints, b = symbols;
    while (b != 0) {
        const int64_t r = a % b;
        a = b;
        b = r;
    }
    return a > 0 ? numpoints / a : 0;
}

void BuildClockTable(int64_t numpoints, int64_t symbols, int64_t period, int32_t* n, int32_t* row, float* t) {
    SymbolClock clock(numpoints, symbols, 0);
    for (int64_t p = 0; p < period; ++p) {
        n[p] = static_cast<int32_t>(clock.n);
        row[p] = clock.Row(&t[p]);
        clock.Next();
    }
}

void CaptureTaps(const float* xi, const float* xq, const float* ti, const float* tq, int lanes, float* ci, float* cq) {
    ChosenPaths().capture(xi, xq, ti, tq, lanes, ci, cq);
}

void BuildPhaseTable(const ShapeRun& run, const float* table, int64_t period, float* phase_table) {
    ChosenPaths().phase(run, table, period, phase_table);
}

void ShapeIQ(const ShapeRun& run, float* out_i, float* out_q) {
    const Paths& p = ChosenPaths();
    (run.table_q == run.table_i ? p.iq_one : p.iq_two)(run, out_i, out_q);
}

void ShapeI(const ShapeRun& run, float* out_i) { ChosenPaths().i_only(run, out_i, nullptr); }

void CarrierRotator(int64_t cycles_mod_n, int64_t numpoints, double phase0, double ramp,
                    int64_t s0, int count, float* out_cos, float* out_sin) {
    ChosenPaths().rotator(cycles_mod_n, numpoints, phase0, ramp, s0, count, out_cos, out_sin);
}

void MixCarrier(float amplitude, const float* i, const float* q, const float* cos_theta, const float* sin_theta,
                int count, float* composite, float* baseband_i, float* baseband_q, int start) {
    ChosenPaths().mix(amplitude, i, q, cos_theta, sin_theta, count, composite, baseband_i, baseband_q, start);
}

void RotateAndMix(int64_t cycles_mod_n, int64_t numpoints, double phase0, double ramp, int64_t s0, int count,
                  float amplitude, const float* i, const float* q, float* composite, float* baseband_i,
                  float* baseband_q, int start) {
    ChosenPaths().rotate_mix(cycles_mod_n, numpoints, phase0, ramp, s0, count, amplitude, i, q, composite, baseband_i,
                             baseband_q, start);
}

float PeakMagnitude(const float* x, int count, float peak) { return ChosenPaths().peak(x, count, peak); }

double CarrierPhase(int64_t cycles_mod_n, int64_t numpoints, double phase0, double ramp, int64_t s) {
    uint64_t r = static_cast<uint64_t>(cycles_mod_n) * static_cast<uint64_t>(s) %
                 static_cast<uint64_t>(numpoints);
    return kTwoPi * (static_cast<double>(r) / static_cast<double>(numpoints)) + phase0 +
           ramp * (static_cast<double>(s) / static_cast<double>(numpoints));
}

int KernelBestPath() { return BestPath(); }

int KernelPathInUse() { return std::min(BestPath(), path_limit); }

void UseKernelPath(int path) { path_limit = path < 0 ? KERNEL_AVX512 : std::min(path, static_cast<int>(KERNEL_AVX512)); }
