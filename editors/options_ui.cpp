// The three option dialogs: general, instrument and compile settings. They
// are modeless; opening one that is already open only raises it.
#include <cstdio>
#include <string>

#include "compile/iqformats.h"
#include "editors/editors_ui.h"
#include "editors/options.h"
#include "editors/tableview_ui.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "transfer/gpib.h"

namespace {

// Raises an open dialog and says so; a closed one is to be loaded and shown.
bool RaiseIfOpen(int panel) {
    if (IsPanelVisible(panel) != 1) return false;
    DisplayPanel(panel);
    return true;
}

void Show(int panel) {
    SetPanelPos(panel, VAL_AUTO_CENTER, VAL_AUTO_CENTER);
    DisplayPanel(panel);
}

int Value(int panel, int control) {
    int v = 0;
    GetCtrlVal(panel, control, &v);
    return v;
}

// The level is used by the fixed normalisation only.
void DimLevel(int mode) {
    if (mode == 0 || mode == 1) SetCtrlAttribute(handle8, COMPILE_LEVEL, ATTR_DIMMED, mode == 0);
}

}  // namespace

void SetAppMenuLabels() {
    const std::string one = FieldText(globals.ext_app1_name), two = FieldText(globals.ext_app2_name);
    SetMenuBarAttribute(handle0, MENU_APP1, ATTR_ITEM_NAME, one.empty() ? "Application 1" : one.c_str());
    SetMenuBarAttribute(handle0, MENU_APP2, ATTR_ITEM_NAME, two.empty() ? "Application 2" : two.c_str());
}

// ---------------------------------------------------------------------------

void GeneralOptions(int, int, void*, int) {
    if (RaiseIfOpen(handle6)) return;
    SetCtrlVal(handle6, GENERAL_WAVEFORM_DIR, FieldText(globals.waveform_dir).c_str());
    SetCtrlVal(handle6, GENERAL_DATA_DIR, FieldText(globals.data_dir).c_str());
    SetCtrlVal(handle6, GENERAL_APP1_NAME, FieldText(globals.ext_app1_name).c_str());
    SetCtrlVal(handle6, GENERAL_APP1_COMMAND, FieldText(globals.ext_app1_command).c_str());
    SetCtrlVal(handle6, GENERAL_APP2_NAME, FieldText(globals.ext_app2_name).c_str());
    SetCtrlVal(handle6, GENERAL_APP2_COMMAND, FieldText(globals.ext_app2_command).c_str());
    Show(handle6);
}

int GeneralOptOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    GetCtrlVal(handle6, GENERAL_WAVEFORM_DIR, globals.waveform_dir);
    GetCtrlVal(handle6, GENERAL_DATA_DIR, globals.data_dir);
    GetCtrlVal(handle6, GENERAL_APP1_NAME, globals.ext_app1_name);
    GetCtrlVal(handle6, GENERAL_APP1_COMMAND, globals.ext_app1_command);
    GetCtrlVal(handle6, GENERAL_APP2_NAME, globals.ext_app2_name);
    GetCtrlVal(handle6, GENERAL_APP2_COMMAND, globals.ext_app2_command);
    SetAppMenuLabels();
    HidePanel(handle6);
    return 0;
}

int GeneralCancel(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) HidePanel(handle6);
    return 0;
}

// ---------------------------------------------------------------------------

void InstrumentOptions(int, int, void*, int) {
    if (RaiseIfOpen(handle7)) return;
    SetCtrlVal(handle7, INSTRUMENT_TYPE, globals.instrument_type);
    SetCtrlVal(handle7, INSTRUMENT_GPIB, globals.gpib_address);
    SetCtrlVal(handle7, INSTRUMENT_DESTINATION, globals.output_destination);
    SetCtrlVal(handle7, INSTRUMENT_MAX_LENGTH, globals.max_record_length);
    SetCtrlVal(handle7, INSTRUMENT_GRANULARITY, globals.record_granularity);
    int octets[4];
    AddressOctets(FieldText(globals.instrument_ip).c_str(), octets);
    for (int i = 0; i < 4; ++i) SetCtrlVal(handle7, INSTRUMENT_IP1 + i, octets[i]);
    SetCtrlVal(handle7, INSTRUMENT_FTP_PORT, globals.ftp_port > 0 ? globals.ftp_port : 21);
    SetCtrlVal(handle7, INSTRUMENT_RESOURCE, instrument_resource);
    Show(handle7);
}

int InstrumentOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    // The resource string first: a bad one keeps the dialog open.
    char resource[INSTRUMENT_RESOURCE_SIZE] = "";
    GetCtrlVal(handle7, INSTRUMENT_RESOURCE, resource);
    char why[160];
    if (resource[0] && ParseInstrumentResource(resource, why, sizeof why) != 0) {
        std::string text = std::string("The VISA resource \"") + resource + "\" is not valid: " + why;
        MessagePopup("Instrument Options", text.c_str());
        return 0;
    }
    SetField(instrument_resource, resource);
    globals.instrument_type = Value(handle7, INSTRUMENT_TYPE);
    globals.gpib_address = Value(handle7, INSTRUMENT_GPIB);
    globals.output_destination = Value(handle7, INSTRUMENT_DESTINATION);
    globals.max_record_length = Value(handle7, INSTRUMENT_MAX_LENGTH);
    globals.record_granularity = Value(handle7, INSTRUMENT_GRANULARITY);
    globals.ftp_port = Value(handle7, INSTRUMENT_FTP_PORT);
    char address[sizeof globals.instrument_ip];
    std::snprintf(address, sizeof address, "%d.%d.%d.%d", Value(handle7, INSTRUMENT_IP1),
                  Value(handle7, INSTRUMENT_IP1 + 1), Value(handle7, INSTRUMENT_IP1 + 2),
                  Value(handle7, INSTRUMENT_IP1 + 3));
    SetField(globals.instrument_ip, address);
    // Text targets and the rest from 7 on are written as native-format files only.
    if (globals.instrument_type >= 7) globals.output_destination = 1;
    HidePanel(handle7);
    return 0;
}

int InstrumentCancel(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) HidePanel(handle7);
    return 0;
}

// ---------------------------------------------------------------------------

void CompileOptions(int, int, void*, int) {
    if (RaiseIfOpen(handle8)) return;
    SetCtrlVal(handle8, COMPILE_LENGTH, globals.compile_length);
    SetCtrlVal(handle8, COMPILE_CLOCK, static_cast<double>(globals.sample_clock));
    SetCtrlVal(handle8, COMPILE_MODE, globals.compile_mode);
    SetCtrlVal(handle8, COMPILE_RF, globals.output_rf != 0);
    SetCtrlVal(handle8, COMPILE_I, globals.output_baseband_i != 0);
    SetCtrlVal(handle8, COMPILE_Q, globals.output_baseband_q != 0);
    SetCtrlVal(handle8, COMPILE_NORMALIZATION, globals.normalization_mode);
    SetCtrlVal(handle8, COMPILE_LEVEL, static_cast<double>(globals.normalization_level));
    SetCtrlVal(handle8, COMPILE_BASEBAND_ALL, globals.baseband_all_carriers != 0);
    SetCtrlVal(handle8, COMPILE_IQ, iq_settings.enabled != 0);
    SetCtrlAttribute(handle8, COMPILE_LEVEL, ATTR_DIMMED, globals.normalization_mode == 0);
    Show(handle8);
}

int ProcessNorm(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) DimLevel(Value(panel, control));
    return 0;
}

int CompileOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    globals.compile_length = Value(handle8, COMPILE_LENGTH);
    GetCtrlVal(handle8, COMPILE_CLOCK, &globals.sample_clock);
    globals.compile_mode = Value(handle8, COMPILE_MODE);
    globals.output_rf = Value(handle8, COMPILE_RF);
    globals.output_baseband_i = Value(handle8, COMPILE_I);
    globals.output_baseband_q = Value(handle8, COMPILE_Q);
    globals.normalization_mode = Value(handle8, COMPILE_NORMALIZATION);
    GetCtrlVal(handle8, COMPILE_LEVEL, &globals.normalization_level);
    globals.baseband_all_carriers = Value(handle8, COMPILE_BASEBAND_ALL);
    iq_settings.enabled = Value(handle8, COMPILE_IQ);
    UpdateCarrierTable();
    HidePanel(handle8);
    return 0;
}

int CompileCancel(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) HidePanel(handle8);
    return 0;
}
