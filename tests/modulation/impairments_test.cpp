#include <gtest/gtest.h>

#include <cmath>

#include "mod_support.h"
#include "modulation/mapper.h"

using namespace modtest;

namespace {

struct Slot {
    int type;
    float value, value2;
};

struct Case {
    const char* name;
    Slot slots[3];
    float in_i, in_q, out_i, out_q;
};

const Case kCases[] = {
    {"none", {{0, 5, 5}, {0, 1, 1}, {0, 2, 2}}, 0.3f, -0.7f, 0.3f, -0.7f},
    {"unknown types act as none", {{4, 5, 5}, {-1, 1, 1}, {99, 2, 2}}, 0.3f, -0.7f, 0.3f, -0.7f},
    {"phase 0", {{1, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 0.3f, -0.7f, 0.3f, -0.7f},
    {"imbalance 0", {{2, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 0.3f, -0.7f, 0.3f, -0.7f},
    {"phase 90 on I", {{1, 90, 0}, {0, 0, 0}, {0, 0, 0}}, 1, 0, 0.70710678f, -0.70710678f},
    {"phase 90 on Q", {{1, 90, 0}, {0, 0, 0}, {0, 0, 0}}, 0, 1, -0.70710678f, 0.70710678f},
    {"imbalance 10", {{0, 0, 0}, {2, 10, 0}, {0, 0, 0}}, 1, 1, 1.0526316f, 0.9473684f},
    {"imbalance -20", {{2, -20, 0}, {0, 0, 0}, {0, 0, 0}}, 1, 1, 1 - 0.2f / 2.2f, 1 + 0.2f / 2.2f},
    {"feedthrough", {{0, 0, 0}, {0, 0, 0}, {3, 5, -5}}, 0, 0, 0.05f, -0.05f},
    {"offset then phase turns the offset", {{3, 10, 0}, {1, 90, 0}, {0, 0, 0}}, 0, 0, 0.070710678f, -0.070710678f},
    {"phase then offset does not", {{1, 90, 0}, {3, 10, 0}, {0, 0, 0}}, 0, 0, 0.1f, 0},
    {"same type twice acts twice", {{3, 10, 20}, {3, 10, 20}, {0, 0, 0}}, 0, 0, 0.2f, 0.4f},
    {"imbalance of 200 has no gains and is left out", {{2, 200, 0}, {0, 0, 0}, {0, 0, 0}}, 1, 1, 1, 1},
};

TEST(Impairments, SlotsApplyInOrder) {
    for (const Case& c : kCases) {
        ResetAll();
        Carrier& r = signals[7];
        r.impairment1_type = c.slots[0].type;
        r.impairment1_value = c.slots[0].value;
        r.impairment1_value2 = c.slots[0].value2;
        r.impairment2_type = c.slots[1].type;
        r.impairment2_value = c.slots[1].value;
        r.impairment2_value2 = c.slots[1].value2;
        r.impairment3_type = c.slots[2].type;
        r.impairment3_value = c.slots[2].value;
        r.impairment3_value2 = c.slots[2].value2;
        float I = c.in_i, Q = c.in_q;
        ApplyInpairment(&I, &Q, 7);
        EXPECT_NEAR(I, c.out_i, 1e-6) << c.name;
        EXPECT_NEAR(Q, c.out_q, 1e-6) << c.name;
    }
}

TEST(Impairments, PhaseErrorKeepsAxisLengthsAndOpensTheAngle) {
    ResetAll();
    signals[0].impairment1_type = IMPAIRMENT_PHASE;
    signals[0].impairment1_value = 20;
    float ii = 1, iq_ = 0, qi = 0, qq = 1;
    ApplyInpairment(&ii, &iq_, 0);
    ApplyInpairment(&qi, &qq, 0);
    EXPECT_NEAR(std::hypot(ii, iq_), 1, 1e-6);
    EXPECT_NEAR(std::hypot(qi, qq), 1, 1e-6);
    double angle = std::acos(ii * qi + iq_ * qq) * 180 / M_PI;
    EXPECT_NEAR(angle, 110, 1e-4);
}

TEST(Impairments, ImbalanceGainRatioAndMean) {
    ResetAll();
    signals[0].impairment3_type = IMPAIRMENT_IMBALANCE;
    for (float p : {1.0f, 30.0f, 75.0f}) {
        signals[0].impairment3_value = p;
        float I = 1, Q = 1;
        ApplyInpairment(&I, &Q, 0);
        EXPECT_NEAR(Q / I, 1 - p / 100, 1e-6) << p;
        EXPECT_NEAR((I + Q) / 2, 1, 1e-6) << p;
    }
}

}  // namespace
