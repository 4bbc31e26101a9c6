// uldoc assist against the GUI's assistant: the same core function, so the
// same table byte for byte; and its refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "editors/assistant.h"
#include "editors/tableview_ui.h"
#include "shell/fileforms.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "support/run_uldoc.h"
#include "support/scripted_popups_ui.h"
#include "support/tempdir.h"
#include "support/app_ui.h"

namespace {

class Assist : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        LoadCompilePanels();
        handle3 = LoadPanel(0, "uldo.uir", PANEL_EDITOR);
        handle11 = LoadPanel(0, "uldo.uir", PANEL_ASSISTANT);
        UpdateCarrierTable();
    }

    UldocOutcome Uldoc(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"assist"};
        all.insert(all.end(), args.begin(), args.end());
        return RunUldoc(dir.path().string(), all, dir.File("run"));
    }

    // The comb of the check: 8 QPSK carriers from 10 MHz, 1.5 MHz apart.
    void GuiComb(int random, double step, int shift) {
        SimulateClick(handle, MAIN_ASSISTANT);
        SetCtrlVal(handle11, ASSIST_COUNT, 8);
        SetCtrlVal(handle11, ASSIST_START, 10.0);
        SetCtrlVal(handle11, ASSIST_SPACING, 1.5);
        SetCtrlVal(handle11, ASSIST_PHASE_MODE, random);
        SetCtrlVal(handle11, ASSIST_PHASE_STEP, step);
        SetCtrlVal(handle11, ASSIST_PRBS_SHIFT, shift);
        SetCtrlVal(handle11, CARRIER_MODULATION, MOD_QPSK);
        SimulateCommit(handle11, CARRIER_MODULATION);
        SetCtrlVal(handle11, CARRIER_AMPLITUDE, 1.0);
        SetCtrlVal(handle11, CARRIER_SYMBOL_RATE, 3.84);
        SetCtrlVal(handle11, CARRIER_FILTER, FILTER_SQRT_RCOS);
        SetCtrlVal(handle11, CARRIER_FILTER_PARAM, 0.22);
        SetCtrlVal(handle11, CARRIER_FILTER_LENGTH, 33);
        SetCtrlVal(handle11, CARRIER_WINDOW, 0);
        SetCtrlVal(handle11, CARRIER_DATA_SOURCE, DATA_PRBS);
        SimulateClick(handle11, CARRIER_OK);
    }

    const std::vector<std::string> comb_options = {"--count", "8", "--start", "10", "--spacing", "1.5",
                                                   "--modulation", "QPSK", "--symbol-rate", "3.84",
                                                   "--filter", "SQRT_RCOS", "--filter-param", "0.22",
                                                   "--filter-length", "33"};
    TempDir dir;
    ScriptedPopups popups;
};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(Assist, UldocWritesTheGuisCombByteForByte) {
    GuiComb(0, 45.0, 0);
    ASSERT_EQ(globals.carrier_count, 8);
    ASSERT_EQ(SaveTableForm(dir.File("gui.json").c_str()), 0);
    UldocOutcome r = Uldoc(With(comb_options, {"--phase-step", "45", "-o", "cli.json"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(FileText(dir.File("cli.json")), FileText(dir.File("gui.json")));

    // Random phases and shifted seeds, in the binary form, behind a carrier
    // the editor added.
    ResetRecords();
    ResetAssistantRandom();
    UpdateCarrierTable();
    SimulateClick(handle, MAIN_ADD);
    SetCtrlVal(handle3, CARRIER_MODULATION, MOD_8PSK);
    SimulateCommit(handle3, CARRIER_MODULATION);
    SetCtrlVal(handle3, CARRIER_FREQUENCY, 5.0);
    SetCtrlVal(handle3, CARRIER_SYMBOL_RATE, 1.0);
    SimulateClick(handle3, CARRIER_OK);
    ASSERT_EQ(SaveTableForm(dir.File("one.kvt").c_str()), 0);
    GuiComb(1, 0.0, 7);
    ASSERT_EQ(globals.carrier_count, 9);
    EXPECT_NE(signals[1].prbs_seed_i, signals[2].prbs_seed_i);
    ASSERT_EQ(SaveTableForm(dir.File("gui.kvt").c_str()), 0);
    r = Uldoc(With(comb_options, {"--random-phase", "--prbs-shift", "7", "--append", "one.kvt", "-o", "cli.kvt"}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadBytes(dir.File("cli.kvt")), ReadBytes(dir.File("gui.kvt")));
    EXPECT_NE(r.out.find("9 carriers, 8 of them new"), std::string::npos) << r.out;
}

TEST_F(Assist, TemplateCarrierGivesTheFieldsTheOptionsDoNotSet) {
    const std::string carrier =
        R"({"frequency_hz": 1, "amplitude": 0.5, "modulation": "3GPPSC", "filter_type": "SQRT_RCOS",
            "filter_param": 0.22, "scrambling_code_group": 9, "psch_level_db": -3, "ssch_level_db": -6,
            "impairment1_type": "PHASE", "impairment1_value": 2.5})";
    WriteBytes(dir.File("t.json"), carrier.data(), carrier.size());
    UldocOutcome r = Uldoc({"--count", "3", "--start", "20", "--spacing", "5", "--template", "t.json",
                            "--symbol-rate", "3.84", "-o", "comb.json"});
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(LoadTableForm(dir.File("comb.json").c_str()), 3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(signals[k].frequency_hz, 1e6f * (20 + 5 * k));
        EXPECT_EQ(signals[k].modulation, MOD_3GPPSC);
        EXPECT_EQ(signals[k].amplitude, 0.5f);
        EXPECT_EQ(signals[k].symbol_rate, 3.84e6f);
        EXPECT_EQ(signals[k].filter_length, 33);  // the reader's default for a shaped carrier
        EXPECT_EQ(signals[k].scrambling_code_group, 9);
        EXPECT_EQ(signals[k].ssch_level_db, -6.0f);
        EXPECT_EQ(signals[k].impairment1_type, IMPAIRMENT_PHASE);
        EXPECT_EQ(signals[k].impairment1_value, 2.5f);
    }
}

TEST_F(Assist, RefusalsNameTheOptionAndWriteNothing) {
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* reason;
    } cases[] = {
        {{"--count", "0", "--start", "1", "--spacing", "1", "-o", "x.json"}, 2, "--count takes 1 to 100"},
        {{"--start", "1", "--spacing", "1", "-o", "x.json"}, 2, "--count, --start and --spacing are needed"},
        {{"--count", "2", "--start", "1", "--spacing", "1"}, 2, "no output table"},
        {{"--count", "2", "--start", "-1", "--spacing", "1", "-o", "x.json"}, 2, "--start takes MHz from 0"},
        {{"--count", "2", "--start", "1", "--spacing", "1", "--modulation", "QPSX", "-o", "x.json"}, 2,
         "--modulation takes a modulation (NONE, QPSK"},
        {{"--count", "2", "--start", "1", "--spacing", "1", "--spreading-factor", "12", "-o", "x.json"}, 2,
         "a power of two"},
        {{"--count", "2", "--start", "1", "--spacing", "1", "--random-phase", "--phase-step", "3", "-o", "x.json"},
         2, "exclude each other"},
        {{"--count", "2", "--start", "1", "--spacing", "1", "--bogus", "1", "-o", "x.json"}, 2, "unknown option --bogus"},
        {{"--count", "2", "--start", "1", "--spacing", "1", "--data-file", std::string(230, 'd'), "-o", "x.json"}, 2,
         "data file name has 230 characters"},
        {{"--count", "2", "--start", "1", "--spacing", "1", "--append", "missing.kvt", "-o", "x.json"}, 1,
         "missing.kvt"},
        {{"--count", "2", "--start", "1", "--spacing", "1", "--template", "missing.json", "-o", "x.json"}, 1,
         "missing.json"},
    };
    for (const Case& c : cases) {
        UldocOutcome r = Uldoc(c.args);
        EXPECT_EQ(r.code, c.code) << c.reason << "\n" << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.File("x.json"))) << c.reason;
    }

    // A comb that does not fit is refused whole.
    ASSERT_EQ(Uldoc({"--count", "99", "--start", "1", "--spacing", "1", "-o", "big.kvt"}).code, 0);
    UldocOutcome r = Uldoc({"--count", "2", "--start", "1", "--spacing", "1", "--append", "big.kvt", "-o", "x.json"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("1 of the 2 do not fit"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.json")));
}

// The README lists the options uldoc assist --help lists.
TEST_F(Assist, ReadmeListsTheHelpOptions) {
    auto options_in = [](const std::string& text) {
        std::vector<std::string> names;
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? text.size() : end + 1;
            if (line.rfind("  -", 0) != 0) continue;
            std::string head = line.substr(0, 24);
            for (std::size_t i = head.find('-'); i != std::string::npos; i = head.find(" -", i + 1)) {
                if (head[i] == ' ') ++i;
                names.push_back(head.substr(i, head.find_first_of(" ,", i) - i));
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    UldocOutcome help = Uldoc({"--help"});
    ASSERT_EQ(help.code, 0);
    std::string readme = FileText(std::string(ULDO_SOURCE_DIR) + "/README.md");
    std::size_t from = readme.find("### The carrier assistant: `uldoc assist`");
    ASSERT_NE(from, std::string::npos);
    std::string section = readme.substr(from, readme.find("\n### ", from + 1) - from);
    std::vector<std::string> documented = options_in(section), listed = options_in(help.out);
    EXPECT_GT(listed.size(), 25u);
    EXPECT_EQ(documented, listed);
}

}  // namespace
