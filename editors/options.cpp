#include "editors/options.h"

#include <cctype>
#include <cstring>

#include "transfer/ftp.h"

namespace {

// "a.b.c.d" with 1 to 3 digits a part and each part at most 255.
bool IsDottedAddress(const char* text) {
    if (!text) return false;
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        int digits = 0, value = 0;
        for (; std::isdigit(static_cast<unsigned char>(*p)) && digits < 4; ++p, ++digits)
            value = value * 10 + (*p - '0');
        if (digits == 0 || digits > 3 || value > 255) return false;
        if (part < 3 && *p++ != '.') return false;
    }
    return *p == 0;
}

}  // namespace

void AddressOctets(const char* text, int octets[4]) {
    ParseIpAdr(text, octets);
    if (!IsDottedAddress(text))
        for (int i = 0; i < 4; ++i) octets[i] = 0;
}

void SetFirstStartDefaults(GlobalSettings* s) {
    std::memset(s, 0, sizeof *s);
    s->compile_mode = 0;
    s->compile_length = 100000;
    s->sample_clock = 2.5f;
    s->instrument_type = 0;
    s->max_record_length = 16000000;
    s->record_granularity = 1;
    s->output_destination = 1;
    s->output_rf = 1;
    s->output_baseband_i = 0;
    s->output_baseband_q = 0;
    s->normalization_mode = 0;
    s->normalization_level = 1.0f;
    s->baseband_all_carriers = 0;
    s->reference_carrier = 1;
}
