// The numbers a compile accepts, checked before anything is computed or
// written: the carrier fields the synthesis uses (fields a carrier does not
// use are left free), the sample values of the files a carrier reads, and the
// largest record each waveform format can describe.
#pragma once

#include <cstdint>

#include "shell/levels.h"  // LEVEL_LIMIT, AMPLITUDE_FLOOR, CheckFileLevel

// Checks the fields carrier c (0-based) uses, its frequency and symbol rate first. 0, or -1 after a
// "COMPILATION ERROR" naming the carrier, the field, its value and the range.
int CheckCarrierNumbers(int c);

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
