#include "editors/assistant.h"

#include "modulation/bits.h"

namespace {

uint32_t random_next = 1;

}  // namespace

int AssistantRandom() {
    random_next = random_next * 1103515245u + 12345u;
    return static_cast<int>((random_next / 65536u) % 32768u);
}

void ResetAssistantRandom() { random_next = 1; }

float FoldPhase(float p) {
    if (p > 0) {
        while (p > 180.0f) p -= 360.0f;
    } else {
        while (p < -180.0f) p += 360.0f;
    }
    return p;
}

int GenerateComb(const CombRequest& q, int* left_out) {
    int room = MAX_CARRIERS - globals.carrier_count;
    if (room < 0) room = 0;
    const int wanted = q.count > 0 ? q.count : 0;
    const int n = wanted < room ? wanted : room;
    if (left_out) *left_out = wanted - n;
    for (int k = 0; k < n; ++k) {
        const int r = globals.carrier_count;
        Carrier& c = signals[r];
        StoreForm(q.form, &c);
        c.frequency_hz = static_cast<float>(1000000.0 * (q.start_mhz + q.spacing_mhz * k));
        c.prbs_iq_equal = q.prbs_iq_equal;
        float phase = q.random_phase ? static_cast<float>((AssistantRandom() / 32768.0 - 0.5) * 360.0)
                                     : static_cast<float>(q.phase_step * k);
        c.phase_deg = FoldPhase(phase);
        c.prbs_seed_i = map_editor.seed;
        c.prbs_poly_i = map_editor.polynomial;
        int32_t state = static_cast<int32_t>(map_editor.seed);
        for (int s = 0; s < q.prbs_shift; ++s) ShiftRegister(&state, static_cast<int32_t>(c.prbs_poly_i));
        map_editor.seed = static_cast<uint32_t>(state);
        ++globals.carrier_count;
        globals.current_carrier = globals.carrier_count;
    }
    if (n == 0) return 0;  // the table stays as it was
    if (globals.carrier_count < MAX_CARRIERS) signals[globals.carrier_count].frequency_hz = -1.0f;
    if (globals.reference_carrier <= 0) globals.reference_carrier = 1;
    return n;
}
