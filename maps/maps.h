// Symbol maps and PRBS polynomials without panels: the map editor's
// operations on the record `map`, the "*.smp" image read and written whole,
// and the polynomial text form with its parser. The map editor, the PRBS
// assistant and uldoc all call these.
#pragma once

#include <cstdint>

#include "shell/polytext.h"
#include "shell/uldo.h"

// ---------------------------------------------------------------------------
// Polynomials (the text form and its parser are shell/polytext.h).

// ParsePolynomial that reports "Polinomium Parsing Error" on a bad text.
int ProcessPol(const char* text, uint32_t* mask);

// Register stages 1..31 as the assistant shows them: stage k is bit 32 - k.
int PrbsStage(uint32_t state, int stage);
// The state of the 31 stage switches (stages[0] is stage 1); bit 0 is 0.
uint32_t PrbsStateFromStages(const int stages[31]);

// ---------------------------------------------------------------------------
// Symbol maps.

// Empty map header (points kept), map_editor.next_point = map_editor.edit_point = 0.
void ClearMap();
// Points of `map` that its arrays can hold: num_points within 0..1024.
int MapPointCount();
// Regular constellation of a modulation code (BPSK, QPSK, QAM16 .. QAM256);
// sets num_points and map_editor.next_point. Returns the point count, or 0 for a
// code that generates nothing (the map is left as it was).
int MapQam(int code);
void MapOffset(double offset_i, double offset_q);
// Turns every point counter-clockwise by `degrees` about the origin.
void MapRotate(double degrees);
void MapScale(double percent_i, double percent_q);
// Stores a point at `index`; index == map_editor.next_point appends a new point.
// Refuses (message, -1) an index outside the map or a new point on a full map.
int MapStorePoint(int index, float point_i, float point_q);
// Deletes point `index`, moving the later points down; an index outside the
// defined points does nothing. Returns 0 when a point was deleted.
int MapDeletePoint(int index);
// A point-list row: "  %3d | %+10.6f  | %+10.6f  | %10.6f  |  %+8.3f  ".
void MapPointRow(int index, char* text, int size);

// Checks a map image: num_points within 0..1024. 0, or -1 with the reason in why.
int CheckMapImage(const SymbolMap& image, char* why, int size);
// Reads a whole 8568-byte image into `map`. A file that can't be read, is
// shorter or longer, or holds more than 1024 points is refused with
// `error_line` and the reason, and `map` stays as it was. 0 or -1.
int LoadSymbolMap(const char* path, const char* error_line);
// Writes `map` whole through a temporary file and a rename; 0, or -1 after
// reporting `error_line` and the reason.
int SaveSymbolMap(const char* path, const char* error_line);

// The JSON form: map_name, rotation_mode, offset_q, rotation_step_deg,
// spare_setting and points as [i, q] pairs. Written through the atomic write;
// a read that is refused names the file and field and leaves `map` as it was.
int WriteSymbolMapJson(const char* path);
int ReadSymbolMapJson(const char* path, const char* error_line);
// uldoc convert between a .smp image and the JSON form: true when either path
// names a .smp file.
bool IsMapConversion(const char* from, const char* to);
// 0 done, 1 the source was refused, 2 a bad target name, 3 the write failed.
int ConvertSymbolMap(const char* from, const char* to);
