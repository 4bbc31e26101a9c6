#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <fstream>
#include <sstream>
#include <set>
#include <vector>

#include "mod_support.h"
#include "modulation/bits.h"
#include "support/hadamard.h"

using namespace modtest;

namespace {

// The register word as a sequence: a(t) enters bit 31 at step t and obeys
// a(t) = xor over the set bits i of P of a(t - 31 + i); a step outputs the bit
// that entered 31 - j steps earlier. History comes from the seed's bits 1..31.
struct SequenceModel {
    std::vector<int> a;  // a[m] is the bit of time m - 31
    uint32_t poly;
    int j;
    int t = 0;
    SequenceModel(uint32_t seed, uint32_t p) : poly(p), j(p ? std::countr_zero(p) : 0) {
        for (int k = 1; k <= 31; ++k) a.push_back((seed >> k) & 1);
    }
    // (output, feedback) of the next step
    std::pair<int, int> Step() {
        int fb = 0;
        for (int i = 0; i < 31; ++i)
            if ((poly >> i) & 1) fb ^= a[t + i];
        a.push_back(fb);
        int out = a[t + j];
        ++t;
        return {out, fb};
    }
};

TEST(ShiftRegister, MatchesTheSequenceDefinition) {
    const uint32_t cases[][2] = {{3, 0xFEDCBA98u}, {0x23A10000, 0x00030000}, {0x12345678, 1},
                                 {0x40000001, 0x80000001u}, {0x00942000, 0xFFFFFFFFu}};
    for (auto [poly, seed] : cases) {
        SequenceModel model(seed, poly);
        int32_t r1 = static_cast<int32_t>(seed), r2 = r1;
        for (int step = 0; step < 2000; ++step) {
            auto [out, fb] = model.Step();
            ASSERT_EQ(ShiftRegister(&r1, static_cast<int32_t>(poly)), out) << poly << " step " << step;
            ASSERT_EQ(ShiftRegister2(&r2, static_cast<int32_t>(poly)), fb) << poly << " step " << step;
        }
        EXPECT_EQ(r1, r2);
    }
}

TEST(ShiftRegister, WordZeroOutputsBitOneAndShiftsInZeros) {
    int32_t r = 0x0000000A;  // bits 1 and 3
    EXPECT_EQ(ShiftRegister(&r, 0), 1);
    EXPECT_EQ(r, 0x5);
    EXPECT_EQ(ShiftRegister(&r, 0), 0);
    EXPECT_EQ(ShiftRegister(&r, 0), 1);
    EXPECT_EQ(r, 0x1);
    int32_t s = -1;
    EXPECT_EQ(ShiftRegister2(&s, 0), 0);
    EXPECT_EQ(static_cast<uint32_t>(s), 0x7FFFFFFFu);
}

TEST(ShiftRegister, Word3RunsThirtyOneStages) {
    // j = 0, so the output is the bit that entered 31 steps earlier:
    // o(t) = o(t - 31) xor o(t - 30).
    int32_t r = static_cast<int32_t>(0xFEDCBA98u);
    std::vector<int> o;
    for (int k = 0; k < 500; ++k) o.push_back(ShiftRegister(&r, 3));
    for (size_t t = 31; t < o.size(); ++t) ASSERT_EQ(o[t], o[t - 31] ^ o[t - 30]) << t;
}

TEST(ShiftRegister, TopBitOfTheWordIsIgnored) {
    int32_t a = 0x1234567, b = a;
    for (int k = 0; k < 100; ++k)
        EXPECT_EQ(ShiftRegister(&a, static_cast<int32_t>(0x80000003u)), ShiftRegister(&b, 3));
}

// IS-95 short PN, written from the standard: i(n) = i(n-15)+i(n-10)+i(n-8)+
// i(n-7)+i(n-6)+i(n-2), q(n) = q(n-15)+q(n-12)+q(n-11)+q(n-10)+q(n-9)+q(n-5)+
// q(n-4)+q(n-3), each extended by a 0 after its run of 14 zeros; returned from
// the chip after the run of 15 zeros.
std::vector<int> StandardShortPN(const std::vector<int>& delays) {
    std::vector<int> s(15, 0);
    s[0] = 1;
    for (int n = 15; n < 32767 + 15; ++n) {
        int v = 0;
        for (int d : delays) v ^= s[n - d];
        s.push_back(v);
    }
    std::vector<int> m(s.begin(), s.begin() + 32767);  // one period
    // find the run of 14 zeros (cyclically) and insert a 15th
    int start = -1;
    for (int k = 0; k < 32767 && start < 0; ++k) {
        bool run = true;
        for (int d = 0; d < 14 && run; ++d) run = m[(k + d) % 32767] == 0;
        if (run && m[(k + 32766) % 32767] == 1) start = k;
    }
    EXPECT_GE(start, 0);
    std::vector<int> extended;
    for (int k = 0; k < 32767; ++k) {
        int idx = (start + 14 + k) % 32767;  // from the chip after the run
        extended.push_back(m[idx]);
    }
    extended.push_back(0);  // the inserted zero, just before the chip we started at
    return extended;  // extended[32767] closes the 15-zero run; extended[0] is the 1 after it
}

TEST(ShortPN, MatchesTheStandardSequencesOverTwoPeriods) {
    ResetAll();
    const std::vector<int> i_ref = StandardShortPN({15, 10, 8, 7, 6, 2});
    const std::vector<int> q_ref = StandardShortPN({15, 12, 11, 10, 9, 5, 4, 3});
    ASSERT_EQ(i_ref.size(), 32768u);
    InitShortPN(7);
    for (int n = 0; n < 2 * 32768; ++n) {
        ASSERT_EQ(ISShiftRegisterI(&CDMA_PN_I[7], IS95_POLY_I, 7), i_ref[n % 32768]) << n;
        ASSERT_EQ(ISShiftRegisterQ(&CDMA_PN_Q[7], IS95_POLY_Q, 7), q_ref[n % 32768]) << n;
    }
}

TEST(ShortPN, StartsAfterTheRunOfFifteenZerosWithTheQuotedChips) {
    ResetAll();
    InitShortPN(0);
    const int i_first[16] = {1, 0, 1, 0, 1, 0, 0, 1, 0, 0, 1, 1, 1, 0, 1, 0};
    const int q_first[16] = {1, 0, 0, 1, 1, 1, 1, 0, 1, 0, 1, 1, 1, 0, 1, 0};
    std::vector<int> chips;
    for (int k = 0; k < 32768; ++k) chips.push_back(ISShiftRegisterI(&CDMA_PN_I[0], IS95_POLY_I, 0));
    for (int k = 0; k < 16; ++k) EXPECT_EQ(chips[k], i_first[k]) << k;
    // exactly one run of 15 zeros per period, and it ends the period
    int longest = 0, runs15 = 0, run = 0;
    for (int k = 0; k < 2 * 32768; ++k) {
        if (chips[k % 32768] == 0) {
            ++run;
        } else {
            if (run == 15 && k >= 32768) ++runs15;
            longest = std::max(longest, run);
            run = 0;
        }
    }
    EXPECT_EQ(longest, 15);
    EXPECT_EQ(runs15, 1);
    for (int k = 32768 - 15; k < 32768; ++k) EXPECT_EQ(chips[k], 0);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(ISShiftRegisterQ(&CDMA_PN_Q[0], IS95_POLY_Q, 0), q_first[k]) << k;
}

TEST(GetData, FixedSourcesAndDefaultRegister) {
    ResetAll();
    SetCarrier(3, MOD_QPSK, DATA_ONES);
    EXPECT_EQ(GetData(4, 3), 15u);
    EXPECT_EQ(GetData(0, 3), 0u);
    signals[3].data_source = DATA_ZEROS;
    EXPECT_EQ(GetData(4, 3), 0u);

    signals[3].data_source = DATA_PRBS;
    datapoints[3] = static_cast<int32_t>(0xFEDCBA98u);
    // 0,0,1,1, 0,0,1,0, 1,0,1,1, 1,0,1,0, first bit most significant
    EXPECT_EQ(GetData(4, 3), 0x3u);
    EXPECT_EQ(GetData(0, 3), 0u);  // consumes nothing
    EXPECT_EQ(GetData(12, 3), 0x2BAu);
}

// A run of values equals the single draws, and leaves the register where they
// do: words with taps high and low (few steps at once) or none, top bit set,
// values of 1 to 32 bits.
TEST(GetData, RunMatchesSingleDraws) {
    const uint32_t polys[] = {3, 0, 0x40000000u, 0x80000003u, 0x23A10000u, 0x00102000u, 0x7FFFFFFFu, 0x00000900u};
    const int counts[] = {1, 2, 5, 6, 10, 16, 31, 32};
    for (uint32_t poly : polys) {
        for (int count : counts) {
            ResetAll();
            Carrier& rec = SetCarrier(9, MOD_QAM64, DATA_PRBS);
            rec.prbs_poly_i = poly;
            const int32_t seed = static_cast<int32_t>(0xFEDCBA98u ^ poly);
            datapoints[9] = seed;
            std::vector<uint32_t> single(77), run(77);
            for (auto& v : single) v = GetData(count, 9);
            const int32_t after = datapoints[9];
            datapoints[9] = seed;
            GetDataRun(count, 70, 9, run.data());
            GetDataRun(count, 7, 9, run.data() + 70);
            ASSERT_EQ(run, single) << std::hex << poly << " count " << std::dec << count;
            ASSERT_EQ(datapoints[9], after) << std::hex << poly << " count " << std::dec << count;
        }
    }
    ResetAll();
    SetCarrier(2, MOD_QPSK, DATA_ONES);
    uint32_t ones[3];
    GetDataRun(4, 3, 2, ones);
    EXPECT_EQ(ones[0], 15u);
    EXPECT_EQ(ones[2], 15u);
}

TEST(GetData, DataFileIsReadCyclicallyAndReopenedFromTheStart) {
    ResetAll();
    ScratchDir dir;
    Carrier& c = SetCarrier(2, MOD_BPSK, DATA_FILE);
    SetField(c.data_file, dir.Write("bits.txt", "1 0\n1\n1\n0"));
    ASSERT_EQ(OpenDataFile(2), 0);
    EXPECT_EQ(GetData(5, 2), 0x16u);   // 10110
    EXPECT_EQ(GetData(7, 2), 0x5Au);   // 1011010: wraps after the fifth bit
    ASSERT_EQ(OpenDataFile(2), 0);     // a new pass starts at the beginning
    EXPECT_EQ(GetData(3, 2), 0x5u);
    CloseDataFile(2);
    EXPECT_EQ(data_handle[2], nullptr);
    EXPECT_TRUE(Messages().empty());
}

TEST(GetData, BadDataFilesNeverGiveMoreThanTheirBits) {
    ResetAll();
    ScratchDir dir;
    Carrier& c = SetCarrier(1, MOD_QAM16, DATA_FILE);
    // numbers other than 0 count as 1; words are skipped
    SetField(c.data_file, dir.Write("odd.txt", "5 x 0 -1 two 0"));
    ASSERT_EQ(OpenDataFile(1), 0);
    EXPECT_EQ(GetData(4, 1), 0xAu);  // 1 0 1 0
    EXPECT_EQ(GetData(2, 1), 0x2u);  // wraps: 1 0
    EXPECT_TRUE(Messages().empty());

    SetField(c.data_file, dir.Write("empty.txt", "no numbers here"));
    ASSERT_EQ(OpenDataFile(1), 0);
    EXPECT_EQ(GetData(4, 1), 0u);
    EXPECT_EQ(GetData(4, 1), 0u);
    ASSERT_EQ(Messages().size(), 1u);  // said once per opening
    EXPECT_NE(Messages()[0].find("holds no numbers"), std::string::npos);

    SetField(c.data_file, dir.File("missing.txt"));
    Messages().clear();
    EXPECT_EQ(OpenDataFile(1), -1);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], "|File Opening Error (18)\n" + dir.File("missing.txt") + ": No such file or directory");
    EXPECT_EQ(GetData(3, 1), 0u);
}

TEST(Walsh, IsTheSylvesterHadamardMatrix) {
    const std::vector<std::vector<int>> h = Hadamard(128);
    for (int a = 0; a < 128; ++a)
        for (int b = 0; b < 128; ++b) {
            ASSERT_EQ(Walsh(a, b, 1), h[a][b]) << a << "," << b;
            ASSERT_EQ(Walsh(a, b, 0), h[a][b] == -1 ? 1 : 0) << a << "," << b;
        }
    EXPECT_EQ(Walsh(3, 1, 0), 1);
    EXPECT_EQ(Walsh(1000, 77777, 1), (std::popcount(1000u & 77777u) % 2) ? -1 : 1);
}

TEST(Walsh, PowerOfTwoBelow) {
    const int cases[][2] = {{0, 0}, {1, 1}, {2, 2}, {3, 2}, {63, 32}, {64, 64}, {0x7FFFFFFF, 0x40000000}, {-5, 0}};
    for (auto [x, p] : cases) EXPECT_EQ(Walsh_P_Array(x), p) << x;
}

TEST(Ovsf, IsTheCodeTree) {
    // C(1,0) = (1); C(2n,2k) = (C(n,k), C(n,k)); C(2n,2k+1) = (C(n,k), -C(n,k))
    std::vector<std::vector<int>> codes = {{1}};
    for (int sf = 2; sf <= 512; sf *= 2) {
        std::vector<std::vector<int>> next;
        for (const auto& c : codes) {
            std::vector<int> even = c, odd = c;
            for (int v : c) {
                even.push_back(v);
                odd.push_back(-v);
            }
            next.push_back(even);
            next.push_back(odd);
        }
        codes = next;
        for (int k = 0; k < sf; ++k)
            for (int chip = 0; chip < sf; ++chip)
                ASSERT_EQ(Ovsf(k, chip, sf), codes[k][chip]) << sf << " " << k << " " << chip;
    }
    const int c14[4] = {1, 1, -1, -1};
    for (int chip = 0; chip < 4; ++chip) EXPECT_EQ(Ovsf(1, chip, 4), c14[chip]);
}

TEST(Scrambling, MatchesTheStandardOverAWholeFrame) {
    const StandardScrambler& ref = Scrambler();
    auto z = [&](int n, int i) { return ref.Z(n, i); };

    const int codes[][3] = {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {32, 0, 4}, {63, 7, 15}, {17, 3, 9}};
    int32_t xr = 0, yr = 0;
    for (auto [group, primary, secondary] : codes) {
        const int n = 128 * group + 16 * primary + secondary;
        for (int i = 0; i < 38400; ++i) {
            int s = TGPPSDLScramble(&xr, &yr, i, group, primary, secondary);
            ASSERT_EQ(s & 1, z(n, i)) << "code " << n << " chip " << i;
            ASSERT_EQ(s >> 1, z(n, i + 131072)) << "code " << n << " chip " << i;
        }
    }
    // code 0 starts 0, 1, 1 on I
    int first[3];
    for (int i = 0; i < 3; ++i) first[i] = TGPPSDLScramble(&xr, &yr, i, 0, 0, 0) & 1;
    EXPECT_EQ(first[0], 0);
    EXPECT_EQ(first[1], 1);
    EXPECT_EQ(first[2], 1);
}

// The synchronisation codes as the standard builds them: a as given,
// b = a with its second half negated, the PSC blocks of a, the SSC
// z = <b,b,b,-b,b,b,-b,-b,b,-b,b,-b,-b,-b,-b,-b> times Hadamard row 16(k-1).
TEST(Syncode, MatchesTheStandardConstruction) {
    const int a[16] = {1, 1, 1, 1, 1, 1, -1, -1, 1, -1, 1, -1, 1, -1, -1, 1};
    int b[16];
    for (int k = 0; k < 16; ++k) b[k] = k < 8 ? a[k] : -a[k];
    const int psc_blocks[16] = {1, 1, 1, -1, -1, 1, -1, -1, 1, 1, 1, -1, 1, -1, 1, 1};
    const int z_blocks[16] = {1, 1, 1, -1, 1, 1, -1, -1, 1, -1, 1, -1, -1, -1, -1, -1};
    const std::vector<std::vector<int>> h = Hadamard(256);
    for (int group : {0, 1, 31, 63})
        for (int slot = 0; slot < 15; ++slot)
            for (int c = 0; c < 256; ++c) {
                int chip = slot * 2560 + c;
                int psc = 0, ssc = 0;
                Syncode(chip, group, &psc, &ssc);
                int k = ssc_allocation[group][slot];
                ASSERT_EQ(psc, a[c % 16] * psc_blocks[c / 16]) << chip;
                ASSERT_EQ(ssc, h[16 * (k - 1)][c] * b[c % 16] * z_blocks[c / 16]) << chip;
            }
}

TEST(Syncode, SecondaryCodesAreOrthogonal) {
    std::array<std::array<int, 256>, 17> codes{};
    for (int slot = 0; slot < 15; ++slot)
        for (int c = 0; c < 256; ++c) {
            int psc, ssc;
            Syncode(slot * 2560 + c, 0, &psc, &ssc);
            codes[ssc_allocation[0][slot]][c] = ssc;
            codes[0][c] = psc;
        }
    std::set<int> used(ssc_allocation[0], ssc_allocation[0] + 15);
    for (int m : used)
        for (int n : used) {
            int dot = 0;
            for (int c = 0; c < 256; ++c) dot += codes[m][c] * codes[n][c];
            EXPECT_EQ(dot, m == n ? 256 : 0) << m << " " << n;
        }
}

TEST(Syncode, AllocationTableRows) {
    const int8_t first[8] = {1, 1, 2, 8, 9, 10, 15, 8};
    const int8_t last[15] = {9, 12, 10, 15, 13, 14, 9, 14, 15, 11, 11, 13, 12, 16, 10};
    for (int s = 0; s < 8; ++s) EXPECT_EQ(ssc_allocation[0][s], first[s]);
    for (int s = 0; s < 15; ++s) EXPECT_EQ(ssc_allocation[63][s], last[s]);
    // The rows form a comma-free code: every cyclic shift of every row is
    // distinct, which is what lets a receiver find group and frame start.
    std::set<std::vector<int>> shifts;
    for (int g = 0; g < 64; ++g)
        for (int s = 0; s < 15; ++s) {
            std::vector<int> word;
            for (int k = 0; k < 15; ++k) {
                int v = ssc_allocation[g][(s + k) % 15];
                ASSERT_GE(v, 1);
                ASSERT_LE(v, 16);
                word.push_back(v);
            }
            shifts.insert(word);
        }
    EXPECT_EQ(shifts.size(), 64u * 15u);
}

TEST(Syncode, AllocationTableEqualsTheSharedCopyWhenPresent) {
    std::ifstream in(std::string(ULDO_SOURCE_DIR) + "/../shared/data/ssc_allocation.txt");
    if (!in) GTEST_SKIP() << "no shared data beside the clone";
    std::string line;
    int g = 0;
    while (std::getline(in, line) && g < 64) {
        std::stringstream row(line);
        std::string cell;
        for (int s = 0; s < 15; ++s) {
            ASSERT_TRUE(std::getline(row, cell, ','));
            EXPECT_EQ(ssc_allocation[g][s], std::stoi(cell)) << g << " " << s;
        }
        ++g;
    }
    EXPECT_EQ(g, 64);
}

TEST(Syncode, GroupOutsideTheTableStaysInside) {
    int p1, s1, p2, s2;
    Syncode(2560 * 3 + 40, 64 + 5, &p1, &s1);
    Syncode(2560 * 3 + 40, 5, &p2, &s2);
    EXPECT_EQ(p1, p2);
    EXPECT_EQ(s1, s2);
}

}  // namespace
