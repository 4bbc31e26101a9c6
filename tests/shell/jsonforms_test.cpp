#include "shell/jsonforms.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "shell/hooks.h"
#include "shell/recordfiles.h"
#include "support/core_fixture.h"
#include "support/tempdir.h"

namespace {

class JsonForms : public ::testing::Test {
protected:
    void SetUp() override {
        StartCoreCase();
    }
    void TearDown() override { core_hooks = CoreHooks{}; }
    TempDir dir;
};

float FromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// A table with everything a binary image can hold besides plain carriers.
void FillAwkwardTable() {
    ResetRecords();
    SetField(comment, "plan \xE9t\xE9 1");  // Latin-1 bytes from an old file
    for (int i = 0; i < 3; ++i) {
        Carrier& c = signals[i];
        c.frequency_hz = 10e6f * static_cast<float>(i + 1) + 0.22f;
        c.amplitude = 0.1f * static_cast<float>(i + 1);
        c.phase_deg = -0.0f;
        c.symbol_rate = 3.84e6f;
        c.modulation = 4 + i;
        c.filter_type = 5 + i;
        c.filter_length = 8;  // stored as it is, even or not
        c.filter_param = FromBits(0x15AE43FD);  // its shortest text misreads through double
        c.deviation_hz = FLT_MIN / 4;           // subnormal
        c.prbs_poly_i = 0x80000001u;
        c.prbs_seed_i = 0xFEDCBA98u;
        c.data_offset = -7;
        c.impairment3_value2 = FLT_MAX;
        c.psch_level_db = std::numeric_limits<float>::quiet_NaN();
        c.ssch_level_db = -std::numeric_limits<float>::infinity();
        SetField(c.data_file, "bits.txt");
    }
    std::strcpy(signals[0].mod_file, "/data/\xE9t\xE9.iq");  // Windows-1252
    std::memcpy(signals[1].filter_file, "short\0old-long-name", 20);  // stale bytes after the NUL
    std::memset(signals[2].mod_file, 'x', sizeof signals[2].mod_file);  // no NUL at all
    signals[1].reserved_748[0] = 0xAB;
    signals[1].reserved_748[191] = 0x01;
    signals[2].reserved_76 = 42;
    // Behind the carriers: a carrier at 0 Hz ends the table, then a terminator
    // with fields set, zeros, and an old carrier further back.
    signals[3].frequency_hz = 0.0f;
    signals[3].amplitude = 1.0f;
    signals[4].frequency_hz = -1.0f;
    signals[4].filter_length = 17;
    signals[77].frequency_hz = 5e6f;
    signals[99].reserved_748[5] = 9;
}

std::vector<char> TableImage(const std::string& path) {
    EXPECT_EQ(WriteTableFile(path.c_str()), 0);
    return ReadBytes(path);
}

TEST_F(JsonForms, TableRoundTripIsByteIdentical) {
    struct Case {
        const char* name;
        void (*fill)();
    } cases[] = {
        {"awkward", FillAwkwardTable},
        {"full table, no terminator",
         [] {
             ResetRecords();
             for (int i = 0; i < MAX_CARRIERS; ++i) {
                 signals[i].frequency_hz = 1e6f + 12345.678f * static_cast<float>(i);
                 signals[i].amplitude = 1.0f / static_cast<float>(i + 3);
             }
         }},
        {"empty table", [] { ResetRecords(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        c.fill();
        std::vector<char> before = TableImage(dir.File("before.kvt"));
        ResetRecords();
        ASSERT_EQ(ReadTableFile(dir.File("before.kvt").c_str(), 0), 0);
        int count = CountCarriers(signals, MAX_CARRIERS);
        std::string json = dir.File("table.json");
        ASSERT_EQ(WriteTableJson(json.c_str()), 0);

        ResetRecords();
        signals[50].frequency_hz = 1.0f;  // whatever was there is replaced
        EXPECT_EQ(ReadTableJson(json.c_str()), count) << (messages.empty() ? "" : messages[0]);
        EXPECT_EQ(TableImage(dir.File("after.kvt")), before);
        EXPECT_EQ(messages, std::vector<std::string>{});
    }

    // The text says what it holds: carriers in use, the records behind them
    // that are not implied, reserved bytes only where set.
    FillAwkwardTable();
    std::string text = TableJsonText();
    EXPECT_NE(text.find("\"index\": 3,"), std::string::npos);
    EXPECT_NE(text.find("\"index\": 4,"), std::string::npos);
    EXPECT_NE(text.find("\"index\": 77,"), std::string::npos);
    EXPECT_NE(text.find("\"index\": 99,"), std::string::npos);
    EXPECT_EQ(text.find("\"index\": 5,"), std::string::npos);
    EXPECT_NE(text.find("\"reserved_748\": \"ab00"), std::string::npos);
    EXPECT_NE(text.find("\"mod_file\": \"/data/\xC3\xA9t\xC3\xA9.iq\""), std::string::npos);
    EXPECT_NE(text.find("\"comment\": \"plan \xC3\xA9t\xC3\xA9 1\""), std::string::npos);
    EXPECT_NE(text.find("\"prbs_seed_i\": \"0xFEDCBA98\""), std::string::npos);
    EXPECT_NE(text.find("\"symbol_rate\": 3840000.0"), std::string::npos);  // shortest digits
}

TEST_F(JsonForms, SettingsRoundTripIsByteIdentical) {
    GlobalSettings s;
    auto* bytes = reinterpret_cast<unsigned char*>(&s);
    for (std::size_t i = 0; i < sizeof s; ++i) bytes[i] = static_cast<unsigned char>(i * 37 + 11);
    SetField(s.waveform_dir, "/home/user/waves");
    SetField(s.data_dir, "");
    std::memcpy(s.instrument_ip, "192.168.100.200X", 16);  // no NUL
    s.sample_clock = 2.5f;
    s.normalization_level = FromBits(0x7FC00001);  // a NaN with a payload
    s.gpib_address = -1;
    std::string path = dir.File("setup.json");
    ASSERT_EQ(WriteSettingsJson(path.c_str(), &s), 0);

    GlobalSettings back;
    std::memset(&back, 0xEE, sizeof back);
    ASSERT_EQ(ReadSettingsJson(path.c_str(), &back), 0);
    EXPECT_EQ(std::memcmp(&back, &s, sizeof s), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(JsonForms, HandWrittenCarriersGetNewCarrierDefaults) {
    const char* text = R"json({"comment": "two",
        "carriers": [{"frequency_hz": 10e6, "modulation": "QAM-64"},
                     {"frequency_hz": 20000000, "amplitude": 0.5, "modulation": "qpsk",
                      "filter_type": "SQRT(RCOS)", "prbs_seed_i": "0x1", "prbs_poly_q": 5,
                      "prbs_poly_i": "x7 + x6 + 1"}]})json";
    ASSERT_EQ(ParseTableJson(text, "t.json"), 2);
    const Carrier& a = signals[0];
    EXPECT_EQ(a.frequency_hz, 10e6f);
    EXPECT_EQ(a.modulation, MOD_QAM64);
    EXPECT_EQ(a.prbs_poly_i, 3u);
    EXPECT_EQ(a.prbs_seed_i, 0xFEDCBA98u);
    EXPECT_EQ(a.prbs_poly_q, 3u);
    EXPECT_EQ(a.prbs_seed_q, 0xFEDCBA98u);
    EXPECT_EQ(a.prbs_iq_equal, 1);
    EXPECT_EQ(a.filter_length, 1);
    EXPECT_EQ(a.amplitude, 0.0f);
    EXPECT_EQ(a.filter_type, 0);
    const Carrier& b = signals[1];
    EXPECT_EQ(b.modulation, MOD_QPSK);
    EXPECT_EQ(b.filter_type, FILTER_SQRT_RCOS);
    EXPECT_EQ(b.filter_length, 33);  // a filtered carrier gets the default pulse span
    EXPECT_EQ(b.prbs_seed_i, 1u);
    EXPECT_EQ(b.prbs_poly_q, 5u);
    EXPECT_EQ(b.prbs_poly_i, (1u << 24) | (1u << 25));  // X7 and X6
    // Written back as text; a mask with bit 31 (no term) stays hex.
    signals[1].prbs_poly_q = 0x80000009u;
    TempDir dir;
    ASSERT_EQ(WriteTableJson(dir.File("p.json").c_str()), 0);
    std::vector<char> bytes = ReadBytes(dir.File("p.json"));
    std::string written(bytes.begin(), bytes.end());
    EXPECT_NE(written.find("\"prbs_poly_i\": \"X7+X6+1\""), std::string::npos);
    EXPECT_NE(written.find("\"prbs_poly_q\": \"0x80000009\""), std::string::npos);
    ASSERT_EQ(ReadTableJson(dir.File("p.json").c_str()), 2);
    EXPECT_EQ(signals[1].prbs_poly_q, 0x80000009u);
    EXPECT_EQ(signals[1].prbs_poly_i, (1u << 24) | (1u << 25));
    EXPECT_EQ(b.amplitude, 0.5f);
    EXPECT_EQ(signals[2].frequency_hz, -1.0f);  // the terminator
    EXPECT_STREQ(comment, "two");

    // Settings: missing fields are zero.
    GlobalSettings s;
    std::memset(&s, 0xEE, sizeof s);
    ASSERT_EQ(ParseSettingsJson(R"({"instrument_type": 5, "instrument_ip": "10.0.0.2"})", "s.json", &s), 0);
    EXPECT_EQ(s.instrument_type, 5);
    EXPECT_STREQ(s.instrument_ip, "10.0.0.2");
    EXPECT_EQ(s.sample_clock, 0.0f);
    EXPECT_STREQ(s.waveform_dir, "");
}

TEST_F(JsonForms, ErrorsNameTheFieldAndTouchNothing) {
    const std::string long_text(200, 'a');
    std::string many = R"({"carriers": [)";
    for (int i = 0; i < 101; ++i) many += std::string(i ? "," : "") + R"({"frequency_hz": 1e6})";
    many += "]}";
    struct Case {
        std::string text;
        const char* message;
    } cases[] = {
        {R"({"carriers": [{"frequency_hz": 1e6}, {"frequency_hz": 2e6, "freq": 3}]})",
         "t.json: carriers[1]: unknown field \"freq\""},
        {R"({"carrier": []})", "t.json: unknown field \"carrier\""},
        {many, "t.json: carriers: holds 101 carriers; a table holds at most 100"},
        {R"({"carriers": [{"frequency_hz": 1e6, "mod_file": ")" + long_text + "\"}]}",
         "t.json: carriers[0].mod_file: is longer than 199 characters"},
        {R"({"comment": ")" + long_text + "\"}", "t.json: comment: is longer than 199 characters"},
        {R"({"carriers": [{"frequency_hz": "10 MHz"}]})", "t.json: carriers[0].frequency_hz: must be a number"},
        {R"({"carriers": [{"frequency_hz": 1e39}]})",
         "t.json: carriers[0].frequency_hz: is out of the float32 range"},
        {R"({"carriers": [{"frequency_hz": 1e6, "filter_length": 2.5}]})",
         "t.json: carriers[0].filter_length: must be an integer"},
        {R"({"carriers": [{"frequency_hz": 1e6, "modulation": 3000000000}]})",
         "t.json: carriers[0].modulation: is out of range"},
        {R"({"carriers": [{"frequency_hz": 1e6, "modulation": "QPSX"}]})",
         "t.json: carriers[0].modulation: \"QPSX\" is not a modulation name"},
        {R"({"carriers": [{"frequency_hz": 1e6, "filter_type": "BUTTERWRTH"}]})",
         "t.json: carriers[0].filter_type: \"BUTTERWRTH\" names several filters; give the order: BUTTER1 to "
         "BUTTER10"},
        {R"({"carriers": [{"frequency_hz": 1e6, "filter_type": "rrc"}]})",
         "t.json: carriers[0].filter_type: \"rrc\" is not a filter name; filter names: NONE, RCOS, GAUSS, "
         "SQRT_RCOS, GAUSS2, BUTTER1,"},
        {R"({"carriers": [{"frequency_hz": 1e6}, {"frequency_hz": 2e6, "modulation": 99}]})",
         "t.json: carriers[1].modulation: 99 is not a modulation code; modulation names: NONE, QPSK, QAM16,"},
        {R"({"carriers": [{"frequency_hz": 1e6, "modulation": 15}]})",
         "t.json: carriers[0].modulation: 15 is not a modulation code"},
        {R"({"carriers": [{"frequency_hz": 1e6, "window_type": 99}]})",
         "t.json: carriers[0].window_type: 99 is not a window code; window names: NONE, TRIANGLE, HANNING,"},
        {R"({"carriers": [{"frequency_hz": 1e6, "impairment2_type": 4}]})",
         "t.json: carriers[0].impairment2_type: 4 is not an impairment code"},
        {R"({"carriers": [{"frequency_hz": 1e6, "iq_file_layout": "IQQ"}]})",
         "t.json: carriers[0].iq_file_layout: \"IQQ\" is not an I/Q file layout name; I/Q file layout names: IQ, QI, "
         "I_ONLY, Q_ONLY"},
        {R"({"carriers": [{"frequency_hz": 1e6, "modulaton": "QPSK"}]})",
         "t.json: carriers[0]: unknown field \"modulaton\"; did you mean \"modulation\"?"},
        {R"({"carriers": [{"frequency_hz": 1e6, "prbs_seed_i": "FEDCBA98"}]})",
         "t.json: carriers[0].prbs_seed_i: must be a number or a hex string such as \"0xFEDCBA98\""},
        {R"({"carriers": [{"frequency_hz": 1e6, "prbs_poly_q": "X32+1"}]})",
         "t.json: carriers[0].prbs_poly_q: \"X32+1\": Polinomium Parsing Error"},
        {R"({"carriers": [{"amplitude": 1}]})",
         "t.json: carriers[0]: frequency_hz must be greater than 0 (records that end the table go in "
         "records_behind)"},
        {R"({"carriers": [{"frequency_hz": 1e6}], "records_behind": [{"index": 0}]})",
         "t.json: records_behind[0].index: is out of range"},
        {R"({"records_behind": [{"index": 5}, {"index": 5}]})",
         "t.json: records_behind[1].index: record 5 is given twice"},
        {R"({"carriers": [{"frequency_hz": 1e6, "reserved_748": "abc"}]})",
         "t.json: carriers[0].reserved_748: must be an even number of hex digits, at most 384"},
        {R"({"carriers": [{"frequency_hz": 1e6, "data_file": "a", "data_file_raw": "62"}]})",
         "t.json: carriers[0]: data_file and data_file_raw disagree; keep one of them"},
        {R"({"carriers": [{"frequency_hz": 1e6},]})", "t.json: parse error at line 1, column 37"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ResetRecords();
        signals[0].frequency_hz = 7.0f;
        SetField(comment, "kept");
        messages.clear();
        EXPECT_EQ(ParseTableJson(c.text, "t.json"), -1);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].substr(0, std::strlen(c.message) + 1), std::string("|") + c.message);
        EXPECT_EQ(signals[0].frequency_hz, 7.0f);
        EXPECT_STREQ(comment, "kept");
    }

    GlobalSettings s{};
    s.ftp_port = 21;
    messages.clear();
    EXPECT_EQ(ParseSettingsJson(R"({"waveform_directory": "/w"})", "s.json", &s), -1);
    EXPECT_EQ(ReadSettingsJson(dir.File("missing.json").c_str(), &s), -1);
    EXPECT_EQ(ReadTableJson(dir.path().c_str()), -1);  // a directory opens but does not read
    EXPECT_EQ(messages, (std::vector<std::string>{"|s.json: unknown field \"waveform_directory\"; did you mean "
                                                  "\"waveform_dir\"?",
                                                  "|" + dir.File("missing.json") + ": cannot be opened",
                                                  "|" + dir.path().string() + ": cannot be opened"}));
    EXPECT_EQ(s.ftp_port, 21);
}

TEST_F(JsonForms, ExamplesMatchTheirBinaryTables) {
    for (const char* name : {"mixed", "cable64"}) {
        SCOPED_TRACE(name);
        std::string base = std::string(ULDO_SOURCE_DIR) + "/examples/" + name;
        ResetRecords();
        ASSERT_GT(ReadTableJson((base + ".json").c_str()), 0);
        EXPECT_EQ(TableImage(dir.File("from_json.kvt")), ReadBytes(base + ".kvt"));
    }
}

}  // namespace
