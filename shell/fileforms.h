// Carrier tables and setups in either form: the binary record images
// (shell/recordfiles.h) or their JSON text (shell/jsonforms.h). The form of a
// file is told by its content, not its name: a JSON file starts with '{' after
// white space; a binary table starts with its format text ("V1.0") and is no
// larger than 94,210 bytes (a shorter one fills what it holds); a binary setup
// has the exact size of its record, 1408 bytes. The form a file is written in comes from its
// extension: ".json" is JSON, anything else the binary image.
#pragma once

#include <cstdio>
#include <string>

#include "shell/uldo.h"

enum RecordFileKind : int {
    RECORD_FILE_UNREADABLE = -1,
    RECORD_FILE_UNKNOWN = 0,      // neither form
    RECORD_FILE_TABLE = 1,        // binary carrier-table image
    RECORD_FILE_SETUP = 2,        // binary settings image
    RECORD_FILE_TABLE_JSON = 3,
    RECORD_FILE_SETUP_JSON = 4,
    RECORD_FILE_JSON = 5,         // JSON, but not recognisably either (it may not parse)
};

// Kind of the bytes of a file. A JSON object with a table key ("format",
// "comment", "carriers", "records_behind") is a table; one with a settings
// field name is a setup.
int RecordKindOfContent(const std::string& bytes);
// The same for a file; RECORD_FILE_UNREADABLE when it cannot be read.
int DetectRecordFile(const char* path);
// "carrier table", "setup", "JSON carrier table" ... for messages.
const char* RecordKindName(int kind);

// Whether a path names a JSON file by its extension (".json", any case); "-"
// (stdout) is written as JSON too.
int IsJsonPath(const char* path);

// Loads a carrier table of either form into `signals` and `comment`. Returns
// the carrier count, or -1 after a message (the table is then untouched).
int LoadTableForm(const char* path);
// Loads a setup of either form into `settings`; 0, or -1 after a message
// (settings untouched).
int LoadSetupForm(const char* path, GlobalSettings* settings);

// Write in the form of the path's extension; 0, or -1 after a message (the
// previous file is kept).
int SaveTableForm(const char* path);
int SaveSetupForm(const char* path, const GlobalSettings* settings);

// Rewrites a table or setup file in the form of `to`'s extension. The target
// extension must fit the kind: ".kvt" or ".json" for a table, ".set" or
// ".json" for a setup. Returns 0; 1 after a message when `from` is not a
// readable table or setup; 2 after a message when `to` is not a fitting name;
// 3 after a message when writing failed. Uses `signals` and `comment` for
// tables (they hold the converted table afterwards).
int ConvertRecordFile(const char* from, const char* to);

// Files a table names (data, I/Q, symbol-map and filter files). A relative
// name is looked up in the directory of the table (`globals.table_file`)
// first, then in the current directory, so that a table and its files can
// move together and tables stored before keep working. An absolute name is
// used as it is.
std::string TableFilePath(const char* name);
// Opens such a file for reading ("rb"). On failure reports `first_line`
// ("File Opening Error (18)") with the path and the system's reason on a
// second line, and returns nullptr.
std::FILE* OpenTableFile(const char* name, const char* first_line);
