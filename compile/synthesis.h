// How the compile engine synthesises a carrier of each modulation: the
// branch of its per-block loop, and the predicates the plan and the symbol
// set-up ask. Looked up once per carrier and run, never per sample.
#pragma once

#include "shell/codes.h"

enum SynthesisKind : int {
    SYNTH_TONE,     // MOD_NONE: the bare carrier
    SYNTH_ANALOG,   // AM, FM, PM by a tone
    SYNTH_FM,       // GMSK, FSK: a running phase from the frequency pulse
    SYNTH_LINEAR,   // symbols shaped by the pulse onto I and Q
};

inline bool IsAnalog(int m) { return m == MOD_AM || m == MOD_FM || m == MOD_PM; }
inline bool IsFrequencyModulated(int m) { return m == MOD_GMSK || (m >= MOD_2FSK && m <= MOD_32FSK); }
inline bool IsIqFile(int m) { return m == MOD_FILE1 || m == MOD_FILE2; }
inline bool IsQuarterShift(int m) { return m == MOD_8VSB || m == MOD_16VSB || m == MOD_SSB; }
inline bool IsDvbGroup(int m) {
    return m == MOD_DVBC16 || m == MOD_DVBC32 || m == MOD_DVBC64 || m == MOD_DVBC256;
}
inline int KindOf(int m) {
    if (m == MOD_NONE) return SYNTH_TONE;
    if (IsAnalog(m)) return SYNTH_ANALOG;
    if (IsFrequencyModulated(m)) return SYNTH_FM;
    return SYNTH_LINEAR;
}
