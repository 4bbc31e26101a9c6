// The PRBS assistant driven through the event seam from the carrier editor
// and from the carrier assistant.
#include <gtest/gtest.h>

#include <string>

#include "editors/assistant.h"
#include "editors/editors.h"
#include "editors/tableview.h"
#include "maps/maps.h"
#include "shell/hooks.h"
#include "shell/panels.h"
#include "shell/uldo.h"
#include "shell/userint.h"
#include "support/scripted_popups.h"
#include "support/ui_app.h"

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

int Stage(int k) {
    int v = -1;
    GetCtrlVal(handle13, PRBS_STAGE1 + k - 1, &v);
    return v;
}

class Prbs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StartTestApplication(); }
    void SetUp() override {
        ResetRecords();
        ResetAssistantRandom();
        LoadCompilePanels();
        handle3 = LoadPanel(0, "uldo.uir", PANEL_EDITOR);
        handle11 = LoadPanel(0, "uldo.uir", PANEL_ASSISTANT);
        handle13 = LoadPanel(0, "uldo.uir", PANEL_PRBS);
        handle30 = LoadPanel(0, "uldo.uir", PANEL_IMPAIRMENTS);
        ASSERT_GT(handle13, 0);
        UpdateCarrierTable();
    }
    void TearDown() override { core_hooks = CoreHooks{}; }

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
    EXPECT_EQ(polinom, c.prbs_poly_i);
    EXPECT_EQ(seed, c.prbs_seed_i);
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
    EXPECT_EQ(polinom, (1u << 24) | (1u << 25));
    EXPECT_EQ(seed, 0xFEDCBA98u & ~1u);
    EXPECT_EQ(signals[0].prbs_poly_i, 9u);
    EXPECT_EQ(PanelDimmed(handle11), 0);
}

}  // namespace
