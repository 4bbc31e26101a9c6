// The editor's record logic, the table operations and the assistant's comb,
// without panels.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "editors/assistant.h"
#include "editors/carrieredit.h"
#include "editors/options.h"
#include "modulation/bits.h"
#include "shell/hooks.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"

namespace {

class CarrierEdit : public ::testing::Test {
protected:
    void SetUp() override {
        StartCoreCase();
        ResetAssistantRandom();
    }
    void TearDown() override { core_hooks = CoreHooks{}; }

    // A table of `count` carriers at 1, 2, 3 ... MHz, each marked in its fields.
    static void MakeTable(int count) {
        for (int i = 0; i < count; ++i) {
            Carrier& c = signals[i];
            c.frequency_hz = 1e6f * (i + 1);
            c.amplitude = 1.0f;
            c.modulation = MOD_QPSK;
            c.data_source = i % 4;
            c.impairment2_type = IMPAIRMENT_FEEDTHROUGH;
            c.impairment2_value2 = static_cast<float>(i);
            c.psch_level_db = -static_cast<float>(i);
            SetField(c.data_file, "bits" + std::to_string(i));
        }
        if (count < MAX_CARRIERS) signals[count].frequency_hz = -1.0f;
        globals.carrier_count = count;
        globals.current_carrier = count;
        globals.reference_carrier = count > 0 ? 1 : 0;
    }

    static CarrierForm QpskForm() {
        CarrierForm f{};
        f.frequency_mhz = 10.0;
        f.amplitude = 1.0;
        f.symbol_rate_m = 3.84;
        f.modulation = MOD_QPSK;
        f.filter = FILTER_SQRT_RCOS;
        f.filter_param = 0.22;
        f.filter_length = 33;
        return f;
    }
};

TEST_F(CarrierEdit, StoreConvertsUnitsAndAppliesTheOverrides) {
    struct Case {
        int modulation, filter, length, stored_filter, stored_length;
    } cases[] = {
        {MOD_QPSK, FILTER_SQRT_RCOS, 33, FILTER_SQRT_RCOS, 33}, {MOD_GMSK, FILTER_RCOS, 9, FILTER_GAUSS2, 9},
        {MOD_AM, FILTER_RCOS, 4, FILTER_NONE, 5},                {MOD_NONE, FILTER_GAUSS, 8, FILTER_NONE, 9},
        {MOD_FM, FILTER_EDGE, 1, FILTER_NONE, 1},                {MOD_PM, FILTER_FILE, 200, FILTER_NONE, 201},
        {MOD_2FSK, FILTER_GAUSS2, 10, FILTER_GAUSS2, 11},
    };
    for (const Case& k : cases) {
        CarrierForm f = QpskForm();
        f.modulation = k.modulation;
        f.filter = k.filter;
        f.filter_length = k.length;
        f.deviation_khz = 12.5;
        Carrier c{};
        StoreForm(f, &c);
        EXPECT_EQ(c.filter_type, k.stored_filter) << k.modulation;
        EXPECT_EQ(c.filter_length, k.stored_length) << k.modulation;
        EXPECT_EQ(c.frequency_hz, 10e6f);
        EXPECT_EQ(c.symbol_rate, 3.84e6f);
        EXPECT_EQ(c.deviation_hz, 12500.0f);
    }
}

TEST_F(CarrierEdit, DataOffsetSignAndFileNamesGoBothWays) {
    CarrierForm f = QpskForm();
    f.data_offset = 7;
    f.data_negative = 1;
    std::strcpy(f.iq_file, "samples.txt");
    std::strcpy(f.map_file, "points.smp");
    Carrier c{};
    SetField(c.mod_file, "kept.smp");
    StoreForm(f, &c);
    EXPECT_EQ(c.data_offset, -7);
    EXPECT_EQ(FieldText(c.mod_file), "kept.smp");  // QPSK names no file

    CarrierForm back;
    FormOfCarrier(c, &back);
    EXPECT_EQ(back.data_offset, 7);
    EXPECT_EQ(back.data_negative, 1);
    EXPECT_STREQ(back.iq_file, "");
    EXPECT_STREQ(back.map_file, "");

    f.modulation = MOD_FILE2;
    StoreForm(f, &c);
    EXPECT_EQ(FieldText(c.mod_file), "samples.txt");
    FormOfCarrier(c, &back);
    EXPECT_STREQ(back.iq_file, "samples.txt");
    f.modulation = MOD_FILE3;
    StoreForm(f, &c);
    EXPECT_EQ(FieldText(c.mod_file), "points.smp");
    FormOfCarrier(c, &back);
    EXPECT_STREQ(back.map_file, "points.smp");
    EXPECT_STREQ(back.iq_file, "");

    c.data_offset = INT32_MIN;  // its magnitude is no int
    FormOfCarrier(c, &back);
    EXPECT_EQ(back.data_offset, INT32_MAX);
    EXPECT_EQ(back.data_negative, 1);
}

TEST_F(CarrierEdit, OverlongFileNamesAreRefusedNotCut) {
    CarrierForm f = QpskForm();
    std::string problem;
    std::memset(f.data_file, 'd', 199);
    EXPECT_TRUE(FormFits(f, &problem));
    std::memset(f.data_file, 'd', 200);
    EXPECT_FALSE(FormFits(f, &problem));
    EXPECT_NE(problem.find("data file name has 200 characters"), std::string::npos) << problem;
    f.data_file[0] = 0;
    std::memset(f.iq_file, 'i', 300);
    EXPECT_TRUE(FormFits(f, &problem));  // a QPSK carrier stores no I/Q file
    f.modulation = MOD_FILE1;
    EXPECT_FALSE(FormFits(f, &problem));
    EXPECT_NE(problem.find("I/Q file name has 300"), std::string::npos) << problem;
}

TEST_F(CarrierEdit, AddOnAnEmptyAndOnAFullTable) {
    ASSERT_EQ(BeginAdd(), 0);
    EXPECT_EQ(signals[0].prbs_seed_i, 0xFEDCBA98u);
    EXPECT_EQ(signals[0].prbs_poly_q, 3u);
    EXPECT_EQ(signals[0].prbs_iq_equal, 1);
    StoreForm(QpskForm(), &signals[0]);
    FinishStore();
    EXPECT_EQ(globals.carrier_count, 1);
    EXPECT_EQ(globals.current_carrier, 1);
    EXPECT_EQ(signals[1].frequency_hz, -1.0f);
    EXPECT_EQ(globals.reference_carrier, 1);

    // An edit of an existing carrier counts nothing.
    globals.current_carrier = 0;
    FinishStore();
    EXPECT_EQ(globals.carrier_count, 1);

    // The 100th carrier has no record behind it for a terminator.
    MakeTable(99);
    ASSERT_EQ(BeginAdd(), 0);
    StoreForm(QpskForm(), &signals[99]);
    FinishStore();
    EXPECT_EQ(globals.carrier_count, 100);
    EXPECT_EQ(globals.current_carrier, 100);

    static Carrier before[MAX_CARRIERS];
    std::memcpy(before, signals, sizeof signals);
    EXPECT_EQ(BeginAdd(), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("The table is full"), std::string::npos);
    EXPECT_EQ(std::memcmp(before, signals, sizeof signals), 0);
    EXPECT_EQ(globals.current_carrier, 100);
}

TEST_F(CarrierEdit, DeleteClosesTheTableUpAndKeepsTheReference) {
    struct Case {
        int count, reference, deleted, reference_after;
    } cases[] = {{3, 1, 0, 1}, {3, 1, 2, 1}, {3, 3, 2, 2}, {3, 2, 0, 1}, {1, 1, 0, 0}, {3, 3, 0, 2}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.deleted);
        MakeTable(k.count);
        globals.reference_carrier = k.reference;
        DeleteCarrier(k.deleted);
        EXPECT_EQ(globals.carrier_count, k.count - 1);
        EXPECT_EQ(globals.reference_carrier, k.reference_after);
        EXPECT_EQ(signals[k.count - 1].frequency_hz, -1.0f);
        for (int i = k.deleted; i < k.count - 1; ++i) {
            // Every field of the record behind moved up.
            EXPECT_EQ(signals[i].frequency_hz, 1e6f * (i + 2));
            EXPECT_EQ(signals[i].data_source, (i + 1) % 4);
            EXPECT_EQ(signals[i].impairment2_value2, static_cast<float>(i + 1));
            EXPECT_EQ(signals[i].psch_level_db, -static_cast<float>(i + 1));
            EXPECT_EQ(FieldText(signals[i].data_file), "bits" + std::to_string(i + 1));
        }
    }

    // A full table: the last record becomes the terminator.
    MakeTable(MAX_CARRIERS);
    DeleteCarrier(0);
    EXPECT_EQ(globals.carrier_count, 99);
    EXPECT_EQ(signals[98].frequency_hz, 100e6f);
    EXPECT_EQ(signals[99].frequency_hz, -1.0f);

    // Outside the table nothing happens.
    MakeTable(2);
    static Carrier before[MAX_CARRIERS];
    std::memcpy(before, signals, sizeof signals);
    for (int index : {-1, 2, 100}) {
        DeleteCarrier(index);
        ChooseReference(index);
    }
    EXPECT_EQ(std::memcmp(before, signals, sizeof signals), 0);
    EXPECT_EQ(globals.carrier_count, 2);
    EXPECT_EQ(globals.reference_carrier, 1);
    ChooseReference(1);
    EXPECT_EQ(globals.reference_carrier, 2);
}

TEST_F(CarrierEdit, CombWithSteppedPhases) {
    map_editor.seed = 0xFEDCBA98u;
    map_editor.polynomial = 3;
    CombRequest q{};
    q.count = 3;
    q.start_mhz = 10;
    q.spacing_mhz = 5;
    q.phase_step = 90;
    q.prbs_iq_equal = 1;
    q.form = QpskForm();
    int left_out = -1;
    EXPECT_EQ(GenerateComb(q, &left_out), 3);
    EXPECT_EQ(left_out, 0);
    const float hz[] = {10e6f, 15e6f, 20e6f}, phase[] = {0, 90, 180};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(signals[k].frequency_hz, hz[k]);
        EXPECT_EQ(signals[k].phase_deg, phase[k]);
        EXPECT_EQ(signals[k].prbs_seed_i, 0xFEDCBA98u);  // shift 0: the same seed
        EXPECT_EQ(signals[k].prbs_poly_i, 3u);
        EXPECT_EQ(signals[k].modulation, MOD_QPSK);
    }
    EXPECT_EQ(globals.carrier_count, 3);
    EXPECT_EQ(globals.current_carrier, 3);
    EXPECT_EQ(signals[3].frequency_hz, -1.0f);
    EXPECT_EQ(globals.reference_carrier, 1);

    // Phases fold into -180..180; a comb onto a table appends behind it and
    // keeps its reference.
    globals.reference_carrier = 2;
    q.phase_step = 100;
    q.start_mhz = 40;
    GenerateComb(q, nullptr);
    EXPECT_EQ(signals[5].phase_deg, -160.0f);
    EXPECT_EQ(signals[3].frequency_hz, 40e6f);
    EXPECT_EQ(globals.reference_carrier, 2);
    EXPECT_EQ(FoldPhase(-540.0f), -180.0f);
    EXPECT_EQ(FoldPhase(190.0f), -170.0f);

    // N = 0 leaves the table as it was.
    static Carrier before[MAX_CARRIERS];
    std::memcpy(before, signals, sizeof signals);
    q.count = 0;
    EXPECT_EQ(GenerateComb(q, nullptr), 0);
    EXPECT_EQ(std::memcmp(before, signals, sizeof signals), 0);
    EXPECT_EQ(globals.carrier_count, 6);
}

TEST_F(CarrierEdit, CombSeedsAdvanceWithTheShiftRegisterAndRandomPhasesRepeatPerRun) {
    map_editor.seed = 0xFEDCBA98u;
    map_editor.polynomial = 0x80000003u;   // bit 31 has no stage: the register step ignores it
    CombRequest q{};
    q.count = 3;
    q.start_mhz = 1;
    q.spacing_mhz = 1;
    q.random_phase = 1;
    q.prbs_shift = 37;
    q.form = QpskForm();
    GenerateComb(q, nullptr);
    int32_t state = static_cast<int32_t>(0xFEDCBA98u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(signals[k].prbs_seed_i, static_cast<uint32_t>(state)) << k;
        EXPECT_EQ(signals[k].prbs_poly_i, 0x80000003u);
        for (int s = 0; s < 37; ++s) ShiftRegister(&state, static_cast<int32_t>(0x80000003u));
    }
    EXPECT_EQ(map_editor.seed, static_cast<uint32_t>(state));
    EXPECT_NE(signals[1].prbs_seed_i, signals[0].prbs_seed_i);

    // The C standard's example generator from 1: 16838, 5758, 10113, ...
    const int expected[] = {16838, 5758, 10113};
    for (int k = 0; k < 3; ++k)
        EXPECT_FLOAT_EQ(signals[k].phase_deg, static_cast<float>((expected[k] / 32768.0 - 0.5) * 360.0)) << k;
    ResetAssistantRandom();
    EXPECT_EQ(AssistantRandom(), 16838);
    for (int i = 0; i < 1000; ++i) {
        int r = AssistantRandom();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}

TEST_F(CarrierEdit, CombAppendsOnlyWhatFits) {
    MakeTable(98);
    CombRequest q{};
    q.count = 5;
    q.start_mhz = 500;
    q.spacing_mhz = 1;
    q.form = QpskForm();
    int left_out = 0;
    EXPECT_EQ(GenerateComb(q, &left_out), 2);
    EXPECT_EQ(left_out, 3);
    EXPECT_EQ(globals.carrier_count, 100);
    EXPECT_EQ(signals[99].frequency_hz, 501e6f);
    EXPECT_EQ(GenerateComb(q, &left_out), 0);
    EXPECT_EQ(left_out, 5);
    EXPECT_EQ(globals.carrier_count, 100);
}

TEST_F(CarrierEdit, AddressOctetsForTheInstrumentDialog) {
    struct Case {
        const char* text;
        int octets[4];
    } cases[] = {
        {"10.20.30.40", {10, 20, 30, 40}}, {"192.168.0.1", {192, 168, 0, 1}}, {"", {0, 0, 0, 0}},
        {"abc", {0, 0, 0, 0}},             {"1.2.3", {0, 0, 0, 0}},           {"300.1.1.1", {0, 0, 0, 0}},
        {"1.2.3.4x", {0, 0, 0, 0}},        {"1..3.4", {0, 0, 0, 0}},          {"0.0.0.0", {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        int octets[4] = {-1, -1, -1, -1};
        AddressOctets(c.text, octets);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(octets[i], c.octets[i]) << c.text << " " << i;
    }
}

}  // namespace
