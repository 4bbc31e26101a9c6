// The carrier list of the main panel and the analysis panel's name fields.
#include <gtest/gtest.h>

#include "editors/tableview_ui.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "support/app_ui.h"

namespace {

class TableView : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        handle = LoadPanel(0, "uldo.uir", PANEL_MAIN);
        handle0 = LoadMenuBar(handle, "uldo.uir", MENUBAR_MAIN);
        handle5 = LoadPanel(0, "uldo.uir", PANEL_ANALYSIS);
    }
    static void AddCarrier(int i, float hz) {
        signals[i].frequency_hz = hz;
        signals[i].amplitude = 0.5f;
        signals[i].modulation = MOD_NONE;
    }
    static std::string Text(int panel, int control) {
        char text[256] = "";
        GetCtrlVal(panel, control, text);
        return text;
    }
};

TEST_F(TableView, ListsCarriersUpToTheFirstNonPositiveFrequency) {
    AddCarrier(0, 1e6f);
    AddCarrier(1, 2e6f);
    AddCarrier(2, 0.0f);     // ends the view
    AddCarrier(3, 4e6f);
    SetField(comment, "note");
    SetField(globals.table_file, "/t/a.kvt");
    globals.reference_carrier = 2;
    EXPECT_EQ(UpdateCarrierTable(), 2);

    int rows = 0, value = -1;
    GetNumListItems(handle, MAIN_CARRIER_LIST, &rows);
    EXPECT_EQ(rows, 2);
    GetValueFromIndex(handle, MAIN_CARRIER_LIST, 1, &value);
    EXPECT_EQ(value, 1);
    char row[256];
    GetLabelFromIndex(handle, MAIN_CARRIER_LIST, 1, row, sizeof row);
    EXPECT_STREQ(row, "*  2|     2.000000 |      0.50 |              |    NONE   |  NONE");
    EXPECT_EQ(Text(handle, MAIN_COMMENT), "note");
    EXPECT_EQ(Text(handle, MAIN_TABLE_FILE), "/t/a.kvt");
    int dimmed = -1;
    GetCtrlAttribute(handle, MAIN_CARRIER_BUTTON, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 0);

    // A full table with no terminator: the scan stops at record 99.
    for (int i = 0; i < MAX_CARRIERS; ++i) AddCarrier(i, 1e6f + i);
    EXPECT_EQ(UpdateCarrierTable(), 100);

    signals[0].frequency_hz = -1.0f;
    EXPECT_EQ(UpdateCarrierTable(), 0);
    GetCtrlAttribute(handle, MAIN_CARRIER_BUTTON, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 1);
    GetMenuBarAttribute(handle0, MENU_COMPILE, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 1);
}

TEST_F(TableView, AnalysisPanelNames) {
    struct Case {
        int code;
        const char* modulation;
        const char* filter;
    } cases[] = {{MOD_QAM1024, "QAM-1024", nullptr}, {MOD_DQPSK, "PI/4-DQPSK", "BUTTERWRTH"}, {MOD_QPSK, "QPSK", "R.COS."},
                 {MOD_NONE, "UNMOD", "UNFILTERED"},   {9, "QAM-128", "BUTTERWRTH"},
                 {17, "AM", "EDGE"},                  {27, "DVBC(256)", nullptr}};
    for (const Case& c : cases) {
        SetCtrlVal(handle5, ANALYSIS_MODULATION, "before");
        SetCtrlVal(handle5, ANALYSIS_FILTER, "before");
        ShowPanelMod(c.code);
        ShowPanelFilter(c.code);
        EXPECT_EQ(Text(handle5, ANALYSIS_MODULATION), c.modulation);
        EXPECT_EQ(Text(handle5, ANALYSIS_FILTER), c.filter ? c.filter : "before") << c.code;
    }
    for (int unnamed : {15, 16, 34, 40, -1}) {
        SetCtrlVal(handle5, ANALYSIS_MODULATION, "before");
        ShowPanelMod(unnamed);
        EXPECT_EQ(Text(handle5, ANALYSIS_MODULATION), "before") << unnamed;
    }
}

}  // namespace
