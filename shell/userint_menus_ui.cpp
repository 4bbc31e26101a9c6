// Menu bars: loading from the resource, their items' callbacks and attributes.
#include <QAction>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <cstdio>

#include "shell/widgets_ui.h"

namespace {

// Parsed resource; static because it is large. Loading is never re-entered.
UirMenuBar loaded_bar;

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

}  // namespace

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

QAction* MenuItemAction(int menu_bar, int item) {
    MenuEntryState* e = GetMenuEntry(GetMenuBar(menu_bar), item);
    return e ? e->action : nullptr;
}
