// What the carrier editor and the carrier assistant share: the rules applied
// to either panel and the reading and writing of their common controls.
#pragma once

#include "editors/carrieredit.h"

// The modulation rule with its presets, then the filter and data-source rules,
// on the editor (handle3) or the assistant (handle11).
void ApplyCarrierRules(int panel);
// The values of the panel's carrier controls; controls the panel lacks read 0.
void ReadCarrierForm(int panel, CarrierForm* form);
// Shows a form in the editor's controls (the I/Q file name only for FILE 1/2,
// the map file name only for FILE 3).
void WriteCarrierForm(int panel, const CarrierForm& form);
