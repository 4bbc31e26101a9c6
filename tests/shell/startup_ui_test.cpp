// Start-up, exit and the file menu, driven as a user would through the UI seam.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

#include "compile/engine.h"
#include "editors/tableview_ui.h"
#include "shell/fileforms.h"
#include "shell/filemenu_ui.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/recordfiles.h"
#include "shell/startup_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QWidget>

#include "shell/widgets_ui.h"
#include "support/scripted_popups_ui.h"
#include "support/app_ui.h"
#include "support/tempdir.h"

extern const unsigned char uir_resource[];
extern const std::size_t uir_resource_size;

namespace {

void MakeTable(int count, float first_hz) {
    ResetRecords();
    for (int i = 0; i < count; ++i) {
        signals[i].frequency_hz = first_hz + 1e6f * i;
        signals[i].amplitude = 1.0f;
        signals[i].symbol_rate = 1e6f;
        signals[i].modulation = MOD_QPSK;
        signals[i].filter_type = FILTER_SQRT_RCOS;
        signals[i].filter_param = 0.35f;
        signals[i].filter_length = 9;
    }
    signals[count].frequency_hz = -1.0f;
}

std::string Row(int index) {
    char text[256];
    if (GetLabelFromIndex(handle, MAIN_CARRIER_LIST, index, text, sizeof text) < 0) return "";
    return text;
}

int Rows() {
    int n = -1;
    GetNumListItems(handle, MAIN_CARRIER_LIST, &n);
    return n;
}

int Dimmed(int item) {
    int d = -1;
    GetMenuBarAttribute(handle0, item, ATTR_DIMMED, &d);
    return d;
}

class Shell : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        setenv("ULDO_HOME", home.path().c_str(), 1);
        std::filesystem::copy_file(std::string(ULDO_SOURCE_DIR) + "/resources/origin.res",
                                   home.File("origin.res"));
        start_dir = std::filesystem::current_path();
    }

    void TearDown() override {
        std::filesystem::current_path(start_dir);
        unsetenv("ULDO_HOME");
        if (had_user_home) setenv("HOME", user_home.c_str(), 1);
        GuiFixture::TearDown();
    }
    const char* user_home_env = std::getenv("HOME");
    bool had_user_home = user_home_env != nullptr;
    std::string user_home = user_home_env ? user_home_env : "";

    void Start(std::vector<std::string> args = {}) {
        args.insert(args.begin(), "uldo");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        StartUp(static_cast<int>(args.size()), argv.data());
    }

    // A saved table of `count` carriers; the records are reset afterwards.
    std::string SavedTable(const std::string& name, int count, float first_hz,
                           const char* text = "") {
        MakeTable(count, first_hz);
        SetField(comment, text);
        std::string path = files.File(name);
        EXPECT_EQ(WriteTableFile(path.c_str()), 0);
        ResetRecords();
        return path;
    }

    TempDir home;    // the program's own directory
    TempDir files;   // the user's files
    std::filesystem::path start_dir;
    ScriptedPopups popups;
};

// The first line of a file pop-up, and the line that names the file and why.
std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }
std::string SecondLine(const std::string& text) {
    size_t at = text.find('\n');
    return at == std::string::npos ? "" : text.substr(at + 1);
}

TEST_F(Shell, FirstStartTakesTheDefaultsSilentlyOnAnEmptyTable) {
    setenv("HOME", files.path().c_str(), 1);
    Start();
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(std::filesystem::current_path(), home.path());
    EXPECT_TRUE(IsPanelVisible(handle));
    for (int h : {handle0, handle2, handle3, handle5, handle6, handle7, handle8, handle9, handle10,
                  handle11, handle13, handle14, handle18, handle19, handle20, handle21, handle22,
                  handle23, handle24, handle25, handle26, handle30})
        EXPECT_GT(h, 0);
    EXPECT_FALSE(IsPanelVisible(handle10));   // splash gone
    EXPECT_FALSE(IsPanelVisible(handle9));
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(globals.reference_carrier, 0);
    int dimmed = 0;
    GetCtrlAttribute(handle, MAIN_CARRIER_BUTTON, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 1);
    EXPECT_EQ(Dimmed(MENU_COMPILE), 1);
    EXPECT_EQ(Dimmed(MENU_SAVE), 1);
    // uldoc's defaults, with the user's home for waveforms and data.
    EXPECT_EQ(globals.compile_mode, 0);
    EXPECT_EQ(globals.compile_length, 100000);
    EXPECT_EQ(globals.sample_clock, 2.5f);
    EXPECT_EQ(globals.instrument_type, 0);
    EXPECT_EQ(globals.output_destination, 1);
    EXPECT_EQ(globals.output_rf, 1);
    EXPECT_EQ(globals.output_baseband_i + globals.output_baseband_q, 0);
    EXPECT_EQ(globals.normalization_mode, 0);
    EXPECT_EQ(globals.max_record_length, 16000000);
    EXPECT_EQ(globals.record_granularity, 1);
    EXPECT_EQ(FieldText(globals.waveform_dir), files.path().string());
    EXPECT_EQ(FieldText(globals.data_dir), files.path().string());
}

// With an empty program directory the example compiles straight away.
TEST_F(Shell, FirstStartCompilesTheExampleWithoutASetup) {
    setenv("HOME", files.path().c_str(), 1);
    std::filesystem::current_path(std::string(ULDO_SOURCE_DIR));
    Start({"examples/mixed.kvt"});
    EXPECT_EQ(Rows(), 6);
    std::string wave = files.File("mixed.wfm");
    popups.file_answers = {{wave, VAL_NEW_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_COMPILE);
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(numpoints, 100000);
    EXPECT_GT(ReadBytes(wave).size(), 500000u);
}

TEST_F(Shell, UnreadableOrShortSettingsAreReported) {
    GlobalSettings saved{};
    SetField(saved.data_dir, "/srv/tables");
    SetField(saved.ext_app1_name, "Scope");
    saved.compile_length = 1234;
    saved.carrier_count = 7;
    saved.reference_carrier = 3;
    saved.ftp_port = 21;
    // A short file: cut after reference_carrier, so the later fields stay zero.
    WriteBytes(home.File("globals.set"), &saved, 812);
    Start();
    ASSERT_EQ(popups.Count(ScriptedPopups::MESSAGE), 1);
    std::string text = popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(FirstLine(text), "File Opening Error (0)");
    EXPECT_EQ(SecondLine(text), home.File("globals.set") + ": holds 812 of 1408 bytes; the rest is zero");
    EXPECT_STREQ(globals.data_dir, "/srv/tables");
    EXPECT_EQ(globals.compile_length, 1234);
    EXPECT_EQ(globals.carrier_count, 0);
    EXPECT_EQ(globals.reference_carrier, 0);
    EXPECT_EQ(globals.ftp_port, 0);
    EXPECT_EQ(globals.ext_app1_name[0], 0);

    ResetUserInterface();
    ResetRecords();
    std::filesystem::remove(home.File("globals.set"));
    std::filesystem::create_directory(home.File("globals.set"));
    Start();
    text = popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(FirstLine(text), "File Opening Error (0)");
    EXPECT_EQ(SecondLine(text).rfind(home.File("globals.set") + ": ", 0), 0u) << text;
    EXPECT_EQ(globals.compile_length, 0);   // no defaults over a file that is there
}

TEST_F(Shell, CommandLineLoadsATableOnlyWithExactlyOneArgument) {
    std::string path = SavedTable("three.kvt", 3, 10e6f, "from the command line");
    // Relative to the directory the program was started in, not its own.
    std::filesystem::current_path(files.path());
    Start({"three.kvt"});
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(std::filesystem::current_path(), home.path());
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(FieldText(globals.table_file), path);
    EXPECT_EQ(globals.reference_carrier, 1);
    EXPECT_EQ(globals.carrier_count, 3);
    EXPECT_EQ(globals.current_carrier, 3);
    EXPECT_EQ(Row(0).substr(0, 18), "*  1|    10.000000");
    EXPECT_EQ(Row(1)[0], ' ');
    char text[256];
    GetCtrlVal(handle, MAIN_COMMENT, text);
    EXPECT_STREQ(text, "from the command line");
    EXPECT_EQ(Dimmed(MENU_SAVE), 0);
    EXPECT_EQ(Dimmed(MENU_COMPILE), 0);

    ResetUserInterface();
    ResetRecords();
    Start({path, path});
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(globals.reference_carrier, 0);

    ResetUserInterface();
    ResetRecords();
    std::filesystem::current_path(files.path());
    Start({"missing.kvt"});
    std::string shown = popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(FirstLine(shown), "File Opening Error (3)");
    EXPECT_NE(SecondLine(shown).find(files.File("missing.kvt")), std::string::npos) << shown;
    EXPECT_NE(SecondLine(shown).find("No such file or directory"), std::string::npos) << shown;
    EXPECT_EQ(Rows(), 0);
}

TEST_F(Shell, ExitWritesSettingsOnlyAfterYes) {
    Start();
    SetField(globals.waveform_dir, "/waves");
    std::string settings = home.File("globals.set");

    popups.confirm_answers = {0, 0};
    SimulateMenuItem(handle0, MENU_EXIT);
    EXPECT_EQ(popups.Last(ScriptedPopups::CONFIRM), "Do you really want to exit?");
    PanelWidget(handle)->close();   // the window's close button asks the same
    EXPECT_EQ(popups.Count(ScriptedPopups::CONFIRM), 2);
    EXPECT_TRUE(IsPanelVisible(handle));
    EXPECT_FALSE(std::filesystem::exists(settings));

    std::filesystem::current_path(files.path());   // exit goes back to the program's directory
    popups.confirm_answers = {1};
    SimulateClick(handle, MAIN_EXIT);
    std::vector<char> bytes = ReadBytes(settings);
    ASSERT_EQ(bytes.size(), 1408u);
    EXPECT_EQ(std::memcmp(bytes.data(), &globals, 1408), 0);
}

TEST_F(Shell, UnwritableSettingsAreReportedAndTheOldFileKept) {
    Start();
    std::filesystem::create_directory(home.File("globals.set"));  // cannot be replaced by a file
    popups.confirm_answers = {1};
    SimulateMenuItem(handle0, MENU_EXIT);
    std::string text = popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(FirstLine(text), "File Opening Error (1)");
    EXPECT_EQ(SecondLine(text).rfind(home.File("globals.set") + ": ", 0), 0u) << text;
    EXPECT_TRUE(std::filesystem::is_directory(home.File("globals.set")));
}

TEST_F(Shell, LoadAppendSaveAndNewTable) {
    std::string two = SavedTable("two.kvt", 2, 5e6f, "two");
    std::string three = SavedTable("three.kvt", 3, 50e6f, "three");
    Start();
    SetField(globals.data_dir, files.path().string());

    popups.file_answers = {{two, VAL_EXISTING_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_LOAD);
    ASSERT_EQ(popups.Count(ScriptedPopups::FILE_SELECT), 1);
    EXPECT_EQ(popups.shown.back().title, "Table Files");
    EXPECT_EQ(popups.shown.back().button, VAL_LOAD_BUTTON);
    EXPECT_EQ(Rows(), 2);

    globals.reference_carrier = 2;
    popups.file_answers = {{three, VAL_EXISTING_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_APPEND);
    EXPECT_EQ(Rows(), 5);
    EXPECT_EQ(globals.carrier_count, 5);
    EXPECT_EQ(globals.current_carrier, 5);
    EXPECT_EQ(globals.reference_carrier, 2);
    EXPECT_EQ(FieldText(globals.table_file), two);   // Save still means the loaded table
    EXPECT_EQ(Dimmed(MENU_SAVE), 0);
    EXPECT_STREQ(comment, "three");
    EXPECT_EQ(Row(2).substr(0, 18), "   3|    50.000000");

    // Save writes the comment as edited on the main panel.
    SetCtrlVal(handle, MAIN_COMMENT, "edited");
    std::string out = files.File("out.kvt");
    popups.file_answers = {{out, VAL_NEW_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_SAVE_AS);
    EXPECT_EQ(FieldText(globals.table_file), out);
    std::vector<char> bytes = ReadBytes(out);
    ASSERT_EQ(bytes.size(), 94210u);
    EXPECT_STREQ(bytes.data() + 10, "edited");
    EXPECT_EQ(std::memcmp(bytes.data() + 210, signals, sizeof signals), 0);

    // A new table belongs to no file: Save stays dimmed, also after an Append.
    SimulateMenuItem(handle0, MENU_NEW);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Dimmed(MENU_SAVE), 1);
    EXPECT_EQ(globals.carrier_count + globals.current_carrier + globals.reference_carrier, 0);
    EXPECT_EQ(FieldText(globals.table_file), "");
    popups.file_answers = {{two, VAL_EXISTING_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_APPEND);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Dimmed(MENU_SAVE), 1);
    EXPECT_EQ(FieldText(globals.table_file), "");
    EXPECT_EQ(globals.reference_carrier, 1);   // a table with carriers has a reference
    EXPECT_EQ(Row(0)[0], '*');

    popups.file_answers = {{out, VAL_EXISTING_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_LOAD);
    EXPECT_EQ(Rows(), 5);
    EXPECT_EQ(globals.reference_carrier, 1);
    EXPECT_EQ(Dimmed(MENU_SAVE), 0);
    SimulateMenuItem(handle0, MENU_SAVE);
    EXPECT_EQ(ReadBytes(out), bytes);
}

TEST_F(Shell, FileErrorsNameTheFileAndTouchNothing) {
    Start();
    std::string missing = files.File("missing.kvt");
    std::string nowhere = files.File("no/such/dir/x.kvt");
    struct Case {
        int item;
        std::string path;
        const char* first;
    } cases[] = {{MENU_LOAD, missing, "File Opening Error (2)"},
                 {MENU_APPEND, missing, "File Opening Error (4)"},
                 {MENU_LOAD_SETUP, missing, "File Opening Error (7)"},
                 {MENU_SAVE_AS, nowhere, "File Opening Error (5)"},
                 {MENU_SAVE_SETUP, nowhere, "File Opening Error (8)"}};
    for (const Case& c : cases) {
        popups.file_answers = {{c.path, VAL_NEW_FILE_SELECTED}};
        SimulateMenuItem(handle0, c.item);
        std::string text = popups.Last(ScriptedPopups::MESSAGE);
        EXPECT_EQ(FirstLine(text), c.first);
        EXPECT_EQ(SecondLine(text).rfind(c.path + ": ", 0), 0u) << text;
    }
    // A failed Save changes nothing in memory, not even the comment.
    SetField(comment, "before");
    SetCtrlVal(handle, MAIN_COMMENT, "typed");
    SetField(globals.table_file, nowhere);
    save(handle0, MENU_SAVE, nullptr, handle);   // the item itself is dimmed without a table
    EXPECT_EQ(FirstLine(popups.Last(ScriptedPopups::MESSAGE)), "File Opening Error (6)");
    EXPECT_STREQ(comment, "before");
    SetField(globals.table_file, missing);
    LoadLastFile(handle0, 0, nullptr, handle);
    EXPECT_EQ(FirstLine(popups.Last(ScriptedPopups::MESSAGE)), "File Opening Error (3)");
    EXPECT_EQ(FieldText(globals.table_file), missing);
    EXPECT_EQ(signals[0].frequency_hz, -1.0f);

    size_t shown = popups.shown.size();
    SimulateMenuItem(handle0, MENU_LOAD);   // unscripted: the user cancels
    EXPECT_EQ(popups.shown.size(), shown + 1);
    EXPECT_EQ(signals[0].frequency_hz, -1.0f);
}

// Only carrier tables load, in either form; anything else changes nothing:
// not the table, not its file name, not the Save command.
TEST_F(Shell, LoadTakesTablesOfEitherFormAndRefusesTheRest) {
    std::string loaded = SavedTable("loaded.kvt", 2, 5e6f, "kept");
    Start({loaded});
    SetField(globals.data_dir, files.path().string());
    std::vector<char> before(reinterpret_cast<char*>(signals), reinterpret_cast<char*>(signals) + sizeof signals);

    std::string text_file = files.File("notes.kvt");
    WriteBytes(text_file, "hello\n", 6);
    std::string setup = files.File("a.set");
    GlobalSettings settings{};
    ASSERT_EQ(WriteSettingsFile(setup.c_str(), &settings), 0);
    for (const std::string& path : {text_file, setup, files.File("missing.kvt")}) {
        popups.file_answers = {{path, VAL_EXISTING_FILE_SELECTED}};
        SimulateMenuItem(handle0, MENU_LOAD);
        std::string text = popups.Last(ScriptedPopups::MESSAGE);
        EXPECT_EQ(FirstLine(text), "File Opening Error (2)") << path;
        EXPECT_EQ(SecondLine(text).rfind(path + ": ", 0), 0u) << text;
        EXPECT_EQ(FieldText(globals.table_file), loaded);
        EXPECT_STREQ(comment, "kept");
        EXPECT_EQ(std::memcmp(before.data(), signals, sizeof signals), 0) << path;
        EXPECT_EQ(Dimmed(MENU_SAVE), 0);
    }
    EXPECT_EQ(ReadBytes(text_file).size(), 6u);

    // The JSON form loads the same table as its binary image.
    popups.file_answers = {{std::string(ULDO_SOURCE_DIR) + "/examples/mixed.json", VAL_EXISTING_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_LOAD);
    std::vector<char> from_json(reinterpret_cast<char*>(signals), reinterpret_cast<char*>(signals) + sizeof signals);
    std::string json_comment = comment;
    popups.file_answers = {{std::string(ULDO_SOURCE_DIR) + "/examples/mixed.kvt", VAL_EXISTING_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_LOAD);
    EXPECT_EQ(std::memcmp(from_json.data(), signals, sizeof signals), 0);
    EXPECT_EQ(json_comment, comment);
    EXPECT_EQ(Rows(), 6);
    EXPECT_EQ(popups.shown.back().text, "*.kvt *.json");

    // A shorter image fills what it holds.
    std::vector<char> image = ReadBytes(loaded);
    std::string cut = files.File("cut.kvt");
    WriteBytes(cut, image.data(), 210 + 940);
    popups.file_answers = {{cut, VAL_EXISTING_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_LOAD);
    EXPECT_EQ(FieldText(globals.table_file), cut);
    EXPECT_STREQ(comment, "kept");
    EXPECT_EQ(signals[0].frequency_hz, 5e6f);
}

// Save writes the form its file's name asks for, and never into a file that
// was only appended.
TEST_F(Shell, AppendsThenSaveWriteTheLoadedTableOnly) {
    for (const char* name : {"mixed.kvt", "cable64.kvt", "3gpp.kvt"})
        std::filesystem::copy_file(std::string(ULDO_SOURCE_DIR) + "/examples/" + name, files.File(name));
    std::vector<char> cable = ReadBytes(files.File("cable64.kvt"));
    std::vector<char> tgpp = ReadBytes(files.File("3gpp.kvt"));
    Start({files.File("mixed.kvt")});
    for (const char* name : {"cable64.kvt", "3gpp.kvt"}) {
        popups.file_answers = {{files.File(name), VAL_EXISTING_FILE_SELECTED}};
        SimulateMenuItem(handle0, MENU_APPEND);
    }
    int rows = Rows();
    EXPECT_EQ(rows, 12);
    SimulateMenuItem(handle0, MENU_SAVE);
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(ReadBytes(files.File("3gpp.kvt")), tgpp);
    EXPECT_EQ(ReadBytes(files.File("cable64.kvt")), cable);
    std::vector<char> saved = ReadBytes(files.File("mixed.kvt"));
    ASSERT_EQ(saved.size(), 94210u);
    EXPECT_EQ(std::memcmp(saved.data() + 210, signals, sizeof signals), 0);

    std::string json = files.File("all.json");
    popups.file_answers = {{json, VAL_NEW_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_SAVE_AS);
    EXPECT_EQ(popups.shown.back().text, "*.kvt");
    std::vector<char> text = ReadBytes(json);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], '{');
    EXPECT_EQ(FieldText(globals.table_file), json);
    SimulateMenuItem(handle0, MENU_NEW);
    popups.file_answers = {{json, VAL_EXISTING_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_LOAD);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(std::memcmp(saved.data() + 210, signals, sizeof signals), 0);
}

// The comment is Windows-1252 text: loading and saving keeps its bytes, also
// a full field of accented characters.
TEST_F(Shell, LoadAndSaveKeepTheCommentBytes) {
    std::string accented(COMMENT_SIZE - 1, '\xE9');
    std::string path = SavedTable("accents.kvt", 2, 5e6f, accented.c_str());
    std::vector<char> stored = ReadBytes(path);
    Start({path});
    char field[COMMENT_SIZE];
    GetCtrlVal(handle, MAIN_COMMENT, field);
    EXPECT_EQ(std::string(field), accented);
    SimulateMenuItem(handle0, MENU_SAVE);
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(ReadBytes(path), stored);
}

TEST_F(Shell, AppendBeyondTheTableSaysHowManyWereLeftOut) {
    std::string many = SavedTable("many.kvt", 60, 1e6f);
    Start();
    popups.file_answers = {{many, VAL_EXISTING_FILE_SELECTED}, {many, VAL_EXISTING_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_APPEND);
    EXPECT_EQ(Rows(), 60);
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0);
    SimulateMenuItem(handle0, MENU_APPEND);
    EXPECT_EQ(Rows(), 100);
    EXPECT_EQ(globals.carrier_count, 100);
    EXPECT_NE(popups.Last(ScriptedPopups::MESSAGE).find("20 carriers"), std::string::npos)
        << popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(Row(99).substr(0, 4), " 100");
}

TEST_F(Shell, SetupFilesKeepTheTableAndItsName) {
    std::string table = SavedTable("t.kvt", 2, 3e6f);
    Start({table});
    GlobalSettings setup{};
    SetField(setup.table_file, "/elsewhere.kvt");
    SetField(setup.ext_app1_name, "Analyzer");
    SetField(setup.ext_app2_name, "Editor");
    setup.carrier_count = 42;
    setup.reference_carrier = 2;
    setup.instrument_type = 5;
    std::string path = files.File("a.set");
    ASSERT_EQ(WriteSettingsFile(path.c_str(), &setup), 0);

    popups.file_answers = {{path, VAL_EXISTING_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_LOAD_SETUP);
    EXPECT_EQ(popups.shown.back().title, "Setup Files");
    EXPECT_EQ(globals.carrier_count, 2);
    EXPECT_EQ(globals.current_carrier, 2);
    EXPECT_EQ(FieldText(globals.table_file), table);
    EXPECT_EQ(globals.reference_carrier, 2);
    EXPECT_EQ(Row(0)[0], ' ');   // the mark follows the setup's reference
    EXPECT_EQ(Row(1)[0], '*');
    EXPECT_EQ(globals.instrument_type, 5);
    char label[64];
    GetMenuBarAttribute(handle0, MENU_APP1, ATTR_ITEM_NAME, label, sizeof label);
    EXPECT_STREQ(label, "Analyzer");
    GetMenuBarAttribute(handle0, MENU_APP2, ATTR_ITEM_NAME, label, sizeof label);
    EXPECT_STREQ(label, "Editor");

    std::string out = files.File("b.set");
    popups.file_answers = {{out, VAL_NEW_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_SAVE_SETUP);
    std::vector<char> bytes = ReadBytes(out);
    ASSERT_EQ(bytes.size(), 1408u);
    EXPECT_EQ(std::memcmp(bytes.data(), &globals, 1408), 0);
    EXPECT_EQ(FieldText(globals.table_file), table);   // Save still writes the table

    // A setup without a reference among the carriers leaves carrier 1 the reference;
    // the JSON form loads too.
    setup.reference_carrier = 0;
    std::string json = files.File("c.json");
    ASSERT_EQ(SaveSetupForm(json.c_str(), &setup), 0);
    popups.file_answers = {{json, VAL_EXISTING_FILE_SELECTED}};
    SimulateMenuItem(handle0, MENU_LOAD_SETUP);
    EXPECT_EQ(popups.Count(ScriptedPopups::MESSAGE), 0) << popups.Last(ScriptedPopups::MESSAGE);
    EXPECT_EQ(globals.reference_carrier, 1);
    EXPECT_EQ(Row(0)[0], '*');
}

TEST_F(Shell, AboutPanelAndExternalApplications) {
    Start();
    SimulateMenuItem(handle0, MENU_ABOUT);
    EXPECT_TRUE(IsPanelVisible(handle9));
    SimulateClick(handle9, ABOUT_OK);
    EXPECT_FALSE(IsPanelVisible(handle9));
    EXPECT_TRUE(IsPanelVisible(handle));

    std::string marker = files.File("app2-ran");
    SetField(globals.ext_app2_command, "touch '" + marker + "'");
    SimulateMenuItem(handle0, MENU_APP2);
    for (int i = 0; i < 200 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(std::filesystem::exists(marker));
}

// The heading names stand over the columns of the rows, in the rows' font.
TEST_F(Shell, CarrierListHasColumnHeadings) {
    std::string path = SavedTable("one.kvt", 1, 10e6f);
    Start({path});
    char heading[256];
    GetCtrlVal(handle, MAIN_HEADING, heading);
    std::string head = heading, row = Row(0);
    // The columns of a row: the spans between its separators.
    std::vector<size_t> bars = {0};
    for (size_t at = row.find('|'); at != std::string::npos; at = row.find('|', at + 1)) bars.push_back(at);
    bars.push_back(row.size() + 10);
    const char* names[] = {"No.", "Frequency MHz", "Amplitude", "Symbol rate M/s", "Modulation", "Filter", "Parameter"};
    ASSERT_EQ(bars.size(), std::size(names) + 1) << row;
    for (size_t k = 0; k < std::size(names); ++k) {
        size_t at = head.find(names[k]);
        ASSERT_NE(at, std::string::npos) << names[k];
        size_t middle = at + std::strlen(names[k]) / 2;
        EXPECT_GT(middle, bars[k]) << names[k];
        EXPECT_LT(middle, bars[k + 1]) << names[k];
    }
    QFont list = CtrlWidget(handle, MAIN_CARRIER_LIST)->font();
    QFont label = CtrlWidget(handle, MAIN_HEADING)->font();
    EXPECT_TRUE(QFontInfo(list).fixedPitch());
    EXPECT_EQ(QFontInfo(label).family(), QFontInfo(list).family());
    EXPECT_EQ(label.pixelSize(), list.pixelSize());
}

TEST_F(Shell, MenusHaveMnemonicsAndShortcuts) {
    Start();
    struct Case {
        int item;
        const char* text;
        const char* keys;
    } cases[] = {{MENU_LOAD, "&Load Table...", "Ctrl+O"},  {MENU_NEW, "&New Table", "Ctrl+N"},
                 {MENU_SAVE, "&Save Table", "Ctrl+S"},      {MENU_SAVE_AS, "Sa&ve Table As...", "Ctrl+Shift+S"},
                 {MENU_EXIT, "E&xit", "Ctrl+Q"},            {MENU_COMPILE, "&Compile", "F5"}};
    for (const Case& c : cases) {
        QAction* action = MenuItemAction(handle0, c.item);
        ASSERT_TRUE(action) << c.item;
        EXPECT_EQ(action->text().toStdString(), c.text);
        EXPECT_EQ(action->shortcut(), QKeySequence(QString(c.keys))) << c.keys;
    }
    // The label as the program reads it has no marker.
    char label[64];
    GetMenuBarAttribute(handle0, MENU_SAVE_AS, ATTR_ITEM_NAME, label, sizeof label);
    EXPECT_STREQ(label, "Save Table As...");
    // Ctrl+Q goes through the exit question.
    popups.confirm_answers = {0};
    MenuItemAction(handle0, MENU_EXIT)->trigger();
    EXPECT_EQ(popups.Last(ScriptedPopups::CONFIRM), "Do you really want to exit?");
}

TEST_F(Shell, MainPanelGrowsAndTheAboutPanelClosesWithEscape) {
    Start();
    QWidget* window = PanelWidget(handle);
    QWidget* list = CtrlWidget(handle, MAIN_CARRIER_LIST);
    QWidget* exit = CtrlWidget(handle, MAIN_EXIT);
    QSize before = list->size();
    QSize button = exit->size();
    window->resize(window->width() + 200, window->height() + 200);
    QApplication::processEvents();
    EXPECT_GT(list->width(), before.width() + 150);
    EXPECT_GT(list->height(), before.height() + 100);
    EXPECT_EQ(exit->size(), button);
    EXPECT_LE(list->geometry().bottom(), CtrlWidget(handle, MAIN_CARRIER_BUTTON)->geometry().top());

    SimulateMenuItem(handle0, MENU_ABOUT);
    ASSERT_TRUE(IsPanelVisible(handle9));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(PanelWidget(handle9), &escape);
    EXPECT_FALSE(IsPanelVisible(handle9));
    SimulateMenuItem(handle0, MENU_ABOUT);
    PanelWidget(handle9)->close();
    EXPECT_FALSE(IsPanelVisible(handle9));
    EXPECT_TRUE(IsPanelVisible(handle));
}

// Every callback the resource file names is bound, and the numbers the code
// uses exist there with the kind the code expects.
TEST_F(Shell, ResourceFileMatchesTheProgram) {
    RegisterUldoCallbacks();
    auto uir = nlohmann::json::parse(uir_resource, uir_resource + uir_resource_size);
    for (const auto& panel : uir.at("panels")) {
        int h = LoadPanel(0, "uldo.uir", panel.at("resource").get<int>());
        EXPECT_GT(h, 0) << "panel " << panel.at("resource");
    }
    int main_panel = LoadPanel(0, "uldo.uir", PANEL_MAIN);
    for (const auto& bar : uir.at("menubars"))
        EXPECT_GT(LoadMenuBar(main_panel, "uldo.uir", bar.at("resource").get<int>()), 0);

    auto kind_of = [&](int resource, int control) -> std::string {
        for (const auto& panel : uir.at("panels"))
            if (panel.at("resource") == resource)
                for (const auto& c : panel.at("controls"))
                    if (c.value("number", 0) == control) return c.at("kind").get<std::string>();
        return "";
    };
    EXPECT_EQ(kind_of(PANEL_MAIN, MAIN_CARRIER_LIST), "listbox");
    EXPECT_EQ(kind_of(PANEL_MAIN, MAIN_CARRIER_BUTTON), "button");
    EXPECT_EQ(kind_of(PANEL_MAIN, MAIN_COMMENT), "text");
    EXPECT_EQ(kind_of(PANEL_MAIN, MAIN_TABLE_FILE), "text");
    EXPECT_EQ(kind_of(PANEL_ABOUT, ABOUT_OK), "button");
    EXPECT_EQ(kind_of(PANEL_PROGRESS, PROGRESS_CANCEL), "button");
    EXPECT_EQ(kind_of(PANEL_PROGRESS, PROGRESS_STATUS), "text");
    EXPECT_EQ(kind_of(PANEL_ANALYSIS, ANALYSIS_MODULATION), "text");

    std::set<int> items;
    for (const auto& menu : uir.at("menubars")[0].at("menus"))
        for (const auto& item : menu.at("items")) items.insert(item.value("number", 0));
    for (int item : {MENU_LOAD, MENU_APPEND, MENU_NEW, MENU_SAVE, MENU_SAVE_AS, MENU_LOAD_SETUP,
                     MENU_SAVE_SETUP, MENU_EXIT, MENU_COMPILE, MENU_APP1, MENU_APP2, MENU_HELP,
                     MENU_ABOUT})
        EXPECT_TRUE(items.count(item)) << item;
}

}  // namespace
