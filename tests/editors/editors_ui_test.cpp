// The carrier editor, its rules, the impairments editor, the assistant and the
// option dialogs, driven through the event seam as a user drives them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "editors/assistant.h"
#include "editors/editors_ui.h"
#include "editors/tableview_ui.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "support/scripted_popups_ui.h"
#include "transfer/gpib.h"
#include "support/app_ui.h"

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

std::string Row(int index) {
    char text[256] = "";
    GetLabelFromIndex(handle, MAIN_CARRIER_LIST, index, text, sizeof text);
    return text;
}

int Rows() {
    int n = -1;
    GetNumListItems(handle, MAIN_CARRIER_LIST, &n);
    return n;
}

std::string Label(int panel, int control) {
    char text[128] = "";
    GetCtrlAttribute(panel, control, ATTR_LABEL_TEXT, text, sizeof text);
    return text;
}

std::string Text(int panel, int control) {
    char text[1100] = "";
    GetCtrlVal(panel, control, text, sizeof text);
    return text;
}

int IntVal(int panel, int control) {
    int v = -12345;
    GetCtrlVal(panel, control, &v);
    return v;
}

double Num(int panel, int control) {
    double v = -12345;
    GetCtrlVal(panel, control, &v);
    return v;
}

// A selector or numeric changed by the user: the value, then its events.
void Choose(int panel, int control, int value) {
    ASSERT_EQ(SetCtrlVal(panel, control, value), 0) << control << " " << value;
    SimulateCommit(panel, control);
}

class Editors : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        LoadCompilePanels();
        handle3 = LoadPanel(0, "uldo.uir", PANEL_EDITOR);
        handle11 = LoadPanel(0, "uldo.uir", PANEL_ASSISTANT);
        handle30 = LoadPanel(0, "uldo.uir", PANEL_IMPAIRMENTS);
        handle6 = LoadPanel(0, "uldo.uir", PANEL_GENERAL_OPTIONS);
        handle7 = LoadPanel(0, "uldo.uir", PANEL_INSTRUMENT_OPTIONS);
        handle8 = LoadPanel(0, "uldo.uir", PANEL_COMPILE_OPTIONS);
        ASSERT_GT(handle3, 0);
        ASSERT_GT(handle11, 0);
        ASSERT_GT(handle30, 0);
        UpdateCarrierTable();
    }

    // Add through the editor: the QPSK carrier of the table view's example.
    void AddQpsk(double mhz) {
        SimulateClick(handle, MAIN_ADD);
        ASSERT_TRUE(IsPanelVisible(handle3));
        Choose(handle3, CARRIER_MODULATION, MOD_QPSK);
        SetCtrlVal(handle3, CARRIER_FREQUENCY, mhz);
        SetCtrlVal(handle3, CARRIER_AMPLITUDE, 1.0);
        SetCtrlVal(handle3, CARRIER_SYMBOL_RATE, 3.84);
        Choose(handle3, CARRIER_FILTER, FILTER_SQRT_RCOS);
        SetCtrlVal(handle3, CARRIER_FILTER_PARAM, 0.22);
        SetCtrlVal(handle3, CARRIER_FILTER_LENGTH, 33);
        SimulateClick(handle3, CARRIER_OK);
    }

    ScriptedPopups popups;
};

// The controls of the rule table in the order of its rows, and the expected
// state per modulation group: NONE, AM/FM/PM, FILE 1, FILE 2, FILE 3, FSK,
// GMSK, IS95DL, 3GPPDL, 3GPPSC, the other codes ('.' = as it was).
struct RuleExpectation {
    int control;
    const char* editor;
    const char* assistant;
};
const RuleExpectation rule_table[] = {
    {CARRIER_SYMBOL_RATE, "-++++++++++", "-+...++++++"},
    {CARRIER_DEVIATION, "-----+-----", "-----+-----"},
    {CARRIER_FILTER, "---+++-++++", "---+++-++++"},
    {CARRIER_FILTER_PARAM, "-+-++++++++", "-+-++++++++"},
    {CARRIER_FILTER_LENGTH, "--+++++++++", "--+++++++++"},
    {CARRIER_WINDOW, "--+++++++++", "--+++++++++"},
    {CARRIER_DATA_SOURCE, "----+++++++", "----+++++++"},
    {CARRIER_IQ_FILE, "--++-------", "--++-------"},
    {CARRIER_IQ_BROWSE, "--++-------", "--++-------"},
    {CARRIER_IQ_ENCODING, "--++-------", "--++-------"},
    {CARRIER_IQ_LAYOUT, "--++-------", "--++-------"},
    {CARRIER_MAP_FILE, "..--+..----", "..--+..----"},
    {CARRIER_MAP_EDITOR, "..--+..----", "..--+..----"},
    {CARRIER_CHANNEL_CODE, "-------++--", "-------++--"},
    {CARRIER_SCRAMBLING_GROUP, "--------++-", "--------++-"},
    {CARRIER_CODE_IN_GROUP, "--------++-", "--------+--"},
    {CARRIER_SECONDARY_CODE, "--------++-", "--------+--"},
    {CARRIER_SPREADING_FACTOR, "--------+--", "--------+--"},
    {CARRIER_PSCH, "---------+-", nullptr},
    {CARRIER_SSCH, "---------+-", nullptr},
};

int GroupOf(int m) {
    if (m == MOD_NONE) return 0;
    if (m >= MOD_AM && m <= MOD_PM) return 1;
    if (m == MOD_FILE1) return 2;
    if (m == MOD_FILE2) return 3;
    if (m == MOD_FILE3) return 4;
    if (m >= MOD_2FSK && m <= MOD_32FSK) return 5;
    if (m == MOD_GMSK) return 6;
    if (m >= MOD_IS95DL && m <= MOD_3GPPSC) return 7 + (m - MOD_IS95DL);
    return 10;
}

TEST_F(Editors, EveryModulationSetsTheControlsOfItsColumn) {
    for (int panel : {handle3, handle11}) {
        const bool assistant = panel == handle11;
        // States before the walk, for the controls the table may leave.
        int state[std::size(rule_table)];
        for (std::size_t r = 0; r < std::size(rule_table); ++r) state[r] = Dimmed(panel, rule_table[r].control);
        for (int m = 0; m < MODULATION_CODES; ++m) {
            if (!ModulationTableName(m)) continue;
            SCOPED_TRACE((assistant ? "assistant, modulation " : "editor, modulation ") + std::to_string(m));
            Choose(panel, CARRIER_FILTER, FILTER_RCOS);
            Choose(panel, CARRIER_DATA_SOURCE, DATA_FILE);
            SetCtrlVal(panel, CARRIER_FILTER_PARAM, 0.35);
            Choose(panel, CARRIER_MODULATION, m);
            const int g = GroupOf(m);
            for (std::size_t r = 0; r < std::size(rule_table); ++r) {
                const char* column = assistant ? rule_table[r].assistant : rule_table[r].editor;
                if (!column) continue;
                if (column[g] != '.') state[r] = column[g] == '-';
                EXPECT_EQ(Dimmed(panel, rule_table[r].control), state[r]) << "control " << rule_table[r].control;
            }
            if (!assistant) {
                EXPECT_EQ(Dimmed(panel, CARRIER_FREQUENCY), 0);
                EXPECT_EQ(Dimmed(panel, CARRIER_PHASE), 0);
            }
            EXPECT_EQ(Dimmed(panel, CARRIER_AMPLITUDE), 0);
            // The presets of FILE 1 and GMSK.
            EXPECT_EQ(IntVal(panel, CARRIER_FILTER),
                      m == MOD_FILE1 ? FILTER_RCOS : m == MOD_GMSK ? FILTER_GAUSS2 : FILTER_RCOS);
            EXPECT_EQ(Num(panel, CARRIER_FILTER_PARAM), m == MOD_FILE1 ? 0.0 : 0.35);
            // The data rule follows on the same panel: a dimmed source dims the file controls.
            const bool source = Dimmed(panel, CARRIER_DATA_SOURCE) == 0;
            EXPECT_EQ(Dimmed(panel, CARRIER_DATA_FILE), source ? 0 : 1);
            EXPECT_EQ(Dimmed(panel, CARRIER_DATA_NEGATIVE), source ? 0 : 1);
            // Filter 1 is not FILE: its file controls are dimmed.
            EXPECT_EQ(Dimmed(panel, CARRIER_FILTER_FILE), 1);
            // The PRBS assistant serves a PRBS source only.
            EXPECT_EQ(Dimmed(panel, CARRIER_PRBS), source && IntVal(panel, CARRIER_DATA_SOURCE) == DATA_PRBS ? 0 : 1);
        }
    }
}

TEST_F(Editors, FilterAndDataSourceRules) {
    Choose(handle3, CARRIER_MODULATION, MOD_QPSK);
    Choose(handle3, CARRIER_FILTER, FILTER_FILE);
    for (int c : {CARRIER_FILTER_FILE, CARRIER_FILTER_BROWSE, CARRIER_FILTER_FORMAT}) EXPECT_EQ(Dimmed(handle3, c), 0);
    Choose(handle3, CARRIER_FILTER, FILTER_GAUSS);
    for (int c : {CARRIER_FILTER_FILE, CARRIER_FILTER_BROWSE, CARRIER_FILTER_FORMAT}) EXPECT_EQ(Dimmed(handle3, c), 1);

    const int file_controls[] = {CARRIER_DATA_FILE, CARRIER_DATA_BROWSE, CARRIER_DATA_OFFSET, CARRIER_DATA_NEGATIVE};
    for (int source : {DATA_PRBS, DATA_FILE, DATA_ZEROS, DATA_ONES}) {
        Choose(handle3, CARRIER_DATA_SOURCE, source);
        for (int c : file_controls) EXPECT_EQ(Dimmed(handle3, c), source == DATA_FILE ? 0 : 1) << source;
    }
}

TEST_F(Editors, AddOkAndCancelOnAnEmptyTable) {
    SimulateClick(handle, MAIN_ADD);
    EXPECT_EQ(PanelDimmed(handle), 1);
    SimulateClick(handle3, CARRIER_CANCEL);
    EXPECT_FALSE(IsPanelVisible(handle3));
    EXPECT_EQ(PanelDimmed(handle), 0);
    EXPECT_EQ(globals.carrier_count, 0);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(signals[0].frequency_hz, -1.0f);

    AddQpsk(10.0);
    EXPECT_FALSE(IsPanelVisible(handle3));
    EXPECT_EQ(PanelDimmed(handle), 0);
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Row(0), "*  1|    10.000000 |      1.00 |     3.840000 |    QPSK   |SQR(RCOS)  |  0.220");
    EXPECT_EQ(globals.carrier_count, 1);
    EXPECT_EQ(globals.current_carrier, 1);
    EXPECT_EQ(signals[1].frequency_hz, -1.0f);
    EXPECT_EQ(globals.reference_carrier, 1);
    EXPECT_EQ(signals[0].prbs_seed_i, 0xFEDCBA98u);
    EXPECT_EQ(signals[0].prbs_iq_equal, 1);
    EXPECT_EQ(Dimmed(handle, MAIN_DELETE), 0);
    EXPECT_EQ(Dimmed(handle, MAIN_CARRIER_BUTTON), 0);

    // The editor keeps the last values as the next carrier's starting values.
    SimulateClick(handle, MAIN_ADD);
    EXPECT_EQ(Num(handle3, CARRIER_SYMBOL_RATE), 3.84);
    SimulateClick(handle3, CARRIER_OK);
    EXPECT_EQ(globals.carrier_count, 2);
}

TEST_F(Editors, EditShowsTheRecordAndOkStoresTheRules) {
    AddQpsk(10.0);
    AddQpsk(20.0);
    SimulateListDoubleClick(handle, MAIN_CARRIER_LIST, 1);
    ASSERT_TRUE(IsPanelVisible(handle3));
    EXPECT_EQ(globals.current_carrier, 1);
    EXPECT_EQ(Num(handle3, CARRIER_FREQUENCY), 20.0);

    // GMSK whatever the filter shows; an even length becomes odd; the offset's sign.
    Choose(handle3, CARRIER_MODULATION, MOD_GMSK);
    SetCtrlVal(handle3, CARRIER_FILTER, FILTER_RCOS);
    SetCtrlVal(handle3, CARRIER_FILTER_LENGTH, 4);
    Choose(handle3, CARRIER_DATA_SOURCE, DATA_FILE);
    SetCtrlVal(handle3, CARRIER_DATA_OFFSET, 7);
    SetCtrlVal(handle3, CARRIER_DATA_NEGATIVE, 1);
    SetCtrlVal(handle3, CARRIER_DATA_FILE, "bits.txt");
    SimulateClick(handle3, CARRIER_OK);
    EXPECT_EQ(signals[1].filter_type, FILTER_GAUSS2);
    EXPECT_EQ(signals[1].filter_length, 5);
    EXPECT_EQ(signals[1].data_offset, -7);
    EXPECT_EQ(FieldText(signals[1].data_file), "bits.txt");
    EXPECT_EQ(globals.carrier_count, 2);

    SetCtrlVal(handle3, CARRIER_DATA_OFFSET, 0);
    SetCtrlVal(handle3, CARRIER_DATA_NEGATIVE, 0);
    SimulateListDoubleClick(handle, MAIN_CARRIER_LIST, 1);
    EXPECT_EQ(IntVal(handle3, CARRIER_DATA_OFFSET), 7);
    EXPECT_EQ(IntVal(handle3, CARRIER_DATA_NEGATIVE), 1);
    Choose(handle3, CARRIER_MODULATION, MOD_AM);
    SimulateClick(handle3, CARRIER_OK);
    EXPECT_EQ(signals[1].filter_type, FILTER_NONE);

    // The I/Q file name is loaded for FILE 1 and FILE 2 only.
    signals[0].modulation = MOD_FILE2;
    SetField(signals[0].mod_file, "samples.iq");
    SimulateListDoubleClick(handle, MAIN_CARRIER_LIST, 0);
    EXPECT_EQ(Text(handle3, CARRIER_IQ_FILE), "samples.iq");
    SimulateClick(handle3, CARRIER_CANCEL);
    SimulateListDoubleClick(handle, MAIN_CARRIER_LIST, 1);
    EXPECT_EQ(Text(handle3, CARRIER_IQ_FILE), "samples.iq");
    Choose(handle3, CARRIER_MODULATION, MOD_FILE1);
    SimulateClick(handle3, CARRIER_OK);
    EXPECT_EQ(FieldText(signals[1].mod_file), "samples.iq");
    EXPECT_EQ(signals[1].filter_type, FILTER_RCOS);
}

TEST_F(Editors, OverlongFileNamesAreRefusedWithAPopUp) {
    AddQpsk(10.0);
    SimulateListDoubleClick(handle, MAIN_CARRIER_LIST, 0);
    Choose(handle3, CARRIER_DATA_SOURCE, DATA_FILE);
    const std::string longer = "/data/" + std::string(250, 'b');
    SetCtrlVal(handle3, CARRIER_DATA_FILE, longer.c_str());
    const Carrier before = signals[0];
    SimulateClick(handle3, CARRIER_OK);
    EXPECT_TRUE(IsPanelVisible(handle3));
    EXPECT_EQ(std::memcmp(&before, &signals[0], sizeof before), 0);
    EXPECT_NE(popups.Last(ScriptedPopups::MESSAGE).find("data file name has 256 characters"), std::string::npos)
        << popups.Last(ScriptedPopups::MESSAGE);

    // The browse dialogs: a long choice is refused, a fitting one is written.
    popups.file_answers = {{"/d/" + std::string(220, 'x'), VAL_EXISTING_FILE_SELECTED},
                           {"/d/filter.txt", VAL_EXISTING_FILE_SELECTED}};
    SetCtrlVal(handle3, CARRIER_FILTER_FILE, "old.txt");
    Choose(handle3, CARRIER_FILTER, FILTER_FILE);
    SimulateClick(handle3, CARRIER_FILTER_BROWSE);
    EXPECT_EQ(Text(handle3, CARRIER_FILTER_FILE), "old.txt");
    EXPECT_NE(popups.Last(ScriptedPopups::MESSAGE).find("223 characters"), std::string::npos);
    SimulateClick(handle3, CARRIER_FILTER_BROWSE);
    EXPECT_EQ(Text(handle3, CARRIER_FILTER_FILE), "/d/filter.txt");
    EXPECT_EQ(popups.shown.back().title, "Filter Files");
}

TEST_F(Editors, FullTableRefusesAddAndTheListActsOnlyOnCarriers) {
    for (int i = 0; i < MAX_CARRIERS; ++i) SetQpskCarrier(i, 1e6f * (i + 1), 1e5f);
    globals.carrier_count = UpdateCarrierTable();
    globals.current_carrier = globals.carrier_count;
    globals.reference_carrier = 1;
    static Carrier before[MAX_CARRIERS];
    std::memcpy(before, signals, sizeof signals);
    SimulateClick(handle, MAIN_ADD);
    EXPECT_FALSE(IsPanelVisible(handle3));
    EXPECT_EQ(PanelDimmed(handle), 0);
    EXPECT_NE(popups.Last(ScriptedPopups::MESSAGE).find("The table is full"), std::string::npos);
    EXPECT_EQ(std::memcmp(before, signals, sizeof signals), 0);

    // Right click on row 4 marks it.
    SimulateListRightClick(handle, MAIN_CARRIER_LIST, 3);
    EXPECT_EQ(globals.reference_carrier, 4);
    EXPECT_EQ(Row(3)[0], '*');
    EXPECT_EQ(Row(0)[0], ' ');
    // A refresh of the list (the compile options' OK) keeps the selected row.
    SimulateMenuItem(handle0, MENU_COMPILE_OPTIONS);
    SimulateClick(handle8, COMPILE_OK);
    int selected = -1;
    GetCtrlIndex(handle, MAIN_CARRIER_LIST, &selected);
    EXPECT_EQ(selected, 3);

    // Delete the selected row of a full table.
    SetCtrlIndex(handle, MAIN_CARRIER_LIST, 99);
    SimulateClick(handle, MAIN_DELETE);
    EXPECT_EQ(globals.carrier_count, 99);
    EXPECT_EQ(Rows(), 99);
    EXPECT_EQ(signals[99].frequency_hz, -1.0f);

    // On an empty table the list and Delete do nothing.
    ResetRecords();
    UpdateCarrierTable();
    EXPECT_EQ(Dimmed(handle, MAIN_DELETE), 1);
    DeleteLine(handle, MAIN_DELETE, EVENT_LEFT_CLICK, nullptr, 0, 0);
    EditLine(handle, MAIN_CARRIER_LIST, EVENT_LEFT_DOUBLE_CLICK, nullptr, 0, 0);
    EditLine(handle, MAIN_CARRIER_LIST, EVENT_RIGHT_CLICK, nullptr, 0, 0);
    EXPECT_FALSE(IsPanelVisible(handle3));
    EXPECT_EQ(globals.reference_carrier, 0);
    EXPECT_EQ(globals.carrier_count, 0);
}

TEST_F(Editors, DeleteKeepsTheReferenceOnItsCarrier) {
    AddQpsk(10.0);
    AddQpsk(20.0);
    AddQpsk(30.0);
    SetCtrlIndex(handle, MAIN_CARRIER_LIST, 0);
    SimulateClick(handle, MAIN_DELETE);
    EXPECT_EQ(globals.reference_carrier, 1);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(signals[0].frequency_hz, 20e6f);
    SimulateListRightClick(handle, MAIN_CARRIER_LIST, 1);
    SetCtrlIndex(handle, MAIN_CARRIER_LIST, 0);
    SimulateClick(handle, MAIN_DELETE);
    EXPECT_EQ(globals.reference_carrier, 1);
    EXPECT_EQ(signals[0].frequency_hz, 30e6f);
    SimulateClick(handle, MAIN_DELETE);
    EXPECT_EQ(globals.reference_carrier, 0);
    EXPECT_EQ(Rows(), 0);
}

TEST_F(Editors, ImpairmentsEditorWritesTheRecordAtOnce) {
    AddQpsk(10.0);
    SimulateListDoubleClick(handle, MAIN_CARRIER_LIST, 0);
    SimulateClick(handle3, CARRIER_IMPAIRMENTS);
    ASSERT_TRUE(IsPanelVisible(handle30));
    EXPECT_EQ(PanelDimmed(handle3), 1);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(Dimmed(handle30, IMPAIR_TYPE1 + 3 * k + 1), 1);
        EXPECT_EQ(Dimmed(handle30, IMPAIR_TYPE1 + 3 * k + 2), 1);
    }
    Choose(handle30, IMPAIR_TYPE1 + 3, IMPAIRMENT_FEEDTHROUGH);
    SetCtrlVal(handle30, IMPAIR_TYPE1 + 4, 1.5);
    SetCtrlVal(handle30, IMPAIR_TYPE1 + 5, 2.0);
    EXPECT_EQ(Label(handle30, IMPAIR_TYPE1 + 4), "      I-FT(%):");
    EXPECT_EQ(Label(handle30, IMPAIR_TYPE1 + 5), "   Q-FT(%):");
    Choose(handle30, IMPAIR_TYPE1, IMPAIRMENT_FEEDTHROUGH);
    SetCtrlVal(handle30, IMPAIR_TYPE1 + 2, 4.0);
    Choose(handle30, IMPAIR_TYPE1, IMPAIRMENT_PHASE);
    EXPECT_EQ(Label(handle30, IMPAIR_TYPE1 + 1), "    Phase(\u00ba):");
    EXPECT_EQ(Dimmed(handle30, IMPAIR_TYPE1 + 2), 1);
    Choose(handle30, IMPAIR_TYPE1 + 6, IMPAIRMENT_IMBALANCE);
    EXPECT_EQ(Label(handle30, IMPAIR_TYPE1 + 7), "    Inbal.(%):");
    SimulateClick(handle30, IMPAIR_OK);
    EXPECT_FALSE(IsPanelVisible(handle30));
    EXPECT_EQ(PanelDimmed(handle3), 0);
    EXPECT_EQ(signals[0].impairment2_type, IMPAIRMENT_FEEDTHROUGH);
    EXPECT_EQ(signals[0].impairment2_value, 1.5f);
    EXPECT_EQ(signals[0].impairment2_value2, 2.0f);
    EXPECT_EQ(signals[0].impairment1_type, IMPAIRMENT_PHASE);
    EXPECT_EQ(signals[0].impairment1_value2, 4.0f);  // kept, though dimmed
    EXPECT_EQ(signals[0].impairment3_type, IMPAIRMENT_IMBALANCE);

    // Cancel leaves the record; the editor's own Cancel keeps what OK wrote.
    SimulateClick(handle3, CARRIER_IMPAIRMENTS);
    Choose(handle30, IMPAIR_TYPE1 + 3, IMPAIRMENT_NONE);
    SimulateClick(handle30, IMPAIR_CANCEL);
    SimulateClick(handle3, CARRIER_CANCEL);
    EXPECT_EQ(signals[0].impairment2_type, IMPAIRMENT_FEEDTHROUGH);
    EXPECT_EQ(PanelDimmed(handle), 0);
}

TEST_F(Editors, AssistantAppendsACombAndSaysWhatDidNotFit) {
    SimulateClick(handle, MAIN_ASSISTANT);
    ASSERT_TRUE(IsPanelVisible(handle11));
    EXPECT_EQ(map_editor.seed, 0xFEDCBA98u);
    EXPECT_EQ(map_editor.polynomial, 3u);
    SetCtrlVal(handle11, ASSIST_COUNT, 3);
    SetCtrlVal(handle11, ASSIST_START, 10.0);
    SetCtrlVal(handle11, ASSIST_SPACING, 5.0);
    Choose(handle11, ASSIST_PHASE_MODE, 0);
    SetCtrlVal(handle11, ASSIST_PHASE_STEP, 90.0);
    Choose(handle11, CARRIER_MODULATION, MOD_GMSK);
    SetCtrlVal(handle11, CARRIER_SYMBOL_RATE, 0.2708);
    SetCtrlVal(handle11, CARRIER_FILTER_LENGTH, 8);
    SetField(comment, "");
    SetCtrlVal(handle, MAIN_COMMENT, "comb");
    SimulateClick(handle11, CARRIER_OK);
    EXPECT_FALSE(IsPanelVisible(handle11));
    EXPECT_EQ(PanelDimmed(handle), 0);
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(FieldText(comment), "comb");
    const float phases[] = {0, 90, 180};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(signals[k].frequency_hz, 1e6f * (10 + 5 * k));
        EXPECT_EQ(signals[k].phase_deg, phases[k]);
        EXPECT_EQ(signals[k].filter_type, FILTER_GAUSS2);
        EXPECT_EQ(signals[k].filter_length, 9);
    }
    EXPECT_EQ(signals[3].frequency_hz, -1.0f);
    EXPECT_EQ(globals.reference_carrier, 1);

    SimulateClick(handle, MAIN_ASSISTANT);
    SetCtrlVal(handle11, ASSIST_COUNT, 100);
    SimulateClick(handle11, CARRIER_OK);
    EXPECT_EQ(globals.carrier_count, 100);
    EXPECT_EQ(popups.Last(ScriptedPopups::MESSAGE),
              "The table holds 100 carriers: 3 carriers of the comb did not fit and were left out.");
    SimulateClick(handle, MAIN_ASSISTANT);
    SimulateClick(handle11, CARRIER_CANCEL);
    EXPECT_FALSE(IsPanelVisible(handle11));
    EXPECT_EQ(globals.carrier_count, 100);
}

TEST_F(Editors, OptionDialogsLoadStoreAndCancel) {
    globals.compile_length = 100000;
    globals.sample_clock = 2.5f;
    globals.max_record_length = 16000000;
    globals.record_granularity = 1;
    globals.output_destination = 1;
    globals.ftp_port = 21;
    GlobalSettings before = globals;

    // Cancel leaves the settings whatever was changed in the dialogs.
    SimulateMenuItem(handle0, MENU_GENERAL_OPTIONS);
    SetCtrlVal(handle6, GENERAL_APP1_NAME, "changed");
    SimulateClick(handle6, GENERAL_CANCEL);
    SimulateMenuItem(handle0, MENU_INSTRUMENT_OPTIONS);
    EXPECT_EQ(IntVal(handle7, INSTRUMENT_IP1), 0);  // the empty address of a first start
    Choose(handle7, INSTRUMENT_TYPE, 9);
    SimulateClick(handle7, INSTRUMENT_CANCEL);
    SimulateMenuItem(handle0, MENU_COMPILE_OPTIONS);
    SetCtrlVal(handle8, COMPILE_LENGTH, 7);
    SimulateClick(handle8, COMPILE_CANCEL);
    EXPECT_EQ(std::memcmp(&before, &globals, sizeof globals), 0);
    EXPECT_FALSE(IsPanelVisible(handle6) || IsPanelVisible(handle7) || IsPanelVisible(handle8));

    // General: the Tools menu shows the new name at once; a second opening
    // of the open dialog keeps what is being typed.
    SimulateMenuItem(handle0, MENU_GENERAL_OPTIONS);
    SetCtrlVal(handle6, GENERAL_APP1_NAME, "Scope");
    SimulateMenuItem(handle0, MENU_GENERAL_OPTIONS);
    EXPECT_EQ(Text(handle6, GENERAL_APP1_NAME), "Scope");
    SetCtrlVal(handle6, GENERAL_APP1_COMMAND, "scope --show");
    SetCtrlVal(handle6, GENERAL_DATA_DIR, "/srv/data");
    SimulateClick(handle6, GENERAL_OK);
    char label[64];
    GetMenuBarAttribute(handle0, MENU_APP1, ATTR_ITEM_NAME, label, sizeof label);
    EXPECT_STREQ(label, "Scope");
    GetMenuBarAttribute(handle0, MENU_APP2, ATTR_ITEM_NAME, label, sizeof label);
    EXPECT_STREQ(label, "Application 2");
    EXPECT_EQ(FieldText(globals.ext_app1_command), "scope --show");
    EXPECT_EQ(FieldText(globals.data_dir), "/srv/data");

    // Instrument: the address rule and the destination rule.
    SimulateMenuItem(handle0, MENU_INSTRUMENT_OPTIONS);
    const int octets[] = {10, 20, 30, 40};
    for (int i = 0; i < 4; ++i) SetCtrlVal(handle7, INSTRUMENT_IP1 + i, octets[i]);
    Choose(handle7, INSTRUMENT_TYPE, 7);
    Choose(handle7, INSTRUMENT_DESTINATION, 0);
    SetCtrlVal(handle7, INSTRUMENT_GPIB, 5);
    SimulateClick(handle7, INSTRUMENT_OK);
    EXPECT_EQ(FieldText(globals.instrument_ip), "10.20.30.40");
    EXPECT_EQ(globals.instrument_type, 7);
    EXPECT_EQ(globals.output_destination, 1);
    EXPECT_EQ(globals.gpib_address, 5);
    SetField(globals.instrument_ip, "not.an.address");
    SimulateMenuItem(handle0, MENU_INSTRUMENT_OPTIONS);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(IntVal(handle7, INSTRUMENT_IP1 + i), 0);
    Choose(handle7, INSTRUMENT_TYPE, 0);
    Choose(handle7, INSTRUMENT_DESTINATION, 3);
    SimulateClick(handle7, INSTRUMENT_OK);
    EXPECT_EQ(globals.output_destination, 3);
    EXPECT_EQ(FieldText(globals.instrument_ip), "0.0.0.0");
    // The VISA resource: a valid one is kept, a bad one is named and keeps the dialog open.
    SimulateMenuItem(handle0, MENU_INSTRUMENT_OPTIONS);
    SetCtrlVal(handle7, INSTRUMENT_RESOURCE, "TCPIP::awg.lab::INSTR");
    SimulateClick(handle7, INSTRUMENT_OK);
    EXPECT_STREQ(instrument_resource, "TCPIP::awg.lab::INSTR");
    EXPECT_FALSE(IsPanelVisible(handle7));
    SimulateMenuItem(handle0, MENU_INSTRUMENT_OPTIONS);
    EXPECT_EQ(Text(handle7, INSTRUMENT_RESOURCE), "TCPIP::awg.lab::INSTR");
    SetCtrlVal(handle7, INSTRUMENT_RESOURCE, "TCPIP::awg");
    SimulateClick(handle7, INSTRUMENT_OK);
    EXPECT_NE(popups.Last(ScriptedPopups::MESSAGE).find("The VISA resource \"TCPIP::awg\" is not valid"),
              std::string::npos)
        << popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_TRUE(IsPanelVisible(handle7));
    EXPECT_STREQ(instrument_resource, "TCPIP::awg.lab::INSTR");
    SetCtrlVal(handle7, INSTRUMENT_RESOURCE, "");
    SimulateClick(handle7, INSTRUMENT_OK);
    EXPECT_STREQ(instrument_resource, "");

    // Compile: the level follows the normalisation selector.
    SimulateMenuItem(handle0, MENU_COMPILE_OPTIONS);
    EXPECT_EQ(Dimmed(handle8, COMPILE_LEVEL), 1);
    Choose(handle8, COMPILE_NORMALIZATION, 1);
    EXPECT_EQ(Dimmed(handle8, COMPILE_LEVEL), 0);
    SetCtrlVal(handle8, COMPILE_LEVEL, 0.75);
    Choose(handle8, COMPILE_MODE, 1);
    SetCtrlVal(handle8, COMPILE_LENGTH, 7680);
    SetCtrlVal(handle8, COMPILE_I, 1);
    SetCtrlVal(handle8, COMPILE_BASEBAND_ALL, 1);
    SimulateClick(handle8, COMPILE_OK);
    EXPECT_EQ(globals.normalization_mode, 1);
    EXPECT_EQ(globals.normalization_level, 0.75f);
    EXPECT_EQ(globals.compile_mode, 1);
    EXPECT_EQ(globals.compile_length, 7680);
    EXPECT_EQ(globals.output_rf, 0);
    EXPECT_EQ(globals.output_baseband_i, 1);
    EXPECT_EQ(globals.baseband_all_carriers, 1);
    EXPECT_EQ(globals.sample_clock, 2.5f);
    SimulateMenuItem(handle0, MENU_COMPILE_OPTIONS);
    EXPECT_EQ(Dimmed(handle8, COMPILE_LEVEL), 0);
}

// What the editor accepts is what a compile can take: the ranges of the
// resource file, read back from the loaded controls.
TEST_F(Editors, ControlRangesMatchWhatTheCompileAccepts) {
    struct Range {
        int panel_resource, control;
        double min, max;
        int precision;
    } ranges[] = {
        {PANEL_EDITOR, CARRIER_FREQUENCY, 0, 100000, 6},    {PANEL_EDITOR, CARRIER_SYMBOL_RATE, 0, 100000, 6},
        {PANEL_EDITOR, CARRIER_FILTER_LENGTH, 1, 201, 0},   {PANEL_EDITOR, CARRIER_CHANNEL_CODE, 0, 511, 0},
        {PANEL_EDITOR, CARRIER_SCRAMBLING_GROUP, 0, 63, 0}, {PANEL_EDITOR, CARRIER_CODE_IN_GROUP, 0, 7, 0},
        {PANEL_EDITOR, CARRIER_SECONDARY_CODE, 0, 15, 0},   {PANEL_EDITOR, CARRIER_PSCH, -60, 20, 2},
        {PANEL_EDITOR, CARRIER_AMPLITUDE, 0, 1e6, 3},       {PANEL_ASSISTANT, ASSIST_COUNT, 0, 100, 0},
        {PANEL_ASSISTANT, CARRIER_FILTER_LENGTH, 1, 201, 0},
    };
    for (const Range& r : ranges) {
        int panel = r.panel_resource == PANEL_EDITOR ? handle3 : handle11;
        double lo = 0, hi = 0;
        int precision = -1;
        GetCtrlAttribute(panel, r.control, ATTR_MIN_VALUE, &lo);
        GetCtrlAttribute(panel, r.control, ATTR_MAX_VALUE, &hi);
        GetCtrlAttribute(panel, r.control, ATTR_PRECISION, &precision);
        EXPECT_EQ(lo, r.min) << r.control;
        EXPECT_EQ(hi, r.max) << r.control;
        EXPECT_EQ(precision, r.precision) << r.control;
    }
    // Every spreading factor offered is one the 3GPP generator takes.
    for (int i = 0;; ++i) {
        int value = -1;
        if (GetValueFromIndex(handle3, CARRIER_SPREADING_FACTOR, i, &value) < 0) break;
        EXPECT_TRUE(value == 0 || (value >= 4 && value <= 512 && (value & (value - 1)) == 0)) << value;
    }
    // Out of range cannot be entered: the control clamps.
    SetCtrlVal(handle3, CARRIER_FILTER_LENGTH, 500);
    EXPECT_EQ(IntVal(handle3, CARRIER_FILTER_LENGTH), 201);
    SetCtrlVal(handle3, CARRIER_FREQUENCY, -5.0);
    EXPECT_EQ(Num(handle3, CARRIER_FREQUENCY), 0.0);
}

}  // namespace
