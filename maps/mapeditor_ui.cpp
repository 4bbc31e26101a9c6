// The symbol-map editor, its point editor and the QAM, offset, rotation and
// scale dialogs, over the record `map`.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "maps/maps.h"
#include "maps/mapspanels_ui.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"

namespace {

double Number(int panel, int control) {
    double v = 0;
    GetCtrlVal(panel, control, &v);
    return v;
}

double Degrees(double radians) { return radians * 180.0 / PI_DOUBLE; }

void OpenEditor() {
    SetPanelPos(handle18, VAL_AUTO_CENTER, VAL_AUTO_CENTER);
    DisplayPanel(handle18);
}

void StartEmpty() {
    ClearMap();
    UpdateSymbolMapTable();
}

// The map-file name of the panel the editor serves.
void WriteMapFileName(const char* path) {
    if (brhandle != 0 && (brhandle == handle3 || brhandle == handle11)) SetCtrlVal(brhandle, CARRIER_MAP_FILE, path);
}

void OpenDialog(int dialog) {
    SetPanelAttribute(handle18, ATTR_DIMMED, 1);
    SetPanelPos(dialog, VAL_AUTO_CENTER, VAL_AUTO_CENTER);
    DisplayPanel(dialog);
}

void CloseDialog(int dialog) {
    HidePanel(dialog);
    SetPanelAttribute(handle18, ATTR_DIMMED, 0);
    DisplayPanel(handle18);
    UpdateSymbolMapTable();
}

void ShowPolar() {
    double i = Number(handle20, POINT_I), q = Number(handle20, POINT_Q);
    SetCtrlVal(handle20, POINT_MAGNITUDE, std::sqrt(i * i + q * q));
    SetCtrlVal(handle20, POINT_PHASE, Degrees(std::atan2(q, i)));
}

}  // namespace

int UpdateSymbolMapTable() {
    SetCtrlVal(handle18, MAP_NAME, FieldText(map.map_name).c_str());
    SetCtrlVal(handle18, MAP_COUNT, map.num_points);
    SetCtrlVal(handle18, MAP_ROTATION_MODE, map.rotation_mode);
    SetCtrlVal(handle18, MAP_OFFSET_Q, map.offset_q ? 1 : 0);
    SetCtrlVal(handle18, MAP_ROTATION_STEP, Degrees(map.rotation_step));
    SetCtrlVal(handle18, MAP_SPARE, map.spare_setting);
    ClearListCtrl(handle18, MAP_LIST);
    char row[120];
    for (int k = 0; k < MapPointCount(); ++k) {
        MapPointRow(k, row, sizeof row);
        InsertListItem(handle18, MAP_LIST, -1, row, k);
    }
    return map.num_points;
}

int EditMap(int panel, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    SetPanelAttribute(panel, ATTR_DIMMED, 1);
    brhandle = panel;
    char path[MAX_PATHNAME_LEN] = "";
    GetCtrlVal(panel, CARRIER_MAP_FILE, path, sizeof path);
    OpenEditor();
    if (path[0] == 0) {
        StartEmpty();
        return 0;
    }
    LoadSymbolMap(path, "File Opening Error (9)");
    map_editor.next_point = map_editor.edit_point = MapPointCount();
    UpdateSymbolMapTable();
    return 0;
}

void EditMap1(int, int, void*, int) {
    brhandle = 0;
    OpenEditor();
    StartEmpty();
}

int EditMap2(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) EditMap1(0, 0, nullptr, 0);
    return 0;
}

int EditMapCancel(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (brhandle != 0 && (brhandle == handle3 || brhandle == handle11)) {
        SetPanelAttribute(brhandle, ATTR_DIMMED, 0);
        DisplayPanel(brhandle);
    }
    HidePanel(handle18);
    return 0;
}

int AddLineMap(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    if (map_editor.next_point >= MAX_MAP_POINTS) {
        MessagePopup("", "The symbol map is full: it holds at most 1024 points.");
        return 0;
    }
    SetPanelAttribute(handle18, ATTR_DIMMED, 1);
    map_editor.edit_point = map_editor.next_point;
    SetCtrlVal(handle20, POINT_NUMBER, map_editor.next_point);
    ShowPolar();
    DisplayPanel(handle20);
    return 0;
}

int MapEditLine(int, int, int event, void*, int row, int) {
    if (event != EVENT_LEFT_DOUBLE_CLICK || map_editor.next_point <= 0) return 0;
    if (row < 0 || row >= MapPointCount()) return 0;
    map_editor.edit_point = row;
    SetPanelAttribute(handle18, ATTR_DIMMED, 1);
    SetCtrlVal(handle20, POINT_I, static_cast<double>(map.point_i[row]));
    SetCtrlVal(handle20, POINT_Q, static_cast<double>(map.point_q[row]));
    SetCtrlVal(handle20, POINT_NUMBER, row);
    ShowPolar();
    DisplayPanel(handle20);
    return 0;
}

int SymbolEditOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    HidePanel(handle20);
    MapStorePoint(map_editor.edit_point, static_cast<float>(Number(handle20, POINT_I)),
                  static_cast<float>(Number(handle20, POINT_Q)));
    SetPanelAttribute(handle18, ATTR_DIMMED, 0);
    UpdateSymbolMapTable();
    return 0;
}

int SymbolEditCancel(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    HidePanel(handle20);
    SetPanelAttribute(handle18, ATTR_DIMMED, 0);
    return 0;
}

int ProcessIQ(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) ShowPolar();
    return 0;
}

int ProcessMP(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    double m = Number(handle20, POINT_MAGNITUDE), a = Number(handle20, POINT_PHASE) * PI_DOUBLE / 180.0;
    SetCtrlVal(handle20, POINT_I, m * std::cos(a));
    SetCtrlVal(handle20, POINT_Q, m * std::sin(a));
    return 0;
}

int MapDeleteLine(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    int rows = 0, row = -1;
    GetNumListItems(handle18, MAP_LIST, &rows);
    if (rows <= 0) return 0;
    GetCtrlIndex(handle18, MAP_LIST, &row);
    if (MapDeletePoint(row) == 0) UpdateSymbolMapTable();
    return 0;
}

int ProcessMapQam(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) OpenDialog(handle21);
    return 0;
}
int ProcessMapOffset(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) OpenDialog(handle22);
    return 0;
}
int ProcessMapRotate(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) OpenDialog(handle23);
    return 0;
}
int ProcessMapScale(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) OpenDialog(handle24);
    return 0;
}

int ProcessMapQamOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    int code = 0;
    GetCtrlVal(handle21, MAP_QAM_CODE, &code);
    MapQam(code);
    CloseDialog(handle21);
    return 0;
}
int ProcessMapOffsetOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    MapOffset(Number(handle22, MAP_DIALOG_VALUE1), Number(handle22, MAP_DIALOG_VALUE2));
    CloseDialog(handle22);
    return 0;
}
int ProcessMapRotateOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    MapRotate(Number(handle23, MAP_ROTATE_ANGLE));
    CloseDialog(handle23);
    return 0;
}
int ProcessMapScaleOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    MapScale(Number(handle24, MAP_DIALOG_VALUE1), Number(handle24, MAP_DIALOG_VALUE2));
    CloseDialog(handle24);
    return 0;
}

int ProcessMapQamCancel(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseDialog(handle21);
    return 0;
}
int ProcessMapOffsetCancel(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseDialog(handle22);
    return 0;
}
int ProcessMapRotateCancel(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseDialog(handle23);
    return 0;
}
int ProcessMapScaleCancel(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseDialog(handle24);
    return 0;
}

int LoadMapFile(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    char path[MAX_PATHNAME_LEN] = "";
    if (FileSelectPopup(FieldText(globals.data_dir).c_str(), "*.smp", "", "Symbol Map Files", VAL_LOAD_BUTTON, 0, 1, 1,
                        0, path) == VAL_NO_FILE_SELECTED)
        return 0;
    WriteMapFileName(path);
    LoadSymbolMap(path, "File Opening Error (10)");
    map_editor.next_point = map_editor.edit_point = MapPointCount();
    UpdateSymbolMapTable();
    return 0;
}

int SaveMapAs(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    // The count is checked before anything is taken from the panel, so a
    // refused count leaves the map exactly as it was.
    int count = 0;
    GetCtrlVal(handle18, MAP_COUNT, &count);
    if (count < 0 || count > MAX_MAP_POINTS) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "Number of Points %d is refused: a symbol map holds 0 to %d points.\nNothing was saved.", count,
                      MAX_MAP_POINTS);
        MessagePopup("", text);
        SetCtrlVal(handle18, MAP_COUNT, map.num_points);
        return 0;
    }
    GetCtrlVal(handle18, MAP_NAME, map.map_name, sizeof map.map_name);
    map.num_points = count;
    GetCtrlVal(handle18, MAP_ROTATION_MODE, &map.rotation_mode);
    GetCtrlVal(handle18, MAP_OFFSET_Q, &map.offset_q);
    map.rotation_step = static_cast<float>(Number(handle18, MAP_ROTATION_STEP) * PI_DOUBLE / 180.0);
    GetCtrlVal(handle18, MAP_SPARE, &map.spare_setting);
    char path[MAX_PATHNAME_LEN] = "";
    if (FileSelectPopup("", "*.smp", "*.smp", "Symbol Map Files", VAL_SAVE_BUTTON, 0, 1, 1, 1, path) ==
        VAL_NO_FILE_SELECTED)
        return 0;
    WriteMapFileName(SaveSymbolMap(path, "File Opening Error (11)") == 0 ? path : "");
    return 0;
}
