// List boxes and selectors: their rows, labels, values and the selected index.
#include <QComboBox>
#include <QListWidget>

#include "shell/widgets_ui.h"

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
