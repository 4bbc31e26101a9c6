// The GUI driver of the compile engine.
#include "compile/calculate_ui.h"

#include "compile/engine.h"
#include "compile/iqformats.h"
#include "compile/output.h"
#include "displays/displays_ui.h"
#include "editors/tableview_ui.h"
#include "shaping/filters.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "transfer/ftp.h"
#include "transfer/gpib.h"
#include "transfer/targets.h"

namespace {

constexpr const char* UIR = "uldo.uir";

void ShowStatus(const char* text) {
    SetCtrlVal(handle2, PROGRESS_STATUS, text);
    ProcessDrawEvents();
}

void ShowProgress(double percent) {
    SetCtrlVal(handle2, PROGRESS_PERCENT, percent);
    SetCtrlVal(handle2, PROGRESS_BAR, percent);
    ProcessDrawEvents();
}

// The cancel button is polled, not called back: a click is a queued commit.
int CancelClicked() {
    int panel = 0, control = 0;
    while (GetUserEvent(0, &panel, &control) == EVENT_COMMIT)
        if (panel == handle2 && control == PROGRESS_CANCEL) return 1;
    return 0;
}

void AtAnalysisMoment(int moment) {
    if (moment == ANALYSIS_RF_PASS) ShowAnalysisPower();
    if (moment == ANALYSIS_COMPILED) ShowAnalysisPreview();
    if (moment != ANALYSIS_PLANNED) return;
    if (globals.reference_carrier > 0) SetUpAnalysisPanel();
    GetCtrlVal(handle, MAIN_COMMENT, comment);
    UpdateCarrierTable();
    PlacePanelBelow(handle2, handle);   // clear of the analysis panel beside the main one
    DisplayPanel(handle2);
}

// The prompt hook: PromptPopup answers 0 on OK.
int PromptForText(const char* title, const char* text, char* buffer, int max_length) {
    return PromptPopup(title, text, buffer, max_length) == 0 ? 1 : 0;
}

// Asks for the waveform file of pass 1; false when the user cancelled.
bool SelectWaveformFile(char (&path)[MAX_PATHNAME_LEN]) {
    const char* pattern;
    const char* title;
    if (globals.output_destination == 2) {
        pattern = "*.gpi";
        title = "Specify Waveform File (GPIB Format)";
    } else {
        pattern = OutputFamilyOf(globals.instrument_type) == OUTPUT_PAT ? "*.pat" : "*.wfm";
        title = "Specify Waveform File (Native Format)";
    }
    path[0] = 0;
    int chosen = FileSelectPopup(FieldText(globals.waveform_dir).c_str(), pattern, pattern, title,
                                 VAL_SAVE_BUTTON, 0, 1, 1, 1, path);
    return chosen != VAL_NO_FILE_SELECTED && path[0] != 0;
}

}  // namespace

void SetUpAnalysisPanel() {
    int ref = globals.reference_carrier - 1;
    if (ref < 0 || ref >= MAX_CARRIERS) return;
    const Carrier& c = signals[ref];
    handle5 = LoadPanel(0, UIR, PANEL_ANALYSIS);
    PlacePanelBeside(handle5, handle);   // the Compile button stays in sight
    DisplayPanel(handle5);
    PlotAnalysisPulse(handle5, ref);
    SetCtrlVal(handle5, ANALYSIS_POWER, "0.000");
    SetCtrlVal(handle5, ANALYSIS_FREQUENCY, c.frequency_hz / 1e6);
    SetCtrlVal(handle5, ANALYSIS_SYMBOL_RATE, c.symbol_rate / 1e6);
    SetCtrlVal(handle5, ANALYSIS_CLOCK, record_clock / 1e6);
    ShowPanelMod(c.modulation);
    ShowPanelFilter(c.filter_type);
    SetCtrlVal(handle5, ANALYSIS_FILTER_PARAM, static_cast<double>(c.filter_param));
    SetCtrlVal(handle5, ANALYSIS_SYMBOLS, static_cast<int>(symbols_in_record[ref]));
    SetCtrlVal(handle5, ANALYSIS_SAMPLES, static_cast<int>(numpoints));
}

void Calculate() {
    if (handle5) DiscardPanel(handle5);
    handle5 = 0;
    // A cancel click that reached no run (one from before this run, or a
    // second click on the last) must not stop this one.
    ClearUserEvents();

    CoreHooks saved = core_hooks;
    core_hooks.status = ShowStatus;
    core_hooks.progress = ShowProgress;
    core_hooks.cancel_requested = CancelClicked;
    core_hooks.analysis = AtAnalysisMoment;
    core_hooks.prompt = PromptForText;

    // One sink per enabled output pass, of the kind the destination needs.
    CompileTargets targets{};
    int destination = globals.output_destination;
    const int enabled[PASS_IQ + 1] = {0, globals.output_rf != 0, globals.output_baseband_i != 0,
                                      globals.output_baseband_q != 0, iq_settings.enabled != 0};
    bool any_output = enabled[1] || enabled[2] || enabled[3] || enabled[PASS_IQ];
    bool prepared = true;
    iq_settings.rf_raw = 0;
    if (iq_settings.enabled && destination != 1) {
        MessagePopup("COMPILATION ERROR", "The complex I/Q record is written to a native-format file only.");
        prepared = false;
    }
    static char names[PASS_IQ + 1][TARGET_PATH_SIZE];
    if (any_output && prepared) {
        if (destination == 0) {
            prepared = PrepareGpibOutput() == 0;
        } else if (destination == 3) {
            PlacePanelBelow(handle2, handle);
            DisplayPanel(handle2);   // the login dialogue shows on its status line
            prepared = PrepareFtpOutput(nullptr) == 0;
        } else {
            char path[MAX_PATHNAME_LEN];
            prepared = SelectWaveformFile(path);
            if (prepared && NamePassFiles(path, iq_settings.enabled, iq_settings.format, names) != 0) {
                MessagePopup("COMPILATION ERROR", "The waveform file path is too long.");
                prepared = false;
            }
        }
        if (prepared) prepared = BuildCompileTargets(destination, enabled, names, &targets) == 0;
    }
    int result = prepared ? CompileTable(&targets) : COMPILE_REFUSED;
    if (prepared && any_output && destination == 3) FinishFtpOutput();
    core_hooks = saved;

    HidePanel(handle2);
    ClearUserEvents();   // clicks on the progress panel after the run stopped
    if (result == COMPILE_CANCELLED && handle5) HidePanel(handle5);
    // The plan rounded the carriers: show the values that were compiled.
    UpdateCarrierTable();
}

int Compile2(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) AcquireData(handle0, MENU_COMPILE, nullptr, handle);
    return 0;
}

int Compile3(int panel, int control, int event, void* data, int data1, int data2) {
    return Compile2(panel, control, event, data, data1, data2);
}

void AcquireData(int, int, void*, int) {
    SetPanelAttribute(handle, ATTR_DIMMED, 1);
    Calculate();
    SetPanelAttribute(handle, ATTR_DIMMED, 0);
}
