#include "compile/kernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// The loops are written once on GCC vector types and compiled twice: for
// AVX2 with FMA, and for the baseline the build targets. The machine picks
// at the first call.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

typedef float v8f __attribute__((vector_size(32)));

#define ULDO_INLINE inline __attribute__((always_inline))

ULDO_INLINE v8f Load8(const float* p) {
    v8f v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

typedef int v8i __attribute__((vector_size(32)));

// Lane sum in a fixed order, the same as Sum8x8's, so that a sample's value
// does not depend on where in a group it was computed.
ULDO_INLINE float Sum8(v8f v) {
    return ((v[0] + v[1]) + (v[2] + v[3])) + ((v[4] + v[5]) + (v[6] + v[7]));
}

// The lane sums of eight vectors at once: lane u of the result is Sum8(v[u]).
ULDO_INLINE v8f Sum8x8(const v8f* v) {
    const v8i even = {0, 8, 2, 10, 4, 12, 6, 14}, odd = {1, 9, 3, 11, 5, 13, 7, 15};
    v8f u[4];
    for (int k = 0; k < 4; ++k)
        u[k] = __builtin_shuffle(v[2 * k], v[2 * k + 1], even) + __builtin_shuffle(v[2 * k], v[2 * k + 1], odd);
    const v8i lo = {0, 1, 8, 9, 4, 5, 12, 13}, hi = {2, 3, 10, 11, 6, 7, 14, 15};
    v8f w0 = __builtin_shuffle(u[0], u[1], lo) + __builtin_shuffle(u[0], u[1], hi);
    v8f w1 = __builtin_shuffle(u[2], u[3], lo) + __builtin_shuffle(u[2], u[3], hi);
    const v8i first = {0, 1, 2, 3, 8, 9, 10, 11}, second = {4, 5, 6, 7, 12, 13, 14, 15};
    return __builtin_shuffle(w0, w1, first) + __builtin_shuffle(w0, w1, second);
}

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
        q = 50 * r / N;
        rem = 50 * r % N;
        qs = 50 * symbols / N;
        rs = 50 * symbols % N;
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
        const int64_t wrap = q >= 50;
        q -= 50 * wrap;
        n += wrap;
    }
};

// The accumulators of one sample: lanes of sum_k x[n + k] h(k). kVectors is
// lanes / 8 when known at compile time (short pulses unroll fully), else 0.
template <bool kQ, bool kTwoTables, int kVectors>
ULDO_INLINE void Taps(const ShapeRun& run, const SymbolClock& clock, v8f* acc_i, v8f* acc_q) {
    const int lanes = kVectors ? kVectors * KERNEL_LANES : run.lanes;
    const long row = 3L * lanes;
    float t;
    int j0 = clock.Row(&t);
    const float* a = run.table_i + j0 * row;
    const float* b = kTwoTables ? run.table_q + j0 * row : a;
    const float* xi = run.sym_i + (clock.n - run.first);
    const float* xq = run.sym_q + (clock.n - run.first);
    const v8f tv = v8f{} + t;
    v8f ai0{}, ai1{}, aq0{}, aq1{};
    int k = 0;
    // Two accumulator pairs keep the FMA chains short on long pulses.
    for (; k + 2 * KERNEL_LANES <= lanes; k += 2 * KERNEL_LANES) {
        v8f h0 = (Load8(a + k) * tv + Load8(a + lanes + k)) * tv + Load8(a + 2 * lanes + k);
        v8f h1 = (Load8(a + k + 8) * tv + Load8(a + lanes + k + 8)) * tv + Load8(a + 2 * lanes + k + 8);
        ai0 += Load8(xi + k) * h0;
        ai1 += Load8(xi + k + 8) * h1;
        if (kQ) {
            if (kTwoTables) {
                h0 = (Load8(b + k) * tv + Load8(b + lanes + k)) * tv + Load8(b + 2 * lanes + k);
                h1 = (Load8(b + k + 8) * tv + Load8(b + lanes + k + 8)) * tv + Load8(b + 2 * lanes + k + 8);
            }
            aq0 += Load8(xq + k) * h0;
            aq1 += Load8(xq + k + 8) * h1;
        }
    }
    if (k < lanes) {
        v8f h0 = (Load8(a + k) * tv + Load8(a + lanes + k)) * tv + Load8(a + 2 * lanes + k);
        ai0 += Load8(xi + k) * h0;
        if (kQ) {
            if (kTwoTables) h0 = (Load8(b + k) * tv + Load8(b + lanes + k)) * tv + Load8(b + 2 * lanes + k);
            aq0 += Load8(xq + k) * h0;
        }
    }
    *acc_i = ai0 + ai1;
    if (kQ) *acc_q = aq0 + aq1;
}

template <bool kQ, bool kTwoTables, int kVectors>
ULDO_INLINE void ShapeLoop(const ShapeRun& run, float* out_i, float* out_q) {
    SymbolClock clock(run.numpoints, run.symbols, run.s0);
    int m = 0;
    // Eight samples share one transposing lane sum.
    for (; m + 8 <= run.count; m += 8) {
        v8f ai[8], aq[8];
        for (int u = 0; u < 8; ++u) {
            Taps<kQ, kTwoTables, kVectors>(run, clock, &ai[u], &aq[u]);
            clock.Next();
        }
        v8f si = Sum8x8(ai);
        std::memcpy(out_i + m, &si, sizeof si);
        if (kQ) {
            v8f sq = Sum8x8(aq);
            std::memcpy(out_q + m, &sq, sizeof sq);
        }
    }
    for (; m < run.count; ++m) {
        v8f ai, aq;
        Taps<kQ, kTwoTables, kVectors>(run, clock, &ai, &aq);
        out_i[m] = Sum8(ai);
        if (kQ) out_q[m] = Sum8(aq);
        clock.Next();
    }
}

template <bool kQ, bool kTwoTables>
ULDO_INLINE void ShapeBody(const ShapeRun& run, float* out_i, float* out_q) {
    switch (run.lanes / KERNEL_LANES) {
        case 1: ShapeLoop<kQ, kTwoTables, 1>(run, out_i, out_q); break;
        case 2: ShapeLoop<kQ, kTwoTables, 2>(run, out_i, out_q); break;
        case 3: ShapeLoop<kQ, kTwoTables, 3>(run, out_i, out_q); break;
        case 4: ShapeLoop<kQ, kTwoTables, 4>(run, out_i, out_q); break;
        case 5: ShapeLoop<kQ, kTwoTables, 5>(run, out_i, out_q); break;
        default: ShapeLoop<kQ, kTwoTables, 0>(run, out_i, out_q); break;
    }
}

ULDO_INLINE void RotatorBody(int64_t cycles, int64_t numpoints, double phase0, double ramp,
                             int64_t s0, int count, float* out_cos, float* out_sin) {
    const double step = kTwoPi * (static_cast<double>(cycles) / static_cast<double>(numpoints)) +
                        ramp / static_cast<double>(numpoints);
    const double wc = std::cos(8.0 * step), ws = std::sin(8.0 * step);
    const int64_t end = s0 + count;
    int64_t s = s0;
    while (s < end) {
        const int64_t anchor = s - s % ROTATOR_ANCHOR;
        const int64_t stop = std::min(end, anchor + ROTATOR_ANCHOR);
        double zr[8], zi[8];
        for (int l = 0; l < 8; ++l) {
            double ph = CarrierPhase(cycles, numpoints, phase0, ramp, anchor + l);
            zr[l] = std::cos(ph);
            zi[l] = std::sin(ph);
        }
        for (int64_t b = anchor; b < stop; b += 8) {
            if (b >= s && b + 8 <= stop) {
                float* c = out_cos + (b - s0);
                float* d = out_sin + (b - s0);
                for (int l = 0; l < 8; ++l) {
                    c[l] = static_cast<float>(zr[l]);
                    d[l] = static_cast<float>(zi[l]);
                }
            } else {
                for (int l = 0; l < 8; ++l) {
                    int64_t x = b + l;
                    if (x >= s && x < stop) {
                        out_cos[x - s0] = static_cast<float>(zr[l]);
                        out_sin[x - s0] = static_cast<float>(zi[l]);
                    }
                }
            }
            for (int l = 0; l < 8; ++l) {
                double nr = zr[l] * wc - zi[l] * ws;
                double ni = zr[l] * ws + zi[l] * wc;
                zr[l] = nr;
                zi[l] = ni;
            }
        }
        s = stop;
    }
}

__attribute__((target("avx2,fma"))) void ShapeIQOneAvx2(const ShapeRun& r, float* i, float* q) {
    ShapeBody<true, false>(r, i, q);
}
__attribute__((target("avx2,fma"))) void ShapeIQTwoAvx2(const ShapeRun& r, float* i, float* q) {
    ShapeBody<true, true>(r, i, q);
}
__attribute__((target("avx2,fma"))) void ShapeIAvx2(const ShapeRun& r, float* i, float* q) {
    ShapeBody<false, false>(r, i, q);
}
__attribute__((target("avx2,fma"))) void RotatorAvx2(int64_t f, int64_t n, double p, double ramp,
                                                     int64_t s0, int count, float* c, float* s) {
    RotatorBody(f, n, p, ramp, s0, count, c, s);
}

void ShapeIQOneBase(const ShapeRun& r, float* i, float* q) { ShapeBody<true, false>(r, i, q); }
void ShapeIQTwoBase(const ShapeRun& r, float* i, float* q) { ShapeBody<true, true>(r, i, q); }
void ShapeIBase(const ShapeRun& r, float* i, float* q) { ShapeBody<false, false>(r, i, q); }
void RotatorBase(int64_t f, int64_t n, double p, double ramp, int64_t s0, int count, float* c,
                 float* s) {
    RotatorBody(f, n, p, ramp, s0, count, c, s);
}

typedef void (*ShapeFn)(const ShapeRun&, float*, float*);
typedef void (*RotatorFn)(int64_t, int64_t, double, double, int64_t, int, float*, float*);

struct Paths {
    int avx2;
    ShapeFn iq_one, iq_two, i_only;
    RotatorFn rotator;
};

const Paths avx2_paths{1, ShapeIQOneAvx2, ShapeIQTwoAvx2, ShapeIAvx2, RotatorAvx2};
const Paths base_paths{0, ShapeIQOneBase, ShapeIQTwoBase, ShapeIBase, RotatorBase};
int avx2_allowed = 1;

const Paths& ChosenPaths() {
    static const int has_avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? 1 : 0;
    }();
    return has_avx2 && avx2_allowed ? avx2_paths : base_paths;
}

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
            long j = static_cast<long>(first_entry) - 50L * k + j0;
            double fm = at(j - 1), f0 = at(j), fp = at(j + 1);
            double w = weight ? weight[k] : 1.0;
            c2[k] = static_cast<float>(((fp + fm) / 2.0 - f0) * w);
            c1[k] = static_cast<float>((fp - fm) / 2.0 * w);
            c0[k] = static_cast<float>(f0 * w);
        }
    }
}

void BuildShapeTableFm(const double* pulse, int entries, int first_entry, int taps, int lanes, double* table) {
    auto at = [&](long j) { return j >= 0 && j < entries ? pulse[j] : 0.0; };
    for (int j0 = 0; j0 < SHAPE_ROWS; ++j0) {
        double* c2 = table + static_cast<long>(j0) * 3 * lanes;
        double* c1 = c2 + lanes;
        double* c0 = c1 + lanes;
        for (int k = 0; k < lanes; ++k) {
            long j = static_cast<long>(first_entry) - 50L * k + j0;
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

void ShapeIQ(const ShapeRun& run, float* out_i, float* out_q) {
    const Paths& p = ChosenPaths();
    (run.table_q == run.table_i ? p.iq_one : p.iq_two)(run, out_i, out_q);
}

void ShapeI(const ShapeRun& run, float* out_i) { ChosenPaths().i_only(run, out_i, nullptr); }

void CarrierRotator(int64_t cycles_mod_n, int64_t numpoints, double phase0, double ramp,
                    int64_t s0, int count, float* out_cos, float* out_sin) {
    ChosenPaths().rotator(cycles_mod_n, numpoints, phase0, ramp, s0, count, out_cos, out_sin);
}

double CarrierPhase(int64_t cycles_mod_n, int64_t numpoints, double phase0, double ramp, int64_t s) {
    uint64_t r = static_cast<uint64_t>(cycles_mod_n) * static_cast<uint64_t>(s) %
                 static_cast<uint64_t>(numpoints);
    return kTwoPi * (static_cast<double>(r) / static_cast<double>(numpoints)) + phase0 +
           ramp * (static_cast<double>(s) / static_cast<double>(numpoints));
}

int KernelUsesAvx2() { return ChosenPaths().avx2; }

void UseKernelAvx2(int allowed) { avx2_allowed = allowed ? 1 : 0; }
