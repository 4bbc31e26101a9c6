// The text fields of the records (comment, file names, map name, application
// names) hold Windows-1252 text. Every byte has a character here: the five
// bytes Windows-1252 leaves undefined stand for the C1 controls of the same
// number, as Windows itself maps them, so any field decodes and encodes back
// to the same bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The Unicode character of a byte.
char32_t Cp1252Char(unsigned char byte);
// The byte of a character, or -1 when Windows-1252 has none for it.
int Cp1252Byte(char32_t c);

// UTF-8 text of `length` Windows-1252 bytes.
std::string DecodeCp1252(const char* bytes, std::size_t length);
// Windows-1252 bytes of UTF-8 text into `out`. Returns 0; or -1 when the text
// is not UTF-8 or holds a character without a byte, with that character (as
// UTF-8, or the offending byte) in `bad` when given. `out` then holds the
// bytes before it.
int EncodeCp1252(std::string_view utf8, std::string* out, std::string* bad = nullptr);
