// The carrier assistant: a comb of evenly spaced carriers with the same
// settings, stepped or random phases and PRBS seeds shifted from carrier to
// carrier. The GUI's assistant and `uldoc assist` both call GenerateComb.
#pragma once

#include <cstdint>

#include "editors/carrieredit.h"

struct CombRequest {
    int count;              // N carriers
    double start_mhz;       // frequency of the first
    double spacing_mhz;     // between neighbours
    int random_phase;       // 0: phase k = k * phase_step; otherwise random
    double phase_step;      // degrees
    int prbs_shift;         // generator steps between the seeds of neighbours
    int prbs_iq_equal;
    CarrierForm form;       // the settings every new carrier gets
};

// Appends the comb behind the table's carriers. Each new carrier's record
// keeps what the form does not set (P-SCH/S-SCH levels, impairments, the Q
// generator). Seeds start at `map_editor.seed` with polynomial
// `map_editor.polynomial`, and the seed advances by the shift with the bit
// sources' shift-register step. Only what fits into the table is appended;
// returns the number appended and the number left out in `left_out`. The
// terminator follows the last new carrier when there is room; the reference
// becomes 1 when there was none.
int GenerateComb(const CombRequest& request, int* left_out);

// The assistant's random numbers: 0..32767, one fixed sequence per program
// run (the C standard's example generator, seeded with 1).
int AssistantRandom();
// Restarts the sequence (a new run; tests).
void ResetAssistantRandom();
// The phase folded into -180..180 as the assistant stores it.
float FoldPhase(float degrees);
