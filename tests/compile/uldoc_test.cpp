// End-to-end tests of the command-line compiler: they run the built uldoc.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "compile/output.h"
#include "support/run_uldoc.h"
#include "support/tempdir.h"

namespace {

const std::string examples = std::string(ULDO_SOURCE_DIR) + "/examples/";
const std::string mixed = examples + "mixed.json";

using Outcome = UldocOutcome;

class Uldoc : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(Cwd()); }

    // The program runs in its own directory, with stdout and stderr in files.
    std::string Cwd() const { return dir.File("run"); }
    std::string InCwd(const std::string& name) const { return Cwd() + "/" + name; }

    Outcome Start(const std::vector<std::string>& args) { return RunUldoc(Cwd(), args, dir.File("uldoc")); }

    std::vector<std::string> FilesInCwd() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(Cwd()))
            if (e.path().filename() != "FILTER.DAT") names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(Uldoc, UsageErrorsExitTwoAndSayWhy) {
    struct Case {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{}, "no carrier table given"},
        {{mixed, "--bogus"}, "unknown option --bogus"},
        {{mixed, mixed}, "one table only"},
        {{mixed, "--length"}, "--length needs a record length"},
        {{mixed, "--length", "0"}, "--length takes a whole number from 1"},
        {{mixed, "--length=12x"}, "not \"12x\""},
        {{mixed, "--clock", "-2.5"}, "--clock takes a ratio above 0"},
        {{mixed, "--passes", "rf,x"}, "--passes takes rf, i, q"},
        {{mixed, "--type", "11"}, "--type takes a target type 0 to 10"},
        {{mixed, "--destination", "0", "-o", "x.wfm"}, "-o names a file; destination 0 writes none"},
        {{mixed, "--destination=3", "--ftp-port", "21"}, "destination 3 needs the instrument address"},
        {{mixed, "--reference", "7"}, "--reference 7: the table has 6 carriers"},
        {{mixed, "--type", "8", "--destination", "2"}, "native-format files only"},
        {{mixed, "-o", mixed}, "would overwrite an input file"},
        {{"convert", mixed}, "convert takes two files"},
        {{"convert", mixed, "mixed.set"}, "a carrier table is written as .kvt or .json"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        Outcome r = Start(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(Has(r.err, c.reason)) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_TRUE(FilesInCwd().empty());

    Outcome help = Start({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(Has(help.out, "Usage: uldoc TABLE"));
}

TEST_F(Uldoc, RefusalsAndBadInputsExitOne) {
    Outcome r = Start({mixed, "--max-length", "99999"});  // the record is 100000 samples
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), "COMPILATION ERROR: Not enough record length in target\n");
    EXPECT_TRUE(FilesInCwd().empty());

    r = Start({mixed, "--max-length", "100000", "--passes", "none"});  // exactly the limit
    EXPECT_EQ(r.code, 0) << r.err;

    r = Start({examples + "default.set"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, examples + "default.set: is a setup, not a carrier table\n");

    r = Start({mixed, "--setup", InCwd("missing.set")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "missing.set: cannot be opened")) << r.err;

    r = Start({"convert", InCwd("missing.json"), InCwd("x.kvt")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(FilesInCwd().empty());
}

// WFM: "MAGIC 1000\r\n#" + digits of 5 N + 5 N + N samples of 5 bytes + "CLOCK %f\r\n".
long WfmSize(int n, const std::string& report) {
    std::size_t at = report.find("record clock   ");
    if (at == std::string::npos) return -1;
    double clock = std::strtod(report.c_str() + at + 15, nullptr);
    char trailer[64];
    int trailer_length = FormatClockTrailer(trailer, sizeof trailer, clock);
    long data = 5L * n;
    return 13 + 1 + static_cast<long>(std::to_string(data).size()) + data + trailer_length;
}

TEST_F(Uldoc, CompileWritesTheWaveformFilesAndReportsThem) {
    Outcome r = Start({mixed, "--length", "6000", "--passes", "rf,i,q", "-o", "wave.v1.wfm"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");  // not a terminal: no progress bar, no status lines
    EXPECT_EQ(FilesInCwd(), (std::vector<std::string>{"wave.v1.wfm", "wave_I.v1.wfm", "wave_Q.v1.wfm"}));
    long size = WfmSize(6000, r.out);
    for (const char* name : {"wave.v1.wfm", "wave_I.v1.wfm", "wave_Q.v1.wfm"}) {
        SCOPED_TRACE(name);
        std::string bytes = FileText(InCwd(name));
        EXPECT_EQ(static_cast<long>(bytes.size()), size);
        EXPECT_EQ(bytes.substr(0, 19), "MAGIC 1000\r\n#530000");
        EXPECT_EQ(bytes[23], 3);  // marker of the first sample
        EXPECT_TRUE(Has(r.out, std::string(name) + " (" + std::to_string(size) + " bytes)")) << r.out;
    }
    EXPECT_TRUE(Has(r.out, "samples        6000 (")) << r.out;
    EXPECT_TRUE(Has(r.out, "  1 *   QPSK")) << r.out;
    EXPECT_TRUE(Has(r.out, "  6     UNMOD")) << r.out;
    EXPECT_TRUE(Has(r.out, "peaks          RF ")) << r.out;
}

TEST_F(Uldoc, DefaultNamesComeFromTheTableAndTheTarget) {
    struct Case {
        std::vector<std::string> options;
        const char* name;
    } cases[] = {
        {{}, "mixed.wfm"},
        {{"--type", "5"}, "mixed.pat"},
        {{"--destination", "2"}, "mixed.gpi"},
        {{"--type", "7"}, "mixed.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {mixed, "--length", "6000"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        Outcome r = Start(args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(FilesInCwd(), std::vector<std::string>{c.name});
        std::filesystem::remove(InCwd(c.name));
    }
}

TEST_F(Uldoc, SetupsInEitherFormGiveTheSameRun) {
    Outcome binary = Start({mixed, "--setup", examples + "default.set", "--length", "400"});
    ASSERT_EQ(binary.code, 0) << binary.err;
    EXPECT_TRUE(Has(binary.out, "settings       mode 1, length 400 symbols")) << binary.out;
    EXPECT_EQ(FilesInCwd(), (std::vector<std::string>{"mixed.wfm", "mixed_I.wfm", "mixed_Q.wfm"}));
    std::string wave = FileText(InCwd("mixed.wfm"));

    Outcome json = Start({mixed, "--setup", examples + "default.json", "--length", "400"});
    ASSERT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.out, binary.out);
    EXPECT_EQ(FileText(InCwd("mixed.wfm")), wave);

    // The effective settings saved and read back compile the same way.
    Outcome save = Start({mixed, "--setup", examples + "default.set", "--length", "400", "--write-setup", "s.json"});
    ASSERT_EQ(save.code, 0) << save.err;
    EXPECT_TRUE(Has(FileText(InCwd("s.json")), "\"compile_length\": 400,"));
    Outcome again = Start({mixed, "--setup", "s.json"});
    EXPECT_EQ(again.out, binary.out);
}

TEST_F(Uldoc, ExamplesConvertToTheirCommittedBinaries) {
    for (const char* name : {"mixed", "cable64", "3gpp", "8vsb", "default"}) {
        SCOPED_TRACE(name);
        std::string binary = std::string(name) + (std::string(name) == "default" ? ".set" : ".kvt");
        Outcome to_binary = Start({"convert", examples + name + ".json", binary});
        ASSERT_EQ(to_binary.code, 0) << to_binary.err;
        EXPECT_EQ(ReadBytes(InCwd(binary)), ReadBytes(examples + binary));
        Outcome to_json = Start({"convert", examples + binary, "back.json"});
        ASSERT_EQ(to_json.code, 0) << to_json.err;
        EXPECT_EQ(FileText(InCwd("back.json")), FileText(examples + name + ".json"));
    }
}

TEST_F(Uldoc, CtrlCStopsTheRunCleanly) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    std::string err_path = dir.File("err");
    std::string cwd = Cwd();
    const char* argv[] = {ULDOC_PATH, mixed.c_str(), "--length", "16000000", "--threads", "1",
                          "--passes", "none", nullptr};
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0 || chdir(cwd.c_str()) != 0) _exit(127);
        dup2(out[1], 1);
        dup2(err, 2);
        close(out[0]);
        execv(ULDOC_PATH, const_cast<char* const*>(argv));
        _exit(127);
    }
    close(out[1]);
    // The plan is printed before the first pass; interrupt once it is there.
    std::string report;
    char chunk[4096];
    ssize_t got;
    bool sent = false;
    while ((got = read(out[0], chunk, sizeof chunk)) > 0) {
        report.append(chunk, static_cast<std::size_t>(got));
        if (!sent && Has(report, "  6     UNMOD")) {
            kill(pid, SIGINT);
            sent = true;
        }
    }
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(sent) << report;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(FileText(err_path), "uldoc: cancelled\n");
    EXPECT_FALSE(Has(report, "peaks"));
}

}  // namespace
