// Controls: one widget per resource control, made by the factory of its kind,
// and the values and attributes of controls.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTextCursor>
#include <QTimer>
#include <QValidator>

#include <algorithm>
#include <cmath>

#include "shell/textcodec.h"
#include "shell/widgets_ui.h"

namespace {

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


// Value changed, then commit: what a user edit of a value control raises.
void RaiseEdit(int panel, int serial, int control) {
    RaiseCtrlEvent(panel, serial, control, EVENT_VAL_CHANGED, 0, 0);
    RaiseCtrlEvent(panel, serial, control, EVENT_COMMIT, 0, 0);
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

// Lists show fixed-width rows; headings over them use the same font. Where
// the system's fixed font is one Qt does not know to be fixed-width (some
// fontconfig set-ups resolve "monospace" so), the first family it does know
// is taken, so that the columns stay aligned.
QFont ListFont() {
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!QFontInfo(mono).fixedPitch()) {
        for (const QString& family : QFontDatabase::families()) {
            if (QFontDatabase::isFixedPitch(family)) {
                mono.setFamily(family);
                break;
            }
        }
    }
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

}  // namespace

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

namespace {

bool HasCaption(int kind) {
    return kind != KIND_BUTTON && kind != KIND_CHECKBOX && kind != KIND_LABEL && kind != KIND_FRAME;
}

// One factory per control kind: the widget with its signals connected, parented
// to the panel's body. CreateControl places it and sets what all kinds share.
using ControlFactory = QWidget* (*)(const UirControl& def, int handle, int serial, QWidget* body);

QWidget* MakeNumeric(const UirControl& def, int handle, int serial, QWidget* body) {
    const int number = def.number;
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
    return box;
}

QWidget* MakeText(const UirControl& def, int handle, int serial, QWidget* body) {
    const int number = def.number;
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
    return edit;
}

QWidget* MakeTextBox(const UirControl& def, int handle, int serial, QWidget* body) {
    const int number = def.number;
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
    return edit;
}

QWidget* MakeSelector(const UirControl& def, int handle, int serial, QWidget* body) {
    const int number = def.number;
    auto* combo = new QComboBox(body);
    for (int i = 0; i < def.item_count; ++i)
        combo->addItem(FromText(def.items[i].label), def.items[i].value);
    int at = combo->findData(static_cast<int>(def.default_value));
    if (at >= 0) combo->setCurrentIndex(at);
    QObject::connect(combo, &QComboBox::activated, combo,
                     [=](int) { RaiseEdit(handle, serial, number); });
    return combo;
}

QWidget* MakeCheckBox(const UirControl& def, int handle, int serial, QWidget* body) {
    const int number = def.number;
    auto* box = new QCheckBox(Literal(FromText(def.label)), body);
    box->setChecked(def.default_value != 0);
    QObject::connect(box, &QCheckBox::clicked, box, [=] { RaiseEdit(handle, serial, number); });
    return box;
}

QWidget* MakeToggle(const UirControl& def, int handle, int serial, QWidget* body) {
    const int number = def.number;
    auto* button = new QPushButton(body);
    button->setCheckable(true);
    auto show = [button](bool on) { button->setText(on ? "ON" : "OFF"); };
    QObject::connect(button, &QPushButton::toggled, button, show);
    button->setChecked(def.default_value != 0);
    show(button->isChecked());
    QObject::connect(button, &QPushButton::clicked, button,
                     [=] { RaiseEdit(handle, serial, number); });
    return button;
}

QWidget* MakeButton(const UirControl& def, int handle, int serial, QWidget* body) {
    const int number = def.number;
    auto* button = new QPushButton(Literal(FromText(def.label)), body);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, button, [=] {
        RaiseCtrlEvent(handle, serial, number, EVENT_LEFT_CLICK, 0, 0);
        RaiseCtrlEvent(handle, serial, number, EVENT_COMMIT, 0, 0);
    });
    return button;
}

QWidget* MakeListBox(const UirControl& def, int handle, int serial, QWidget* body) {
    const int number = def.number;
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
    QObject::connect(list, &QListWidget::itemDoubleClicked, list, [=](QListWidgetItem* item) {
        RaiseCtrlEvent(handle, serial, number, EVENT_LEFT_DOUBLE_CLICK, list->row(item), 0);
    });
    QObject::connect(list, &QWidget::customContextMenuRequested, list, [=](const QPoint& pos) {
        QListWidgetItem* item = list->itemAt(pos);
        if (!item) return;
        RaiseCtrlEvent(handle, serial, number, EVENT_RIGHT_CLICK, list->row(item), 0);
    });
    return list;
}

QWidget* MakeLabel(const UirControl& def, int, int, QWidget* body) {
    auto* label = new QLabel(FromText(def.label), body);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    Qt::Alignment horizontal = def.align == 1   ? Qt::AlignHCenter
                               : def.align == 2 ? Qt::AlignRight
                                                 : Qt::AlignLeft;
    label->setAlignment(horizontal | Qt::AlignVCenter);
    return label;
}

QWidget* MakeProgress(const UirControl& def, int, int, QWidget* body) {
    auto* bar = new QProgressBar(body);
    bar->setRange(static_cast<int>(def.min), static_cast<int>(def.max));
    bar->setValue(static_cast<int>(def.default_value));
    return bar;
}

// Behind the controls that follow it in the resource.
QWidget* MakeFrame(const UirControl& def, int, int, QWidget* body) {
    auto* box = new QGroupBox(Literal(FromText(def.label)), body);
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    return box;
}

// Indexed by KIND_*; graphs, intensity graphs and canvases are the plot layer's.
constexpr ControlFactory control_factories[KIND_COUNT] = {
    MakeNumeric,      // KIND_NUMERIC
    MakeText,         // KIND_TEXT
    MakeTextBox,      // KIND_TEXTBOX
    MakeSelector,     // KIND_SELECTOR
    MakeCheckBox,     // KIND_CHECKBOX
    MakeToggle,       // KIND_TOGGLE
    MakeButton,       // KIND_BUTTON
    MakeListBox,      // KIND_LISTBOX
    MakeLabel,        // KIND_LABEL
    CreatePlotWidget, // KIND_GRAPH
    CreatePlotWidget, // KIND_INTENSITY
    CreatePlotWidget, // KIND_CANVAS
    MakeProgress,     // KIND_PROGRESS
    MakeFrame,        // KIND_FRAME
};
static_assert(KIND_FRAME == KIND_COUNT - 1 && KIND_GRAPH == 9 && KIND_PROGRESS == 12,
              "control_factories follows the order of KIND_*");

}  // namespace

QWidget* CreateControl(const UirControl& def, ControlState* c, int handle, int serial,
                       QWidget* body) {
    if (def.kind < 0 || def.kind >= KIND_COUNT) return nullptr;
    QWidget* w = control_factories[def.kind](def, handle, serial, body);
    if (!w) return nullptr;
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

namespace {

// A numeric control's value, converted by `convert` into *value.
template <typename T, typename Convert>
int GetNumber(int panel, int control, T* value, Convert convert) {
    ControlState* c;
    if (int r = Lookup(panel, control, &c); r < 0) return r;
    double v;
    if (!value) return UIE_BAD_TYPE;
    if (int r = NumberOf(c, &v); r < 0) return r;
    *value = convert(v);
    return 0;
}

}  // namespace

int GetCtrlVal(int panel, int control, int* value) { return GetNumber(panel, control, value, ToInt); }

int GetCtrlVal(int panel, int control, unsigned* value) { return GetNumber(panel, control, value, ToUnsigned); }

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
