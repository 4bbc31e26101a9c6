// The user-interface layer on Qt, offscreen: resources, values, events, menus,
// pop-ups, printing, graphs and the program's own resource file.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QDoubleSpinBox>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "shell/qcustomplot_ui.h"
#include "shell/userint_ui.h"
#include "shell/widgets_ui.h"
#include "support/scripted_popups_ui.h"
#include "support/app_ui.h"
#include "support/tempdir.h"

namespace {

const std::string fixture = std::string(ULDO_SOURCE_DIR) + "/tests/shell/userint_fixture.uir";

struct Event {
    int panel, control, event, data1, data2;
    bool operator==(const Event&) const = default;
};
std::vector<Event> events;

struct MenuCall {
    int menu_bar, item, panel;
    void* data;
};
std::vector<MenuCall> menu_calls;

int Record(int panel, int control, int event, void* data, int d1, int d2) {
    events.push_back({panel, control, event, d1, d2});
    return 0;
}

void RecordMenu(int menu_bar, int item, void* data, int panel) {
    menu_calls.push_back({menu_bar, item, panel, data});
}

// A compile loop in miniature: while it runs, a click on another control
// arrives; it polls for commits instead of letting that callback run.
int polled_panel = 0, polled_control = 0, poll_result = -1;
int PollCompile(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    QMetaObject::invokeMethod(CtrlWidget(panel, 8), "click", Qt::QueuedConnection);
    poll_result = GetUserEvent(0, &polled_panel, &polled_control);
    return 0;
}

// An OK button that discards its own panel, as dialogs opened on demand do.
int DiscardOnClick(int panel, int control, int event, void*, int, int) {
    events.push_back({panel, control, event, 0, 0});
    if (event == EVENT_LEFT_CLICK) DiscardPanel(panel);
    return 0;
}

class UserInterface : public GuiFixture {
protected:
    static void SetUpTestSuite() {
        GuiFixture::SetUpTestSuite();
        RegisterCtrlCallback("Record", Record);
        RegisterCtrlCallback("RecordPanel", Record);
        RegisterCtrlCallback("PollCompile", PollCompile);
        RegisterCtrlCallback("DiscardOnClick", DiscardOnClick);
        RegisterMenuCallback("RecordMenu", RecordMenu);
    }
    void SetUp() override {
        GuiFixture::SetUp();
        events.clear();
        menu_calls.clear();
        panel = LoadPanel(0, fixture.c_str(), 1);
        ASSERT_GT(panel, 0);
    }
    void TearDown() override {
        ResetUserInterface();
        GuiFixture::TearDown();
    }

    int panel = 0;
};

TEST_F(UserInterface, LoadsPanelsAndRefusesUnknownCallbacks) {
    char title[64];
    ASSERT_EQ(GetPanelAttribute(panel, ATTR_TITLE, title, sizeof title), 0);
    EXPECT_STREQ(title, "Fixture");
    int second = LoadPanel(0, fixture.c_str(), 2);
    EXPECT_GT(second, 0);
    EXPECT_NE(second, panel);

    EXPECT_EQ(LoadPanel(0, fixture.c_str(), 3), UIE_UNKNOWN_CALLBACK);
    EXPECT_EQ(LoadMenuBar(panel, fixture.c_str(), 2), UIE_UNKNOWN_CALLBACK);
    EXPECT_EQ(LoadPanel(0, fixture.c_str(), 99), UIE_BAD_RESOURCE);
    EXPECT_EQ(LoadPanel(0, "/nonexistent/file.uir", 1), UIE_BAD_RESOURCE);
    EXPECT_EQ(LoadPanel(12345, fixture.c_str(), 2), UIE_BAD_PANEL);

    // A discarded handle is dead at once, even for its own pending commits.
    ASSERT_EQ(SimulateClick(second, 2), 0);
    ASSERT_EQ(DiscardPanel(second), 0);
    EXPECT_EQ(SetCtrlVal(second, 2, 1), UIE_BAD_PANEL);
    EXPECT_EQ(DisplayPanel(second), UIE_BAD_PANEL);
    int p = 0, c = 0;
    EXPECT_EQ(GetUserEvent(0, &p, &c), 0);
    EXPECT_EQ(SetCtrlVal(panel, 99, 1), UIE_BAD_CONTROL);
}

TEST_F(UserInterface, ACallbackMayDiscardItsOwnPanel) {
    int dialog = LoadPanel(0, fixture.c_str(), 4);
    ASSERT_GT(dialog, 0);
    DisplayPanel(dialog);
    ASSERT_EQ(SimulateClick(dialog, 2), 0);
    ASSERT_EQ(events.size(), 1u);  // the commit after the click reaches nobody
    EXPECT_EQ(events[0].event, EVENT_LEFT_CLICK);
    ProcessSystemEvents();  // the window itself goes now
    int p = 0, c = 0;
    EXPECT_EQ(GetUserEvent(0, &p, &c), 0);
    EXPECT_EQ(IsPanelVisible(dialog), UIE_BAD_PANEL);
    // The handle is free again and the new panel gets no stale signal.
    EXPECT_EQ(LoadPanel(0, fixture.c_str(), 2), dialog);
    EXPECT_TRUE(PanelWidget(dialog) != nullptr);
}

TEST_F(UserInterface, MalformedResourcesAreRefused) {
    struct Case {
        const char* what;
        const char* json;
    };
    const Case cases[] = {
        {"not JSON", "{\"panels\": [ {\"resource\": 1,"},
        {"unknown kind", R"({"panels":[{"resource":1,"width":10,"height":10,
            "controls":[{"number":2,"kind":"dial","left":0,"top":0}]}]})"},
        {"misspelt field", R"({"panels":[{"resource":1,"width":10,"height":10,
            "controls":[{"number":2,"kind":"button","left":0,"top":0,"callbak":"X"}]}]})"},
        {"number used twice", R"({"panels":[{"resource":1,"width":10,"height":10,
            "controls":[{"number":2,"kind":"button","left":0,"top":0},
                        {"number":2,"kind":"text","left":0,"top":40}]}]})"},
        {"missing position", R"({"panels":[{"resource":1,"width":10,"height":10,
            "controls":[{"number":2,"kind":"button","top":0}]}]})"},
        {"text too long", R"({"panels":[{"resource":1,"width":10,"height":10,
            "controls":[{"number":2,"kind":"button","left":0,"top":0,"callback":
            "ANameMuchLongerThanAnyCallbackNameCouldEverReasonablyBeInThisProgramX"}]}]})"},
        {"panel defined twice", R"({"panels":[{"resource":1,"width":10,"height":10},
                                              {"resource":1,"width":20,"height":20}]})"},
        {"min above max", R"({"panels":[{"resource":1,"width":10,"height":10,
            "controls":[{"number":2,"kind":"numeric","left":0,"top":0,"min":5,"max":1}]}]})"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::string file = dir.File("bad.uir");
        WriteBytes(file, c.json, std::strlen(c.json));
        EXPECT_EQ(LoadPanel(0, file.c_str(), 1), UIE_BAD_RESOURCE) << c.what;
    }
    const char* bad_bar = R"({"menubars":[{"resource":1,"menus":[{"label":"F","items":[
        {"number":2,"label":"A"},{"number":2,"label":"B"}]}]}]})";
    std::string file = dir.File("bar.uir");
    WriteBytes(file, bad_bar, std::strlen(bad_bar));
    EXPECT_EQ(LoadMenuBar(panel, file.c_str(), 1), UIE_BAD_RESOURCE);
}

TEST_F(UserInterface, NumericValuesKeepTheirRangeAndFullValue) {
    int i = 0;
    ASSERT_EQ(GetCtrlVal(panel, 2, &i), 0);
    EXPECT_EQ(i, 7);  // the resource's default
    SetCtrlVal(panel, 2, 12);
    GetCtrlVal(panel, 2, &i);
    EXPECT_EQ(i, 12);
    SetCtrlVal(panel, 2, 100);  // beyond the maximum: kept at the limit
    GetCtrlVal(panel, 2, &i);
    EXPECT_EQ(i, 50);

    // The box shows two decimals, the value keeps all of them.
    double d = 0;
    SetCtrlVal(panel, 3, 3.14159);
    GetCtrlVal(panel, 3, &d);
    EXPECT_DOUBLE_EQ(d, 3.14159);
    EXPECT_EQ(static_cast<QAbstractSpinBox*>(CtrlWidget(panel, 3))->text(), "3.14");
    SimulateCommit(panel, 3);  // committed unchanged: still the full value
    GetCtrlVal(panel, 3, &d);
    EXPECT_DOUBLE_EQ(d, 3.14159);
    static_cast<QDoubleSpinBox*>(CtrlWidget(panel, 3))->setValue(7.25);  // as typed
    GetCtrlVal(panel, 3, &d);
    EXPECT_DOUBLE_EQ(d, 7.25);
    SetCtrlVal(panel, 3, 3.14159);
    events.clear();
    GetCtrlVal(panel, 3, &i);
    EXPECT_EQ(i, 3);
    float f = 0;
    GetCtrlVal(panel, 3, &f);
    EXPECT_FLOAT_EQ(f, 3.14159f);
    SetCtrlAttribute(panel, 3, ATTR_MAX_VALUE, 2.5);
    GetCtrlVal(panel, 3, &d);
    EXPECT_DOUBLE_EQ(d, 2.5);

    // A 32-bit seed beyond the int range, shown in hexadecimal.
    unsigned u = 0;
    ASSERT_EQ(SetCtrlVal(panel, 15, 0xFEDCBA98u), 0);
    GetCtrlVal(panel, 15, &u);
    EXPECT_EQ(u, 0xFEDCBA98u);
    EXPECT_EQ(static_cast<QAbstractSpinBox*>(CtrlWidget(panel, 15))->text(), "FEDCBA98");

    SetCtrlVal(panel, 13, 42.6);  // progress bar
    GetCtrlVal(panel, 13, &i);
    EXPECT_EQ(i, 43);

    EXPECT_EQ(SetCtrlVal(panel, 2, "12"), UIE_BAD_TYPE);
    char text[8];
    EXPECT_EQ(GetCtrlVal(panel, 2, text), UIE_BAD_TYPE);
    EXPECT_TRUE(events.empty());  // values set by code raise nothing
}

TEST_F(UserInterface, TextIsCutToTheBufferAtACharacterBoundary) {
    SetCtrlVal(panel, 4, "Hello, world");
    char small[6];
    ASSERT_EQ(GetCtrlVal(panel, 4, small), 0);
    EXPECT_STREQ(small, "Hello");

    // Text fields hold Windows-1252 text: every byte comes back as it went in,
    // one byte a character.
    SetCtrlVal(panel, 4, "caf\xE9 \x80\x81\xFF");
    char back[16];
    GetCtrlVal(panel, 4, back);
    EXPECT_STREQ(back, "caf\xE9 \x80\x81\xFF");
    char three[3];
    GetCtrlVal(panel, 4, three);
    EXPECT_STREQ(three, "ca");
    auto* edit = static_cast<QLineEdit*>(CtrlWidget(panel, 4));
    EXPECT_EQ(edit->text(), QString::fromUtf8("caf\u00e9 \u20ac\u0081\u00ff"));
    // Typing a character the field cannot store is refused, with the reason.
    ScriptedPopups popups;
    edit->setText("ok");
    edit->insert(QString::fromUtf8("\u2713"));
    ProcessSystemEvents();
    EXPECT_EQ(edit->text(), "ok");
    ASSERT_EQ(popups.Count(ScriptedPopups::MESSAGE), 1);
    EXPECT_NE(popups.Last(ScriptedPopups::MESSAGE).find("Windows-1252"), std::string::npos);

    SetCtrlVal(panel, 4, "0123456789012345678901234");  // 20 characters at most
    GetCtrlVal(panel, 4, back);
    char all[32];
    GetCtrlVal(panel, 4, all);
    EXPECT_EQ(std::strlen(all), 20u);

    SetCtrlVal(panel, 16, "line 1\nline 2");
    GetCtrlVal(panel, 16, all);
    EXPECT_STREQ(all, "line 1\nline 2");
    SetCtrlVal(panel, 10, "Bye");
    GetCtrlVal(panel, 10, all);
    EXPECT_STREQ(all, "Bye");
    EXPECT_TRUE(events.empty());
}

TEST_F(UserInterface, SelectorsAreSetAndReadByValue) {
    int v = 0, index = -1;
    GetCtrlVal(panel, 5, &v);
    EXPECT_EQ(v, 20);
    ASSERT_EQ(SetCtrlVal(panel, 5, 30), 0);
    GetCtrlVal(panel, 5, &v);
    GetCtrlIndex(panel, 5, &index);
    EXPECT_EQ(v, 30);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(SetCtrlVal(panel, 5, 99), UIE_BAD_INDEX);
    GetCtrlVal(panel, 5, &v);
    EXPECT_EQ(v, 30);
    char label[16];
    GetCtrlVal(panel, 5, label);
    EXPECT_STREQ(label, "thirty");

    InsertListItem(panel, 5, 0, "five", 5);
    SetCtrlIndex(panel, 5, 0);
    GetCtrlVal(panel, 5, &v);
    EXPECT_EQ(v, 5);
    GetLabelFromIndex(panel, 5, 3, label, sizeof label);
    EXPECT_STREQ(label, "thirty");
}

TEST_F(UserInterface, ListRowsCarryTextAndValue) {
    int index = 99, count = 0, v = 0;
    GetCtrlIndex(panel, 9, &index);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(GetCtrlVal(panel, 9, &v), UIE_BAD_INDEX);

    InsertListItem(panel, 9, -1, "row A", 100);
    InsertListItem(panel, 9, -1, "row B", 101);
    InsertListItem(panel, 9, -1, "row C", 102);
    GetCtrlIndex(panel, 9, &index);
    EXPECT_EQ(index, 0);  // a filled list has a selected row
    ASSERT_EQ(SetCtrlIndex(panel, 9, 2), 0);
    GetCtrlVal(panel, 9, &v);
    EXPECT_EQ(v, 102);

    InsertListItem(panel, 9, 0, "row Z", 99);
    GetNumListItems(panel, 9, &count);
    EXPECT_EQ(count, 4);
    char text[8];
    GetLabelFromIndex(panel, 9, 0, text, sizeof text);
    EXPECT_STREQ(text, "row Z");
    GetValueFromIndex(panel, 9, 3, &v);
    EXPECT_EQ(v, 102);
    GetCtrlVal(panel, 9, &v);
    EXPECT_EQ(v, 102);  // the selection follows its row

    EXPECT_EQ(InsertListItem(panel, 9, 6, "x", 0), UIE_BAD_INDEX);
    EXPECT_EQ(SetCtrlIndex(panel, 9, 4), UIE_BAD_INDEX);
    EXPECT_EQ(GetValueFromIndex(panel, 9, -1, &v), UIE_BAD_INDEX);
    EXPECT_EQ(InsertListItem(panel, 4, -1, "x", 0), UIE_BAD_TYPE);

    ClearListCtrl(panel, 9);
    GetNumListItems(panel, 9, &count);
    GetCtrlIndex(panel, 9, &index);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(index, -1);
    EXPECT_TRUE(events.empty());
}

TEST_F(UserInterface, UserActionsRaiseTheirEventsInOrder) {
    struct Case {
        const char* what;
        int control;
        int (*act)(int, int);
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"button", 8, SimulateClick, {EVENT_LEFT_CLICK, EVENT_COMMIT}},
        {"checkbox", 6, SimulateClick, {EVENT_VAL_CHANGED, EVENT_COMMIT}},
        {"toggle", 7, SimulateClick, {EVENT_VAL_CHANGED, EVENT_COMMIT}},
        {"int numeric", 2, SimulateCommit, {EVENT_VAL_CHANGED, EVENT_COMMIT}},
        {"float numeric", 3, SimulateCommit, {EVENT_VAL_CHANGED, EVENT_COMMIT}},
        {"text", 4, SimulateCommit, {EVENT_VAL_CHANGED, EVENT_COMMIT}},
        {"selector", 5, SimulateCommit, {EVENT_VAL_CHANGED, EVENT_COMMIT}},
    };
    for (const Case& c : cases) {
        events.clear();
        ASSERT_EQ(c.act(panel, c.control), 0) << c.what;
        std::vector<int> got;
        for (const Event& e : events) {
            EXPECT_EQ(e.panel, panel) << c.what;
            EXPECT_EQ(e.control, c.control) << c.what;
            got.push_back(e.event);
        }
        EXPECT_EQ(got, c.expected) << c.what;
    }
    int v = 0;
    GetCtrlVal(panel, 6, &v);
    EXPECT_EQ(v, 1);  // the click ticked the box
    GetCtrlVal(panel, 7, &v);
    EXPECT_EQ(v, 1);

    EXPECT_EQ(SimulateClick(panel, 10), UIE_BAD_TYPE);
    EXPECT_EQ(SimulateClick(panel, 77), UIE_BAD_CONTROL);

    // The close button asks the panel's callback and leaves the panel open.
    DisplayPanel(panel);
    events.clear();
    PanelWidget(panel)->close();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], (Event{panel, 0, EVENT_CLOSE, 0, 0}));
    EXPECT_EQ(IsPanelVisible(panel), 1);
}

TEST_F(UserInterface, ListClicksReportTheRow) {
    for (int row = 0; row < 40; ++row) InsertListItem(panel, 9, -1, "row", 1000 + row);
    ASSERT_EQ(SimulateListDoubleClick(panel, 9, 2), 0);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (Event{panel, 9, EVENT_VAL_CHANGED, 2, 0}));  // the selection moved
    EXPECT_EQ(events[1], (Event{panel, 9, EVENT_LEFT_DOUBLE_CLICK, 2, 0}));
    int v = 0;
    GetCtrlVal(panel, 9, &v);
    EXPECT_EQ(v, 1002);

    // Rows far down the list too: the row is found under the click position.
    for (int row : {1, 37}) {
        events.clear();
        ASSERT_EQ(SimulateListRightClick(panel, 9, row), 0);
        ASSERT_EQ(events.size(), 1u) << row;
        EXPECT_EQ(events[0], (Event{panel, 9, EVENT_RIGHT_CLICK, row, 0}));
    }
    EXPECT_EQ(SimulateListDoubleClick(panel, 9, 40), UIE_BAD_INDEX);
    EXPECT_EQ(SimulateListRightClick(panel, 8, 0), UIE_BAD_TYPE);
}

TEST_F(UserInterface, MenuItemsCallBackWithBarItemAndPanel) {
    int bar = LoadMenuBar(panel, fixture.c_str(), 1);
    ASSERT_GT(bar, 0);
    ASSERT_EQ(SimulateMenuItem(bar, 2), 0);
    ASSERT_EQ(menu_calls.size(), 1u);
    EXPECT_EQ(menu_calls[0].menu_bar, bar);
    EXPECT_EQ(menu_calls[0].item, 2);
    EXPECT_EQ(menu_calls[0].panel, panel);
    EXPECT_EQ(menu_calls[0].data, nullptr);

    EXPECT_EQ(SimulateMenuItem(bar, 3), 0);  // no callback: nothing happens
    EXPECT_EQ(SimulateMenuItem(bar, 4), 0);  // dimmed in the resource
    EXPECT_EQ(menu_calls.size(), 1u);
    EXPECT_EQ(SimulateMenuItem(bar, 9), UIE_BAD_CONTROL);

    // Labels are literal: an '&' in a name stays an '&'.
    ASSERT_EQ(SetMenuBarAttribute(bar, 6, ATTR_ITEM_NAME, "R&D Tool"), 0);
    char name[32];
    GetMenuBarAttribute(bar, 6, ATTR_ITEM_NAME, name, sizeof name);
    EXPECT_STREQ(name, "R&D Tool");
    SetMenuBarAttribute(bar, 6, ATTR_CHECKED, 1);
    int checked = 0;
    GetMenuBarAttribute(bar, 6, ATTR_CHECKED, &checked);
    EXPECT_EQ(checked, 1);

    // A second bar replaces the first on the same panel.
    int again = LoadMenuBar(panel, fixture.c_str(), 1);
    ASSERT_GT(again, 0);
    EXPECT_EQ(SimulateMenuItem(bar, 2), UIE_BAD_RESOURCE);
    SimulateMenuItem(again, 6);
    EXPECT_EQ(menu_calls.back().menu_bar, again);
}

TEST_F(UserInterface, DimmingStopsUserActions) {
    int bar = LoadMenuBar(panel, fixture.c_str(), 1);
    SetCtrlAttribute(panel, 8, ATTR_DIMMED, 1);
    SetMenuBarAttribute(bar, 2, ATTR_DIMMED, 1);
    SimulateClick(panel, 8);
    SimulateMenuItem(bar, 2);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(menu_calls.empty());
    int dimmed = 0;
    GetCtrlAttribute(panel, 8, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 1);
    GetMenuBarAttribute(bar, 2, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 1);
    SetCtrlAttribute(panel, 8, ATTR_DIMMED, 0);
    SetMenuBarAttribute(bar, 2, ATTR_DIMMED, 0);

    // A dimmed panel takes nothing, menu bar included; its controls keep
    // their own dimmed state.
    SetPanelAttribute(panel, ATTR_DIMMED, 1);
    GetPanelAttribute(panel, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 1);
    SimulateClick(panel, 8);
    SimulateListDoubleClick(panel, 9, 0);
    SimulateCommit(panel, 4);
    SimulateMenuItem(bar, 2);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(menu_calls.empty());
    GetCtrlAttribute(panel, 8, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 0);

    SetPanelAttribute(panel, ATTR_DIMMED, 0);
    SimulateClick(panel, 8);
    SimulateMenuItem(bar, 2);
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(menu_calls.size(), 1u);
}

TEST_F(UserInterface, GetUserEventReportsCommitsOnce) {
    int p = 0, c = 0;
    EXPECT_EQ(GetUserEvent(0, &p, &c), 0);
    SimulateClick(panel, 14);  // no callback, still a commit
    ASSERT_EQ(GetUserEvent(0, &p, &c), 1);
    EXPECT_EQ(p, panel);
    EXPECT_EQ(c, 14);
    EXPECT_EQ(GetUserEvent(0, &p, &c), 0);

    // A click still waiting in Qt's queue is run by the call itself.
    QMetaObject::invokeMethod(CtrlWidget(panel, 14), "click", Qt::QueuedConnection);
    EXPECT_EQ(GetUserEvent(0, &p, &c), 1);
    EXPECT_EQ(c, 14);
}

TEST_F(UserInterface, ClicksDuringACallbackOnlyQueueTheirCommit) {
    poll_result = -1;
    SimulateClick(panel, 17);
    EXPECT_EQ(poll_result, 1);
    EXPECT_EQ(polled_panel, panel);
    EXPECT_EQ(polled_control, 8);
    for (const Event& e : events) EXPECT_NE(e.control, 8) << "callback ran inside another";
    // Control 17's own commit, raised after its left click returned.
    int p = 0, c = 0;
    ASSERT_EQ(GetUserEvent(0, &p, &c), 1);
    EXPECT_EQ(c, 17);
}

TEST_F(UserInterface, PanelsShowHideAndCentre) {
    EXPECT_EQ(IsPanelVisible(panel), 0);
    DisplayPanel(panel);
    EXPECT_EQ(IsPanelVisible(panel), 1);
    HidePanel(panel);
    EXPECT_EQ(IsPanelVisible(panel), 0);
    ASSERT_EQ(SetPanelPos(panel, VAL_AUTO_CENTER, VAL_AUTO_CENTER), 0);
    QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QRect frame = PanelWidget(panel)->frameGeometry();
    EXPECT_NEAR(frame.center().x(), screen.center().x(), 2);
    EXPECT_NEAR(frame.center().y(), screen.center().y(), 2);
    SetPanelPos(panel, 40, 30);
    EXPECT_EQ(PanelWidget(panel)->pos(), QPoint(30, 40));

    int visible = 1;
    SetCtrlAttribute(panel, 4, ATTR_VISIBLE, 0);
    GetCtrlAttribute(panel, 4, ATTR_VISIBLE, &visible);
    EXPECT_EQ(visible, 0);
    SetCtrlAttribute(panel, 4, ATTR_LABEL_TEXT, "Full name");
    char label[32];
    GetCtrlAttribute(panel, 4, ATTR_LABEL_TEXT, label, sizeof label);
    EXPECT_STREQ(label, "Full name");
    SetPanelAttribute(panel, ATTR_TITLE, "Renamed");
    GetPanelAttribute(panel, ATTR_TITLE, label, sizeof label);
    EXPECT_STREQ(label, "Renamed");
    EXPECT_EQ(SetPanelAttribute(panel, 592, 3), UIE_BAD_ATTRIBUTE);
}

// Fills the whole buffer it is given and no NUL, as a faulty dialog might.
struct OverlongPrompt : ScriptedPopups {
    int Prompt(const char*, const char*, char* buffer, int max_length) override {
        std::memset(buffer, 'x', static_cast<std::size_t>(max_length) + 1);
        return 0;
    }
};

TEST_F(UserInterface, PopUpsGoThroughTheHandler) {
    ScriptedPopups popups;
    MessagePopup("Note", "Hello");
    ASSERT_EQ(popups.Count(ScriptedPopups::MESSAGE), 1);
    EXPECT_EQ(popups.shown[0].title, "Note");
    EXPECT_EQ(popups.shown[0].text, "Hello");

    popups.confirm_answers = {1};
    EXPECT_EQ(ConfirmPopup("", "Sure?"), 1);
    EXPECT_EQ(ConfirmPopup("", "Sure?"), 0);  // unscripted: no

    char path[MAX_PATHNAME_LEN] = "unchanged";
    popups.file_answers = {{"/tmp/a.kvt", VAL_NEW_FILE_SELECTED}};
    EXPECT_EQ(FileSelectPopup("", "*.kvt", "", "Tables", VAL_SAVE_BUTTON, 0, 1, 1, 1, path),
              VAL_NEW_FILE_SELECTED);
    EXPECT_STREQ(path, "/tmp/a.kvt");
    EXPECT_EQ(popups.shown.back().button, VAL_SAVE_BUTTON);
    EXPECT_EQ(popups.shown.back().text, "*.kvt");
    std::strcpy(path, "unchanged");
    EXPECT_EQ(FileSelectPopup("", "*.kvt", "", "Tables", VAL_LOAD_BUTTON, 0, 1, 1, 1, path),
              VAL_NO_FILE_SELECTED);
    EXPECT_STREQ(path, "unchanged");

    char answer[8] = "dflt";
    popups.prompt_answers = {std::string("a much longer answer"), std::nullopt};
    EXPECT_EQ(PromptPopup("", "Name?", answer, 5), 0);
    EXPECT_STREQ(answer, "a muc");
    EXPECT_EQ(PromptPopup("", "Name?", answer, 5), -1);
    EXPECT_STREQ(answer, "a muc");  // a cancel leaves the buffer alone

    OverlongPrompt faulty;
    char guarded[8];
    std::memset(guarded, '#', sizeof guarded);
    EXPECT_EQ(PromptPopup("", "Name?", guarded, 5), 0);
    EXPECT_STREQ(guarded, "xxxxx");
    EXPECT_EQ(guarded[6], '#');
}

TEST_F(UserInterface, PrintsThePanelToAPdf) {
    TempDir dir;
    std::string pdf = dir.File("panel.pdf");
    setenv("ULDO_PRINT_PDF", pdf.c_str(), 1);
    double y[] = {0, 1, 4, 9, 16};
    PlotY(panel, 11, y, 5, VAL_DOUBLE, VAL_WHITE);
    int r = PrintPanel(panel);
    unsetenv("ULDO_PRINT_PDF");
    ASSERT_EQ(r, 0);
    std::vector<char> bytes = ReadBytes(pdf);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(std::string(bytes.data(), 4), "%PDF");
    EXPECT_EQ(PrintPanel(999), UIE_BAD_PANEL);
}

TEST_F(UserInterface, GraphsPlotScaleAndFollowTheirCursors) {
    auto* plot = static_cast<QCustomPlot*>(CtrlWidget(panel, 11));
    double y[] = {0, 1, 4, 9, 16, 25, 36, 49, 64, 81};
    int first = PlotY(panel, 11, y, 10, VAL_DOUBLE, VAL_WHITE);
    float xf[] = {-1.0f, 1.0f}, yf[] = {-2.0f, 2.0f};
    int second = PlotXY(panel, 11, xf, yf, 2, VAL_FLOAT, VAL_FLOAT, VAL_RED);
    EXPECT_GT(first, 0);
    EXPECT_GT(second, first);
    EXPECT_DOUBLE_EQ(plot->xAxis->range().lower, -1.0);  // autoscaled to both plots
    EXPECT_DOUBLE_EQ(plot->xAxis->range().upper, 9.0);
    EXPECT_DOUBLE_EQ(plot->yAxis->range().upper, 81.0);

    ASSERT_EQ(SetAxisRange(panel, 11, VAL_NO_CHANGE, 0, 0, VAL_MANUAL, -150, 0), 0);
    int third = PlotY(panel, 11, y, 5, VAL_DOUBLE, VAL_GREEN);
    EXPECT_DOUBLE_EQ(plot->yAxis->range().lower, -150.0);
    EXPECT_DOUBLE_EQ(plot->yAxis->range().upper, 0.0);
    EXPECT_DOUBLE_EQ(plot->xAxis->range().upper, 9.0);
    EXPECT_EQ(SetAxisRange(panel, 11, VAL_MANUAL, 5, 5, VAL_NO_CHANGE, 0, 0), UIE_BAD_INDEX);

    EXPECT_EQ(DeleteGraphPlot(panel, 11, second), 0);
    EXPECT_EQ(DeleteGraphPlot(panel, 11, second), UIE_BAD_INDEX);
    EXPECT_EQ(plot->plottableCount(), 2);
    DeleteGraphPlot(panel, 11, VAL_DELETE_ALL);
    EXPECT_EQ(plot->plottableCount(), 0);
    (void)third;

    // Dragging a cursor raises value changes and a commit, then reads back.
    SetAxisRange(panel, 11, VAL_MANUAL, 0, 10, VAL_MANUAL, 0, 10);
    ASSERT_EQ(SetGraphCursor(panel, 11, 1, 2.0, 2.0), 0);
    SetGraphCursor(panel, 11, 2, 8.0, 8.0);
    EXPECT_EQ(SetGraphCursor(panel, 11, 3, 0, 0), UIE_BAD_INDEX);
    DisplayPanel(panel);
    QApplication::processEvents();
    plot->replot();
    events.clear();
    QPointF from(plot->xAxis->coordToPixel(7.5), plot->yAxis->coordToPixel(7.5));
    QPointF to(plot->xAxis->coordToPixel(6.0), plot->yAxis->coordToPixel(5.0));
    QMouseEvent press(QEvent::MouseButtonPress, from, plot->mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, plot->mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &press);
    QApplication::sendEvent(plot, &release);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), (Event{panel, 11, EVENT_COMMIT, 2, 0}));  // the nearer cursor
    double cx = 0, cy = 0;
    GetGraphCursor(panel, 11, 2, &cx, &cy);
    EXPECT_NEAR(cx, 6.0, 0.1);
    EXPECT_NEAR(cy, 5.0, 0.1);
    GetGraphCursor(panel, 11, 1, &cx, &cy);
    EXPECT_DOUBLE_EQ(cx, 2.0);

    EXPECT_EQ(PlotY(panel, 4, y, 10, VAL_DOUBLE, VAL_WHITE), UIE_BAD_TYPE);
    EXPECT_EQ(PlotY(panel, 11, y, 10, 7, VAL_WHITE), UIE_BAD_TYPE);
}

TEST_F(UserInterface, CanvasDrawsPointsInBatches) {
    QWidget* canvas = CtrlWidget(panel, 12);
    ASSERT_EQ(CanvasStartBatchDraw(panel, 12), 0);
    CanvasDrawPoint(panel, 12, 5, 6, VAL_RED);
    CanvasDrawPoint(panel, 12, 39, 29, VAL_YELLOW);
    for (auto [x, y] : {std::pair{-1, 0}, {40, 0}, {0, 30}, {100000, -100000}})
        EXPECT_EQ(CanvasDrawPoint(panel, 12, x, y, VAL_WHITE), 0);  // clipped
    CanvasEndBatchDraw(panel, 12);
    QImage image = canvas->grab().toImage();
    EXPECT_EQ(image.pixel(5, 6), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(39, 29), qRgb(255, 255, 0));
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    CanvasClear(panel, 12);
    EXPECT_EQ(canvas->grab().toImage().pixel(5, 6), qRgb(0, 0, 0));
    EXPECT_EQ(CanvasDrawPoint(panel, 11, 0, 0, VAL_RED), UIE_BAD_TYPE);
}

TEST_F(UserInterface, IntensityPlotsReplaceTheirImage) {
    double z[6] = {0, 1, 2, 3, 4, 5};  // 3 columns, 2 rows
    EXPECT_GT(PlotIntensity(panel, 11, z, 3, 2, 0, 5), 0);
    EXPECT_GT(PlotIntensity(panel, 11, z, 3, 2, 0, 5), 0);
    auto* plot = static_cast<QCustomPlot*>(CtrlWidget(panel, 11));
    ASSERT_EQ(plot->plottableCount(), 1);
    auto* map = qobject_cast<QCPColorMap*>(plot->plottable(0));
    ASSERT_NE(map, nullptr);
    EXPECT_DOUBLE_EQ(map->data()->cell(2, 0), 2.0);
    EXPECT_DOUBLE_EQ(map->data()->cell(0, 1), 3.0);
    EXPECT_EQ(PlotIntensity(panel, 11, nullptr, 3, 2, 0, 5), UIE_BAD_INDEX);
}

// The program's own resource file: every panel and the menu bar load, with
// the callbacks that the program's code registers under these names.
int AnyCtrl(int, int, int, void*, int, int) { return 0; }
void AnyMenu(int, int, void*, int) {}

TEST_F(UserInterface, TheProgramsResourceFileLoadsCompletely) {
    int numbers[64];
    int count = ListUirPanels("uldo.uir", numbers, 64);
    ASSERT_GT(count, 0);
    std::set<std::string> ctrl_names, menu_names;
    static UirPanel def;
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(ReadUirPanel("uldo.uir", numbers[i], &def), 0) << numbers[i];
        if (def.callback[0]) ctrl_names.insert(def.callback);
        for (int c = 0; c < def.control_count; ++c)
            if (def.controls[c].callback[0]) ctrl_names.insert(def.controls[c].callback);
    }
    static UirMenuBar bar;
    ASSERT_EQ(ReadUirMenuBar("uldo.uir", 1, &bar), 0);
    for (int i = 0; i < bar.item_count; ++i)
        if (bar.items[i].callback[0]) menu_names.insert(bar.items[i].callback);
    EXPECT_TRUE(ctrl_names.count("CloseAbout") && ctrl_names.count("ShutDown1"));
    for (const std::string& name : ctrl_names) RegisterCtrlCallback(name.c_str(), AnyCtrl);
    for (const std::string& name : menu_names) RegisterMenuCallback(name.c_str(), AnyMenu);

    for (int resource : {3, 11, 27, 1, 5, 22, 2, 10, 12, 6, 21, 24, 13, 23, 8, 26, 17, 16, 19,
                         20, 18, 28, 7})
        EXPECT_GT(LoadPanel(0, "uldo.uir", resource), 0) << "panel " << resource;
    int main_panel = LoadPanel(0, "uldo.uir", 3);
    EXPECT_GT(LoadMenuBar(main_panel, "uldo.uir", 1), 0);

    // The numbers and callbacks that the program's code relies on.
    struct Item {
        int number;
        const char* callback;
    };
    const Item items[] = {{2, "LoadFile"},     {4, "AppendFile"},  {5, "NewTable"},
                          {7, "save"},         {8, "saveas"},      {10, "LoadSetup"},
                          {11, "SaveSetupAs"}, {13, "Shutdown"},   {15, "AcquireData"},
                          {24, "CallExtApp"},  {25, "CallExtApp"}, {27, "HelpTop"},
                          {28, "OpenAbout"},   {17, "GeneralOptions"}, {18, "InstrumentOptions"},
                          {19, "CompileOptions"}};
    for (const Item& item : items) {
        const UirMenuItem* found = nullptr;
        for (int i = 0; i < bar.item_count; ++i)
            if (bar.items[i].number == item.number) found = &bar.items[i];
        ASSERT_NE(found, nullptr) << item.number;
        EXPECT_STREQ(found->callback, item.callback) << item.number;
    }
    struct Control {
        int panel, number, kind;
        const char* callback;
    };
    const Control controls[] = {
        {3, 2, KIND_LISTBOX, "EditLine"}, {3, 3, KIND_BUTTON, "Compile2"}, {3, 10, KIND_TEXT, ""},
        {3, 14, KIND_BUTTON, "AddLine"}, {3, 15, KIND_BUTTON, "DeleteLine"}, {3, 16, KIND_BUTTON, "LAsist"},
        {3, 11, KIND_TEXT, ""},     {3, 12, KIND_BUTTON, "ShutDown1"},
        {1, 2, KIND_BUTTON, "CloseAbout"},
        {5, 2, KIND_NUMERIC, ""},   {5, 3, KIND_PROGRESS, ""}, {5, 4, KIND_BUTTON, ""},
        {5, 5, KIND_TEXT, ""},      {22, 2, KIND_GRAPH, ""},   {22, 23, KIND_TEXT, ""},
        {22, 24, KIND_TEXT, ""},
    };
    for (const Control& c : controls) {
        ASSERT_EQ(ReadUirPanel("uldo.uir", c.panel, &def), 0);
        const UirControl* found = nullptr;
        for (int i = 0; i < def.control_count; ++i)
            if (def.controls[i].number == c.number) found = &def.controls[i];
        ASSERT_NE(found, nullptr) << c.panel << "/" << c.number;
        EXPECT_EQ(found->kind, c.kind) << c.panel << "/" << c.number;
        EXPECT_STREQ(found->callback, c.callback) << c.panel << "/" << c.number;
    }
    // The comment field holds what the 200-byte comment record holds.
    char comment[300];
    std::string longer(250, 'c');
    SetCtrlVal(main_panel, 10, longer.c_str());
    GetCtrlVal(main_panel, 10, comment);
    EXPECT_EQ(std::strlen(comment), 199u);
}

}  // namespace
