// The bounds every level of the synthesis keeps: the carriers' amplitudes,
// the symbol-map points, the I/Q-file samples and the filter coefficients.
// They sit at the bottom of the core because the readers of those files
// (modulation/, shaping/) check against them as well as the compile.
#pragma once

// Largest magnitude of an amplitude, a symbol-map point, an I/Q-file sample,
// a filter coefficient or another level: far above any real level, low
// enough that the sum of 100 carriers stays a finite float.
constexpr double LEVEL_LIMIT = 1e6;
// Smallest amplitude other than 0: below it the carrier's power relative to
// the record's peak is no longer a number a float holds.
constexpr double AMPLITUDE_FLOOR = 1e-12;

// A sample value read from a file: finite and at most LEVEL_LIMIT in
// magnitude. 0, or -1 with the reason ("is not a number", ...) in `why`.
int CheckFileLevel(double value, const char** why);
