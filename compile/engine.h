// The compile engine: plans the record from the carrier table, designs the
// pulse filters and runs the passes over the record, handing every sample of
// an output pass to the output stage (compile/output.h).
//
// Both drivers use it the same way:
//     - prepare the outputs (file dialog / command line, FTP login ...) and
//       fill a CompileTargets with one sink per enabled output pass;
//     - put the main panel's comment text into `comment`;
//     - CompileTable(&targets) (status, progress, cancel and the analysis
//       moments come through core_hooks, shell/hooks.h);
//     - on COMPILE_DONE the results below stay valid until the next run.
//
// The run:
//     PlanRecord          the record clock, length and every carrier's cycles and
//                         symbols (rounded values written back into `signals`)
//     DesignFilters       BuildFilter and ApplyWindow per carrier
//     ANALYSIS_PLANNED    hook: plan and pulses ready (panel set-up, table refresh)
//     pass -1             only with GMSK/FSK carriers: their phase closure
//     pass 0              display buffers, constellation, peaks, FFT_Array
//     ANALYSIS_COMPILED   hook: end of pass 0, after fixed normalisation
//     passes 1, 2, 3      one per enabled output (output_rf, output_baseband_i,
//                         output_baseband_q); ANALYSIS_RF_PASS before pass 1
//
// Timing: the carriers' symbol and carrier clocks are exact integer ratios of
// the record (F cycles and S symbols in N samples), so the record closes on
// itself at any length. Work is split into blocks of samples computed on all
// cores; every sum is formed in carrier order inside one block, so the result
// does not depend on the number of threads. Progress and the cancel poll come
// once per segment (COMPILE_SEGMENT_BLOCKS blocks of COMPILE_BLOCK samples).
#pragma once

#include <cstdint>
#include <vector>

#include "compile/output.h"
#include "shell/uldo.h"

constexpr int DISPLAY_POINTS = 500000;   // phase_i, phase_q, phase_ic, phase_qc
constexpr int FFT_POINTS = 8192;         // FFT_Array
constexpr int COMPILE_BLOCK = 16384;       // samples per unit of parallel work
constexpr int COMPILE_SEGMENT_BLOCKS = 8;  // blocks between progress reports / cancel polls

// Results of CompileTable.
enum CompileResult : int {
    COMPILE_DONE = 0,
    COMPILE_CANCELLED = 1,  // CancelRequested() during a pass; the output of that pass was aborted
    COMPILE_REFUSED = 2,    // the plan or a filter was refused before any pass (message shown)
    COMPILE_FAILED = 3,     // a pass failed: file, symbol source or output error (message shown)
};

// Moments of the run at which the analysis display reads the globals
// (core_hooks.analysis).
enum AnalysisMoment : int {
    ANALYSIS_PLANNED = 1,   // plan rounded into the table, pulses designed
    ANALYSIS_RF_PASS = 2,   // start of the RF output pass (power readout)
    ANALYSIS_COMPILED = 3,  // end of pass 0, after fixed normalisation (spectrum, I/Q plot)
};

// The complex-baseband pass (iq_settings.enabled, compile/iqformats.h): the
// record z(s) = sum of A (I + jQ) e^(j (theta(s) - 2 pi F0 s / fs)) over the
// carriers (analog and FM carriers by their analytic signal), F0 the centre
// on the record grid, so that Re(z e^(j 2 pi F0 s / fs)) is the RF record.
constexpr int PASS_IQ = 4;

// One sink per output pass: sink[1] composite (RF), sink[2] baseband I,
// sink[3] baseband Q, sink[4] the complex record. An enabled output whose
// sink is null is refused; a null CompileTargets runs without output passes.
struct CompileTargets {
    OutputSink* sink[PASS_IQ + 1];
};

// ---------------------------------------------------------------------------
// Results, valid after a run until the next one. Written by the engine alone
// (PlanRecord the plan, pass 0 the displays and peaks); read by the drivers,
// the displays, the reports and the tests; ResetEngineState zeroes them.
extern int32_t numpoints;          // record length in samples
extern float pointperiod;          // samples per symbol of the reference carrier
extern double record_clock;        // sample rate of the record, Hz
extern float phase_i[DISPLAY_POINTS];   // baseband I, first DISPLAY_POINTS samples
extern float phase_q[DISPLAY_POINTS];
extern float phase_ic[DISPLAY_POINTS];  // baseband at each reference symbol start
extern float phase_qc[DISPLAY_POINTS];
extern int32_t const_points;       // entries of phase_ic/phase_qc in use
extern float max_value;            // peak |composite|
extern float max_i;                // peak of |baseband I| and |baseband Q|
extern float max_iq;               // peak of |I| and |Q| of the complex record (when it is computed)
extern double iq_center_hz;        // F0 of the complex record, on the record grid
extern int64_t iq_center_cycles;   // F0 in cycles of the record
// First FFT_POINTS composite samples of pass 0 (a shorter record repeats, as
// the instrument plays it).
extern double FFT_Array[FFT_POINTS];

// The plan, per carrier (index into `signals`).
extern int32_t compile_carriers;                    // carriers taking part
extern int32_t symbols_in_record[MAX_CARRIERS];     // S; tone cycles of AM/FM/PM carriers
extern float samples_per_symbol[MAX_CARRIERS];      // N / S
extern int64_t cycles_in_record[MAX_CARRIERS];      // carrier cycles F (any size)

// ---------------------------------------------------------------------------
// The engine's own state between the steps of a run. Written by PlanRecord,
// DesignFilters, RunPass and the Set* functions below; read by the engine
// alone (tests may look). The plan fields are valid from PlanRecord to the
// next plan; the kept samples while store_valid.
struct EngineState {
    int ref_index = -1;      // the reference carrier (index into signals)
    int ref_clocked = 0;     // the reference carrier runs a symbol clock
    int fm_present = 0;      // a GMSK or FSK carrier takes part (pass -1 runs)
    int kernels_ready = 0;   // the carriers' coefficient tables match the plan
    int threads = 0;         // SetCompileThreads; 0: the machine's hardware threads
    int block_samples = COMPILE_BLOCK;
    int segment_blocks = COMPILE_SEGMENT_BLOCKS;
    int64_t store_budget = int64_t(1) << 30;
    // Pass 0's samples, kept for the output passes (store_zi/zq: the complex
    // record); store_has[0]: they fit the budget, store_has[p]: pass p is kept.
    std::vector<float> store_comp, store_bbi, store_bbq, store_zi, store_zq;
    int store_has[PASS_IQ + 1] = {};
    int store_valid = 0;
    // One segment of every output, and the GMSK/FSK frequency pulse of one.
    std::vector<float> segment_comp, segment_bbi, segment_bbq, segment_zi, segment_zq;
    std::vector<double> fm_pulse;
};
extern EngineState engine_state;

// Back to a fresh start: the state above, the carriers' tables and the
// results (tests; ResetCoreState calls it).
void ResetEngineState();

// ---------------------------------------------------------------------------
// The whole run. Clears the display buffers and peaks, plans, designs the
// filters and runs the passes. Returns a CompileResult.
int CompileTable(const CompileTargets* targets);

// Plans the record and rounds every taking-part carrier's frequency_hz and
// symbol_rate onto the record grid. Fills numpoints, record_clock, pointperiod,
// compile_carriers, symbols_in_record, samples_per_symbol, cycles_in_record.
// 0, or -1 after a "COMPILATION ERROR" message (the table is then unchanged).
int PlanRecord();

// The centre of the complex record after PlanRecord: iq_settings.center_hz,
// or the middle of the occupied band, rounded onto the record grid. 0, or -1
// after a message.
int PlanComplexCenter();

// BuildFilter and ApplyWindow for every taking-part carrier in table order.
// 0, or -1 when a filter could not be built (BuildFilter's message).
int DesignFilters();

// Status text of the pass and the carriers it covers (first .. last-1):
// -1 "FSK preprocessing..", 0 "Compiling..", 1 "Sending RF..",
// 2 "Sending Baseband I..", 3 "Sending Baseband Q.." (2 and 3: only the
// reference carrier unless baseband_all_carriers is set).
void LoopStepInit(int pass, int carrier_count, int* first, int* last);

// One pass of a planned run (PlanRecord, DesignFilters, GMSK_corr cleared,
// const_points 0). Passes 1..3 need their sink in targets. Returns a
// CompileResult. Output passes replay pass 0's samples when they were kept
// (they are unless the record exceeds the memory budget).
int RunPass(int pass, const CompileTargets* targets);

// Threads used for the passes (default: the machine's hardware threads).
// Results do not depend on it; tests set it.
void SetCompileThreads(int threads);
int CompileThreads();

// Block size and blocks per segment (defaults COMPILE_BLOCK and
// COMPILE_SEGMENT_BLOCKS); small values let tests cross every boundary on
// short records. Results do not depend on them.
void SetCompileBlocking(int block_samples, int segment_blocks);

// Bytes the engine may hold to replay pass 0 in the output passes (default
// 1 GiB); above it each output pass computes the record again.
void SetCompileStoreBudget(int64_t bytes);
