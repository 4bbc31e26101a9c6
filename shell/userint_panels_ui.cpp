// Panels: loading from the resource, showing, hiding, placing, discarding and
// their attributes; the window's close button and its Escape and Enter keys.
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "shell/widgets_ui.h"

namespace {

// Parsed resource; static because it is large. Loading is never re-entered.
UirPanel loaded_panel;

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

int FreePanelHandle() {
    for (int h = 1; h <= MAX_PANELS; ++h)
        if (!panels[h].in_use) return h;
    return 0;
}

}  // namespace

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

namespace {

// What placing a panel next to another needs: the panel, its laid-out size,
// the other's frame and the screen's free area. Null for an unknown panel.
struct Placement {
    PanelState* panel;
    QSize size;
    QRect other;
    QRect area;
};

Placement PlacementOf(int panel, int anchor) {
    PanelState* p = GetPanel(panel);
    PanelState* a = GetPanel(anchor);
    if (!p || !a) return Placement{};
    p->window->layout()->activate();
    QScreen* screen = QGuiApplication::primaryScreen();
    return {p, p->window->frameGeometry().size(), a->window->frameGeometry(),
            screen ? screen->availableGeometry() : QRect(0, 0, 1280, 1024)};
}

}  // namespace

int PlacePanelBeside(int panel, int anchor) {
    const Placement at = PlacementOf(panel, anchor);
    if (!at.panel) return UIE_BAD_PANEL;
    const QSize& size = at.size;
    const QRect &other = at.other, &area = at.area;
    int x;
    if (other.right() + 1 + size.width() <= area.right() + 1)
        x = other.right() + 1;
    else if (other.left() - size.width() >= area.left())
        x = other.left() - size.width();
    else  // no room on either side: against the right edge, clear of the other's left part
        x = area.right() + 1 - size.width();
    int y = std::min(other.top(), area.bottom() + 1 - size.height());
    at.panel->window->move(std::max(x, area.x()), std::max(y, area.y()));
    return 0;
}

int PlacePanelBelow(int panel, int anchor) {
    const Placement at = PlacementOf(panel, anchor);
    if (!at.panel) return UIE_BAD_PANEL;
    const QSize& size = at.size;
    const QRect &other = at.other, &area = at.area;
    int y;
    if (other.bottom() + 1 + size.height() <= area.bottom() + 1)
        y = other.bottom() + 1;
    else if (other.top() - size.height() >= area.top())
        y = other.top() - size.height();
    else
        y = area.bottom() + 1 - size.height();
    int x = std::min(other.left(), area.right() + 1 - size.width());
    at.panel->window->move(std::max(x, area.x()), std::max(y, area.y()));
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
