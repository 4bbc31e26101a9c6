#include "compile/engine.h"
#include "compile/limits.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "compile/iqformats.h"
#include "compile/kernel.h"
#include "compile/recordstats.h"
#include "compile/synthesis.h"
#include "modulation/dvb.h"
#include "modulation/mapper.h"
#include "shaping/filters.h"
#include "shaping/windows.h"
#include "shell/codes.h"
#include "shell/hooks.h"

int32_t numpoints;
float pointperiod;
double record_clock;
float phase_i[DISPLAY_POINTS];
float phase_q[DISPLAY_POINTS];
float phase_ic[DISPLAY_POINTS];
float phase_qc[DISPLAY_POINTS];
int32_t const_points;
float max_value;
float max_i;
double FFT_Array[FFT_POINTS];

int32_t compile_carriers;
int32_t symbols_in_record[MAX_CARRIERS];
float samples_per_symbol[MAX_CARRIERS];
int64_t cycles_in_record[MAX_CARRIERS];
float max_iq;
double iq_center_hz;
int64_t iq_center_cycles;
EngineState engine_state;

namespace {

constexpr double kPi = PI_DOUBLE;
constexpr double kTwoPi = 2.0 * PI_DOUBLE;
// Largest table of per-phase taps kept for one carrier, and for all of them
// (a table is read in order of the samples, so it streams from the cache;
// even from the last level it is cheaper than interpolating).
constexpr int64_t kPhaseTableBytes = 4 * 1024 * 1024;
constexpr int64_t kPhaseTablesBytes = 32 * 1024 * 1024;
// A carrier's symbol clock is read from a table of one period when that is
// short enough to stay in the cache; longer periods compute it.
constexpr int64_t kClockEntryBytes = 12;
constexpr int64_t kClockTableBytes = 256 * 1024;

// A stretch of a carrier's symbol sequence: entry 0 is sequence index `first`.
// Sequence index n + k is history position k at symbol n: 0 .. L-1 the
// warm-up, L .. S-1 fresh symbols, S .. S+L-2 the warm-up replayed.
struct SymbolWindow {
    std::vector<float> i, q;
    int64_t first = 0;
};

struct CarrierRun {
    // Fixed for a plan.
    int kind;
    int modulation;
    int filtered;       // pulse-shaped (filter_type != 0)
    int taps;           // L
    int lanes;          // L padded for the kernel
    int quarter;        // quarter-rate shift (8VSB, 16VSB, SSB with a pulse)
    float amplitude;
    double phase0;      // radians
    double ramp;        // DVB table phase spread over the record (traits.phase_ramp), else 0
    int64_t cycles;     // carrier cycles mod N
    int64_t symbols;    // S
    std::vector<float> table_i, table_q, table_s;   // I, offset Q, quarter-rate sine
    std::vector<float> rows_i, rows_q, rows_s;      // the same in rows form (long symbols)
    std::vector<float> phase_i, phase_q, phase_s;   // or the taps of every phase (short period)
    int64_t period;
    int phase_path;                                 // kernel path the phase taps were computed on
    std::vector<int32_t> clock_n, clock_row;        // symbol clock of one period (short periods)
    std::vector<float> clock_t;
    std::vector<double> table_fm;                   // GMSK / FSK frequency pulse
    std::vector<float> capture_i, capture_q, capture_qo, capture_s;
    // Per pass.
    int offset_q;       // Q lags by half a symbol
    float warm_i[MAX_FILTER_LENGTH], warm_q[MAX_FILTER_LENGTH];
    float copy_i[MAX_FILTER_LENGTH], copy_q[MAX_FILTER_LENGTH];
    int64_t generated;  // sequence entries produced so far in this pass
    SymbolWindow win[2];
    std::FILE* iq_handle;
    int data_opened;
    float file_i, file_q;
    // GMSK / FSK: the phase in units where one turn is fm_turn.
    double fm_step, fm_turn, fm_radians, fm_x, fm_raw;
    std::vector<double> psi[2];
};

CarrierRun runs[MAX_CARRIERS];

int64_t SegmentLength() { return static_cast<int64_t>(engine_state.block_samples) * engine_state.segment_blocks; }

// s S = n N + r.
inline void SymbolPosition(int64_t s, int64_t symbols, int64_t* n, int64_t* r) {
    uint64_t prod = static_cast<uint64_t>(s) * static_cast<uint64_t>(symbols);
    *n = static_cast<int64_t>(prod / static_cast<uint64_t>(numpoints));
    *r = static_cast<int64_t>(prod % static_cast<uint64_t>(numpoints));
}

// ---------------------------------------------------------------------------
// Kernel set-up: coefficient tables and capture taps of every carrier.

// The coefficient tables of a pulse-shaped linear carrier: interpolation
// tables (rows or phases form where they pay), its symbol clock of one
// period, and the capture taps. phase_bytes counts the phase tables of all.
void BuildLinearTables(int c, CarrierRun& cr, int64_t* phase_bytes) {
    const Carrier& rec = signals[c];
    const int L = cr.taps, lanes = cr.lanes;
    const int entries = PulseEntries(L);
    const int first_entry = PulseCentre(L) + POINTS_PER_SYMBOL * ((L - 1) / 2);
    const double* pulse = FIR[c];
    const size_t table_size = static_cast<size_t>(SHAPE_ROWS) * 3 * lanes;
    // Quarter-rate factors at whole symbols: cos and sin of (D - k) quarter turns.
    std::vector<float> qc(lanes, 0.0f), qs(lanes, 0.0f);
    for (int k = 0; k < L; ++k) {
        int d = (((L - 1) / 2 - k) % 4 + 4) % 4;
        qc[k] = d == 0 ? 1.0f : d == 2 ? -1.0f : 0.0f;
        qs[k] = d == 1 ? 1.0f : d == 3 ? -1.0f : 0.0f;
    }
    cr.table_i.resize(table_size);
    BuildShapeTable(pulse, entries, first_entry, L, lanes, cr.quarter ? qc.data() : nullptr,
                    cr.table_i.data());
    if (cr.quarter) {
        cr.table_s.resize(table_size);
        BuildShapeTable(pulse, entries, first_entry, L, lanes, qs.data(), cr.table_s.data());
    }
    const ModulationTraits& traits = ModTraits(rec.modulation);
    if (traits.offset_q || traits.kind == MOD_KIND_MAP) {   // a map may stagger its Q
        cr.table_q.resize(table_size);
        BuildShapeTable(pulse, entries, first_entry - SHAPE_HALF_SYMBOL, L, lanes, nullptr, cr.table_q.data());
    }
    cr.rows_i.clear();
    cr.rows_q.clear();
    cr.rows_s.clear();
    if (ShapeByRows(L, static_cast<double>(numpoints) / static_cast<double>(cr.symbols))) {
        const size_t rows_size = static_cast<size_t>(L) * 3 * SHAPE_ROWS_PADDED;
        auto rows = [&](const std::vector<float>& table, std::vector<float>& out) {
            if (table.empty()) return;
            out.resize(rows_size);
            BuildShapeRows(table.data(), L, lanes, out.data());
        };
        rows(cr.table_i, cr.rows_i);
        rows(cr.table_q, cr.rows_q);
        rows(cr.table_s, cr.rows_s);
    }
    cr.phase_i.clear();
    cr.phase_q.clear();
    cr.phase_s.clear();
    cr.period = PhasePeriod(numpoints, cr.symbols);
    cr.phase_path = KernelPathInUse();
    cr.clock_n.clear();
    cr.clock_row.clear();
    cr.clock_t.clear();
    if (cr.period > 0 && cr.period * kClockEntryBytes <= kClockTableBytes) {
        cr.clock_n.resize(cr.period);
        cr.clock_row.resize(cr.period);
        cr.clock_t.resize(cr.period);
        BuildClockTable(numpoints, cr.symbols, cr.period, cr.clock_n.data(), cr.clock_row.data(),
                        cr.clock_t.data());
    }
    const int64_t table_bytes = cr.period * lanes * static_cast<int64_t>(sizeof(float)) *
                                (1 + !cr.table_q.empty() + !cr.table_s.empty());
    if (cr.rows_i.empty() && cr.period > 0 && table_bytes <= kPhaseTableBytes &&
        *phase_bytes + table_bytes <= kPhaseTablesBytes) {
        *phase_bytes += table_bytes;
        ShapeRun run{nullptr, nullptr, nullptr, nullptr, 0, lanes, numpoints, cr.symbols, 0, 0};
        auto phases = [&](const std::vector<float>& table, std::vector<float>& out) {
            if (table.empty()) return;
            out.resize(static_cast<size_t>(cr.period) * lanes);
            BuildPhaseTable(run, table.data(), cr.period, out.data());
        };
        phases(cr.table_i, cr.phase_i);
        phases(cr.table_q, cr.phase_q);
        phases(cr.table_s, cr.phase_s);
    }
    auto at = [&](long j) { return j >= 0 && j < entries ? pulse[j] : 0.0; };
    cr.capture_i.assign(lanes, 0.0f);
    cr.capture_q.assign(lanes, 0.0f);
    cr.capture_qo.assign(lanes, 0.0f);
    cr.capture_s.assign(lanes, 0.0f);
    for (int k = 0; k < L; ++k) {
        long j = first_entry - static_cast<long>(POINTS_PER_SYMBOL) * k;
        cr.capture_i[k] = static_cast<float>(at(j) * (cr.quarter ? qc[k] : 1.0f));
        cr.capture_q[k] = static_cast<float>(at(j) * (cr.quarter ? qs[k] : 1.0f));
        cr.capture_qo[k] = static_cast<float>(at(j - SHAPE_HALF_SYMBOL));
    }
}

void BuildKernels() {
    int64_t phase_bytes = 0;
    for (int c = 0; c < compile_carriers; ++c) {
        const Carrier& rec = signals[c];
        CarrierRun& cr = runs[c];
        const ModulationTraits& traits = ModTraits(rec.modulation);
        cr.kind = SynthesisKindOf(rec.modulation);
        cr.modulation = rec.modulation;
        int clocked = cr.kind == SYNTH_LINEAR || cr.kind == SYNTH_FM;
        cr.filtered = clocked && rec.filter_type != FILTER_NONE;
        cr.taps = clocked ? rec.filter_length : 0;
        cr.lanes = clocked ? KernelLanes(cr.taps) : 0;
        cr.quarter = cr.filtered && cr.kind == SYNTH_LINEAR && traits.quarter_shift;
        cr.amplitude = rec.amplitude;
        cr.phase0 = static_cast<double>(rec.phase_deg) * kPi / 180.0;
        cr.ramp = traits.phase_ramp ? static_cast<double>(DvbTablePhase(rec.modulation)) : 0.0;
        cr.cycles = cycles_in_record[c] % numpoints;
        cr.symbols = traits.kind == MOD_KIND_TONE ? 0 : symbols_in_record[c];
        cr.table_i.clear();
        cr.table_q.clear();
        cr.table_s.clear();
        cr.table_fm.clear();
        if (!cr.filtered) continue;
        if (cr.kind == SYNTH_FM) {
            cr.table_fm.resize(static_cast<size_t>(SHAPE_ROWS) * 3 * cr.lanes);
            BuildShapeTableFm(FIR[c], PulseEntries(cr.taps), PulseCentre(cr.taps) + POINTS_PER_SYMBOL * ((cr.taps - 1) / 2),
                              cr.taps, cr.lanes, cr.table_fm.data());
            continue;
        }

        BuildLinearTables(c, cr, &phase_bytes);
    }
    engine_state.kernels_ready = 1;
}

// ---------------------------------------------------------------------------
// Symbols.

int NextSymbol(int c, float* i, float* q) {
    CarrierRun& cr = runs[c];
    if (ModKind(cr.modulation) == MOD_KIND_IQ_FILE) {
        const Carrier& rec = signals[c];
        iqfile(cr.iq_handle, rec.iq_file_encoding, rec.iq_file_layout, &cr.file_i, &cr.file_q);
        *i = cr.file_i;
        *q = cr.file_q;
        return 0;
    }
    *i = 0.0f;
    *q = 0.0f;
    return iq(cr.modulation, i, q, c);
}

// Sequence entry idx; entries are produced strictly in order.
int NextSequenceEntry(int c, int64_t idx, float* i, float* q) {
    CarrierRun& cr = runs[c];
    const int64_t L = cr.taps, S = cr.symbols;
    if (idx < L) {
        *i = cr.warm_i[idx];
        *q = cr.warm_q[idx];
    } else if (idx < S) {
        if (NextSymbol(c, i, q) != 0) return -1;
    } else if (idx - S < L - 1) {
        *i = cr.copy_i[idx - S];
        *q = cr.copy_q[idx - S];
    } else {
        *i = *q = 0.0f;  // padding read by the kernel's spare lanes
    }
    return 0;
}

// Window `buf` holds sequence entries first .. last afterwards. The part already
// produced comes from the other window, which holds the previous segment.
int FillWindow(int c, int buf, int64_t first, int64_t last) {
    CarrierRun& cr = runs[c];
    SymbolWindow& w = cr.win[buf];
    const SymbolWindow& other = cr.win[buf ^ 1];
    size_t need = static_cast<size_t>(last - first + 1);
    if (w.i.size() < need) {
        w.i.resize(need);
        w.q.resize(need);
    }
    w.first = first;
    int64_t idx = first;
    for (; idx <= last && idx < cr.generated; ++idx) {
        w.i[idx - first] = other.i[idx - other.first];
        w.q[idx - first] = other.q[idx - other.first];
    }
    while (idx <= last) {
        // Fresh symbols of a mapped modulation come a run at a time.
        if (idx >= cr.taps && idx < cr.symbols && ModKind(cr.modulation) != MOD_KIND_IQ_FILE) {
            const int64_t end = std::min(last + 1, cr.symbols);
            if (MapSymbols(cr.modulation, &w.i[idx - first], &w.q[idx - first], static_cast<int>(end - idx), c) != 0)
                return -1;
            idx = end;
            cr.generated = idx;
            continue;
        }
        if (NextSequenceEntry(c, idx, &w.i[idx - first], &w.q[idx - first]) != 0) return -1;
        cr.generated = ++idx;
    }
    return 0;
}

void CloseCarrierFiles(int first, int last) {
    for (int c = first; c < last; ++c) {
        CarrierRun& cr = runs[c];
        if (cr.iq_handle) std::fclose(cr.iq_handle);
        cr.iq_handle = nullptr;
        if (cr.data_opened) CloseDataFile(c);
        cr.data_opened = 0;
    }
}

// Pass start of a carrier: data source, files, warm-up.
int StartCarrier(int c) {
    const Carrier& rec = signals[c];
    CarrierRun& cr = runs[c];
    cr.generated = 0;
    cr.file_i = cr.file_q = 0.0f;
    cr.fm_x = cr.fm_raw = 0.0;
    cr.offset_q = 0;

    // Unless I and Q share the register, the warm-up draws with the Q polynomial.
    const ModulationTraits& traits = ModTraits(rec.modulation);
    if (traits.kind == MOD_KIND_DVB) {
        datapoints[c] = 0;
    } else {
        datapoints[c] = static_cast<int32_t>(rec.prbs_seed_i);
        if (rec.prbs_iq_equal == 0) DrawWithPolynomial(c, 1, rec.prbs_poly_q);
    }
    int result = 0;
    if (traits.kind == MOD_KIND_IQ_FILE) {
        cr.iq_handle = OpenIqFile(c);
        if (!cr.iq_handle) {
            result = -1;
        } else if (CheckIqFile(cr.iq_handle, c) != 0) {
            std::fclose(cr.iq_handle);
            cr.iq_handle = nullptr;
            result = -1;
        }
    }
    if (result == 0 && rec.data_source == DATA_FILE) {
        if (OpenDataFile(c) != 0)
            result = -1;
        else
            cr.data_opened = 1;
    }
    if (result == 0 && (cr.kind == SYNTH_LINEAR || cr.kind == SYNTH_FM)) {
        const double turn = traits.phase_ramp ? static_cast<double>(DvbTablePhase(rec.modulation)) : 0.0;
        const double ct = std::cos(turn), st = std::sin(turn);
        for (int k = 0; k < cr.taps && result == 0; ++k) {
            float i, q;
            if (NextSymbol(c, &i, &q) != 0) {
                result = -1;
                break;
            }
            cr.warm_i[k] = i;
            cr.warm_q[k] = q;
            if (traits.phase_ramp) {
                cr.copy_i[k] = static_cast<float>(i * ct + q * st);
                cr.copy_q[k] = static_cast<float>(q * ct - i * st);
            } else {
                cr.copy_i[k] = i;
                cr.copy_q[k] = q;
            }
        }
    }
    DrawWithPolynomial(c, 0, 0);
    // A symbol map is in `map` once the warm-up has read it.
    cr.offset_q = traits.offset_q || (traits.kind == MOD_KIND_MAP && map.offset_q == 1);
    if (cr.kind == SYNTH_FM) {
        if (traits.fsk_levels == 0) {   // GMSK: the frequency pulse is in units of the symbol rate
            cr.fm_step = static_cast<double>(cr.symbols) / numpoints;  // Rs / fs
            cr.fm_turn = 4.0;
            cr.fm_radians = kPi / 2.0;
        } else {
            cr.fm_step = static_cast<double>(rec.deviation_hz) / record_clock;
            cr.fm_turn = 1.0;
            cr.fm_radians = kTwoPi;
        }
    }
    return result;
}

// ---------------------------------------------------------------------------
// One segment of samples: the driver prepares symbols (and the GMSK/FSK
// phases, which run through the record) while the threads compute the
// previous segment block by block.

struct Segment {
    int64_t s0, s1;
    int buf;
    int blocks;
    float* comp;   // indexed s - s0
    float* bbi;
    float* bbq;
    float* peak_value;   // per block
    float* peak_i;
    float* zi;           // complex record (PassWork::complex)
    float* zq;
    float* peak_iq;      // per block
    double* energy_rf;   // pass 0, per block: sum of the RF powers
    double* energy_iq;
    double* top_rf;      // pass 0, per block: the highest power
    double* top_iq;
};

struct PassWork {
    int pass, first, last;
    int complex;         // the blocks also compute the complex record
    Segment seg;
    std::atomic<int> next_block{0};
    std::atomic<int> done_blocks{0};
};

struct Scratch {
    std::vector<float> i, q, i2, q2, c, s, zc, zs;
    std::vector<int> start_at, start_index;
    std::vector<PowerHistogram> histograms;  // pass 0: RF and complex levels of this thread's blocks
};
std::vector<Scratch> scratch;

void SizeScratch(int threads) {
    if (static_cast<int>(scratch.size()) < threads) scratch.resize(threads);
    for (int t = 0; t < threads; ++t) {
        Scratch& x = scratch[t];
        size_t n = static_cast<size_t>(engine_state.block_samples);
        for (auto* v : {&x.i, &x.q, &x.i2, &x.q2, &x.c, &x.s, &x.zc, &x.zs})
            if (v->size() < n) v->resize(n);
        if (x.start_at.size() < n) {
            x.start_at.resize(n);
            x.start_index.resize(n);
        }
    }
}

// Shaped I and Q of a linear carrier for samples s0 .. s0 + count - 1.
void ShapeLinear(const CarrierRun& cr, const SymbolWindow& w, int64_t s0, int count, Scratch& x) {
    float* I = x.i.data();
    float* Q = x.q.data();
    if (!cr.filtered) {
        SymbolWalk walk(numpoints, cr.symbols, s0);
        const int64_t newest = cr.taps - 1 - w.first;
        for (int m = 0; m < count; ++m) {
            I[m] = w.i[walk.n + newest];
            Q[m] = w.q[walk.n + newest];
            walk.Next();
        }
        return;
    }
    ShapeRun run{cr.table_i.data(), cr.table_i.data(), w.i.data(), w.q.data(), w.first,
                 cr.lanes, numpoints, cr.symbols, s0, count};
    const int by_rows = !cr.rows_i.empty();
    if (by_rows) {
        run.rows_i = run.rows_q = cr.rows_i.data();
        run.taps = cr.taps;
    }
    // Phase taps computed on another kernel path would not match its interpolation.
    const int by_phase = !cr.phase_i.empty() && cr.phase_path == KernelPathInUse();
    if (by_phase) {
        run.phase_i = run.phase_q = cr.phase_i.data();
        run.period = cr.period;
    }
    if (!cr.clock_n.empty()) {
        run.clock_n = cr.clock_n.data();
        run.clock_row = cr.clock_row.data();
        run.clock_t = cr.clock_t.data();
        run.clock_period = cr.period;
        run.clock_advance = ClockAdvance(numpoints, cr.symbols, cr.period);
    }
    if (cr.offset_q) {
        run.table_q = cr.table_q.data();
        if (by_rows) run.rows_q = cr.rows_q.data();
        if (by_phase) run.phase_q = cr.phase_q.data();
    }
    ShapeIQ(run, I, Q);
    if (!cr.quarter) return;
    // I = cos b * sum(x_i h qc) - sin b * sum(x_i h qs),
    // Q = cos b * sum(x_q h qs) + sin b * sum(x_q h qc), b a quarter turn per symbol.
    run.table_i = run.table_q = cr.table_s.data();
    if (by_rows) run.rows_i = run.rows_q = cr.rows_s.data();
    if (by_phase) run.phase_i = run.phase_q = cr.phase_s.data();
    ShapeIQ(run, x.i2.data(), x.q2.data());
    SymbolWalk walk(numpoints, cr.symbols, s0);
    const double quarter = kPi / 2.0 / numpoints;
    for (int m = 0; m < count; ++m) {
        double b = quarter * static_cast<double>(walk.r);
        float cb = static_cast<float>(std::cos(b)), sb = static_cast<float>(std::sin(b));
        float ic = I[m], qc = Q[m], is = x.i2[m], qs = x.q2[m];
        I[m] = cb * ic - sb * is;
        Q[m] = cb * qs + sb * qc;
        walk.Next();
    }
}

// Shaped I and Q of a linear carrier at the instant of its current symbol n.
void CaptureLinear(const CarrierRun& cr, const SymbolWindow& w, int64_t n, float* ci, float* cq) {
    const float* xi = w.i.data() + (n - w.first);
    const float* xq = w.q.data() + (n - w.first);
    if (!cr.filtered) {
        *ci = xi[cr.taps - 1];
        *cq = xq[cr.taps - 1];
        return;
    }
    const float* tq = cr.offset_q ? cr.capture_qo.data() : cr.capture_q.data();
    // The taps are padded with zeros to the lanes.
    CaptureTaps(xi, xq, cr.capture_i.data(), tq, cr.lanes, ci, cq);
}

// One block of a pass as its carriers see it: the sums they add to.
struct Block {
    int64_t b0;
    int count;
    float* comp;
    float* bbi;
    float* bbq;
    float* zi;       // complex record, null when the pass does not compute it
    float* zq;
    int all;         // baseband_all_carriers: every carrier adds to the basebands
    int shown;       // samples of the block inside the display buffers
    int starts;      // reference symbol starts in the block (Scratch start_at, start_index)
    int fresh;       // the sums are not started yet
};

// The sums start from 0: cleared here, or written (0 + value) by the first
// carrier when it is a linear one of the usual kind.
void ClearSums(Block& k) {
    if (!k.fresh) return;
    std::fill(k.comp, k.comp + k.count, 0.0f);
    std::fill(k.bbi, k.bbi + k.count, 0.0f);
    std::fill(k.bbq, k.bbq + k.count, 0.0f);
    k.fresh = 0;
}

// One carrier's values into a sum of all carriers (add), or into the
// reference's own buffer (write): dst += gain src, or dst = gain src.
inline void AccumulateOrCopy(int add, float gain, const float* src, float* dst, int count) {
    if (add) {
        for (int m = 0; m < count; ++m) dst[m] += gain * src[m];
    } else {
        for (int m = 0; m < count; ++m) dst[m] = gain * src[m];
    }
}

// A (I + jQ) e^(j theta') into the complex record, theta' the carrier phase less the centre's.
void AddComplexLinear(const Block& k, const CarrierRun& cr, int64_t cycles_iq, const float* I, const float* Q,
                      Scratch& x) {
    float* zc = x.zc.data();
    float* zs = x.zs.data();
    CarrierRotator(cycles_iq, numpoints, cr.phase0, cr.ramp, k.b0, k.count, zc, zs);
    const float A = cr.amplitude;
    for (int m = 0; m < k.count; ++m) {
        float ai = A * I[m], aq = A * Q[m];
        k.zi[m] += ai * zc[m] - aq * zs[m];
        k.zq[m] += ai * zs[m] + aq * zc[m];
    }
}

// The carrier's shaped symbol at each reference symbol start, walked from one start to the next.
void CaptureLinearStarts(const Block& k, const CarrierRun& cr, const SymbolWindow& win, const Scratch& x) {
    SymbolWalk walk(numpoints, cr.symbols, 0);
    int64_t prev = 0;
    for (int e = 0; e < k.starts; ++e) {
        const int64_t s = k.b0 + x.start_at[e];
        if (e == 0) walk = SymbolWalk(numpoints, cr.symbols, s);
        else walk.Skip(s - prev);
        prev = s;
        float ci, cq;
        CaptureLinear(cr, win, walk.n, &ci, &cq);
        const int at = x.start_index[e];
        if (k.all) {
            phase_ic[at] += cr.amplitude * ci;
            phase_qc[at] += cr.amplitude * cq;
        } else {
            phase_ic[at] = ci;
            phase_qc[at] = cq;
        }
    }
}

void AddLinear(Block& k, int c, const Segment& g, int64_t cycles_iq, Scratch& x) {
    const CarrierRun& cr = runs[c];
    const float A = cr.amplitude;
    const int is_ref = c == engine_state.ref_index;
    const int captured = k.all ? c >= engine_state.ref_index : is_ref;
    const SymbolWindow& win = cr.win[g.buf];
    const int64_t b0 = k.b0;
    const int count = k.count;
    ShapeLinear(cr, win, b0, count, x);
    const float* I = x.i.data();
    const float* Q = x.q.data();
    // The usual case in one sweep: composite and baseband sums.
    const int mixed = k.all && cr.ramp == 0.0;
    if (mixed) {
        RotateAndMix(cr.cycles, numpoints, cr.phase0, cr.ramp, b0, count, A, I, Q, k.comp, k.bbi, k.bbq, k.fresh);
        k.fresh = 0;
    } else {
        RotateAndMix(cr.cycles, numpoints, cr.phase0, cr.ramp, b0, count, A, I, Q, k.comp, nullptr, nullptr, 0);
    }
    if (k.zi) AddComplexLinear(k, cr, cycles_iq, I, Q, x);
    // DVBC64: the baseband turns with the constellation ramp, so that it
    // closes on the rotated replay as the composite does.
    const float* bI = I;
    const float* bQ = Q;
    float gain = A;
    if (cr.ramp != 0.0) {
        float* ri = x.i2.data();
        float* rq = x.q2.data();
        CarrierRotator(0, numpoints, 0.0, cr.ramp, b0, count, ri, rq);
        for (int m = 0; m < count; ++m) {
            float pi = A * I[m], pq = A * Q[m], c = ri[m], d = rq[m];
            ri[m] = pi * c - pq * d;
            rq[m] = pi * d + pq * c;
        }
        bI = ri;
        bQ = rq;
        gain = 1.0f;
    }
    if (k.all || is_ref) {
        if (!mixed) {
            AccumulateOrCopy(k.all, gain, bI, k.bbi, count);
            AccumulateOrCopy(k.all, gain, bQ, k.bbq, count);
        }
        // The summed display scales each carrier; the reference's alone is shown as shaped.
        AccumulateOrCopy(k.all, k.all ? A : 1.0f, I, phase_i + b0, k.shown);
        AccumulateOrCopy(k.all, k.all ? A : 1.0f, Q, phase_q + b0, k.shown);
    }
    if (captured) CaptureLinearStarts(k, cr, win, x);
}

void AddTone(Block& k, int c, int64_t cycles_iq, Scratch& x) {
    const CarrierRun& cr = runs[c];
    const float A = cr.amplitude;
    const int count = k.count;
    CarrierRotator(cr.cycles, numpoints, cr.phase0, 0.0, k.b0, count, x.c.data(), x.s.data());
    const float* cs = x.c.data();
    for (int m = 0; m < count; ++m) k.comp[m] += A * cs[m];
    if (k.zi) {
        float* zc = x.zc.data();
        float* zs = x.zs.data();
        CarrierRotator(cycles_iq, numpoints, cr.phase0, 0.0, k.b0, count, zc, zs);
        for (int m = 0; m < count; ++m) {
            k.zi[m] += A * zc[m];
            k.zq[m] += A * zs[m];
        }
    }
    if (k.all) {
        for (int m = 0; m < count; ++m) k.bbi[m] += A;
    } else if (c == engine_state.ref_index) {
        std::fill(k.bbi, k.bbi + count, A);
        std::fill(k.bbq, k.bbq + count, 0.0f);
    }
}

void AddAnalog(Block& k, int c, int64_t cycles_iq) {
    const CarrierRun& cr = runs[c];
    const float A = cr.amplitude;
    const float p = signals[c].filter_param;
    const float fm = signals[c].symbol_rate;
    const double depth = static_cast<double>(p / 100.0f);
    const double fm_index = static_cast<double>(1000.0f * p / fm);
    const double pm_index = static_cast<double>(p) * kPi / 180.0;
    const int law = ModTraits(cr.modulation).analog;
    const double angle_index = law == ANALOG_FM ? fm_index : pm_index;
    for (int m = 0; m < k.count; ++m) {
        const int64_t s = k.b0 + m;
        double theta = CarrierPhase(cr.cycles, numpoints, cr.phase0, 0.0, s);
        float tone = static_cast<float>(std::sin(CarrierPhase(cr.symbols, numpoints, 0.0, 0.0, s)));
        float rfI;
        if (law == ANALOG_AM)
            rfI = A * static_cast<float>(1.0 + depth * tone) * static_cast<float>(std::sin(theta));
        else
            rfI = A * static_cast<float>(std::sin(theta + angle_index * tone));
        k.comp[m] += rfI;
        if (k.zi) {
            // A g sin(x) is the real part of -j A g e^(jx).
            double rel = CarrierPhase(cycles_iq, numpoints, cr.phase0, 0.0, s);
            float gain = A;
            if (law == ANALOG_AM) {
                gain = A * static_cast<float>(1.0 + depth * tone);
            } else {
                rel += angle_index * tone;
            }
            k.zi[m] += gain * static_cast<float>(std::sin(rel));
            k.zq[m] -= gain * static_cast<float>(std::cos(rel));
        }
    }
}

// GMSK, FSK.
void AddFm(Block& k, int c, const Segment& g, int64_t cycles_iq, Scratch& x) {
    const CarrierRun& cr = runs[c];
    const float A = cr.amplitude;
    const int is_ref = c == engine_state.ref_index;
    const int captured = k.all ? c >= engine_state.ref_index : is_ref;
    const int64_t b0 = k.b0;
    const int count = k.count;
    const double* psi = cr.psi[g.buf].data() + (b0 - g.s0);
    const double corr = static_cast<double>(GMSK_corr[c]) / numpoints;
    // The display shows the modulation's phase psi; the outputs carry
    // psi with the closing ramp, so that they join without a seam.
    float* I = x.i.data();
    float* Q = x.q.data();
    float* ci = x.i2.data();
    float* cq = x.q2.data();
    for (int m = 0; m < count; ++m) {
        const int64_t s = b0 + m;
        double theta = CarrierPhase(cr.cycles, numpoints, cr.phase0, 0.0, s);
        double closed = psi[m] - corr * static_cast<double>(s + 1);
        k.comp[m] += A * static_cast<float>(std::sin(theta + closed));
        if (k.zi) {
            double rel = CarrierPhase(cycles_iq, numpoints, cr.phase0, 0.0, s) + closed;
            k.zi[m] += A * static_cast<float>(std::sin(rel));
            k.zq[m] -= A * static_cast<float>(std::cos(rel));
        }
        ci[m] = static_cast<float>(std::cos(closed));
        cq[m] = static_cast<float>(std::sin(closed));
        I[m] = static_cast<float>(std::cos(psi[m]));
        Q[m] = static_cast<float>(std::sin(psi[m]));
    }
    // Every GMSK/FSK carrier adds its phasor to the summed display, as it
    // does to the baseband sums; writing the reference's alone would drop
    // the carriers before it in the table.
    if (k.all || is_ref) {
        AccumulateOrCopy(k.all, 1.0f, ci, k.bbi, count);
        AccumulateOrCopy(k.all, 1.0f, cq, k.bbq, count);
        AccumulateOrCopy(k.all, 1.0f, I, phase_i + b0, k.shown);
        AccumulateOrCopy(k.all, 1.0f, Q, phase_q + b0, k.shown);
    }
    if (captured) {
        for (int e = 0; e < k.starts; ++e) {
            int m = x.start_at[e], at = x.start_index[e];
            if (k.all) {
                phase_ic[at] += I[m];
                phase_qc[at] += Q[m];
            } else {
                phase_ic[at] = I[m];
                phase_qc[at] = Q[m];
            }
        }
    }
}

// Reference symbol starts of the block (constellation capture); their
// display entries are cleared for the carriers to sum into.
int FindSymbolStarts(int64_t b0, int count, Scratch& x) {
    int starts = 0;
    // Symbol k >= 1 starts at sample ceil(k N / S).
    const int64_t S = runs[engine_state.ref_index].symbols, N = numpoints;
    const SymbolWalk walk(N, S, b0);
    for (int64_t k = std::max<int64_t>(walk.r < S ? walk.n : walk.n + 1, 1); k <= DISPLAY_POINTS; ++k) {
        const int64_t at = (k * N + S - 1) / S;
        if (at >= b0 + count) break;
        x.start_at[starts] = static_cast<int>(at - b0);
        x.start_index[starts] = static_cast<int>(k - 1);
        phase_ic[k - 1] = phase_qc[k - 1] = 0.0f;
        ++starts;
    }
    return starts;
}

// Peaks and, in pass 0, the levels of the records as written (the energies
// are summed in block order later).
void MeasureBlock(const PassWork& w, int b, const Block& k, Scratch& x) {
    const Segment& g = w.seg;
    g.peak_value[b] = PeakMagnitude(k.comp, k.count, 0.0f);
    g.peak_i[b] = PeakMagnitude(k.bbq, k.count, PeakMagnitude(k.bbi, k.count, 0.0f));
    if (k.zi) g.peak_iq[b] = PeakMagnitude(k.zq, k.count, PeakMagnitude(k.zi, k.count, 0.0f));
    if (w.pass == 0 && measure_records) {
        float top_rf = 0.0f, top_iq = 0.0f;
        g.energy_rf[b] = AddPowers(&x.histograms[0], k.comp, nullptr, k.count, &top_rf);
        g.top_rf[b] = top_rf;
        if (k.zi) {
            g.energy_iq[b] = AddPowers(&x.histograms[1], k.zi, k.zq, k.count, &top_iq);
            g.top_iq[b] = top_iq;
        }
    }
}

void ComputeBlock(const PassWork& w, int b, Scratch& x) {
    const Segment& g = w.seg;
    Block k;
    k.b0 = g.s0 + static_cast<int64_t>(b) * engine_state.block_samples;
    k.count = static_cast<int>(std::min<int64_t>(g.s1, k.b0 + engine_state.block_samples) - k.b0);
    const int64_t at = k.b0 - g.s0;
    k.comp = g.comp + at;
    k.bbi = g.bbi + at;
    k.bbq = g.bbq + at;
    k.fresh = 1;
    k.all = globals.baseband_all_carriers != 0;
    const int first_pass = w.pass == 0;
    k.shown = first_pass ? static_cast<int>(std::clamp<int64_t>(DISPLAY_POINTS - k.b0, 0, k.count)) : 0;

    // The display sums start from 0 here rather than in one serial sweep.
    std::fill(phase_i + k.b0, phase_i + k.b0 + k.shown, 0.0f);
    std::fill(phase_q + k.b0, phase_q + k.b0 + k.shown, 0.0f);

    // Complex record: each carrier's analytic signal, shifted down by the centre.
    k.zi = w.complex ? g.zi + at : nullptr;
    k.zq = w.complex ? g.zq + at : nullptr;
    if (k.zi) {
        std::fill(k.zi, k.zi + k.count, 0.0f);
        std::fill(k.zq, k.zq + k.count, 0.0f);
    }
    k.starts = first_pass && engine_state.ref_clocked ? FindSymbolStarts(k.b0, k.count, x) : 0;

    for (int c = w.first; c < w.last; ++c) {
        const CarrierRun& cr = runs[c];
        const int64_t cycles_iq = ((cycles_in_record[c] - iq_center_cycles) % numpoints + numpoints) % numpoints;
        if (!(cr.kind == SYNTH_LINEAR && k.all && cr.ramp == 0.0)) ClearSums(k);
        switch (cr.kind) {
        case SYNTH_LINEAR: AddLinear(k, c, g, cycles_iq, x); break;
        case SYNTH_TONE: AddTone(k, c, cycles_iq, x); break;
        case SYNTH_ANALOG: AddAnalog(k, c, cycles_iq); break;
        default: AddFm(k, c, g, cycles_iq, x); break;
        }
    }
    ClearSums(k);
    MeasureBlock(w, b, k, x);
}

// Symbols of segment [s0, s1) for the carriers that clock them in this pass,
// and the GMSK/FSK phases.
int PrepareSegment(int pass, int first, int last, int64_t s0, int64_t s1, int buf) {
    const int count = static_cast<int>(s1 - s0);
    for (int c = first; c < last; ++c) {
        CarrierRun& cr = runs[c];
        if (cr.kind != SYNTH_LINEAR && cr.kind != SYNTH_FM) continue;
        if (pass == -1 && cr.kind != SYNTH_FM) continue;
        int64_t n0, n1, r;
        SymbolPosition(s0, cr.symbols, &n0, &r);
        SymbolPosition(s1 - 1, cr.symbols, &n1, &r);
        if (FillWindow(c, buf, n0, n1 + cr.lanes - 1) != 0) return -1;
        if (cr.kind != SYNTH_FM) continue;

        const SymbolWindow& w = cr.win[buf];
        if (static_cast<int>(engine_state.fm_pulse.size()) < count) engine_state.fm_pulse.resize(count);
        double* I = engine_state.fm_pulse.data();
        if (cr.filtered) {
            ShapeRun run{nullptr, nullptr, w.i.data(), w.q.data(), w.first,
                         cr.lanes, numpoints, cr.symbols, s0, count};
            ShapeFm(run, cr.table_fm.data(), I);
        } else {
            SymbolWalk walk(numpoints, cr.symbols, s0);
            for (int m = 0; m < count; ++m) {
                I[m] = w.i[walk.n + cr.taps - 1 - w.first];
                walk.Next();
            }
        }
        double* psi = pass == -1 ? nullptr : cr.psi[buf].data();
        double x = cr.fm_x, raw = cr.fm_raw;
        const double step = cr.fm_step, turn = cr.fm_turn, radians = cr.fm_radians;
        for (int m = 0; m < count; ++m) {
            raw += I[m];
            x += I[m] * step;
            if (x >= turn || x < 0.0) x -= turn * std::floor(x / turn);
            if (psi) psi[m] = x * radians;
        }
        cr.fm_x = x;
        cr.fm_raw = raw;
    }
    return 0;
}

// --- worker threads ---------------------------------------------------------

std::mutex pool_mutex;
std::condition_variable pool_wake, pool_done;
int pool_generation = 0;
int pool_taken = 0;   // workers that took the current job
int pool_busy = 0;
int pool_quit = 0;
int pool_workers = 0;
PassWork* pool_work = nullptr;

void RunBlocks(PassWork* w, int thread) {
    int b;
    while ((b = w->next_block.fetch_add(1)) < w->seg.blocks) {
        ComputeBlock(*w, b, scratch[thread]);
        w->done_blocks.fetch_add(1);
    }
}

void WorkerLoop(int thread) {
    int seen = 0;
    std::unique_lock<std::mutex> lock(pool_mutex);
    for (;;) {
        pool_wake.wait(lock, [&] { return pool_quit || pool_generation != seen; });
        if (pool_quit) return;
        seen = pool_generation;
        PassWork* w = pool_work;
        ++pool_taken;
        ++pool_busy;
        lock.unlock();
        RunBlocks(w, thread);
        lock.lock();
        --pool_busy;
        pool_done.notify_all();
    }
}

void PostSegment(PassWork* w) {
    {
        std::lock_guard<std::mutex> lock(pool_mutex);
        w->next_block = 0;
        w->done_blocks = 0;
        pool_work = w;
        pool_taken = 0;
        ++pool_generation;
    }
    pool_wake.notify_all();
}

// The driver helps with the blocks, then waits until every worker has let go
// of the job (so that the segment may be reused).
void FinishSegment(PassWork* w) {
    RunBlocks(w, 0);
    std::unique_lock<std::mutex> lock(pool_mutex);
    pool_done.wait(lock, [&] {
        return w->done_blocks.load() == w->seg.blocks && pool_taken == pool_workers && pool_busy == 0;
    });
}

std::vector<std::thread> pool_threads;

// Returns the number of workers running (a thread that cannot be started
// leaves its share to the others).
int StartWorkers(int workers) {
    pool_quit = 0;
    pool_generation = 0;
    pool_taken = pool_busy = 0;
    for (int t = 1; t <= workers; ++t) {
        try {
            pool_threads.emplace_back(WorkerLoop, t);
        } catch (const std::system_error&) {
            break;
        }
    }
    std::lock_guard<std::mutex> lock(pool_mutex);
    pool_workers = static_cast<int>(pool_threads.size());
    return pool_workers;
}

void StopWorkers() {
    {
        std::lock_guard<std::mutex> lock(pool_mutex);
        pool_quit = 1;
    }
    pool_wake.notify_all();
    for (auto& t : pool_threads) t.join();
    pool_threads.clear();
    pool_workers = 0;
}

// Reference symbol start at s (marker of the output samples).
struct StartWalk {
    SymbolWalk walk{1, 0, 0};
    int on = 0;
    void Begin(int64_t s) {
        on = engine_state.ref_clocked;
        if (on) walk = SymbolWalk(numpoints, runs[engine_state.ref_index].symbols, s);
    }
    int At(int64_t s) {
        if (!on) return 0;
        int start = s >= 1 && walk.r < walk.S;
        walk.Next();
        return start;
    }
};

// The raw records: the complex pass, and the RF pass of a SigMF recording.
int RawPass(int pass) { return pass == PASS_IQ || (pass == 1 && iq_settings.rf_raw); }

int BeginPassOutput(int pass, OutputSink* sink) {
    if (pass == PASS_IQ) return BeginIqOutput(2, iq_settings.format, numpoints, max_iq, sink);
    if (RawPass(pass)) return BeginIqOutput(1, iq_settings.format, numpoints, max_value, sink);
    return BeginOutput(pass, globals.instrument_type, globals.output_destination, numpoints, record_clock, max_value,
                       max_i, comment, sink);
}
int EndPassOutput(int pass) { return RawPass(pass) ? EndIqOutput() : EndOutput(); }
void AbortPassOutput(int pass) {
    if (RawPass(pass)) AbortIqOutput();
    else AbortOutput();
}

int EncodeRange(const float* values, int64_t s0, int64_t s1);

// Samples s0 .. s1 - 1 of an output pass; re, im start at s0.
int EncodePass(int pass, const float* re, const float* im, int64_t s0, int64_t s1) {
    if (!RawPass(pass)) return EncodeRange(re, s0, s1);
    return EncodeIqSamples(re, pass == PASS_IQ ? im : nullptr, static_cast<int>(s1 - s0));
}

int EncodeRange(const float* values, int64_t s0, int64_t s1) {
    StartWalk walk;
    walk.Begin(s0);
    for (int64_t s = s0; s < s1; ++s) {
        if (EncodeSample(static_cast<int>(s), values[s - s0], walk.At(s)) != 0) return -1;
    }
    return 0;
}

// The parts of the display buffers that pass 0's blocks do not write.
void ClearDisplayTails() {
    const int64_t shown = std::min<int64_t>(numpoints, DISPLAY_POINTS);
    std::fill(phase_i + shown, phase_i + DISPLAY_POINTS, 0.0f);
    std::fill(phase_q + shown, phase_q + DISPLAY_POINTS, 0.0f);
    const int64_t captured =
        engine_state.ref_clocked ? std::min<int64_t>(runs[engine_state.ref_index].symbols - 1, DISPLAY_POINTS) : 0;
    std::fill(phase_ic + captured, phase_ic + DISPLAY_POINTS, 0.0f);
    std::fill(phase_qc + captured, phase_qc + DISPLAY_POINTS, 0.0f);
}

// Pass 0: the peaks and levels of a computed segment, in block order, and its
// part of the spectrum's samples.
void AddSegmentResults(const Segment& g, int complex) {
    for (int b = 0; b < g.blocks; ++b) {
        max_value = std::max(max_value, g.peak_value[b]);
        max_i = std::max(max_i, g.peak_i[b]);
        rf_record_stats.energy += g.energy_rf[b];
        rf_record_stats.peak_power = std::max(rf_record_stats.peak_power, g.top_rf[b]);
        if (complex) {
            max_iq = std::max(max_iq, g.peak_iq[b]);
            iq_record_stats.energy += g.energy_iq[b];
            iq_record_stats.peak_power = std::max(iq_record_stats.peak_power, g.top_iq[b]);
        }
    }
    for (int64_t s = g.s0; s < std::min<int64_t>(g.s1, FFT_POINTS); ++s) FFT_Array[s] = g.comp[s - g.s0];
}

// Pass 0 measured: the threads' level histograms into the record statistics
// of a complete pass, or dropped.
void FinishRecordStats(int threads, int complex, int complete) {
    if (!complete) {
        for (int t = 0; t < threads; ++t)
            for (auto& h : scratch[t].histograms) std::memset(h.count, 0, sizeof h.count);
        return;
    }
    for (int t = 0; t < threads; ++t) {
        AddHistogram(&rf_record_stats, &scratch[t].histograms[0]);
        AddHistogram(&iq_record_stats, &scratch[t].histograms[1]);
    }
    rf_record_stats.samples = numpoints;
    rf_record_stats.valid = 1;
    if (complex) {
        iq_record_stats.samples = numpoints;
        iq_record_stats.valid = 1;
    }
}

// All segments of a pass. COMPILE_DONE, COMPILE_CANCELLED or COMPILE_FAILED.
int Sweep(int pass, int first, int last) {
    const int64_t N = numpoints;
    const int64_t seg_len = SegmentLength();
    const int64_t segments = (N + seg_len - 1) / seg_len;
    const int compute = pass != -1;
    const int total_blocks = static_cast<int>((N + engine_state.block_samples - 1) / engine_state.block_samples);
    const int threads = compute ? std::max(1, std::min(CompileThreads(), total_blocks)) : 1;
    SizeScratch(threads);
    const int complex = iq_settings.enabled && (pass == 0 || pass == PASS_IQ);
    if (compute) {
        for (auto* v : {&engine_state.segment_comp, &engine_state.segment_bbi, &engine_state.segment_bbq})
            if (static_cast<int64_t>(v->size()) < seg_len) v->resize(seg_len);
        if (complex)
            for (auto* v : {&engine_state.segment_zi, &engine_state.segment_zq})
                if (static_cast<int64_t>(v->size()) < seg_len) v->resize(seg_len);
    }
    const int measured = pass == 0 && measure_records;
    if (measured) {
        for (int t = 0; t < threads; ++t) scratch[t].histograms.resize(2);
        ClearRecordStats(&rf_record_stats);
        ClearRecordStats(&iq_record_stats);
    }
    for (int c = first; c < last; ++c) {
        if (runs[c].kind != SYNTH_FM || pass == -1) continue;
        for (auto& p : runs[c].psi)
            if (static_cast<int64_t>(p.size()) < seg_len) p.resize(seg_len);
    }

    PassWork work;
    work.pass = pass;
    work.first = first;
    work.last = last;
    work.complex = complex;
    std::vector<float> peaks(3 * static_cast<size_t>(engine_state.segment_blocks), 0.0f);
    std::vector<double> energies(4 * static_cast<size_t>(engine_state.segment_blocks), 0.0);
    work.seg.peak_value = peaks.data();
    work.seg.peak_i = peaks.data() + engine_state.segment_blocks;
    work.seg.peak_iq = peaks.data() + 2 * engine_state.segment_blocks;
    work.seg.energy_rf = energies.data();
    work.seg.energy_iq = energies.data() + engine_state.segment_blocks;
    work.seg.top_rf = energies.data() + 2 * engine_state.segment_blocks;
    work.seg.top_iq = energies.data() + 3 * engine_state.segment_blocks;
    const int pooled = threads > 1 && StartWorkers(threads - 1) > 0;

    int result = COMPILE_DONE;
    int failed = PrepareSegment(pass, first, last, 0, std::min(N, seg_len), 0);
    for (int64_t k = 0; k < segments && !failed; ++k) {
        Segment& g = work.seg;
        g.s0 = k * seg_len;
        g.s1 = std::min(N, g.s0 + seg_len);
        g.buf = static_cast<int>(k % 2);
        g.blocks = static_cast<int>((g.s1 - g.s0 + engine_state.block_samples - 1) / engine_state.block_samples);
        const int direct = pass == 0 && engine_state.store_valid == 0 && engine_state.store_has[0];
        g.comp = direct && engine_state.store_has[1] ? engine_state.store_comp.data() + g.s0 : engine_state.segment_comp.data();
        g.bbi = direct && engine_state.store_has[2] ? engine_state.store_bbi.data() + g.s0 : engine_state.segment_bbi.data();
        g.bbq = direct && engine_state.store_has[3] ? engine_state.store_bbq.data() + g.s0 : engine_state.segment_bbq.data();
        g.zi = direct && engine_state.store_has[PASS_IQ] ? engine_state.store_zi.data() + g.s0 : engine_state.segment_zi.data();
        g.zq = direct && engine_state.store_has[PASS_IQ] ? engine_state.store_zq.data() + g.s0 : engine_state.segment_zq.data();

        work.next_block = 0;
        work.done_blocks = 0;
        if (compute && pooled) PostSegment(&work);
        if (k + 1 < segments) {
            int64_t n0 = g.s1, n1 = std::min(N, g.s1 + seg_len);
            failed = PrepareSegment(pass, first, last, n0, n1, static_cast<int>((k + 1) % 2));
        }
        if (pass == 0 && k == 0) ClearDisplayTails();
        if (compute) {
            if (pooled)
                FinishSegment(&work);
            else
                RunBlocks(&work, 0);
        }

        if (pass == 0) {
            AddSegmentResults(g, complex);
        } else if (pass >= 1) {
            const float* values = pass == 1 ? g.comp : pass == 2 ? g.bbi : pass == 3 ? g.bbq : g.zi;
            if (EncodePass(pass, values, g.zq, g.s0, g.s1) != 0) {
                EndPassOutput(pass);  // the sink reports what went wrong
                result = COMPILE_FAILED;
                break;
            }
        }
        ReportProgress(100.0 * static_cast<double>(g.s1) / static_cast<double>(N));
        if (!failed && CancelRequested()) {
            result = COMPILE_CANCELLED;
            break;
        }
    }
    if (failed) result = COMPILE_FAILED;
    if (threads > 1) StopWorkers();  // also when none started
    if (measured) FinishRecordStats(threads, complex, result == COMPILE_DONE);
    return result;
}

// Output pass from pass 0's kept samples.
int Replay(int pass) {
    const float* values = pass == 1   ? engine_state.store_comp.data()
                          : pass == 2 ? engine_state.store_bbi.data()
                          : pass == 3 ? engine_state.store_bbq.data()
                                      : engine_state.store_zi.data();
    const float* im = pass == PASS_IQ ? engine_state.store_zq.data() : nullptr;
    const int64_t N = numpoints, seg_len = SegmentLength();
    for (int64_t s0 = 0; s0 < N; s0 += seg_len) {
        int64_t s1 = std::min(N, s0 + seg_len);
        if (EncodePass(pass, values + s0, im ? im + s0 : nullptr, s0, s1) != 0) {
            EndPassOutput(pass);
            return COMPILE_FAILED;
        }
        ReportProgress(100.0 * static_cast<double>(s1) / static_cast<double>(N));
        if (CancelRequested()) {
            AbortPassOutput(pass);
            return COMPILE_CANCELLED;
        }
    }
    return EndPassOutput(pass) == 0 ? COMPILE_DONE : COMPILE_FAILED;
}

void ClearDisplay() {
    std::fill(std::begin(phase_i), std::end(phase_i), 0.0f);
    std::fill(std::begin(phase_q), std::end(phase_q), 0.0f);
    std::fill(std::begin(phase_ic), std::end(phase_ic), 0.0f);
    std::fill(std::begin(phase_qc), std::end(phase_qc), 0.0f);
}

}  // namespace

// ---------------------------------------------------------------------------

void ResetEngineState() {
    for (CarrierRun& cr : runs) {
        if (cr.iq_handle) std::fclose(cr.iq_handle);
        cr = CarrierRun{};
    }
    scratch.clear();
    engine_state = EngineState{};
    numpoints = 0;
    pointperiod = 0.0f;
    record_clock = 0.0;
    ClearDisplay();
    const_points = 0;
    max_value = max_i = max_iq = 0.0f;
    iq_center_hz = 0.0;
    iq_center_cycles = 0;
    std::fill(std::begin(FFT_Array), std::end(FFT_Array), 0.0);
    compile_carriers = 0;
    std::fill(std::begin(symbols_in_record), std::end(symbols_in_record), 0);
    std::fill(std::begin(samples_per_symbol), std::end(samples_per_symbol), 0.0f);
    std::fill(std::begin(cycles_in_record), std::end(cycles_in_record), 0);
}

void SetCompileThreads(int threads) { engine_state.threads = threads > 0 ? std::min(threads, 64) : 0; }

int CompileThreads() {
    if (engine_state.threads > 0) return engine_state.threads;
    unsigned hw = std::thread::hardware_concurrency();
    return hw == 0 ? 1 : static_cast<int>(std::min(hw, 64u));
}

void SetCompileBlocking(int block, int blocks_per_segment) {
    engine_state.block_samples = block >= 64 ? block : COMPILE_BLOCK;
    engine_state.segment_blocks = blocks_per_segment >= 1 ? blocks_per_segment : COMPILE_SEGMENT_BLOCKS;
    engine_state.store_valid = 0;
}

void SetCompileStoreBudget(int64_t bytes) {
    engine_state.store_budget = bytes > 0 ? bytes : 0;
    engine_state.store_valid = 0;
}

int RunPass(int pass, const CompileTargets* targets) {
    if (pass < -1 || pass > PASS_IQ) return COMPILE_FAILED;
    if (numpoints < 1 || compile_carriers < 1 || engine_state.ref_index < 0) {
        CompileError("The record has not been planned.");
        return COMPILE_REFUSED;
    }
    if (pass == 1) ReportAnalysis(ANALYSIS_RF_PASS);
    int first, last;
    LoopStepInit(pass, compile_carriers, &first, &last);
    ResetGenerators();
    if (!engine_state.kernels_ready) BuildKernels();

    if (pass == 0) {
        const_points = 0;
        max_value = max_i = max_iq = 0.0f;
        engine_state.store_valid = 0;
        engine_state.store_has[1] = globals.output_rf != 0;
        engine_state.store_has[2] = globals.output_baseband_i != 0;
        engine_state.store_has[3] = globals.output_baseband_q != 0;
        engine_state.store_has[PASS_IQ] = iq_settings.enabled != 0;
        if (!targets) engine_state.store_has[1] = engine_state.store_has[2] = engine_state.store_has[3] = engine_state.store_has[PASS_IQ] = 0;
        int64_t bytes = static_cast<int64_t>(numpoints) * 4 *
                        (engine_state.store_has[1] + engine_state.store_has[2] + engine_state.store_has[3] + 2 * engine_state.store_has[PASS_IQ]);
        engine_state.store_has[0] = bytes > 0 && bytes <= engine_state.store_budget;
        if (engine_state.store_has[0]) {
            if (engine_state.store_has[1]) engine_state.store_comp.resize(numpoints);
            if (engine_state.store_has[2]) engine_state.store_bbi.resize(numpoints);
            if (engine_state.store_has[3]) engine_state.store_bbq.resize(numpoints);
            if (engine_state.store_has[PASS_IQ]) {
                engine_state.store_zi.resize(numpoints);
                engine_state.store_zq.resize(numpoints);
            }
        }
    }
    if (pass >= 1) {
        OutputSink* sink = targets ? targets->sink[pass] : nullptr;
        if (BeginPassOutput(pass, sink) != 0) return COMPILE_FAILED;
        if (engine_state.store_valid && engine_state.store_has[0] && engine_state.store_has[pass]) return Replay(pass);
    }

    for (int c = first; c < last; ++c) {
        if (StartCarrier(c) != 0) {
            CloseCarrierFiles(first, c + 1);
            if (pass >= 1) AbortPassOutput(pass);
            return COMPILE_FAILED;
        }
    }
    int result = Sweep(pass, first, last);
    CloseCarrierFiles(first, last);
    for (int c = first; c < last; ++c)
        if (runs[c].kind == SYNTH_FM) GMSK_acum[c] = static_cast<float>(runs[c].fm_raw);
    if (result != COMPILE_DONE) {
        if (pass >= 1) AbortPassOutput(pass);
        return result;
    }

    if (pass == -1) {
        for (int c = first; c < last; ++c) {
            const CarrierRun& cr = runs[c];
            if (cr.kind != SYNTH_FM) continue;
            double corr = cr.fm_x * cr.fm_radians;  // fm_x is already within one turn
            if (corr > kPi) corr -= kTwoPi;
            GMSK_corr[c] = static_cast<float>(corr);
        }
    } else if (pass == 0) {
        for (int s = numpoints; s < FFT_POINTS; ++s) FFT_Array[s] = FFT_Array[s % numpoints];
        const_points = engine_state.ref_clocked ? static_cast<int32_t>(std::min<int64_t>(runs[engine_state.ref_index].symbols - 1,
                                                                              DISPLAY_POINTS))
                                   : 0;
        if (globals.normalization_mode == 1) max_iq = max_i = max_value = globals.normalization_level;
        engine_state.store_valid = engine_state.store_has[0];
        ReportAnalysis(ANALYSIS_COMPILED);
    } else {
        if (EndPassOutput(pass) != 0) return COMPILE_FAILED;
    }
    return COMPILE_DONE;
}

int CompileTable(const CompileTargets* targets) {
    ClearDisplay();
    max_i = max_value = 0.0f;
    const_points = 0;
    engine_state.store_valid = 0;
    rf_record_stats.valid = iq_record_stats.valid = 0;
    if (PlanRecord() != 0) return COMPILE_REFUSED;
    if (PlanComplexCenter() != 0) return COMPILE_REFUSED;
    static const char* const names[] = {"", "RF", "baseband I", "baseband Q", "I/Q"};
    const int enabled[PASS_IQ + 1] = {0, globals.output_rf != 0, globals.output_baseband_i != 0,
                                      globals.output_baseband_q != 0, iq_settings.enabled != 0};
    if (targets) {
        for (int p = 1; p <= PASS_IQ; ++p) {
            if (enabled[p] && !targets->sink[p]) {
                CompileError("No destination for the %s output.", names[p]);
                return COMPILE_REFUSED;
            }
        }
    }
    if (DesignFilters() != 0) return COMPILE_REFUSED;
    ReportAnalysis(ANALYSIS_PLANNED);
    std::fill(std::begin(GMSK_corr), std::end(GMSK_corr), 0.0f);
    const_points = 0;

    int result;
    if (engine_state.fm_present && (result = RunPass(-1, targets)) != COMPILE_DONE) return result;
    if ((result = RunPass(0, targets)) != COMPILE_DONE) return result;
    if (CheckRecordPeaks() != 0) return COMPILE_FAILED;
    if (!targets) return COMPILE_DONE;
    for (int p = 1; p <= PASS_IQ; ++p) {
        if (!enabled[p]) continue;
        if ((result = RunPass(p, targets)) != COMPILE_DONE) return result;
    }
    return COMPILE_DONE;
}

