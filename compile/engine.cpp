#include "compile/engine.h"
#include "compile/limits.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "compile/iqformats.h"
#include "compile/kernel.h"
#include "compile/recordstats.h"
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

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;
// Largest table of per-phase taps kept for one carrier, and for all of them
// (a table is read in order of the samples, so it streams from the cache;
// even from the last level it is cheaper than interpolating).
constexpr int64_t kPhaseTableBytes = 4 * 1024 * 1024;
constexpr int64_t kPhaseTablesBytes = 32 * 1024 * 1024;
// A carrier's symbol clock is read from a table of one period when that is
// short enough to stay in the cache; longer periods compute it.
constexpr int64_t kClockEntryBytes = 12;
constexpr int64_t kClockTableBytes = 256 * 1024;

enum Kind { KIND_TONE, KIND_ANALOG, KIND_FM, KIND_LINEAR };

bool IsAnalog(int m) { return m == MOD_AM || m == MOD_FM || m == MOD_PM; }
bool IsFrequencyModulated(int m) { return m == MOD_GMSK || (m >= MOD_2FSK && m <= MOD_32FSK); }
bool IsIqFile(int m) { return m == MOD_FILE1 || m == MOD_FILE2; }
bool IsQuarterShift(int m) { return m == MOD_8VSB || m == MOD_16VSB || m == MOD_SSB; }
bool IsDvbGroup(int m) {
    return m == MOD_DVBC16 || m == MOD_DVBC32 || m == MOD_DVBC64 || m == MOD_DVBC256;
}
int KindOf(int m) {
    if (m == MOD_NONE) return KIND_TONE;
    if (IsAnalog(m)) return KIND_ANALOG;
    if (IsFrequencyModulated(m)) return KIND_FM;
    return KIND_LINEAR;
}

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
    double ramp;        // DVBC64: constellation turn spread over the record
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
int ref_index = -1;
int ref_clocked = 0;   // the reference carrier runs a symbol clock
int fm_present = 0;
int kernels_ready = 0;

int engine_threads = 0;
int block_samples = COMPILE_BLOCK;
int segment_blocks = COMPILE_SEGMENT_BLOCKS;
int64_t store_budget = int64_t(1) << 30;

// Pass 0's samples, kept for the output passes (store_zi/zq: the complex record).
std::vector<float> store_comp, store_bbi, store_bbq, store_zi, store_zq;
int store_has[PASS_IQ + 1];
int store_valid = 0;

std::vector<float> segment_comp, segment_bbi, segment_bbq, segment_zi, segment_zq;
std::vector<double> fm_pulse;

int Refuse(const char* format, ...) {
    char text[300];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    ReportMessage("COMPILATION ERROR", text);
    return -1;
}

// A GMSK or FSK carrier keeps, during a run of equal symbols, the mean
// frequency of its pulse summed over whole symbols: the pulse area in
// symbols times the set deviation. Pulses that are not one symbol in area
// (a plain Gaussian, a wide EDGE pulse) change the deviation; say so.
void WarnSteadyDeviation(int c) {
    const Carrier& rec = signals[c];
    if (rec.filter_type == FILTER_NONE) return;
    const int entries = PulseEntries(rec.filter_length);
    double area = 0.0;
    for (int j = 0; j < entries; ++j) area += FIR[c][j];
    const double gain = area / POINTS_PER_SYMBOL;
    if (std::fabs(gain - 1.0) <= 0.01 || !std::isfinite(gain)) return;
    char text[300];
    if (rec.modulation == MOD_GMSK) {
        std::snprintf(text, sizeof text,
                      "Carrier %d: with its %s pulse the GMSK modulation index is %.3f, not 0.5 "
                      "(%.1f %% of the nominal deviation); GMSK is \"GAUSSIAN-2\".",
                      c + 1, FilterDisplayName(rec.filter_type), 0.5 * gain, 100.0 * gain);
    } else {
        std::snprintf(text, sizeof text,
                      "Carrier %d: with its %s pulse the steady deviation is %.2f kHz, %.1f %% of the set "
                      "%.2f kHz; GFSK is \"GAUSSIAN-2\".",
                      c + 1, FilterDisplayName(rec.filter_type), gain * rec.deviation_hz / 1000.0,
                      100.0 * gain, rec.deviation_hz / 1000.0);
    }
    ReportMessage("COMPILATION WARNING", text);
}

int64_t SegmentLength() { return static_cast<int64_t>(block_samples) * segment_blocks; }

// s S = n N + r.
inline void SymbolPosition(int64_t s, int64_t symbols, int64_t* n, int64_t* r) {
    uint64_t prod = static_cast<uint64_t>(s) * static_cast<uint64_t>(symbols);
    *n = static_cast<int64_t>(prod / static_cast<uint64_t>(numpoints));
    *r = static_cast<int64_t>(prod % static_cast<uint64_t>(numpoints));
}

// ---------------------------------------------------------------------------
// Kernel set-up: coefficient tables and capture taps of every carrier.

void BuildKernels() {
    int64_t phase_bytes = 0;
    for (int c = 0; c < compile_carriers; ++c) {
        const Carrier& rec = signals[c];
        CarrierRun& cr = runs[c];
        cr.kind = KindOf(rec.modulation);
        cr.modulation = rec.modulation;
        int clocked = cr.kind == KIND_LINEAR || cr.kind == KIND_FM;
        cr.filtered = clocked && rec.filter_type != FILTER_NONE;
        cr.taps = clocked ? rec.filter_length : 0;
        cr.lanes = clocked ? KernelLanes(cr.taps) : 0;
        cr.quarter = cr.filtered && cr.kind == KIND_LINEAR && IsQuarterShift(rec.modulation);
        cr.amplitude = rec.amplitude;
        cr.phase0 = static_cast<double>(rec.phase_deg) * kPi / 180.0;
        cr.ramp = rec.modulation == MOD_DVBC64 ? static_cast<double>(phase_c64) : 0.0;
        cr.cycles = cycles_in_record[c] % numpoints;
        cr.symbols = rec.modulation == MOD_NONE ? 0 : symbols_in_record[c];
        cr.table_i.clear();
        cr.table_q.clear();
        cr.table_s.clear();
        cr.table_fm.clear();
        if (!cr.filtered) continue;
        if (cr.kind == KIND_FM) {
            cr.table_fm.resize(static_cast<size_t>(SHAPE_ROWS) * 3 * cr.lanes);
            BuildShapeTableFm(FIR[c], PulseEntries(cr.taps), PulseCentre(cr.taps) + 50 * ((cr.taps - 1) / 2),
                              cr.taps, cr.lanes, cr.table_fm.data());
            continue;
        }

        const int L = cr.taps, lanes = cr.lanes;
        const int entries = PulseEntries(L);
        const int first_entry = PulseCentre(L) + 50 * ((L - 1) / 2);
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
        if (rec.modulation == MOD_OQPSK || rec.modulation == MOD_FILE3) {
            cr.table_q.resize(table_size);
            BuildShapeTable(pulse, entries, first_entry - 25, L, lanes, nullptr, cr.table_q.data());
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
            phase_bytes + table_bytes <= kPhaseTablesBytes) {
            phase_bytes += table_bytes;
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
            long j = first_entry - 50L * k;
            cr.capture_i[k] = static_cast<float>(at(j) * (cr.quarter ? qc[k] : 1.0f));
            cr.capture_q[k] = static_cast<float>(at(j) * (cr.quarter ? qs[k] : 1.0f));
            cr.capture_qo[k] = static_cast<float>(at(j - 25));
        }
    }
    kernels_ready = 1;
}

// ---------------------------------------------------------------------------
// Symbols.

int NextSymbol(int c, float* i, float* q) {
    CarrierRun& cr = runs[c];
    if (IsIqFile(cr.modulation)) {
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
        if (idx >= cr.taps && idx < cr.symbols && !IsIqFile(cr.modulation)) {
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
    Carrier& rec = signals[c];
    CarrierRun& cr = runs[c];
    cr.generated = 0;
    cr.file_i = cr.file_q = 0.0f;
    cr.fm_x = cr.fm_raw = 0.0;
    cr.offset_q = 0;

    // Unless I and Q share the register, the warm-up draws with the Q polynomial.
    uint32_t saved_poly = rec.prbs_poly_i;
    int swapped = 0;
    if (IsDvbGroup(rec.modulation)) {
        datapoints[c] = 0;
    } else {
        datapoints[c] = static_cast<int32_t>(rec.prbs_seed_i);
        if (rec.prbs_iq_equal == 0) {
            rec.prbs_poly_i = rec.prbs_poly_q;
            swapped = 1;
        }
    }
    int result = 0;
    if (IsIqFile(rec.modulation)) {
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
    if (result == 0 && (cr.kind == KIND_LINEAR || cr.kind == KIND_FM)) {
        const double turn = static_cast<double>(phase_c64);
        const double ct = std::cos(turn), st = std::sin(turn);
        for (int k = 0; k < cr.taps && result == 0; ++k) {
            float i, q;
            if (NextSymbol(c, &i, &q) != 0) {
                result = -1;
                break;
            }
            cr.warm_i[k] = i;
            cr.warm_q[k] = q;
            if (rec.modulation == MOD_DVBC64) {
                cr.copy_i[k] = static_cast<float>(i * ct + q * st);
                cr.copy_q[k] = static_cast<float>(q * ct - i * st);
            } else {
                cr.copy_i[k] = i;
                cr.copy_q[k] = q;
            }
        }
    }
    if (swapped) rec.prbs_poly_i = saved_poly;
    // A symbol map is in `map` once the warm-up has read it.
    cr.offset_q = rec.modulation == MOD_OQPSK || (rec.modulation == MOD_FILE3 && map.offset_q == 1);
    if (cr.kind == KIND_FM) {
        if (rec.modulation == MOD_GMSK) {
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
        size_t n = static_cast<size_t>(block_samples);
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
        int64_t n, r;
        SymbolPosition(s0, cr.symbols, &n, &r);
        const int64_t newest = cr.taps - 1 - w.first;
        for (int m = 0; m < count; ++m) {
            I[m] = w.i[n + newest];
            Q[m] = w.q[n + newest];
            r += cr.symbols;
            if (r >= numpoints) {
                r -= numpoints;
                ++n;
            }
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
    int64_t n, r;
    SymbolPosition(s0, cr.symbols, &n, &r);
    const double quarter = kPi / 2.0 / numpoints;
    for (int m = 0; m < count; ++m) {
        double b = quarter * static_cast<double>(r);
        float cb = static_cast<float>(std::cos(b)), sb = static_cast<float>(std::sin(b));
        float ic = I[m], qc = Q[m], is = x.i2[m], qs = x.q2[m];
        I[m] = cb * ic - sb * is;
        Q[m] = cb * qs + sb * qc;
        r += cr.symbols;
        if (r >= numpoints) r -= numpoints;
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

void ComputeBlock(const PassWork& w, int b, Scratch& x) {
    const Segment& g = w.seg;
    const int64_t b0 = g.s0 + static_cast<int64_t>(b) * block_samples;
    const int count = static_cast<int>(std::min<int64_t>(g.s1, b0 + block_samples) - b0);
    float* comp = g.comp + (b0 - g.s0);
    float* bbi = g.bbi + (b0 - g.s0);
    float* bbq = g.bbq + (b0 - g.s0);
    // The sums start from 0: cleared here, or written (0 + value) by the
    // first carrier when it is a linear one of the usual kind.
    int fresh = 1;
    auto clear = [&] {
        if (!fresh) return;
        std::fill(comp, comp + count, 0.0f);
        std::fill(bbi, bbi + count, 0.0f);
        std::fill(bbq, bbq + count, 0.0f);
        fresh = 0;
    };
    const int all = globals.baseband_all_carriers != 0;
    const int first_pass = w.pass == 0;
    const int shown = first_pass ? static_cast<int>(std::clamp<int64_t>(DISPLAY_POINTS - b0, 0, count)) : 0;

    // The display sums start from 0 here rather than in one serial sweep.
    std::fill(phase_i + b0, phase_i + b0 + shown, 0.0f);
    std::fill(phase_q + b0, phase_q + b0 + shown, 0.0f);

    // Complex record: each carrier's analytic signal, shifted down by the centre.
    float* zi = w.complex ? g.zi + (b0 - g.s0) : nullptr;
    float* zq = w.complex ? g.zq + (b0 - g.s0) : nullptr;
    if (zi) {
        std::fill(zi, zi + count, 0.0f);
        std::fill(zq, zq + count, 0.0f);
    }

    // Reference symbol starts of the block (constellation capture).
    int starts = 0;
    if (first_pass && ref_clocked) {
        // Symbol k >= 1 starts at sample ceil(k N / S).
        int64_t n, r;
        const int64_t S = runs[ref_index].symbols, N = numpoints;
        SymbolPosition(b0, S, &n, &r);
        for (int64_t k = std::max<int64_t>(r < S ? n : n + 1, 1); k <= DISPLAY_POINTS; ++k) {
            const int64_t at = (k * N + S - 1) / S;
            if (at >= b0 + count) break;
            x.start_at[starts] = static_cast<int>(at - b0);
            x.start_index[starts] = static_cast<int>(k - 1);
            phase_ic[k - 1] = phase_qc[k - 1] = 0.0f;
            ++starts;
        }
    }

    for (int c = w.first; c < w.last; ++c) {
        const CarrierRun& cr = runs[c];
        const float A = cr.amplitude;
        const int is_ref = c == ref_index;
        const int captured = all ? c >= ref_index : is_ref;
        const int64_t cycles_iq = ((cycles_in_record[c] - iq_center_cycles) % numpoints + numpoints) % numpoints;
        if (!(cr.kind == KIND_LINEAR && all && cr.ramp == 0.0)) clear();
        if (cr.kind == KIND_LINEAR) {
            const SymbolWindow& win = cr.win[g.buf];
            ShapeLinear(cr, win, b0, count, x);
            const float* I = x.i.data();
            const float* Q = x.q.data();
            // The usual case in one sweep: composite and baseband sums.
            if (all && cr.ramp == 0.0) {
                RotateAndMix(cr.cycles, numpoints, cr.phase0, cr.ramp, b0, count, A, I, Q, comp, bbi, bbq, fresh);
                fresh = 0;
            } else {
                RotateAndMix(cr.cycles, numpoints, cr.phase0, cr.ramp, b0, count, A, I, Q, comp, nullptr, nullptr, 0);
            }
            if (zi) {
                // A (I + jQ) e^(j theta'), theta' the carrier phase less the centre's.
                float* zc = x.zc.data();
                float* zs = x.zs.data();
                CarrierRotator(cycles_iq, numpoints, cr.phase0, cr.ramp, b0, count, zc, zs);
                for (int m = 0; m < count; ++m) {
                    float ai = A * I[m], aq = A * Q[m];
                    zi[m] += ai * zc[m] - aq * zs[m];
                    zq[m] += ai * zs[m] + aq * zc[m];
                }
            }
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
            if (all) {
                if (cr.ramp != 0.0) {
                    for (int m = 0; m < count; ++m) {
                        bbi[m] += gain * bI[m];
                        bbq[m] += gain * bQ[m];
                    }
                }
                for (int m = 0; m < shown; ++m) {
                    phase_i[b0 + m] += A * I[m];
                    phase_q[b0 + m] += A * Q[m];
                }
            } else if (is_ref) {
                for (int m = 0; m < count; ++m) {
                    bbi[m] = gain * bI[m];
                    bbq[m] = gain * bQ[m];
                }
                std::copy(I, I + shown, phase_i + b0);
                std::copy(Q, Q + shown, phase_q + b0);
            }
            if (captured) {
                // The carrier's symbol at each start, walked from one start to the next.
                int64_t n = 0, r = 0, prev = 0;
                for (int e = 0; e < starts; ++e) {
                    const int64_t s = b0 + x.start_at[e];
                    if (e == 0) {
                        SymbolPosition(s, cr.symbols, &n, &r);
                    } else {
                        r += (s - prev) * cr.symbols;
                        if (r >= 4 * static_cast<int64_t>(numpoints)) {
                            n += r / numpoints;
                            r %= numpoints;
                        }
                        while (r >= numpoints) {
                            r -= numpoints;
                            ++n;
                        }
                    }
                    prev = s;
                    float ci, cq;
                    CaptureLinear(cr, win, n, &ci, &cq);
                    int at = x.start_index[e];
                    if (all) {
                        phase_ic[at] += A * ci;
                        phase_qc[at] += A * cq;
                    } else {
                        phase_ic[at] = ci;
                        phase_qc[at] = cq;
                    }
                }
            }
        } else if (cr.kind == KIND_TONE) {
            CarrierRotator(cr.cycles, numpoints, cr.phase0, 0.0, b0, count, x.c.data(), x.s.data());
            const float* cs = x.c.data();
            for (int m = 0; m < count; ++m) comp[m] += A * cs[m];
            if (zi) {
                float* zc = x.zc.data();
                float* zs = x.zs.data();
                CarrierRotator(cycles_iq, numpoints, cr.phase0, 0.0, b0, count, zc, zs);
                for (int m = 0; m < count; ++m) {
                    zi[m] += A * zc[m];
                    zq[m] += A * zs[m];
                }
            }
            if (all) {
                for (int m = 0; m < count; ++m) bbi[m] += A;
            } else if (is_ref) {
                std::fill(bbi, bbi + count, A);
                std::fill(bbq, bbq + count, 0.0f);
            }
        } else if (cr.kind == KIND_ANALOG) {
            const float p = signals[c].filter_param;
            const float fm = signals[c].symbol_rate;
            const double depth = static_cast<double>(p / 100.0f);
            const double fm_index = static_cast<double>(1000.0f * p / fm);
            const double pm_index = static_cast<double>(p) * kPi / 180.0;
            for (int m = 0; m < count; ++m) {
                const int64_t s = b0 + m;
                double theta = CarrierPhase(cr.cycles, numpoints, cr.phase0, 0.0, s);
                float tone = static_cast<float>(std::sin(CarrierPhase(cr.symbols, numpoints, 0.0, 0.0, s)));
                float rfI;
                if (cr.modulation == MOD_AM)
                    rfI = A * static_cast<float>(1.0 + depth * tone) * static_cast<float>(std::sin(theta));
                else if (cr.modulation == MOD_FM)
                    rfI = A * static_cast<float>(std::sin(theta + fm_index * tone));
                else
                    rfI = A * static_cast<float>(std::sin(theta + pm_index * tone));
                comp[m] += rfI;
                if (zi) {
                    // A g sin(x) is the real part of -j A g e^(jx).
                    double rel = CarrierPhase(cycles_iq, numpoints, cr.phase0, 0.0, s);
                    float gain = A;
                    if (cr.modulation == MOD_AM) {
                        gain = A * static_cast<float>(1.0 + depth * tone);
                    } else {
                        rel += (cr.modulation == MOD_FM ? fm_index : pm_index) * tone;
                    }
                    zi[m] += gain * static_cast<float>(std::sin(rel));
                    zq[m] -= gain * static_cast<float>(std::cos(rel));
                }
            }
        } else {  // GMSK, FSK
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
                comp[m] += A * static_cast<float>(std::sin(theta + closed));
                if (zi) {
                    double rel = CarrierPhase(cycles_iq, numpoints, cr.phase0, 0.0, s) + closed;
                    zi[m] += A * static_cast<float>(std::sin(rel));
                    zq[m] -= A * static_cast<float>(std::cos(rel));
                }
                ci[m] = static_cast<float>(std::cos(closed));
                cq[m] = static_cast<float>(std::sin(closed));
                I[m] = static_cast<float>(std::cos(psi[m]));
                Q[m] = static_cast<float>(std::sin(psi[m]));
            }
            if (all) {
                for (int m = 0; m < count; ++m) {
                    bbi[m] += ci[m];
                    bbq[m] += cq[m];
                }
                // Every GMSK/FSK carrier adds its phasor to the summed display,
                // as it does to the baseband sums; writing the reference's alone
                // would drop the carriers before it in the table.
                for (int m = 0; m < shown; ++m) {
                    phase_i[b0 + m] += I[m];
                    phase_q[b0 + m] += Q[m];
                }
            } else if (is_ref) {
                std::copy(ci, ci + count, bbi);
                std::copy(cq, cq + count, bbq);
                std::copy(I, I + shown, phase_i + b0);
                std::copy(Q, Q + shown, phase_q + b0);
            }
            if (captured) {
                for (int e = 0; e < starts; ++e) {
                    int m = x.start_at[e], at = x.start_index[e];
                    if (all) {
                        phase_ic[at] += I[m];
                        phase_qc[at] += Q[m];
                    } else {
                        phase_ic[at] = I[m];
                        phase_qc[at] = Q[m];
                    }
                }
            }
        }
    }

    clear();
    g.peak_value[b] = PeakMagnitude(comp, count, 0.0f);
    g.peak_i[b] = PeakMagnitude(bbq, count, PeakMagnitude(bbi, count, 0.0f));
    if (zi) g.peak_iq[b] = PeakMagnitude(zq, count, PeakMagnitude(zi, count, 0.0f));
    if (first_pass && measure_records) {
        // Levels of the records as written (the energies are summed in block order later).
        float top_rf = 0.0f, top_iq = 0.0f;
        g.energy_rf[b] = AddPowers(&x.histograms[0], comp, nullptr, count, &top_rf);
        g.top_rf[b] = top_rf;
        if (zi) {
            g.energy_iq[b] = AddPowers(&x.histograms[1], zi, zq, count, &top_iq);
            g.top_iq[b] = top_iq;
        }
    }
}

// Symbols of segment [s0, s1) for the carriers that clock them in this pass,
// and the GMSK/FSK phases.
int PrepareSegment(int pass, int first, int last, int64_t s0, int64_t s1, int buf) {
    const int count = static_cast<int>(s1 - s0);
    for (int c = first; c < last; ++c) {
        CarrierRun& cr = runs[c];
        if (cr.kind != KIND_LINEAR && cr.kind != KIND_FM) continue;
        if (pass == -1 && cr.kind != KIND_FM) continue;
        int64_t n0, n1, r;
        SymbolPosition(s0, cr.symbols, &n0, &r);
        SymbolPosition(s1 - 1, cr.symbols, &n1, &r);
        if (FillWindow(c, buf, n0, n1 + cr.lanes - 1) != 0) return -1;
        if (cr.kind != KIND_FM) continue;

        const SymbolWindow& w = cr.win[buf];
        if (static_cast<int>(fm_pulse.size()) < count) fm_pulse.resize(count);
        double* I = fm_pulse.data();
        if (cr.filtered) {
            ShapeRun run{nullptr, nullptr, w.i.data(), w.q.data(), w.first,
                         cr.lanes, numpoints, cr.symbols, s0, count};
            ShapeFm(run, cr.table_fm.data(), I);
        } else {
            int64_t n;
            SymbolPosition(s0, cr.symbols, &n, &r);
            for (int m = 0; m < count; ++m) {
                I[m] = w.i[n + cr.taps - 1 - w.first];
                r += cr.symbols;
                if (r >= numpoints) {
                    r -= numpoints;
                    ++n;
                }
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
    int64_t n = 0, r = 0, S = 0;
    int on = 0;
    void Begin(int64_t s) {
        on = ref_clocked;
        if (!on) return;
        S = runs[ref_index].symbols;
        SymbolPosition(s, S, &n, &r);
    }
    int At(int64_t s) {
        if (!on) return 0;
        int start = s >= 1 && r < S;
        r += S;
        if (r >= numpoints) r -= numpoints;
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
        ref_clocked ? std::min<int64_t>(runs[ref_index].symbols - 1, DISPLAY_POINTS) : 0;
    std::fill(phase_ic + captured, phase_ic + DISPLAY_POINTS, 0.0f);
    std::fill(phase_qc + captured, phase_qc + DISPLAY_POINTS, 0.0f);
}

// All segments of a pass. COMPILE_DONE, COMPILE_CANCELLED or COMPILE_FAILED.
int Sweep(int pass, int first, int last) {
    const int64_t N = numpoints;
    const int64_t seg_len = SegmentLength();
    const int64_t segments = (N + seg_len - 1) / seg_len;
    const int compute = pass != -1;
    const int total_blocks = static_cast<int>((N + block_samples - 1) / block_samples);
    const int threads = compute ? std::max(1, std::min(CompileThreads(), total_blocks)) : 1;
    SizeScratch(threads);
    const int complex = iq_settings.enabled && (pass == 0 || pass == PASS_IQ);
    if (compute) {
        for (auto* v : {&segment_comp, &segment_bbi, &segment_bbq})
            if (static_cast<int64_t>(v->size()) < seg_len) v->resize(seg_len);
        if (complex)
            for (auto* v : {&segment_zi, &segment_zq})
                if (static_cast<int64_t>(v->size()) < seg_len) v->resize(seg_len);
    }
    const int measured = pass == 0 && measure_records;
    if (measured) {
        for (int t = 0; t < threads; ++t) scratch[t].histograms.resize(2);
        ClearRecordStats(&rf_record_stats);
        ClearRecordStats(&iq_record_stats);
    }
    for (int c = first; c < last; ++c) {
        if (runs[c].kind != KIND_FM || pass == -1) continue;
        for (auto& p : runs[c].psi)
            if (static_cast<int64_t>(p.size()) < seg_len) p.resize(seg_len);
    }

    PassWork work;
    work.pass = pass;
    work.first = first;
    work.last = last;
    work.complex = complex;
    std::vector<float> peaks(3 * static_cast<size_t>(segment_blocks), 0.0f);
    std::vector<double> energies(4 * static_cast<size_t>(segment_blocks), 0.0);
    work.seg.peak_value = peaks.data();
    work.seg.peak_i = peaks.data() + segment_blocks;
    work.seg.peak_iq = peaks.data() + 2 * segment_blocks;
    work.seg.energy_rf = energies.data();
    work.seg.energy_iq = energies.data() + segment_blocks;
    work.seg.top_rf = energies.data() + 2 * segment_blocks;
    work.seg.top_iq = energies.data() + 3 * segment_blocks;
    const int pooled = threads > 1 && StartWorkers(threads - 1) > 0;

    int result = COMPILE_DONE;
    int failed = PrepareSegment(pass, first, last, 0, std::min(N, seg_len), 0);
    for (int64_t k = 0; k < segments && !failed; ++k) {
        Segment& g = work.seg;
        g.s0 = k * seg_len;
        g.s1 = std::min(N, g.s0 + seg_len);
        g.buf = static_cast<int>(k % 2);
        g.blocks = static_cast<int>((g.s1 - g.s0 + block_samples - 1) / block_samples);
        const int direct = pass == 0 && store_valid == 0 && store_has[0];
        g.comp = direct && store_has[1] ? store_comp.data() + g.s0 : segment_comp.data();
        g.bbi = direct && store_has[2] ? store_bbi.data() + g.s0 : segment_bbi.data();
        g.bbq = direct && store_has[3] ? store_bbq.data() + g.s0 : segment_bbq.data();
        g.zi = direct && store_has[PASS_IQ] ? store_zi.data() + g.s0 : segment_zi.data();
        g.zq = direct && store_has[PASS_IQ] ? store_zq.data() + g.s0 : segment_zq.data();

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
            for (int64_t s = g.s0; s < std::min<int64_t>(g.s1, FFT_POINTS); ++s)
                FFT_Array[s] = g.comp[s - g.s0];
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
    if (measured && result == COMPILE_DONE) {
        for (int t = 0; t < threads; ++t) {
            AddHistogram(&rf_record_stats, &scratch[t].histograms[0]);
            AddHistogram(&iq_record_stats, &scratch[t].histograms[1]);
        }
        rf_record_stats.samples = N;
        rf_record_stats.valid = 1;
        if (complex) {
            iq_record_stats.samples = N;
            iq_record_stats.valid = 1;
        }
    } else if (measured) {
        for (int t = 0; t < threads; ++t)
            for (auto& h : scratch[t].histograms) std::memset(h.count, 0, sizeof h.count);
    }
    return result;
}

// Output pass from pass 0's kept samples.
int Replay(int pass) {
    const float* values = pass == 1   ? store_comp.data()
                          : pass == 2 ? store_bbi.data()
                          : pass == 3 ? store_bbq.data()
                                      : store_zi.data();
    const float* im = pass == PASS_IQ ? store_zq.data() : nullptr;
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

void SetCompileThreads(int threads) { engine_threads = threads > 0 ? std::min(threads, 64) : 0; }

int CompileThreads() {
    if (engine_threads > 0) return engine_threads;
    unsigned hw = std::thread::hardware_concurrency();
    return hw == 0 ? 1 : static_cast<int>(std::min(hw, 64u));
}

void SetCompileBlocking(int block, int blocks_per_segment) {
    block_samples = block >= 64 ? block : COMPILE_BLOCK;
    segment_blocks = blocks_per_segment >= 1 ? blocks_per_segment : COMPILE_SEGMENT_BLOCKS;
    store_valid = 0;
}

void SetCompileStoreBudget(int64_t bytes) {
    store_budget = bytes > 0 ? bytes : 0;
    store_valid = 0;
}

void LoopStepInit(int pass, int carrier_count, int* first, int* last) {
    static const char* const texts[] = {"FSK preprocessing..", "Compiling..", "Sending RF..",
                                        "Sending Baseband I..", "Sending Baseband Q..", "Sending I/Q.."};
    if (pass >= -1 && pass <= PASS_IQ) ReportStatus(texts[pass + 1]);
    *first = 0;
    *last = carrier_count;
    int ref = globals.reference_carrier >= 1 ? globals.reference_carrier - 1 : -1;
    if ((pass == 2 || pass == 3) && globals.baseband_all_carriers == 0 && ref >= 0 && ref < carrier_count) {
        *first = ref;
        *last = ref + 1;
    }
}

int PlanRecord() {
    kernels_ready = 0;
    store_valid = 0;
    int count = 0;
    while (count < MAX_CARRIERS && signals[count].frequency_hz >= 0.0f) ++count;
    if (count == 0) return Refuse("The carrier table is empty: there is nothing to compile.");
    const int ref = globals.reference_carrier >= 1 ? globals.reference_carrier - 1 : -1;
    if (ref < 0 || ref >= count)
        return Refuse("No reference carrier: choose one of the %d carriers of the table as the reference.",
                      count);
    double f_max = 0.0;
    for (int i = 0; i < count; ++i) {
        const Carrier& c = signals[i];
        if (!std::isfinite(c.frequency_hz) || !std::isfinite(c.symbol_rate))
            return Refuse("Carrier %d: its frequency or symbol rate is not a finite number.", i + 1);
        if (CheckCarrierNumbers(i) != 0) return -1;
        f_max = std::max(f_max, static_cast<double>(c.frequency_hz));
    }
    // A code outside its table would compile into silence.
    const std::string code_problem = CarrierCodeProblem(signals, count);
    if (!code_problem.empty()) return Refuse("%s", code_problem.c_str());
    if (!(f_max > 0.0))
        return Refuse("The highest carrier frequency is 0 Hz: there is no sample clock to plan the record with.");
    const double R = globals.sample_clock;
    if (!(R > 0.0) || !std::isfinite(R))
        return Refuse("The sample clock ratio must be greater than 0 (it is %g).", R);
    const Carrier& rc = signals[ref];
    const double N = globals.compile_length;

    double clock, points;
    if (globals.compile_mode == 0) {
        if (N < 1) return Refuse("The record length must be at least 1 sample.");
        double F = std::floor(static_cast<double>(rc.frequency_hz) * N / (R * f_max) + 0.5);
        if (!(F >= 1.0))
            return Refuse("The reference carrier (%g Hz) completes no cycle in the record: "
                          "there is no sample clock to plan the record with.",
                          static_cast<double>(rc.frequency_hz));
        clock = static_cast<double>(rc.frequency_hz) * N / F;
        points = N;
    } else if (globals.compile_mode == 1) {
        if (N < 1) return Refuse("The record length must be at least 1 symbol.");
        if (!(rc.symbol_rate > 0.0f))
            return Refuse("The reference carrier needs a symbol rate above 0 to plan the record in symbols.");
        clock = R * f_max;
        points = std::floor(clock * N / rc.symbol_rate + 0.5);
        const double G = globals.record_granularity >= 1 ? globals.record_granularity : 1;
        points = std::floor(points / G + 0.5) * G;
        if (!(points >= 1.0))
            return Refuse("The record rounds to no samples: there is no sample clock to plan the record with.");
        clock = points * rc.symbol_rate / N;
    } else {
        return Refuse("Unknown compile mode %d.", globals.compile_mode);
    }
    if (points > globals.max_record_length)
        return Refuse("Not enough record length in target\nThe record needs %.0f samples; the target holds at most %d.",
                      points, globals.max_record_length);
    if (CheckRecordSize(points) != 0) return -1;
    if (!(clock > 0.0) || !std::isfinite(clock))
        return Refuse("The plan gives no usable sample clock.");

    // Grid every carrier; nothing is written unless all of them fit.
    float new_rate[MAX_CARRIERS], new_freq[MAX_CARRIERS];
    int32_t new_symbols[MAX_CARRIERS];
    int64_t new_cycles[MAX_CARRIERS];
    for (int i = 0; i < count; ++i) {
        const Carrier& c = signals[i];
        new_rate[i] = c.symbol_rate;
        new_symbols[i] = 0;
        if (c.modulation != MOD_NONE) {
            double S = std::floor(static_cast<double>(c.symbol_rate) * points / clock + 0.5);
            if (c.modulation == MOD_DQPSK || c.modulation == MOD_O8PSK) S = std::floor(S / 2.0) * 2.0;
            if (!(S >= 1.0))
                return Refuse("Carrier %d: its %s (%g) rounds to no %s in the record.", i + 1,
                              IsAnalog(c.modulation) ? "tone frequency" : "symbol rate",
                              static_cast<double>(c.symbol_rate),
                              IsAnalog(c.modulation) ? "cycle" : "symbol");
            if (S > points)
                return Refuse("Carrier %d: its %s (%g) is above the sample clock (%g Hz).", i + 1,
                              IsAnalog(c.modulation) ? "tone frequency" : "symbol rate",
                              static_cast<double>(c.symbol_rate), clock);
            new_symbols[i] = static_cast<int32_t>(S);
            new_rate[i] = static_cast<float>(S * clock / points);
        }
        double F = std::floor(static_cast<double>(c.frequency_hz) * points / clock + 0.5);
        if (F >= 9.0e18)
            return Refuse("Carrier %d: its frequency is too high for the record.", i + 1);
        new_cycles[i] = static_cast<int64_t>(F);
        new_freq[i] = static_cast<float>(F * clock / points);
    }

    numpoints = static_cast<int32_t>(points);
    record_clock = clock;
    compile_carriers = count;
    ref_index = ref;
    fm_present = 0;
    for (int i = 0; i < MAX_CARRIERS; ++i) {
        symbols_in_record[i] = 0;
        samples_per_symbol[i] = 0.0f;
        cycles_in_record[i] = 0;
    }
    for (int i = 0; i < count; ++i) {
        Carrier& c = signals[i];
        c.symbol_rate = new_rate[i];
        c.frequency_hz = new_freq[i];
        symbols_in_record[i] = new_symbols[i];
        if (new_symbols[i] > 0)
            samples_per_symbol[i] = static_cast<float>(points) / static_cast<float>(new_symbols[i]);
        cycles_in_record[i] = new_cycles[i];
        if (IsFrequencyModulated(c.modulation)) fm_present = 1;
    }
    int ref_kind = KindOf(signals[ref].modulation);
    ref_clocked = ref_kind == KIND_LINEAR || ref_kind == KIND_FM;
    pointperiod = samples_per_symbol[ref];
    return 0;
}

int DesignFilters() {
    kernels_ready = 0;
    store_valid = 0;
    for (int i = 0; i < compile_carriers; ++i) {
        const Carrier& c = signals[i];
        int kind = KindOf(c.modulation);
        if ((kind == KIND_LINEAR || kind == KIND_FM) &&
            (c.filter_length < 1 || c.filter_length > MAX_FILTER_LENGTH))
            return Refuse("Carrier %d: the filter length must be 1 to %d symbols, not %d", i + 1,
                          MAX_FILTER_LENGTH, c.filter_length);
        if (BuildFilter(i) == -1) return -1;
        ApplyWindow(i, c.filter_length);
        if (kind == KIND_FM) WarnSteadyDeviation(i);
    }
    return 0;
}

int RunPass(int pass, const CompileTargets* targets) {
    if (pass < -1 || pass > PASS_IQ) return COMPILE_FAILED;
    if (numpoints < 1 || compile_carriers < 1 || ref_index < 0) {
        Refuse("The record has not been planned.");
        return COMPILE_REFUSED;
    }
    if (pass == 1) ReportAnalysis(ANALYSIS_RF_PASS);
    int first, last;
    LoopStepInit(pass, compile_carriers, &first, &last);
    ResetGenerators();
    if (!kernels_ready) BuildKernels();

    if (pass == 0) {
        const_points = 0;
        max_value = max_i = max_iq = 0.0f;
        store_valid = 0;
        store_has[1] = globals.output_rf != 0;
        store_has[2] = globals.output_baseband_i != 0;
        store_has[3] = globals.output_baseband_q != 0;
        store_has[PASS_IQ] = iq_settings.enabled != 0;
        if (!targets) store_has[1] = store_has[2] = store_has[3] = store_has[PASS_IQ] = 0;
        int64_t bytes = static_cast<int64_t>(numpoints) * 4 *
                        (store_has[1] + store_has[2] + store_has[3] + 2 * store_has[PASS_IQ]);
        store_has[0] = bytes > 0 && bytes <= store_budget;
        if (store_has[0]) {
            if (store_has[1]) store_comp.resize(numpoints);
            if (store_has[2]) store_bbi.resize(numpoints);
            if (store_has[3]) store_bbq.resize(numpoints);
            if (store_has[PASS_IQ]) {
                store_zi.resize(numpoints);
                store_zq.resize(numpoints);
            }
        }
    }
    if (pass >= 1) {
        OutputSink* sink = targets ? targets->sink[pass] : nullptr;
        if (BeginPassOutput(pass, sink) != 0) return COMPILE_FAILED;
        if (store_valid && store_has[0] && store_has[pass]) return Replay(pass);
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
        if (runs[c].kind == KIND_FM) GMSK_acum[c] = static_cast<float>(runs[c].fm_raw);
    if (result != COMPILE_DONE) {
        if (pass >= 1) AbortPassOutput(pass);
        return result;
    }

    if (pass == -1) {
        for (int c = first; c < last; ++c) {
            const CarrierRun& cr = runs[c];
            if (cr.kind != KIND_FM) continue;
            double corr = cr.fm_x * cr.fm_radians;  // fm_x is already within one turn
            if (corr > kPi) corr -= kTwoPi;
            GMSK_corr[c] = static_cast<float>(corr);
        }
    } else if (pass == 0) {
        for (int s = numpoints; s < FFT_POINTS; ++s) FFT_Array[s] = FFT_Array[s % numpoints];
        const_points = ref_clocked ? static_cast<int32_t>(std::min<int64_t>(runs[ref_index].symbols - 1,
                                                                              DISPLAY_POINTS))
                                   : 0;
        if (globals.normalization_mode == 1) max_iq = max_i = max_value = globals.normalization_level;
        store_valid = store_has[0];
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
    store_valid = 0;
    rf_record_stats.valid = iq_record_stats.valid = 0;
    if (PlanRecord() != 0) return COMPILE_REFUSED;
    if (PlanComplexCenter() != 0) return COMPILE_REFUSED;
    static const char* const names[] = {"", "RF", "baseband I", "baseband Q", "I/Q"};
    const int enabled[PASS_IQ + 1] = {0, globals.output_rf != 0, globals.output_baseband_i != 0,
                                      globals.output_baseband_q != 0, iq_settings.enabled != 0};
    if (targets) {
        for (int p = 1; p <= PASS_IQ; ++p) {
            if (enabled[p] && !targets->sink[p]) {
                Refuse("No destination for the %s output.", names[p]);
                return COMPILE_REFUSED;
            }
        }
    }
    if (DesignFilters() != 0) return COMPILE_REFUSED;
    ReportAnalysis(ANALYSIS_PLANNED);
    std::fill(std::begin(GMSK_corr), std::end(GMSK_corr), 0.0f);
    const_points = 0;

    int result;
    if (fm_present && (result = RunPass(-1, targets)) != COMPILE_DONE) return result;
    if ((result = RunPass(0, targets)) != COMPILE_DONE) return result;
    if (CheckRecordPeaks() != 0) return COMPILE_FAILED;
    if (!targets) return COMPILE_DONE;
    for (int p = 1; p <= PASS_IQ; ++p) {
        if (!enabled[p]) continue;
        if ((result = RunPass(p, targets)) != COMPILE_DONE) return result;
    }
    return COMPILE_DONE;
}

int PlanComplexCenter() {
    const double N = numpoints;
    double center = iq_settings.center_hz;
    if (!(center > 0.0)) {
        // The middle of the band the carriers occupy.
        double low = 0.0, high = 0.0;
        for (int c = 0; c < compile_carriers; ++c) {
            const double f = signals[c].frequency_hz, half = OccupiedBandwidth(signals[c]) / 2.0;
            low = c == 0 ? f - half : std::min(low, f - half);
            high = c == 0 ? f + half : std::max(high, f + half);
        }
        center = (low + high) / 2.0;
    }
    // On the record grid: a whole number of cycles, so that the record still closes.
    const double cycles = std::floor(center * N / record_clock + 0.5);
    if (!std::isfinite(cycles) || std::fabs(cycles) > 1e15) {
        Refuse("The centre frequency %g MHz does not fit the record.", center / 1e6);
        return -1;
    }
    iq_center_cycles = static_cast<int64_t>(cycles);
    iq_center_hz = cycles * record_clock / N;
    return 0;
}
