// Carrier-table ("*.kvt") and settings ("globals.set", "*.set") files: raw
// little-endian images of the records. Reads fill what the file holds and leave
// the rest of the target as it was; writes go through WriteFileAtomically
// (shell/safefile.h), so a failed write never destroys the previous file.
#pragma once

#include "shell/safefile.h"
#include "shell/uldo.h"

constexpr int TABLE_FORMAT_SIZE = 10;
constexpr long TABLE_FILE_SIZE = TABLE_FORMAT_SIZE + COMMENT_SIZE + MAX_CARRIERS * sizeof(Carrier);
static_assert(TABLE_FILE_SIZE == 94210);
constexpr long SETTINGS_FILE_SIZE = sizeof(GlobalSettings);

// Number of carriers in a run of records: up to the first whose frequency is not > 0.
int CountCarriers(const Carrier* records, int available);

// Reads a carrier-table file into `comment` and into `signals` from record
// `first` on, as many records as fit below index 100. Returns the number of
// carriers of the file that did not fit (0 normally), or -1 when the file cannot
// be opened (then nothing is touched).
int ReadTableFile(const char* path, int first);

// Writes "V1.0", `comment` and all 100 records. 0 on success, -1 on failure
// (the previous file, if any, is left as it was).
int WriteTableFile(const char* path);

// Reads up to 1408 bytes of a settings image into `settings`; -1 when the file
// cannot be opened.
int ReadSettingsFile(const char* path, GlobalSettings* settings);
// Writes the 1408-byte image; 0 on success, -1 on failure (old file kept).
int WriteSettingsFile(const char* path, const GlobalSettings* settings);
