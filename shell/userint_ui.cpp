// The user-interface services on Qt Widgets: callback registry, application and
// event loop, panels, controls, list boxes, menu bars and the test seam.
//
// Handles index static tables. Widgets are owned by their panel window; a
// discarded panel's window is deleted later, so a callback may discard the
// panel it was called from. Signal handlers find their control again by handle
// and serial, so a late signal of a discarded panel reaches nobody.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "shell/textcodec.h"
#include "shell/widgets_ui.h"

namespace {

constexpr int MAX_PANELS = 256;
constexpr int MAX_MENU_BARS = 16;
constexpr int MAX_CALLBACKS = 256;
constexpr int MAX_PENDING = 32;
constexpr int MAX_BAR_ENTRIES = UIR_MAX_MENUS + UIR_MAX_MENU_ITEMS;

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

struct PendingCommit {
    int panel, control;
};

CallbackTable<CtrlCallbackPtr> ctrl_callbacks{{}, 0, "control"};
CallbackTable<MenuCallbackPtr> menu_callbacks{{}, 0, "menu"};

PanelState panels[MAX_PANELS + 1];          // index = handle; 0 unused
MenuBarState menu_bars[MAX_MENU_BARS + 1];
PendingCommit pending[MAX_PENDING];
int pending_first = 0, pending_count = 0;
int next_serial = 1;
// Callbacks running now. User actions that arrive while one runs (inside
// GetUserEvent or ProcessSystemEvents) only queue their commits: every callback
// runs to completion before the next one starts.
int callback_depth = 0;
int quit_requested = 0, quit_value = 0;
QApplication* application = nullptr;

// Parsed resources; static because they are large. Loading is never re-entered.
UirPanel loaded_panel;
UirMenuBar loaded_bar;

void ClickButton(int panel, int serial, int control);
void CloseRequested(int panel, int serial);
void ScaleControls(int panel, int serial);

class PanelWindow : public QWidget {
public:
    int handle = 0;
    int serial = 0;

protected:
    // The close button never closes a panel by itself: the panel's callback,
    // or the button that closes it, decides, as it must undo what opening the
    // panel did (a dimmed parent, a panel to show again).
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        CloseRequested(handle, serial);
    }
    void keyPressEvent(QKeyEvent* event) override;
};

// The area under the menu bar; the controls of a resizable panel follow its size.
class PanelBody : public QWidget {
public:
    using QWidget::QWidget;
    int handle = 0;
    int serial = 0;

protected:
    void resizeEvent(QResizeEvent*) override { ScaleControls(handle, serial); }
};

// Input fields hold record text: characters Windows-1252 has no byte for are
// refused, and the user is told why.
void TellUnstorable(const QString& bad) {
    QString text = QStringLiteral("The character \"%1\" cannot be stored: text fields hold "
                                  "Windows-1252 characters only.").arg(bad);
    QByteArray bytes = text.toUtf8();
    QTimer::singleShot(0, [bytes] { MessagePopup("", bytes.constData()); });
}

class FieldValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& text, int&) const override {
        QString bad;
        if (IsFieldText(text, &bad)) return Acceptable;
        TellUnstorable(bad);
        return Invalid;
    }
};

// A 32-bit unsigned numeric shown in hexadecimal (seeds, polynomials).
class HexSpinBox : public QDoubleSpinBox {
protected:
    QString textFromValue(double value) const override {
        return QString::number(static_cast<qulonglong>(value), 16).toUpper();
    }
    double valueFromText(const QString& text) const override {
        return static_cast<double>(text.trimmed().toULongLong(nullptr, 16));
    }
    QValidator::State validate(QString& text, int&) const override {
        QString t = text.trimmed();
        if (t.isEmpty()) return QValidator::Intermediate;
        bool ok = false;
        qulonglong v = t.toULongLong(&ok, 16);
        if (!ok) return QValidator::Invalid;
        return v <= static_cast<qulonglong>(maximum()) ? QValidator::Acceptable
                                                       : QValidator::Invalid;
    }
};

// Labels are literal text: '&' is not a shortcut marker.
QString Literal(const QString& text) {
    QString t = text;
    return t.replace(QLatin1Char('&'), QLatin1String("&&"));
}
// The text as the program gave it: "&&" is its '&', a single '&' marks a mnemonic.
QString Unliteral(const QString& text) {
    QString t;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
        t += text[i];
    }
    return t;
}

void CopyOut(const QString& text, char* out, std::size_t size);

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

void QueueCommit(int panel, int control) {
    if (pending_count == MAX_PENDING) {  // keep the newest
        pending_first = (pending_first + 1) % MAX_PENDING;
        --pending_count;
    }
    pending[(pending_first + pending_count) % MAX_PENDING] = {panel, control};
    ++pending_count;
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

// Value changed, then commit: what a user edit of a value control raises.
void RaiseEdit(int panel, int serial, int control) {
    RaiseCtrlEvent(panel, serial, control, EVENT_VAL_CHANGED, 0, 0);
    RaiseCtrlEvent(panel, serial, control, EVENT_COMMIT, 0, 0);
}

ControlState* LiveControl(int panel, int serial, int control) {
    PanelState* p = GetPanel(panel);
    if (!p || p->serial != serial) return nullptr;
    return GetControl(p, control);
}

void SetNumeric(ControlState* c, double v) {
    auto* box = static_cast<QAbstractSpinBox*>(c->widget);
    QSignalBlocker block(box);
    if (c->is_int && !c->is_unsigned) {
        auto* spin = static_cast<QSpinBox*>(box);
        double lo = spin->minimum(), hi = spin->maximum();
        v = v < lo ? lo : v > hi ? hi : std::trunc(v);
        spin->setValue(static_cast<int>(v));
    } else {
        auto* spin = static_cast<QDoubleSpinBox*>(box);
        double lo = spin->minimum(), hi = spin->maximum();
        if (c->is_unsigned) v = std::trunc(v);
        v = v < lo ? lo : v > hi ? hi : v;
        spin->setValue(v);
    }
    c->value = v;
}

// Lists show fixed-width rows; headings over them use the same font.
QFont ListFont() {
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(12);
    return mono;
}

void ApplyFont(QWidget* w, const UirControl& def) {
    if (def.font_size <= 0 && !def.bold) return;
    QFont f = w->font();
    if (def.font_size > 0) f.setPixelSize(def.font_size);
    if (def.bold) f.setBold(true);
    w->setFont(f);
}

// The caption of a control that shows its label beside it.
void PlaceCaption(ControlState* c, QWidget* body, const QString& text, int left_of) {
    if (!c->caption) {
        c->caption = new QLabel(body);
        c->caption->setTextFormat(Qt::PlainText);
    }
    c->caption->setText(text);
    c->caption_left = left_of;
    QRect g = c->widget->geometry();
    int w = c->caption->fontMetrics().horizontalAdvance(text) + 4;
    int h = c->caption->fontMetrics().height() + 2;
    if (left_of) {
        c->caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        c->caption->setGeometry(g.left() - w - 6, g.top(), w, g.height());
    } else {
        c->caption->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
        c->caption->setGeometry(g.left(), g.top() - h - 1, std::max(w, g.width()), h);
    }
    c->caption->setVisible(c->widget->isVisibleTo(body));
    c->caption->setEnabled(!c->widget->testAttribute(Qt::WA_ForceDisabled));
}

bool HasCaption(int kind) {
    return kind != KIND_BUTTON && kind != KIND_CHECKBOX && kind != KIND_LABEL && kind != KIND_FRAME;
}

QWidget* CreateControl(const UirControl& def, ControlState* c, int handle, int serial,
                       QWidget* body) {
    const int number = def.number;
    QWidget* w = nullptr;
    switch (def.kind) {
        case KIND_NUMERIC: {
            QAbstractSpinBox* box;
            if (def.is_int && !def.is_unsigned) {
                auto* spin = new QSpinBox(body);
                spin->setRange(static_cast<int>(def.min), static_cast<int>(def.max));
                QObject::connect(spin, &QSpinBox::valueChanged, spin, [=](int v) {
                    if (ControlState* s = LiveControl(handle, serial, number)) s->value = v;
                    RaiseEdit(handle, serial, number);
                });
                box = spin;
            } else {
                auto* spin = def.hex ? new HexSpinBox : new QDoubleSpinBox;
                spin->setParent(body);
                spin->setDecimals(def.is_unsigned ? 0 : def.precision);
                spin->setRange(def.min, def.max);
                QObject::connect(spin, &QDoubleSpinBox::valueChanged, spin, [=](double v) {
                    // A commit of the value as shown keeps its hidden decimals.
                    ControlState* s = LiveControl(handle, serial, number);
                    if (s && v != QString::number(s->value, 'f', spin->decimals()).toDouble())
                        s->value = v;
                    RaiseEdit(handle, serial, number);
                });
                box = spin;
            }
            box->setKeyboardTracking(false);
            box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (def.readonly) {
                box->setReadOnly(true);
                box->setButtonSymbols(QAbstractSpinBox::NoButtons);
            }
            w = box;
            break;
        }
        case KIND_TEXT: {
            auto* edit = new QLineEdit(body);
            if (def.max_length > 0) edit->setMaxLength(def.max_length);
            edit->setText(FromText(def.text));
            edit->setReadOnly(def.readonly != 0);
            if (!def.readonly) {
                edit->setValidator(new FieldValidator(edit));
                QObject::connect(edit, &QLineEdit::textEdited, edit, [=] {
                    RaiseCtrlEvent(handle, serial, number, EVENT_VAL_CHANGED, 0, 0);
                });
                QObject::connect(edit, &QLineEdit::editingFinished, edit, [=] {
                    RaiseCtrlEvent(handle, serial, number, EVENT_COMMIT, 0, 0);
                });
            }
            w = edit;
            break;
        }
        case KIND_TEXTBOX: {
            auto* edit = new QPlainTextEdit(body);
            edit->setPlainText(FromText(def.text));
            edit->setReadOnly(def.readonly != 0);
            QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [=] {
                QString text = edit->toPlainText(), bad;
                if (!IsFieldText(text, &bad)) {
                    // Nothing refuses a keystroke here: take the characters out again.
                    QString kept;
                    for (QChar ch : text)
                        if (Cp1252Byte(ch.unicode()) >= 0) kept += ch;
                    QSignalBlocker block(edit);
                    edit->setPlainText(kept);
                    edit->moveCursor(QTextCursor::End);
                    TellUnstorable(bad);
                }
                RaiseCtrlEvent(handle, serial, number, EVENT_VAL_CHANGED, 0, 0);
            });
            w = edit;
            break;
        }
        case KIND_SELECTOR: {
            auto* combo = new QComboBox(body);
            for (int i = 0; i < def.item_count; ++i)
                combo->addItem(FromText(def.items[i].label), def.items[i].value);
            int at = combo->findData(static_cast<int>(def.default_value));
            if (at >= 0) combo->setCurrentIndex(at);
            QObject::connect(combo, &QComboBox::activated, combo,
                             [=](int) { RaiseEdit(handle, serial, number); });
            w = combo;
            break;
        }
        case KIND_CHECKBOX: {
            auto* box = new QCheckBox(Literal(FromText(def.label)), body);
            box->setChecked(def.default_value != 0);
            QObject::connect(box, &QCheckBox::clicked, box,
                             [=] { RaiseEdit(handle, serial, number); });
            w = box;
            break;
        }
        case KIND_TOGGLE: {
            auto* button = new QPushButton(body);
            button->setCheckable(true);
            auto show = [button](bool on) { button->setText(on ? "ON" : "OFF"); };
            QObject::connect(button, &QPushButton::toggled, button, show);
            button->setChecked(def.default_value != 0);
            show(button->isChecked());
            QObject::connect(button, &QPushButton::clicked, button,
                             [=] { RaiseEdit(handle, serial, number); });
            w = button;
            break;
        }
        case KIND_BUTTON: {
            auto* button = new QPushButton(Literal(FromText(def.label)), body);
            button->setAutoDefault(false);
            QObject::connect(button, &QPushButton::clicked, button, [=] {
                RaiseCtrlEvent(handle, serial, number, EVENT_LEFT_CLICK, 0, 0);
                RaiseCtrlEvent(handle, serial, number, EVENT_COMMIT, 0, 0);
            });
            w = button;
            break;
        }
        case KIND_LISTBOX: {
            auto* list = new QListWidget(body);
            list->setFont(ListFont());
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setUniformItemSizes(true);
            list->setContextMenuPolicy(Qt::CustomContextMenu);
            for (int i = 0; i < def.item_count; ++i) {
                auto* item = new QListWidgetItem(FromText(def.items[i].label), list);
                item->setData(Qt::UserRole, def.items[i].value);
            }
            if (list->count() > 0) list->setCurrentRow(0);
            QObject::connect(list, &QListWidget::currentRowChanged, list, [=](int row) {
                if (row >= 0) RaiseCtrlEvent(handle, serial, number, EVENT_VAL_CHANGED, row, 0);
            });
            QObject::connect(list, &QListWidget::itemClicked, list, [=](QListWidgetItem* item) {
                RaiseCtrlEvent(handle, serial, number, EVENT_LEFT_CLICK, list->row(item), 0);
            });
            QObject::connect(list, &QListWidget::itemDoubleClicked, list,
                             [=](QListWidgetItem* item) {
                                 RaiseCtrlEvent(handle, serial, number, EVENT_LEFT_DOUBLE_CLICK,
                                                list->row(item), 0);
                             });
            QObject::connect(list, &QWidget::customContextMenuRequested, list,
                             [=](const QPoint& pos) {
                                 QListWidgetItem* item = list->itemAt(pos);
                                 if (!item) return;
                                 RaiseCtrlEvent(handle, serial, number, EVENT_RIGHT_CLICK,
                                                list->row(item), 0);
                             });
            w = list;
            break;
        }
        case KIND_LABEL: {
            auto* label = new QLabel(FromText(def.label), body);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            Qt::Alignment horizontal = def.align == 1   ? Qt::AlignHCenter
                                       : def.align == 2 ? Qt::AlignRight
                                                         : Qt::AlignLeft;
            label->setAlignment(horizontal | Qt::AlignVCenter);
            w = label;
            break;
        }
        case KIND_FRAME: {
            // Behind the controls that follow it in the resource.
            auto* box = new QGroupBox(Literal(FromText(def.label)), body);
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            w = box;
            break;
        }
        case KIND_PROGRESS: {
            auto* bar = new QProgressBar(body);
            bar->setRange(static_cast<int>(def.min), static_cast<int>(def.max));
            bar->setValue(static_cast<int>(def.default_value));
            w = bar;
            break;
        }
        case KIND_GRAPH:
        case KIND_INTENSITY:
        case KIND_CANVAS:
            w = CreatePlotWidget(def, handle, serial, body);
            break;
        default:
            return nullptr;
    }
    if (def.monospace) w->setFont(ListFont());
    ApplyFont(w, def);
    if (def.dimmed) w->setEnabled(false);
    w->setGeometry(def.left, def.top, def.width, def.height);
    c->left = def.left;
    c->top = def.top;
    c->width = def.width;
    c->height = def.height;
    c->widget = w;
    if (def.kind == KIND_NUMERIC) SetNumeric(c, def.default_value);
    if (HasCaption(def.kind) && def.label[0])
        PlaceCaption(c, body, FromText(def.label), def.label_left);
    return w;
}

void FreeMenuBar(int handle, bool delete_widget) {
    MenuBarState& b = menu_bars[handle];
    if (!b.in_use) return;
    if (PanelState* p = GetPanel(b.panel); p && p->menu_bar == handle) {
        p->menu_bar = 0;
        if (delete_widget && p->window->layout()) p->window->layout()->setMenuBar(nullptr);
    }
    if (delete_widget && b.bar) {
        b.bar->hide();
        b.bar->deleteLater();
    }
    b = MenuBarState{};
}

// Frees the records of a panel, its child panels and its menu bar. The window
// is deleted later (or now) by its top-most discarded ancestor.
void FreePanel(int handle, bool now, bool top) {
    PanelState& p = panels[handle];
    if (!p.in_use) return;
    for (int h = 1; h <= MAX_PANELS; ++h)
        if (panels[h].in_use && panels[h].parent == handle) FreePanel(h, now, false);
    if (p.menu_bar) FreeMenuBar(p.menu_bar, false);
    DropPendingOf(handle);
    QWidget* window = p.window;
    p.in_use = 0;
    p.serial = 0;
    p.window = nullptr;
    p.body = nullptr;
    p.control_count = 0;
    if (top && window) {
        window->hide();
        if (now)
            delete window;
        else
            window->deleteLater();
    }
}

// A resource label with its mnemonic letter marked for Qt; other '&' stay literal.
QString WithMnemonic(const char* label, char mnemonic) {
    QString text = Literal(FromText(label));
    if (!mnemonic) return text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        if (text[i].toLower() == QChar(mnemonic).toLower()) {
            text.insert(i, QLatin1Char('&'));
            break;
        }
    }
    return text;
}

int FreePanelHandle() {
    for (int h = 1; h <= MAX_PANELS; ++h)
        if (!panels[h].in_use) return h;
    return 0;
}

}  // namespace

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

namespace {

void ClickButton(int panel, int serial, int control) {
    ControlState* c = LiveControl(panel, serial, control);
    if (!c || c->kind != KIND_BUTTON || !c->widget->isEnabled()) return;
    static_cast<QAbstractButton*>(c->widget)->click();
}

// The window's close button: the panel's callback hears it; without one, the
// button that closes the panel is clicked; a panel with neither just hides.
void CloseRequested(int panel, int serial) {
    PanelState* p = GetPanel(panel);
    if (!p || p->serial != serial) return;
    if (p->callback)
        RaiseCtrlEvent(panel, serial, 0, EVENT_CLOSE, 0, 0);
    else if (p->close_button)
        ClickButton(panel, serial, p->close_button);
    else
        p->window->hide();
}

void PanelWindow::keyPressEvent(QKeyEvent* event) {
    PanelState* p = GetPanel(handle);
    if (!p || p->serial != serial ||
        (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    int key = event->key();
    if (key == Qt::Key_Escape && (p->close_button || !p->callback)) {
        CloseRequested(handle, serial);
    } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && p->default_button) {
        ClickButton(handle, serial, p->default_button);
    } else {
        QWidget::keyPressEvent(event);
    }
}

// Grows the controls of a resizable panel with it: places scale with the
// panel; graphs, lists and multi-line texts grow both ways, one-line texts,
// labels and progress bars grow in width; the rest keep their size.
void ScaleControls(int panel, int serial) {
    PanelState* p = GetPanel(panel);
    if (!p || p->serial != serial || !p->resizable || p->width <= 0 || p->height <= 0) return;
    const double sx = static_cast<double>(p->body->width()) / p->width;
    const double sy = static_cast<double>(p->body->height()) / p->height;
    for (int i = 0; i < p->control_count; ++i) {
        ControlState& c = p->controls[i];
        if (!c.widget) continue;
        bool both = c.kind == KIND_GRAPH || c.kind == KIND_INTENSITY || c.kind == KIND_CANVAS ||
                    c.kind == KIND_LISTBOX || c.kind == KIND_TEXTBOX;
        bool wide = both || c.kind == KIND_TEXT || c.kind == KIND_LABEL || c.kind == KIND_PROGRESS;
        int x = static_cast<int>(c.left * sx + 0.5), y = static_cast<int>(c.top * sy + 0.5);
        int w = wide ? static_cast<int>((c.left + c.width) * sx + 0.5) - x : c.width;
        int h = both ? static_cast<int>((c.top + c.height) * sy + 0.5) - y : c.height;
        c.widget->setGeometry(x, y, w, h);
        if (c.caption) PlaceCaption(&c, p->body, c.caption->text(), c.caption_left);
    }
}

}  // namespace

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

QMenuBar* MenuBarWidget(int menu_bar) {
    MenuBarState* b = GetMenuBar(menu_bar);
    return b ? b->bar : nullptr;
}

QAction* MenuItemAction(int menu_bar, int item) {
    MenuEntryState* e = GetMenuEntry(GetMenuBar(menu_bar), item);
    return e ? e->action : nullptr;
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
// Panels and menu bars.

int LoadPanel(int parent, const char* file, int resource) {
    if (!application) return UIE_NOT_INITIALISED;
    PanelState* parent_state = nullptr;
    if (parent != 0 && !(parent_state = GetPanel(parent))) return UIE_BAD_PANEL;
    int r = ReadUirPanel(file, resource, &loaded_panel);
    if (r < 0) return r;
    const UirPanel& def = loaded_panel;
    bool missing = false;
    if (def.callback[0] && !FindCtrlCallback(def.callback)) {
        std::fprintf(stderr, "%s: panel %d names the callback \"%s\", which is not registered\n",
                     file, resource, def.callback);
        missing = true;
    }
    for (int i = 0; i < def.control_count; ++i) {
        const UirControl& c = def.controls[i];
        if (c.callback[0] && !FindCtrlCallback(c.callback)) {
            std::fprintf(stderr,
                         "%s: panel %d control %d names the callback \"%s\", which is not "
                         "registered\n",
                         file, resource, c.number, c.callback);
            missing = true;
        }
    }
    if (missing) return UIE_UNKNOWN_CALLBACK;
    int handle = FreePanelHandle();
    if (!handle) {
        std::fprintf(stderr, "too many panels loaded; panel %d is not loaded\n", resource);
        return UIE_BAD_PANEL;
    }

    PanelState& p = panels[handle];
    p = PanelState{};
    p.in_use = 1;
    p.serial = next_serial++;
    p.resource = resource;
    p.parent = parent;
    p.callback = def.callback[0] ? FindCtrlCallback(def.callback) : nullptr;
    p.width = def.width;
    p.height = def.height;
    p.resizable = def.resizable;
    p.close_button = def.close_button;
    p.default_button = def.default_button;

    auto* window = new PanelWindow;
    if (parent_state) {
        window->setParent(parent_state->window);
        window->setWindowFlags(Qt::Window);
    }
    window->handle = handle;
    window->serial = p.serial;
    window->setWindowTitle(FromText(def.title));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* body = new PanelBody(window);
    body->handle = handle;
    body->serial = p.serial;
    if (def.resizable) {
        layout->setSizeConstraint(QLayout::SetMinimumSize);
        body->setMinimumSize(def.width, def.height);
        body->resize(def.width, def.height);
    } else {
        layout->setSizeConstraint(QLayout::SetFixedSize);
        body->setFixedSize(def.width, def.height);
    }
    layout->addWidget(body);
    p.window = window;
    p.body = body;

    for (int i = 0; i < def.control_count; ++i) {
        const UirControl& c = def.controls[i];
        ControlState& s = p.controls[p.control_count++];
        s.number = c.number;
        s.kind = c.kind;
        s.is_int = c.is_int;
        s.is_unsigned = c.is_unsigned;
        s.callback = c.callback[0] ? FindCtrlCallback(c.callback) : nullptr;
        CreateControl(c, &s, handle, p.serial, body);
    }
    layout->activate();
    return handle;
}

int LoadMenuBar(int panel, const char* file, int resource) {
    if (!application) return UIE_NOT_INITIALISED;
    PanelState* p = GetPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    int r = ReadUirMenuBar(file, resource, &loaded_bar);
    if (r < 0) return r;
    const UirMenuBar& def = loaded_bar;
    bool missing = false;
    for (int i = 0; i < def.item_count; ++i) {
        const UirMenuItem& it = def.items[i];
        if (it.callback[0] && !FindMenuCallback(it.callback)) {
            std::fprintf(stderr,
                         "%s: menu bar %d item %d names the callback \"%s\", which is not "
                         "registered\n",
                         file, resource, it.number, it.callback);
            missing = true;
        }
    }
    if (missing) return UIE_UNKNOWN_CALLBACK;
    int handle = 0;
    for (int h = 1; h <= MAX_MENU_BARS && !handle; ++h)
        if (!menu_bars[h].in_use) handle = h;
    if (!handle) {
        std::fprintf(stderr, "too many menu bars loaded; menu bar %d is not loaded\n", resource);
        return UIE_BAD_RESOURCE;
    }
    if (p->menu_bar) FreeMenuBar(p->menu_bar, true);

    MenuBarState& b = menu_bars[handle];
    b = MenuBarState{};
    b.in_use = 1;
    b.serial = next_serial++;
    b.panel = panel;
    b.bar = new QMenuBar(p->window);
    b.bar->setNativeMenuBar(false);
    QMenu* menus[UIR_MAX_MENUS];
    for (int m = 0; m < def.menu_count; ++m) {
        menus[m] = b.bar->addMenu(WithMnemonic(def.menus[m].label, def.menus[m].mnemonic));
        if (def.menus[m].number > 0)
            b.entries[b.entry_count++] = {def.menus[m].number, menus[m]->menuAction(), nullptr};
    }
    const int serial = b.serial;
    for (int i = 0; i < def.item_count; ++i) {
        const UirMenuItem& it = def.items[i];
        QMenu* menu = menus[it.menu];
        if (it.separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(WithMnemonic(it.label, it.mnemonic));
        if (it.shortcut[0]) action->setShortcut(QKeySequence(QString::fromUtf8(it.shortcut)));
        action->setEnabled(!it.dimmed);
        if (it.checked) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        MenuCallbackPtr fn = it.callback[0] ? FindMenuCallback(it.callback) : nullptr;
        b.entries[b.entry_count++] = {it.number, action, fn};
        const int number = it.number;
        QObject::connect(action, &QAction::triggered, action, [=] {
            MenuBarState* bar = GetMenuBar(handle);
            if (!bar || bar->serial != serial || callback_depth > 0) return;
            MenuEntryState* e = GetMenuEntry(bar, number);
            if (!e || !e->callback) return;
            ++callback_depth;
            e->callback(handle, number, nullptr, bar->panel);
            --callback_depth;
        });
    }
    p->window->layout()->setMenuBar(b.bar);
    p->window->layout()->activate();
    p->menu_bar = handle;
    return handle;
}

int DiscardMenuBar(int menu_bar) {
    if (!GetMenuBar(menu_bar)) return UIE_BAD_RESOURCE;
    FreeMenuBar(menu_bar, true);
    return 0;
}

int DisplayPanel(int panel) {
    PanelState* p = GetPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    p->window->show();
    p->window->raise();
    p->window->activateWindow();
    return 0;
}

int HidePanel(int panel) {
    PanelState* p = GetPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    p->window->hide();
    return 0;
}

int DiscardPanel(int panel) {
    if (!GetPanel(panel)) return UIE_BAD_PANEL;
    FreePanel(panel, false, true);
    return 0;
}

int SetPanelPos(int panel, int top, int left) {
    PanelState* p = GetPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    p->window->layout()->activate();
    QSize size = p->window->frameGeometry().size();
    QScreen* screen = QGuiApplication::primaryScreen();
    QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 1024);
    int x = left == VAL_AUTO_CENTER ? area.x() + (area.width() - size.width()) / 2 : left;
    int y = top == VAL_AUTO_CENTER ? area.y() + (area.height() - size.height()) / 2 : top;
    p->window->move(std::max(x, area.x()), std::max(y, area.y()));
    return 0;
}

int PlacePanelBeside(int panel, int anchor) {
    PanelState* p = GetPanel(panel);
    PanelState* a = GetPanel(anchor);
    if (!p || !a) return UIE_BAD_PANEL;
    p->window->layout()->activate();
    QSize size = p->window->frameGeometry().size();
    QRect other = a->window->frameGeometry();
    QScreen* screen = QGuiApplication::primaryScreen();
    QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 1024);
    int x;
    if (other.right() + 1 + size.width() <= area.right() + 1)
        x = other.right() + 1;
    else if (other.left() - size.width() >= area.left())
        x = other.left() - size.width();
    else  // no room on either side: against the right edge, clear of the other's left part
        x = area.right() + 1 - size.width();
    int y = std::min(other.top(), area.bottom() + 1 - size.height());
    p->window->move(std::max(x, area.x()), std::max(y, area.y()));
    return 0;
}

int PlacePanelBelow(int panel, int anchor) {
    PanelState* p = GetPanel(panel);
    PanelState* a = GetPanel(anchor);
    if (!p || !a) return UIE_BAD_PANEL;
    p->window->layout()->activate();
    QSize size = p->window->frameGeometry().size();
    QRect other = a->window->frameGeometry();
    QScreen* screen = QGuiApplication::primaryScreen();
    QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 1024);
    int y;
    if (other.bottom() + 1 + size.height() <= area.bottom() + 1)
        y = other.bottom() + 1;
    else if (other.top() - size.height() >= area.top())
        y = other.top() - size.height();
    else
        y = area.bottom() + 1 - size.height();
    int x = std::min(other.left(), area.right() + 1 - size.width());
    p->window->move(std::max(x, area.x()), std::max(y, area.y()));
    return 0;
}

int SetPanelAttribute(int panel, int attribute, int value) {
    PanelState* p = GetPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    switch (attribute) {
        case ATTR_DIMMED: p->window->setEnabled(value == 0); return 0;
        case ATTR_VISIBLE: p->window->setVisible(value != 0); return 0;
        case ATTR_TITLE: return UIE_BAD_TYPE;
        default: return UIE_BAD_ATTRIBUTE;
    }
}

int SetPanelAttribute(int panel, int attribute, const char* value) {
    PanelState* p = GetPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    if (attribute == ATTR_TITLE) {
        p->window->setWindowTitle(FromText(value));
        return 0;
    }
    return attribute == ATTR_DIMMED || attribute == ATTR_VISIBLE ? UIE_BAD_TYPE
                                                                 : UIE_BAD_ATTRIBUTE;
}

int GetPanelAttribute(int panel, int attribute, int* value) {
    PanelState* p = GetPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    if (!value) return UIE_BAD_TYPE;
    switch (attribute) {
        case ATTR_DIMMED: *value = p->window->testAttribute(Qt::WA_ForceDisabled) ? 1 : 0; return 0;
        case ATTR_VISIBLE: *value = p->window->isVisible() ? 1 : 0; return 0;
        case ATTR_TITLE: return UIE_BAD_TYPE;
        default: return UIE_BAD_ATTRIBUTE;
    }
}

int GetPanelAttribute(int panel, int attribute, char* value, std::size_t size) {
    PanelState* p = GetPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    if (attribute != ATTR_TITLE) return UIE_BAD_ATTRIBUTE;
    CopyOut(p->window->windowTitle(), value, size);
    return 0;
}

int SetMenuBarAttribute(int menu_bar, int item, int attribute, int value) {
    MenuBarState* b = GetMenuBar(menu_bar);
    if (!b) return UIE_BAD_RESOURCE;
    if (item == 0 && attribute == ATTR_DIMMED) {
        b->bar->setEnabled(value == 0);
        return 0;
    }
    MenuEntryState* e = GetMenuEntry(b, item);
    if (!e) return UIE_BAD_CONTROL;
    switch (attribute) {
        case ATTR_DIMMED: e->action->setEnabled(value == 0); return 0;
        case ATTR_VISIBLE: e->action->setVisible(value != 0); return 0;
        case ATTR_CHECKED:
            e->action->setCheckable(true);
            e->action->setChecked(value != 0);
            return 0;
        case ATTR_ITEM_NAME: return UIE_BAD_TYPE;
        default: return UIE_BAD_ATTRIBUTE;
    }
}

int SetMenuBarAttribute(int menu_bar, int item, int attribute, const char* value) {
    MenuBarState* b = GetMenuBar(menu_bar);
    if (!b) return UIE_BAD_RESOURCE;
    MenuEntryState* e = GetMenuEntry(b, item);
    if (!e) return UIE_BAD_CONTROL;
    if (attribute != ATTR_ITEM_NAME) return UIE_BAD_ATTRIBUTE;
    e->action->setText(Literal(FromFieldText(value)));   // names from the settings record
    return 0;
}

int GetMenuBarAttribute(int menu_bar, int item, int attribute, int* value) {
    MenuBarState* b = GetMenuBar(menu_bar);
    if (!b) return UIE_BAD_RESOURCE;
    if (!value) return UIE_BAD_TYPE;
    if (item == 0 && attribute == ATTR_DIMMED) {
        *value = b->bar->testAttribute(Qt::WA_ForceDisabled) ? 1 : 0;
        return 0;
    }
    MenuEntryState* e = GetMenuEntry(b, item);
    if (!e) return UIE_BAD_CONTROL;
    switch (attribute) {
        case ATTR_DIMMED: *value = e->action->isEnabled() ? 0 : 1; return 0;
        case ATTR_VISIBLE: *value = e->action->isVisible() ? 1 : 0; return 0;
        case ATTR_CHECKED: *value = e->action->isChecked() ? 1 : 0; return 0;
        case ATTR_ITEM_NAME: return UIE_BAD_TYPE;
        default: return UIE_BAD_ATTRIBUTE;
    }
}

int GetMenuBarAttribute(int menu_bar, int item, int attribute, char* value, std::size_t size) {
    MenuBarState* b = GetMenuBar(menu_bar);
    if (!b) return UIE_BAD_RESOURCE;
    MenuEntryState* e = GetMenuEntry(b, item);
    if (!e) return UIE_BAD_CONTROL;
    if (attribute != ATTR_ITEM_NAME) return UIE_BAD_ATTRIBUTE;
    CopyFieldText(Unliteral(e->action->text()), value, size);
    return 0;
}

// ---------------------------------------------------------------------------
// Control values.

int SetCtrlVal(int panel, int control, int value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    QSignalBlocker block(c->widget);
    switch (c->kind) {
        case KIND_NUMERIC: SetNumeric(c, value); return 0;
        case KIND_PROGRESS: static_cast<QProgressBar*>(c->widget)->setValue(value); return 0;
        case KIND_CHECKBOX:
        case KIND_TOGGLE: static_cast<QAbstractButton*>(c->widget)->setChecked(value != 0); return 0;
        case KIND_SELECTOR: {
            auto* combo = static_cast<QComboBox*>(c->widget);
            int at = combo->findData(value);
            if (at < 0) return UIE_BAD_INDEX;
            combo->setCurrentIndex(at);
            return 0;
        }
        case KIND_LISTBOX: {
            auto* list = static_cast<QListWidget*>(c->widget);
            for (int row = 0; row < list->count(); ++row)
                if (list->item(row)->data(Qt::UserRole).toInt() == value) {
                    list->setCurrentRow(row);
                    return 0;
                }
            return UIE_BAD_INDEX;
        }
        default: return UIE_BAD_TYPE;
    }
}

int SetCtrlVal(int panel, int control, unsigned value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    if (c->kind == KIND_NUMERIC) {
        SetNumeric(c, static_cast<double>(value));
        return 0;
    }
    if (value > 2147483647u) return UIE_BAD_TYPE;
    return SetCtrlVal(panel, control, static_cast<int>(value));
}

int SetCtrlVal(int panel, int control, double value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    if (c->kind == KIND_NUMERIC) {
        SetNumeric(c, value);
        return 0;
    }
    if (c->kind == KIND_PROGRESS) {
        QSignalBlocker block(c->widget);
        static_cast<QProgressBar*>(c->widget)->setValue(ToInt(std::floor(value + 0.5)));
        return 0;
    }
    return UIE_BAD_TYPE;
}

int SetCtrlVal(int panel, int control, const char* value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    QSignalBlocker block(c->widget);
    switch (c->kind) {
        case KIND_TEXT: static_cast<QLineEdit*>(c->widget)->setText(FromFieldText(value)); return 0;
        case KIND_TEXTBOX:
            static_cast<QPlainTextEdit*>(c->widget)->setPlainText(FromFieldText(value));
            return 0;
        case KIND_LABEL: static_cast<QLabel*>(c->widget)->setText(FromText(value)); return 0;
        default: return UIE_BAD_TYPE;
    }
}

namespace {

// The value of a control as a number: numerics, progress, tick boxes and the
// values of the selected selector item or list row.
int NumberOf(ControlState* c, double* out) {
    switch (c->kind) {
        case KIND_NUMERIC: *out = c->value; return 0;
        case KIND_PROGRESS: *out = static_cast<QProgressBar*>(c->widget)->value(); return 0;
        case KIND_CHECKBOX:
        case KIND_TOGGLE: *out = static_cast<QAbstractButton*>(c->widget)->isChecked(); return 0;
        case KIND_SELECTOR: {
            auto* combo = static_cast<QComboBox*>(c->widget);
            if (combo->currentIndex() < 0) return UIE_BAD_INDEX;
            *out = combo->currentData().toInt();
            return 0;
        }
        case KIND_LISTBOX: {
            QListWidgetItem* item = static_cast<QListWidget*>(c->widget)->currentItem();
            if (!item) return UIE_BAD_INDEX;
            *out = item->data(Qt::UserRole).toInt();
            return 0;
        }
        default: return UIE_BAD_TYPE;
    }
}

}  // namespace

int GetCtrlVal(int panel, int control, int* value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    double v;
    if (!value) return UIE_BAD_TYPE;
    if (int r = NumberOf(c, &v); r < 0) return r;
    *value = ToInt(v);
    return 0;
}

int GetCtrlVal(int panel, int control, unsigned* value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    double v;
    if (!value) return UIE_BAD_TYPE;
    if (int r = NumberOf(c, &v); r < 0) return r;
    *value = ToUnsigned(v);
    return 0;
}

int GetCtrlVal(int panel, int control, float* value) {
    double v;
    int r = GetCtrlVal(panel, control, &v);
    if (r == 0 && value) *value = static_cast<float>(v);
    return r;
}

int GetCtrlVal(int panel, int control, double* value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    if (!value) return UIE_BAD_TYPE;
    return NumberOf(c, value);
}

int GetCtrlVal(int panel, int control, char* value, std::size_t size) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    switch (c->kind) {
        case KIND_TEXT: CopyOutField(static_cast<QLineEdit*>(c->widget)->text(), value, size); return 0;
        case KIND_TEXTBOX:
            CopyOutField(static_cast<QPlainTextEdit*>(c->widget)->toPlainText(), value, size);
            return 0;
        case KIND_LABEL: CopyOut(static_cast<QLabel*>(c->widget)->text(), value, size); return 0;
        case KIND_SELECTOR: {
            auto* combo = static_cast<QComboBox*>(c->widget);
            if (combo->currentIndex() < 0) return UIE_BAD_INDEX;
            CopyOut(combo->currentText(), value, size);
            return 0;
        }
        case KIND_LISTBOX: {
            QListWidgetItem* item = static_cast<QListWidget*>(c->widget)->currentItem();
            if (!item) return UIE_BAD_INDEX;
            CopyOut(item->text(), value, size);
            return 0;
        }
        default: return UIE_BAD_TYPE;
    }
}

// ---------------------------------------------------------------------------
// Control attributes.

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    switch (attribute) {
        case ATTR_DIMMED:
            c->widget->setEnabled(value == 0);
            if (c->caption) c->caption->setEnabled(value == 0);
            return 0;
        case ATTR_VISIBLE:
            c->widget->setVisible(value != 0);
            if (c->caption) c->caption->setVisible(value != 0);
            return 0;
        case ATTR_PRECISION: {
            if (c->kind != KIND_NUMERIC || c->is_int) return UIE_BAD_ATTRIBUTE;
            if (value < 0 || value > 15) return UIE_BAD_INDEX;
            QSignalBlocker block(c->widget);
            static_cast<QDoubleSpinBox*>(c->widget)->setDecimals(value);
            SetNumeric(c, c->value);
            return 0;
        }
        case ATTR_MIN_VALUE:
        case ATTR_MAX_VALUE: return SetCtrlAttribute(panel, control, attribute, double(value));
        case ATTR_LABEL_TEXT: return UIE_BAD_TYPE;
        default: return UIE_BAD_ATTRIBUTE;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, double value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    if (attribute != ATTR_MIN_VALUE && attribute != ATTR_MAX_VALUE) {
        if (attribute == ATTR_DIMMED || attribute == ATTR_VISIBLE || attribute == ATTR_PRECISION)
            return SetCtrlAttribute(panel, control, attribute, ToInt(value));
        return attribute == ATTR_LABEL_TEXT ? UIE_BAD_TYPE : UIE_BAD_ATTRIBUTE;
    }
    const bool min = attribute == ATTR_MIN_VALUE;
    QSignalBlocker block(c->widget);
    if (c->kind == KIND_PROGRESS) {
        auto* bar = static_cast<QProgressBar*>(c->widget);
        if (min) bar->setMinimum(ToInt(value)); else bar->setMaximum(ToInt(value));
        return 0;
    }
    if (c->kind != KIND_NUMERIC) return UIE_BAD_ATTRIBUTE;
    if (c->is_int && !c->is_unsigned) {
        auto* spin = static_cast<QSpinBox*>(c->widget);
        if (min) spin->setMinimum(ToInt(value)); else spin->setMaximum(ToInt(value));
    } else {
        auto* spin = static_cast<QDoubleSpinBox*>(c->widget);
        if (c->is_unsigned) value = ToUnsigned(value);
        if (min) spin->setMinimum(value); else spin->setMaximum(value);
    }
    SetNumeric(c, c->value);
    return 0;
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    if (attribute != ATTR_LABEL_TEXT) return UIE_BAD_TYPE;
    QString text = FromText(value);
    switch (c->kind) {
        case KIND_BUTTON:
        case KIND_CHECKBOX: static_cast<QAbstractButton*>(c->widget)->setText(Literal(text)); break;
        case KIND_LABEL: static_cast<QLabel*>(c->widget)->setText(text); break;
        default: {
            int left_of = c->caption && (c->caption->alignment() & Qt::AlignRight);
            PlaceCaption(c, GetPanel(panel)->body, text, left_of);
        }
    }
    return 0;
}

int GetCtrlAttribute(int panel, int control, int attribute, int* value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    if (!value) return UIE_BAD_TYPE;
    switch (attribute) {
        case ATTR_DIMMED: *value = c->widget->testAttribute(Qt::WA_ForceDisabled) ? 1 : 0; return 0;
        case ATTR_VISIBLE: *value = c->widget->isVisibleTo(GetPanel(panel)->window) ? 1 : 0; return 0;
        case ATTR_PRECISION:
            if (c->kind != KIND_NUMERIC) return UIE_BAD_ATTRIBUTE;
            *value = c->is_int ? 0 : static_cast<QDoubleSpinBox*>(c->widget)->decimals();
            return 0;
        case ATTR_MIN_VALUE:
        case ATTR_MAX_VALUE: {
            double v;
            int r = GetCtrlAttribute(panel, control, attribute, &v);
            if (r == 0) *value = ToInt(v);
            return r;
        }
        case ATTR_LABEL_TEXT: return UIE_BAD_TYPE;
        default: return UIE_BAD_ATTRIBUTE;
    }
}

int GetCtrlAttribute(int panel, int control, int attribute, double* value) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    if (!value) return UIE_BAD_TYPE;
    if (attribute != ATTR_MIN_VALUE && attribute != ATTR_MAX_VALUE) {
        int v;
        int r = GetCtrlAttribute(panel, control, attribute, &v);
        if (r == 0) *value = v;
        return r;
    }
    const bool min = attribute == ATTR_MIN_VALUE;
    if (c->kind == KIND_PROGRESS) {
        auto* bar = static_cast<QProgressBar*>(c->widget);
        *value = min ? bar->minimum() : bar->maximum();
        return 0;
    }
    if (c->kind != KIND_NUMERIC) return UIE_BAD_ATTRIBUTE;
    if (c->is_int && !c->is_unsigned) {
        auto* spin = static_cast<QSpinBox*>(c->widget);
        *value = min ? spin->minimum() : spin->maximum();
    } else {
        auto* spin = static_cast<QDoubleSpinBox*>(c->widget);
        *value = min ? spin->minimum() : spin->maximum();
    }
    return 0;
}

int GetCtrlAttribute(int panel, int control, int attribute, char* value, std::size_t size) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    if (attribute != ATTR_LABEL_TEXT) return UIE_BAD_TYPE;
    QString text;
    switch (c->kind) {
        case KIND_BUTTON:
        case KIND_CHECKBOX: text = Unliteral(static_cast<QAbstractButton*>(c->widget)->text()); break;
        case KIND_LABEL: text = static_cast<QLabel*>(c->widget)->text(); break;
        default: text = c->caption ? c->caption->text() : QString();
    }
    CopyOut(text, value, size);
    return 0;
}

int SetActiveCtrl(int panel, int control) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    c->widget->setFocus(Qt::OtherFocusReason);
    return 0;
}

int GetActiveCtrl(int panel) {
    PanelState* p = GetPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    QWidget* focus = p->window->focusWidget();
    for (int i = 0; focus && i < p->control_count; ++i) {
        QWidget* w = p->controls[i].widget;
        if (w == focus || w->isAncestorOf(focus)) return p->controls[i].number;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// List boxes and selectors.

namespace {

int ListControl(int panel, int control, ControlState** out) {
    int r = Lookup(panel, control, out);
    if (r < 0) return r;
    return (*out)->kind == KIND_LISTBOX || (*out)->kind == KIND_SELECTOR ? 0 : UIE_BAD_TYPE;
}

int ListCount(ControlState* c) {
    return c->kind == KIND_LISTBOX ? static_cast<QListWidget*>(c->widget)->count()
                                   : static_cast<QComboBox*>(c->widget)->count();
}

}  // namespace

int ClearListCtrl(int panel, int control) {
    ControlState* c;
    if (int r = ListControl(panel, control, &c); r < 0) return r;
    QSignalBlocker block(c->widget);
    if (c->kind == KIND_LISTBOX)
        static_cast<QListWidget*>(c->widget)->clear();
    else
        static_cast<QComboBox*>(c->widget)->clear();
    return 0;
}

int InsertListItem(int panel, int control, int index, const char* text, int value) {
    ControlState* c;
    if (int r = ListControl(panel, control, &c); r < 0) return r;
    int count = ListCount(c);
    if (index == -1) index = count;
    if (index < 0 || index > count) return UIE_BAD_INDEX;
    QSignalBlocker block(c->widget);
    if (c->kind == KIND_LISTBOX) {
        auto* list = static_cast<QListWidget*>(c->widget);
        auto* item = new QListWidgetItem(FromText(text));
        item->setData(Qt::UserRole, value);
        list->insertItem(index, item);
        // A non-empty list always has a selected row, as callers expect.
        if (list->currentRow() < 0) list->setCurrentRow(0);
    } else {
        static_cast<QComboBox*>(c->widget)->insertItem(index, FromText(text), value);
    }
    return 0;
}

int GetNumListItems(int panel, int control, int* count) {
    ControlState* c;
    if (int r = ListControl(panel, control, &c); r < 0) return r;
    if (count) *count = ListCount(c);
    return 0;
}

int GetCtrlIndex(int panel, int control, int* index) {
    ControlState* c;
    if (int r = ListControl(panel, control, &c); r < 0) return r;
    if (!index) return UIE_BAD_TYPE;
    *index = c->kind == KIND_LISTBOX ? static_cast<QListWidget*>(c->widget)->currentRow()
                                     : static_cast<QComboBox*>(c->widget)->currentIndex();
    return 0;
}

int SetCtrlIndex(int panel, int control, int index) {
    ControlState* c;
    if (int r = ListControl(panel, control, &c); r < 0) return r;
    if (index < 0 || index >= ListCount(c)) return UIE_BAD_INDEX;
    QSignalBlocker block(c->widget);
    if (c->kind == KIND_LISTBOX)
        static_cast<QListWidget*>(c->widget)->setCurrentRow(index);
    else
        static_cast<QComboBox*>(c->widget)->setCurrentIndex(index);
    return 0;
}

int GetLabelFromIndex(int panel, int control, int index, char* text, std::size_t size) {
    ControlState* c;
    if (int r = ListControl(panel, control, &c); r < 0) return r;
    if (index < 0 || index >= ListCount(c)) return UIE_BAD_INDEX;
    CopyOut(c->kind == KIND_LISTBOX ? static_cast<QListWidget*>(c->widget)->item(index)->text()
                                    : static_cast<QComboBox*>(c->widget)->itemText(index),
            text, size);
    return 0;
}

int GetValueFromIndex(int panel, int control, int index, int* value) {
    ControlState* c;
    if (int r = ListControl(panel, control, &c); r < 0) return r;
    if (index < 0 || index >= ListCount(c)) return UIE_BAD_INDEX;
    if (!value) return UIE_BAD_TYPE;
    *value = c->kind == KIND_LISTBOX
                 ? static_cast<QListWidget*>(c->widget)->item(index)->data(Qt::UserRole).toInt()
                 : static_cast<QComboBox*>(c->widget)->itemData(index).toInt();
    return 0;
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
