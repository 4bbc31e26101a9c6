// uldoc's complex-baseband pass and SigMF recordings as their readers see
// them: the metadata against the SigMF schema (tests/compile/data), the data
// through numpy.fromfile, the carriers where the annotations put them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/run_uldoc.h"

namespace {

const std::string kSource = ULDO_SOURCE_DIR;
const std::string kMixed = kSource + "/examples/mixed.json";
const char* const kPython = "/usr/bin/python3";

bool PythonHas(const char* modules) {
    std::string command = std::string(kPython) + " -c 'import " + modules + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

class UldocIq : public ::testing::Test {
protected:
    UldocOutcome Run(const std::vector<std::string>& args) {
        std::filesystem::create_directories(dir.path() / "out");
        return RunUldoc(dir.path().string(), args, dir.File("uldoc"));
    }
    // check_sigmf.py's findings, or null when it failed.
    nlohmann::json Check(const std::string& name, const std::string& rf_name = "") {
        std::string command = std::string(kPython) + " " + ShellQuoted(kSource + "/tests/compile/data/check_sigmf.py") +
                              " " + ShellQuoted(kSource + "/tests/compile/data/sigmf-meta.schema.json") + " " +
                              ShellQuoted(dir.File(name));
        if (!rf_name.empty()) command += " " + ShellQuoted(dir.File(rf_name));
        command += " >" + ShellQuoted(dir.File("check.out")) + " 2>&1";
        int status = std::system(command.c_str());
        std::string text = FileText(dir.File("check.out"));
        EXPECT_EQ(status, 0) << text;
        if (status != 0) return nullptr;
        return nlohmann::json::parse(text);
    }
    TempDir dir;
};

// The recording of the mixed example centred on 26.5 MHz.
TEST_F(UldocIq, SigmfRecordingOfTheMixedTable) {
    if (!PythonHas("numpy, jsonschema")) GTEST_SKIP() << "python3-numpy and python3-jsonschema (tools/deps.sh)";
    UldocOutcome r = Run({kMixed, "--passes", "iq", "--center", "26.5", "--sigmf", "-o", "out/mixed"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("written        out/mixed.sigmf-data (800000 bytes)\n               out/mixed.sigmf-meta\n"),
              std::string::npos)
        << r.out;
    nlohmann::json meta = nlohmann::json::parse(FileText(dir.File("out/mixed.sigmf-meta")));
    EXPECT_EQ(meta["global"]["core:datatype"], "cf32_le");
    EXPECT_EQ(meta["global"]["core:description"], "Mixed table: QPSK, 8-PSK, GMSK, 2-FSK, AM tone, unmodulated");
    EXPECT_EQ(meta["global"]["core:recorder"].get<std::string>().rfind("uldoc ", 0), 0u);
    const double fs = meta["global"]["core:sample_rate"];
    const double f0 = meta["captures"][0]["core:frequency"];
    EXPECT_NEAR(f0, 26.5e6, fs / 100000 / 2);  // the grid of a 100,000-sample record
    ASSERT_EQ(meta["annotations"].size(), 6u);
    const char* const kinds[] = {"QPSK", "8PSK", "GMSK", "2FSK", "AM", "NONE"};
    for (int k = 0; k < 6; ++k) {
        const nlohmann::json& a = meta["annotations"][k];
        EXPECT_EQ(a["core:label"], "carrier " + std::to_string(k + 1) + " " + kinds[k]);
        EXPECT_EQ(a["core:sample_count"], 100000);
        EXPECT_LE(a["core:freq_lower_edge"].get<double>(), a["core:freq_upper_edge"].get<double>());
        EXPECT_NE(a["core:comment"].get<std::string>().find(" dBm"), std::string::npos) << a["core:comment"];
    }
    EXPECT_EQ(meta["annotations"][0]["core:comment"],
              "QPSK, 3.839577 Msym/s, filter SQRT_RCOS 0.22 over 17 symbols, -1.336 dBm");

    nlohmann::json found = Check("out/mixed");
    ASSERT_FALSE(found.is_null());
    EXPECT_EQ(found["samples"], 100000);
    // Each carrier's power lies in its annotated band; together they are the whole record.
    double total = 0.0;
    for (int k = 0; k < 6; ++k) {
        EXPECT_GT(found["shares"][k].get<double>(), 0.01) << kinds[k];
        total += found["shares"][k].get<double>();
    }
    EXPECT_GT(total, 0.995);
    // It loops without a seam: the step from the last sample to the first is a step like the others.
    EXPECT_LE(found["seam"].get<double>(), found["largest_step"].get<double>());
}

// With the RF pass, both recordings; shifted back up, the complex record is the RF one.
TEST_F(UldocIq, ComplexRecordShiftedBackIsTheRfRecording) {
    if (!PythonHas("numpy, jsonschema")) GTEST_SKIP() << "python3-numpy and python3-jsonschema (tools/deps.sh)";
    struct Case {
        const char* format;
        double tolerance;  // both records rounded to their format
    };
    for (const Case c : {Case{"cf32_le", 1e-6}, Case{"ci16_le", 1e-4}}) {
        UldocOutcome r = Run({kMixed, "--length", "20000", "--passes", "rf,iq", "--iq-format", c.format, "--sigmf",
                              "-o", "out/both.sigmf-data", "--report", "json"});
        ASSERT_EQ(r.code, 0) << r.err;
        nlohmann::json report = nlohmann::json::parse(r.out);
        EXPECT_EQ(report["record_ccdf"]["rf"]["record"], "RF record");
        EXPECT_EQ(report["record_ccdf"]["iq"]["record"], "I/Q record");
        EXPECT_GT(report["record_ccdf"]["rf"]["peak_to_average_db"].get<double>(), 0.0);
        EXPECT_EQ(report["iq"]["datatype"], c.format);
        nlohmann::json rf_meta = nlohmann::json::parse(FileText(dir.File("out/both_RF.sigmf-meta")));
        EXPECT_EQ(rf_meta["global"]["core:datatype"], c.format[1] == 'f' ? "rf32_le" : "ri16_le");
        EXPECT_EQ(rf_meta["captures"][0]["core:frequency"], 0.0);
        nlohmann::json found = Check("out/both", "out/both_RF");
        ASSERT_FALSE(found.is_null());
        EXPECT_LT(found["shift_error"].get<double>(), c.tolerance) << c.format;
    }
}

TEST_F(UldocIq, NamesBesideTheRfFileAndRefusals) {
    UldocOutcome r = Run({kMixed, "--length", "20000", "--passes", "rf,iq", "-o", "out/w.wfm"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "out/w.cf32"), 8u * 20000);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "out/w.wfm"));
    r = Run({kMixed, "--length", "20000", "--passes", "iq", "-o", "out/only.ci16"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "out/only.ci16"), 4u * 20000);

    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        {{"--passes", "i,iq", "--sigmf"}, "--sigmf records the rf and iq passes"},
        {{"--passes", "iq", "--destination", "gpib-file"}, "the iq pass writes a file (--destination file)"},
        {{"--passes", "rf,iq", "-o", "out/x.cf32"}, "names the iq record"},
        {{"--passes", "iq", "--iq-format", "cs8"}, "--iq-format takes cf32_le or ci16_le"},
        {{"--passes", "iq", "--center", "-3"}, "--center takes a frequency in MHz above 0"},
        {{"--passes", "none", "--sigmf"}, "--sigmf records the rf or the iq pass"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {kMixed};
        args.insert(args.end(), c.args.begin(), c.args.end());
        UldocOutcome refused = Run(args);
        EXPECT_EQ(refused.code, 2) << c.error;
        EXPECT_NE(refused.err.find(c.error), std::string::npos) << refused.err;
    }
}

}  // namespace
