// The code fields of the records and their names: one table per kind of code,
// used by the JSON reader and writer, by the compile's plan, by uldoc's
// options and by the generated field reference.
//
// Each valid code has a name that reads back to it (written by the JSON
// forms); a few valid codes have none (window codes 2, 10, 12 and 13 apply no
// window) and are written as numbers. Names are matched without regard to
// case, and '-', '_', ' ', '.', '(', ')' and '/' are ignored, so "qam-64",
// "QAM64" and the panels' "QAM-64" name the same code; the panels' table and
// display names of modulations and filters are accepted too.
#pragma once

#include <string>

#include "shell/uldo.h"

enum CodeKind : int {
    CODE_NONE = 0,
    CODE_MODULATION,
    CODE_FILTER,
    CODE_WINDOW,
    CODE_DATA_SOURCE,
    CODE_IMPAIRMENT,
    CODE_IQ_ENCODING,
    CODE_IQ_LAYOUT,
    CODE_FILTER_FORMAT,
    CODE_INSTRUMENT_TYPE,
    CODE_DESTINATION,
    CODE_KINDS,
};

// "modulation", "filter", "window", "data source", ... for messages.
const char* CodeKindName(int kind);
// "a" or "an", for the kind's name.
const char* CodeKindArticle(int kind);
// Whether `code` is one of the kind's codes.
bool CodeValid(int kind, int code);
// The name of a code, nullptr for a code without one (or not valid).
const char* CodeName(int kind, int code);
// The code a name stands for; -1 when none, -2 when it names several
// ("BUTTERWRTH": give the order).
int CodeOfName(int kind, const std::string& name);
// "NONE, RCOS, GAUSS, ..." : the names of the kind, in code order.
std::string CodeNameList(int kind);
// Every name CodeOfName accepts for the kind, folded (upper case, no
// punctuation), each once: for the JSON Schema.
std::string CodeFoldedNames(int kind);  // "NONE|QPSK|QAM16|..."
// Every valid code of the kind, in order; returns the count (at most `room`).
int CodeValues(int kind, int* codes, int room);

// "Carrier 2: modulation 99 is not a modulation code; modulation names: ..."
// for the first code field of carriers[0 .. count) that holds an unknown
// code; an empty text when all are known. Carrier numbers are 1-based.
std::string CarrierCodeProblem(const Carrier* carriers, int count);
