// The PRBS assistant and the symbol-map editor driven through the event seam
// from the carrier editor, the carrier assistant and the menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <string>
#include <vector>

#include "editors/assistant.h"
#include "editors/editors_ui.h"
#include "editors/tableview_ui.h"
#include "maps/maps.h"
#include "maps/mapspanels_ui.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "support/run_uldoc.h"
#include "support/scripted_popups_ui.h"
#include "support/tempdir.h"
#include "support/app_ui.h"
#include <QFontInfo>
#include <QWidget>

#include "shell/widgets_ui.h"

namespace {

int Dimmed(int panel, int control) {
    int d = -1;
    GetCtrlAttribute(panel, control, ATTR_DIMMED, &d);
    return d;
}

int PanelDimmed(int panel) {
    int d = -1;
    GetPanelAttribute(panel, ATTR_DIMMED, &d);
    return d;
}

std::string Text(int panel, int control) {
    char text[256] = "";
    GetCtrlVal(panel, control, text, sizeof text);
    return text;
}

int IntVal(int panel, int control) {
    int v = -12345;
    GetCtrlVal(panel, control, &v);
    return v;
}

int Stage(int k) {
    int v = -1;
    GetCtrlVal(handle13, PRBS_STAGE1 + k - 1, &v);
    return v;
}

class Prbs : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        LoadCompilePanels();
        handle3 = LoadPanel(0, "uldo.uir", PANEL_EDITOR);
        handle11 = LoadPanel(0, "uldo.uir", PANEL_ASSISTANT);
        handle13 = LoadPanel(0, "uldo.uir", PANEL_PRBS);
        handle30 = LoadPanel(0, "uldo.uir", PANEL_IMPAIRMENTS);
        handle18 = LoadPanel(0, "uldo.uir", PANEL_MAP_EDITOR);
        handle20 = LoadPanel(0, "uldo.uir", PANEL_POINT_EDITOR);
        handle21 = LoadPanel(0, "uldo.uir", PANEL_MAP_QAM);
        handle22 = LoadPanel(0, "uldo.uir", PANEL_MAP_OFFSET);
        handle23 = LoadPanel(0, "uldo.uir", PANEL_MAP_ROTATION);
        handle24 = LoadPanel(0, "uldo.uir", PANEL_MAP_SCALE);
        ASSERT_GT(handle13, 0);
        ASSERT_GT(handle18, 0);
        ASSERT_GT(handle20, 0);
        UpdateCarrierTable();
    }

    // Opens the editor on a new carrier with a PRBS source.
    void OpenNewCarrier() {
        SimulateClick(handle, MAIN_ADD);
        ASSERT_TRUE(IsPanelVisible(handle3));
        SetCtrlVal(handle3, CARRIER_MODULATION, MOD_QPSK);
        SimulateCommit(handle3, CARRIER_MODULATION);
        SetCtrlVal(handle3, CARRIER_DATA_SOURCE, DATA_PRBS);
        SimulateCommit(handle3, CARRIER_DATA_SOURCE);
        ASSERT_EQ(Dimmed(handle3, CARRIER_PRBS), 0);
    }

    // From the menu: QAM32 turned by 45 degrees, scaled 200 % / 50 %, in
    // alternate rotation by 30 degrees, saved under path.
    void SaveTurnedQam32(const std::string& path) {
        SimulateMenuItem(handle0, MENU_MAP_EDITOR);
        SimulateClick(handle18, MAP_QAM);
        SetCtrlVal(handle21, MAP_QAM_CODE, MOD_QAM32);
        SimulateClick(handle21, MAP_QAM_OK);
        SimulateClick(handle18, MAP_ROTATE);
        SetCtrlVal(handle23, MAP_ROTATE_ANGLE, 45.0);
        SimulateClick(handle23, MAP_ROTATE_OK);
        SimulateClick(handle18, MAP_SCALE);
        SetCtrlVal(handle24, MAP_DIALOG_VALUE1, 200.0);
        SetCtrlVal(handle24, MAP_DIALOG_VALUE2, 50.0);
        SimulateClick(handle24, MAP_DIALOG_OK);
        SetCtrlVal(handle18, MAP_ROTATION_MODE, 2);
        SetCtrlVal(handle18, MAP_ROTATION_STEP, 30.0);
        popups.file_answers.push_back({path, VAL_NEW_FILE_SELECTED});
        SimulateClick(handle18, MAP_SAVE);
    }

    ScriptedPopups popups;
};

TEST_F(Prbs, EditorDefaultsTypedPolynomialAndStages) {
    OpenNewCarrier();
    SimulateClick(handle3, CARRIER_PRBS);
    ASSERT_TRUE(IsPanelVisible(handle13));
    EXPECT_EQ(PanelDimmed(handle3), 1);
    EXPECT_EQ(Text(handle13, PRBS_POLY_I), "X31+X30+1");
    EXPECT_EQ(Text(handle13, PRBS_POLY_Q), "X31+X30+1");
    EXPECT_EQ(Dimmed(handle13, PRBS_POLY_Q), 1);  // I/Q equal
    std::string on;
    for (int k = 1; k <= 31; ++k) on += Stage(k) ? '1' : '0';
    EXPECT_EQ(on, "1111111011011100101110101001100");
    EXPECT_EQ(Dimmed(handle13, PRBS_STAGE1 + 30), 0);  // degree 31: every stage in use

    // Q apart, a typed polynomial and two stages changed.
    SimulateCommit(handle13, PRBS_IQ_EQUAL);  // a click: the tick goes
    EXPECT_EQ(Dimmed(handle13, PRBS_POLY_Q), 0);
    SetCtrlVal(handle13, PRBS_POLY_I, "x7 + x6 + 1");
    SetCtrlVal(handle13, PRBS_POLY_Q, "X31+X28+1");
    SetCtrlVal(handle13, PRBS_STAGE1, 0);
    SetCtrlVal(handle13, PRBS_STAGE1 + 30, 1);
    SimulateClick(handle13, PRBS_APPLY);
    const Carrier& c = signals[globals.current_carrier];
    EXPECT_EQ(c.prbs_poly_i, (1u << 24) | (1u << 25));
    EXPECT_EQ(c.prbs_poly_q, 9u);
    EXPECT_EQ(c.prbs_seed_i, (0xFEDCBA98u & ~0x80000000u) | 2u);
    EXPECT_EQ(c.prbs_iq_equal, 0);
    EXPECT_EQ(map_editor.polynomial, c.prbs_poly_i);
    EXPECT_EQ(map_editor.seed, c.prbs_seed_i);
    // Shown again: the text form and the stages beyond degree 7 marked.
    EXPECT_EQ(Text(handle13, PRBS_POLY_I), "X7+X6+1");
    EXPECT_EQ(Dimmed(handle13, PRBS_STAGE1 + 6), 0);
    EXPECT_EQ(Dimmed(handle13, PRBS_STAGE1 + 7), 1);

    // A text that does not parse is reported and stores nothing; the panel stays.
    SetCtrlVal(handle13, PRBS_POLY_I, "X5+Y");
    SimulateClick(handle13, PRBS_OK);
    EXPECT_EQ(popups.Last(ScriptedPopups::MESSAGE), "Polinomium Parsing Error");
    EXPECT_TRUE(IsPanelVisible(handle13));
    EXPECT_EQ(c.prbs_poly_i, (1u << 24) | (1u << 25));

    SimulateClick(handle13, PRBS_DEFAULT);
    EXPECT_EQ(c.prbs_poly_i, 3u);
    EXPECT_EQ(c.prbs_seed_i, 0xFEDCBA98u);
    EXPECT_EQ(Text(handle13, PRBS_POLY_I), "X31+X30+1");
    SimulateClick(handle13, PRBS_OK);
    EXPECT_FALSE(IsPanelVisible(handle13));
    EXPECT_EQ(PanelDimmed(handle3), 0);
    EXPECT_EQ(c.prbs_seed_i, 0xFEDCBA98u & ~1u);  // bit 0 is not a stage
}

TEST_F(Prbs, CancelKeepsTheRecord) {
    OpenNewCarrier();
    SimulateClick(handle3, CARRIER_PRBS);
    SetCtrlVal(handle13, PRBS_POLY_I, "X9+X5+1");
    SimulateClick(handle13, PRBS_CANCEL);
    EXPECT_FALSE(IsPanelVisible(handle13));
    EXPECT_EQ(PanelDimmed(handle3), 0);
    EXPECT_EQ(signals[globals.current_carrier].prbs_poly_i, 3u);
}

TEST_F(Prbs, AssistantSetsTheSharedSeedOnly) {
    // A carrier in the table must not take the assistant's settings.
    SetQpskCarrier(0, 1e6f, 1e5f);
    signals[0].prbs_poly_i = 9;
    globals.carrier_count = 1;
    globals.current_carrier = 0;
    SimulateClick(handle, MAIN_ASSISTANT);
    ASSERT_TRUE(IsPanelVisible(handle11));
    SetCtrlVal(handle11, CARRIER_MODULATION, MOD_QPSK);
    SimulateCommit(handle11, CARRIER_MODULATION);
    SetCtrlVal(handle11, CARRIER_DATA_SOURCE, DATA_PRBS);
    SimulateCommit(handle11, CARRIER_DATA_SOURCE);
    SimulateClick(handle11, CARRIER_PRBS);
    ASSERT_TRUE(IsPanelVisible(handle13));
    EXPECT_EQ(Text(handle13, PRBS_POLY_I), "X31+X30+1");
    SetCtrlVal(handle13, PRBS_POLY_I, "X7+X6+1");
    SimulateClick(handle13, PRBS_OK);
    EXPECT_FALSE(IsPanelVisible(handle13));
    EXPECT_EQ(map_editor.polynomial, (1u << 24) | (1u << 25));
    EXPECT_EQ(map_editor.seed, 0xFEDCBA98u & ~1u);
    EXPECT_EQ(signals[0].prbs_poly_i, 9u);
    EXPECT_EQ(PanelDimmed(handle11), 0);
}

using Maps = Prbs;

int Rows() {
    int n = -1;
    GetNumListItems(handle18, MAP_LIST, &n);
    return n;
}

std::string Row(int index) {
    char text[256] = "";
    GetLabelFromIndex(handle18, MAP_LIST, index, text, sizeof text);
    return text;
}

double Num(int panel, int control) {
    double v = -12345;
    GetCtrlVal(panel, control, &v);
    return v;
}

TEST_F(Maps, EditorOnFile3CarrierQamRotateScaleSaveLoad) {
    TempDir dir;
    OpenNewCarrier();
    SetCtrlVal(handle3, CARRIER_MODULATION, MOD_FILE3);
    SimulateCommit(handle3, CARRIER_MODULATION);
    ASSERT_EQ(Dimmed(handle3, CARRIER_MAP_EDITOR), 0);
    SimulateClick(handle3, CARRIER_MAP_EDITOR);
    ASSERT_TRUE(IsPanelVisible(handle18));
    EXPECT_EQ(PanelDimmed(handle3), 1);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Dimmed(handle18, MAP_PREVIEW), 0);

    SimulateClick(handle18, MAP_QAM);
    EXPECT_EQ(PanelDimmed(handle18), 1);
    SetCtrlVal(handle21, MAP_QAM_CODE, MOD_QAM32);
    SimulateClick(handle21, MAP_QAM_OK);
    EXPECT_FALSE(IsPanelVisible(handle21));
    EXPECT_EQ(PanelDimmed(handle18), 0);
    ASSERT_EQ(Rows(), 32);
    EXPECT_EQ(Row(0), "    0 |  -1.500000  |  -2.500000  |   2.915476  |  -120.964  ");
    // The heading's separators stand over the rows', in the rows' font.
    std::string head = Text(handle18, MAP_HEADING), row = Row(0);
    for (size_t at = row.find('|'); at != std::string::npos; at = row.find('|', at + 1))
        EXPECT_EQ(head[at], '|') << head << "\n" << row;
    EXPECT_EQ(std::count(head.begin(), head.end(), '|'), std::count(row.begin(), row.end(), '|'));
    EXPECT_TRUE(QFontInfo(CtrlWidget(handle18, MAP_HEADING)->font()).fixedPitch());
    EXPECT_EQ(Num(handle18, MAP_COUNT), 32);

    SimulateClick(handle18, MAP_ROTATE);
    SetCtrlVal(handle23, MAP_ROTATE_ANGLE, 45.0);
    SimulateClick(handle23, MAP_ROTATE_OK);
    SimulateClick(handle18, MAP_SCALE);
    SetCtrlVal(handle24, MAP_DIALOG_VALUE1, 200.0);
    SetCtrlVal(handle24, MAP_DIALOG_VALUE2, 50.0);
    SimulateClick(handle24, MAP_DIALOG_OK);
    // A cancelled offset changes nothing.
    SimulateClick(handle18, MAP_OFFSET);
    SetCtrlVal(handle22, MAP_DIALOG_VALUE1, 5.0);
    SimulateClick(handle22, MAP_DIALOG_CANCEL);
    const double r = std::sqrt(0.5);
    EXPECT_NEAR(map.point_i[0], 2 * r * (-1.5 + 2.5), 1e-5);
    EXPECT_NEAR(map.point_q[0], 0.5 * r * (-1.5 - 2.5), 1e-5);

    // Save with the header the editor shows, then load it back.
    SetCtrlVal(handle18, MAP_NAME, "qam32 turned");
    SetCtrlVal(handle18, MAP_OFFSET_Q, 1);
    SetCtrlVal(handle18, MAP_ROTATION_MODE, 1);
    SetCtrlVal(handle18, MAP_ROTATION_STEP, 90.0);
    std::string path = dir.File("q32.smp");
    popups.file_answers.push_back({path, VAL_NEW_FILE_SELECTED});
    SimulateClick(handle18, MAP_SAVE);
    EXPECT_EQ(Text(handle3, CARRIER_MAP_FILE), path);
    std::vector<char> bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 8568u);
    EXPECT_EQ(std::memcmp(bytes.data(), &map, sizeof map), 0);
    EXPECT_EQ(map.offset_q, 1);
    EXPECT_NEAR(map.rotation_step, PI_DOUBLE / 2, 1e-6);

    ClearMap();
    UpdateSymbolMapTable();
    popups.file_answers.push_back({path, VAL_EXISTING_FILE_SELECTED});
    SimulateClick(handle18, MAP_LOAD);
    EXPECT_EQ(std::memcmp(bytes.data(), &map, sizeof map), 0);
    EXPECT_EQ(Rows(), 32);
    EXPECT_EQ(map_editor.next_point, 32);
    EXPECT_EQ(IntVal(handle18, MAP_OFFSET_Q), 1);
    EXPECT_EQ(Text(handle18, MAP_NAME), "qam32 turned");

    SimulateClick(handle18, MAP_CLOSE);
    EXPECT_FALSE(IsPanelVisible(handle18));
    EXPECT_EQ(PanelDimmed(handle3), 0);

    // Reopened from the carrier: the map is read from its file.
    ClearMap();
    SimulateClick(handle3, CARRIER_MAP_EDITOR);
    EXPECT_EQ(Rows(), 32);
    EXPECT_EQ(std::memcmp(bytes.data(), &map, sizeof map), 0);
}

TEST_F(Maps, PointEditorAddEditDelete) {
    SimulateMenuItem(handle0, MENU_MAP_EDITOR);
    ASSERT_TRUE(IsPanelVisible(handle18));
    EXPECT_EQ(brhandle, 0);
    SimulateClick(handle18, MAP_DELETE);  // empty map: nothing
    EXPECT_EQ(map.num_points, 0);

    SimulateClick(handle18, MAP_ADD);
    ASSERT_TRUE(IsPanelVisible(handle20));
    EXPECT_EQ(IntVal(handle20, POINT_NUMBER), 0);
    SetCtrlVal(handle20, POINT_MAGNITUDE, 2.0);
    SetCtrlVal(handle20, POINT_PHASE, 90.0);
    SimulateCommit(handle20, POINT_PHASE);
    EXPECT_NEAR(Num(handle20, POINT_I), 0, 1e-9);
    EXPECT_NEAR(Num(handle20, POINT_Q), 2, 1e-9);
    SetCtrlVal(handle20, POINT_I, -1.0);
    SetCtrlVal(handle20, POINT_Q, 1.0);
    SimulateCommit(handle20, POINT_Q);
    EXPECT_NEAR(Num(handle20, POINT_MAGNITUDE), std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(Num(handle20, POINT_PHASE), 135, 1e-9);
    SimulateClick(handle20, POINT_OK);
    EXPECT_FALSE(IsPanelVisible(handle20));
    EXPECT_EQ(map.num_points, 1);
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Row(0), "    0 |  -1.000000  |  +1.000000  |   1.414214  |  +135.000  ");

    for (double i : {1.0, 2.0, 3.0}) {
        SimulateClick(handle18, MAP_ADD);
        SetCtrlVal(handle20, POINT_I, i);
        SimulateClick(handle20, POINT_OK);
    }
    EXPECT_EQ(map.num_points, 4);
    SimulateListDoubleClick(handle18, MAP_LIST, 2);
    EXPECT_EQ(IntVal(handle20, POINT_NUMBER), 2);
    EXPECT_EQ(Num(handle20, POINT_I), 2.0);
    SetCtrlVal(handle20, POINT_Q, -4.0);
    SimulateClick(handle20, POINT_OK);
    EXPECT_EQ(map.num_points, 4);
    EXPECT_EQ(map.point_q[2], -4.0f);

    SetCtrlIndex(handle18, MAP_LIST, 0);
    SimulateClick(handle18, MAP_DELETE);
    EXPECT_EQ(map.num_points, 3);
    EXPECT_EQ(map.point_i[0], 1.0f);
    EXPECT_EQ(map.point_q[1], -4.0f);
    EXPECT_EQ(Rows(), 3);
}

TEST_F(Maps, FileErrorsLeaveTheMap) {
    TempDir dir;
    MapQam(MOD_QPSK);
    SymbolMap before = map;
    std::vector<char> half(4000, 0);
    WriteBytes(dir.File("short.smp"), half.data(), half.size());

    // From the assistant, with a map file that is too short.
    SimulateClick(handle, MAIN_ASSISTANT);
    SetCtrlVal(handle11, CARRIER_MODULATION, MOD_FILE3);
    SimulateCommit(handle11, CARRIER_MODULATION);
    SetCtrlVal(handle11, CARRIER_MAP_FILE, dir.File("short.smp").c_str());
    SimulateClick(handle11, CARRIER_MAP_EDITOR);
    ASSERT_TRUE(IsPanelVisible(handle18));
    EXPECT_EQ(PanelDimmed(handle11), 1);
    EXPECT_EQ(popups.Last(ScriptedPopups::MESSAGE), "File Opening Error (9)\n" + dir.File("short.smp") +
                                                       ": the file is shorter than the 8568 bytes of a symbol map");
    EXPECT_EQ(std::memcmp(&before, &map, sizeof map), 0);
    EXPECT_EQ(Rows(), 4);

    popups.file_answers.push_back({dir.File("short.smp"), VAL_EXISTING_FILE_SELECTED});
    SimulateClick(handle18, MAP_LOAD);
    EXPECT_EQ(popups.Last(ScriptedPopups::MESSAGE).rfind("File Opening Error (10)\n", 0), 0u);
    EXPECT_EQ(std::memcmp(&before, &map, sizeof map), 0);

    popups.file_answers.push_back({dir.File("none/x.smp"), VAL_NEW_FILE_SELECTED});
    SimulateClick(handle18, MAP_SAVE);
    EXPECT_EQ(popups.Last(ScriptedPopups::MESSAGE).rfind("File Opening Error (11)\n", 0), 0u);

    // A count beyond the record's 1024 points, typed in: refused before any
    // file dialog, the map unchanged and the count shown as it was.
    SetCtrlVal(handle18, MAP_COUNT, 2000);
    const size_t dialogs = popups.file_answers.size();
    SimulateClick(handle18, MAP_SAVE);
    EXPECT_EQ(popups.Last(ScriptedPopups::MESSAGE).rfind("Number of Points 2000 is refused", 0), 0u);
    EXPECT_EQ(popups.file_answers.size(), dialogs);
    EXPECT_EQ(std::memcmp(&before, &map, sizeof map), 0);
    EXPECT_EQ(Num(handle18, MAP_COUNT), 4);
    EXPECT_EQ(Text(handle11, CARRIER_MAP_FILE), "");
}

// uldoc map runs the dialogs' operations: the same image as the editor's.
TEST_F(Maps, UldocMapEqualsTheEditorsMap) {
    TempDir dir;
    SaveTurnedQam32(dir.File("gui.smp"));

    UldocOutcome r = RunUldoc(dir.path().string(), {"map", "--qam", "3", "--rotate", "45", "--scale", "200,50",
                                                    "--rotation-mode", "2", "--rotation-step", "30", "-o", "cli.smp"},
                              dir.File("run"));
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<char> gui = ReadBytes(dir.File("gui.smp")), cli = ReadBytes(dir.File("cli.smp"));
    ASSERT_EQ(gui.size(), 8568u);
    EXPECT_TRUE(gui == cli);

    r = RunUldoc(dir.path().string(), {"map", "--qam", "7", "-o", "x.smp"}, dir.File("bad"));
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--qam takes 11, 1, 2, 3, 4, 9 or 5, not \"7\""), std::string::npos) << r.err;
}

void WriteString(const std::string& path, const std::string& text) { WriteBytes(path, text.data(), text.size()); }

std::vector<std::complex<float>> ReadCf32(const std::string& path) {
    std::vector<char> bytes = ReadBytes(path);
    std::vector<std::complex<float>> samples(bytes.size() / sizeof(std::complex<float>));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof samples[0]);
    return samples;
}

// End to end: the editor's map and a typed polynomial, compiled by uldoc into
// an I/Q record and read back at the symbol centres (unfiltered carriers at
// 25 samples per symbol, centred on the carrier).
TEST_F(Maps, EditorMapAndTypedPolynomialCompile) {
    TempDir dir;
    SaveTurnedQam32(dir.File("q32.smp"));
    const SymbolMap saved = map;

    WriteString(dir.File("t.json"),
                R"({"format": "V1.0", "carriers": [{"frequency_hz": 10e6, "amplitude": 1, "symbol_rate": 1e6,)"
                R"( "modulation": "FILE 3", "filter_type": "NONE", "filter_length": 1, "mod_file": "q32.smp"}]})");
    UldocOutcome r = RunUldoc(dir.path().string(), {"t.json", "--length", "4000", "--passes", "iq", "-o", "t.wfm"},
                              dir.File("map"));
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::complex<float>> s = ReadCf32(dir.File("t.cf32"));
    ASSERT_EQ(s.size(), 4000u);
    float peak_record = 0, peak_map = 0;
    for (auto x : s) peak_record = std::max(peak_record, std::abs(x));
    for (int i = 0; i < saved.num_points; ++i)
        peak_map = std::max(peak_map, std::abs(std::complex<float>(saved.point_i[i], saved.point_q[i])));
    const float gain = peak_record / peak_map;
    // Every symbol is a point of the map; alternate mode turns every other
    // one by the 30 degree step (clockwise here, as Q goes out negated).
    const std::complex<float> turn = std::polar(1.0f, static_cast<float>(-30 * PI_DOUBLE / 180));
    bool seen[MAX_MAP_POINTS] = {};
    int previous_kind = -1;
    for (int k = 1; k < 159; ++k) {
        const std::complex<float> x = s[25 * k + 12] / gain;
        int kind = -1;
        for (int turned = 0; turned < 2 && kind < 0; ++turned)
            for (int i = 0; i < saved.num_points; ++i) {
                std::complex<float> p(saved.point_i[i], saved.point_q[i]);
                if (std::abs(x - (turned ? p * turn : p)) < 1e-4f) {
                    kind = turned;
                    seen[i] = true;
                    break;
                }
            }
        ASSERT_GE(kind, 0) << "symbol " << k << " is no point of the map: " << x;
        if (previous_kind >= 0) EXPECT_NE(kind, previous_kind) << "symbol " << k;
        previous_kind = kind;
    }
    EXPECT_GE(std::count(std::begin(seen), std::end(seen), true), 28);

    // The polynomial typed as text: BPSK bits follow x^7 + x^6 + 1, a
    // sequence of period 127 with b[n] = b[n-6] ^ b[n-7].
    WriteString(dir.File("p.json"),
                R"({"format": "V1.0", "carriers": [{"frequency_hz": 10e6, "amplitude": 1, "symbol_rate": 1e6,)"
                R"( "modulation": "BPSK", "filter_type": "NONE", "filter_length": 1, "prbs_poly_i": "x7 + x6 + 1"}]})");
    r = RunUldoc(dir.path().string(), {"p.json", "--length", "10000", "--passes", "iq", "-o", "p.wfm"},
                 dir.File("prbs"));
    ASSERT_EQ(r.code, 0) << r.err;
    s = ReadCf32(dir.File("p.cf32"));
    ASSERT_EQ(s.size(), 10000u);
    std::vector<int> b;
    for (int k = 0; k < 400; ++k) b.push_back(s[25 * k + 12].real() > 0);
    for (int n = 7; n < 400; ++n) ASSERT_EQ(b[n], b[n - 6] ^ b[n - 7]) << "bit " << n;
    EXPECT_NE(std::count(b.begin(), b.end(), 1), 0);
}

}  // namespace
