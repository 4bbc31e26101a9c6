// The carrier assistant panel: a comb of carriers appended in one step.
#include <cstdio>
#include <string>

#include "editors/assistant.h"
#include "editors/editorpanel_ui.h"
#include "editors/editors_ui.h"
#include "editors/tableview_ui.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"

namespace {

void CloseAssistant() {
    HidePanel(handle11);
    SetPanelAttribute(handle, ATTR_DIMMED, 0);
    DisplayPanel(handle);
}

}  // namespace

int LAsist(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    map_editor.seed = 0xFEDCBA98u;
    map_editor.polynomial = 3;
    ApplyCarrierRules(handle11);
    SetPanelAttribute(handle, ATTR_DIMMED, 1);
    SetPanelPos(handle11, VAL_AUTO_CENTER, VAL_AUTO_CENTER);
    DisplayPanel(handle11);
    return 0;
}

int AsistantOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    CombRequest request{};
    ReadCarrierForm(handle11, &request.form);
    std::string problem;
    if (!FormFits(request.form, &problem)) {
        MessagePopup("", problem.c_str());
        return 0;
    }
    CloseAssistant();
    GetCtrlVal(handle, MAIN_COMMENT, comment);
    GetCtrlVal(handle11, ASSIST_COUNT, &request.count);
    GetCtrlVal(handle11, ASSIST_START, &request.start_mhz);
    GetCtrlVal(handle11, ASSIST_SPACING, &request.spacing_mhz);
    GetCtrlVal(handle11, ASSIST_PHASE_MODE, &request.random_phase);
    GetCtrlVal(handle11, ASSIST_PHASE_STEP, &request.phase_step);
    GetCtrlVal(handle11, ASSIST_PRBS_SHIFT, &request.prbs_shift);
    // Until the PRBS assistant sets it, one generator serves I and Q.
    request.prbs_iq_equal = 1;
    int left_out = 0;
    GenerateComb(request, &left_out);
    UpdateCarrierTable();
    if (left_out > 0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "The table holds %d carriers: %d carrier%s of the comb did not fit and %s left out.",
                      MAX_CARRIERS, left_out, left_out == 1 ? "" : "s", left_out == 1 ? "was" : "were");
        MessagePopup("", text);
    }
    return 0;
}

int AsistantCancel(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseAssistant();
    return 0;
}
