// uldoc: the command-line compiler. Loads a carrier table and the settings,
// compiles the table into waveform files and reports the plan, the peaks and
// the files written. The core's hooks go to the terminal: messages and the
// progress bar to stderr, the report to stdout.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/options.h"
#include "compile/engine.h"
#include "compile/output.h"
#include "compile/report.h"
#include "displays/analysis_report.h"
#include "displays/displays.h"
#include "modulation/dvb.h"
#include "shell/fileforms.h"
#include "shell/hooks.h"
#include "shell/uldo.h"
#include "transfer/ftp.h"
#include "transfer/gpib.h"
#include "transfer/tcp.h"

namespace {

constexpr int EXIT_REFUSED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_CANCELLED = 130;

// --- terminal hooks ---------------------------------------------------------

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

int progress_terminal = 0;   // stderr is a terminal: draw the bar
int progress_shown = 0;      // a bar line is on the screen
int progress_length = 0;
int last_percent = -1;
char status_text[160];
int status_lines = 0;        // transfers: every status text on a line of its own

void ClearProgress() {
    if (!progress_shown) return;
    std::fprintf(stderr, "\r%*s\r", progress_length, "");
    std::fflush(stderr);
    progress_shown = 0;
}

void DrawProgress(double percent) {
    char line[160];
    int n = FormatProgressLine(line, sizeof line, status_text, percent, 30);
    std::fputs(line, stderr);
    std::fflush(stderr);
    progress_length = n > 0 ? n - 1 : 0;  // the leading carriage return takes no column
    progress_shown = 1;
}

void TerminalMessage(const char* title, const char* text) {
    ClearProgress();
    std::fflush(stdout);
    if (title && *title) std::fprintf(stderr, "%s: %s\n", title, text ? text : "");
    else std::fprintf(stderr, "%s\n", text ? text : "");
}

void TerminalStatus(const char* text) {
    std::snprintf(status_text, sizeof status_text, "%s", text ? text : "");
    last_percent = -1;
    if (status_lines) {
        ClearProgress();
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", status_text);
    }
    if (progress_terminal) DrawProgress(0.0);
}

void TerminalProgress(double percent) {
    if (!progress_terminal) return;
    int whole = static_cast<int>(percent);
    if (whole == last_percent) return;
    last_percent = whole;
    DrawProgress(percent);
}

int TerminalCancel() { return interrupted ? 1 : 0; }

void TerminalAnalysis(int moment) {
    if (moment != ANALYSIS_PLANNED) return;
    ClearProgress();
    std::fputs(PlanReportText().c_str(), stdout);
    std::fflush(stdout);
}

void InstallHooks() {
    progress_terminal = isatty(STDERR_FILENO);
    core_hooks.message = TerminalMessage;
    core_hooks.status = TerminalStatus;
    core_hooks.progress = TerminalProgress;
    core_hooks.cancel_requested = TerminalCancel;
    core_hooks.analysis = TerminalAnalysis;

    // The first Ctrl-C asks the run to stop at its next poll; the handler then
    // reverts to the default, so a second one ends the program at once.
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

// --- output files -----------------------------------------------------------

FileSink file_sinks[4];
int (*file_end)(OutputSink*) = nullptr;
int pass_written[4];
const FileSink* unfinished = nullptr;   // the file of a pass that did not complete

int PassOf(OutputSink* sink) {
    for (int p = 1; p <= 3; ++p)
        if (sink == &file_sinks[p].sink) return p;
    return 0;
}

// The file sink renames a pass's file into place only when it completes; a
// failed or cancelled pass leaves what stood at the path untouched.
int EndAndKeep(OutputSink* sink) {
    int result = file_end(sink);
    if (result == 0) pass_written[PassOf(sink)] = 1;
    else unfinished = reinterpret_cast<FileSink*>(sink);
    return result;
}

void (*file_abort)(OutputSink*) = nullptr;

void AbortAndKeep(OutputSink* sink) {
    file_abort(sink);
    unfinished = reinterpret_cast<FileSink*>(sink);
}

// What became of the output of a pass that did not complete.
void TellUnfinished(const char* what) {
    if (!unfinished) {
        std::fprintf(stderr, "uldoc: %s\n", what);
        return;
    }
    if (unfinished->file.direct)
        std::fprintf(stderr, "uldoc: %s; the output to %s is incomplete\n", what, unfinished->path);
    else
        std::fprintf(stderr, "uldoc: %s; %s was not written (a file there before is left as it was)\n", what,
                     unfinished->path);
}

bool SameFile(const char* a, const char* b) {
    struct stat sa, sb;
    return a && b && stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// --- transfers --------------------------------------------------------------

GpibSink gpib_sinks[4];
FtpSink ftp_sinks[4];
char ftp_name[FTP_NAME_LENGTH + 1];

// Destinations 0 and 3: the instrument is prepared (interface clear and
// reset, or the FTP login) just before the compile, as the GUI does.
int PrepareTransfer(const UldocOptions* o, const int* enabled, CompileTargets* targets, char* problem,
                    int problem_size) {
    int d = globals.output_destination;
    if (o->output) {
        std::snprintf(problem, problem_size, "-o names a file; destination %d writes none%s", d,
                      d == 3 ? " (the name on the server is --ftp-name)" : "");
        return -1;
    }
    if (d == 3) {
        if (o->ftp_name) {
            std::snprintf(ftp_name, sizeof ftp_name, "%s", o->ftp_name);
            if (std::strlen(o->ftp_name) > FTP_NAME_LENGTH) {
                std::snprintf(problem, problem_size, "--ftp-name takes at most %d characters", FTP_NAME_LENGTH);
                return -1;
            }
        } else {
            char path[4096];
            if (DefaultWaveformName(path, sizeof path, o->table, globals.instrument_type, d) != 0 ||
                std::strlen(path) > FTP_NAME_LENGTH) {
                std::snprintf(problem, problem_size, "give the file name on the server with --ftp-name");
                return -1;
            }
            std::strcpy(ftp_name, path);
        }
        if (FieldText(globals.instrument_ip).empty()) {
            std::snprintf(problem, problem_size, "destination 3 needs the instrument address (--ip or a setup)");
            return -1;
        }
        if (globals.ftp_port < 1 || globals.ftp_port > 65535) {
            std::snprintf(problem, problem_size, "destination 3 needs the FTP port (--ftp-port or a setup)");
            return -1;
        }
    }
    for (int p = 1; p <= 3; ++p) {
        if (!enabled[p]) continue;
        if (d == 0) {
            InitGpibSink(&gpib_sinks[p]);
            targets->sink[p] = &gpib_sinks[p].sink;
        } else {
            InitFtpSink(&ftp_sinks[p], p);
            targets->sink[p] = &ftp_sinks[p].sink;
        }
    }
    return 0;
}

// --- the run ----------------------------------------------------------------

int Usage(const char* text) {
    std::fprintf(stderr, "uldoc: %s\nTry 'uldoc --help'.\n", text);
    return EXIT_USAGE;
}

bool UsesDvbTables() {
    for (int i = 0; i < MAX_CARRIERS && signals[i].frequency_hz >= 0.0f; ++i) {
        int m = signals[i].modulation;
        if (m == MOD_DVBC16 || m == MOD_DVBC32 || m == MOD_DVBC64 || m == MOD_DVBC256) return true;
    }
    return false;
}

const char* DestinationName(int destination) {
    switch (destination) {
    case 0: return "GPIB transfer";
    case 1: return "native-format file";
    case 2: return "GPIB-format file";
    case 3: return "FTP transfer";
    default: return "unknown destination";
    }
}

const char* FamilyName(int instrument_type) {
    switch (OutputFamilyOf(instrument_type)) {
    case OUTPUT_WFM: return "WFM";
    case OUTPUT_CURVE: return "CURVE";
    case OUTPUT_EMEMORY: return "EMEMORY";
    case OUTPUT_PAT: return "PAT";
    case OUTPUT_TEXT: return "text";
    default: return "unknown type";
    }
}

void PrintSettings(const char* table, int count) {
    std::printf("table          %s: %d carrier%s", table, count, count == 1 ? "" : "s");
    std::string text = FieldText(comment);
    if (!text.empty()) std::printf(", \"%s\"", text.c_str());
    std::printf("\n");
    const GlobalSettings& g = globals;
    std::printf("settings       mode %d, length %d %s, clock ratio %g, max length %d\n", g.compile_mode,
                g.compile_length, g.compile_mode == 1 ? "symbols" : "samples", static_cast<double>(g.sample_clock),
                g.max_record_length);
    std::string passes;
    if (g.output_rf) passes += " RF";
    if (g.output_baseband_i) passes += " I";
    if (g.output_baseband_q) passes += " Q";
    if (passes.empty()) passes = " none";
    std::printf("output         type %d (%s), %s, passes%s, %s", g.instrument_type, FamilyName(g.instrument_type),
                DestinationName(g.output_destination), passes.c_str(),
                g.normalization_mode == 1 ? "fixed normalisation" : "automatic normalisation");
    if (g.normalization_mode == 1) std::printf(" %g", static_cast<double>(g.normalization_level));
    std::printf("\n");
}

int Compile(const UldocOptions* o) {
    ResetRecords();
    SetUldocDefaults(&globals);
    int count = 0;
    if (o->table) {
        count = LoadTableForm(o->table);
        if (count < 0) return EXIT_REFUSED;
        SetField(globals.table_file, o->table);
    }
    if (o->setup) {
        // As the setup command does: the table, its file and its count stay.
        GlobalSettings setup;
        if (LoadSetupForm(o->setup, &setup) != 0) return EXIT_REFUSED;
        std::memcpy(setup.table_file, globals.table_file, sizeof setup.table_file);
        globals = setup;
    }
    globals.carrier_count = count;
    globals.current_carrier = count;
    ApplyUldocOverrides(o, &globals);

    if (o->has_reference && o->table && o->reference > count) {
        char text[96];
        std::snprintf(text, sizeof text, "--reference %d: the table has %d carrier%s", o->reference, count,
                      count == 1 ? "" : "s");
        return Usage(text);
    }
    if (globals.instrument_type >= 7) {
        if (o->has_destination && o->destination == 2)
            return Usage("text targets (types 7 to 10) are written as native-format files only (--destination 1)");
        globals.output_destination = 1;
    }
    if (o->write_setup) return SaveSetupForm(o->write_setup, &globals) == 0 ? 0 : EXIT_REFUSED;

    const int enabled[4] = {0, globals.output_rf != 0, globals.output_baseband_i != 0,
                            globals.output_baseband_q != 0};
    const bool outputs = enabled[1] || enabled[2] || enabled[3];
    char paths[4][4096] = {};
    CompileTargets targets = {};
    if (outputs) {
        int d = globals.output_destination;
        if (d < 0 || d > 3) {
            char text[96];
            std::snprintf(text, sizeof text, "unknown output destination %d; use --destination 0 to 3", d);
            return Usage(text);
        }
        if (d == 0 || d == 3) {
            char problem[160];
            if (PrepareTransfer(o, enabled, &targets, problem, sizeof problem) != 0) return Usage(problem);
        } else if (o->output) {
            if (std::strlen(o->output) >= sizeof paths[1]) return Usage("the output path is too long");
            std::strcpy(paths[1], o->output);
        } else if (DefaultWaveformName(paths[1], sizeof paths[1], o->table, globals.instrument_type, d) != 0) {
            return Usage("no default output name for this table; give one with -o");
        }
        if (d == 1 || d == 2) {
            if (buildname(paths[2], paths[1], "_I") != 0 || buildname(paths[3], paths[1], "_Q") != 0)
                return Usage("the output path is too long");
        }
        for (int p = 1; p <= 3 && (d == 1 || d == 2); ++p) {
            if (!enabled[p]) continue;
            if (SameFile(paths[p], o->table) || SameFile(paths[p], o->setup)) {
                char text[4200];
                std::snprintf(text, sizeof text, "the output %s would overwrite an input file", paths[p]);
                return Usage(text);
            }
            InitFileSink(&file_sinks[p], paths[p], d);
            file_end = file_sinks[p].sink.end_pass;
            file_abort = file_sinks[p].sink.abort_pass;
            file_sinks[p].sink.end_pass = EndAndKeep;
            file_sinks[p].sink.abort_pass = AbortAndKeep;
            targets.sink[p] = &file_sinks[p].sink;
        }
    } else if (o->output) {
        std::fprintf(stderr, "uldoc: no output pass is enabled; %s is not written\n", o->output);
    }

    if (UsesDvbTables()) BuildDvbTables();
    if (o->threads > 0) SetCompileThreads(o->threads);
    InstallHooks();

    PrintSettings(o->table, count);
    std::fflush(stdout);
    const int transfer = outputs && (globals.output_destination == 0 || globals.output_destination == 3);
    status_lines = transfer;
    // Every status goes on a line of its own: the GUI's reading pauses are not needed.
    SetFtpStatusPauses(0);
    if (o->timeout_seconds > 0) SetTCPTimeout(static_cast<int>(o->timeout_seconds * 1000.0f + 0.5f));
    if (transfer && globals.output_destination == 0 && PrepareGpibOutput() != 0) return EXIT_REFUSED;
    if (transfer && globals.output_destination == 3 && PrepareFtpOutput(ftp_name) != 0) return EXIT_REFUSED;
    int result = CompileTable(&targets);
    ClearProgress();
    if (transfer && globals.output_destination == 3 && FinishFtpOutput() != 0 && result == COMPILE_DONE)
        result = COMPILE_FAILED;
    if (result == COMPILE_CANCELLED) {
        std::fflush(stdout);
        TellUnfinished("cancelled");
        return EXIT_CANCELLED;
    }
    if (result != COMPILE_DONE) {
        std::fflush(stdout);
        if (unfinished) TellUnfinished("the compile failed");
        return EXIT_REFUSED;
    }

    std::fputs(PeaksReportText().c_str(), stdout);
    int written = 0;
    for (int p = 1; p <= 3; ++p) {
        if (!pass_written[p]) continue;
        struct stat st;
        long long size = stat(paths[p], &st) == 0 ? static_cast<long long>(st.st_size) : -1;
        std::printf("%-15s%s (%lld bytes)\n", written++ ? "" : "written", paths[p], size);
    }
    if (transfer) {
        const char* names[4] = {"", "RF", "baseband I", "baseband Q"};
        for (int p = 1; p <= 3; ++p) {
            if (!enabled[p]) continue;
            if (globals.output_destination == 0) {
                std::printf("%-15s%s to GPIB address %d\n", written++ ? "" : "sent", names[p],
                            globals.gpib_address & 0xFFFF);
            } else {
                char name[FTP_NAME_LENGTH + 8];
                if (p == 1) std::snprintf(name, sizeof name, "%s", ftp_name);
                else buildname(name, ftp_name, p == 2 ? "_I" : "_Q");
                std::printf("%-15s%s on %s port %d\n", written++ ? "" : "stored", name,
                            FieldText(globals.instrument_ip).c_str(), globals.ftp_port);
            }
        }
    }
    if (!written) std::printf("written        nothing (no output pass)\n");
    std::fputs(AnalysisReportText().c_str(), stdout);
    if (o->png_dir) {
        std::fflush(stdout);
#if ULDOC_PNG
        if (SaveAnalysisImages(o->png_dir) != 0) return EXIT_REFUSED;
#else
        std::fprintf(stderr, "uldoc: --png was not built into this uldoc (configure with -DULDO_CLI_PNG=ON)\n");
        return EXIT_REFUSED;
#endif
        std::printf("images         %s/spectrum.png, ccdf.png, iq.png\n", o->png_dir);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    UldocOptions options;
    char error[512];
    if (ParseUldocArguments(argc, argv, &options, error, sizeof error) != 0) return Usage(error);
    if (options.help) {
        std::fputs(uldoc_usage, stdout);
        return 0;
    }
    InitPI();
    core_hooks.message = TerminalMessage;
    if (options.convert) {
        int result = ConvertRecordFile(options.convert_from, options.convert_to);
        if (result == 2) return EXIT_USAGE;
        return result == 0 ? 0 : EXIT_REFUSED;
    }
    return Compile(&options);
}
