#include <cmath>

#include "modulation/mapper.h"

namespace {

void ApplySlot(int type, float p, float p2, float* I, float* Q) {
    float i = *I, q = *Q;
    switch (type) {
        case IMPAIRMENT_PHASE: {
            // Each axis turns by half the error, in opposite directions.
            float theta = PI * p / 360.0f;
            double c = std::cos(theta), s = std::sin(theta);
            *I = static_cast<float>(i * c - q * s);
            *Q = static_cast<float>(q * c - i * s);
            break;
        }
        case IMPAIRMENT_IMBALANCE: {
            // Q gain / I gain = 1 - g with mean gain 1. At g = 2 no finite pair
            // of gains meets both, so such a slot is left out.
            float g = p / 100.0f;
            if (g == 2.0f) break;
            float k = g / (2.0f - g);
            *I = i * (1.0f + k);
            *Q = q * (1.0f - k);
            break;
        }
        case IMPAIRMENT_FEEDTHROUGH:
            *I = i + p / 100.0f;
            *Q = q + p2 / 100.0f;
            break;
        default: break;
    }
}

}  // namespace

void ApplyInpairment(float* I, float* Q, int carrier) {
    if (carrier < 0 || carrier >= MAX_CARRIERS || !I || !Q) return;
    const Carrier& c = signals[carrier];
    ApplySlot(c.impairment1_type, c.impairment1_value, c.impairment1_value2, I, Q);
    ApplySlot(c.impairment2_type, c.impairment2_value, c.impairment2_value2, I, Q);
    ApplySlot(c.impairment3_type, c.impairment3_value, c.impairment3_value2, I, Q);
}
