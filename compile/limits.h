// The numbers a compile accepts, checked before anything is computed or
// written: the carrier fields the synthesis uses (fields a carrier does not
// use are left free), the sample values of the files a carrier reads, and the
// largest record each waveform format can describe.
#pragma once

#include <cstdint>

// Largest magnitude of an amplitude, a symbol-map point, an I/Q-file sample,
// a filter coefficient or another level: far above any real level, low
// enough that the sum of 100 carriers stays a finite float.
constexpr double LEVEL_LIMIT = 1e6;
// Smallest amplitude other than 0: below it the carrier's power relative to
// the record's peak is no longer a number a float holds.
constexpr double AMPLITUDE_FLOOR = 1e-12;

// Checks the fields carrier c (0-based) uses. 0, or -1 after a
// "COMPILATION ERROR" naming the carrier, the field, its value and the range.
int CheckCarrierNumbers(int c);

// A sample value read from a file: finite and at most LEVEL_LIMIT in
// magnitude. 0, or -1 with the reason ("is not a number", ...) in `why`.
int CheckFileLevel(double value, const char** why);

// Largest record, in samples, the waveform of instrument_type at destination
// can hold: a definite-length block "#<d><length>" has at most 9 digits.
int64_t LargestRecord(int instrument_type, int destination);
// 0, or -1 after a "COMPILATION ERROR" when an enabled output cannot hold
// `points` samples.
int CheckRecordSize(double points);

// After the compile pass: peaks that are not finite refuse the run (-1 after
// a "COMPILATION ERROR"); a silent record (peak 0) gets a warning and is
// written as it is. 0 otherwise.
int CheckRecordPeaks();
