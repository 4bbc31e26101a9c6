// How the compile engine synthesises a carrier: the branch of its per-block
// loop, from the modulation's traits (shell/modtraits.h). Looked up once per
// carrier and plan, never per sample.
#pragma once

#include "shell/modtraits.h"

enum SynthesisKind : int {
    SYNTH_TONE,     // the bare carrier
    SYNTH_ANALOG,   // AM, FM, PM by a tone
    SYNTH_FM,       // GMSK, FSK: a running phase from the frequency pulse
    SYNTH_LINEAR,   // symbols (mapped, chips, table entries, file pairs) shaped onto I and Q
};

inline int SynthesisKindOf(int modulation) {
    switch (ModKind(modulation)) {
    case MOD_KIND_TONE: return SYNTH_TONE;
    case MOD_KIND_ANALOG: return SYNTH_ANALOG;
    case MOD_KIND_FM: return SYNTH_FM;
    default: return SYNTH_LINEAR;
    }
}
