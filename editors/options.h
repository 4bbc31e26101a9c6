// Helpers of the option dialogs that need no panel.
#pragma once

// The four octets the instrument dialog shows for `instrument_ip`: the
// numbers of a dotted address "a.b.c.d" (each 0..255), and 0.0.0.0 for any
// other text, the empty text of a first start included.
void AddressOctets(const char* text, int octets[4]);
