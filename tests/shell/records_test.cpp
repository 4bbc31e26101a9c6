#include <gtest/gtest.h>

#include "shell/uldo.h"

TEST(Records, PiIsSinglePrecisionAcos) {
    InitPI();
    EXPECT_EQ(static_cast<double>(PI), 3.1415927410125732);
}

TEST(Records, NameTablesHaveFixedWidthsAndGaps) {
    for (int code = 0; code < MODULATION_CODES; ++code) {
        const char* name = ModulationTableName(code);
        if (code == 15 || code == 16 || code == 34) {
            EXPECT_EQ(name, nullptr) << code;
            EXPECT_EQ(ModulationDisplayName(code), nullptr) << code;
        } else {
            ASSERT_NE(name, nullptr) << code;
            EXPECT_EQ(std::strlen(name), 6u) << code;
        }
    }
    for (int code = 0; code < FILTER_CODES; ++code) EXPECT_EQ(std::strlen(FilterTableName(code)), 10u);
    EXPECT_EQ(ModulationTableName(40), nullptr);
    EXPECT_EQ(ModulationTableName(-1), nullptr);
    EXPECT_STREQ(ModulationDisplayName(MOD_QAM1024), "QAM-1024");
    EXPECT_STREQ(FilterDisplayName(9), "BUTTERWRTH");
    EXPECT_EQ(FilterTableName(18), nullptr);
}

TEST(Records, TextFieldsNeverReadOrWritePastTheirSize) {
    char field[8];
    std::memset(field, 'x', sizeof field);  // no NUL, as from a malformed file
    EXPECT_EQ(FieldText(field), "xxxxxxxx");
    EXPECT_FALSE(SetField(field, "0123456789"));
    EXPECT_STREQ(field, "0123456");
    EXPECT_TRUE(SetField(field, "ab"));
    EXPECT_STREQ(field, "ab");
    EXPECT_EQ(field[7], 0);
}

TEST(Records, ResetLeavesAnEmptyTable) {
    signals[0].frequency_hz = 5e6f;
    globals.carrier_count = 3;
    ResetRecords();
    EXPECT_EQ(signals[0].frequency_hz, -1.0f);
    EXPECT_EQ(globals.carrier_count, 0);
    EXPECT_EQ(comment[0], 0);
}
