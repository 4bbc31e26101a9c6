// Text form of PRBS feedback polynomials and its parser: pure text <-> mask,
// for the JSON table forms, the PRBS assistant and uldoc.
#include "shell/polytext.h"

#include <cstdio>
#include <cstring>

void PolynomialText(uint32_t mask, char* text, int size) {
    if (size <= 0) return;
    int used = 0;
    text[0] = 0;
    for (int k = 31; k >= 1; --k) {
        if (mask & (1u << (31 - k))) {
            int n = std::snprintf(text + used, size - used, "X%d+", k);
            if (n < 0 || n >= size - used) return;
            used += n;
        }
    }
    std::snprintf(text + used, size - used, "1");
}

int PolynomialDegree(uint32_t mask) {
    for (int k = 31; k >= 1; --k)
        if (mask & (1u << (31 - k))) return k;
    return 32;
}

namespace {

enum PolState { EXPECT_TERM = 0, AFTER_X = 1, ONE_DIGIT = 2, TWO_DIGITS = 3, AFTER_PLUS = 4, AFTER_ONE = 5, BAD = 7 };

void AddTerm(uint32_t* mask, int n) { *mask |= 1u << (31 - n); }

}  // namespace

int ParsePolynomial(const char* text, uint32_t* mask) {
    *mask = 0;
    int state = EXPECT_TERM;
    int n = 0;
    std::size_t length = std::strlen(text);
    for (std::size_t at = 0; at < length && state != BAD; ++at) {
        char c = text[at];
        bool last = at + 1 == length;
        bool blank = c == ' ' || c == '\t';
        bool digit = c >= '0' && c <= '9';
        bool x = c == 'X' || c == 'x';
        switch (state) {
        case EXPECT_TERM:
            state = x ? AFTER_X : c == '+' ? AFTER_PLUS : c == '1' ? AFTER_ONE : blank ? EXPECT_TERM : BAD;
            break;
        case AFTER_X:
            if (digit) {
                state = ONE_DIGIT;
                n = c - '0';
                // A final "X0" is no term; it is refused rather than dropped.
                if (last) {
                    if (n > 0) AddTerm(mask, n);
                    else state = BAD;
                }
            } else {
                state = blank && !last ? AFTER_X : BAD;
            }
            break;
        case ONE_DIGIT:
            if (digit) {
                n = 10 * n + (c - '0');
                state = n >= 1 && n <= 31 ? TWO_DIGITS : BAD;
                if (state == TWO_DIGITS) AddTerm(mask, n);
            } else if (c == '+' || last) {
                // "X0+" used to end the parse silently, dropping the rest of
                // the text; it is an error with the terms before it kept.
                if (n == 0) { state = BAD; break; }
                AddTerm(mask, n);
                // A stray last character after the exponent is not accepted.
                state = c == '+' || blank ? AFTER_PLUS : BAD;
            } else {
                state = blank ? ONE_DIGIT : BAD;
            }
            break;
        case TWO_DIGITS:
            state = c == '+' ? AFTER_PLUS : blank ? TWO_DIGITS : BAD;
            break;
        case AFTER_PLUS:
            state = x ? AFTER_X : c == '1' ? AFTER_ONE : blank ? AFTER_PLUS : BAD;
            break;
        case AFTER_ONE:
            state = c == '+' ? AFTER_PLUS : blank ? AFTER_ONE : BAD;
            break;
        }
    }
    return state == BAD ? -1 : 0;
}
