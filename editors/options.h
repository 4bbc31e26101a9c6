// Helpers of the option dialogs that need no panel.
#pragma once

#include "shell/uldo.h"

// The settings of a first start, which are uldoc's defaults too: mode 0,
// 100,000 samples, clock ratio 2.5, WFM, a native-format file with the RF
// pass, automatic normalisation to 1.0, 16,000,000 samples at most,
// granularity 1, reference carrier 1; every other field zero (no folders).
void SetFirstStartDefaults(GlobalSettings* s);

// The four octets the instrument dialog shows for `instrument_ip`: the
// numbers of a dotted address "a.b.c.d" (each 0..255), and 0.0.0.0 for any
// other text, the empty text of a first start included.
void AddressOctets(const char* text, int octets[4]);
