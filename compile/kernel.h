// The inner loops of the compile engine: pulse shaping of a run of samples
// from a carrier's symbol sequence, and the carrier rotator.
//
// Shaping. Sample s of a carrier with S symbols in N samples sits at symbol
// n = (s S) div N, fraction r / N with r = (s S) mod N. Every tap of the
// pulse is read at the same offset 50 r / N from its table point, so the
// offset is split once per sample into the table row j0 (0 .. 50, rounded
// half down) and t in [-0.5, 0.5], and each tap costs the quadratic
// (c2 t + c1) t + c0 with coefficients tabulated per row.
#pragma once

#include <cstdint>

#include "shaping/filters.h"   // POINTS_PER_SYMBOL

constexpr int KERNEL_LANES = 8;   // taps are padded to a multiple of this
constexpr int SHAPE_ROWS = POINTS_PER_SYMBOL + 1;    // j0 = 0 .. 50
// Pulse entries of half a symbol: the offset of the lagging Q of OQPSK.
constexpr int SHAPE_HALF_SYMBOL = POINTS_PER_SYMBOL / 2;

inline int KernelLanes(int taps) { return (taps + KERNEL_LANES - 1) / KERNEL_LANES * KERNEL_LANES; }

// Coefficient table of one pulse: SHAPE_ROWS rows of three lines (c2, c1, c0)
// of `lanes` taps each, SHAPE_ROWS * 3 * lanes floats. Tap k of row j0 is the
// interpolation around pulse entry first_entry - 50 k + j0 of the `entries`
// values of pulse (entries outside read 0), scaled by weight[k] when weight
// is given. Taps from `taps` to `lanes` are 0.
void BuildShapeTable(const double* pulse, int entries, int first_entry, int taps, int lanes,
                     const float* weight, float* table);

// The symbol position of a sample, s S = n N + r (n the symbol, r / N the
// fraction within it), walked sample by sample in exact integers. The
// kernel's SymbolClock walks the table row instead; this is the engine's walk.
struct SymbolWalk {
    int64_t n, r, S, N;
    SymbolWalk(int64_t numpoints, int64_t symbols, int64_t s) : S(symbols), N(numpoints) {
        const uint64_t prod = static_cast<uint64_t>(s) * static_cast<uint64_t>(symbols);
        n = static_cast<int64_t>(prod / static_cast<uint64_t>(numpoints));
        r = static_cast<int64_t>(prod % static_cast<uint64_t>(numpoints));
    }
    // The next sample.
    void Next() {
        r += S;
        if (r >= N) {
            r -= N;
            ++n;
        }
    }
    // `samples` (>= 0) samples on.
    void Skip(int64_t samples) {
        r += samples * S;
        if (r >= 4 * N) {
            n += r / N;
            r %= N;
        }
        while (r >= N) {
            r -= N;
            ++n;
        }
    }
};

struct ShapeRun {
    const float* table_i;   // coefficient table of the I channel
    const float* table_q;   // of the Q channel (may be table_i)
    const float* sym_i;     // symbol sequence; sym_i[0] is sequence index `first`
    const float* sym_q;
    int64_t first;
    int lanes;
    int64_t numpoints;      // N
    int64_t symbols;        // S, 1 .. N
    int64_t s0;             // first sample
    int count;              // samples
    // Optional, for symbols of many samples: the tables in rows form
    // (BuildShapeRows; rows_q may be rows_i) and the taps they hold. Each
    // symbol's taps are then summed once for every row, and each sample
    // takes one quadratic of those sums.
    const float* rows_i = nullptr;
    const float* rows_q = nullptr;
    int taps = 0;
    // Optional, when the sample offsets repeat every `period` samples (the
    // phase of sample s is s mod period): the interpolated taps of every
    // phase (BuildPhaseTable), read instead of interpolating.
    const float* phase_i = nullptr;
    const float* phase_q = nullptr;
    int64_t period = 0;
    // Optional, the symbol clock of one period of offsets (BuildClockTable),
    // read instead of computed: sample q period + p is at symbol
    // q advance + clock_n[p], row clock_row[p], offset clock_t[p].
    const int32_t* clock_n = nullptr;
    const int32_t* clock_row = nullptr;
    const float* clock_t = nullptr;
    int64_t clock_period = 0;
    int64_t clock_advance = 0;
};

// Samples after which a carrier's offsets within its symbols repeat: N / gcd(N, S).
int64_t PhasePeriod(int64_t numpoints, int64_t symbols);
// The taps of every phase: period rows of run.lanes floats, tap k of phase p
// interpolated from `table` exactly as the path in use interpolates it.
void BuildPhaseTable(const ShapeRun& run, const float* table, int64_t period, float* phase_table);

// The symbol clock of samples 0 .. period - 1 (period = PhasePeriod) as every
// path computes it: symbol index, table row and offset. The symbols advance
// by symbols / gcd(numpoints, symbols) per period.
void BuildClockTable(int64_t numpoints, int64_t symbols, int64_t period, int32_t* n, int32_t* row, float* t);
inline int64_t ClockAdvance(int64_t numpoints, int64_t symbols, int64_t period) {
    return period > 0 ? symbols / (numpoints / period) : 0;
}

// Rows form of a coefficient table: per tap k < taps three lines (c2, c1,
// c0) of SHAPE_ROWS_PADDED rows, taps * 3 * SHAPE_ROWS_PADDED floats.
constexpr int SHAPE_ROWS_PADDED = 64;
void BuildShapeRows(const float* table, int taps, int lanes, float* rows);
// Whether a pulse of `taps` symbols is cheaper in rows form at this many
// samples per symbol.
inline bool ShapeByRows(int taps, double samples_per_symbol) { return samples_per_symbol >= 1.2 * taps + 20.0; }

// I[m] = sum_k sym_i[n + k] h_i(k), Q[m] likewise with table_q, for the
// samples s0 .. s0 + count - 1 (n the sample's symbol index).
void ShapeIQ(const ShapeRun& run, float* out_i, float* out_q);
// The I channel only.
void ShapeI(const ShapeRun& run, float* out_i);

// The frequency pulse of a GMSK or FSK carrier, whose running sum is the
// phase: the same interpolation in double precision (table of SHAPE_ROWS rows
// of three lines of `lanes` doubles, as BuildShapeTable), so that the phase
// does not drift however long the record.
void BuildShapeTableFm(const double* pulse, int entries, int first_entry, int taps, int lanes, double* table);
// out[m] = sum_k sym_i[n + k] h(k) in double; run.table_i is not read.
void ShapeFm(const ShapeRun& run, const double* table, double* out);

// cos and sin of the carrier phase 2 pi ((F s) mod N) / N + phase0 + ramp s / N
// for s = s0 .. s0 + count - 1, F already reduced mod N. Exact phases are taken
// at every multiple of ROTATOR_ANCHOR samples and advanced in between, so the
// values depend on s only.
constexpr int ROTATOR_ANCHOR = 4096;
void CarrierRotator(int64_t cycles_mod_n, int64_t numpoints, double phase0, double ramp,
                    int64_t s0, int count, float* out_cos, float* out_sin);

// Exact carrier phase at sample s (radians, not reduced).
double CarrierPhase(int64_t cycles_mod_n, int64_t numpoints, double phase0, double ramp, int64_t s);

// comp += A I cos - A Q sin for count samples, and, when baseband_i is not
// null, baseband_i += A I and baseband_q += A Q (each product rounded). With
// `start` the sums are taken to be 0 (they are written, not read).
void MixCarrier(float amplitude, const float* i, const float* q, const float* cos_theta, const float* sin_theta,
                int count, float* composite, float* baseband_i, float* baseband_q, int start);

// The shaped pair at a symbol instant: sum_k xi[k] ti[k] and sum_k xq[k] tq[k]
// over `lanes` taps (a multiple of 8), eight partial sums in a fixed order.
void CaptureTaps(const float* xi, const float* xq, const float* ti, const float* tq, int lanes, float* ci, float* cq);

// CarrierRotator and MixCarrier in one sweep (the same values, without the
// cos and sin arrays).
void RotateAndMix(int64_t cycles_mod_n, int64_t numpoints, double phase0, double ramp, int64_t s0, int count,
                  float amplitude, const float* i, const float* q, float* composite, float* baseband_i,
                  float* baseband_q, int start);

// max(peak, |x[m]|) over the count values.
float PeakMagnitude(const float* x, int count, float peak);

// Code paths of the loops, one per instruction set.
enum KernelPathCode : int { KERNEL_BASELINE = 0, KERNEL_AVX2 = 1, KERNEL_AVX512 = 2 };
// The best path this machine runs, and the one in use.
int KernelBestPath();
int KernelPathInUse();
// Tests: use at most this path; -1 goes back to the machine's best.
void UseKernelPath(int path);
