// The PRBS assistant: polynomials as text and the register as 31 stage
// switches, for the current carrier (carrier editor) or for the seed and
// polynomial the carrier assistant hands to the carriers it generates.
#include <cstring>

#include "maps/maps.h"
#include "maps/mapspanels_ui.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"

namespace {

// map_editor.prbs_caller is the panel the assistant serves: handle3 (a table
// record) or handle11 (seed and polynomial only, so that no record of the
// table is touched from there).
bool ForAssistant() { return map_editor.prbs_caller != 0 && map_editor.prbs_caller == handle11; }

Carrier* CurrentCarrier() {
    int r = globals.current_carrier;
    return r >= 0 && r < MAX_CARRIERS ? &signals[r] : nullptr;
}

void ShowPolynomial(int control, uint32_t mask) {
    char text[POLYNOMIAL_TEXT];
    PolynomialText(mask, text, sizeof text);
    SetCtrlVal(handle13, control, text);
}

// Stages above the polynomial's degree take no part in the sequence: dimmed.
void ShowStages(uint32_t state, uint32_t mask) {
    int degree = PolynomialDegree(mask);
    for (int k = 1; k <= 31; ++k) {
        SetCtrlVal(handle13, PRBS_STAGE1 + k - 1, PrbsStage(state, k));
        SetCtrlAttribute(handle13, PRBS_STAGE1 + k - 1, ATTR_DIMMED, k > degree ? 1 : 0);
    }
}

void OpenOn(int caller) {
    map_editor.prbs_caller = caller;
    if (caller) SetPanelAttribute(caller, ATTR_DIMMED, 1);
    DisplayPanel(handle13);
    SetActiveCtrl(handle13, PRBS_POLY_I);
}

void ShowCarrier() {
    Carrier* c = CurrentCarrier();
    if (!c) return;
    SetCtrlVal(handle13, PRBS_IQ_EQUAL, c->prbs_iq_equal ? 1 : 0);
    SetCtrlAttribute(handle13, PRBS_POLY_Q, ATTR_DIMMED, c->prbs_iq_equal ? 1 : 0);
    ShowPolynomial(PRBS_POLY_I, c->prbs_poly_i);
    ShowStages(c->prbs_seed_i, c->prbs_poly_i);
    ShowPolynomial(PRBS_POLY_Q, c->prbs_poly_q);
}

void ShowShared() {
    ShowPolynomial(PRBS_POLY_I, map_editor.polynomial);
    ShowStages(map_editor.seed, map_editor.polynomial);
}

void Close() {
    HidePanel(handle13);
    if (map_editor.prbs_caller) {
        SetPanelAttribute(map_editor.prbs_caller, ATTR_DIMMED, 0);
        DisplayPanel(map_editor.prbs_caller);
    }
}

// Reads and stores the panel; a polynomial that does not parse is reported
// and nothing is stored. Returns 0 when stored.
int Store() {
    char text[POLYNOMIAL_TEXT];
    uint32_t mask_i = 0, mask_q = 0;
    GetCtrlVal(handle13, PRBS_POLY_I, text, sizeof text);
    if (ProcessPol(text, &mask_i) != 0) {
        SetActiveCtrl(handle13, PRBS_POLY_I);
        return -1;
    }
    int stages[31];
    for (int k = 1; k <= 31; ++k) GetCtrlVal(handle13, PRBS_STAGE1 + k - 1, &stages[k - 1]);
    uint32_t state = PrbsStateFromStages(stages);
    if (ForAssistant()) {
        map_editor.polynomial = mask_i;
        map_editor.seed = state;
        return 0;
    }
    Carrier* c = CurrentCarrier();
    if (!c) return -1;
    GetCtrlVal(handle13, PRBS_POLY_Q, text, sizeof text);
    if (ProcessPol(text, &mask_q) != 0) {
        SetActiveCtrl(handle13, PRBS_POLY_Q);
        return -1;
    }
    int equal = 0;
    GetCtrlVal(handle13, PRBS_IQ_EQUAL, &equal);
    c->prbs_iq_equal = equal ? 1 : 0;
    c->prbs_poly_i = map_editor.polynomial = mask_i;
    c->prbs_seed_i = map_editor.seed = state;
    c->prbs_poly_q = mask_q;
    return 0;
}

}  // namespace

int LoadPrbsAsist(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    OpenOn(handle3);
    ShowCarrier();
    return 0;
}

int LoadPrbsAsist2(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    OpenOn(handle11);
    map_editor.seed = 0xFEDCBA98u;
    map_editor.polynomial = 3;
    SetCtrlVal(handle13, PRBS_IQ_EQUAL, 1);
    SetCtrlAttribute(handle13, PRBS_POLY_Q, ATTR_DIMMED, 1);
    ShowShared();
    return 0;
}

int PrbsAsistOk(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    if (Store() == 0) Close();
    return 0;
}

int PrbsApply(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    if (Store() != 0) return 0;
    if (ForAssistant()) ShowShared();
    else ShowCarrier();
    return 0;
}

int PrbsDefault(int panel, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    if (ForAssistant()) {
        map_editor.seed = 0xFEDCBA98u;
        map_editor.polynomial = 3;
        ShowShared();
        return 0;
    }
    Carrier* c = CurrentCarrier();
    if (!c) return 0;
    if (panel != 0 && panel == handle19) {
        c->prbs_seed_q = 0xFEDCBA98u;
        c->prbs_poly_q = 3;
    } else {
        c->prbs_seed_i = 0xFEDCBA98u;
        c->prbs_poly_i = 3;
    }
    ShowCarrier();
    return 0;
}

int PrbsAsistCancel(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (panel != 0 && panel == handle19) {
        HidePanel(handle19);
        SetPanelAttribute(handle3, ATTR_DIMMED, 0);
        return 0;
    }
    Close();
    return 0;
}

int ProcessEqual(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int equal = 0;
    GetCtrlVal(handle13, PRBS_IQ_EQUAL, &equal);
    SetCtrlAttribute(handle13, PRBS_POLY_Q, ATTR_DIMMED, equal ? 1 : 0);
    return 0;
}
