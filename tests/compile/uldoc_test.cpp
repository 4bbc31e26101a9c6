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
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

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

    Outcome Start(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
        return RunUldoc(Cwd(), args, dir.File("uldoc"), "", input);
    }

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
        {{mixed, "--type", "wav"}, "or its name (wfm, curve, wfm-256"},
        {{mixed, "--destination", "usb"}, "--destination takes a destination 0 to 3 or its name (gpib, file,"},
        {{mixed, "--report", "xml"}, "--report takes text or json"},
        {{mixed, "-o", "-", "--passes", "rf,i"}, "-o - writes one pass to stdout"},
        {{"-", "--setup", "-"}, "cannot both come from stdin"},
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


std::string Bytes(const std::string& path) { return FileText(path); }

TEST_F(Uldoc, ConventionsOfACommandLineTool) {
    for (const char* flag : {"--version", "-V"}) {
        Outcome v = Start({flag});
        EXPECT_EQ(v.code, 0);
        EXPECT_EQ(v.out.rfind("uldoc 1.0 (commit ", 0), 0u) << v.out;
    }

    // Names and numbers of the target and destination are the same settings; -oFILE is -o FILE.
    Outcome named = Start({mixed, "--length", "6000", "--type", "wfm-256", "--destination", "file", "-onamed.wfm"});
    ASSERT_EQ(named.code, 0) << named.err;
    Outcome numbered = Start({mixed, "--length", "6000", "--type", "2", "--destination", "1", "-o", "numbered.wfm"});
    ASSERT_EQ(numbered.code, 0) << numbered.err;
    EXPECT_EQ(Bytes(InCwd("named.wfm")), Bytes(InCwd("numbered.wfm")));

    Outcome quiet = Start({mixed, "--length", "6000", "-q", "-o", "quiet.wfm"});
    EXPECT_EQ(quiet.code, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(Bytes(InCwd("quiet.wfm")), Bytes(InCwd("numbered.wfm")));  // types 0 and 2 share their encoding

    // The whole report as one document for scripts.
    Outcome json = Start({mixed, "--length", "6000", "--report", "json", "-o", "j.wfm"});
    ASSERT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.err, "");
    nlohmann::json doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(doc["status"], "done");
    EXPECT_EQ(doc["exit_status"], 0);
    EXPECT_EQ(doc["settings"]["instrument_type"], "WFM");
    EXPECT_EQ(doc["plan"]["samples"], 6000);
    ASSERT_EQ(doc["plan"]["carriers"].size(), 6u);
    EXPECT_EQ(doc["plan"]["carriers"][0]["modulation"], "QPSK");
    EXPECT_TRUE(doc["plan"]["carriers"][5]["symbols"].is_null());  // unmodulated
    EXPECT_GT(doc["peaks"]["rf"].get<double>(), 0.0);
    ASSERT_EQ(doc["files"].size(), 1u);
    EXPECT_EQ(doc["files"][0]["path"], "j.wfm");
    EXPECT_EQ(doc["files"][0]["bytes"].get<long long>(), static_cast<long long>(Bytes(InCwd("j.wfm")).size()));
    EXPECT_EQ(doc["power_table"]["carriers"].size(), 6u);
    EXPECT_TRUE(doc["ccdf"]["percent_above_db"].contains("8"));

    Outcome refused = Start({mixed, "--max-length", "99999", "--report", "json"});
    EXPECT_EQ(refused.code, 1);
    nlohmann::json refusal = nlohmann::json::parse(refused.out);
    EXPECT_EQ(refusal["status"], "refused");
    const char* refusal_text =
        "COMPILATION ERROR: Not enough record length in target\n"
        "The record needs 100000 samples; the target holds at most 99999.";
    EXPECT_EQ(refusal["messages"], nlohmann::json::array({refusal_text}));
    EXPECT_EQ(refused.err, std::string(refusal_text) + "\n");
}

// The README's option table and --help name the same options.
TEST_F(Uldoc, ReadmeOptionTableIsTheHelpText) {
    auto options_in = [](const std::string& text, bool table) {
        std::vector<std::string> names;
        std::size_t at = 0;
        while ((at = text.find('\n', at)) != std::string::npos) {
            ++at;
            std::string line = text.substr(at, text.find('\n', at) - at);
            if (table ? line.rfind("| `-", 0) != 0 : line.rfind("  -", 0) != 0) continue;
            std::string head = table ? line.substr(1, line.find('|', 1) - 1) : line.substr(0, 24);
            for (std::size_t i = 0; (i = head.find('-', i)) != std::string::npos;) {
                if (i > 0 && head[i - 1] != ' ' && head[i - 1] != '`') {
                    ++i;
                    continue;
                }
                std::size_t end = head.find_first_of(" `,=|", i);
                std::string name = head.substr(i, end - i);
                if (name.size() > 1 && name != "-") names.push_back(name);
                i = end == std::string::npos ? head.size() : end;
            }
        }
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
        return names;
    };
    Outcome help = Start({"--help"});
    std::vector<std::string> from_help = options_in(help.out, false);
    std::vector<std::string> from_readme = options_in(FileText(std::string(ULDO_SOURCE_DIR) + "/README.md"), true);
    EXPECT_GT(from_help.size(), 20u);
    EXPECT_EQ(from_readme, from_help);
    // The manual page and the shell completion know every option too.
    std::string manual = FileText(std::string(ULDO_SOURCE_DIR) + "/packaging/uldoc.1");
    for (std::size_t at; (at = manual.find("\\-")) != std::string::npos;) manual.replace(at, 2, "-");
    const std::string completion = FileText(std::string(ULDO_SOURCE_DIR) + "/packaging/uldoc.bash-completion");
    for (const std::string& name : from_help) {
        EXPECT_TRUE(Has(manual, name)) << name << " is not in uldoc.1";
        EXPECT_TRUE(Has(completion, " " + name)) << name << " is not in the completion";
    }
}

TEST_F(Uldoc, StandardStreams) {
    ASSERT_EQ(Start({mixed, "--length", "6000", "-o", "file.wfm"}).code, 0);
    Outcome piped = Start({mixed, "--length", "6000", "-o", "-"});
    ASSERT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.out, Bytes(InCwd("file.wfm")));
    EXPECT_TRUE(Has(piped.err, "written        stdout (" + std::to_string(piped.out.size()) + " bytes)")) << piped.err;

    // The table from stdin, in either form.
    for (const std::string& table : {mixed, examples + "mixed.kvt"}) {
        Outcome in = Start({"-", "--length", "6000", "-o", "in.wfm"}, table);
        ASSERT_EQ(in.code, 0) << in.err;
        EXPECT_EQ(Bytes(InCwd("in.wfm")), Bytes(InCwd("file.wfm")));
    }
    Outcome unnamed = Start({"-", "--length", "6000"}, mixed);
    EXPECT_EQ(unnamed.code, 2);
    EXPECT_TRUE(Has(unnamed.err, "give one with -o")) << unnamed.err;

    ASSERT_EQ(Start({mixed, "--write-setup", "s.json"}).code, 0);
    Outcome setup = Start({mixed, "--write-setup", "-"});
    ASSERT_EQ(setup.code, 0);
    EXPECT_EQ(setup.out, Bytes(InCwd("s.json")));
}

TEST_F(Uldoc, OutputsNeverDestroyWhatStandsAtTheirPath) {
    // A full device: the write fails, the device stays.
    Outcome full = Start({mixed, "--length", "6000", "-o", "/dev/full"});
    EXPECT_EQ(full.code, 1);
    EXPECT_TRUE(Has(full.err, "File Writing Error (14)\n/dev/full: No space left on device")) << full.err;
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));

    // A link is followed; the file it names is replaced with its mode kept.
    WriteBytes(InCwd("real.wfm"), "old", 3);
    std::filesystem::permissions(InCwd("real.wfm"), std::filesystem::perms(0640));
    std::filesystem::create_symlink("real.wfm", InCwd("link.wfm"));
    ASSERT_EQ(Start({mixed, "--length", "6000", "-o", "link.wfm"}).code, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(InCwd("link.wfm")));
    EXPECT_EQ(Bytes(InCwd("real.wfm")).substr(0, 12), "MAGIC 1000\r\n");
    EXPECT_EQ(static_cast<int>(std::filesystem::status(InCwd("real.wfm")).permissions()), 0640);

    // A run that fails leaves the previous file as it was, and no temporary file.
    const std::string table = InCwd("t.json");
    const std::string text = R"({"carriers": [{"frequency_hz": 1e6, "symbol_rate": 1e5, "modulation": "QPSK",
                                 "data_source": "FILE", "data_file": "gone.txt"}]})";
    WriteBytes(table, text.data(), text.size());
    WriteBytes(InCwd("w.wfm"), "previous", 8);
    Outcome failed = Start({table, "--length", "6000", "-o", "w.wfm"});
    EXPECT_EQ(failed.code, 1);
    EXPECT_EQ(Bytes(InCwd("w.wfm")), "previous");
    EXPECT_EQ(FilesInCwd(), (std::vector<std::string>{"link.wfm", "real.wfm", "t.json", "w.wfm"}));

    // A named pipe gets the whole setup and stays a pipe.
    const std::string pipe_path = InCwd("setup.pipe");
    ASSERT_EQ(mkfifo(pipe_path.c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = Bytes(pipe_path); });
    Outcome piped = Start({mixed, "--write-setup", "setup.pipe"});
    reader.join();
    EXPECT_EQ(piped.code, 0);
    EXPECT_EQ(got.size(), 1408u);
    EXPECT_TRUE(std::filesystem::is_fifo(pipe_path));
}

TEST_F(Uldoc, TablesAreCheckedAndNameTheirFilesRelativeToThemselves) {
    // A table and its data file in a folder of their own, run from elsewhere.
    std::filesystem::create_directory(dir.File("tables"));
    const std::string table = dir.File("tables/t.json");
    const std::string text = R"({"carriers": [{"frequency_hz": 1e6, "symbol_rate": 1e5, "modulation": "QPSK",
                                 "filter_type": "SQRT_RCOS", "filter_param": 0.35,
                                 "data_source": "FILE", "data_file": "bits.txt"}]})";
    WriteBytes(table, text.data(), text.size());
    WriteBytes(dir.File("tables/bits.txt"), "1 0 1 1 0 0 1 0\n", 16);
    Outcome beside = Start({table, "--length", "6000", "-q"});
    EXPECT_EQ(beside.code, 0) << beside.err;
    std::filesystem::remove(dir.File("tables/bits.txt"));
    Outcome missing = Start({table, "--length", "6000", "-q"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(Has(missing.err, "File Opening Error (18)\nbits.txt (neither beside the table in " +
                                     dir.File("tables") + " nor in the current directory): No such file"))
        << missing.err;

    // Unknown codes stop the run before anything is written.
    const std::string bad = R"({"carriers": [{"frequency_hz": 1e6, "symbol_rate": 1e5, "modulation": 99}]})";
    WriteBytes(InCwd("bad.json"), bad.data(), bad.size());
    Outcome refused = Start({"bad.json"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(Has(refused.err, "bad.json: carriers[0].modulation: 99 is not a modulation code; modulation "
                                 "names: NONE, QPSK,"))
        << refused.err;
    EXPECT_EQ(FilesInCwd(), (std::vector<std::string>{"bad.json", "t.wfm"}));

    // The reference pulse is written only where --filter-dat says, and a failure to write it counts.
    EXPECT_FALSE(std::filesystem::exists(InCwd("FILTER.DAT")));
    ASSERT_EQ(Start({mixed, "--length", "6000", "--filter-dat", "pulse.dat", "-q"}).code, 0);
    const std::string pulse_text = Bytes(InCwd("pulse.dat"));
    EXPECT_EQ(std::count(pulse_text.begin(), pulse_text.end(), '\n'), 50 * 17 + 51);  // QPSK, 17 symbols
    std::filesystem::create_directory(InCwd("dir.dat"));
    Outcome pulse = Start({mixed, "--length", "6000", "--filter-dat", "dir.dat", "-q"});
    EXPECT_EQ(pulse.code, 1);
    EXPECT_TRUE(Has(pulse.err, "File Opening Error (12)\ndir.dat: Is a directory")) << pulse.err;
}

TEST_F(Uldoc, FieldReferenceIsTheCommittedDocumentAndTheSchemaHoldsForTheExamples) {
    Outcome fields = Start({"fields"});
    ASSERT_EQ(fields.code, 0);
    EXPECT_EQ(fields.out, FileText(std::string(ULDO_SOURCE_DIR) + "/docs/fields.md"))
        << "regenerate docs/fields.md with uldoc fields";

    Outcome schema = Start({"schema"});
    ASSERT_EQ(schema.code, 0);
    nlohmann::json doc = nlohmann::json::parse(schema.out);
    EXPECT_EQ(doc["$defs"]["carrier"]["properties"]["modulation"]["anyOf"][0]["enum"][1], 1);
    if (std::system("python3 -c 'import jsonschema' 2>/dev/null") != 0) GTEST_SKIP() << "no python3-jsonschema";
    WriteBytes(InCwd("schema.json"), schema.out.data(), schema.out.size());
    const std::string bad = R"({"carriers": [{"frequency_hz": 1e6, "filter_type": "rrc"}]})";
    WriteBytes(InCwd("bad.json"), bad.data(), bad.size());
    const std::string check =
        "import json, sys, jsonschema\n"
        "v = jsonschema.Draft202012Validator(json.load(open('schema.json')))\n"
        "for path in sys.argv[1:]:\n"
        "    errors = list(v.iter_errors(json.load(open(path))))\n"
        "    print(path, 'invalid' if errors else 'valid')\n";
    WriteBytes(InCwd("check.py"), check.data(), check.size());
    std::string command = "cd " + ShellQuoted(Cwd()) + " && python3 check.py bad.json";
    for (const char* name : {"mixed", "cable64", "3gpp", "8vsb", "default"}) command += " " + examples + name + ".json";
    command += " > checked.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string checked = FileText(InCwd("checked.txt"));
    EXPECT_TRUE(Has(checked, "bad.json invalid")) << checked;
    EXPECT_FALSE(Has(checked.substr(checked.find('\n') + 1), "invalid")) << checked;
}

}  // namespace
