#include "compile/output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/hooks.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"
#include "support/tempdir.h"

namespace {

constexpr double CLOCK = 25e6;  // "CLOCK 25000000.000000\r\n" is 23 bytes

class Output : public ::testing::Test {
protected:
    void SetUp() override {
        StartCoreCase();
        AbortOutput();
        InitMemorySink(&sink);
    }
    void TearDown() override {
        AbortOutput();
        core_hooks = CoreHooks{};
    }

    // One whole pass of n samples; sample s has value values[s % size],
    // reference symbol starts where marks[s % size] is set.
    int Run(int type, int destination, int pass, int n, float max_value, float max_i,
            const std::vector<float>& values = {0.0f}, const std::vector<int>& marks = {0},
            OutputSink* into = nullptr, const char* text = "") {
        OutputSink* target = into ? into : &sink.sink;
        if (BeginOutput(pass, type, destination, n, CLOCK, max_value, max_i, text, target) != 0) return -1;
        for (int s = 0; s < n; ++s)
            EncodeSample(s, values[s % values.size()], marks[s % marks.size()]);
        return EndOutput();
    }

    MemorySink sink;
    TempDir dir;
};

unsigned Code16(const MemorySink& m, long at, bool big_endian) {
    unsigned a = m.bytes[at], b = m.bytes[at + 1];
    return big_endian ? a << 8 | b : b << 8 | a;
}

// --- chunk sequences --------------------------------------------------------

struct Expected {
    const char* text;  // compared when set
    long count;        // otherwise the size
    int end_mode;
};

struct SequenceCase {
    const char* name;
    int type, destination, pass, n;
    std::vector<Expected> chunks;
};

TEST_F(Output, ChunksAndEndModesPerFamily) {
    const std::string msg1 =
        ":DATA:DESTINATION \"BROXEL.WFM\";:DATA:WIDTH 2;:DATA:ENCDG SRPBINARY;:WFMPRE:XINCR 4e-08\r\n";
    const SequenceCase cases[] = {
        {"WFM N=1000 GPIB", 0, 0, 1, 1000,
         {{"MMEM:DATA \"BROXEL.WFM\",#45041MAGIC 1000\r\n#45000", 0, NULLend},
          {nullptr, 2000, NULLend}, {nullptr, 2000, NULLend}, {nullptr, 1000, NULLend},
          {"CLOCK 25000000.000000\r\n", 0, DABend}}},
        {"WFM N=800 GPIB, no partial", 4, 0, 3, 800,
         {{"MMEM:DATA \"BROXEL_Q.WFM\",#44041MAGIC 1000\r\n#44000", 0, NULLend},
          {nullptr, 2000, NULLend}, {nullptr, 2000, NULLend},
          {"CLOCK 25000000.000000\r\n", 0, DABend}}},
        {"WFM native", 2, 1, 1, 401,
         {{"MAGIC 1000\r\n#42005", 0, NULLend}, {nullptr, 2000, NULLend}, {nullptr, 5, NULLend},
          {"CLOCK 25000000.000000\r\n", 0, DABend}}},
        {"PAT N=2000 GPIB, no partial", 5, 0, 2, 2000,
         {{"MMEM:DATA \"BROXEL_I.PAT\",#44041MAGIC 2000\r\n#44000", 0, NULLend},
          {nullptr, 2000, NULLend}, {nullptr, 2000, NULLend},
          {"CLOCK 25000000.000000\r\n", 0, DABend}}},
        {"PAT network", 6, 3, 1, 10,
         {{"MAGIC 2000\r\n#220", 0, NULLend}, {nullptr, 20, NULLend},
          {"CLOCK 25000000.000000\r\n", 0, DABend}}},
        {"CURVE N=1000 GPIB: one full block with EOI", 1, 0, 1, 1000,
         {{msg1.c_str(), 0, DABend}, {"CURVE #42000", 0, NULLend}, {nullptr, 2000, DABend}}},
        {"CURVE N=1500 GPIB", 1, 0, 1, 1500,
         {{msg1.c_str(), 0, DABend}, {"CURVE #43000", 0, NULLend}, {nullptr, 2000, NULLend},
          {nullptr, 1000, DABend}}},
        {"EMEMORY pass 3 GPIB", 3, 0, 3, 1000,
         {{"TRACE:DEFINE EMEMORY,1000", 0, DABend}, {"FORMAT:BORDER SWAPPED", 0, DABend},
          {"DATA EMEMORY,#42000", 0, NULLend}, {nullptr, 2000, DABend},
          {"TRACE:COPY USER3,EMEMORY", 0, DABend}, {"FUNCTION USER1", 0, DABend},
          {"FREQUENCY 25000HZ", 0, DABend}, {"OUTPUT ON", 0, DABend}}},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        InitMemorySink(&sink);
        ASSERT_EQ(Run(c.type, c.destination, c.pass, c.n, 1.0f, 1.0f), 0);
        ASSERT_EQ(sink.chunks.size(), c.chunks.size());
        for (std::size_t i = 0; i < c.chunks.size(); ++i) {
            SCOPED_TRACE(i);
            if (c.chunks[i].text)
                EXPECT_EQ(MemoryChunkText(&sink, static_cast<int>(i)), c.chunks[i].text);
            else
                EXPECT_EQ(sink.chunks[i].count, c.chunks[i].count);
            EXPECT_EQ(sink.chunks[i].end_mode, c.chunks[i].end_mode);
        }
        EXPECT_EQ(sink.passes_begun, 1);
        EXPECT_EQ(sink.passes_ended, 1);
    }
}

// --- sample codes -----------------------------------------------------------

TEST_F(Output, CodesMarkersAndClipping) {
    // r = 0, 1, -1, 0.5 (with a symbol start), 1.5 and -2 (beyond full scale,
    // fixed normalisation), 1.5 with a symbol start.
    const std::vector<float> r = {0.0f, 1.0f, -1.0f, 0.5f, 1.5f, -2.0f, 1.5f};
    const std::vector<int> marks = {0, 0, 0, 1, 0, 0, 1};
    struct Case {
        const char* name;
        int type, destination;
        int header_chunks;
        bool big_endian;
        unsigned codes[7];
    } cases[] = {
        {"CURVE GPIB", 1, 0, 2, false,
         {0x6000 + 2047, 4095, 0, 0x2000 + 3071, 4095, 0, 0x2000 + 4095}},
        {"CURVE native", 1, 1, 1, true,
         {0x6000 + 2047, 4095, 0, 0x2000 + 3071, 4095, 0, 0x2000 + 4095}},
        {"EMEMORY", 3, 1, 1, false, {2047, 4095, 0, 3071, 4095, 0, 4095}},
        {"PAT", 5, 1, 1, false, {0x2000 + 511, 1023, 0, 0x4000 + 767, 1023, 0, 0x4000 + 1023}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InitMemorySink(&sink);
        ASSERT_EQ(Run(c.type, c.destination, 1, 7, 1.0f, 1.0f, r, marks), 0);
        long at = 0;
        for (int i = 0; i < c.header_chunks; ++i) at += sink.chunks[i].count;
        for (int s = 0; s < 7; ++s) EXPECT_EQ(Code16(sink, at + 2 * s, c.big_endian), c.codes[s]) << s;
    }

    // WFM: the float itself, then the marker byte 3 / 2 / 0.
    InitMemorySink(&sink);
    ASSERT_EQ(Run(0, 1, 1, 7, 2.0f, 1.0f, {1.0f, 2.0f, -0.5f, 3.0f}, {0, 1, 0, 1}), 0);
    long at = sink.chunks[0].count;
    const float expect_r[4] = {0.5f, 1.0f, -0.25f, 1.5f};
    const int expect_marker[4] = {3, 2, 0, 2};
    for (int s = 0; s < 4; ++s) {
        float f;
        std::memcpy(&f, &sink.bytes[at + 5 * s], 4);
        EXPECT_EQ(f, expect_r[s]) << s;
        EXPECT_EQ(sink.bytes[at + 5 * s + 4], expect_marker[s]) << s;
    }
}

TEST_F(Output, BasebandPassesScaleByTheBasebandPeak) {
    // max_value 4, max_i 2: pass 2 divides by max_i, EMEMORY always by max_value.
    ASSERT_EQ(Run(5, 1, 2, 1, 4.0f, 2.0f, {1.0f}), 0);
    EXPECT_EQ(Code16(sink, sink.chunks[0].count, false), 0x2000u + 767);  // r = 0.5
    InitMemorySink(&sink);
    ASSERT_EQ(Run(3, 1, 2, 1, 4.0f, 2.0f, {1.0f}), 0);
    EXPECT_EQ(Code16(sink, sink.chunks[0].count, false), 2559u);  // r = 0.25
    // A silent record (peak 0) is written as silence, not as 0/0.
    InitMemorySink(&sink);
    ASSERT_EQ(Run(0, 1, 1, 2, 0.0f, 0.0f, {0.0f}), 0);
    float f;
    std::memcpy(&f, &sink.bytes[sink.chunks[0].count + 5], 4);
    EXPECT_EQ(f, 0.0f);
}

// --- whole streams ----------------------------------------------------------

TEST_F(Output, NativeCurveFileHeaderRecords) {
    std::string path = dir.File("wave.wfm");
    FileSink file;
    InitFileSink(&file, path.c_str(), 1);
    const char* thirty = "abcdefghijklmnopqrstuvwxyz0123";
    ASSERT_EQ(Run(1, 1, 1, 3, 1.0f, 1.0f, {1.0f, -1.0f, 0.0f}, {0, 0, 0}, &file.sink, thirty), 0);

    std::vector<char> bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 102u + 6u);
    std::vector<unsigned char> expect = {0x4E, 0xE9, 0x00, 0x02};
    for (int i = 0; i < 26; ++i) expect.push_back(static_cast<unsigned char>(thirty[i]));  // no NUL
    const unsigned char rest[] = {
        0, 0, 0, 3, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 0, 0, 0, 0, 0x66,  // preamble
        0, 0, 0x41, 0x77, 0xD7, 0x84, 0, 0, 0, 0, 0, 0, 0, 0,                         // clock 25e6
        0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                            // 2.0, 0.0
        0x00, 0x14, 0xFF, 0xEC, 0x00, 0x14, 0xFF, 0xEC, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0x6F, 0xFF, 0x00, 0x00, 0x07, 0xFF};                                           // codes, big-endian
    expect.insert(expect.end(), std::begin(rest), std::end(rest));
    ASSERT_EQ(expect.size(), bytes.size());
    for (std::size_t i = 0; i < expect.size(); ++i)
        EXPECT_EQ(static_cast<unsigned char>(bytes[i]), expect[i]) << "byte " << i;
}

TEST_F(Output, GpibFormatFileHoldsTheGpibMessages) {
    const std::vector<float> values = {0.3f, -0.7f, 1.0f, -1.0f, 0.1f};
    const std::vector<int> marks = {0, 1, 0, 0, 0};
    for (int type : {0, 5}) {
        SCOPED_TRACE(type);
        InitMemorySink(&sink);
        ASSERT_EQ(Run(type, 0, 2, 1234, 1.0f, 1.0f, values, marks), 0);
        std::string path = dir.File("wave.gpi");
        FileSink file;
        InitFileSink(&file, path.c_str(), 2);
        ASSERT_EQ(Run(type, 2, 2, 1234, 1.0f, 1.0f, values, marks, &file.sink), 0);
        std::vector<char> bytes = ReadBytes(path);
        EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.end()), sink.bytes);
    }

    // CURVE and EMEMORY files are single command strings.
    InitMemorySink(&sink);
    ASSERT_EQ(Run(1, 2, 1, 2, 1.0f, 1.0f, {1.0f, 0.0f}), 0);
    EXPECT_EQ(std::string(sink.bytes.begin(), sink.bytes.end()),
              std::string(":DATA:DESTINATION \"BROXEL.WFM\";:DATA:WIDTH 2;:DATA:ENCDG SRPBINARY;"
                          ":WFMPRE:XINCR 4e-08\r\n;:CURVE #14\xFF\x6F\xFF\x07"));
    for (int destination : {1, 2}) {
        InitMemorySink(&sink);
        ASSERT_EQ(Run(3, destination, 2, 2, 1.0f, 1.0f, {1.0f, 0.0f}), 0);
        EXPECT_EQ(std::string(sink.bytes.begin(), sink.bytes.end()),
                  std::string(":TRACE:DEFINE EMEMORY,2;:FORMAT:BORDER SWAPPED;:DATA EMEMORY,#14"
                              "\xFF\x0F\xFF\x07;:TRACE:COPY USER1,EMEMORY;:FUNCTION USER1;"
                              ":FREQUENCY 12500000HZ;:OUTPUT ON"));
    }
}

TEST_F(Output, TextListsUseSixDecimals) {
    // Includes a tie (0.0078125 -> 0.007812), a negative zero and values that
    // leave the fast path.
    std::vector<float> values = {0.0f, -0.0f, 1.0f, -1.0f, 0.0078125f, -0.0000005f, 0.33333334f,
                                 123456.78f, 3.0e9f, -1.0e20f, 2.5e-7f};
    std::srand(7);
    for (int i = 0; i < 3000; ++i)
        values.push_back((static_cast<float>(std::rand()) / RAND_MAX - 0.5f) *
                         std::pow(10.0f, static_cast<float>(i % 12 - 6)));
    const char* separators[4] = {"\n", "\r\n", ",", "\t"};
    for (int type = 7; type <= 10; ++type) {
        SCOPED_TRACE(type);
        InitMemorySink(&sink);
        // The destination does not matter: text lists are files.
        ASSERT_EQ(Run(type, type == 7 ? 0 : 1, 1, static_cast<int>(values.size()), 1.0f, 1.0f, values), 0);
        std::string expect;
        char item[128];
        for (float v : values) {
            std::snprintf(item, sizeof item, "%f%s", v, separators[type - 7]);
            expect += item;
        }
        EXPECT_EQ(std::string(sink.bytes.begin(), sink.bytes.end()), expect);
        for (const OutputChunk& c : sink.chunks) EXPECT_LE(c.count, OUTPUT_BLOCK_SIZE);
    }
}

TEST_F(Output, IntervalAndRateKeepTheirValue) {
    for (double clock : {1e9, 3.0, 25083334.0, 7.0e10}) {
        SCOPED_TRACE(clock);
        InitMemorySink(&sink);
        ASSERT_EQ(BeginOutput(1, 1, 0, 3, clock, 1.0f, 1.0f, "", &sink.sink), 0);
        std::string msg1 = MemoryChunkText(&sink, 0);
        std::size_t at = msg1.find("XINCR ");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(std::strtod(msg1.c_str() + at + 6, nullptr), 1.0 / clock);
        AbortOutput();

        InitMemorySink(&sink);
        ASSERT_EQ(BeginOutput(1, 3, 1, 3, clock, 1.0f, 1.0f, "", &sink.sink), 0);
        for (int s = 0; s < 3; ++s) EncodeSample(s, 0.0f, 0);
        ASSERT_EQ(EndOutput(), 0);
        std::string all(sink.bytes.begin(), sink.bytes.end());
        at = all.find(":FREQUENCY ");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(std::strtod(all.c_str() + at + 11, nullptr), clock / 3);
    }
}

TEST_F(Output, IncompleteAndCancelledPasses) {
    // Cancelled: nothing after the last full block, the sink is told.
    ASSERT_EQ(BeginOutput(1, 0, 0, 1000, CLOCK, 1.0f, 1.0f, "", &sink.sink), 0);
    for (int s = 0; s < 450; ++s) EncodeSample(s, 0.0f, 0);
    AbortOutput();
    EXPECT_EQ(sink.chunks.size(), 2u);  // header, one block
    EXPECT_EQ(sink.passes_aborted, 1);
    EXPECT_EQ(sink.passes_ended, 0);

    // Samples beyond the record are refused; a short record does not end cleanly.
    InitMemorySink(&sink);
    ASSERT_EQ(BeginOutput(1, 5, 1, 2, CLOCK, 1.0f, 1.0f, "", &sink.sink), 0);
    EXPECT_EQ(EncodeSample(0, 0.0f, 0), 0);
    EXPECT_EQ(EndOutput(), -1);
    ASSERT_EQ(BeginOutput(1, 5, 1, 1, CLOCK, 1.0f, 1.0f, "", &sink.sink), 0);
    EXPECT_EQ(EncodeSample(0, 0.0f, 0), 0);
    EXPECT_EQ(EncodeSample(1, 0.0f, 0), -1);
    EXPECT_EQ(EndOutput(), 0);
}

std::string ReadText(const std::string& path) {
    std::vector<char> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A pass that fails or is cancelled never replaces what stood at its path.
TEST_F(Output, UnfinishedPassKeepsThePreviousFile) {
    const std::string path = dir.File("wave.wfm");
    WriteBytes(path, "previous", 8);
    FileSink file;
    InitFileSink(&file, path.c_str(), 1);
    ASSERT_EQ(BeginOutput(1, 0, 1, 1000, CLOCK, 1.0f, 1.0f, "", &file.sink), 0);
    for (int s = 0; s < 900; ++s) EncodeSample(s, 0.5f, 0);
    AbortOutput();
    EXPECT_EQ(ReadText(path), "previous");
    ASSERT_EQ(BeginOutput(1, 0, 1, 1000, CLOCK, 1.0f, 1.0f, "", &file.sink), 0);
    for (int s = 0; s < 900; ++s) EncodeSample(s, 0.5f, 0);
    EXPECT_EQ(EndOutput(), -1);  // samples missing
    EXPECT_EQ(ReadText(path), "previous");
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) entries += e.is_regular_file();
    EXPECT_EQ(entries, 1);

    // A device takes the bytes directly, and a failed write leaves it alone.
    messages.clear();
    InitFileSink(&file, "/dev/full", 1);
    ASSERT_EQ(BeginOutput(1, 0, 1, 100000, CLOCK, 1.0f, 1.0f, "", &file.sink), 0);
    for (int s = 0; s < 100000; ++s) EncodeSample(s, 0.5f, 0);
    EXPECT_EQ(EndOutput(), -1);
    EXPECT_EQ(messages, std::vector<std::string>{"|File Writing Error (14)\n/dev/full: No space left on device"});
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

// The file sink keeps the outcome of its last pass for the driver to read.
TEST_F(Output, FileSinkKeepsTheOutcomeOfItsPass) {
    const std::string path = dir.File("wave.wfm");
    FileSink file;
    InitFileSink(&file, path.c_str(), 1);
    EXPECT_EQ(file.outcome, FILE_PENDING);
    ASSERT_EQ(Run(0, 1, 1, 10, 1.0f, 1.0f, {0.5f}, {0}, &file.sink), 0);
    EXPECT_EQ(file.outcome, FILE_COMPLETED);
    ASSERT_EQ(BeginOutput(1, 0, 1, 10, CLOCK, 1.0f, 1.0f, "", &file.sink), 0);
    AbortOutput();
    EXPECT_EQ(file.outcome, FILE_UNFINISHED);
    ASSERT_EQ(BeginOutput(1, 0, 1, 10, CLOCK, 1.0f, 1.0f, "", &file.sink), 0);
    EXPECT_EQ(EndOutput(), -1);  // no samples
    EXPECT_EQ(file.outcome, FILE_UNFINISHED);
    EXPECT_EQ(ReadBytes(path).size(), 16u + 50 + 23);   // the completed pass stays: header, samples, clock
}

TEST_F(Output, RefusedPasses) {
    struct Case {
        const char* path;  // under the test directory
        int destination;
        const char* message;
        const char* reason;
    } cases[] = {
        {"missing/wave.wfm", 1, "|File Opening Error (14)", "No such file or directory"},
        {"missing/wave.gpi", 2, "|File Opening Error (13)", "No such file or directory"},
        {"", 1, "|File Opening Error (14)", "Is a directory"},  // the directory itself
    };
    for (const Case& c : cases) {
        messages.clear();
        FileSink file;
        InitFileSink(&file, dir.File(c.path).c_str(), c.destination);
        EXPECT_EQ(BeginOutput(1, 0, c.destination, 10, CLOCK, 1.0f, 1.0f, "", &file.sink), -1);
        EXPECT_EQ(messages, std::vector<std::string>{std::string(c.message) + "\n" + dir.File(c.path) + ": " +
                                                     c.reason});
        EXPECT_EQ(EncodeSample(0, 0.0f, 0), -1);
    }
    messages.clear();
    EXPECT_EQ(BeginOutput(1, 11, 1, 10, CLOCK, 1.0f, 1.0f, "", &sink.sink), -1);
    EXPECT_EQ(BeginOutput(1, 0, 1, 10, 0.0, 1.0f, 1.0f, "", &sink.sink), -1);
    EXPECT_EQ(messages, (std::vector<std::string>{"COMPILATION ERROR|Unknown instrument type 11",
                                                  "COMPILATION ERROR|The record clock is not usable"}));
    EXPECT_EQ(sink.passes_begun, 0);
}

// --- names ------------------------------------------------------------------

TEST(OutputNames, Buildname) {
    struct Case {
        const char* name;
        const char* suffix;
        const char* result;
    } cases[] = {
        {"WAVE.WFM", "_I", "WAVE_I.WFM"},
        {"A.B.C", "_I", "A_I.B.C"},
        {"WAVE", "_Q", "WAVE_Q"},
        {"/home/j.smith/waves/a.wfm", "_I", "/home/j.smith/waves/a_I.wfm"},
        {"/data/v1.2/wave", "_Q", "/data/v1.2/wave_Q"},
        {"", "_I", "_I"},
    };
    for (const Case& c : cases) {
        char out[64];
        EXPECT_EQ(buildname(out, c.name, c.suffix), 0);
        EXPECT_STREQ(out, c.result);
    }
    // In place, and bounded by the buffer: exactly fitting, then one byte short.
    char in_place[16] = "WAVE.WFM";
    EXPECT_EQ(buildname(in_place, in_place, "_Q"), 0);
    EXPECT_STREQ(in_place, "WAVE_Q.WFM");
    char fits[11], short_by_one[10];
    EXPECT_EQ(buildname(fits, "WAVE.WFM", "_I"), 0);
    EXPECT_STREQ(fits, "WAVE_I.WFM");
    EXPECT_EQ(buildname(short_by_one, "WAVE.WFM", "_I"), -1);
    EXPECT_STREQ(short_by_one, "");

    EXPECT_STREQ(InstrumentFileName(1, OUTPUT_WFM), "BROXEL.WFM");
    EXPECT_STREQ(InstrumentFileName(2, OUTPUT_CURVE), "BROXEL_I.WFM");
    EXPECT_STREQ(InstrumentFileName(3, OUTPUT_PAT), "BROXEL_Q.PAT");
}

}  // namespace
