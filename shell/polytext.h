// PRBS feedback polynomials as text. Bit b (0..30) of a mask is the term
// X^(31 - b); the constant 1 is implied.
#pragma once

#include <cstdint>

constexpr int POLYNOMIAL_TEXT = 160;  // "X31+X30+...+X1+1" fits

// "X31+X30+1" for mask 3, "1" for mask 0. Writes at most `size` bytes.
void PolynomialText(uint32_t mask, char* text, int size);
// The highest term's exponent; 32 for a mask without terms.
int PolynomialDegree(uint32_t mask);
// Parses a polynomial text into *mask (the terms completed before an error
// stand). 0, or -1 when the text is not a polynomial. Reports nothing.
int ParsePolynomial(const char* text, uint32_t* mask);
