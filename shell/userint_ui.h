// ULDO's run-time user-interface services: panels, controls, menus, pop-ups,
// the event loop and printing, as a small procedural layer on Qt 6 Widgets.
//
// Panels and menu bars come from the resource file "uldo.uir" (JSON, built into
// the program). Panels are addressed by handle, controls by their number in the
// resource file, menu items by their number. Callbacks are bound by name through
// the callback registry. Everything runs on the one user-interface thread.
//
// This header is free of Qt so that panel code reads as plain procedural code.
#pragma once

#include <cstddef>
#include <string>

// Events passed to control callbacks.
enum {
    EVENT_COMMIT = 1,
    EVENT_VAL_CHANGED = 2,
    EVENT_LEFT_CLICK = 3,
    EVENT_LEFT_DOUBLE_CLICK = 4,
    EVENT_RIGHT_CLICK = 5,
    EVENT_CLOSE = 6,       // panel callback: the window's close button was pressed
};

// Attributes.
enum {
    ATTR_DIMMED = 1,       // panel, control, menu item: 0/1
    ATTR_TITLE = 2,        // panel title (text)
    ATTR_LABEL_TEXT = 3,   // control label (text)
    ATTR_VISIBLE = 4,      // panel, control: 0/1
    ATTR_ITEM_NAME = 5,    // menu item label (text)
    ATTR_CHECKED = 6,      // menu item tick: 0/1
    ATTR_MIN_VALUE = 7,    // numeric control range
    ATTR_MAX_VALUE = 8,
    ATTR_PRECISION = 9,    // decimals of a float numeric
};

constexpr int VAL_AUTO_CENTER = -1;     // SetPanelPos: centre on the screen

// FileSelectPopup buttons and results.
enum { VAL_SELECT_BUTTON = 0, VAL_LOAD_BUTTON = 1, VAL_SAVE_BUTTON = 2, VAL_OK_BUTTON = 3 };
enum { VAL_NO_FILE_SELECTED = 0, VAL_EXISTING_FILE_SELECTED = 1, VAL_NEW_FILE_SELECTED = 2 };
constexpr int MAX_PATHNAME_LEN = 260;

// Errors returned (negative) by the services.
enum {
    UIE_NO_ERROR = 0,
    UIE_BAD_PANEL = -1,
    UIE_BAD_CONTROL = -2,
    UIE_BAD_RESOURCE = -3,
    UIE_BAD_ATTRIBUTE = -4,
    UIE_BAD_TYPE = -5,
    UIE_BAD_INDEX = -6,
    UIE_UNKNOWN_CALLBACK = -7,
    UIE_NOT_INITIALISED = -8,
    UIE_PRINT_FAILED = -9,
};

using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callback_data,
                                int event_data1, int event_data2);
using MenuCallbackPtr = void (*)(int menu_bar, int menu_item, void* callback_data, int panel);

// ---------------------------------------------------------------------------
// Callback registry: every callback named in "uldo.uir" must be registered
// before a panel that names it is loaded (RegisterUldoCallbacks does it all).
void RegisterCtrlCallback(const char* name, CtrlCallbackPtr fn);
void RegisterMenuCallback(const char* name, MenuCallbackPtr fn);
CtrlCallbackPtr FindCtrlCallback(const char* name);
MenuCallbackPtr FindMenuCallback(const char* name);
// Registers every callback of the program (one table, in callbacks_ui.cpp).
void RegisterUldoCallbacks();

// ---------------------------------------------------------------------------
// Application and event loop.

// Creates the application object once (argc/argv are kept by reference by Qt).
int InitUserInterface(int& argc, char** argv);
// Dispatches events until QuitUserInterface; returns the value given to it.
int RunUserInterface();
void QuitUserInterface(int value);
// Without waiting (wait = 0): runs pending events and returns 1 when a commit
// event was raised since the last call, with its panel and control; else 0.
int GetUserEvent(int wait, int* panel, int* control);
// Runs pending events and forgets every commit queued so far (a click meant for
// a run that has ended must not reach the next one).
void ClearUserEvents();
void ProcessSystemEvents();
void ProcessDrawEvents();

// ---------------------------------------------------------------------------
// Panels and menu bars.

// Loads panel `resource` of the resource file (the program's own "uldo.uir"
// when file names it); returns a handle > 0, or a negative error. A panel that
// names a callback the registry does not hold fails with UIE_UNKNOWN_CALLBACK.
int LoadPanel(int parent, const char* file, int resource);
int LoadMenuBar(int panel, const char* file, int resource);
int DiscardMenuBar(int menu_bar);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
int SetPanelPos(int panel, int top, int left);
// Puts a panel beside another on the screen, top edges level: to its right when
// there is room, else to its left, else against the right edge of the screen,
// clear of the other's left part (where the main panel keeps its Compile button).
int PlacePanelBeside(int panel, int anchor);
// Puts a panel under another, left edges level (above it when there is no room
// below, else at the bottom of the screen).
int PlacePanelBelow(int panel, int anchor);
int SetPanelAttribute(int panel, int attribute, int value);
int SetPanelAttribute(int panel, int attribute, const char* value);
int GetPanelAttribute(int panel, int attribute, int* value);
int GetPanelAttribute(int panel, int attribute, char* value, std::size_t size);
int SetMenuBarAttribute(int menu_bar, int item, int attribute, int value);
int SetMenuBarAttribute(int menu_bar, int item, int attribute, const char* value);
int GetMenuBarAttribute(int menu_bar, int item, int attribute, int* value);
int GetMenuBarAttribute(int menu_bar, int item, int attribute, char* value, std::size_t size);

// ---------------------------------------------------------------------------
// Controls.
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, unsigned value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char* value);
int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, unsigned* value);
int GetCtrlVal(int panel, int control, float* value);
int GetCtrlVal(int panel, int control, double* value);
// Text into a buffer of `size` bytes, always NUL-terminated, cut to fit.
int GetCtrlVal(int panel, int control, char* value, std::size_t size);
template <std::size_t N>
inline int GetCtrlVal(int panel, int control, char (&value)[N]) {
    return GetCtrlVal(panel, control, value, N);
}
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, double value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* value);
int GetCtrlAttribute(int panel, int control, int attribute, int* value);
int GetCtrlAttribute(int panel, int control, int attribute, double* value);
int GetCtrlAttribute(int panel, int control, int attribute, char* value, std::size_t size);
int SetActiveCtrl(int panel, int control);
int GetActiveCtrl(int panel);

// List boxes (and selectors): rows carry a text and an integer value.
int ClearListCtrl(int panel, int control);
// index -1 appends at the end.
int InsertListItem(int panel, int control, int index, const char* text, int value);
int GetNumListItems(int panel, int control, int* count);
int GetCtrlIndex(int panel, int control, int* index);
int SetCtrlIndex(int panel, int control, int index);
int GetLabelFromIndex(int panel, int control, int index, char* text, std::size_t size);
int GetValueFromIndex(int panel, int control, int index, int* value);

// ---------------------------------------------------------------------------
// Graphs (graph, strip of points, intensity graph) and canvas. Plot handles > 0.
enum { VAL_AUTOSCALE = 0, VAL_MANUAL = 1 };
enum { VAL_NO_CHANGE = 2 };            // SetAxisRange: leave that axis as it is
enum { VAL_XAXIS = 0, VAL_LEFT_YAXIS = 1 };
enum { VAL_DOUBLE = 0, VAL_FLOAT = 1, VAL_INTEGER = 2 };
enum { VAL_DELETE_ALL = -1 };
int PlotXY(int panel, int control, const void* x, const void* y, int count, int x_type,
           int y_type, unsigned color);
int PlotY(int panel, int control, const void* y, int count, int y_type, unsigned color);
int PlotXYPoints(int panel, int control, const void* x, const void* y, int count, int x_type,
                 int y_type, unsigned color);  // scatter: dots, no line
// z[row * columns + column]; cell (column, row) sits at x = column, y = row.
// A new intensity plot replaces the graph's previous one.
int PlotIntensity(int panel, int control, const double* z, int columns, int rows,
                  double z_min, double z_max);
int DeleteGraphPlot(int panel, int control, int plot);  // VAL_DELETE_ALL for all
int SetAxisRange(int panel, int control, int x_mode, double x_min, double x_max, int y_mode,
                 double y_min, double y_max);
int SetGraphCursor(int panel, int control, int cursor, double x, double y);
int GetGraphCursor(int panel, int control, int cursor, double* x, double* y);
int CanvasStartBatchDraw(int panel, int control);
int CanvasDrawPoint(int panel, int control, int x, int y, unsigned color);
int CanvasClear(int panel, int control);
int CanvasEndBatchDraw(int panel, int control);
constexpr unsigned VAL_RED = 0xFF0000, VAL_GREEN = 0x00FF00, VAL_BLUE = 0x0000FF,
                   VAL_YELLOW = 0xFFFF00, VAL_WHITE = 0xFFFFFF, VAL_BLACK = 0x000000;

// ---------------------------------------------------------------------------
// Pop-ups. All go through the pop-up handler, which tests replace.
int MessagePopup(const char* title, const char* text);
int ConfirmPopup(const char* title, const char* question);   // 1 = yes
// buffer holds at most max_length characters plus NUL; returns 0 on OK, -1 on cancel.
int PromptPopup(const char* title, const char* prompt, char* buffer, int max_length);
// path must hold MAX_PATHNAME_LEN bytes; returns VAL_NO_FILE_SELECTED when nothing was chosen.
int FileSelectPopup(const char* directory, const char* pattern, const char* pattern_list,
                    const char* title, int button, int restrict_directory,
                    int restrict_extension, int allow_cancel, int allow_make_directory,
                    char* path);

// The pop-up seam. The default handler shows real Qt dialogs.
struct PopupHandler {
    virtual ~PopupHandler() = default;
    virtual int Message(const char* title, const char* text) = 0;
    virtual int Confirm(const char* title, const char* question) = 0;
    virtual int Prompt(const char* title, const char* prompt, char* buffer, int max_length) = 0;
    virtual int FileSelect(const char* directory, const char* pattern, const char* pattern_list,
                           const char* title, int button, int restrict_directory,
                           int restrict_extension, int allow_cancel, int allow_make_directory,
                           char* path) = 0;
};
// nullptr restores the real dialogs.
void SetPopupHandler(PopupHandler* handler);

// ---------------------------------------------------------------------------
// Printing: the whole panel, no dialog. ULDO_PRINT_PDF=<file> prints to a PDF
// (to a PNG picture of the page when the name ends in ".png").
int PrintPanel(int panel);
// A display's printout: the heading's lines (title, table, date) above the
// panel, its buttons left out.
int PrintDisplayPanel(int panel, const char* heading);

// ---------------------------------------------------------------------------
// Test seam: act on a control or menu item as the user would. The widget's own
// signal is triggered (a button click raises left click then commit; a list
// double click raises the double-click event with the row), so the event mapping
// is exercised, not bypassed. Returns a negative error for a bad target.
int SimulateClick(int panel, int control);
int SimulateCommit(int panel, int control);
int SimulateListDoubleClick(int panel, int control, int row);
int SimulateListRightClick(int panel, int control, int row);
int SimulateMenuItem(int menu_bar, int item);
// Panel state for tests.
int IsPanelVisible(int panel);
// Resets the layer: discards every panel and menu bar, clears pending events.
void ResetUserInterface();
