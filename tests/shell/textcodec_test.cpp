// Windows-1252 text of the record fields, and the JSON forms that carry it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shell/jsonforms.h"
#include "shell/recordfiles.h"
#include "shell/textcodec.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"

namespace {

TEST(TextCodec, EveryByteDecodesAndEncodesBack) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    std::string utf8 = DecodeCp1252(all.data(), all.size());
    std::string back;
    ASSERT_EQ(EncodeCp1252(utf8, &back), 0);
    EXPECT_EQ(back, all);

    struct Case {
        const char* bytes;
        const char* utf8;
    } cases[] = {
        {"caf\xE9", "caf\xC3\xA9"},              // Latin-1 range
        {"\x80", "\xE2\x82\xAC"},                // euro sign
        {"\x93\x94", "\xE2\x80\x9C\xE2\x80\x9D"},  // curly quotes
        {"\x9F", "\xC5\xB8"},                    // Y diaeresis
        {"\x81", "\xC2\x81"},                    // undefined: its own C1 control
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeCp1252(c.bytes, std::strlen(c.bytes)), c.utf8) << c.bytes;
        std::string bytes;
        EXPECT_EQ(EncodeCp1252(c.utf8, &bytes), 0);
        EXPECT_EQ(bytes, c.bytes);
    }
}

TEST(TextCodec, CharactersWithoutAByteAreRefused) {
    struct Case {
        const char* utf8;
        const char* bad;
    } cases[] = {
        {"ok \xE2\x9C\x93", "\xE2\x9C\x93"},     // check mark
        {"\xC2\x80", "\xC2\x80"},                // U+0080: Windows-1252 has the euro there
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // outside the BMP
        {"a\xC3", "\xC3"},                       // not UTF-8
    };
    for (const Case& c : cases) {
        std::string out, bad;
        EXPECT_EQ(EncodeCp1252(c.utf8, &out, &bad), -1) << c.utf8;
        EXPECT_EQ(bad, c.bad);
    }
}

// A stored table's text comes back through its JSON form byte for byte, and
// the JSON holds the characters, not their bytes.
TEST(TextCodec, JsonFormKeepsTheFieldBytes) {
    StartCoreCase();
    std::memset(comment, '\xE9', COMMENT_SIZE - 1);   // 199 accented characters fill the field
    comment[COMMENT_SIZE - 1] = 0;
    signals[0].frequency_hz = 1e6f;
    SetField(signals[0].data_file, "d\xFC" "nn.txt");
    signals[1].frequency_hz = -1.0f;
    std::string before(reinterpret_cast<char*>(signals), sizeof signals);
    std::string before_comment(comment, COMMENT_SIZE);

    std::string text = TableJsonText();
    EXPECT_NE(text.find("\"data_file\": \"d\xC3\xBCnn.txt\""), std::string::npos) << text;
    EXPECT_EQ(text.find("comment_raw"), std::string::npos);
    ResetRecords();
    ASSERT_EQ(ParseTableJson(text, "t.json"), 1) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(signals), sizeof signals), before);
    EXPECT_EQ(std::string(comment, COMMENT_SIZE), before_comment);

    // A character the field cannot hold is an error naming the field.
    EXPECT_EQ(ParseTableJson("{\"comment\": \"ok \xE2\x9C\x93\"}", "t.json"), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("t.json: comment: holds \"\xE2\x9C\x93\""), std::string::npos) << messages[0];
    core_hooks = CoreHooks{};
}

}  // namespace
