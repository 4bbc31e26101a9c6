#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <vector>

#include "mod_support.h"
#include "modulation/dvb.h"

using namespace modtest;

namespace {

struct TableCase {
    int modulation;
    int32_t* table;
    float* phase;
    int symbols;
    int bits;
    int half;  // levels per half axis
};

const TableCase kTables[] = {
    {MOD_DVBC16, symbol16, &phase_c16, DVB16_SYMBOLS, 4, 2},
    {MOD_DVBC32, symbol32, &phase_c32, DVB32_SYMBOLS, 5, 3},
    {MOD_DVBC64, symbol64, &phase_c64, DVB64_SYMBOLS, 6, 4},
    {MOD_DVBC256, symbol256, &phase_c256, DVB256_SYMBOLS, 8, 8},
};

// Grid (row, column) of a table entry; QAM-32 entries are symbol indices of
// the 6 x 6 grid without its corners.
std::pair<int, int> Grid(int modulation, int entry) {
    int side = modulation == MOD_DVBC16 ? 4 : modulation == MOD_DVBC32 ? 6
             : modulation == MOD_DVBC64 ? 8 : 16;
    if (modulation == MOD_DVBC32) entry = entry < 4 ? entry + 1 : entry < 28 ? entry + 2 : entry + 3;
    return {entry / side, entry % side};
}

std::vector<uint8_t> ShippedOrigin() {
    std::ifstream in(std::string(ULDO_SOURCE_DIR) + "/resources/origin.res", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The standard's interleaver as a machine: 12 branches, branch j a FIFO of
// 17 j bytes, fed with the block over and over; the second turn is steady.
std::vector<uint8_t> FifoInterleave(const std::vector<uint8_t>& in) {
    std::vector<std::deque<uint8_t>> fifo(12);
    for (int j = 0; j < 12; ++j) fifo[j].assign(17 * j, 0);
    std::vector<uint8_t> out;
    const int n = static_cast<int>(in.size());
    for (int t = 0; t < 2 * n; ++t) {
        auto& f = fifo[t % 12];
        f.push_back(in[t % n]);
        uint8_t b = f.front();
        f.pop_front();
        if (t >= n) out.push_back(b);
    }
    return out;
}

TEST(DvbTables, InterleaverIsTheConvolutionalInterleaver) {
    std::vector<uint8_t> in(ORIGIN_BYTES);
    for (int k = 0; k < ORIGIN_BYTES; ++k) in[k] = static_cast<uint8_t>((k * 131 + k / 256) & 0xFF);
    uint8_t out[ORIGIN_BYTES];
    DvbInterleave(in.data(), out);
    std::vector<uint8_t> ref = FifoInterleave(in);
    EXPECT_TRUE(std::equal(ref.begin(), ref.end(), out));
    EXPECT_EQ(out[0], in[0]);
    EXPECT_EQ(out[1], in[6325]);
    EXPECT_EQ(out[12], in[12]);
}

TEST(DvbTables, ZeroBlockGivesTheCentrePointOfQuadrantZero) {
    InitPI();
    uint8_t block[ORIGIN_BYTES] = {};
    const int centre[] = {10, 19, 36, 136};  // (2,2), (3,3) as index 19, (4,4), (8,8)
    for (int t = 0; t < 4; ++t) {
        const TableCase& c = kTables[t];
        *c.phase = 1.0f;
        BuildDvbTable(block, c.modulation, c.table, c.phase);
        for (int k = 0; k < c.symbols; ++k) ASSERT_EQ(c.table[k], centre[t]) << c.modulation << " " << k;
        EXPECT_EQ(*c.phase, 0.0f);
    }
}

TEST(DvbTables, SingleFfByteMovesEverySymbolAfterItIntoQuadrantThree) {
    InitPI();
    uint8_t block[ORIGIN_BYTES] = {};
    block[0] = 0xFF;
    BuildDvbTable(block, MOD_DVBC256, symbol256, &phase_c256);
    EXPECT_EQ(symbol256[0], 34);
    for (int k = 1; k < DVB256_SYMBOLS; ++k) {
        auto [row, col] = Grid(MOD_DVBC256, symbol256[k]);
        ASSERT_LT(row, 8);
        ASSERT_LT(col, 8);
    }
    EXPECT_EQ(phase_c256, PI);

    // 64 points: symbol 0 is the top six bits of byte 0 (63), symbol 1 its low
    // two bits and the top four of byte 1 (110000), which steps the state back.
    BuildDvbTable(block, MOD_DVBC64, symbol64, &phase_c64);
    EXPECT_EQ(symbol64[0], dvb_position64[63]);
    EXPECT_EQ(symbol64[1], 36);
    EXPECT_EQ(symbol64[2], 36);
    EXPECT_EQ(phase_c64, 0.0f);
}

TEST(DvbTables, FourPointsNextToTheCentre) {
    const int cases[][3] = {
        {MOD_DVBC256, 64, 0}, {MOD_DVBC64, 16, 0}, {MOD_DVBC32, 8, 0}, {MOD_DVBC16, 4, 0}};
    const int expected[][4] = {{136, 120, 135, 119}, {36, 28, 35, 27}, {19, 13, 18, 12}, {10, 6, 9, 5}};
    for (int t = 0; t < 4; ++t)
        for (int q = 0; q < 4; ++q)
            EXPECT_EQ(DvbPosition(cases[t][0], q * cases[t][1]), expected[t][q]) << cases[t][0] << " " << q;
}

TEST(DvbTables, QuadrantsAreQuarterTurnsOfQuadrantZero) {
    // In the output convention (I = column level, Q = minus the row level)
    // quadrants 01, 10 and 11 are quadrant 00 turned by +90, -90 and 180 degrees.
    for (const TableCase& c : kTables) {
        const int low = 1 << (c.bits - 2);
        std::set<int> entries;
        for (int t = 0; t < low; ++t) {
            auto point = [&](int q) {
                auto [row, col] = Grid(c.modulation, DvbPosition(c.modulation, q * low + t));
                entries.insert(row * 100 + col);
                return std::pair<double, double>(col - (c.half - 0.5), -(row - (c.half - 0.5)));
            };
            auto [i0, q0] = point(0);
            EXPECT_GT(i0, 0);
            EXPECT_LT(q0, 0);
            auto p1 = point(1), p2 = point(2), p3 = point(3);
            EXPECT_EQ(p1, std::make_pair(-q0, i0)) << c.modulation << " " << t;
            EXPECT_EQ(p2, std::make_pair(q0, -i0)) << c.modulation << " " << t;
            EXPECT_EQ(p3, std::make_pair(-i0, -q0)) << c.modulation << " " << t;
        }
        EXPECT_EQ(entries.size(), static_cast<size_t>(4 * low)) << c.modulation;  // one point each
    }
}

TEST(DvbTables, ConstantTablesArePermutations) {
    std::set<int> a(dvb_quadrant256, dvb_quadrant256 + 64), b(dvb_position64, dvb_position64 + 64);
    EXPECT_EQ(a.size(), 64u);
    EXPECT_EQ(b.size(), 64u);
    EXPECT_EQ(*a.rbegin(), 63);
    EXPECT_EQ(*b.rbegin(), 63);
}

// Undoes placement and differential coding and compares the bits with the
// interleaved block: every table carries the block's data bit for bit.
TEST(DvbTables, TablesDecodeBackToTheInterleavedBytes) {
    InitPI();
    std::vector<uint8_t> block = ShippedOrigin();
    ASSERT_EQ(block.size(), static_cast<size_t>(ORIGIN_BYTES));
    std::vector<uint8_t> interleaved = FifoInterleave(block);
    for (const TableCase& c : kTables) {
        BuildDvbTable(block.data(), c.modulation, c.table, c.phase);
        std::map<int, int> value_of;
        for (int v = 0; v < (1 << c.bits); ++v) value_of[DvbPosition(c.modulation, v)] = v;
        ASSERT_EQ(value_of.size(), static_cast<size_t>(1 << c.bits));
        int ip = 0, qp = 0;
        long long n = 0;
        for (int k = 0; k < c.symbols; ++k) {
            ASSERT_TRUE(value_of.count(c.table[k]));
            int coded = value_of[c.table[k]];
            int i = coded >> (c.bits - 1) & 1, q = coded >> (c.bits - 2) & 1;
            // the rule: A == B: (A^Ip, B^Qp); else (A^Qp, B^Ip); find (A, B)
            int found = 0, a = 0, b = 0;
            for (int A = 0; A < 2; ++A)
                for (int B = 0; B < 2; ++B) {
                    int ei = A == B ? A ^ ip : A ^ qp, eq = A == B ? B ^ qp : B ^ ip;
                    if (ei == i && eq == q) ++found, a = A, b = B;
                }
            ASSERT_EQ(found, 1);
            ip = i;
            qp = q;
            int value = (coded & ((1 << (c.bits - 2)) - 1)) | a << (c.bits - 1) | b << (c.bits - 2);
            for (int bit = c.bits - 1; bit >= 0; --bit, ++n) {
                int expected = interleaved[n / 8] >> (7 - n % 8) & 1;
                ASSERT_EQ(value >> bit & 1, expected) << c.modulation << " symbol " << k;
            }
        }
        const float phases[2][2] = {{0.0f, PI / 2.0f}, {-PI / 2.0f, PI}};
        EXPECT_EQ(*c.phase, phases[ip][qp]) << c.modulation;
    }
}

class OriginFile : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAll();
        InitPI();
        unsetenv("ULDO_ORIGIN");
    }
    void TearDown() override { unsetenv("ULDO_ORIGIN"); }
};

// The block is built into the program: no directory, current or the
// program's, has to hold a file for the tables to be right.
TEST_F(OriginFile, TablesComeFromTheBuiltInBlockWhereverTheProgramRuns) {
    ScratchDir empty, home;
    home.Write("origin.res", std::string(ORIGIN_BYTES, '\0'));   // a stray file is not read
    setenv("ULDO_HOME", home.Path().c_str(), 1);
    {
        CurrentDir cd(empty.Path());
        BuildDvbTables();
    }
    unsetenv("ULDO_HOME");
    EXPECT_TRUE(Messages().empty());
    std::vector<uint8_t> shipped = ShippedOrigin();
    ASSERT_EQ(shipped.size(), static_cast<size_t>(ORIGIN_BYTES));
    uint8_t block[ORIGIN_BYTES];
    EXPECT_EQ(ReadOriginBlock(block), ORIGIN_BYTES);
    EXPECT_TRUE(std::equal(shipped.begin(), shipped.end(), block));
    for (const TableCase& c : kTables) {
        std::vector<int32_t> expected(c.symbols);
        float phase = 0;
        BuildDvbTable(shipped.data(), c.modulation, expected.data(), &phase);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), c.table)) << c.modulation;
        EXPECT_EQ(phase, *c.phase);
        // real data: the table uses every point of the constellation
        std::set<int> used(c.table, c.table + c.symbols);
        EXPECT_EQ(used.size(), static_cast<size_t>(1 << c.bits)) << c.modulation;
    }
}

TEST_F(OriginFile, UldoOriginReplacesTheBlockOnlyWithAWholeOne) {
    ScratchDir dir;
    std::string bytes(ORIGIN_BYTES, '\0');
    bytes[0] = static_cast<char>(0xFF);
    dir.Write("mine.res", bytes);
    setenv("ULDO_ORIGIN", (dir.Path() / "mine.res").c_str(), 1);
    dvbgen(MOD_DVBC256, symbol256, &phase_c256);
    EXPECT_EQ(symbol256[0], 34);
    EXPECT_EQ(phase_c256, PI);
    EXPECT_TRUE(Messages().empty());

    // Missing, short or long: said so, and the built-in block is used, never zeros.
    std::vector<uint8_t> shipped = ShippedOrigin();
    int32_t expected[DVB64_SYMBOLS];
    float phase;
    BuildDvbTable(shipped.data(), MOD_DVBC64, expected, &phase);
    dir.Write("short.res", std::string(100, static_cast<char>(0xFF)));
    dir.Write("long.res", std::string(ORIGIN_BYTES + 1, '\0'));
    struct Case {
        const char* name;
        const char* says;
    } cases[] = {{"missing.res", "No such file"}, {"short.res", "holds 100 of 6528 bytes"},
                 {"long.res", "more than 6528"}};
    for (const Case& c : cases) {
        Messages().clear();
        std::fill(symbol64, symbol64 + DVB64_SYMBOLS, -1);
        setenv("ULDO_ORIGIN", (dir.Path() / c.name).c_str(), 1);
        BuildDvbTables();
        ASSERT_EQ(Messages().size(), 1u) << c.name;
        EXPECT_NE(Messages()[0].find(c.name), std::string::npos) << Messages()[0];
        EXPECT_NE(Messages()[0].find(c.says), std::string::npos) << Messages()[0];
        EXPECT_NE(Messages()[0].find("built-in block"), std::string::npos) << Messages()[0];
        EXPECT_TRUE(std::equal(expected, expected + DVB64_SYMBOLS, symbol64)) << c.name;
    }
}

}  // namespace
