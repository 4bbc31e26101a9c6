// uldoc on hostile inputs: each is refused with status 1 and a message naming
// the field or the file, nothing is written, and no report line ever shows a
// number that is not one.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "shell/recordfiles.h"
#include "shell/uldo.h"
#include "support/run_uldoc.h"
#include "support/tempdir.h"

extern char** environ;

namespace {

const std::string kCarrier =
    R"("frequency_hz": 20e6, "amplitude": 1, "symbol_rate": 2e6, "modulation": "QPSK", "filter_type": 3,
       "filter_length": 9, "filter_param": 0.35)";

std::string Table(const std::string& extra) {
    return "{\"carriers\": [{" + kCarrier + "}, {\"frequency_hz\": 30e6, \"symbol_rate\": 2e6, " + extra + "}]}";
}

bool HasNoNumberThatIsNot(const std::string& text) {
    for (const char* bad : {"nan", "inf", "NAN", "INF"})
        if (text.find(bad) != std::string::npos) return false;
    return true;
}

class UldocRefusals : public ::testing::Test {
protected:
    UldocOutcome Run(const std::vector<std::string>& args) {
        return RunUldoc(dir.path().string(), args, dir.File("uldoc"));
    }
    void Write(const std::string& name, const std::string& text) { WriteBytes(dir.File(name), text.data(), text.size()); }
    TempDir dir;
};

TEST_F(UldocRefusals, BadNumbersExitOneNamingTheField) {
    GlobalSettings image{};
    image.compile_length = 2000;
    image.sample_clock = 2.5f;
    image.max_record_length = 16000000;
    image.record_granularity = 1;
    image.output_destination = 1;
    image.output_rf = 1;
    image.reference_carrier = INT32_MIN;
    WriteBytes(dir.File("bad-reference.set"), &image, sizeof image);

    struct Case {
        const char* what;
        std::string table;
        std::string setup;  // JSON text, or "" for none
        std::vector<std::string> more;
        const char* message;
    } cases[] = {
        {"1e400", Table("\"amplitude\": 1e400"), "", {}, "carriers[1].amplitude: 1e400 is out of range"},
        {"-1e400 in a setup", Table("\"amplitude\": 1"), R"({"sample_clock": -1e400})", {},
         "sample_clock: -1e400 is out of range"},
        {"NaN by its bits", Table("\"amplitude\": \"0x7FC00000\""), "", {}, "Carrier 2: its amplitude is not a finite"},
        {"phase inf by its bits", Table("\"amplitude\": 1, \"phase_deg\": \"0x7F800000\""), "", {},
         "Carrier 2: its phase_deg is not a finite"},
        {"amplitude 1e38", Table("\"amplitude\": 1e38"), "", {}, "Carrier 2: its amplitude 1e+38 is out of range"},
        {"reference in a JSON setup", Table("\"amplitude\": 1"), R"({"reference_carrier": -2147483648})", {},
         "reference_carrier -2147483648 is out of range"},
        {"reference in a setup image", Table("\"amplitude\": 1"), "", {"--setup", "bad-reference.set"},
         "reference_carrier -2147483648 is out of range"},
        {"WFM beyond nine digits", Table("\"amplitude\": 1"), "",
         {"--length", "200000000", "--max-length", "2147483647"}, "it holds at most 199999999 samples"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write("t.json", c.table);
        std::vector<std::string> args = {"t.json", "--length", "2000", "-o", "out.wfm"};
        if (!c.setup.empty()) {
            Write("s.json", c.setup);
            args.insert(args.end(), {"--setup", "s.json"});
        }
        args.insert(args.end(), c.more.begin(), c.more.end());
        UldocOutcome r = Run(args);
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(HasNoNumberThatIsNot(r.out)) << r.out;
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.wfm")));
    }
}

// A table that compiles, but whose carriers have no power to state.
TEST_F(UldocRefusals, FiguresThatCannotBeStatedAreWorded) {
    std::vector<float> iq;
    for (int k = 0; k < 100; ++k) iq.insert(iq.end(), {k % 2 ? 0.5f : -0.5f, k % 3 ? 0.5f : -0.5f});
    WriteBytes(dir.File("iq.f32"), iq.data(), iq.size() * sizeof(float));
    const std::string iq_carrier =
        R"({"frequency_hz": 20e6, "amplitude": 1, "symbol_rate": 2e6, "modulation": 24, "mod_file": "iq.f32",
            "iq_file_encoding": 1})";
    struct Case {
        const char* what;
        std::string table;
    } cases[] = {
        {"I/Q file carriers only", "{\"carriers\": [" + iq_carrier + "]}"},
        {"a silent carrier", Table("\"amplitude\": 0, \"modulation\": \"QPSK\"")},
        {"only silence", "{\"carriers\": [{\"frequency_hz\": 20e6, \"symbol_rate\": 2e6, \"modulation\": \"QPSK\"}]}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write("t.json", c.table);
        UldocOutcome r = Run({"t.json", "--length", "2000", "-o", "out.wfm"});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(HasNoNumberThatIsNot(r.out)) << r.out;
        EXPECT_TRUE(std::filesystem::exists(dir.File("out.wfm")));
    }
}

// kill -9 in the middle of a write: the file of that name stays as it was.
TEST_F(UldocRefusals, KilledWhileWritingKeepsThePreviousFile) {
    Write("out.wfm", "previous");
    const std::string table = std::string(ULDO_SOURCE_DIR) + "/examples/mixed.json";
    std::vector<std::string> args = {ULDOC_PATH, table, "--length", "5000000", "--max-length", "100000000",
                                     "-o", "out.wfm"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Once the new waveform is being written beside the old one, kill the writer.
    // The write of the whole record can take only tens of milliseconds, so the
    // directory is looked at often (for up to a minute).
    bool writing = false, exited = false;
    int status = 0;
    for (int k = 0; k < 30000 && !writing && !exited; ++k) {
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            std::string name = e.path().filename().string();
            if (name != "out.wfm" && name != "FILTER.DAT" && e.is_regular_file() && e.file_size() > 0) writing = true;
        }
        if (!writing) {
            exited = waitpid(pid, &status, WNOHANG) == pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    EXPECT_TRUE(writing) << "uldoc never started writing";
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(FileText(dir.File("out.wfm")), "previous");
}

}  // namespace
