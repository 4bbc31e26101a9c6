#include "editors/tablerows.h"

#include <gtest/gtest.h>

#include "shell/uldo.h"
#include "transfer/corestate.h"

namespace {

std::string Row(int i) {
    char row[CARRIER_ROW_SIZE];
    FormatCarrierRow(i, row, sizeof row);
    return row;
}

class TableRows : public ::testing::Test {
protected:
    void SetUp() override {
        ResetCoreState();
        Carrier& c = signals[0];
        c.frequency_hz = 10e6f;
        c.amplitude = 1.0f;
        c.symbol_rate = 3.84e6f;
        c.modulation = MOD_QPSK;
        c.filter_type = FILTER_SQRT_RCOS;
        c.filter_param = 0.22f;
        signals[1].frequency_hz = -1.0f;
        globals.reference_carrier = 1;
    }
};

TEST_F(TableRows, ModulatedCarrierColumns) {
    EXPECT_EQ(Row(0), "*  1|    10.000000 |      1.00 |     3.840000 |    QPSK   |SQR(RCOS)  |  0.220");
    globals.reference_carrier = 0;
    EXPECT_EQ(Row(0), "   1|    10.000000 |      1.00 |     3.840000 |    QPSK   |SQR(RCOS)  |  0.220");
}

TEST_F(TableRows, UnmodulatedCarrierLeavesSymbolRateBlank) {
    signals[0].modulation = MOD_NONE;
    EXPECT_EQ(Row(0), "*  1|    10.000000 |      1.00 |              |    NONE   |  NONE");
}

TEST_F(TableRows, ReferenceMarkFollowsTheMagnitudeOfTheIndex) {
    signals[2] = signals[0];
    globals.reference_carrier = -3;
    EXPECT_EQ(Row(2)[0], '*');
    EXPECT_EQ(Row(0)[0], ' ');
    EXPECT_EQ(Row(2).substr(1, 3), "  3");
}

TEST_F(TableRows, UnnamedCodesAndBadIndicesAreSafe) {
    signals[0].modulation = 15;
    signals[0].filter_type = 99;
    EXPECT_EQ(Row(0), "*  1|    10.000000 |      1.00 |     3.840000 |    ------ |---------- |  0.220");
    EXPECT_EQ(Row(-1), "");
    EXPECT_EQ(Row(100), "");
    char tiny[6];
    FormatCarrierRow(0, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "*  1|");
}

}  // namespace
