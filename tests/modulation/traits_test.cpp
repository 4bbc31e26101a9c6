// The modulation traits against what the mapper does: for every code whose
// symbols iq maps, the mean symbol power of many iq points equals the power
// factor of its row (twice it for a quarter-rate shift, whose record holds
// half the pair's power); the alphabets known at run time against
// MeanSymbolPower. A new row is covered without a new case.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "modulation/dvb.h"
#include "modulation/mapper.h"
#include "mod_support.h"
#include "shell/modtraits.h"

using namespace modtest;

namespace {

double MeanPowerOfIq(int modulation, int symbols) {
    double sum = 0.0;
    for (int k = 0; k < symbols; ++k) {
        float i = 0.0f, q = 0.0f;
        if (iq(modulation, &i, &q, 0) != 0) return -1.0;
        sum += static_cast<double>(i) * i + static_cast<double>(q) * q;
    }
    return sum / symbols;
}

TEST(ModulationTraits, MeanSymbolPowerOfIqMatchesThePowerFactor) {
    ScratchDir dir;
    InitPI();
    BuildDvbTables();
    int covered = 0;
    for (const ModulationTraits& t : modulation_traits) {
        // No symbols from iq; or a unit envelope whatever the levels (the
        // frequency-modulated carriers); or no alphabet (3GPP(SC)'s bursts).
        if (t.family == FAMILY_NONE || t.constant_envelope || t.power_factor == 0.0f) continue;
        ResetAll();
        Carrier& c = SetCarrier(0, t.code, DATA_PRBS);
        c.spreading_factor = 16;
        int symbols = 130560;  // whole cycles of every DVB-C table
        if (t.kind == MOD_KIND_MAP) {
            SymbolMap m{};
            m.num_points = 4;
            const float pi[] = {1, 0, -2, 0}, pq[] = {0, 1, 0, -3};
            std::memcpy(m.point_i, pi, sizeof pi);
            std::memcpy(m.point_q, pq, sizeof pq);
            SetField(c.mod_file, dir.Write("four.smp", std::string(reinterpret_cast<const char*>(&m), sizeof m)));
            symbols = 8192;  // the map is read for every symbol
        }
        ResetGenerators();
        const double measured = MeanPowerOfIq(t.code, symbols);
        ASSERT_GE(measured, 0.0) << t.display_name << ": " << (Messages().empty() ? "" : Messages()[0]);
        const double expected = t.power_factor == POWER_FROM_ALPHABET ? MeanSymbolPower(t.code)
                                                                       : t.power_factor * (t.quarter_shift ? 2.0 : 1.0);
        EXPECT_NEAR(measured, expected, 0.01 * expected) << t.display_name;
        if (t.kind == MOD_KIND_MAP) EXPECT_NEAR(expected, (1 + 1 + 4 + 9) / 4.0, 1e-6);
        ++covered;
    }
    EXPECT_GT(covered, 0);
    core_hooks.message = nullptr;
}

// The exhaustive mean over each fixed alphabet is the table's figure, bit for
// bit after rounding to float: a mistyped row shows here.
TEST(ModulationTraits, FixedPowerFactorsAreTheAlphabetMeans) {
    InitPI();
    for (const ModulationTraits& t : modulation_traits) {
        if (t.family == FAMILY_NONE || t.constant_envelope || t.power_factor == 0.0f ||
            t.power_factor == POWER_FROM_ALPHABET)
            continue;
        double mean = MeanSymbolPower(t.code);
        if (t.quarter_shift) mean /= 2.0;
        EXPECT_EQ(static_cast<float>(mean), t.power_factor) << t.display_name;
    }
}

// Names and kinds stay consistent with the code lists the rest reads.
TEST(ModulationTraits, RowsAgreeWithTheirCodes) {
    for (const ModulationTraits& t : modulation_traits) {
        const bool used = t.kind != MOD_KIND_UNUSED;
        EXPECT_EQ(t.code_name != nullptr, used) << t.code;
        EXPECT_EQ(ModulationDisplayName(t.code) != nullptr, used) << t.code;
        if (!used) continue;
        EXPECT_EQ(std::strlen(t.table_name), 6u) << t.code;
        // A mapped symbol has bits or a table/map to come from, and a scale.
        if (t.family != FAMILY_NONE) EXPECT_GT(t.scale, 0.0f) << t.code;
        if (t.fsk_levels) EXPECT_EQ(t.fsk_levels, 1 << t.bits) << t.code;
        // The tone's law belongs to the analog carriers alone, the constellation turn to a DVB table.
        EXPECT_EQ(t.analog != ANALOG_NONE, t.kind == MOD_KIND_ANALOG) << t.code;
        if (t.phase_ramp) EXPECT_EQ(t.kind, MOD_KIND_DVB) << t.code;
    }
    EXPECT_EQ(ModTraits(-1).kind, MOD_KIND_UNUSED);
    EXPECT_EQ(ModTraits(MODULATION_CODES).kind, MOD_KIND_UNUSED);
}

}  // namespace
