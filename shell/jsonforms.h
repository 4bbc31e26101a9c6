// JSON text forms of the carrier table and of the settings record: the same
// content as the "*.kvt" and "*.set" images, readable and editable by hand.
//
// Table:  {"format": "V1.0", "comment": "...", "carriers": [{...}, ...],
//          "records_behind": [{"index": k, ...}, ...]}
//   carriers: the records in use (up to the first whose frequency_hz is not
//   > 0), at most 100. records_behind: the records after them that a binary
//   table holds besides zeros and the -1.0 terminator (a record with frequency
//   0, old carriers behind the terminator, a terminator with other fields set).
// Settings: one object with the fields of the settings record.
//
// Keys are the record field names. Field values:
//   float32  a number written with the shortest digits that read back to the
//            same float32; a non-finite value as the string "0x7FC00000" of its bits.
//   int32    an integer; a code field (modulation, filter_type, window_type,
//            data_source, the impairment types, the I/Q and filter file formats,
//            instrument_type, output_destination) also takes a name of
//            shell/codes.h and is written by name. A carrier's code must be one
//            of its table's.
//   uint32   (prbs_*) the string "0xFEDCBA98" or a number.
//   text     a string: the field's Windows-1252 text (shell/textcodec.h); a
//            character that encoding cannot hold is an error. When the field
//            holds more than that text (bytes after the NUL, no NUL) a
//            companion "<field>_raw" holds the whole field in hex, and wins on
//            reading.
//   reserved_748  hex string, written only when not all zero.
// On reading, a carrier's missing fields get the values of a new carrier
// (prbs_poly_i 3, prbs_seed_i 0xFEDCBA98, prbs_poly_q 3, prbs_seed_q
// 0xFEDCBA98, prbs_iq_equal 1, filter_length 33 when filter_type is not NONE
// and 1 otherwise, everything else 0); missing
// fields of records_behind and of the settings are 0. Unknown keys, wrong
// types, values out of range and overlong texts are errors naming the field.
#pragma once

#include <string>

#include "shell/uldo.h"

// Reads a table JSON file into `signals` and `comment` (all 100 records are
// replaced; the record behind the last carrier becomes the -1.0 terminator
// unless records_behind says otherwise). Returns the carrier count, or -1
// after a message (then nothing is touched).
int ReadTableJson(const char* path);
// The same from text; `origin` names the source in messages.
int ParseTableJson(const std::string& text, const char* origin);
// Writes `signals` and `comment`; 0, or -1 (the previous file is kept).
int WriteTableJson(const char* path);
std::string TableJsonText();

// Settings record. Read: 0, or -1 after a message (settings untouched).
int ReadSettingsJson(const char* path, GlobalSettings* settings);
int ParseSettingsJson(const std::string& text, const char* origin, GlobalSettings* settings);
int WriteSettingsJson(const char* path, const GlobalSettings* settings);
std::string SettingsJsonText(const GlobalSettings* settings);

// The reference of every field of both forms (Markdown: name, type, unit,
// values, what an omitted field becomes, meaning), from the same field
// tables the reader uses; docs/fields.md is this text.
std::string FieldReferenceText();
// The same as a JSON Schema (draft 2020-12) that a table or a setup meets.
std::string JsonSchemaText();
