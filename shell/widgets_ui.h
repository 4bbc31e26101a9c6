// Inside of the user-interface layer: the parsed resource records, the panel
// and control tables, and the Qt widgets behind a handle. Only *_ui.cpp files
// include this; panel code normally needs shell/userint_ui.h alone.
#pragma once

#include <QString>

#include <cstddef>

#include "shell/userint_ui.h"

class QWidget;
class QLabel;
class QMenuBar;
class QAction;
class QApplication;

// ---------------------------------------------------------------------------
// Resource records, filled by the parser from the JSON resource file.

enum {
    KIND_NUMERIC, KIND_TEXT, KIND_TEXTBOX, KIND_SELECTOR, KIND_CHECKBOX, KIND_TOGGLE,
    KIND_BUTTON, KIND_LISTBOX, KIND_LABEL, KIND_GRAPH, KIND_INTENSITY, KIND_CANVAS,
    KIND_PROGRESS, KIND_FRAME, KIND_COUNT
};
// The kind's name in the resource file ("numeric", "listbox", ...).
const char* KindName(int kind);

constexpr int UIR_NAME_SIZE = 64;      // callback names
constexpr int UIR_TEXT_SIZE = 256;     // titles, labels, default texts
constexpr int UIR_ITEM_SIZE = 64;      // selector item labels
constexpr int UIR_MAX_ITEMS = 128;     // items of one selector
constexpr int UIR_MAX_CONTROLS = 96;   // controls of one panel
constexpr int UIR_MAX_MENUS = 16;
constexpr int UIR_MAX_MENU_ITEMS = 128;
constexpr int UIR_MAX_CURSORS = 4;

struct UirItem {
    int value;
    char label[UIR_ITEM_SIZE];
};

struct UirControl {
    int number;                  // 0 only for a label nobody addresses
    int kind;                    // KIND_*
    char label[UIR_TEXT_SIZE];
    int label_left;              // caption left of the control instead of above it
    int left, top, width, height;
    char callback[UIR_NAME_SIZE];
    int is_int, is_unsigned, hex;
    double min, max, default_value;
    int precision;
    int readonly;
    int max_length;              // text: characters, 0 = no limit
    char text[UIR_TEXT_SIZE];    // default text
    int font_size, bold;         // 0 = the panel's font
    int monospace;               // the fixed-pitch font of the lists
    int dimmed;                  // starts dimmed
    int align;                   // label: 0 left, 1 centre, 2 right
    int cursors;                 // graph cursors
    int item_count;
    UirItem items[UIR_MAX_ITEMS];
};

struct UirPanel {
    int resource;
    char title[UIR_TEXT_SIZE];
    int width, height;
    char callback[UIR_NAME_SIZE];
    int resizable;               // the window can grow; graphs, lists and texts grow with it
    int close_button;            // the close button and Escape click this control (0: none)
    int default_button;          // Enter clicks this control (0: none)
    int control_count;
    UirControl controls[UIR_MAX_CONTROLS];
};

struct UirMenuItem {
    int number;                  // 0 for a separator
    int menu;                    // index of its menu in UirMenuBar::menus
    char label[UIR_TEXT_SIZE];
    char callback[UIR_NAME_SIZE];
    char shortcut[UIR_NAME_SIZE];  // key sequence, "Ctrl+O"
    char mnemonic;                 // letter of the label underlined for Alt (0: none)
    int separator, dimmed, checked;
};

struct UirMenu {
    int number;                  // 0 when the menu itself is not addressed
    char label[UIR_TEXT_SIZE];
    char mnemonic;
};

struct UirMenuBar {
    int resource;
    int menu_count;
    UirMenu menus[UIR_MAX_MENUS];
    int item_count;
    UirMenuItem items[UIR_MAX_MENU_ITEMS];
};

// Read panel or menu bar `resource` of `file` ("uldo.uir" = the built-in copy).
// 0, or UIE_BAD_RESOURCE with the reason on stderr.
int ReadUirPanel(const char* file, int resource, UirPanel* panel);
int ReadUirMenuBar(const char* file, int resource, UirMenuBar* bar);
// Resource numbers of every panel in `file`; returns how many
// were found (at most `size` are stored), or UIE_BAD_RESOURCE.
int ListUirPanels(const char* file, int* numbers, int size);

// ---------------------------------------------------------------------------
// Widgets behind handles, for panel code that needs Qt directly (a custom
// widget inside a panel, a screenshot). nullptr for a bad handle or number.
QWidget* PanelWidget(int panel);
QWidget* CtrlWidget(int panel, int control);
QAction* MenuItemAction(int menu_bar, int item);

// ---------------------------------------------------------------------------
// Shared between the layer's source files.

// Raises `event` on a control (control 0: the panel's own callback). Commits
// also go to the queue that GetUserEvent reads. Nothing happens when the panel
// was discarded meanwhile (serial no longer matches).
void RaiseCtrlEvent(int panel, int serial, int control, int event, int data1, int data2);
// The serial of a live panel, 0 when the handle is not in use.
int PanelSerial(int panel);
// The kind of a control (KIND_*), or a negative error.
int CtrlKind(int panel, int control);
// Set up a graph, intensity graph or canvas created for `def`; widget is the
// control's widget, already parented and placed.
QWidget* CreatePlotWidget(const UirControl& def, int panel, int serial, QWidget* parent);
// Replots every graph of a window at once (before it is printed).
void RefreshPlots(QWidget* window);
// Text from the program: UTF-8 when valid, otherwise Latin-1, so that no byte
// turns into a replacement character on its way back.
QString FromText(const char* text);
// Text to the program: UTF-8, cut at a character boundary so that `size` bytes
// including the NUL are never exceeded.
void CopyText(const char* text, std::size_t length, char* out, std::size_t size);
// The values of text fields are record text: Windows-1252 (shell/textcodec.h).
QString FromFieldText(const char* text);
// Into at most `size` bytes with the NUL; a character without a byte becomes '?'
// (the input fields refuse such characters).
void CopyFieldText(const QString& text, char* out, std::size_t size);
// Whether every character of `text` has a Windows-1252 byte; the first one that
// has none in `bad` otherwise.
bool IsFieldText(const QString& text, QString* bad);

// ---------------------------------------------------------------------------
// The layer's tables, shared by userint_ui.cpp (registry, event loop, test
// seam) and the panel, control, menu and list files beside it. Handles index
// these tables; a serial tells a reused handle from the one a signal was
// connected for.

constexpr int MAX_PANELS = 256;
constexpr int MAX_MENU_BARS = 16;
constexpr int MAX_PENDING = 32;
constexpr int MAX_BAR_ENTRIES = UIR_MAX_MENUS + UIR_MAX_MENU_ITEMS;

struct ControlState {
    int number;
    int kind;
    int is_int, is_unsigned;
    double value;        // numeric: the full value; the box shows it rounded
    QWidget* widget;
    QLabel* caption;
    int caption_left;    // the caption stands left of the control
    int left, top, width, height;   // place in the resource; a resizable panel scales it
    CtrlCallbackPtr callback;
};

struct PanelState {
    int in_use;
    int serial;
    int resource;
    int parent;
    QWidget* window;
    QWidget* body;
    CtrlCallbackPtr callback;
    int width, height;          // of the resource
    int resizable, close_button, default_button;
    int menu_bar;
    int control_count;
    ControlState controls[UIR_MAX_CONTROLS];
};

struct MenuEntryState {
    int number;
    QAction* action;
    MenuCallbackPtr callback;
};

struct MenuBarState {
    int in_use;
    int serial;
    int panel;
    QMenuBar* bar;
    int entry_count;
    MenuEntryState entries[MAX_BAR_ENTRIES];
};


extern PanelState panels[MAX_PANELS + 1];          // index = handle; 0 unused
extern MenuBarState menu_bars[MAX_MENU_BARS + 1];
extern int next_serial;
// Callbacks running now. User actions that arrive while one runs (inside
// GetUserEvent or ProcessSystemEvents) only queue their commits: every callback
// runs to completion before the next one starts.
extern int callback_depth;
extern QApplication* application;

PanelState* GetPanel(int handle);
ControlState* GetControl(PanelState* p, int number);
// Panel and control of a call, or the error to return.
int Lookup(int panel, int control, ControlState** out);
MenuBarState* GetMenuBar(int handle);
MenuEntryState* GetMenuEntry(MenuBarState* b, int number);
// The control while its panel is the one `serial` was taken from; nullptr after.
ControlState* LiveControl(int panel, int serial, int control);
// Forgets the queued commits of a discarded panel.
void DropPendingOf(int panel);

// Labels are literal text: '&' is not a shortcut marker.
QString Literal(const QString& text);
// The text as the program gave it: "&&" is its '&', a single '&' marks a mnemonic.
QString Unliteral(const QString& text);
// Widget text out to the program: UTF-8 (CopyOut) or record text (CopyOutField).
void CopyOut(const QString& text, char* out, std::size_t size);
void CopyOutField(const QString& text, char* out, std::size_t size);
// Saturating conversions of a control's value; NaN is 0.
int ToInt(double v);
unsigned ToUnsigned(double v);

// Controls (userint_controls_ui.cpp): the widget of one resource control,
// parented to the panel's body and placed; nullptr for an unknown kind.
QWidget* CreateControl(const UirControl& def, ControlState* c, int handle, int serial,
                       QWidget* body);
// The caption of a control that shows its label beside it.
void PlaceCaption(ControlState* c, QWidget* body, const QString& text, int left_of);

// Panels (userint_panels_ui.cpp): frees the records of a panel, its child
// panels and its menu bar; the window is deleted later (or now) by its
// top-most discarded ancestor.
void FreePanel(int handle, bool now, bool top);
// Menus (userint_menus_ui.cpp): frees a menu bar's record, and its widget
// when `delete_widget`.
void FreeMenuBar(int handle, bool delete_widget);
