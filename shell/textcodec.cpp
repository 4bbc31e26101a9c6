#include "shell/textcodec.h"

namespace {

// Bytes 0x80..0x9F; the undefined ones keep their own number.
constexpr char16_t high_row[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(char32_t c, std::string* out) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Next character of UTF-8 text at `at` (advanced); false for a bad sequence.
bool NextUtf8(std::string_view s, std::size_t* at, char32_t* c) {
    auto lead = static_cast<unsigned char>(s[*at]);
    int extra;
    char32_t min;
    if (lead < 0x80) { *c = lead; ++*at; return true; }
    if ((lead & 0xE0) == 0xC0) { extra = 1; min = 0x80; *c = lead & 0x1F; }
    else if ((lead & 0xF0) == 0xE0) { extra = 2; min = 0x800; *c = lead & 0x0F; }
    else if ((lead & 0xF8) == 0xF0) { extra = 3; min = 0x10000; *c = lead & 0x07; }
    else return false;
    if (*at + static_cast<std::size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
        auto b = static_cast<unsigned char>(s[*at + k]);
        if ((b & 0xC0) != 0x80) return false;
        *c = *c << 6 | (b & 0x3F);
    }
    if (*c < min || *c > 0x10FFFF || (*c >= 0xD800 && *c <= 0xDFFF)) return false;
    *at += static_cast<std::size_t>(extra) + 1;
    return true;
}

}  // namespace

char32_t Cp1252Char(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? high_row[byte - 0x80] : byte;
}

int Cp1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (high_row[i] == c) return 0x80 + i;
    return -1;
}

std::string DecodeCp1252(const char* bytes, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; bytes && i < length; ++i)
        AppendUtf8(Cp1252Char(static_cast<unsigned char>(bytes[i])), &out);
    return out;
}

int EncodeCp1252(std::string_view utf8, std::string* out, std::string* bad) {
    out->clear();
    std::size_t at = 0;
    while (at < utf8.size()) {
        std::size_t start = at;
        char32_t c;
        if (!NextUtf8(utf8, &at, &c)) {
            if (bad) *bad = std::string(1, utf8[start]);
            return -1;
        }
        int byte = Cp1252Byte(c);
        if (byte < 0) {
            if (bad) *bad = std::string(utf8.substr(start, at - start));
            return -1;
        }
        *out += static_cast<char>(byte);
    }
    return 0;
}
