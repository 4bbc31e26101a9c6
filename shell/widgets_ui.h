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
// Resource numbers of every panel (or menu bar) in `file`; returns how many
// were found (at most `size` are stored), or UIE_BAD_RESOURCE.
int ListUirPanels(const char* file, int* numbers, int size);
int ListUirMenuBars(const char* file, int* numbers, int size);

// ---------------------------------------------------------------------------
// Widgets behind handles, for panel code that needs Qt directly (a custom
// widget inside a panel, a screenshot). nullptr for a bad handle or number.
QWidget* PanelWidget(int panel);
QWidget* CtrlWidget(int panel, int control);
QMenuBar* MenuBarWidget(int menu_bar);
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
