#include "shell/fileforms.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/hooks.h"
#include "shell/jsonforms.h"
#include "shell/recordfiles.h"
#include "support/core_fixture.h"
#include "support/tempdir.h"

namespace {

class FileForms : public ::testing::Test {
protected:
    void SetUp() override {
        StartCoreCase();
    }
    void TearDown() override { core_hooks = CoreHooks{}; }
    TempDir dir;
};

std::string Bytes(std::size_t size, char fill = 0) { return std::string(size, fill); }

TEST_F(FileForms, KindComesFromTheContent) {
    std::string setup_image = Bytes(SETTINGS_FILE_SIZE);
    setup_image[0] = '{';  // a waveform directory named "{..." is still a binary image
    std::string table_image = Bytes(TABLE_FILE_SIZE);
    table_image.replace(0, 4, "V1.0");
    struct Case {
        const char* what;
        std::string bytes;
        int kind;
    } cases[] = {
        {"table JSON", " \n\t{\"comment\": \"x\", \"carriers\": []}", RECORD_FILE_TABLE_JSON},
        {"setup JSON", "{\"compile_length\": 1000, \"sample_clock\": 2.5}", RECORD_FILE_SETUP_JSON},
        {"setup text field image", "{\"ext_app1_name_raw\": \"41\"}", RECORD_FILE_SETUP_JSON},
        {"table wins over setup keys", "{\"carriers\": [], \"compile_length\": 1}", RECORD_FILE_TABLE_JSON},
        {"JSON that does not parse", "{\"carriers\": [", RECORD_FILE_JSON},
        {"JSON of neither kind", "{}", RECORD_FILE_JSON},
        {"table image", table_image, RECORD_FILE_TABLE},
        {"setup image", Bytes(SETTINGS_FILE_SIZE), RECORD_FILE_SETUP},
        {"setup image starting with a brace", setup_image, RECORD_FILE_SETUP},
        {"short table image", table_image.substr(0, 300), RECORD_FILE_TABLE},
        {"table image and more", table_image + "x", RECORD_FILE_UNKNOWN},
        {"image without format text", Bytes(TABLE_FILE_SIZE), RECORD_FILE_UNKNOWN},
        {"text that starts with V", "Version 2 notes\n", RECORD_FILE_UNKNOWN},
        {"empty file", "", RECORD_FILE_UNKNOWN},
        {"JSON array", "[1, 2]", RECORD_FILE_UNKNOWN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RecordKindOfContent(c.bytes), c.kind);
    }
    EXPECT_EQ(DetectRecordFile(dir.File("missing").c_str()), RECORD_FILE_UNREADABLE);
    EXPECT_EQ(DetectRecordFile(dir.path().c_str()), RECORD_FILE_UNREADABLE);
}

TEST_F(FileForms, JsonNamesByExtension) {
    EXPECT_TRUE(IsJsonPath("a.json"));
    EXPECT_TRUE(IsJsonPath("dir.v2/A.JSON"));
    EXPECT_FALSE(IsJsonPath("a.json.kvt"));
    EXPECT_FALSE(IsJsonPath("a.kvt"));
    EXPECT_FALSE(IsJsonPath("dir/.json"));
    EXPECT_FALSE(IsJsonPath(nullptr));
}

// A table the JSON form has to work for: a carrier behind the terminator and
// a comment that is not UTF-8 text.
void FillTable() {
    ResetRecords();
    SetField(comment, "pr\xFC" "fung");
    signals[0].frequency_hz = 10e6f;
    signals[0].modulation = MOD_QAM64;
    signals[0].filter_length = 33;
    signals[1].frequency_hz = -1.0f;
    signals[2].frequency_hz = 30e6f;  // an old carrier behind the terminator
    signals[2].reserved_748[5] = 7;
}

TEST_F(FileForms, ConvertRoundTripsTablesAndSetupsByteForByte) {
    FillTable();
    ASSERT_EQ(WriteTableFile(dir.File("t.kvt").c_str()), 0);
    EXPECT_EQ(ConvertRecordFile(dir.File("t.kvt").c_str(), dir.File("t.json").c_str()), 0);
    EXPECT_EQ(DetectRecordFile(dir.File("t.json").c_str()), RECORD_FILE_TABLE_JSON);
    ResetRecords();
    EXPECT_EQ(ConvertRecordFile(dir.File("t.json").c_str(), dir.File("back.kvt").c_str()), 0);
    EXPECT_EQ(ReadBytes(dir.File("back.kvt")), ReadBytes(dir.File("t.kvt")));

    GlobalSettings s;
    std::memset(&s, 0, sizeof s);
    s.compile_length = 7680;
    s.sample_clock = 2.5f;
    SetField(s.ext_app1_command, "tool --x");
    ASSERT_EQ(WriteSettingsFile(dir.File("s.set").c_str(), &s), 0);
    EXPECT_EQ(ConvertRecordFile(dir.File("s.set").c_str(), dir.File("s.json").c_str()), 0);
    EXPECT_EQ(ConvertRecordFile(dir.File("s.json").c_str(), dir.File("back.set").c_str()), 0);
    EXPECT_EQ(ReadBytes(dir.File("back.set")), ReadBytes(dir.File("s.set")));
    EXPECT_TRUE(messages.empty());
}

TEST_F(FileForms, ConvertRefusesNamesThatDoNotFitTheKind) {
    FillTable();
    ASSERT_EQ(WriteTableFile(dir.File("t.kvt").c_str()), 0);
    WriteBytes(dir.File("noise.bin"), "abc", 3);
    struct Case {
        std::string from, to;
        int result;
        std::string message;
    } cases[] = {
        {dir.File("t.kvt"), dir.File("t.set"), 2, "a carrier table is written as .kvt or .json"},
        {dir.File("t.kvt"), dir.File("t.txt"), 2, "a carrier table is written as .kvt or .json"},
        {dir.File("noise.bin"), dir.File("n.json"), 1, "is neither a carrier table nor a setup"},
        {dir.File("missing.kvt"), dir.File("m.json"), 1, "cannot be opened"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        messages.clear();
        EXPECT_EQ(ConvertRecordFile(c.from.c_str(), c.to.c_str()), c.result);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(c.message), std::string::npos) << messages[0];
        EXPECT_FALSE(std::filesystem::exists(c.to));
    }
}

TEST_F(FileForms, LoadingTheWrongKindTouchesNothing) {
    GlobalSettings s;
    std::memset(&s, 0, sizeof s);
    ASSERT_EQ(WriteSettingsFile(dir.File("s.set").c_str(), &s), 0);
    FillTable();
    ASSERT_EQ(WriteTableFile(dir.File("t.kvt").c_str()), 0);

    EXPECT_EQ(LoadTableForm(dir.File("s.set").c_str()), -1);
    EXPECT_EQ(signals[2].frequency_hz, 30e6f);
    s.compile_length = 99;
    EXPECT_EQ(LoadSetupForm(dir.File("t.kvt").c_str(), &s), -1);
    EXPECT_EQ(s.compile_length, 99);
    EXPECT_EQ(messages, (std::vector<std::string>{"|" + dir.File("s.set") + ": is a setup, not a carrier table",
                                                  "|" + dir.File("t.kvt") + ": is a carrier table, not a setup"}));

    ResetRecords();
    EXPECT_EQ(LoadTableForm(dir.File("t.kvt").c_str()), 1);
    EXPECT_EQ(signals[2].reserved_748[5], 7);
    EXPECT_EQ(FieldText(comment), "pr\xFC" "fung");
}

}  // namespace
