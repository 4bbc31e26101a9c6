// The plan of a record (clock, length, every carrier on the record grid),
// the centre of the complex record and the pulse designs of a run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "compile/engine.h"
#include "compile/iqformats.h"
#include "compile/limits.h"
#include "compile/synthesis.h"
#include "modulation/mapper.h"
#include "shaping/filters.h"
#include "shaping/windows.h"
#include "shell/codes.h"
#include "shell/hooks.h"

namespace {

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
    if (ModTraits(rec.modulation).fsk_levels == 0) {   // GMSK
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

// Every carrier on the record grid of `points` samples at `clock`: whole
// symbols (tone cycles) and carrier cycles. 0, or -1 after a message.
int GridCarriers(int count, double points, double clock, float* new_rate, float* new_freq, int32_t* new_symbols,
                 int64_t* new_cycles) {
    for (int i = 0; i < count; ++i) {
        const Carrier& c = signals[i];
        new_rate[i] = c.symbol_rate;
        new_symbols[i] = 0;
        const ModulationTraits& traits = ModTraits(c.modulation);
        const bool analog = traits.kind == MOD_KIND_ANALOG;
        if (traits.kind != MOD_KIND_TONE) {
            double S = std::floor(static_cast<double>(c.symbol_rate) * points / clock + 0.5);
            if (traits.even_symbols) S = std::floor(S / 2.0) * 2.0;
            if (!(S >= 1.0))
                return CompileError("Carrier %d: its %s (%g) rounds to no %s in the record.", i + 1,
                              analog ? "tone frequency" : "symbol rate", static_cast<double>(c.symbol_rate),
                              analog ? "cycle" : "symbol");
            if (S > points)
                return CompileError("Carrier %d: its %s (%g) is above the sample clock (%g Hz).", i + 1,
                              analog ? "tone frequency" : "symbol rate",
                              static_cast<double>(c.symbol_rate), clock);
            new_symbols[i] = static_cast<int32_t>(S);
            new_rate[i] = static_cast<float>(S * clock / points);
        }
        double F = std::floor(static_cast<double>(c.frequency_hz) * points / clock + 0.5);
        if (F >= 9.0e18)
            return CompileError("Carrier %d: its frequency is too high for the record.", i + 1);
        new_cycles[i] = static_cast<int64_t>(F);
        new_freq[i] = static_cast<float>(F * clock / points);
    }

    return 0;
}

}  // namespace

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
    engine_state.kernels_ready = 0;
    engine_state.store_valid = 0;
    int count = 0;
    while (count < MAX_CARRIERS && signals[count].frequency_hz >= 0.0f) ++count;
    if (count == 0) return CompileError("The carrier table is empty: there is nothing to compile.");
    const int ref = globals.reference_carrier >= 1 ? globals.reference_carrier - 1 : -1;
    if (ref < 0 || ref >= count)
        return CompileError("No reference carrier: choose one of the %d carriers of the table as the reference.",
                      count);
    double f_max = 0.0;
    for (int i = 0; i < count; ++i) {
        const Carrier& c = signals[i];
        if (CheckCarrierNumbers(i) != 0) return -1;
        f_max = std::max(f_max, static_cast<double>(c.frequency_hz));
    }
    // A code outside its table would compile into silence.
    const std::string code_problem = CarrierCodeProblem(signals, count);
    if (!code_problem.empty()) return CompileError("%s", code_problem.c_str());
    if (!(f_max > 0.0))
        return CompileError("The highest carrier frequency is 0 Hz: there is no sample clock to plan the record with.");
    const double R = globals.sample_clock;
    if (!(R > 0.0) || !std::isfinite(R))
        return CompileError("The sample clock ratio must be greater than 0 (it is %g).", R);
    const Carrier& rc = signals[ref];
    const double N = globals.compile_length;

    double clock, points;
    if (globals.compile_mode == 0) {
        if (N < 1) return CompileError("The record length must be at least 1 sample.");
        double F = std::floor(static_cast<double>(rc.frequency_hz) * N / (R * f_max) + 0.5);
        if (!(F >= 1.0))
            return CompileError("The reference carrier (%g Hz) completes no cycle in the record: "
                          "there is no sample clock to plan the record with.",
                          static_cast<double>(rc.frequency_hz));
        clock = static_cast<double>(rc.frequency_hz) * N / F;
        points = N;
    } else if (globals.compile_mode == 1) {
        if (N < 1) return CompileError("The record length must be at least 1 symbol.");
        if (!(rc.symbol_rate > 0.0f))
            return CompileError("The reference carrier needs a symbol rate above 0 to plan the record in symbols.");
        clock = R * f_max;
        points = std::floor(clock * N / rc.symbol_rate + 0.5);
        const double G = globals.record_granularity >= 1 ? globals.record_granularity : 1;
        points = std::floor(points / G + 0.5) * G;
        if (!(points >= 1.0))
            return CompileError("The record rounds to no samples: there is no sample clock to plan the record with.");
        clock = points * rc.symbol_rate / N;
    } else {
        return CompileError("Unknown compile mode %d.", globals.compile_mode);
    }
    if (points > globals.max_record_length)
        return CompileError("Not enough record length in target\nThe record needs %.0f samples; the target holds at most %d.",
                      points, globals.max_record_length);
    if (CheckRecordSize(points) != 0) return -1;
    if (!(clock > 0.0) || !std::isfinite(clock))
        return CompileError("The plan gives no usable sample clock.");

    // Grid every carrier; nothing is written unless all of them fit.
    float new_rate[MAX_CARRIERS], new_freq[MAX_CARRIERS];
    int32_t new_symbols[MAX_CARRIERS];
    int64_t new_cycles[MAX_CARRIERS];
    if (GridCarriers(count, points, clock, new_rate, new_freq, new_symbols, new_cycles) != 0) return -1;

    numpoints = static_cast<int32_t>(points);
    record_clock = clock;
    compile_carriers = count;
    engine_state.ref_index = ref;
    engine_state.fm_present = 0;
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
        if (ModKind(c.modulation) == MOD_KIND_FM) engine_state.fm_present = 1;
    }
    int ref_kind = SynthesisKindOf(signals[ref].modulation);
    engine_state.ref_clocked = ref_kind == SYNTH_LINEAR || ref_kind == SYNTH_FM;
    pointperiod = samples_per_symbol[ref];
    return 0;
}

int DesignFilters() {
    engine_state.kernels_ready = 0;
    engine_state.store_valid = 0;
    for (int i = 0; i < compile_carriers; ++i) {
        const Carrier& c = signals[i];
        int kind = SynthesisKindOf(c.modulation);
        // A clocked carrier's length sizes its symbol history, filtered or not.
        if ((kind == SYNTH_LINEAR || kind == SYNTH_FM) && CheckFilterLength(i, c.filter_length) != 0) return -1;
        if (BuildFilter(i) == -1) return -1;
        ApplyWindow(i, c.filter_length);
        if (kind == SYNTH_FM) WarnSteadyDeviation(i);
    }
    return 0;
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
        CompileError("The centre frequency %g MHz does not fit the record.", center / 1e6);
        return -1;
    }
    iq_center_cycles = static_cast<int64_t>(cycles);
    iq_center_hz = cycles * record_clock / N;
    return 0;
}
