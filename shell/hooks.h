// How the core talks to whoever drives it. The GUI wires these hooks to its
// pop-ups and panels, `uldoc` to the terminal, tests to recorders. A hook left
// null falls back to a plain default (messages on stderr, no progress, no cancel).
#pragma once

struct CoreHooks {
    // A message for the user: a pop-up in the GUI, a line on stderr in uldoc.
    void (*message)(const char* title, const char* text) = nullptr;
    // The status line of the progress display.
    void (*status)(const char* text) = nullptr;
    // Progress of a long run, 0..100.
    void (*progress)(double percent) = nullptr;
    // Polled during long runs; non-zero asks the run to stop.
    int (*cancel_requested)() = nullptr;
    // Asks for a line of text (buffer holds the default); returns 0 when declined.
    int (*prompt)(const char* title, const char* text, char* buffer, int max_length) = nullptr;
    // A moment of a compile run at which the analysis display reads the
    // results (AnalysisMoment, compile/engine.h).
    void (*analysis)(int moment) = nullptr;
};

// Written by the driver at start-up (GUI, uldoc) and by each test's fixture;
// read by the Report* functions below on every call. Valid at any time.
extern CoreHooks core_hooks;

void ReportMessage(const char* title, const char* text);
void ReportStatus(const char* text);
void ReportProgress(double percent);
int CancelRequested();
// The one way the core refuses a run: a "COMPILATION ERROR" message made
// from a printf format. Returns -1, so that a refusal reads
// `return CompileError("Carrier %d: ...", c + 1);`.
int CompileError(const char* format, ...) __attribute__((format(printf, 1, 2)));
int PromptText(const char* title, const char* text, char* buffer, int max_length);
inline void ReportAnalysis(int moment) {
    if (core_hooks.analysis) core_hooks.analysis(moment);
}

// ---------------------------------------------------------------------------
// Platform utilities shared by both drivers.

// Waits the given time. Tests shorten every wait at once with SetDelayScale(0).
void Delay(double seconds);
void SetDelayScale(double scale);
double DelayScale();

// The program's own directory: ULDO_HOME when set, otherwise the directory of
// the running executable. Writes at most `size` bytes including the NUL.
int GetProjectDir(char* dir, int size);
template <int N>
inline int GetProjectDir(char (&dir)[N]) { return GetProjectDir(dir, N); }
// Makes a directory current; 0 on success, negative on failure.
int SetDir(const char* dir);
// Starts a command line through the shell without waiting; an empty line does nothing.
int LaunchExecutable(const char* command_line);
