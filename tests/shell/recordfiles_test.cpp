#include "shell/recordfiles.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "support/tempdir.h"
#include "transfer/corestate.h"

namespace {

// A table of `count` carriers with distinct values, a terminator, and a
// recognisable record behind the terminator.
void FillTable(int count, float base_hz = 1e6f) {
    ResetRecords();
    for (int i = 0; i < count && i < MAX_CARRIERS; ++i) {
        signals[i].frequency_hz = base_hz + 1e5f * i;
        signals[i].amplitude = 1.0f;
        signals[i].modulation = MOD_QPSK;
        signals[i].filter_length = 9;
        signals[i].reserved_748[191] = static_cast<uint8_t>(i + 1);
        SetField(signals[i].data_file, "bits.txt");
    }
    if (count < MAX_CARRIERS) signals[count].frequency_hz = -1.0f;
    if (count + 1 < MAX_CARRIERS) signals[count + 1].frequency_hz = 77.0f;  // behind the terminator
}

class RecordFiles : public ::testing::Test {
protected:
    void SetUp() override { ResetCoreState(); }
    TempDir dir;
};

TEST_F(RecordFiles, SavedTableIsTheExactImageAndLoadsBack) {
    FillTable(3);
    SetField(comment, "cable plan");
    std::string path = dir.File("a.kvt");
    ASSERT_EQ(WriteTableFile(path.c_str()), 0);

    std::vector<char> bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 94210u);
    EXPECT_EQ(std::string(bytes.data(), 5), std::string("V1.0\0", 5));
    for (int i = 5; i < 10; ++i) EXPECT_EQ(bytes[i], 0);
    EXPECT_EQ(std::memcmp(bytes.data() + 10, comment, 200), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + 210, signals, sizeof signals), 0);

    Carrier saved[MAX_CARRIERS];
    std::memcpy(saved, signals, sizeof saved);
    ResetRecords();
    EXPECT_EQ(ReadTableFile(path.c_str(), 0), 0);
    EXPECT_EQ(std::memcmp(saved, signals, sizeof saved), 0);  // also behind the terminator
    EXPECT_STREQ(comment, "cable plan");

    std::string again = dir.File("b.kvt");
    ASSERT_EQ(WriteTableFile(again.c_str()), 0);
    EXPECT_EQ(ReadBytes(again), bytes);
}

TEST_F(RecordFiles, AppendKeepsWhatFitsAndCountsTheRest) {
    FillTable(5, 50e6f);
    std::string path = dir.File("five.kvt");
    ASSERT_EQ(WriteTableFile(path.c_str()), 0);

    struct Case {
        int present, left_out;
    } cases[] = {{2, 0}, {95, 0}, {96, 1}, {98, 3}, {100, 5}};
    for (const Case& c : cases) {
        FillTable(c.present);
        EXPECT_EQ(ReadTableFile(path.c_str(), c.present), c.left_out) << c.present;
        int total = CountCarriers(signals, MAX_CARRIERS);
        EXPECT_EQ(total, std::min(c.present + 5, MAX_CARRIERS)) << c.present;
        if (c.present < MAX_CARRIERS) EXPECT_EQ(signals[c.present].frequency_hz, 50e6f);
        if (c.present > 0) EXPECT_EQ(signals[c.present - 1].reserved_748[191], c.present);
    }
}

TEST_F(RecordFiles, ShortFilesFillWhatTheyHold) {
    FillTable(4);
    // Only the format text, the comment and one and a half records.
    std::vector<char> image(210 + 940 + 470, 0);
    std::memcpy(image.data(), "V1.0", 4);
    std::memcpy(image.data() + 10, "short", 6);
    Carrier first{};
    first.frequency_hz = 9e6f;
    std::memcpy(image.data() + 210, &first, sizeof first);
    Carrier second{};
    second.frequency_hz = 8e6f;
    second.modulation = MOD_QAM64;      // offset 16: inside the half record
    second.data_source = DATA_ONES;     // offset 692: beyond it
    std::memcpy(image.data() + 210 + 940, &second, 470);
    std::string path = dir.File("short.kvt");
    WriteBytes(path, image.data(), image.size());

    signals[1].data_source = DATA_ZEROS;
    EXPECT_EQ(ReadTableFile(path.c_str(), 0), 0);
    EXPECT_STREQ(comment, "short");
    EXPECT_EQ(signals[0].frequency_hz, 9e6f);
    EXPECT_EQ(signals[1].modulation, MOD_QAM64);
    EXPECT_EQ(signals[1].data_source, DATA_ZEROS);   // untouched
    EXPECT_EQ(signals[2].frequency_hz, 1.2e6f);      // untouched
}

TEST_F(RecordFiles, UnopenablePathsTouchNothing) {
    FillTable(2);
    SetField(comment, "kept");
    Carrier before[MAX_CARRIERS];
    std::memcpy(before, signals, sizeof before);
    for (std::string path : {dir.File("missing.kvt"), dir.path().string()}) {
        EXPECT_EQ(ReadTableFile(path.c_str(), 0), -1) << path;
        GlobalSettings g{};
        EXPECT_EQ(ReadSettingsFile(path.c_str(), &g), -1) << path;
    }
    EXPECT_EQ(std::memcmp(before, signals, sizeof before), 0);
    EXPECT_STREQ(comment, "kept");
    EXPECT_EQ(WriteTableFile(dir.File("no/such/dir/x.kvt").c_str()), -1);
    EXPECT_EQ(WriteTableFile(dir.path().c_str()), -1);   // a directory is not replaced
    EXPECT_TRUE(std::filesystem::is_directory(dir.path()));
}

TEST_F(RecordFiles, FailedWriteKeepsThePreviousFile) {
    FillTable(3);
    std::string path = dir.File("good.kvt");
    ASSERT_EQ(WriteTableFile(path.c_str()), 0);
    std::vector<char> good = ReadBytes(path);

    // A full disk, as far as this process can tell: writes beyond 4 KiB fail.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    FillTable(7);
    int table_result = WriteTableFile(path.c_str());
    std::vector<char> big(8192, 'x');
    int other_result = WriteFileAtomically(dir.File("big.bin").c_str(), big.data(), 8192);
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(table_result, -1);
    EXPECT_EQ(other_result, -1);
    EXPECT_EQ(ReadBytes(path), good);
    int files = 0;
    for (auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);  // no temporary file left behind
}

TEST_F(RecordFiles, SettingsImageRoundTripsAndShortFilesFillPartly) {
    SetField(globals.data_dir, "/data");
    globals.compile_length = 4000000;
    globals.sample_clock = 2.5f;
    globals.baseband_all_carriers = 1;
    std::string path = dir.File("a.set");
    ASSERT_EQ(WriteSettingsFile(path.c_str(), &globals), 0);
    std::vector<char> bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 1408u);
    EXPECT_EQ(std::memcmp(bytes.data(), &globals, 1408), 0);

    // A settings file cut after compile_length.
    WriteBytes(path, bytes.data(), 772);
    GlobalSettings read{};
    read.sample_clock = 9.0f;
    ASSERT_EQ(ReadSettingsFile(path.c_str(), &read), 0);
    EXPECT_STREQ(read.data_dir, "/data");
    EXPECT_EQ(read.compile_length, 4000000);
    EXPECT_EQ(read.sample_clock, 9.0f);
    EXPECT_EQ(read.baseband_all_carriers, 0);
}

TEST_F(RecordFiles, SavedCommentAlwaysEndsWithinItsField) {
    std::memset(comment, 'c', sizeof comment);  // as loaded from a file without the NUL
    std::string path = dir.File("c.kvt");
    ASSERT_EQ(WriteTableFile(path.c_str()), 0);
    std::vector<char> bytes = ReadBytes(path);
    EXPECT_EQ(bytes[10 + 198], 'c');
    EXPECT_EQ(bytes[10 + 199], 0);
}

}  // namespace
