// Polynomial text and parser, register stages, the map operations and the
// "*.smp" image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "maps/maps.h"
#include "shell/hooks.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"
#include "support/tempdir.h"

namespace {

class Maps : public ::testing::Test {
protected:
    void SetUp() override {
        StartCoreCase();
    }
    void TearDown() override { core_hooks = CoreHooks{}; }
};

uint32_t Term(int n) { return 1u << (31 - n); }

std::string Text(uint32_t mask) {
    char text[POLYNOMIAL_TEXT];
    PolynomialText(mask, text, sizeof text);
    return text;
}

TEST_F(Maps, ParserCases) {
    struct Case {
        const char* text;
        uint32_t mask;
        bool error;
    } cases[] = {
        {"X31+X28+1", 9, false},
        {"x7 + x6 + 1", Term(7) | Term(6), false},
        {"1", 0, false},
        {"", 0, false},
        {"X31+X30+1", 3, false},
        {"X5", Term(5), false},
        {"X 5 + X 12", Term(5) | Term(12), false},
        {"X05+1", Term(5), false},
        {"X32+1", 0, true},
        {"X00+1", 0, true},
        {"X5+Y", Term(5), true},
        {"X5+X", Term(5), false},
        {"X5+1X", Term(5), true},
        {"2+X5", 0, true},
        {"X123", Term(12), true},
        // A one-digit exponent 0 is an error; the terms before it stand.
        {"X3+X0+X2+1", Term(3), true},
        {"X3+X0", Term(3), true},
        {"X0", 0, true},
        // A stray character right after a one-digit exponent at the end.
        {"X5Y", Term(5), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        messages.clear();
        uint32_t mask = 0xFFFFFFFF;
        EXPECT_EQ(ProcessPol(c.text, &mask), c.error ? -1 : 0);
        EXPECT_EQ(mask, c.mask);
        if (c.error)
            EXPECT_EQ(messages, std::vector<std::string>{"|Polinomium Parsing Error"});
        else
            EXPECT_TRUE(messages.empty());
    }
}

TEST_F(Maps, TextOfMasks) {
    EXPECT_EQ(Text(0), "1");
    EXPECT_EQ(Text(3), "X31+X30+1");
    EXPECT_EQ(Text(9), "X31+X28+1");
    EXPECT_EQ(Text(0x7FFFFFFF).size(), std::string("X31+").size() * 22 + 3 * 9 + 1);
    EXPECT_EQ(PolynomialDegree(0), 32);
    EXPECT_EQ(PolynomialDegree(3), 31);
    EXPECT_EQ(PolynomialDegree(Term(7) | Term(6)), 7);
}

TEST_F(Maps, OneAndTwoTermMasksRoundTrip) {
    for (int a = 1; a <= 31; ++a) {
        for (int b = a; b <= 31; ++b) {
            uint32_t mask = Term(a) | Term(b);
            std::string text = Text(mask);
            uint32_t back = 0;
            ASSERT_EQ(ParsePolynomial(text.c_str(), &back), 0) << text;
            ASSERT_EQ(back, mask) << text;
            ASSERT_EQ(Text(back), text);
        }
    }
}

TEST_F(Maps, RegisterStages) {
    int stages[31] = {};
    stages[0] = 1;
    EXPECT_EQ(PrbsStateFromStages(stages), 0x80000000u);
    stages[0] = 0;
    stages[30] = 1;
    EXPECT_EQ(PrbsStateFromStages(stages), 2u);
    // The default state shows stages 1-7, 9, 10, 12-14, 17, 19-21, 23, 25, 28, 29.
    const int on[] = {1, 2, 3, 4, 5, 6, 7, 9, 10, 12, 13, 14, 17, 19, 20, 21, 23, 25, 28, 29};
    for (int k = 1; k <= 31; ++k) {
        bool expected = std::find(std::begin(on), std::end(on), k) != std::end(on);
        EXPECT_EQ(PrbsStage(0xFEDCBA98u, k), expected ? 1 : 0) << "stage " << k;
        stages[k - 1] = PrbsStage(0xFEDCBA98u, k);
    }
    EXPECT_EQ(PrbsStateFromStages(stages), 0xFEDCBA98u);
}

void ExpectPoint(int s, double i, double q) {
    EXPECT_NEAR(map.point_i[s], i, 1e-6) << "point " << s;
    EXPECT_NEAR(map.point_q[s], q, 1e-6) << "point " << s;
}

TEST_F(Maps, QamGrids) {
    struct Case { int code, count, s; double i, q; } cases[] = {
        {MOD_BPSK, 2, 0, -1, 0},      {MOD_BPSK, 2, 1, 1, 0},
        {MOD_QPSK, 4, 1, 1, -1},      {MOD_QPSK, 4, 2, -1, 1},
        {MOD_QAM16, 16, 0, -1.5, -1.5}, {MOD_QAM16, 16, 5, -0.5, -0.5}, {MOD_QAM16, 16, 15, 1.5, 1.5},
        {MOD_QAM32, 32, 0, -1.5, -2.5}, {MOD_QAM32, 32, 4, -2.5, -1.5}, {MOD_QAM32, 32, 31, 1.5, 2.5},
        {MOD_QAM64, 64, 63, 3.5, 3.5},
        {MOD_QAM128, 128, 0, -3.5, -5.5}, {MOD_QAM128, 128, 8, -3.5, -4.5},
        {MOD_QAM128, 128, 16, -5.5, -3.5}, {MOD_QAM128, 128, 127, 3.5, 5.5},
        {MOD_QAM256, 256, 255, 7.5, 7.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(MapQam(c.code), c.count);
        EXPECT_EQ(map.num_points, c.count);
        EXPECT_EQ(map_editor.next_point, c.count);
        ExpectPoint(c.s, c.i, c.q);
    }
    // The skipped corners: no point of QAM32 or QAM128 lies in one, and no two coincide.
    for (int code : {MOD_QAM32, MOD_QAM128}) {
        int n = MapQam(code);
        double edge = code == MOD_QAM32 ? 2.5 : 5.5;
        for (int a = 0; a < n; ++a) {
            double ai = std::fabs(map.point_i[a]), aq = std::fabs(map.point_q[a]);
            EXPECT_FALSE(code == MOD_QAM32 ? ai == edge && aq == edge : ai >= edge - 1 && aq >= edge - 1)
                << code << " point " << a;
            for (int b = a + 1; b < n; ++b)
                EXPECT_FALSE(map.point_i[a] == map.point_i[b] && map.point_q[a] == map.point_q[b]);
        }
    }
    // Any other code generates nothing.
    MapQam(MOD_QPSK);
    EXPECT_EQ(MapQam(MOD_8PSK), 0);
    EXPECT_EQ(map.num_points, 4);
}

TEST_F(Maps, OffsetRotateScale) {
    MapQam(MOD_QPSK);
    map.point_i[4] = 7;  // beyond num_points: untouched
    MapRotate(45);
    ExpectPoint(3, 0, std::sqrt(2.0));
    ExpectPoint(0, 0, -std::sqrt(2.0));
    ExpectPoint(1, std::sqrt(2.0), 0);
    MapQam(MOD_QPSK);
    MapScale(200, 50);
    ExpectPoint(1, 2, -0.5);
    ExpectPoint(2, -2, 0.5);
    MapOffset(0.25, -1);
    ExpectPoint(0, -1.75, -1.5);
    EXPECT_EQ(map.point_i[4], 7.0f);
    // A count beyond the arrays touches nothing outside them.
    map.num_points = 5000;
    MapOffset(1, 1);
    EXPECT_EQ(MapPointCount(), MAX_MAP_POINTS);
}

TEST_F(Maps, AddEditDeletePoints) {
    ClearMap();
    EXPECT_EQ(MapStorePoint(0, 0.5f, -0.5f), 0);
    EXPECT_EQ(map.num_points, 1);
    EXPECT_EQ(map_editor.next_point, 1);
    EXPECT_EQ(MapStorePoint(0, 1, 1), 0);  // edit
    EXPECT_EQ(map.num_points, 1);

    MapQam(MOD_QPSK);
    EXPECT_EQ(MapDeletePoint(0), 0);
    EXPECT_EQ(map.num_points, 3);
    ExpectPoint(0, 1, -1);
    ExpectPoint(2, 1, 1);
    EXPECT_EQ(MapDeletePoint(-1), -1);  // no selection
    EXPECT_EQ(MapDeletePoint(3), -1);
    ClearMap();
    EXPECT_EQ(MapDeletePoint(0), -1);  // empty map
    EXPECT_EQ(map.num_points, 0);

    for (int k = 0; k < MAX_MAP_POINTS; ++k) ASSERT_EQ(MapStorePoint(k, k, 0), 0);
    messages.clear();
    EXPECT_EQ(MapStorePoint(MAX_MAP_POINTS, 1, 1), -1);
    EXPECT_EQ(map.num_points, MAX_MAP_POINTS);
    EXPECT_EQ(messages.size(), 1u);

    char row[120];
    map.point_i[3] = -1;
    map.point_q[3] = 1;
    MapPointRow(3, row, sizeof row);
    EXPECT_STREQ(row, "    3 |  -1.000000  |  +1.000000  |   1.414214  |  +135.000  ");
}

TEST_F(Maps, FileRoundTripAndRefusals) {
    TempDir dir;
    MapQam(MOD_QAM32);
    SetField(map.map_name, "thirty-two");
    map.offset_q = 1;
    map.rotation_mode = 2;
    map.rotation_step = 0.25f;
    map.reserved_text[5] = 'r';
    std::string path = dir.File("m.smp");
    ASSERT_EQ(SaveSymbolMap(path.c_str(), "File Opening Error (11)"), 0);
    std::vector<char> bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 8568u);
    EXPECT_EQ(std::memcmp(bytes.data(), &map, sizeof map), 0);

    SymbolMap saved = map;
    ClearMap();
    ASSERT_EQ(LoadSymbolMap(path.c_str(), "File Opening Error (10)"), 0);
    EXPECT_EQ(std::memcmp(&saved, &map, sizeof map), 0);

    // Short, long, too many points, absent: refused, `map` unchanged.
    MapQam(MOD_QPSK);
    SymbolMap before = map;
    WriteBytes(dir.File("short.smp"), bytes.data(), 8000);
    bytes.push_back(0);
    WriteBytes(dir.File("long.smp"), bytes.data(), bytes.size());
    SymbolMap big = saved;
    big.num_points = 1025;
    WriteBytes(dir.File("big.smp"), &big, sizeof big);
    struct Case { const char* name; const char* why; } cases[] = {
        {"short.smp", "the file is shorter than the 8568 bytes of a symbol map"},
        {"long.smp", "the file is longer than the 8568 bytes of a symbol map"},
        {"big.smp", "the map holds 1025 points; a symbol map holds 0 to 1024"},
        {"absent.smp", "No such file or directory"},
    };
    for (const Case& c : cases) {
        messages.clear();
        std::string p = dir.File(c.name);
        EXPECT_EQ(LoadSymbolMap(p.c_str(), "File Opening Error (10)"), -1) << c.name;
        EXPECT_EQ(messages, std::vector<std::string>{"|File Opening Error (10)\n" + p + ": " + c.why});
        EXPECT_EQ(std::memcmp(&before, &map, sizeof map), 0) << c.name;
    }
    messages.clear();
    EXPECT_EQ(SaveSymbolMap(dir.File("no/such/dir.smp").c_str(), "File Opening Error (11)"), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("|File Opening Error (11)\n", 0), 0u);
}

TEST_F(Maps, JsonFormAndConvert) {
    TempDir dir;
    ResetRecords();
    MapQam(MOD_QAM32);
    MapRotate(45);
    SetField(map.map_name, "q32");
    map.rotation_mode = 1;
    map.offset_q = 1;
    map.rotation_step = static_cast<float>(90 * std::acos(-1.0) / 180);
    map.spare_setting = -3;
    SymbolMap original = map;
    std::string smp = dir.File("a.smp"), json = dir.File("a.json"), back = dir.File("b.smp");
    ASSERT_EQ(SaveSymbolMap(smp.c_str(), "File Opening Error (11)"), 0);
    ASSERT_EQ(ConvertSymbolMap(smp.c_str(), json.c_str()), 0);
    ResetRecords();
    ASSERT_EQ(ConvertSymbolMap(json.c_str(), back.c_str()), 0);
    EXPECT_TRUE(ReadBytes(back) == ReadBytes(smp));
    ASSERT_EQ(ReadSymbolMapJson(json.c_str(), "File Opening Error (10)"), 0);
    EXPECT_EQ(std::memcmp(&map, &original, sizeof map), 0);
    EXPECT_TRUE(IsMapConversion("x.smp", "y.json"));
    EXPECT_FALSE(IsMapConversion("x.kvt", "y.json"));
    EXPECT_EQ(ConvertSymbolMap(smp.c_str(), dir.File("c.kvt").c_str()), 2);

    std::string too_many = R"({"points": [)";
    for (int k = 0; k <= MAX_MAP_POINTS; ++k) too_many += std::string(k ? "," : "") + "[1, 2]";
    too_many += "]}";
    struct Case { std::string text, why; } cases[] = {
        {R"({"points": [[1, 2], [3]]})", "points[1]: must be an [i, q] pair of numbers"},
        {R"({"rotation_mode": 3})", "rotation_mode: must be 0, 1 or 2"},
        {R"({"points": [[1, 2], [0, -1e39]]})", "points[1]: i and q must lie within +-3.4e38"},
        {R"({"rotation_step_deg": 1e300})", "rotation_step_deg: must be a number within +-3.4e38"},
        {R"({"pionts": []})", "unknown field \"pionts\""},
        {too_many, "points: holds 1025 points; a symbol map holds at most 1024"},
        {"[1, 2]", "is not a JSON symbol map"},
    };
    MapQam(MOD_QPSK);
    SymbolMap before = map;
    for (const Case& c : cases) {
        std::string p = dir.File("bad.json");
        WriteBytes(p, c.text.data(), c.text.size());
        messages.clear();
        EXPECT_EQ(ReadSymbolMapJson(p.c_str(), "File Opening Error (10)"), -1) << c.text;
        EXPECT_EQ(messages, std::vector<std::string>{"|" + p + ": " + c.why});
        EXPECT_EQ(std::memcmp(&map, &before, sizeof map), 0);
    }
}

}  // namespace
