// uldoc's command line, parsed in process.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/options.h"
#include "compile/iqformats.h"
#include "shell/codes.h"
#include "shell/uldo.h"
#include "transfer/corestate.h"
#include "transfer/ftp.h"
#include "transfer/gpib.h"

namespace {

struct Parsed {
    int result;
    std::string error;
    UldocOptions options;
};

// The options point into argv, so the arguments stay for the whole test program.
Parsed Parse(const std::vector<std::string>& args) {
    static std::deque<std::string> kept;
    std::vector<char*> argv;
    argv.push_back(kept.emplace_back("uldoc").data());
    for (const std::string& a : args) argv.push_back(kept.emplace_back(a).data());
    Parsed p{};
    char error[512];
    p.result = ParseUldocArguments(static_cast<int>(argv.size()), argv.data(), &p.options, error, sizeof error);
    p.error = error;
    return p;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Options : public ::testing::Test {
  protected:
    void SetUp() override { ResetCoreState(); }
};

struct Accepted {
    std::vector<std::string> args;
    std::function<bool(const UldocOptions&)> holds;
};

TEST_F(Options, EveryOptionTakesItsValues) {
    const Accepted cases[] = {
        {{"t.json", "--setup", "s.set"}, [](auto& o) { return std::string(o.setup) == "s.set"; }},
        {{"t.json", "-o", "w.wfm"}, [](auto& o) { return std::string(o.output) == "w.wfm"; }},
        {{"t.json", "-ow.wfm"}, [](auto& o) { return std::string(o.output) == "w.wfm"; }},
        {{"t.json", "--output=w.wfm"}, [](auto& o) { return std::string(o.output) == "w.wfm"; }},
        {{"t.json", "-o", "-"}, [](auto& o) { return std::string(o.output) == "-"; }},
        {{"t.json", "--mode", "1"}, [](auto& o) { return o.has_mode && o.mode == 1; }},
        {{"t.json", "--length", "2147483647"}, [](auto& o) { return o.has_length && o.length == 2147483647; }},
        {{"t.json", "--clock", "2.5"}, [](auto& o) { return o.has_clock && o.clock == 2.5f; }},
        {{"t.json", "--type", "pat-256"}, [](auto& o) { return o.has_type && o.type == 6; }},
        {{"t.json", "--type=10"}, [](auto& o) { return o.has_type && o.type == 10; }},
        {{"t.json", "--destination", "gpib-file"}, [](auto& o) { return o.has_destination && o.destination == 2; }},
        {{"t.json", "--destination", "3"}, [](auto& o) { return o.destination == 3; }},
        {{"t.json", "--max-length", "1"}, [](auto& o) { return o.has_max_length && o.max_length == 1; }},
        {{"t.json", "--granularity", "64"}, [](auto& o) { return o.has_granularity && o.granularity == 64; }},
        {{"t.json", "--passes", "rf,q,iq"},
         [](auto& o) { return o.has_passes && o.pass_rf && !o.pass_i && o.pass_q && o.pass_iq; }},
        {{"t.json", "--passes", "none"},
         [](auto& o) { return o.has_passes && !o.pass_rf && !o.pass_i && !o.pass_q && !o.pass_iq; }},
        {{"t.json", "--center", "12.5"}, [](auto& o) { return o.has_center && o.center_mhz == 12.5; }},
        {{"t.json", "--iq-format", "ci16_le"}, [](auto& o) { return o.iq_format == IqFormatOfName("ci16_le"); }},
        {{"t.json"}, [](auto& o) { return o.iq_format == -1 && !o.sigmf && !o.quiet; }},
        {{"t.json", "--sigmf"}, [](auto& o) { return o.sigmf == 1; }},
        {{"t.json", "--normalize", "auto"}, [](auto& o) { return o.has_normalize && o.normalization_mode == 0; }},
        {{"t.json", "--normalize", "0.5"},
         [](auto& o) { return o.normalization_mode == 1 && o.normalization_level == 0.5f; }},
        {{"t.json", "--baseband", "all"}, [](auto& o) { return o.has_baseband && o.baseband_all == 1; }},
        {{"t.json", "--reference", "100"}, [](auto& o) { return o.has_reference && o.reference == 100; }},
        {{"t.json", "--ftp-name", "a.wfm"}, [](auto& o) { return std::string(o.ftp_name) == "a.wfm"; }},
        {{"t.json", "--ip", "fe80::1"}, [](auto& o) { return std::string(o.ip) == "fe80::1"; }},
        {{"t.json", "--instrument", "TCPIP::10.0.0.2::INSTR"},
         [](auto& o) { return std::string(o.instrument) == "TCPIP::10.0.0.2::INSTR"; }},
        {{"t.json", "--ftp-user", "guest user"}, [](auto& o) { return std::string(o.ftp_user) == "guest user"; }},
        {{"t.json", "--ftp-port", "65535"}, [](auto& o) { return o.has_ftp_port && o.ftp_port == 65535; }},
        {{"t.json", "--filter-dat", "pulse.txt"}, [](auto& o) { return std::string(o.filter_dat) == "pulse.txt"; }},
        {{"t.json", "--report", "json"}, [](auto& o) { return o.report_json == 1; }},
        {{"t.json", "--png", "images"}, [](auto& o) { return std::string(o.png_dir) == "images"; }},
        {{"t.json", "--timeout", "0.001"}, [](auto& o) { return o.timeout_seconds == 0.001f; }},
        {{"t.json", "--threads", "64"}, [](auto& o) { return o.threads == 64; }},
        {{"t.json", "-q"}, [](auto& o) { return o.quiet == 1; }},
        {{"t.json", "--quiet"}, [](auto& o) { return o.quiet == 1; }},
        {{"-V"}, [](auto& o) { return o.version == 1 && !o.table; }},
        {{"--help"}, [](auto& o) { return o.help == 1; }},
        {{"--write-setup", "s.json"}, [](auto& o) { return !o.table && std::string(o.write_setup) == "s.json"; }},
        {{"-"}, [](auto& o) { return std::string(o.table) == "-"; }},
        {{"--", "-t.json"}, [](auto& o) { return std::string(o.table) == "-t.json"; }},
        {{"fields"}, [](auto& o) { return o.reference_kind == 1; }},
        {{"schema"}, [](auto& o) { return o.reference_kind == 2; }},
        {{"convert", "a.kvt", "b.json"},
         [](auto& o) { return o.convert && std::string(o.convert_from) == "a.kvt" && std::string(o.convert_to) == "b.json"; }},
        {{"convert", "--help"}, [](auto& o) { return o.help == 1 && !o.convert; }},
    };
    for (const Accepted& c : cases) {
        Parsed p = Parse(c.args);
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        ASSERT_EQ(p.result, 0) << line << ": " << p.error;
        EXPECT_EQ(p.error, "") << line;
        EXPECT_TRUE(c.holds(p.options)) << line;
    }
}

TEST_F(Options, RefusalsNameTheOptionAndTheValue) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"t.json", "--bogus"}, "unknown option --bogus"},
        {{"t.json", "--quiet=1"}, "unknown option --quiet=1"},
        {{"t.json", "--sigmf=0"}, "unknown option --sigmf=0"},
        {{"t.json", "--setup"}, "--setup needs a setup file"},
        {{"t.json", "-o"}, "-o needs a file name"},
        {{"t.json", "--output="}, "--output needs a file name"},
        {{"t.json", "--write-setup", ""}, "--write-setup needs a file name"},
        {{"t.json", "--mode", "2"}, "--mode takes 0 or 1, not \"2\""},
        {{"t.json", "--length", "0"}, "--length takes a whole number from 1 to 2147483647, not \"0\""},
        {{"t.json", "--length", "2147483648"}, "--length takes a whole number from 1 to 2147483647, not \"2147483648\""},
        {{"t.json", "--max-length", "1e6"}, "--max-length takes a whole number from 1 to 2147483647, not \"1e6\""},
        {{"t.json", "--granularity", ""}, "--granularity takes a whole number from 1 to 2147483647, not \"\""},
        {{"t.json", "--clock", "0"}, "--clock takes a ratio above 0, not \"0\""},
        {{"t.json", "--clock", "nan"}, "--clock takes a ratio above 0, not \"nan\""},
        {{"t.json", "--clock", "1e39"}, "--clock takes a ratio above 0, not \"1e39\""},
        {{"t.json", "--type", "11"},
         "--type takes a target type 0 to 10 or its name (" + [] {
             std::string n = CodeNameList(CODE_INSTRUMENT_TYPE);
             for (char& c : n) c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
             return n;
         }() + "), not \"11\""},
        {{"t.json", "--passes", "rf,x"}, "--passes takes rf, i, q, iq separated by commas, or none, not \"rf,x\""},
        {{"t.json", "--passes", "rf,"}, "--passes takes rf, i, q, iq separated by commas, or none, not \"rf,\""},
        {{"t.json", "--center", "-1"}, "--center takes a frequency in MHz above 0, not \"-1\""},
        {{"t.json", "--center", "1000001"}, "--center takes a frequency in MHz above 0, not \"1000001\""},
        {{"t.json", "--iq-format", "cs8"}, "--iq-format takes cf32_le or ci16_le, not \"cs8\""},
        {{"t.json", "--normalize", "-1"}, "--normalize takes auto or a level above 0, not \"-1\""},
        {{"t.json", "--baseband", "both"}, "--baseband takes ref or all, not \"both\""},
        {{"t.json", "--reference", "101"}, "--reference takes a carrier number 1 to 100, not \"101\""},
        {{"t.json", "--ip", "a b"}, "--ip takes a host name or address without spaces or control characters"},
        {{"t.json", "--ip", std::string(256, 'h')},
         "--ip takes a host name or address of 1 to 255 characters, not \"" + std::string(256, 'h') + "\""},
        {{"t.json", "--ftp-user", ""}, "--ftp-user takes a user name of 1 to 128 characters"},
        {{"t.json", "--ftp-user", "a\tb"}, "--ftp-user takes a user name without control characters"},
        {{"t.json", "--ftp-port", "0"}, "--ftp-port takes a port 1 to 65535, not \"0\""},
        {{"t.json", "--report", "xml"}, "--report takes text or json, not \"xml\""},
        {{"t.json", "--png", ""}, "--png needs a folder"},
        {{"t.json", "--timeout", "3601"}, "--timeout takes 0.001 to 3600 seconds, not \"3601\""},
        {{"t.json", "--threads", "65"}, "--threads takes 1 to 64, not \"65\""},
        {{"t.json", "u.json"}, "one table only (\"t.json\" and \"u.json\")"},
        {{"--length", "10"}, "no carrier table given"},
        {{"convert", "a.kvt"}, "convert takes two files: uldoc convert FROM TO"},
        {{"t.json", "--" + std::string(70, 'x')}, "unknown option --" + std::string(70, 'x')},
    };
    for (const auto& [args, message] : cases) {
        Parsed p = Parse(args);
        EXPECT_EQ(p.result, -1) << message;
        EXPECT_EQ(p.error, message);
    }
    Parsed resource = Parse({"t.json", "--instrument", "SERIAL::1"});
    EXPECT_EQ(resource.result, -1);
    EXPECT_EQ(resource.error.rfind("--instrument \"SERIAL::1\": ", 0), 0u) << resource.error;
}

// --help lists the table's options in its order, each help text under its head.
TEST_F(Options, HelpAndReadmeComeFromTheTable) {
    const std::string usage = uldoc_usage;
    EXPECT_EQ(usage, UldocUsageText());
    std::size_t at = 0;
    for (int i = 0; i < uldoc_option_count; ++i) {
        const UldocOption& option = uldoc_options[i];
        std::string head = std::string("\n  ") + (option.short_name ? std::string(option.short_name) + ", " : "") +
                           option.name + (option.argument ? std::string(" ") + option.argument : "");
        std::size_t found = usage.find(head, at);
        ASSERT_NE(found, std::string::npos) << option.name << " is not in --help after its predecessor";
        std::string first_line(option.help, std::strcspn(option.help, "\n"));
        EXPECT_EQ(usage.compare(found + 25, first_line.size(), first_line), 0) << option.name;
        at = found + 1;
        // Every option has an applier, and a value option says what it misses.
        EXPECT_NE(option.apply, nullptr) << option.name;
        EXPECT_EQ(option.argument != nullptr, option.missing != nullptr) << option.name;
    }
    const std::string readme = FileText(std::string(ULDO_SOURCE_DIR) + "/README.md");
    const std::string table = UldocReadmeTable();
    EXPECT_NE(readme.find("\n" + table + "\n"), std::string::npos)
        << "README.md's uldoc option table differs from the options; it should read:\n" << table;
}

TEST_F(Options, OverridesWriteOnlyTheSettingsGiven) {
    GlobalSettings defaults;
    SetUldocDefaults(&defaults);
    GlobalSettings s = defaults;
    Parsed none = Parse({"t.json"});
    ApplyUldocOverrides(&none.options, &s);
    EXPECT_EQ(std::memcmp(&s, &defaults, sizeof s), 0);

    Parsed p = Parse({"t.json", "--mode", "1", "--length", "640", "--clock", "4", "--type", "text-tab", "--max-length",
                      "9000", "--granularity", "8", "--passes", "i,iq", "--normalize", "0.25", "--baseband", "all",
                      "--reference", "3", "--ip", "instrument.example.net", "--ftp-port", "2121", "--center", "7"});
    ASSERT_EQ(p.result, 0) << p.error;
    ApplyUldocOverrides(&p.options, &s);
    EXPECT_EQ(s.compile_mode, 1);
    EXPECT_EQ(s.compile_length, 640);
    EXPECT_EQ(s.sample_clock, 4.0f);
    EXPECT_EQ(s.instrument_type, 10);
    EXPECT_EQ(s.max_record_length, 9000);
    EXPECT_EQ(s.record_granularity, 8);
    EXPECT_EQ(s.output_rf, 0);
    EXPECT_EQ(s.output_baseband_i, 1);
    EXPECT_EQ(s.output_baseband_q, 0);
    EXPECT_EQ(iq_settings.enabled, 1);
    EXPECT_EQ(iq_settings.center_hz, 7e6);
    EXPECT_EQ(s.normalization_mode, 1);
    EXPECT_EQ(s.normalization_level, 0.25f);
    EXPECT_EQ(s.baseband_all_carriers, 1);
    EXPECT_EQ(s.reference_carrier, 3);
    EXPECT_EQ(s.ftp_port, 2121);
    // A host longer than the settings field stays beside it.
    EXPECT_STREQ(ftp.host, "instrument.example.net");
    EXPECT_STREQ(s.instrument_ip, defaults.instrument_ip);
    EXPECT_EQ(s.output_destination, 1);

    // A resource string picks destination 0 unless one is given.
    GlobalSettings t = defaults;
    Parsed resource = Parse({"t.json", "--instrument", "GPIB::7"});
    ApplyUldocOverrides(&resource.options, &t);
    EXPECT_EQ(t.output_destination, 0);
    EXPECT_STREQ(instrument_resource, "GPIB::7");
    t = defaults;
    Parsed to_file = Parse({"t.json", "--instrument", "GPIB::7", "--destination", "file"});
    ApplyUldocOverrides(&to_file.options, &t);
    EXPECT_EQ(t.output_destination, 1);
}

// The readers the subcommands share.
TEST_F(Options, SharedArgumentReaders) {
    long long n = 7;
    EXPECT_EQ(ParseWhole("-12", -12, 12, &n), 0);
    EXPECT_EQ(n, -12);
    for (const char* bad : {"", "13", "1.0", "0x5", "99999999999999999999", "1 "}) {
        EXPECT_EQ(ParseWhole(bad, -12, 12, &n), -1) << bad;
        EXPECT_EQ(n, -12) << bad;
    }
    double x = 0;
    EXPECT_EQ(ParseNumber("2.5e1", 0, 100, &x), 0);
    EXPECT_EQ(x, 25.0);
    for (const char* bad : {"", "inf", "nan", "1e400", "101", "2,5", "3 "}) EXPECT_EQ(ParseNumber(bad, 0, 100, &x), -1) << bad;
    EXPECT_EQ(ParseCodeArgument(CODE_DESTINATION, "ftp"), 3);
    EXPECT_EQ(ParseCodeArgument(CODE_DESTINATION, "2"), 2);
    EXPECT_EQ(ParseCodeArgument(CODE_DESTINATION, "4"), -1);
    EXPECT_EQ(ParseCodeArgument(CODE_DESTINATION, "teleport"), -1);

    struct Split {
        const char* arg;
        const char* name;
        const char* value;
    };
    const Split splits[] = {{"--type=pat", "--type", "pat"}, {"--type", "--type", nullptr}, {"-ox.wfm", "-o", "x.wfm"},
                            {"-o", "-o", nullptr},           {"-", "-", nullptr},           {"table", "", nullptr},
                            {"-q=1", "-q=1", nullptr},       {"--a=b=c", "--a", "b=c"}};
    for (const Split& s : splits) {
        ArgumentOption option;
        ASSERT_EQ(SplitArgument(s.arg, &option), 0) << s.arg;
        EXPECT_STREQ(option.name, s.name) << s.arg;
        EXPECT_STREQ(option.value, s.value) << s.arg;
    }
    ArgumentOption long_one;
    EXPECT_EQ(SplitArgument(("--" + std::string(80, 'n')).c_str(), &long_one), -1);
}

}  // namespace
