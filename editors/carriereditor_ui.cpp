// The carrier editor, its rules on the editor and assistant panels, the main
// panel's Add, Delete and list clicks, and the impairments editor.
#include <cstdio>
#include <cstring>
#include <string>

#include "editors/carrieredit.h"
#include "editors/editors_ui.h"
#include "editors/editorpanel_ui.h"
#include "editors/tableview_ui.h"
#include "shell/modtraits.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"

namespace {

// The control of each role; both panels number their shared controls alike,
// and a role a panel lacks (the assistant's frequency) is simply not found.
constexpr int role_controls[ROLE_COUNT] = {
    CARRIER_FREQUENCY,     CARRIER_AMPLITUDE,      CARRIER_PHASE,         CARRIER_SYMBOL_RATE,
    CARRIER_DEVIATION,     CARRIER_FILTER,         CARRIER_FILTER_PARAM,  CARRIER_FILTER_LENGTH,
    CARRIER_WINDOW,        CARRIER_DATA_SOURCE,    CARRIER_PRBS,          CARRIER_IQ_FILE,
    CARRIER_IQ_BROWSE,     CARRIER_IQ_ENCODING,    CARRIER_IQ_LAYOUT,     CARRIER_MAP_FILE,
    CARRIER_MAP_EDITOR,    CARRIER_CHANNEL_CODE,   CARRIER_SCRAMBLING_GROUP, CARRIER_CODE_IN_GROUP,
    CARRIER_SECONDARY_CODE, CARRIER_SPREADING_FACTOR, CARRIER_PSCH,       CARRIER_SSCH,
    CARRIER_FILTER_FILE,   CARRIER_FILTER_BROWSE,  CARRIER_FILTER_FORMAT, CARRIER_DATA_FILE,
    CARRIER_DATA_BROWSE,   CARRIER_DATA_OFFSET,    CARRIER_DATA_NEGATIVE,
};

void Apply(int panel, const RuleAction actions[ROLE_COUNT]) {
    for (int r = 0; r < ROLE_COUNT; ++r)
        if (actions[r] != RULE_LEAVE) SetCtrlAttribute(panel, role_controls[r], ATTR_DIMMED, actions[r] == RULE_DIM);
}

int Value(int panel, int control) {
    int v = 0;
    GetCtrlVal(panel, control, &v);
    return v;
}

double Number(int panel, int control) {
    double v = 0;
    GetCtrlVal(panel, control, &v);
    return v;
}

bool IsCarrierPanel(int panel) { return panel != 0 && (panel == handle3 || panel == handle11); }

// Selects the list row of record `index` when it is shown.
void SelectRow(int index) {
    int rows = 0;
    GetNumListItems(handle, MAIN_CARRIER_LIST, &rows);
    if (rows > 0) SetCtrlIndex(handle, MAIN_CARRIER_LIST, index < rows ? index : rows - 1);
}

// The record index of a list row, or -1.
int RecordOfRow(int row) {
    int value = -1;
    if (row < 0 || GetValueFromIndex(handle, MAIN_CARRIER_LIST, row, &value) < 0) return -1;
    return value >= 0 && value < globals.carrier_count && value < MAX_CARRIERS ? value : -1;
}

void CloseEditor() {
    HidePanel(handle3);
    SetPanelAttribute(handle, ATTR_DIMMED, 0);
    DisplayPanel(handle);
}

void OpenEditor(const char* title) {
    SetPanelAttribute(handle, ATTR_DIMMED, 1);
    SetPanelAttribute(handle3, ATTR_TITLE, title);
    ApplyCarrierRules(handle3);
    SetPanelPos(handle3, VAL_AUTO_CENTER, VAL_AUTO_CENTER);
    DisplayPanel(handle3);
}

void Browse(int panel, int control, const char* title) {
    char path[MAX_PATHNAME_LEN] = "";
    if (FileSelectPopup(FieldText(globals.data_dir).c_str(), "*.*", "", title, VAL_OK_BUTTON, 0, 0, 1, 0, path) ==
        VAL_NO_FILE_SELECTED)
        return;
    if (!IsCarrierPanel(panel)) return;
    if (std::strlen(path) >= sizeof(Carrier{}.data_file)) {
        std::string text = "The file name has " + std::to_string(std::strlen(path)) +
                           " characters; a carrier keeps at most 199:\n" + path;
        MessagePopup("", text.c_str());
        return;
    }
    SetCtrlVal(panel, control, path);
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared by the editor and the assistant.

void ApplyCarrierRules(int panel) {
    RuleAction actions[ROLE_COUNT];
    RulePreset preset;
    ModulationRules(Value(panel, CARRIER_MODULATION), panel == handle11 ? RULES_ASSISTANT : RULES_EDITOR, actions,
                    &preset);
    if (preset.set_filter >= 0) SetCtrlVal(panel, CARRIER_FILTER, preset.set_filter);
    if (preset.set_filter_param) SetCtrlVal(panel, CARRIER_FILTER_PARAM, 0.0);
    Apply(panel, actions);
    ProcessFilt(panel, CARRIER_FILTER, EVENT_COMMIT, nullptr, 0, 0);
    ProcessDSource(panel, CARRIER_DATA_SOURCE, EVENT_COMMIT, nullptr, 0, 0);
}

void ReadCarrierForm(int panel, CarrierForm* f) {
    std::memset(f, 0, sizeof *f);
    f->frequency_mhz = Number(panel, CARRIER_FREQUENCY);
    f->amplitude = Number(panel, CARRIER_AMPLITUDE);
    f->phase_deg = Number(panel, CARRIER_PHASE);
    f->symbol_rate_m = Number(panel, CARRIER_SYMBOL_RATE);
    f->deviation_khz = Number(panel, CARRIER_DEVIATION);
    f->filter_param = Number(panel, CARRIER_FILTER_PARAM);
    f->modulation = Value(panel, CARRIER_MODULATION);
    f->filter = Value(panel, CARRIER_FILTER);
    f->filter_length = Value(panel, CARRIER_FILTER_LENGTH);
    f->window = Value(panel, CARRIER_WINDOW);
    f->data_source = Value(panel, CARRIER_DATA_SOURCE);
    f->data_offset = Value(panel, CARRIER_DATA_OFFSET);
    f->data_negative = Value(panel, CARRIER_DATA_NEGATIVE);
    f->iq_encoding = Value(panel, CARRIER_IQ_ENCODING);
    f->iq_layout = Value(panel, CARRIER_IQ_LAYOUT);
    f->filter_format = Value(panel, CARRIER_FILTER_FORMAT);
    f->channel_code = Value(panel, CARRIER_CHANNEL_CODE);
    f->scrambling_group = Value(panel, CARRIER_SCRAMBLING_GROUP);
    f->spreading_factor = Value(panel, CARRIER_SPREADING_FACTOR);
    f->code_in_group = Value(panel, CARRIER_CODE_IN_GROUP);
    f->secondary_code = Value(panel, CARRIER_SECONDARY_CODE);
    f->psch_db = Number(panel, CARRIER_PSCH);
    f->ssch_db = Number(panel, CARRIER_SSCH);
    GetCtrlVal(panel, CARRIER_IQ_FILE, f->iq_file, FORM_TEXT_SIZE);
    GetCtrlVal(panel, CARRIER_MAP_FILE, f->map_file, FORM_TEXT_SIZE);
    GetCtrlVal(panel, CARRIER_FILTER_FILE, f->filter_file, FORM_TEXT_SIZE);
    GetCtrlVal(panel, CARRIER_DATA_FILE, f->data_file, FORM_TEXT_SIZE);
}

int ProcessMod(int panel, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) ApplyCarrierRules(panel);
    return 0;
}

int ProcessFilt(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    RuleAction actions[ROLE_COUNT] = {};
    FilterRules(Value(panel, CARRIER_FILTER), actions);
    Apply(panel, actions);
    return 0;
}

int ProcessDSource(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int dimmed = 0;
    GetCtrlAttribute(panel, CARRIER_DATA_SOURCE, ATTR_DIMMED, &dimmed);
    RuleAction actions[ROLE_COUNT] = {};
    DataSourceRules(dimmed, Value(panel, CARRIER_DATA_SOURCE), actions);
    Apply(panel, actions);
    return 0;
}

int IQBrowse(int panel, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) Browse(panel, CARRIER_IQ_FILE, "IQ Files");
    return 0;
}

int FilterBrowse(int panel, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) Browse(panel, CARRIER_FILTER_FILE, "Filter Files");
    return 0;
}

int DataBrowse(int panel, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) Browse(panel, CARRIER_DATA_FILE, "Data Files");
    return 0;
}

// ---------------------------------------------------------------------------
// Main panel.

int AddLine(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    if (BeginAdd() != 0) return 0;
    char title[64];
    std::snprintf(title, sizeof title, "Carrier Editor: New Carrier %d", globals.current_carrier + 1);
    OpenEditor(title);
    return 0;
}

int EditLine(int, int, int event, void*, int row, int) {
    if (event != EVENT_LEFT_DOUBLE_CLICK && event != EVENT_RIGHT_CLICK) return 0;
    if (globals.carrier_count <= 0) return 0;
    const int index = RecordOfRow(row);
    if (index < 0) return 0;
    if (event == EVENT_RIGHT_CLICK) {
        ChooseReference(index);
        UpdateCarrierTable();
        SelectRow(index);
        return 0;
    }
    globals.current_carrier = index;
    CarrierForm form;
    FormOfCarrier(signals[index], &form);
    WriteCarrierForm(handle3, form);
    char title[64];
    std::snprintf(title, sizeof title, "Carrier Editor: Carrier %d", index + 1);
    OpenEditor(title);
    return 0;
}

int EditOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    const int index = globals.current_carrier;
    if (index < 0 || index >= MAX_CARRIERS) {
        CloseEditor();
        return 0;
    }
    CarrierForm form;
    ReadCarrierForm(handle3, &form);
    std::string problem;
    if (!FormFits(form, &problem)) {
        MessagePopup("", problem.c_str());
        return 0;
    }
    GetCtrlVal(handle, MAIN_COMMENT, comment);
    StoreForm(form, &signals[index]);
    CloseEditor();
    FinishStore();
    UpdateCarrierTable();
    SelectRow(index);
    return 0;
}

int EditCancel(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseEditor();
    return 0;
}

int DeleteLine(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK || globals.carrier_count <= 0) return 0;
    int row = -1;
    GetCtrlIndex(handle, MAIN_CARRIER_LIST, &row);
    const int index = RecordOfRow(row);
    if (index < 0) return 0;
    DeleteCarrier(index);
    UpdateCarrierTable();
    SelectRow(index);
    return 0;
}

void WriteCarrierForm(int panel, const CarrierForm& f) {
    SetCtrlVal(panel, CARRIER_FREQUENCY, f.frequency_mhz);
    SetCtrlVal(panel, CARRIER_AMPLITUDE, f.amplitude);
    SetCtrlVal(panel, CARRIER_PHASE, f.phase_deg);
    SetCtrlVal(panel, CARRIER_SYMBOL_RATE, f.symbol_rate_m);
    SetCtrlVal(panel, CARRIER_DEVIATION, f.deviation_khz);
    SetCtrlVal(panel, CARRIER_FILTER_PARAM, f.filter_param);
    SetCtrlVal(panel, CARRIER_MODULATION, f.modulation);
    SetCtrlVal(panel, CARRIER_FILTER, f.filter);
    SetCtrlVal(panel, CARRIER_FILTER_LENGTH, f.filter_length);
    SetCtrlVal(panel, CARRIER_WINDOW, f.window);
    SetCtrlVal(panel, CARRIER_DATA_SOURCE, f.data_source);
    SetCtrlVal(panel, CARRIER_DATA_OFFSET, f.data_offset);
    SetCtrlVal(panel, CARRIER_DATA_NEGATIVE, f.data_negative);
    SetCtrlVal(panel, CARRIER_IQ_ENCODING, f.iq_encoding);
    SetCtrlVal(panel, CARRIER_IQ_LAYOUT, f.iq_layout);
    SetCtrlVal(panel, CARRIER_FILTER_FORMAT, f.filter_format);
    SetCtrlVal(panel, CARRIER_CHANNEL_CODE, f.channel_code);
    SetCtrlVal(panel, CARRIER_SCRAMBLING_GROUP, f.scrambling_group);
    SetCtrlVal(panel, CARRIER_SPREADING_FACTOR, f.spreading_factor);
    SetCtrlVal(panel, CARRIER_CODE_IN_GROUP, f.code_in_group);
    SetCtrlVal(panel, CARRIER_SECONDARY_CODE, f.secondary_code);
    SetCtrlVal(panel, CARRIER_PSCH, f.psch_db);
    SetCtrlVal(panel, CARRIER_SSCH, f.ssch_db);
    // The file names of the modulation only; the other stays as it was.
    if (ModKind(f.modulation) == MOD_KIND_IQ_FILE) SetCtrlVal(panel, CARRIER_IQ_FILE, f.iq_file);
    if (ModKind(f.modulation) == MOD_KIND_MAP) SetCtrlVal(panel, CARRIER_MAP_FILE, f.map_file);
    SetCtrlVal(panel, CARRIER_FILTER_FILE, f.filter_file);
    SetCtrlVal(panel, CARRIER_DATA_FILE, f.data_file);
}

// ---------------------------------------------------------------------------
// Impairments editor: three slots of type and two values, straight into the
// record being edited.

namespace {

struct SlotFields {
    int32_t* type;
    float* value;
    float* value2;
};

void SlotsOf(Carrier& c, SlotFields slots[3]) {
    slots[0] = {&c.impairment1_type, &c.impairment1_value, &c.impairment1_value2};
    slots[1] = {&c.impairment2_type, &c.impairment2_value, &c.impairment2_value2};
    slots[2] = {&c.impairment3_type, &c.impairment3_value, &c.impairment3_value2};
}

void CloseImpairments() {
    HidePanel(handle30);
    SetPanelAttribute(handle3, ATTR_DIMMED, 0);
    DisplayPanel(handle3);
}

}  // namespace

int EditInpair(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    const int index = globals.current_carrier;
    if (index < 0 || index >= MAX_CARRIERS) return 0;
    SetPanelAttribute(handle3, ATTR_DIMMED, 1);
    SlotFields slots[3];
    SlotsOf(signals[index], slots);
    for (int k = 0; k < 3; ++k) {
        SetCtrlVal(handle30, IMPAIR_TYPE1 + 3 * k, static_cast<int>(*slots[k].type));
        SetCtrlVal(handle30, IMPAIR_TYPE1 + 3 * k + 1, static_cast<double>(*slots[k].value));
        SetCtrlVal(handle30, IMPAIR_TYPE1 + 3 * k + 2, static_cast<double>(*slots[k].value2));
    }
    char title[64];
    std::snprintf(title, sizeof title, "Impairments of Carrier %d", index + 1);
    SetPanelAttribute(handle30, ATTR_TITLE, title);
    SetPanelPos(handle30, VAL_AUTO_CENTER, VAL_AUTO_CENTER);
    DisplayPanel(handle30);
    ProcessInpairType(handle30, IMPAIR_TYPE1, EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

int EditInpairOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    HidePanel(handle30);
    const int index = globals.current_carrier;
    if (index >= 0 && index < MAX_CARRIERS) {
        SlotFields slots[3];
        SlotsOf(signals[index], slots);
        for (int k = 0; k < 3; ++k) {
            int type = 0;
            GetCtrlVal(handle30, IMPAIR_TYPE1 + 3 * k, &type);
            *slots[k].type = type;
            GetCtrlVal(handle30, IMPAIR_TYPE1 + 3 * k + 1, slots[k].value);
            GetCtrlVal(handle30, IMPAIR_TYPE1 + 3 * k + 2, slots[k].value2);
        }
    }
    CloseImpairments();
    return 0;
}

int EditInpairCancel(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseImpairments();
    return 0;
}

int ProcessInpairType(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    for (int k = 0; k < 3; ++k) {
        const int type = Value(panel, IMPAIR_TYPE1 + 3 * k);
        const int first = IMPAIR_TYPE1 + 3 * k + 1, second = first + 1;
        switch (type) {
            case IMPAIRMENT_NONE:
                SetCtrlAttribute(panel, first, ATTR_DIMMED, 1);
                SetCtrlAttribute(panel, second, ATTR_DIMMED, 1);
                break;
            case IMPAIRMENT_PHASE:
            case IMPAIRMENT_IMBALANCE:
                SetCtrlAttribute(panel, first, ATTR_DIMMED, 0);
                SetCtrlAttribute(panel, first, ATTR_LABEL_TEXT,
                                 type == IMPAIRMENT_PHASE ? "    Phase(\u00ba):" : "    Inbal.(%):");
                SetCtrlAttribute(panel, second, ATTR_DIMMED, 1);
                break;
            case IMPAIRMENT_FEEDTHROUGH:
                SetCtrlAttribute(panel, first, ATTR_DIMMED, 0);
                SetCtrlAttribute(panel, first, ATTR_LABEL_TEXT, "      I-FT(%):");
                SetCtrlAttribute(panel, second, ATTR_DIMMED, 0);
                SetCtrlAttribute(panel, second, ATTR_LABEL_TEXT, "   Q-FT(%):");
                break;
            default: break;
        }
    }
    return 0;
}
