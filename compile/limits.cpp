#include "compile/limits.h"

#include <cmath>
#include <cstdio>

#include "compile/engine.h"
#include "compile/output.h"
#include "shell/hooks.h"
#include "shell/modtraits.h"
#include "shell/uldo.h"

namespace {

// One field: finite and at most `limit` in magnitude.
int CheckField(int c, const char* field, float value, double limit) {
    if (!std::isfinite(value))
        return CompileError("Carrier %d: its %s is not a finite number (%g).", c + 1, field, static_cast<double>(value));
    if (std::fabs(value) > limit)
        return CompileError("Carrier %d: its %s %g is out of range: at most %g in magnitude.", c + 1, field,
                      static_cast<double>(value), limit);
    return 0;
}

bool UsesFilterParam(const Carrier& r) {
    const int kind = ModKind(r.modulation);
    if (kind == MOD_KIND_ANALOG) return true;  // depth, deviation or phase swing
    if (kind == MOD_KIND_TONE || r.filter_type == FILTER_NONE) return false;
    int t = r.filter_type;
    return t == FILTER_RCOS || t == FILTER_SQRT_RCOS || t == FILTER_GAUSS || t == FILTER_GAUSS2 ||
           t == FILTER_EDGE || (t >= FILTER_BUTTER1 && t <= FILTER_BUTTER10);
}

}  // namespace

int CheckCarrierNumbers(int c) {
    if (c < 0 || c >= MAX_CARRIERS) return -1;
    const Carrier& r = signals[c];
    if (!std::isfinite(r.frequency_hz) || !std::isfinite(r.symbol_rate))
        return CompileError("Carrier %d: its frequency or symbol rate is not a finite number.", c + 1);
    if (CheckField(c, "amplitude", r.amplitude, LEVEL_LIMIT) != 0) return -1;
    if (r.amplitude != 0.0f && std::fabs(r.amplitude) < AMPLITUDE_FLOOR)
        return CompileError("Carrier %d: its amplitude %g is too small to state its power: at least %g, or 0 for a "
                      "silent carrier.",
                      c + 1, static_cast<double>(r.amplitude), AMPLITUDE_FLOOR);
    if (CheckField(c, "phase_deg", r.phase_deg, LEVEL_LIMIT) != 0) return -1;
    if (UsesFilterParam(r) && CheckField(c, "filter_param", r.filter_param, LEVEL_LIMIT) != 0) return -1;
    if (ModTraits(r.modulation).fsk_levels > 0 &&
        CheckField(c, "deviation_hz", r.deviation_hz, 1e12) != 0)
        return -1;
    const struct {
        int32_t type;
        float value, value2;
        const char* name;
        const char* name2;
    } slots[3] = {
        {r.impairment1_type, r.impairment1_value, r.impairment1_value2, "impairment1_value", "impairment1_value2"},
        {r.impairment2_type, r.impairment2_value, r.impairment2_value2, "impairment2_value", "impairment2_value2"},
        {r.impairment3_type, r.impairment3_value, r.impairment3_value2, "impairment3_value", "impairment3_value2"},
    };
    for (const auto& s : slots) {
        if (s.type == IMPAIRMENT_NONE) continue;
        if (CheckField(c, s.name, s.value, LEVEL_LIMIT) != 0 || CheckField(c, s.name2, s.value2, LEVEL_LIMIT) != 0)
            return -1;
    }
    if (ModTraits(r.modulation).family == FAMILY_3GPP) {
        // Levels in dB: 10^(200/20) is still a finite factor.
        if (CheckField(c, "psch_level_db", r.psch_level_db, 200.0) != 0 ||
            CheckField(c, "ssch_level_db", r.ssch_level_db, 200.0) != 0)
            return -1;
    }
    return 0;
}

int64_t LargestRecord(int instrument_type, int destination) {
    const int64_t block = 999999999;  // nine length digits
    // The instrument's MMEM:DATA block wraps the file's own block, its magic
    // line and the clock trailer (at most 64 bytes together).
    const int64_t wrapped = destination == 0 || destination == 2 ? 64 : 0;
    const InstrumentTraits* traits = InstrumentTraitsOf(instrument_type);
    switch (traits ? traits->family : -1) {
    case OUTPUT_WFM: return (block - wrapped) / 5;
    case OUTPUT_PAT: return (block - wrapped) / 2;
    case OUTPUT_CURVE:
        // The native file counts its samples in a 32-bit header field.
        return destination == 1 || destination == 3 ? INT32_MAX : block / 2;
    case OUTPUT_EMEMORY: return block / 2;
    default: return INT32_MAX;
    }
}

int CheckRecordSize(double points) {
    if (!globals.output_rf && !globals.output_baseband_i && !globals.output_baseband_q) return 0;
    int64_t largest = LargestRecord(globals.instrument_type, globals.output_destination);
    if (points <= static_cast<double>(largest)) return 0;
    const InstrumentTraits* traits = InstrumentTraitsOf(globals.instrument_type);
    return CompileError("The record of %.0f samples does not fit a %s waveform: it holds at most %lld samples.", points,
                        traits ? traits->family_name : "", static_cast<long long>(largest));
}

int CheckRecordPeaks() {
    const bool baseband = globals.output_baseband_i || globals.output_baseband_q;
    if (!std::isfinite(max_value) || (baseband && !std::isfinite(max_i)))
        return CompileError("The record's peak is not a finite number: nothing is written.");
    if (max_value == 0.0f)
        ReportMessage("WARNING", "The record is silent (its peak is 0): it is written as silence.");
    return 0;
}
