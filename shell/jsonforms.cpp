#include "shell/jsonforms.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>
#include <nlohmann/json.hpp>

#include "shell/codes.h"
#include "shell/hooks.h"
#include "shell/polytext.h"
#include "shell/recordfiles.h"
#include "shell/textcodec.h"

using ordered_json = nlohmann::ordered_json;

namespace {

enum FieldKind { F32, I32, U32, TEXT, BYTES };

// One field of a record's JSON form. `names`: the CodeKind whose names the
// field takes (CODE_NONE for a plain number); unit and meaning go into the
// field reference (uldoc fields, uldoc schema).
struct FieldSpec {
    const char* name;
    int offset;
    int kind;
    int size;
    int names;
    const char* unit;
    const char* meaning;
};

#define CARRIER_FIELD(f, kind, unit, meaning) {#f, offsetof(Carrier, f), kind, sizeof(Carrier::f), CODE_NONE, unit, meaning}
#define CARRIER_CODE(f, names, meaning) {#f, offsetof(Carrier, f), I32, sizeof(Carrier::f), names, "", meaning}
const FieldSpec carrier_fields[] = {
    CARRIER_FIELD(frequency_hz, F32, "Hz", "carrier frequency, above 0"),
    CARRIER_FIELD(amplitude, F32, "", "linear factor on the carrier's I/Q samples"),
    CARRIER_FIELD(phase_deg, F32, "degree", "initial carrier phase"),
    CARRIER_FIELD(symbol_rate, F32, "symbol/s", "symbol rate; for AM, FM and PM the modulating tone in Hz"),
    CARRIER_CODE(modulation, CODE_MODULATION, "modulation"),
    CARRIER_CODE(filter_type, CODE_FILTER, "pulse-shaping filter"),
    CARRIER_FIELD(filter_length, I32, "symbol", "filter span, odd, 1 to 202"),
    CARRIER_CODE(window_type, CODE_WINDOW, "window on the filter's impulse response"),
    CARRIER_FIELD(filter_param, F32, "", "roll-off (RCOS, SQRT_RCOS), BT (GAUSS, GAUSS2), cut-off in symbol rates "
                                         "(BUTTER*); AM depth in %, FM deviation in kHz, PM deviation in degrees"),
    CARRIER_FIELD(deviation_hz, F32, "Hz", "FSK frequency deviation"),
    CARRIER_FIELD(prbs_poly_i, U32, "", "feedback polynomial of the bit generator, bit b for X^(31-b)"),
    CARRIER_FIELD(prbs_seed_i, U32, "", "initial state of the bit generator"),
    CARRIER_FIELD(prbs_poly_q, U32, "", "second polynomial, used when prbs_iq_equal is 0"),
    CARRIER_FIELD(prbs_seed_q, U32, "", "second state (kept, read by no generator)"),
    CARRIER_FIELD(channel_code, I32, "", "CDMA channel code: Walsh code (IS95DL), OVSF code (3GPPDL)"),
    CARRIER_FIELD(scrambling_code_group, I32, "", "3GPP scrambling-code group"),
    CARRIER_FIELD(spreading_factor, I32, "", "3GPP OVSF spreading factor (0: code 1 of factor 256)"),
    CARRIER_FIELD(scrambling_code_in_group, I32, "", "3GPP primary scrambling code within the group"),
    CARRIER_FIELD(secondary_scrambling_code, I32, "", "3GPP secondary scrambling code, 0 to 15"),
    CARRIER_FIELD(reserved_76, I32, "", "reserved, kept with the record"),
    CARRIER_FIELD(mod_file, TEXT, "path", "I/Q file (FILE1, FILE2) or symbol-map file (FILE3)"),
    CARRIER_FIELD(filter_file, TEXT, "path", "coefficient file of the FILE filter"),
    CARRIER_FIELD(data_file, TEXT, "path", "bit file when data_source is FILE"),
    CARRIER_CODE(iq_file_encoding, CODE_IQ_ENCODING, "number format of the I/Q file"),
    CARRIER_CODE(iq_file_layout, CODE_IQ_LAYOUT, "columns of the I/Q file"),
    CARRIER_CODE(filter_file_format, CODE_FILTER_FORMAT, "number format of the coefficient file"),
    CARRIER_CODE(data_source, CODE_DATA_SOURCE, "where the bits come from"),
    CARRIER_FIELD(data_offset, I32, "", "kept with the data file, read by no generator"),
    CARRIER_FIELD(prbs_iq_equal, I32, "", "1: one polynomial for I and Q; 0: prbs_poly_q for the warm-up symbols"),
    CARRIER_CODE(impairment1_type, CODE_IMPAIRMENT, "impairment slot 1"),
    CARRIER_CODE(impairment2_type, CODE_IMPAIRMENT, "impairment slot 2"),
    CARRIER_CODE(impairment3_type, CODE_IMPAIRMENT, "impairment slot 3"),
    CARRIER_FIELD(impairment1_value, F32, "degree or %", "slot 1: phase error, imbalance or I feedthrough"),
    CARRIER_FIELD(impairment1_value2, F32, "%", "slot 1: Q feedthrough (FEEDTHROUGH only)"),
    CARRIER_FIELD(impairment2_value, F32, "degree or %", "slot 2: first value"),
    CARRIER_FIELD(impairment2_value2, F32, "%", "slot 2: second value"),
    CARRIER_FIELD(impairment3_value, F32, "degree or %", "slot 3: first value"),
    CARRIER_FIELD(impairment3_value2, F32, "%", "slot 3: second value"),
    CARRIER_FIELD(psch_level_db, F32, "dB", "3GPPSC: level of the primary synchronisation code"),
    CARRIER_FIELD(ssch_level_db, F32, "dB", "3GPPSC: level of the secondary synchronisation code"),
    CARRIER_FIELD(reserved_748, BYTES, "", "reserved tail of the record, hex, kept with it"),
};
#undef CARRIER_FIELD
#undef CARRIER_CODE

#define SETTINGS_FIELD(f, kind, unit, meaning) {#f, offsetof(GlobalSettings, f), kind, sizeof(GlobalSettings::f), CODE_NONE, unit, meaning}
#define SETTINGS_CODE(f, names, meaning) {#f, offsetof(GlobalSettings, f), I32, sizeof(GlobalSettings::f), names, "", meaning}
const FieldSpec settings_fields[] = {
    SETTINGS_FIELD(waveform_dir, TEXT, "path", "start directory of the GUI's waveform file dialogs"),
    SETTINGS_FIELD(data_dir, TEXT, "path", "start directory of the GUI's table, setup and data file dialogs"),
    SETTINGS_FIELD(table_file, TEXT, "path", "the current carrier table (the GUI's Save target)"),
    SETTINGS_FIELD(compile_length, I32, "sample or symbol", "record length: samples (mode 0) or reference symbols (mode 1)"),
    SETTINGS_FIELD(sample_clock, F32, "", "record clock per unit of the highest carrier frequency, above 0"),
    SETTINGS_CODE(instrument_type, CODE_INSTRUMENT_TYPE, "target instrument and waveform format"),
    SETTINGS_FIELD(max_record_length, I32, "sample", "largest record the target holds"),
    SETTINGS_FIELD(record_granularity, I32, "sample", "mode 1 rounds the record to a multiple of it"),
    SETTINGS_FIELD(compile_mode, I32, "", "0: the length is samples; 1: symbols of the reference carrier"),
    SETTINGS_FIELD(gpib_address, I32, "", "GPIB primary address of the instrument"),
    SETTINGS_CODE(output_destination, CODE_DESTINATION, "where the waveforms go"),
    SETTINGS_FIELD(current_carrier, I32, "", "carrier being edited in the GUI"),
    SETTINGS_FIELD(carrier_count, I32, "", "carriers in use"),
    SETTINGS_FIELD(reference_carrier, I32, "", "reference carrier, 1-based"),
    SETTINGS_FIELD(instrument_ip, TEXT, "", "instrument address, dotted IPv4"),
    SETTINGS_FIELD(ftp_port, I32, "", "TCP port of the instrument's FTP server"),
    SETTINGS_FIELD(output_rf, I32, "", "1: the RF pass is written"),
    SETTINGS_FIELD(output_baseband_i, I32, "", "1: the baseband I pass is written"),
    SETTINGS_FIELD(output_baseband_q, I32, "", "1: the baseband Q pass is written"),
    SETTINGS_FIELD(normalization_mode, I32, "", "0: automatic from the peaks; 1: normalization_level"),
    SETTINGS_FIELD(normalization_level, F32, "", "fixed normalisation level (mode 1)"),
    SETTINGS_FIELD(ext_app1_name, TEXT, "", "menu label of external application 1"),
    SETTINGS_FIELD(ext_app1_command, TEXT, "", "command line of external application 1"),
    SETTINGS_FIELD(ext_app2_name, TEXT, "", "menu label of external application 2"),
    SETTINGS_FIELD(ext_app2_command, TEXT, "", "command line of external application 2"),
    SETTINGS_FIELD(baseband_all_carriers, I32, "", "0: I and Q from the reference carrier; 1: from all carriers"),
};
#undef SETTINGS_FIELD
#undef SETTINGS_CODE

// Parsing works on copies, so that a bad file leaves the records as they were.
Carrier staged_signals[MAX_CARRIERS];
char staged_comment[COMMENT_SIZE];

struct JsonError {
    std::string text;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw JsonError{where.empty() ? what : where + ": " + what};
}

// --- text fields ------------------------------------------------------------

// Text fields hold Windows-1252 text: every byte has its character, so the
// JSON string always stands for the bytes.
std::string ShownText(const char* field, int size) {
    return DecodeCp1252(field, strnlen(field, static_cast<std::size_t>(size)));
}

// The field holds exactly its text followed by zeros.
bool PlainText(const char* field, int size) {
    std::size_t n = strnlen(field, static_cast<std::size_t>(size));
    if (n == static_cast<std::size_t>(size)) return false;
    for (int i = static_cast<int>(n); i < size; ++i)
        if (field[i]) return false;
    return true;
}

std::string Hex(const unsigned char* bytes, int size) {
    int used = size;
    while (used > 0 && bytes[used - 1] == 0) --used;  // trailing zeros are implied
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < used; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

void ReadHex(const ordered_json& value, unsigned char* into, int size, const std::string& where) {
    if (!value.is_string()) Fail(where, "must be a string of hex digits");
    const std::string& s = value.get_ref<const std::string&>();
    if (s.size() % 2 || static_cast<int>(s.size()) > 2 * size) {
        char text[96];
        std::snprintf(text, sizeof text, "must be an even number of hex digits, at most %d", 2 * size);
        Fail(where, text);
    }
    std::memset(into, 0, static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < s.size(); i += 2) {
        unsigned byte;
        auto r = std::from_chars(s.data() + i, s.data() + i + 2, byte, 16);
        if (r.ec != std::errc() || r.ptr != s.data() + i + 2) Fail(where, "holds a character that is not a hex digit");
        into[i / 2] = static_cast<unsigned char>(byte);
    }
}

// --- numbers ----------------------------------------------------------------

std::string BitsText(uint32_t bits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", bits);
    return text;
}

ordered_json FloatValue(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    if (!std::isfinite(f)) return BitsText(bits);
    // The shortest float text usually reads back through double to the same
    // float; where it does not, the exact double of the float is written.
    char text[32];
    auto r = std::to_chars(text, text + sizeof text - 1, f);
    *r.ptr = 0;
    double d = std::strtod(text, nullptr);
    float back = static_cast<float>(d);
    uint32_t back_bits;
    std::memcpy(&back_bits, &back, 4);
    return back_bits == bits ? d : static_cast<double>(f);
}

bool IsPolynomialField(const char* name) {
    return std::strcmp(name, "prbs_poly_i") == 0 || std::strcmp(name, "prbs_poly_q") == 0;
}

bool ReadBits(const ordered_json& value, uint32_t* bits) {
    if (!value.is_string()) return false;
    const std::string& s = value.get_ref<const std::string&>();
    if (s.size() < 3 || s.size() > 10 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
    auto r = std::from_chars(s.data() + 2, s.data() + s.size(), *bits, 16);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

float ReadFloat(const ordered_json& value, const std::string& where) {
    uint32_t bits;
    if (ReadBits(value, &bits)) {
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    if (!value.is_number()) Fail(where, "must be a number");
    double d = value.get<double>();
    // Up to the midpoint above FLT_MAX a number still rounds to a finite float.
    if (!(std::fabs(d) < 0x1.ffffffp127)) Fail(where, "is out of the float32 range");
    return static_cast<float>(d);
}

int CodeOfText(const std::string& text, int names, const std::string& where) {
    if (names == CODE_NONE) Fail(where, "must be an integer");
    int code = CodeOfName(names, text);
    if (code == -2)
        Fail(where, "\"" + text + "\" names several filters; give the order: BUTTER1 to BUTTER10");
    if (code < 0)
        Fail(where, "\"" + text + "\" is not " + CodeKindArticle(names) + " " + CodeKindName(names) + " name; " + CodeKindName(names) +
                        " names: " + CodeNameList(names));
    return code;
}

long long ReadInteger(const ordered_json& value, long long low, long long high, const std::string& where) {
    long long v;
    if (value.is_number_unsigned()) {
        auto u = value.get<unsigned long long>();
        if (u > static_cast<unsigned long long>(high)) Fail(where, "is out of range");
        v = static_cast<long long>(u);
    } else if (value.is_number_integer()) {
        v = value.get<long long>();
    } else if (value.is_number_float()) {
        double d = value.get<double>();
        if (d != std::floor(d) || !(std::fabs(d) < 9.2e18)) Fail(where, "must be an integer");
        v = static_cast<long long>(d);
    } else {
        Fail(where, "must be an integer");
    }
    if (v < low || v > high) Fail(where, "is out of range");
    return v;
}

// --- records ----------------------------------------------------------------

ordered_json RecordObject(const void* record, const FieldSpec* fields, int count) {
    auto* base = static_cast<const unsigned char*>(record);
    ordered_json object = ordered_json::object();
    for (int i = 0; i < count; ++i) {
        const FieldSpec& f = fields[i];
        const unsigned char* at = base + f.offset;
        switch (f.kind) {
        case F32: {
            float v;
            std::memcpy(&v, at, 4);
            object[f.name] = FloatValue(v);
            break;
        }
        case I32: {
            int32_t v;
            std::memcpy(&v, at, 4);
            const char* name = CodeName(f.names, v);
            if (name) object[f.name] = name;
            else object[f.name] = v;
            break;
        }
        case U32: {
            uint32_t v;
            std::memcpy(&v, at, 4);
            // A polynomial reads better as its text; bit 31 has no term, so
            // such a mask stays hex.
            if (IsPolynomialField(f.name) && (v & 0x80000000u) == 0) {
                char text[POLYNOMIAL_TEXT];
                PolynomialText(v, text, sizeof text);
                object[f.name] = text;
            } else {
                object[f.name] = BitsText(v);
            }
            break;
        }
        case TEXT: {
            auto* text = reinterpret_cast<const char*>(at);
            object[f.name] = ShownText(text, f.size);
            if (!PlainText(text, f.size)) object[std::string(f.name) + "_raw"] = Hex(at, f.size);
            break;
        }
        case BYTES: {
            std::string hex = Hex(at, f.size);
            if (!hex.empty()) object[f.name] = hex;
            break;
        }
        }
    }
    return object;
}

const FieldSpec* FindField(const FieldSpec* fields, int count, std::string_view name) {
    for (int i = 0; i < count; ++i)
        if (name == fields[i].name) return &fields[i];
    return nullptr;
}

void ReadText(const ordered_json& value, char* into, int size, const std::string& where) {
    if (!value.is_string()) Fail(where, "must be a string");
    const std::string& utf8 = value.get_ref<const std::string&>();
    if (utf8.find('\0') != std::string::npos) Fail(where, "holds a NUL character");
    std::string s, bad;
    if (EncodeCp1252(utf8, &s, &bad) != 0)
        Fail(where, "holds \"" + bad + "\", which a Windows-1252 text field cannot hold");
    if (static_cast<int>(s.size()) > size - 1) {
        char text[64];
        std::snprintf(text, sizeof text, "is longer than %d characters", size - 1);
        Fail(where, text);
    }
    std::memset(into, 0, static_cast<std::size_t>(size));
    std::memcpy(into, s.data(), s.size());
}

// Applies the keys of `object` to the record; `skip` is a key handled by the caller.
// Edit distance of two short names, for "did you mean".
int Distance(const std::string& a, const std::string& b) {
    std::vector<int> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= b.size(); ++j) {
            int up = row[j];
            int same = std::tolower(static_cast<unsigned char>(a[i - 1])) == std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

std::string UnknownField(const std::string& key, const FieldSpec* fields, int count, const char* also = nullptr) {
    std::string text = "unknown field \"" + key + "\"";
    const char* best = nullptr;
    int best_distance = 1 << 30;
    auto consider = [&](const char* name) {
        int d = Distance(key, name);
        if (d < best_distance) {
            best_distance = d;
            best = name;
        }
    };
    for (int i = 0; i < count; ++i) consider(fields[i].name);
    if (also) consider(also);
    const int allowed = std::max<int>(2, static_cast<int>(key.size()) / 3);
    if (best && best_distance <= allowed) text += std::string("; did you mean \"") + best + "\"?";
    return text;
}

// Applies the keys of `object` to the record; `skip` is a key handled by the
// caller. With check_codes, a code field must hold one of its kind's codes.
void ApplyObject(const ordered_json& object, void* record, const FieldSpec* fields, int count,
                 const std::string& where, const char* skip = nullptr, bool check_codes = false) {
    if (!object.is_object()) Fail(where, "must be an object");
    auto* base = static_cast<unsigned char*>(record);
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string& key = it.key();
        if (skip && key == skip) continue;
        std::string at = where.empty() ? key : where + "." + key;
        const FieldSpec* f = FindField(fields, count, key);
        if (!f && key.size() > 4 && key.compare(key.size() - 4, 4, "_raw") == 0) {
            const FieldSpec* text = FindField(fields, count, std::string_view(key).substr(0, key.size() - 4));
            if (text && text->kind == TEXT) continue;  // after the plain fields
        }
        if (!f) Fail(where, UnknownField(key, fields, count, skip));
        unsigned char* into = base + f->offset;
        const ordered_json& value = it.value();
        switch (f->kind) {
        case F32: {
            float v = ReadFloat(value, at);
            std::memcpy(into, &v, 4);
            break;
        }
        case I32: {
            auto v = static_cast<int32_t>(value.is_string() ? CodeOfText(value.get<std::string>(), f->names, at)
                                                            : ReadInteger(value, INT32_MIN, INT32_MAX, at));
            if (check_codes && f->names != CODE_NONE && !CodeValid(f->names, v))
                Fail(at, std::to_string(v) + " is not " + CodeKindArticle(f->names) + " " + CodeKindName(f->names) + " code; " +
                             CodeKindName(f->names) + " names: " + CodeNameList(f->names));
            std::memcpy(into, &v, 4);
            break;
        }
        case U32: {
            uint32_t v;
            if (!ReadBits(value, &v)) {
                // A polynomial may also be written as its text, "X31+X28+1".
                if (value.is_string() && IsPolynomialField(f->name)) {
                    const std::string& text = value.get_ref<const std::string&>();
                    if (ParsePolynomial(text.c_str(), &v) != 0)
                        Fail(at, "\"" + text + "\": Polinomium Parsing Error");
                    std::memcpy(into, &v, 4);
                    break;
                }
                if (value.is_string()) Fail(at, "must be a number or a hex string such as \"0xFEDCBA98\"");
                v = static_cast<uint32_t>(ReadInteger(value, 0, UINT32_MAX, at));
            }
            std::memcpy(into, &v, 4);
            break;
        }
        case TEXT:
            if (object.contains(key + "_raw")) {
                if (!value.is_string()) Fail(at, "must be a string");
                break;  // the whole-field image below decides
            }
            ReadText(value, reinterpret_cast<char*>(into), f->size, at);
            break;
        case BYTES:
            ReadHex(value, into, f->size, at);
            break;
        }
    }
    // Whole-field images of text fields.
    for (int i = 0; i < count; ++i) {
        const FieldSpec& f = fields[i];
        if (f.kind != TEXT) continue;
        auto raw = object.find(std::string(f.name) + "_raw");
        if (raw == object.end()) continue;
        std::string at = (where.empty() ? "" : where + ".") + f.name + "_raw";
        auto* into = reinterpret_cast<char*>(base + f.offset);
        ReadHex(*raw, reinterpret_cast<unsigned char*>(into), f.size, at);
        auto text = object.find(f.name);
        if (text != object.end() && *text != ShownText(into, f.size))
            Fail(where, std::string(f.name) + " and " + f.name + "_raw disagree; keep one of them");
    }
}

void NewCarrier(Carrier* c) {
    std::memset(c, 0, sizeof *c);
    c->prbs_poly_i = 3;
    c->prbs_seed_i = 0xFEDCBA98u;
    c->prbs_poly_q = 3;
    c->prbs_seed_q = 0xFEDCBA98u;
    c->prbs_iq_equal = 1;
    c->filter_length = 1;  // the shortest odd span; a filtered carrier gets DEFAULT_FILTER_LENGTH
}

// The pulse span a filtered carrier gets when its table does not say.
constexpr int DEFAULT_FILTER_LENGTH = 33;

constexpr int CARRIER_FIELD_COUNT = static_cast<int>(std::size(carrier_fields));
constexpr int SETTINGS_FIELD_COUNT = static_cast<int>(std::size(settings_fields));

std::string Indexed(const char* array, std::size_t i) { return std::string(array) + "[" + std::to_string(i) + "]"; }

// Where the parser is: the key or element index at each open level, so that
// a number the parser cannot hold (1e400) is reported at its field.
struct ParsePlace {
    bool array;
    long index;
    std::string key;
};

// The innermost array is at the element after its last one read.
std::string PlaceText(const std::vector<ParsePlace>& places) {
    std::string text;
    for (std::size_t i = 0; i < places.size(); ++i) {
        const ParsePlace& p = places[i];
        if (p.array) text += "[" + std::to_string(i + 1 == places.size() ? p.index + 1 : p.index) + "]";
        else if (!p.key.empty()) text += (text.empty() ? "" : ".") + p.key;
    }
    return text;
}

ordered_json ParseText(const std::string& text) {
    std::vector<ParsePlace> places;
    auto track = [&places](int, nlohmann::detail::parse_event_t event, ordered_json& parsed) {
        using E = nlohmann::detail::parse_event_t;
        if ((event == E::object_start || event == E::array_start || event == E::value) && !places.empty() &&
            places.back().array)
            ++places.back().index;
        if (event == E::object_start) places.push_back({false, -1, {}});
        else if (event == E::array_start) places.push_back({true, -1, {}});
        else if ((event == E::object_end || event == E::array_end) && !places.empty()) places.pop_back();
        else if (event == E::key && !places.empty()) places.back().key = parsed.get<std::string>();
        return true;
    };
    try {
        return ordered_json::parse(text, track);
    } catch (const nlohmann::json::out_of_range& e) {
        // The number of a field beyond what a double holds.
        std::string what = e.what();
        std::size_t open = what.find('\''), close = what.rfind('\'');
        std::string number = open != std::string::npos && close > open ? what.substr(open + 1, close - open - 1) : "";
        Fail(PlaceText(places), (number.empty() ? "a number" : number) + " is out of range");
    } catch (const nlohmann::json::exception& e) {
        std::string what = e.what();
        std::size_t at = what.find("] ");
        throw JsonError{at == std::string::npos ? what : what.substr(at + 2)};
    }
}

std::string UnknownTableKey(const std::string& key) {
    static const FieldSpec keys[] = {{"format", 0, TEXT, 0, CODE_NONE, "", ""},
                                     {"comment", 0, TEXT, 0, CODE_NONE, "", ""},
                                     {"carriers", 0, TEXT, 0, CODE_NONE, "", ""},
                                     {"records_behind", 0, TEXT, 0, CODE_NONE, "", ""}};
    return UnknownField(key, keys, 4);
}

// Fills staged_signals and staged_comment; returns the carrier count.
int StageTable(const ordered_json& doc) {
    if (!doc.is_object()) Fail("", "the table must be a JSON object");
    for (auto it = doc.begin(); it != doc.end(); ++it) {
        const std::string& key = it.key();
        if (key != "format" && key != "comment" && key != "comment_raw" && key != "carriers" &&
            key != "records_behind")
            Fail("", UnknownTableKey(key));
    }
    auto format = doc.find("format");
    if (format != doc.end() && !format->is_string()) Fail("format", "must be a string");

    std::memset(staged_comment, 0, sizeof staged_comment);
    auto text = doc.find("comment");
    if (text != doc.end()) ReadText(*text, staged_comment, COMMENT_SIZE, "comment");
    auto raw = doc.find("comment_raw");
    if (raw != doc.end()) {
        ReadHex(*raw, reinterpret_cast<unsigned char*>(staged_comment), COMMENT_SIZE, "comment_raw");
        if (text != doc.end() && *text != ShownText(staged_comment, COMMENT_SIZE))
            Fail("", "comment and comment_raw disagree; keep one of them");
    }

    std::memset(staged_signals, 0, sizeof staged_signals);
    int count = 0;
    auto carriers = doc.find("carriers");
    if (carriers != doc.end()) {
        if (!carriers->is_array()) Fail("carriers", "must be an array");
        if (carriers->size() > MAX_CARRIERS)
            Fail("carriers", "holds " + std::to_string(carriers->size()) + " carriers; a table holds at most 100");
        for (std::size_t i = 0; i < carriers->size(); ++i) {
            std::string where = Indexed("carriers", i);
            Carrier* c = &staged_signals[i];
            NewCarrier(c);
            ApplyObject((*carriers)[i], c, carrier_fields, CARRIER_FIELD_COUNT, where, nullptr, true);
            if (c->filter_type != FILTER_NONE && (*carriers)[i].find("filter_length") == (*carriers)[i].end())
                c->filter_length = DEFAULT_FILTER_LENGTH;
            // A carrier at 0 Hz or below would end the table and hide the ones after it.
            if (!(c->frequency_hz > 0))
                Fail(where, "frequency_hz must be greater than 0 (records that end the table go in records_behind)");
        }
        count = static_cast<int>(carriers->size());
    }
    if (count < MAX_CARRIERS) staged_signals[count].frequency_hz = -1.0f;

    auto behind = doc.find("records_behind");
    if (behind != doc.end()) {
        if (!behind->is_array()) Fail("records_behind", "must be an array");
        bool seen[MAX_CARRIERS] = {};
        for (std::size_t i = 0; i < behind->size(); ++i) {
            std::string where = Indexed("records_behind", i);
            const ordered_json& entry = (*behind)[i];
            if (!entry.is_object()) Fail(where, "must be an object");
            auto index = entry.find("index");
            if (index == entry.end()) Fail(where, "needs an \"index\"");
            auto k = static_cast<int>(ReadInteger(*index, count, MAX_CARRIERS - 1, where + ".index"));
            if (seen[k]) Fail(where + ".index", "record " + std::to_string(k) + " is given twice");
            seen[k] = true;
            std::memset(&staged_signals[k], 0, sizeof(Carrier));
            ApplyObject(entry, &staged_signals[k], carrier_fields, CARRIER_FIELD_COUNT, where, "index");
        }
    }
    return count;
}

// A table or settings text is well below a megabyte; anything far larger is
// not one of them and is not read into memory.
constexpr std::size_t MAX_JSON_FILE = 16 << 20;

// 0, or the reason the file was not read.
const char* ReadWholeFile(const char* path, std::string* text) {
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return "cannot be opened";
    char chunk[65536];
    std::size_t got;
    text->clear();
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0 && text->size() <= MAX_JSON_FILE)
        text->append(chunk, got);
    bool failed = std::ferror(f);  // a directory opens but does not read
    std::fclose(f);
    if (failed) return "cannot be opened";
    if (text->size() > MAX_JSON_FILE) return "is too large for a table or settings file";
    return nullptr;
}

void Report(const char* origin, const std::string& text) {
    std::string message = origin && *origin ? std::string(origin) + ": " + text : text;
    ReportMessage("", message.c_str());
}

int WriteText(const char* path, const std::string& text) {
    return WriteFileAtomically(path, text.data(), static_cast<long>(text.size()));
}

}  // namespace

std::string TableJsonText() {
    int count = CountCarriers(signals, MAX_CARRIERS);
    ordered_json doc = ordered_json::object();
    doc["format"] = "V1.0";
    doc["comment"] = ShownText(comment, COMMENT_SIZE);
    if (!PlainText(comment, COMMENT_SIZE))
        doc["comment_raw"] = Hex(reinterpret_cast<const unsigned char*>(comment), COMMENT_SIZE);
    ordered_json carriers = ordered_json::array();
    for (int i = 0; i < count; ++i) carriers.push_back(RecordObject(&signals[i], carrier_fields, CARRIER_FIELD_COUNT));
    doc["carriers"] = carriers;

    // What a reader would rebuild by itself: the terminator, then zeros.
    Carrier implied;
    ordered_json behind = ordered_json::array();
    for (int k = count; k < MAX_CARRIERS; ++k) {
        std::memset(&implied, 0, sizeof implied);
        if (k == count) implied.frequency_hz = -1.0f;
        if (std::memcmp(&implied, &signals[k], sizeof implied) == 0) continue;
        ordered_json entry = ordered_json::object();
        entry["index"] = k;
        entry.update(RecordObject(&signals[k], carrier_fields, CARRIER_FIELD_COUNT));
        behind.push_back(entry);
    }
    if (!behind.empty()) doc["records_behind"] = behind;
    return doc.dump(2) + "\n";
}

int ParseTableJson(const std::string& text, const char* origin) {
    int count;
    try {
        count = StageTable(ParseText(text));
    } catch (const JsonError& e) {
        Report(origin, e.text);
        return -1;
    }
    std::memcpy(signals, staged_signals, sizeof signals);
    std::memcpy(comment, staged_comment, sizeof comment);
    return count;
}

int ReadTableJson(const char* path) {
    std::string text;
    if (const char* problem = ReadWholeFile(path, &text)) {
        Report(path, problem);
        return -1;
    }
    return ParseTableJson(text, path);
}

int WriteTableJson(const char* path) { return WriteText(path, TableJsonText()); }

std::string SettingsJsonText(const GlobalSettings* settings) {
    return RecordObject(settings, settings_fields, SETTINGS_FIELD_COUNT).dump(2) + "\n";
}

int ParseSettingsJson(const std::string& text, const char* origin, GlobalSettings* settings) {
    if (!settings) return -1;
    GlobalSettings staged;
    std::memset(&staged, 0, sizeof staged);
    try {
        ApplyObject(ParseText(text), &staged, settings_fields, SETTINGS_FIELD_COUNT, "");
    } catch (const JsonError& e) {
        Report(origin, e.text);
        return -1;
    }
    *settings = staged;
    return 0;
}

int ReadSettingsJson(const char* path, GlobalSettings* settings) {
    std::string text;
    if (const char* problem = ReadWholeFile(path, &text)) {
        Report(path, problem);
        return -1;
    }
    return ParseSettingsJson(text, path, settings);
}

int WriteSettingsJson(const char* path, const GlobalSettings* settings) {
    if (!settings) return -1;
    return WriteText(path, SettingsJsonText(settings));
}

// --- field reference ----------------------------------------------------------

namespace {

const char* KindText(const FieldSpec& f) {
    switch (f.kind) {
    case F32: return "float32";
    case I32: return f.names != CODE_NONE ? "code" : "int32";
    case U32: return "uint32";
    case TEXT: return "text";
    default: return "hex bytes";
    }
}

std::string Cell(const ordered_json& value) {
    if (value.is_string()) return "`\"" + value.get<std::string>() + "\"`";
    return "`" + value.dump() + "`";
}

std::string ValuesText(const FieldSpec& f) {
    char text[96];
    switch (f.kind) {
    case F32: return "a number, or the bits as \"0x7FC00000\"";
    case I32:
        if (f.names == CODE_NONE) return "integer";
        return CodeNameList(f.names) + (f.names == CODE_WINDOW ? " (2, 10, 12, 13: no window)" : "") +
               ", or the code";
    case U32:
        if (IsPolynomialField(f.name)) return "polynomial text such as \"X31+X28+1\", 0 to 4294967295, or \"0x...\" hex";
        return "0 to 4294967295, or \"0x...\" hex";
    case TEXT:
        std::snprintf(text, sizeof text, "at most %d Windows-1252 characters", f.size - 1);
        return text;
    default:
        std::snprintf(text, sizeof text, "up to %d hex digits", 2 * f.size);
        return text;
    }
}

void FieldTable(std::string* out, const FieldSpec* fields, int count, const void* defaults, bool carrier) {
    ordered_json shown = RecordObject(defaults, fields, count);
    *out += "| field | type | unit | values | when omitted | meaning |\n|---|---|---|---|---|---|\n";
    for (int i = 0; i < count; ++i) {
        const FieldSpec& f = fields[i];
        std::string omitted;
        if (carrier && std::string(f.name) == "frequency_hz") omitted = "required";
        else if (carrier && std::string(f.name) == "filter_length")
            omitted = "`33` when filter_type is not NONE, else `1`";
        else if (shown.contains(f.name)) omitted = Cell(shown[f.name]);
        else omitted = "all zero";
        *out += std::string("| `") + f.name + "` | " + KindText(f) + " | " + f.unit + " | " + ValuesText(f) + " | " +
                omitted + " | " + f.meaning + " |\n";
    }
}

// The case-insensitive pattern of the names a code field takes: each letter
// either case, the ignored punctuation anywhere.
std::string NamePattern(int kind) {
    const std::string folded = CodeFoldedNames(kind);
    const std::string gap = "[-_ .()/]*";
    std::string pattern = "^" + gap + "(";
    for (char c : folded) {
        if (c == '|') {
            pattern += ")" + gap + "$|^" + gap + "(";
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c)))
            pattern += std::string("[") + c + static_cast<char>(std::tolower(static_cast<unsigned char>(c))) + "]";
        else
            pattern += c;
        pattern += gap;
    }
    return pattern + ")" + gap + "$";
}

ordered_json FieldSchema(const FieldSpec& f) {
    const ordered_json bits = {{"type", "string"}, {"pattern", "^0[xX][0-9a-fA-F]{1,8}$"}};
    ordered_json s;
    switch (f.kind) {
    case F32:
        s["anyOf"] = ordered_json::array({ordered_json{{"type", "number"}}, bits});
        break;
    case I32:
        if (f.names == CODE_NONE) {
            s = {{"type", "integer"}, {"minimum", INT32_MIN}, {"maximum", INT32_MAX}};
        } else {
            int codes[64];
            int n = CodeValues(f.names, codes, 64);
            s["anyOf"] = ordered_json::array({ordered_json{{"enum", std::vector<int>(codes, codes + n)}},
                                              ordered_json{{"type", "string"}, {"pattern", NamePattern(f.names)}}});
        }
        break;
    case U32:
        s["anyOf"] =
            ordered_json::array({ordered_json{{"type", "integer"}, {"minimum", 0}, {"maximum", UINT32_MAX}}, bits});
        // The polynomials' text form, "X31+X28+1".
        if (IsPolynomialField(f.name)) s["anyOf"].push_back({{"type", "string"}, {"pattern", "^[Xx0-9+ \t]*$"}});
        break;
    case TEXT:
        s = {{"type", "string"}};
        break;
    default:
        s = {{"type", "string"}, {"pattern", "^([0-9a-fA-F]{2}){0," + std::to_string(f.size) + "}$"}};
        break;
    }
    s["description"] = std::string(f.meaning) + (*f.unit ? std::string(" (") + f.unit + ")" : std::string());
    return s;
}

ordered_json RecordSchema(const FieldSpec* fields, int count) {
    ordered_json properties = ordered_json::object();
    for (int i = 0; i < count; ++i) {
        properties[fields[i].name] = FieldSchema(fields[i]);
        if (fields[i].kind == TEXT)
            properties[std::string(fields[i].name) + "_raw"] = {
                {"type", "string"},
                {"pattern", "^([0-9a-fA-F]{2}){0," + std::to_string(fields[i].size) + "}$"},
                {"description", "the whole field in hex, when it holds more than its text"}};
    }
    return {{"type", "object"}, {"properties", properties}, {"additionalProperties", false}};
}

}  // namespace

std::string FieldReferenceText() {
    Carrier fresh;
    NewCarrier(&fresh);
    GlobalSettings zero;
    std::memset(&zero, 0, sizeof zero);
    std::string out =
        "# Fields of the JSON forms\n\n"
        "Generated by `uldoc fields` from the tables the reader uses; `uldoc schema` prints the same as a\n"
        "JSON Schema.\n\n"
        "Code fields take a name (matched without regard to case, `-`, `_`, spaces, `.`, `(`, `)` and `/`:\n"
        "`\"qam-64\"` is `QAM64`; the names the panels show are accepted too) or the number of the code;\n"
        "`uldoc convert` writes names. A value outside a code's table is an error that lists the names.\n"
        "Numbers of float32 fields are read to the nearest float32.\n\n"
        "## Carrier table\n\n"
        "`{\"format\": \"V1.0\", \"comment\": \"...\", \"carriers\": [{...}, ...], \"records_behind\": [...]}`\n\n"
        "- `format`: text, ignored on reading (`\"V1.0\"` is written).\n"
        "- `comment`: text of at most 199 bytes; omitted: empty.\n"
        "- `carriers`: at most 100 carrier objects, in table order. The record behind the last one ends\n"
        "  the table.\n"
        "- `records_behind`: records after the carriers that a binary table holds besides zeros and its\n"
        "  end marker, each with its `index` (the carriers' count to 99); written by `uldoc convert`,\n"
        "  seldom needed by hand. Their omitted fields are zero.\n\n"
        "### Carrier\n\n";
    FieldTable(&out, carrier_fields, CARRIER_FIELD_COUNT, &fresh, true);
    out +=
        "\n## Setup\n\n"
        "One object with the fields of the settings; an omitted field is zero (an empty text). Start from\n"
        "`uldoc --write-setup mine.json`, which writes every field of uldoc's own defaults.\n\n";
    FieldTable(&out, settings_fields, SETTINGS_FIELD_COUNT, &zero, false);
    return out;
}

std::string JsonSchemaText() {
    ordered_json carrier = RecordSchema(carrier_fields, CARRIER_FIELD_COUNT);
    carrier["required"] = {"frequency_hz"};
    ordered_json behind = RecordSchema(carrier_fields, CARRIER_FIELD_COUNT);
    behind["properties"]["index"] = {{"type", "integer"}, {"minimum", 0}, {"maximum", MAX_CARRIERS - 1}};
    behind["required"] = {"index"};
    ordered_json table = {
        {"type", "object"},
        {"properties",
         {{"format", {{"type", "string"}}},
          {"comment", {{"type", "string"}}},
          {"comment_raw", {{"type", "string"}, {"pattern", "^([0-9a-fA-F]{2}){0,200}$"}}},
          {"carriers", {{"type", "array"}, {"maxItems", MAX_CARRIERS}, {"items", {{"$ref", "#/$defs/carrier"}}}}},
          {"records_behind", {{"type", "array"}, {"items", {{"$ref", "#/$defs/record_behind"}}}}}}},
        {"additionalProperties", false}};
    ordered_json doc = {
        {"$schema", "https://json-schema.org/draft/2020-12/schema"},
        {"title", "ULDO carrier table or setup"},
        {"anyOf", {{{"$ref", "#/$defs/table"}}, {{"$ref", "#/$defs/setup"}}}},
        {"$defs",
         {{"table", table},
          {"carrier", carrier},
          {"record_behind", behind},
          {"setup", RecordSchema(settings_fields, SETTINGS_FIELD_COUNT)}}}};
    return doc.dump(2) + "\n";
}
