#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

#include "mod_support.h"
#include "modulation/mapper.h"

using namespace modtest;

namespace {

constexpr double kR = 0.70710678118654752;   // 1/sqrt(2)
constexpr double kT8 = 0.41421356237309505;  // tan(pi/8)
constexpr double kTol = 1e-6;

struct Point {
    double i, q;
};

Point Next(int modulation, int carrier = 0) {
    float I = 99, Q = 99;
    EXPECT_EQ(iq(modulation, &I, &Q, carrier), 0);
    return {I, Q};
}

struct FirstPointCase {
    int modulation;
    Point zeros, ones;
};

// The first point of each modulation for constant 0 and constant 1 data.
const FirstPointCase kFirstPoints[] = {
    {MOD_QPSK, {-1, 1}, {1, -1}},
    {MOD_OQPSK, {-1, 1}, {1, -1}},
    {MOD_QAM16, {-1, 1}, {1, -1}},
    {MOD_QAM64, {-1, 1}, {1, -1}},
    {MOD_QAM256, {-1, 1}, {1, -1}},
    {MOD_QAM1024, {-1, 1}, {1, -1}},
    {MOD_DQPSK, {-kR, kR}, {kR, -kR}},
    {MOD_CQPSK, {-kR, kR}, {kR, -kR}},
    {MOD_QAM32, {-0.6, 1}, {0.6, -1}},
    {MOD_QAM128, {-7.0 / 11, 1}, {7.0 / 11, -1}},
    {MOD_8PSK, {1, -kT8}, {1, kT8}},
    {MOD_O8PSK, {kR, -kT8 * kR}, {kR, kT8 * kR}},
    {MOD_CAP16, {1.0 / 3, 0}, {0, 1.0 / 6}},
    {MOD_BPSK, {-1, 0}, {1, 0}},
    {MOD_GMSK, {-1, 0}, {1, 0}},
    {MOD_2FSK, {-1, 0}, {1, 0}},
    {MOD_4FSK, {-1, 0}, {1, 0}},
    {MOD_8FSK, {-1, 0}, {1, 0}},
    {MOD_16FSK, {-1, 0}, {1, 0}},
    {MOD_32FSK, {-1, 0}, {1, 0}},
    {MOD_8VSB, {-1, -1}, {1, 1}},
    {MOD_16VSB, {-1, -1}, {1, 1}},
    {MOD_SSB, {-1, -1}, {1, 1}},
    {MOD_IS95DL, {1, -1}, {-1, 1}},   // the first short PN chips are 1 and 1
    {MOD_3GPPDL, {0, -1}, {0, 1}},    // code 0: z(0) = 0, z(131072) = 0
    {MOD_3GPPSC, {1, 1}, {1, 1}},     // sync chips psc = ssc = 1 at 0 dB
};

TEST(Mapper, FirstPointsForConstantData) {
    for (const FirstPointCase& c : kFirstPoints) {
        for (int source : {DATA_ZEROS, DATA_ONES}) {
            ResetAll();
            Carrier& r = SetCarrier(4, c.modulation, source);
            r.spreading_factor = 4;
            ResetGenerators();
            Point p = Next(c.modulation, 4);
            const Point& e = source == DATA_ZEROS ? c.zeros : c.ones;
            EXPECT_NEAR(p.i, e.i, kTol) << ModulationDisplayName(c.modulation) << " source " << source;
            EXPECT_NEAR(p.q, e.q, kTol) << ModulationDisplayName(c.modulation) << " source " << source;
        }
    }
}

TEST(Mapper, WorkedExamplesFromBitFiles) {
    struct Case {
        int modulation;
        const char* bits;
        Point expected;
    } cases[] = {
        {MOD_QPSK, "1 0", {-1, -1}},             // Q drawn first
        {MOD_QAM16, "0 0 1 1", {1, 1}},          // Q level 0, I level 3
        {MOD_QAM64, "0 0 0 1 1 1", {1, 1}},
        {MOD_8PSK, "0 1 0", {-kT8, -1}},         // 5 pi/8
        {MOD_CAP16, "1 1 0 0", {1.0 / 6, 0}},    // v = 12, inner ring
        {MOD_CAP16, "0 0 1 1", {0, -1.0 / 3}},   // v = 3, outer ring
        {MOD_4FSK, "1 0", {1.0 / 3, 0}},
        {MOD_QAM32, "0 0 1 0 0", {-1, 0.6}},     // v = 4 -> grid 6: row 1, column 0
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        ResetAll();
        Carrier& r = SetCarrier(0, c.modulation, DATA_FILE);
        SetField(r.data_file, dir.Write("bits.txt", c.bits));
        ASSERT_EQ(OpenDataFile(0), 0);
        Point p = Next(c.modulation);
        EXPECT_NEAR(p.i, c.expected.i, kTol) << ModulationDisplayName(c.modulation) << " " << c.bits;
        EXPECT_NEAR(p.q, c.expected.q, kTol) << ModulationDisplayName(c.modulation) << " " << c.bits;
        CloseDataFile(0);
    }
}

double Angle(Point p) { return std::atan2(p.q, p.i); }
double Wrap(double a) { return std::remainder(a, 2 * M_PI); }

TEST(Mapper, RotatingModulationsTurnAndRepeat) {
    ResetAll();
    SetCarrier(0, MOD_DQPSK, DATA_ONES);
    const Point dqpsk[] = {{kR, -kR}, {0, -1}, {kR, -kR}, {0, -1}};
    for (const Point& e : dqpsk) {
        Point p = Next(MOD_DQPSK);
        EXPECT_NEAR(p.i, e.i, kTol);
        EXPECT_NEAR(p.q, e.q, kTol);
    }

    struct Case {
        int modulation;
        int period;
        double step;    // output turn per symbol
        double radius;
    } cases[] = {{MOD_CQPSK, 8, -M_PI / 4, 1.0}, {MOD_O8PSK, 16, -3 * M_PI / 8, 0.76536686}};
    for (const Case& c : cases) {
        ResetAll();
        SetCarrier(0, c.modulation, DATA_ONES);
        std::vector<Point> pts;
        for (int k = 0; k < 2 * c.period + 1; ++k) pts.push_back(Next(c.modulation));
        for (int k = 0; k + 1 < static_cast<int>(pts.size()); ++k) {
            EXPECT_NEAR(std::hypot(pts[k].i, pts[k].q), c.radius, 1e-6);
            EXPECT_NEAR(Wrap(Angle(pts[k + 1]) - Angle(pts[k]) - c.step), 0, 1e-5) << k;
        }
        for (int k = 0; k + c.period < static_cast<int>(pts.size()); ++k) {
            EXPECT_NEAR(pts[k + c.period].i, pts[k].i, 1e-5);
            EXPECT_NEAR(pts[k + c.period].q, pts[k].q, 1e-5);
        }
    }
}

TEST(Mapper, CrossQamGridsLeaveTheirCornersOut) {
    struct Case {
        int modulation, points;
        double corner;  // |I| and |Q| both at least this only in a corner
    } cases[] = {{MOD_QAM32, 32, 0.99}, {MOD_QAM128, 128, 9.0 / 11 - 1e-6}};
    for (const Case& c : cases) {
        ResetAll();
        SetCarrier(0, c.modulation, DATA_PRBS);
        ResetGenerators();
        std::set<std::pair<float, float>> seen;
        for (int k = 0; k < 20000; ++k) {
            Point p = Next(c.modulation);
            EXPECT_FALSE(std::fabs(p.i) >= c.corner && std::fabs(p.q) >= c.corner) << p.i << " " << p.q;
            seen.insert({static_cast<float>(p.i), static_cast<float>(p.q)});
        }
        EXPECT_EQ(seen.size(), static_cast<size_t>(c.points));
    }
}

TEST(Mapper, EqualAxisLevelsAndLevelCounts) {
    struct Case {
        int modulation, levels;
        bool equal_axes;
    } cases[] = {{MOD_8VSB, 8, true}, {MOD_16VSB, 16, true}, {MOD_SSB, 0, true},
                 {MOD_4FSK, 4, false}, {MOD_32FSK, 32, false}, {MOD_BPSK, 2, false}};
    for (const Case& c : cases) {
        ResetAll();
        SetCarrier(0, c.modulation, DATA_PRBS);
        ResetGenerators();
        std::set<float> levels;
        for (int k = 0; k < 4000; ++k) {
            Point p = Next(c.modulation);
            if (c.equal_axes)
                ASSERT_EQ(p.i, p.q);
            else
                ASSERT_EQ(p.q, 0.0);
            ASSERT_LE(std::fabs(p.i), 1.0);
            levels.insert(static_cast<float>(p.i));
        }
        if (c.levels) {
            EXPECT_EQ(levels.size(), static_cast<size_t>(c.levels)) << ModulationDisplayName(c.modulation);
            // equally spaced from -1 to 1
            EXPECT_EQ(*levels.begin(), -1.0f);
            EXPECT_EQ(*levels.rbegin(), 1.0f);
        }
    }
}

TEST(Mapper, PrbsSourceStartsFromTheSeedEveryPass) {
    ResetAll();
    SetCarrier(6, MOD_QAM16, DATA_PRBS);  // poly 3, seed 0xFEDCBA98
    ResetGenerators();
    // bits 0011 0010 ...: Q index 0, I index 3, then Q 0, I 2
    Point a = Next(MOD_QAM16, 6), b = Next(MOD_QAM16, 6);
    EXPECT_NEAR(a.i, 1, kTol);
    EXPECT_NEAR(a.q, 1, kTol);
    EXPECT_NEAR(b.i, 1.0 / 3, kTol);
    EXPECT_NEAR(b.q, 1, kTol);
    ResetGenerators();
    Point again = Next(MOD_QAM16, 6);
    EXPECT_EQ(again.i, a.i);
    EXPECT_EQ(again.q, a.q);
}

// A run of points is the same, bit for bit, as one iq call per point, and
// leaves the generators where those calls leave them.
TEST(Mapper, RunOfPointsMatchesSingleCalls) {
    const int mods[] = {MOD_QPSK, MOD_OQPSK, MOD_QAM16, MOD_QAM64, MOD_QAM256, MOD_QAM1024, MOD_QAM32, MOD_QAM128,
                        MOD_DQPSK, MOD_CQPSK, MOD_8PSK, MOD_O8PSK, MOD_CAP16, MOD_BPSK, MOD_GMSK, MOD_4FSK,
                        MOD_8VSB, MOD_SSB, MOD_DVBC64, MOD_IS95DL, MOD_3GPPDL, MOD_NONE};
    for (int impaired = 0; impaired < 2; ++impaired) {
        for (int mod : mods) {
            ResetAll();
            Carrier& r = SetCarrier(4, mod, DATA_PRBS);
            if (impaired) {
                r.impairment1_type = IMPAIRMENT_IMBALANCE;
                r.impairment1_value = 3;
                r.impairment3_type = IMPAIRMENT_PHASE;
                r.impairment3_value = 2;
            }
            constexpr int n = 700;
            std::vector<float> si(n), sq(n), ri(n, 9.0f), rq(n, 9.0f);
            ResetGenerators();
            for (int k = 0; k < n; ++k) ASSERT_EQ(iq(mod, &si[k], &sq[k], 4), 0);
            const int32_t bits = datapoints[4], counter = DQPSK_Switch[4];
            ResetGenerators();
            ASSERT_EQ(MapSymbols(mod, ri.data(), rq.data(), 300, 4), 0);
            ASSERT_EQ(MapSymbols(mod, ri.data() + 300, rq.data() + 300, n - 300, 4), 0);
            for (int k = 0; k < n; ++k) {
                ASSERT_EQ(std::bit_cast<uint32_t>(ri[k]), std::bit_cast<uint32_t>(si[k])) << mod << " point " << k;
                ASSERT_EQ(std::bit_cast<uint32_t>(rq[k]), std::bit_cast<uint32_t>(sq[k])) << mod << " point " << k;
            }
            EXPECT_EQ(datapoints[4], bits) << mod;
            EXPECT_EQ(DQPSK_Switch[4], counter) << mod;
        }
    }
}

TEST(Mapper, ImpairmentsActOnTheNormalisedPoint) {
    ResetAll();
    Carrier& r = SetCarrier(0, MOD_QPSK, DATA_ONES);
    r.impairment2_type = IMPAIRMENT_FEEDTHROUGH;
    r.impairment2_value = 5;
    r.impairment2_value2 = -5;
    Point p = Next(MOD_QPSK);
    EXPECT_NEAR(p.i, 1.05, kTol);
    EXPECT_NEAR(p.q, -1.05, kTol);
}

// ---------------------------------------------------------------------------
// DVB-C table symbols.

TEST(Mapper, DvbCarriersReadTheirTablesInACycle) {
    ResetAll();
    std::ifstream in(std::string(ULDO_SOURCE_DIR) + "/resources/origin.res", std::ios::binary);
    std::vector<uint8_t> block((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(block.size(), static_cast<size_t>(ORIGIN_BYTES));
    struct Case {
        int modulation;
        int32_t* table;
        float* phase;
        int symbols, side;
        double scale;
    } cases[] = {{MOD_DVBC16, symbol16, &phase_c16, DVB16_SYMBOLS, 4, 1.5},
                 {MOD_DVBC64, symbol64, &phase_c64, DVB64_SYMBOLS, 8, 3.5},
                 {MOD_DVBC256, symbol256, &phase_c256, DVB256_SYMBOLS, 16, 7.5}};
    for (const Case& c : cases) {
        BuildDvbTable(block.data(), c.modulation, c.table, c.phase);
        Carrier& r = SetCarrier(1, c.modulation, DATA_PRBS);
        r.prbs_seed_i = 12345;  // not used: DVB carriers start at their first symbol
        ResetGenerators();
        EXPECT_EQ(datapoints[1], 0);
        std::vector<Point> pts;
        for (int k = 0; k <= c.symbols; ++k) pts.push_back(Next(c.modulation, 1));
        for (int k : {0, 1, 2, c.symbols - 1}) {
            int s = c.table[k];
            EXPECT_NEAR(pts[k].i, (s % c.side - (c.side - 1) / 2.0) / c.scale, kTol);
            EXPECT_NEAR(pts[k].q, -(s / c.side - (c.side - 1) / 2.0) / c.scale, kTol);
        }
        EXPECT_EQ(pts[c.symbols].i, pts[0].i) << c.modulation;
        EXPECT_EQ(pts[c.symbols].q, pts[0].q) << c.modulation;
    }
    // 32 points: symbol indices through the QAM-32 grid, never a corner
    BuildDvbTable(block.data(), MOD_DVBC32, symbol32, &phase_c32);
    SetCarrier(2, MOD_DVBC32, DATA_PRBS);
    ResetGenerators();
    std::set<std::pair<float, float>> seen;
    Point first = Next(MOD_DVBC32, 2);
    seen.insert({static_cast<float>(first.i), static_cast<float>(first.q)});
    for (int k = 1; k < DVB32_SYMBOLS; ++k) {
        Point p = Next(MOD_DVBC32, 2);
        ASSERT_FALSE(std::fabs(p.i) > 0.99 && std::fabs(p.q) > 0.99);
        seen.insert({static_cast<float>(p.i), static_cast<float>(p.q)});
    }
    EXPECT_EQ(seen.size(), 32u);
    Point wrapped = Next(MOD_DVBC32, 2);
    EXPECT_EQ(wrapped.i, first.i);
    EXPECT_EQ(wrapped.q, first.q);
}

// ---------------------------------------------------------------------------
// CDMA.

TEST(Mapper, Is95ChipsAreDataWalshAndShortPn) {
    ResetAll();
    ScratchDir dir;
    for (int code : {0, 5, 63}) {
        Carrier& r = SetCarrier(3, MOD_IS95DL, DATA_FILE);
        r.channel_code = code;
        SetField(r.data_file, dir.Write("bits.txt", "1 0 0 1"));
        ResetGenerators();
        ASSERT_EQ(OpenDataFile(3), 0);
        InitShortPN(99);  // the reference generators
        const int data[] = {1, 0, 0, 1};
        for (int k = 0; k < 4 * 64; ++k) {
            int d = data[k / 64] ^ Walsh(code, k % 64, 0);
            int pi = ISShiftRegisterI(&CDMA_PN_I[99], IS95_POLY_I, 99);
            int pq = ISShiftRegisterQ(&CDMA_PN_Q[99], IS95_POLY_Q, 99);
            Point p = Next(MOD_IS95DL, 3);
            ASSERT_EQ(p.i, (d ^ pi) ? 1.0 : -1.0) << code << " " << k;
            ASSERT_EQ(p.q, (d ^ pq) ? -1.0 : 1.0) << code << " " << k;
        }
        CloseDataFile(3);
    }
}

TEST(Mapper, ThreeGppChipsAreSpreadDataTimesTheScramblingCode) {
    ResetAll();
    ScratchDir dir;
    const StandardScrambler& ref = Scrambler();
    const int bits[] = {0, 1, 1, 1, 0, 0, 1, 0, 1, 1};  // drawn two per data symbol
    Carrier& r = SetCarrier(5, MOD_3GPPDL, DATA_FILE);
    r.channel_code = 3;
    r.spreading_factor = 8;
    r.scrambling_code_group = 2;
    r.scrambling_code_in_group = 1;
    r.secondary_scrambling_code = 4;
    SetField(r.data_file, dir.Write("bits.txt", "0 1 1 1 0 0 1 0 1 1"));
    ResetGenerators();
    ASSERT_EQ(OpenDataFile(5), 0);
    const int n = 128 * 2 + 16 * 1 + 4;
    for (int k = 0; k < 38400 + 300; ++k) {  // into the second frame
        int symbol = (k / 8) % 5;
        double im = bits[2 * symbol] - 0.5, re = bits[2 * symbol + 1] - 0.5;
        int chip = k % 8, c = Ovsf(3, chip, 8);
        int i = k % 38400;
        double sr = ref.Z(n, i + 131072) - 0.5, si = ref.Z(n, i) - 0.5;
        double a = re * c, b = im * c;
        Point p = Next(MOD_3GPPDL, 5);
        ASSERT_NEAR(p.i, (a * sr - b * si) / 0.5, kTol) << k;
        ASSERT_NEAR(p.q, -(a * si + b * sr) / 0.5, kTol) << k;
    }
    CloseDataFile(5);
}

TEST(Mapper, ThreeGppSyncChannelCarriesTheSyncCodesAtEachSlotStart) {
    ResetAll();
    Carrier& r = SetCarrier(0, MOD_3GPPSC, DATA_PRBS);
    r.scrambling_code_group = 17;
    r.channel_code = 9;
    r.spreading_factor = 0;
    r.psch_level_db = -3;
    r.ssch_level_db = 0;
    ResetGenerators();
    std::set<double> sync_values;
    for (int k = 0; k < 38400 + 2560; ++k) {
        Point p = Next(MOD_3GPPSC);
        if (k % 2560 < 256) {
            int psc, ssc;
            Syncode(k % 38400, 17, &psc, &ssc);
            ASSERT_EQ(p.i, p.q) << k;
            ASSERT_NEAR(p.i, (psc * std::pow(10.0, -3 / 20.0) + ssc) / 2, kTol) << k;
        } else {
            ASSERT_NEAR(std::hypot(p.i, p.q), 1.0, kTol) << k;
            ASSERT_TRUE(p.i == 0 || p.q == 0) << k;
        }
    }
    EXPECT_EQ(r.channel_code, 1);
    EXPECT_EQ(r.spreading_factor, 256);

    r.psch_level_db = r.ssch_level_db = 0;
    ResetGenerators();
    for (int k = 0; k < 256; ++k) sync_values.insert(Next(MOD_3GPPSC).i);
    EXPECT_EQ(sync_values, (std::set<double>{-1, 0, 1}));
}

TEST(Mapper, ThreeGppSettingsThatCannotWork) {
    ResetAll();
    Carrier& r = SetCarrier(0, MOD_3GPPDL, DATA_ZEROS);
    r.spreading_factor = 0;  // means code 1 of factor 256
    r.channel_code = 7;
    Next(MOD_3GPPDL);
    EXPECT_EQ(r.spreading_factor, 256);
    EXPECT_EQ(r.channel_code, 1);
    EXPECT_TRUE(Messages().empty());

    for (int sf : {6, -4}) {
        r.spreading_factor = sf;
        float I = 7, Q = 8;
        EXPECT_EQ(iq(MOD_3GPPDL, &I, &Q, 0), -1);
        EXPECT_EQ(I, 7);
        EXPECT_EQ(Q, 8);
    }
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_NE(Messages()[0].find("COMPILATION ERROR|"), std::string::npos);
    EXPECT_NE(Messages()[0].find("power of two"), std::string::npos);

    Messages().clear();
    Carrier& s = SetCarrier(1, MOD_3GPPSC, DATA_ZEROS);
    s.scrambling_code_group = 64;
    float I, Q;
    EXPECT_EQ(iq(MOD_3GPPSC, &I, &Q, 1), -1);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_NE(Messages()[0].find("0 to 63"), std::string::npos);
}

// ---------------------------------------------------------------------------
// FILE 3: the user's symbol map.

std::string MapImage(int points, int rotation_mode, float step) {
    SymbolMap m{};
    SetField(m.map_name, "test map");
    m.num_points = points;
    m.rotation_mode = rotation_mode;
    m.rotation_step = step;
    for (int k = 0; k < MAX_MAP_POINTS; ++k) {
        m.point_i[k] = 0.1f * static_cast<float>(k);
        m.point_q[k] = -0.05f * static_cast<float>(k) + 0.5f;
    }
    return std::string(reinterpret_cast<const char*>(&m), sizeof m);
}

TEST(Mapper, SymbolMapPointsAsTheyStand) {
    ResetAll();
    ScratchDir dir;
    Carrier& r = SetCarrier(0, MOD_FILE3, DATA_FILE);
    SetField(r.mod_file, dir.Write("m.smp", MapImage(12, 0, 0)));
    SetField(r.data_file, dir.Write("bits.txt", "0 1 0 1  1 1 1 1"));  // 4 bits: 5, then 15
    ASSERT_EQ(OpenDataFile(0), 0);
    Point a = Next(MOD_FILE3), b = Next(MOD_FILE3);
    EXPECT_NEAR(a.i, 0.5, kTol);
    EXPECT_NEAR(a.q, -(0.5 - 0.25), kTol);
    EXPECT_NEAR(b.i, 1.5, kTol);  // beyond the 12 defined points: as the record holds it
    EXPECT_NEAR(b.q, -(0.5 - 0.75), kTol);
    EXPECT_EQ(map.num_points, 12);
    EXPECT_EQ(FieldText(map.map_name), "test map");
    CloseDataFile(0);
}

TEST(Mapper, SymbolMapInItsJsonForm) {
    ResetAll();
    ScratchDir dir;
    Carrier& r = SetCarrier(0, MOD_FILE3, DATA_FILE);
    SetField(r.mod_file, dir.Write("m.json", R"({"map_name": "j", "points": [[1, 2], [3, -4]]})"));
    SetField(r.data_file, dir.Write("bits.txt", "1 0"));
    ASSERT_EQ(OpenDataFile(0), 0);
    Point a = Next(MOD_FILE3), b = Next(MOD_FILE3);
    EXPECT_NEAR(a.i, 3, kTol);
    EXPECT_NEAR(a.q, 4, kTol);  // Q with the sign the mapper gives .smp points too
    EXPECT_NEAR(b.i, 1, kTol);
    EXPECT_NEAR(b.q, -2, kTol);
    EXPECT_EQ(map.num_points, 2);
    CloseDataFile(0);
}

TEST(Mapper, SymbolMapRotations) {
    const float step = 0.3f;
    for (int mode : {1, 2}) {
        ResetAll();
        ScratchDir dir;
        Carrier& r = SetCarrier(0, MOD_FILE3, DATA_ZEROS);
        SetField(r.mod_file, dir.Write("m.smp", MapImage(2, mode, step)));  // 1 bit: point 0
        for (int k = 0; k < 5; ++k) {
            int turns = mode == 1 ? k : k % 2;
            double angle = step * turns;
            Point p = Next(MOD_FILE3);
            // point 0 is (0, 0.5): turned, then Q negated
            EXPECT_NEAR(p.i, -0.5 * std::sin(angle), 1e-5) << mode << " " << k;
            EXPECT_NEAR(p.q, -0.5 * std::cos(angle), 1e-5) << mode << " " << k;
        }
    }
}

TEST(Mapper, SymbolMapFailures) {
    ResetAll();
    ScratchDir dir;
    Carrier& r = SetCarrier(0, MOD_FILE3, DATA_ZEROS);
    SetField(r.mod_file, dir.File("absent.smp"));
    float I = 3, Q = 4;
    EXPECT_EQ(iq(MOD_FILE3, &I, &Q, 0), -1);
    EXPECT_EQ(I, 3);
    EXPECT_EQ(Q, 4);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], "|File Opening Error (17)\n" + dir.File("absent.smp") + ": No such file or directory");

    for (int points : {0, 1025, -3}) {
        Messages().clear();
        SetField(r.mod_file, dir.Write("bad.smp", MapImage(points, 0, 0)));
        EXPECT_EQ(iq(MOD_FILE3, &I, &Q, 0), -1) << points;
        EXPECT_EQ(Messages().size(), 1u);
    }
    // one point: no bits drawn, always point 0
    SetField(r.mod_file, dir.Write("one.smp", MapImage(1, 0, 0)));
    r.data_source = DATA_PRBS;
    ResetGenerators();
    int32_t before = datapoints[0];
    Point p = Next(MOD_FILE3);
    EXPECT_NEAR(p.q, -0.5, kTol);
    EXPECT_EQ(datapoints[0], before);
}

TEST(Mapper, ResetRestartsEveryGenerator) {
    ResetAll();
    SetCarrier(0, MOD_CQPSK, DATA_PRBS);
    SetCarrier(1, MOD_IS95DL, DATA_PRBS);
    SetCarrier(2, MOD_O8PSK, DATA_PRBS);
    ResetGenerators();
    std::vector<float> first, second;
    for (int pass = 0; pass < 2; ++pass) {
        auto& out = pass == 0 ? first : second;
        for (int k = 0; k < 100; ++k)
            for (int c = 0; c < 3; ++c) {
                float I, Q;
                ASSERT_EQ(iq(signals[c].modulation, &I, &Q, c), 0);
                out.push_back(I);
                out.push_back(Q);
            }
        GMSK_acum[1] = 3.0f;
        ResetGenerators();
        EXPECT_EQ(GMSK_acum[1], 0.0f);
        EXPECT_EQ(DQPSK_Switch[0], 0);
    }
    EXPECT_EQ(first, second);
}

TEST(Mapper, CodesWithoutASymbolGiveTheOrigin) {
    ResetAll();
    for (int code : {0, 17, 24, 15, 34, 40, -1}) {
        Point p = Next(code);
        EXPECT_EQ(p.i, 0.0) << code;
        EXPECT_EQ(p.q, 0.0) << code;
    }
    float I, Q;
    EXPECT_EQ(iq(MOD_QPSK, &I, &Q, 100), -1);
}

}  // namespace
