// The PRBS assistant's polynomial check and its register stages; the text
// form itself is shell/polytext.h.
#include "maps/maps.h"
#include "shell/hooks.h"

int ProcessPol(const char* text, uint32_t* mask) {
    if (ParsePolynomial(text, mask) == 0) return 0;
    ReportMessage("", "Polinomium Parsing Error");
    return -1;
}

int PrbsStage(uint32_t state, int stage) {
    if (stage < 1 || stage > 31) return 0;
    return (state >> (32 - stage)) & 1u;
}

uint32_t PrbsStateFromStages(const int stages[31]) {
    uint32_t state = 0;
    for (int k = 1; k <= 31; ++k) {
        if (stages[k - 1]) state += 1;
        state <<= 1;
    }
    return state;
}
