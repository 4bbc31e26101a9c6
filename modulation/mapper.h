// The per-carrier symbol mapper, the modulator impairments and the I/Q file
// input: where the synthesis kernel gets each carrier's next symbol point.
#pragma once

#include <cstdint>
#include <cstdio>

#include "modulation/bits.h"
#include "modulation/dvb.h"
#include "shell/uldo.h"

// ---------------------------------------------------------------------------
// Per-carrier state, indexed by carrier (the bit-source and code registers are
// in modulation/bits.h). DQPSK_Switch, cdmatmp and GMSK_acum: reset by
// ResetGenerators at each pass, advanced by iq and the synthesis, valid
// inside a pass only.

// Symbol counter: phase flag (PI/4-DQPSK, FILE 3 alternate rotation), rotation
// index (CQPSK, O-8PSK, FILE 3 progressive rotation) or chip index (CDMA).
extern int32_t DQPSK_Switch[MAX_CARRIERS];
// Current CDMA data symbol, held for the chips of one data symbol.
extern int32_t cdmatmp[MAX_CARRIERS];
// Running frequency-pulse sum and end-of-record phase correction of GMSK and
// FSK carriers: GMSK_acum advanced by the synthesis kernel; GMSK_corr written
// by the preparation pass and read by the passes after it in the same run.
extern float GMSK_acum[MAX_CARRIERS];
extern float GMSK_corr[MAX_CARRIERS];

// Start of a pass: every carrier's generators back to their first symbol.
// DQPSK_Switch, cdmatmp and GMSK_acum to 0; the short PN registers and zero
// counters to their start state; datapoints to the carrier's prbs_seed_i (0
// for the DVB-C modulations). GMSK_corr and the open files are left alone.
void ResetGenerators();

// Next symbol point of the carrier, normalised, Q negated, impairments applied.
// 0 on success; -1 when a FILE 3 map cannot be opened or a carrier setting
// makes the modulation impossible (both reported in a pop-up; I, Q untouched).
int iq(int modulation, float* I, float* Q, int carrier);
// The next `count` points of the carrier into I[0 .. count-1] and Q[...],
// the same as `count` calls of iq (each from I = Q = 0) give, drawn a run of
// symbols at a time where the modulation allows. 0, or -1 as soon as one of
// those iq calls fails.
int MapSymbols(int modulation, float* I, float* Q, int count, int carrier);

// Mean of |I|^2 + |Q|^2 over every point iq can deliver for the modulation
// (every symbol value, every step of a rotating constellation, the DVB-C tables
// as they are cycled, the symbol map in `map` for FILE 3), before impairments;
// 0 for codes without such an alphabet (tones, I/Q files, 3GPP(SC)).
double MeanSymbolPower(int modulation);

// The carrier's three impairment slots applied in order to one point.
void ApplyInpairment(float* I, float* Q, int carrier);

// Next I/Q pair of an open sample file, read cyclically. encoding: 0 text,
// 1 float32, 2 float64; layout: 0 I Q, 1 Q I, 2 I only, 3 Q only. Components
// that cannot be read keep their values.
void iqfile(std::FILE* file, int encoding, int layout, float* I, float* Q);
// Opens the carrier's mod_file for reading; on failure pop-up
// "File Opening Error (15)" and nullptr.
std::FILE* OpenIqFile(int carrier);
// Reads an open sample file of the carrier's encoding through once and
// rewinds it: every value must be a finite level (shell/levels.h). 0, or -1
// after a "COMPILATION ERROR" naming the carrier, the file, the value's
// index and the reason.
int CheckIqFile(std::FILE* file, int carrier);
