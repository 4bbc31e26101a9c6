// Pulse-shaping filters: the pulse-table store FIR and the design of every
// filter type into a carrier's row.
//
// A filter of length L (symbols) tabulates its pulse at P = POINTS_PER_SYMBOL
// points per symbol into M = P L + P + 1 entries, indices 0 .. 2H with
// H = (P L + P) / 2 as time 0.
#pragma once

#include <cstdint>

#include "shell/uldo.h"

constexpr int POINTS_PER_SYMBOL = 50;
constexpr int HALF_SYMBOL_POINTS = POINTS_PER_SYMBOL / 2;  // the offset-Q stagger
constexpr int MAX_FILTER_LENGTH = 202;
constexpr int FIR_ROW_LENGTH = POINTS_PER_SYMBOL * MAX_FILTER_LENGTH + POINTS_PER_SYMBOL + 1;  // 10,151

// One row per carrier. Entries past the pulse in use are zero. Written by
// BuildFilter and ApplyWindow (the compile's filter pass) and ResetFIR; read
// by the synthesis, the power table and the pulse plot; valid after the last
// compile's filter pass.
extern double FIR[MAX_CARRIERS][FIR_ROW_LENGTH];

// 1-based position of the first token of the last text coefficient file read by
// FileFilter that is not a (finite) number; 0 when every token was a number.
// Written by FileFilter and ResetFIR; read by BuildFilter right after.
extern int32_t filter_file_bad_token;

inline int32_t PulseCentre(int32_t filter_length) {
    return (POINTS_PER_SYMBOL * filter_length + POINTS_PER_SYMBOL) / 2;
}
inline int32_t PulseEntries(int32_t filter_length) { return POINTS_PER_SYMBOL * filter_length + POINTS_PER_SYMBOL + 1; }

// Whether a filter length fits the table: 1 .. MAX_FILTER_LENGTH. 0, or -1
// after the "COMPILATION ERROR" "Carrier N: the filter length must be 1 to 202
// symbols, not L".
int CheckFilterLength(int32_t carrier, int32_t filter_length);

// Shortest odd filter length from which a "GAUSSIAN" or "GAUSSIAN-2" design
// of this BT keeps its whole pulse: the entries that survive (the outer three
// symbols of each side stay 0) hold the area of the untruncated design to
// within 0.1 %, before and after normalisation. 0 when no length up to 202
// does, or for another filter type or a BT that is not above 0.
int32_t GaussMinLength(int32_t type, float bt);

// Zeroes every row of FIR.
void ResetFIR();

// Where the reference carrier's pulse is written: "FILTER.DAT" (the current
// directory, which the GUI makes the program's own); empty: not written. Set
// by the programs at start-up and by tests. A failure to write it is reported
// and sets filter_dat_failed (written by BuildFilter, cleared by whoever reads it).
extern char filter_dat_path[4096];
extern int filter_dat_failed;

// Tabulates carrier's pulse into its row of FIR; for the reference carrier also
// writes the pulse to filter_dat_path. Returns 0 when the
// pulse was built or the carrier needs none, -1 (after a message) when it
// cannot be built: unreadable coefficient file, unknown filter type, or a
// length the table cannot hold.
int32_t BuildFilter(int32_t carrier);

// Multiplies carrier's row of FIR (PulseEntries(filter_length) entries) by
// the window its window_type selects (window_designs in shaping/windows.h).
// Codes without a routine leave the row alone, and so does a carrier or
// length outside the table.
void ApplyWindow(int32_t carrier, int32_t filter_length);

// Design routines. table holds at least M entries; sps is the number of table
// points per symbol of the pulse's time scale; L is the filter length. Each
// writes entries 0 .. 2H only, and does nothing for L outside 1 .. 202.
float RsCos(float t, float sps, float alpha);
void RaisedCos(double* table, float sps, float alpha, int32_t L);
double SqrtRsCos(float t, float sps, float alpha);
void SqrtRaisedCos(double* table, float sps, float alpha, int32_t L);
float Gauss(float t, float sps, float bt);
void GaussFilter(double* table, float sps, float bt, int32_t L);
void GaussFilter2(double* table, float sps, float bt, int32_t L);
void GaussFilter3(double* table, float sps, float param, int32_t L);
void Triang(double* table, float sps, int32_t L);
void ButterFilter(double* table, float sps, float fc, int32_t order, int32_t L);
// Reads the pulse from a coefficient file (format 0 text, 1 float32, 2 float64)
// and centres it in the M entries. 0, or -1 after a message: "File Opening
// Error (16)" for a file that cannot be opened, a "COMPILATION ERROR" for a
// length outside 1 .. 202, a file without coefficients or a coefficient that
// is not a level (shell/levels.h).
int32_t FileFilter(double* table, float sps, int32_t L, int32_t format, const char* path);
