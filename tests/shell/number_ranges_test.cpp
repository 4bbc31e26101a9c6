// Numbers a reader cannot hold are refused at their field, never thrown past it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shell/hooks.h"
#include "shell/jsonforms.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"

namespace {

class NumberRanges : public ::testing::Test {
protected:
    void SetUp() override {
        StartCoreCase();
    }
    void TearDown() override { core_hooks.message = nullptr; }
};

TEST_F(NumberRanges, NumberBeyondDoubleNamesItsField) {
    struct Case {
        bool table;
        const char* text;
        const char* message;
    } cases[] = {
        {true, R"({"carriers": [{"frequency_hz": 1e6}, {"frequency_hz": 2e6, "amplitude": 1e400}]})",
         "carriers[1].amplitude: 1e400 is out of range"},
        {true, R"({"carriers": [{"frequency_hz": -1e400}]})", "carriers[0].frequency_hz: -1e400 is out of range"},
        {false, R"({"compile_length": 100, "sample_clock": 1E+400})", "sample_clock: 1E+400 is out of range"},
        {false, R"({"reference_carrier": [1, 2, -1e999]})", "reference_carrier[2]: -1e999 is out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        messages.clear();
        signals[0].frequency_hz = 5e6f;
        GlobalSettings settings{};
        settings.compile_length = 7;
        int result = c.table ? ParseTableJson(c.text, "t.json") : ParseSettingsJson(c.text, "s.json", &settings);
        EXPECT_EQ(result, -1);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(c.message), std::string::npos) << messages[0];
        // Nothing was touched.
        EXPECT_EQ(signals[0].frequency_hz, 5e6f);
        EXPECT_EQ(settings.compile_length, 7);
    }
}

}  // namespace
