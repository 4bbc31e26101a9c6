// The user-interface services on Qt Widgets, part one: the tables behind the
// handles, the callback registry, the application and its event loop, the text
// conversions and the test seam. Panels, controls, menu bars and lists have
// files of their own beside this one (userint_*_ui.cpp).
//
// Handles index static tables. Widgets are owned by their panel window; a
// discarded panel's window is deleted later, so a callback may discard the
// panel it was called from. Signal handlers find their control again by handle
// and serial, so a late signal of a discarded panel reaches nobody.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStringDecoder>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "shell/textcodec.h"
#include "shell/widgets_ui.h"

namespace {

constexpr int MAX_CALLBACKS = 256;

// One table of named callbacks; control and menu callbacks each have their own.
template <typename Fn>
struct CallbackTable {
    struct Entry {
        char name[UIR_NAME_SIZE];
        Fn fn;
    };
    Entry entries[MAX_CALLBACKS];
    int count = 0;
    const char* kind;

    void Register(const char* name, Fn fn) {
        if (!name || !*name) return;
        if (std::strlen(name) >= UIR_NAME_SIZE) {
            std::fprintf(stderr, "callback name \"%s\" is too long\n", name);
            return;
        }
        for (int i = 0; i < count; ++i)
            if (std::strcmp(entries[i].name, name) == 0) {
                entries[i].fn = fn;
                return;
            }
        if (count == MAX_CALLBACKS) {
            std::fprintf(stderr, "too many %s callbacks; \"%s\" is not registered\n", kind, name);
            return;
        }
        Entry& e = entries[count++];
        std::strcpy(e.name, name);
        e.fn = fn;
    }

    Fn Find(const char* name) const {
        if (!name) return nullptr;
        for (int i = 0; i < count; ++i)
            if (std::strcmp(entries[i].name, name) == 0) return entries[i].fn;
        return nullptr;
    }
};

struct PendingCommit {
    int panel, control;
};

CallbackTable<CtrlCallbackPtr> ctrl_callbacks{{}, 0, "control"};
CallbackTable<MenuCallbackPtr> menu_callbacks{{}, 0, "menu"};
PendingCommit pending[MAX_PENDING];
int pending_first = 0, pending_count = 0;
int quit_requested = 0, quit_value = 0;

void QueueCommit(int panel, int control) {
    if (pending_count == MAX_PENDING) {  // keep the newest
        pending_first = (pending_first + 1) % MAX_PENDING;
        --pending_count;
    }
    pending[(pending_first + pending_count) % MAX_PENDING] = {panel, control};
    ++pending_count;
}

}  // namespace

PanelState panels[MAX_PANELS + 1];
MenuBarState menu_bars[MAX_MENU_BARS + 1];
int next_serial = 1;
int callback_depth = 0;
QApplication* application = nullptr;

QString Literal(const QString& text) {
    QString t = text;
    return t.replace(QLatin1Char('&'), QLatin1String("&&"));
}
QString Unliteral(const QString& text) {
    QString t;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
        t += text[i];
    }
    return t;
}

void CopyOutField(const QString& text, char* out, std::size_t size) {
    CopyFieldText(text, out, size);
}

void CopyOut(const QString& text, char* out, std::size_t size) {
    QByteArray bytes = text.toUtf8();
    CopyText(bytes.constData(), static_cast<std::size_t>(bytes.size()), out, size);
}

int ToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
}

unsigned ToUnsigned(double v) {
    if (std::isnan(v) || v <= 0) return v <= -1.0 ? static_cast<unsigned>(ToInt(v)) : 0u;
    if (v >= 4294967295.0) return 4294967295u;
    return static_cast<unsigned>(v);
}

PanelState* GetPanel(int handle) {
    if (handle < 1 || handle > MAX_PANELS || !panels[handle].in_use) return nullptr;
    return &panels[handle];
}

ControlState* GetControl(PanelState* p, int number) {
    if (!p || number <= 0) return nullptr;
    for (int i = 0; i < p->control_count; ++i)
        if (p->controls[i].number == number) return &p->controls[i];
    return nullptr;
}

// Panel and control of a call, or the error to return.
int Lookup(int panel, int control, ControlState** out) {
    PanelState* p = GetPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    ControlState* c = GetControl(p, control);
    if (!c) return UIE_BAD_CONTROL;
    *out = c;
    return 0;
}

MenuBarState* GetMenuBar(int handle) {
    if (handle < 1 || handle > MAX_MENU_BARS || !menu_bars[handle].in_use) return nullptr;
    return &menu_bars[handle];
}

MenuEntryState* GetMenuEntry(MenuBarState* b, int number) {
    if (!b || number <= 0) return nullptr;
    for (int i = 0; i < b->entry_count; ++i)
        if (b->entries[i].number == number) return &b->entries[i];
    return nullptr;
}

void DropPendingOf(int panel) {
    PendingCommit kept[MAX_PENDING];
    int n = 0;
    for (int i = 0; i < pending_count; ++i) {
        const PendingCommit& e = pending[(pending_first + i) % MAX_PENDING];
        if (e.panel != panel) kept[n++] = e;
    }
    for (int i = 0; i < n; ++i) pending[i] = kept[i];
    pending_first = 0;
    pending_count = n;
}

ControlState* LiveControl(int panel, int serial, int control) {
    PanelState* p = GetPanel(panel);
    if (!p || p->serial != serial) return nullptr;
    return GetControl(p, control);
}

// ---------------------------------------------------------------------------

QString FromText(const char* text) {
    if (!text) return QString();
    QByteArrayView bytes(text, static_cast<qsizetype>(std::strlen(text)));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = decoder(bytes);
    if (decoder.hasError()) return QString::fromLatin1(bytes);
    return s;
}

QString FromFieldText(const char* text) {
    QString s;
    for (const char* p = text; p && *p; ++p)
        s += QChar(static_cast<char16_t>(Cp1252Char(static_cast<unsigned char>(*p))));
    return s;
}

void CopyFieldText(const QString& text, char* out, std::size_t size) {
    if (!out || size == 0) return;
    std::size_t n = 0;
    for (qsizetype i = 0; i < text.size() && n + 1 < size; ++i) {
        QChar ch = text[i];
        if (ch.isHighSurrogate() && i + 1 < text.size()) ++i;  // one character, one '?'
        int byte = ch.isSurrogate() ? -1 : Cp1252Byte(ch.unicode());
        out[n++] = byte < 0 ? '?' : static_cast<char>(byte);
    }
    out[n] = '\0';
}

bool IsFieldText(const QString& text, QString* bad) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar ch = text[i];
        if (!ch.isSurrogate() && Cp1252Byte(ch.unicode()) >= 0 && ch.unicode() != 0) continue;
        if (bad) *bad = ch.isHighSurrogate() && i + 1 < text.size() ? text.mid(i, 2) : QString(ch);
        return false;
    }
    return true;
}

void CopyText(const char* text, std::size_t length, char* out, std::size_t size) {
    if (!out || size == 0) return;
    if (!text) length = 0;
    std::size_t n = length < size - 1 ? length : size - 1;
    if (n < length)  // never end inside a UTF-8 sequence
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    if (n) std::memcpy(out, text, n);
    out[n] = '\0';
}

void RaiseCtrlEvent(int panel, int serial, int control, int event, int data1, int data2) {
    PanelState* p = GetPanel(panel);
    if (!p || p->serial != serial) return;
    CtrlCallbackPtr fn = p->callback;
    if (control != 0) {
        ControlState* c = GetControl(p, control);
        if (!c) return;
        fn = c->callback;
        if (event == EVENT_COMMIT) QueueCommit(panel, control);
    }
    if (!fn || callback_depth > 0) return;
    ++callback_depth;
    fn(panel, control, event, nullptr, data1, data2);
    --callback_depth;
}

int PanelSerial(int panel) {
    PanelState* p = GetPanel(panel);
    return p ? p->serial : 0;
}

int CtrlKind(int panel, int control) {
    ControlState* c;
    int r = Lookup(panel, control, &c);
    return r < 0 ? r : c->kind;
}

QWidget* PanelWidget(int panel) {
    PanelState* p = GetPanel(panel);
    return p ? p->window : nullptr;
}

QWidget* CtrlWidget(int panel, int control) {
    ControlState* c;
    return Lookup(panel, control, &c) < 0 ? nullptr : c->widget;
}

// ---------------------------------------------------------------------------
// Callback registry.

void RegisterCtrlCallback(const char* name, CtrlCallbackPtr fn) { ctrl_callbacks.Register(name, fn); }
void RegisterMenuCallback(const char* name, MenuCallbackPtr fn) { menu_callbacks.Register(name, fn); }
CtrlCallbackPtr FindCtrlCallback(const char* name) { return ctrl_callbacks.Find(name); }
MenuCallbackPtr FindMenuCallback(const char* name) { return menu_callbacks.Find(name); }

// ---------------------------------------------------------------------------
// Application and event loop.

int InitUserInterface(int& argc, char** argv) {
    if (application || QApplication::instance()) return 0;
    QApplication::setStyle("Fusion");
    application = new QApplication(argc, argv);
    // Qt adopts the user's locale; every number the program reads, writes or
    // shows uses the C format, in the C library and in the widgets alike.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    QApplication::setApplicationName("ULDO");
    // Panels are laid out in pixels, so the font is fixed in pixels too.
    QFont font = QApplication::font();
    font.setPixelSize(12);
    QApplication::setFont(font);
    // Only QuitUserInterface ends the program; hidden panels do not.
    application->setQuitOnLastWindowClosed(false);
    return 0;
}

int RunUserInterface() {
    if (!application) return UIE_NOT_INITIALISED;
    if (!quit_requested) QApplication::exec();
    quit_requested = 0;
    return quit_value;
}

void QuitUserInterface(int value) {
    quit_requested = 1;
    quit_value = value;
    if (application) QApplication::exit(value);
}

int GetUserEvent(int wait, int* panel, int* control) {
    if (!application) return 0;
    QApplication::processEvents();
    while (wait && pending_count == 0) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (pending_count == 0) return 0;
    PendingCommit e = pending[pending_first];
    pending_first = (pending_first + 1) % MAX_PENDING;
    --pending_count;
    if (panel) *panel = e.panel;
    if (control) *control = e.control;
    return 1;
}

void ClearUserEvents() {
    if (application) QApplication::processEvents();
    pending_first = pending_count = 0;
}

void ProcessSystemEvents() {
    if (application) QApplication::processEvents();
}

// User input is taken here too: the platform may hold input back that an
// excluding pass put aside until some other window-system event arrives (a
// Cancel click during a compile reached nobody). As inside a callback, input
// calls no callback; a click only queues its commit for GetUserEvent.
void ProcessDrawEvents() {
    if (!application) return;
    ++callback_depth;
    QApplication::processEvents();
    --callback_depth;
}


// ---------------------------------------------------------------------------
// Test seam. A dimmed control takes no user action, so nothing happens then.

int SimulateClick(int panel, int control) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    switch (c->kind) {
        case KIND_BUTTON:
        case KIND_CHECKBOX:
        case KIND_TOGGLE: static_cast<QAbstractButton*>(c->widget)->click(); return 0;
        case KIND_LISTBOX: {
            auto* list = static_cast<QListWidget*>(c->widget);
            if (list->isEnabled() && list->currentItem())
                Q_EMIT list->itemClicked(list->currentItem());
            return 0;
        }
        default: return UIE_BAD_TYPE;
    }
}

int SimulateCommit(int panel, int control) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    if (!c->widget->isEnabled()) return 0;
    switch (c->kind) {
        case KIND_NUMERIC:
            if (c->is_int && !c->is_unsigned) {
                auto* spin = static_cast<QSpinBox*>(c->widget);
                Q_EMIT spin->valueChanged(spin->value());
            } else {
                auto* spin = static_cast<QDoubleSpinBox*>(c->widget);
                Q_EMIT spin->valueChanged(spin->value());
            }
            return 0;
        case KIND_TEXT: {
            auto* edit = static_cast<QLineEdit*>(c->widget);
            if (edit->isReadOnly()) return 0;
            Q_EMIT edit->textEdited(edit->text());
            Q_EMIT edit->editingFinished();
            return 0;
        }
        case KIND_TEXTBOX: {
            auto* edit = static_cast<QPlainTextEdit*>(c->widget);
            if (!edit->isReadOnly()) Q_EMIT edit->textChanged();
            return 0;
        }
        case KIND_SELECTOR: {
            auto* combo = static_cast<QComboBox*>(c->widget);
            Q_EMIT combo->activated(combo->currentIndex());
            return 0;
        }
        case KIND_BUTTON:
        case KIND_CHECKBOX:
        case KIND_TOGGLE: static_cast<QAbstractButton*>(c->widget)->click(); return 0;
        default: return UIE_BAD_TYPE;
    }
}

int SimulateListDoubleClick(int panel, int control, int row) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    if (c->kind != KIND_LISTBOX) return UIE_BAD_TYPE;
    auto* list = static_cast<QListWidget*>(c->widget);
    if (row < 0 || row >= list->count()) return UIE_BAD_INDEX;
    if (!list->isEnabled()) return 0;
    list->setCurrentRow(row);  // the first click of the two selects the row
    // The first click may have discarded the panel.
    if (!LiveControl(panel, PanelSerial(panel), control)) return 0;
    Q_EMIT list->itemDoubleClicked(list->item(row));
    return 0;
}

int SimulateListRightClick(int panel, int control, int row) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    if (c->kind != KIND_LISTBOX) return UIE_BAD_TYPE;
    auto* list = static_cast<QListWidget*>(c->widget);
    if (row < 0 || row >= list->count()) return UIE_BAD_INDEX;
    if (!list->isEnabled()) return 0;
    // Through the position, as a real click: the handler finds the row under it.
    list->doItemsLayout();
    list->scrollToItem(list->item(row));
    Q_EMIT list->customContextMenuRequested(list->visualItemRect(list->item(row)).center());
    return 0;
}

int SimulateMenuItem(int menu_bar, int item) {
    MenuBarState* b = GetMenuBar(menu_bar);
    if (!b) return UIE_BAD_RESOURCE;
    MenuEntryState* e = GetMenuEntry(b, item);
    if (!e) return UIE_BAD_CONTROL;
    if (!b->bar->isEnabled() || !e->action->isEnabled()) return 0;
    // A dimmed menu hides its items from the user.
    auto* menu = qobject_cast<QMenu*>(e->action->parent());
    if (menu && !menu->menuAction()->isEnabled()) return 0;
    e->action->trigger();
    return 0;
}

int IsPanelVisible(int panel) {
    PanelState* p = GetPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    return p->window->isVisible() ? 1 : 0;
}

void ResetUserInterface() {
    for (int h = 1; h <= MAX_PANELS; ++h)
        if (panels[h].in_use && panels[h].parent == 0) FreePanel(h, true, true);
    for (int h = 1; h <= MAX_MENU_BARS; ++h) FreeMenuBar(h, true);
    pending_first = pending_count = 0;
    quit_requested = 0;
    quit_value = 0;
    callback_depth = 0;
    if (application) QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
