// Writing a file without ever destroying what stands at its path.
//
// A regular file (or a path that does not exist yet) is written to a temporary
// file in the same directory, flushed to disk and renamed over the target only
// when it is complete, so the previous file stays whole until then; a failed
// or discarded write removes only that temporary file. A symbolic link is
// followed to the file it names, which is replaced with its mode kept; the
// link itself stays. Devices, pipes and other files that are not regular
// (/dev/stdout, /dev/null, a FIFO) are written in place, without a temporary
// file, and nothing is ever renamed over them. The path "-" is the standard
// output.
#pragma once

#include <string>

constexpr int SAFE_FILE_PATH = 4096;
constexpr int SAFE_FILE_BUFFER = 65536;

struct SafeFile {
    int fd;                         // -1 when closed
    int direct;                     // not a regular file: written in place
    int error;                      // errno of the first failure, 0 while all went well
    long long written;              // bytes taken so far
    char path[SAFE_FILE_PATH];      // as given, for messages
    char target[SAFE_FILE_PATH];    // the file that is replaced, links followed
    char temp[SAFE_FILE_PATH];      // the temporary file while it is open
    char problem[SAFE_FILE_PATH + 160];  // "PATH: reason" after a failure
    long buffered;
    unsigned char buffer[SAFE_FILE_BUFFER];
};

// Starts writing `path`. 0, or -1 with the reason in problem (nothing was created).
int OpenSafeFile(SafeFile* file, const char* path);
// Appends bytes. 0, or -1 with the reason in problem; later writes are ignored.
int WriteSafeFile(SafeFile* file, const void* bytes, long count);
// Completes the file: flush, fsync, rename into place (a direct file is only
// flushed and closed). 0, or -1 with the reason in problem (the temporary file
// is removed and the previous file kept).
int CommitSafeFile(SafeFile* file);
// Drops an unfinished file: the temporary file is removed, the target is left
// as it was. Harmless on a closed file.
void DiscardSafeFile(SafeFile* file);

// The whole file in one call; 0, or -1 with the reason in safe_file_problem.
int WriteFileAtomically(const char* path, const void* data, long size);
// The reason of the last failure of WriteFileAtomically: "PATH: reason".
// Written by WriteFileAtomically (cleared at each call, set when it fails); read
// by its caller right after a -1 for the message it reports. Valid until the next call.
extern char safe_file_problem[SAFE_FILE_PATH + 160];

// "PATH: reason" for a file that could not be opened or written.
std::string FileProblemText(const char* path, int error_number);
// Reports `first_line` (such as "File Opening Error (18)") with the path and
// the system's reason on a second line.
void ReportFileError(const char* first_line, const char* path, int error_number);
