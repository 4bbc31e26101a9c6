// uldoc: the command-line compiler. Loads a carrier table and the settings,
// compiles the table into waveform files and reports the plan, the peaks and
// the files written. The core's hooks go to the terminal: messages and the
// progress bar to stderr, the report to stdout (to stderr when stdout carries
// a file, "-o -"), or one JSON document with --report json.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/assist.h"
#include "cli/mapcmd.h"
#include "maps/maps.h"
#include "cli/options.h"
#include "compile/engine.h"
#include "compile/iqformats.h"
#include "compile/output.h"
#include "compile/recordstats.h"
#include "compile/report.h"
#include "compile/sigmf.h"
#include "displays/analysis_report.h"
#include "displays/power.h"
#include "cli/images.h"
#include "modulation/dvb.h"
#include "shaping/filters.h"
#include "shell/codes.h"
#include "shell/modtraits.h"
#include "shell/fileforms.h"
#include "shell/jsonforms.h"
#include "shell/hooks.h"
#include "shell/uldo.h"
#include "transfer/ftp.h"
#include "transfer/gpib.h"
#include "transfer/targets.h"
#include "uldo_version.h"
#include "transfer/tcp.h"

namespace {

constexpr int EXIT_REFUSED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_CANCELLED = 130;
constexpr int RUN_ON = -1;   // a step of the run that does not end it

// --- report streams ---------------------------------------------------------

std::FILE* report_out = stdout;   // the text report; null with -q or --report json
std::FILE* json_out = nullptr;    // --report json: where the document goes
nlohmann::ordered_json json_report = nlohmann::ordered_json::object();
std::vector<std::string> json_messages;

void Out(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Out(const char* format, ...) {
    if (!report_out) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(report_out, format, args);
    va_end(args);
}

void OutText(const std::string& text) {
    if (report_out) std::fputs(text.c_str(), report_out);
}

void FlushReport() {
    if (report_out) std::fflush(report_out);
    std::fflush(stdout);
}

// --- terminal hooks ---------------------------------------------------------

volatile sig_atomic_t interrupted = 0;

// The first Ctrl-C asks the run to stop at its next poll. A second one ends
// the program at once; the temporary files of the passes go with it (unlink
// is safe in a handler), so nothing half-written is left beside the targets.
void OnInterrupt(int) {
    if (!interrupted) {
        interrupted = 1;
        return;
    }
    for (const FileSink& f : target_sinks.files)
        if (f.file.fd >= 0 && !f.file.direct && f.file.temp[0]) unlink(f.file.temp);
    _exit(EXIT_CANCELLED);
}

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
    FlushReport();
    if (json_out) json_messages.push_back(title && *title ? std::string(title) + ": " + (text ? text : "") : (text ? text : ""));
    if (title && *title) std::fprintf(stderr, "%s: %s\n", title, text ? text : "");
    else std::fprintf(stderr, "%s\n", text ? text : "");
}

void TerminalStatus(const char* text) {
    std::snprintf(status_text, sizeof status_text, "%s", text ? text : "");
    last_percent = -1;
    if (status_lines) {
        ClearProgress();
        FlushReport();
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
    OutText(PlanReportText());
    FlushReport();
}

void InstallHooks(int quiet) {
    progress_terminal = !quiet && isatty(STDERR_FILENO);
    core_hooks.message = TerminalMessage;
    core_hooks.status = TerminalStatus;
    core_hooks.progress = TerminalProgress;
    core_hooks.cancel_requested = TerminalCancel;
    core_hooks.analysis = TerminalAnalysis;

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
}

// --- output files -----------------------------------------------------------

// The file sink renames a pass's file into place only when it completes; a
// failed or cancelled pass leaves what stood at the path untouched. Each sink
// keeps its outcome, read here after the run.
bool PassWritten(int pass) { return target_sinks.files[pass].outcome == FILE_COMPLETED; }

// The file of the pass that did not complete (a failed pass ends the run, so
// there is at most one), or null.
const FileSink* UnfinishedFile() {
    for (int p = 1; p <= PASS_IQ; ++p)
        if (target_sinks.files[p].outcome == FILE_UNFINISHED) return &target_sinks.files[p];
    return nullptr;
}

// What became of the output of a pass that did not complete.
void TellUnfinished(const char* what) {
    const FileSink* unfinished = UnfinishedFile();
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

// Each carrier's level from the power table (the last row of a carrier
// counts), NaN where the row shows "n/a".
void CarrierPowers(float* power_dbm) {
    BuildPowerTable();
    for (int c = 0; c < MAX_CARRIERS; ++c) power_dbm[c] = std::nanf("");
    for (int i = 0; i < power_row_count; ++i) {
        const PowerRow& row = power_rows[i];
        if (row.carrier >= 0 && row.carrier < MAX_CARRIERS)
            power_dbm[row.carrier] = row.defined ? row.power_dbm : std::nanf("");
    }
}

bool SameFile(const char* a, const char* b) {
    struct stat sa, sb;
    return a && b && stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// --- transfers --------------------------------------------------------------

char ftp_name[FTP_NAME_LENGTH + 1];

// The FTP password: ULDO_FTP_PASSWORD, or asked on the terminal without echo
// (never from the command line, where every user of the machine sees it).
int ReadFtpPassword(std::string* password, char* problem, int problem_size) {
    if (const char* from_environment = std::getenv("ULDO_FTP_PASSWORD")) {
        *password = from_environment;
        return 0;
    }
    int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) {
        std::snprintf(problem, problem_size, "--ftp-user needs the password in ULDO_FTP_PASSWORD (no terminal to ask)");
        return -1;
    }
    termios old_mode{};
    const int have_mode = tcgetattr(tty, &old_mode) == 0;
    if (have_mode) {
        termios quiet = old_mode;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    const char ask[] = "FTP password: ";
    ssize_t ignored = write(tty, ask, sizeof ask - 1);
    std::string line;
    char c;
    while (line.size() < 256 && read(tty, &c, 1) == 1 && c != '\n') line += c;
    if (have_mode) tcsetattr(tty, TCSAFLUSH, &old_mode);
    ignored = write(tty, "\n", 1);
    (void)ignored;
    close(tty);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    *password = line;
    return 0;
}

// Destinations 0 and 3: the instrument is prepared (interface clear and
// reset, or the FTP login) just before the compile, as the GUI does.
int PrepareTransfer(const UldocOptions* o, char* problem, int problem_size) {
    int d = globals.output_destination;
    if (o->instrument && d != 0) {
        std::snprintf(problem, problem_size, "--instrument names the instrument of destination 0 (gpib), not %d", d);
        return -1;
    }
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
        if (InstrumentHost().empty()) {
            std::snprintf(problem, problem_size, "destination 3 needs the instrument address (--ip or a setup)");
            return -1;
        }
        std::string password;
        if (o->ftp_user && ReadFtpPassword(&password, problem, problem_size) != 0) return -1;
        if (SetFtpLogin(o->ftp_user, password.c_str()) != 0) {
            std::snprintf(problem, problem_size, "the FTP password holds a line end");
            return -1;
        }
        if (globals.ftp_port < 1 || globals.ftp_port > 65535) {
            std::snprintf(problem, problem_size, "destination 3 needs the FTP port (--ftp-port or a setup)");
            return -1;
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
        if (ModKind(signals[i].modulation) == MOD_KIND_DVB) return true;
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
    const InstrumentTraits* traits = InstrumentTraitsOf(instrument_type);
    return traits ? traits->family_name : "unknown type";
}

void PrintSettings(const char* table, int count) {
    Out("table          %s: %d carrier%s", table, count, count == 1 ? "" : "s");
    std::string text = FieldText(comment);
    if (!text.empty()) Out(", \"%s\"", text.c_str());
    Out("\n");
    const GlobalSettings& g = globals;
    Out("settings       mode %d, length %d %s, clock ratio %g, max length %d\n", g.compile_mode,
                g.compile_length, g.compile_mode == 1 ? "symbols" : "samples", static_cast<double>(g.sample_clock),
                g.max_record_length);
    std::string passes;
    if (g.output_rf) passes += " RF";
    if (g.output_baseband_i) passes += " I";
    if (g.output_baseband_q) passes += " Q";
    if (iq_settings.enabled) passes += " I/Q";
    if (passes.empty()) passes = " none";
    Out("output         type %d (%s), %s, passes%s, %s", g.instrument_type, FamilyName(g.instrument_type),
                DestinationName(g.output_destination), passes.c_str(),
                g.normalization_mode == 1 ? "fixed normalisation" : "automatic normalisation");
    if (g.normalization_mode == 1) Out(" %g", static_cast<double>(g.normalization_level));
    Out("\n");
}

// --report json: the document for a run that ends here, with its status.
int Finish(int code, const char* status) {
    if (!json_out) return code;
    json_report["status"] = status;
    json_report["exit_status"] = code;
    json_report["messages"] = json_messages;
    ClearProgress();
    std::fflush(stdout);
    std::fputs((json_report.dump(2) + "\n").c_str(), json_out);
    std::fflush(json_out);
    return code;
}

bool IsStdio(const char* path) { return path && std::strcmp(path, "-") == 0; }

// The path without the extension of its file name (from the name's first '.').
std::string Stem(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t dot = path.find('.', slash == std::string::npos ? 0 : slash + 1);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

// Names of the raw records: the iq pass, and with --sigmf the SigMF pairs of
// the rf and iq passes. Empty, or the reason for a usage error.
std::string NameRawRecords(const UldocOptions* o, const int* enabled, char (*paths)[4096], std::string* meta) {
    const int d = globals.output_destination;
    if ((enabled[PASS_IQ] || o->sigmf) && d != 1)
        return "the iq pass and --sigmf write files (--destination file), not destination " + std::to_string(d);
    if (o->sigmf) {
        if (enabled[2] || enabled[3])
            return "--sigmf records the rf and iq passes; the complex record (--passes iq) holds I and Q together";
        if (IsStdio(o->output)) return "--sigmf writes a data and a metadata file; give -o NAME";
        std::string base = SigmfBaseName(o->output ? o->output : Stem(paths[1]));
        const std::string rf = base + (enabled[PASS_IQ] ? "_RF" : "");
        if (rf.size() + 12 >= sizeof paths[1]) return "the output path is too long";
        std::snprintf(paths[PASS_IQ], sizeof paths[PASS_IQ], "%s.sigmf-data", base.c_str());
        meta[PASS_IQ] = base + ".sigmf-meta";
        std::snprintf(paths[1], sizeof paths[1], "%s.sigmf-data", rf.c_str());
        meta[1] = rf + ".sigmf-meta";
        iq_settings.rf_raw = enabled[1];
        return "";
    }
    if (!enabled[PASS_IQ]) return "";
    if (IsStdio(o->output)) {
        std::strcpy(paths[PASS_IQ], "-");
        return "";
    }
    const int by_extension = o->output ? IqFormatOfPath(o->output) : -1;
    if (by_extension >= 0) {
        if (enabled[1] || enabled[2] || enabled[3])
            return std::string("-o ") + o->output + " names the iq record; give a waveform name for the other passes";
        std::snprintf(paths[PASS_IQ], sizeof paths[PASS_IQ], "%s", o->output);
        if (o->iq_format < 0) iq_settings.format = by_extension;
        return "";
    }
    std::string path = Stem(paths[1]) + IqExtension(iq_settings.format);
    if (path.size() >= sizeof paths[PASS_IQ]) return "the output path is too long";
    std::snprintf(paths[PASS_IQ], sizeof paths[PASS_IQ], "%s", path.c_str());
    return "";
}

// The table, the setup and the options into the records. RUN_ON, or the
// exit status of a run that ends here (a refusal, --write-setup).
int LoadInputs(const UldocOptions* o, int* table_count) {
    ResetRecords();
    SetUldocDefaults(&globals);
    if (IsStdio(o->table) && IsStdio(o->setup)) return Usage("the table and the setup cannot both come from stdin");
#if !ULDOC_PNG
    if (o->png_dir) return Usage("--png was not built into this uldoc (configure with -DULDO_CLI_PNG=ON)");
#endif
    int& count = *table_count;
    count = 0;
    if (o->table) {
        count = LoadTableForm(o->table);
        if (count < 0) return Finish(EXIT_REFUSED, "refused");
        SetField(globals.table_file, o->table);
    }
    if (o->setup) {
        // As the setup command does: the table, its file and its count stay.
        GlobalSettings setup;
        if (LoadSetupForm(o->setup, &setup) != 0) return Finish(EXIT_REFUSED, "refused");
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
    if (OutputFamilyOf(globals.instrument_type) == OUTPUT_TEXT) {
        if (o->has_destination && o->destination == 2)
            return Usage("text targets (types 7 to 10) are written as native-format files only (--destination 1)");
        globals.output_destination = 1;
    }
    if (o->write_setup) return SaveSetupForm(o->write_setup, &globals) == 0 ? 0 : EXIT_REFUSED;

    return RUN_ON;
}

// The names and sinks of the enabled passes. RUN_ON, or the exit status of a
// usage error.
int NameOutputs(const UldocOptions* o, const int* enabled, char (*paths)[4096], std::string* meta,
                CompileTargets* targets) {
    const bool outputs = enabled[1] || enabled[2] || enabled[3] || enabled[PASS_IQ];
    if (outputs) {
        int d = globals.output_destination;
        if (d < 0 || d > 3) {
            char text[96];
            std::snprintf(text, sizeof text, "unknown output destination %d; use --destination 0 to 3", d);
            return Usage(text);
        }
        if (enabled[PASS_IQ] && d != 1) {
            std::string text = "the iq pass writes a file (--destination file), not destination " + std::to_string(d);
            return Usage(text.c_str());
        }
        if (d == 0 || d == 3) {
            char problem[160];
            if (PrepareTransfer(o, problem, sizeof problem) != 0) return Usage(problem);
        } else if (o->output) {
            if (std::strlen(o->output) >= sizeof paths[1]) return Usage("the output path is too long");
            std::strcpy(paths[1], o->output);
        } else if (IsStdio(o->table) ||
                   DefaultWaveformName(paths[1], sizeof paths[1], o->table, globals.instrument_type, d) != 0) {
            return Usage("no default output name for this table; give one with -o");
        }
        if (IsStdio(o->output)) {
            // stdout carries one waveform: the pass that is enabled.
            int passes = enabled[1] + enabled[2] + enabled[3] + enabled[PASS_IQ];
            if (passes != 1) return Usage("-o - writes one pass to stdout; choose it with --passes rf, i, q or iq");
            for (int p = 1; p <= PASS_IQ; ++p) std::strcpy(paths[p], "-");
        } else if (d == 1 || d == 2) {
            if (buildname(paths[2], paths[1], "_I") != 0 || buildname(paths[3], paths[1], "_Q") != 0)
                return Usage("the output path is too long");
        }
        std::string problem = NameRawRecords(o, enabled, paths, meta);
        if (!problem.empty()) return Usage(problem.c_str());
        for (int p = 1; p <= PASS_IQ && (d == 1 || d == 2); ++p) {
            if (!enabled[p]) continue;
            if (SameFile(paths[p], o->table) || SameFile(paths[p], o->setup)) {
                char text[4200];
                std::snprintf(text, sizeof text, "the output %s would overwrite an input file", paths[p]);
                return Usage(text);
            }
        }
        if (BuildCompileTargets(d, enabled, paths, targets) != 0) return Finish(EXIT_REFUSED, "refused");
    } else if (o->output) {
        std::fprintf(stderr, "uldoc: no output pass is enabled; %s is not written\n", o->output);
    }
    return RUN_ON;
}

// The metadata of each SigMF recording, once its data is in place. 0, or -1
// after the file's message.
int WriteSigmfMetadata(const std::string* meta) {
    for (int p : {1, static_cast<int>(PASS_IQ)}) {
        if (meta[p].empty() || !PassWritten(p)) continue;
        float carrier_powers[MAX_CARRIERS];
        CarrierPowers(carrier_powers);
        const std::string recorder = std::string("uldoc ") + ULDO_VERSION;
        const std::string hw = std::string("ULDO ") + ULDO_VERSION + " (commit " + ULDO_COMMIT +
                               "), a record synthesised from a carrier table";
        const std::string description = FieldText(comment);
        SigmfRecording recording{IqDatatypeName(iq_settings.format, p == PASS_IQ),
                                 record_clock,
                                 p == PASS_IQ ? iq_center_hz : 0.0,
                                 numpoints,
                                 description.c_str(),
                                 recorder.c_str(),
                                 hw.c_str(),
                                 carrier_powers};
        if (WriteSigmfMeta(meta[p].c_str(), recording) != 0) return -1;
    }

    return 0;
}

// What was written and sent, the peaks and the analysis, as text and JSON.
void ReportOutputs(const int* enabled, const char (*paths)[4096], const std::string* meta, int transfer) {
    OutText(PeaksReportText());
    if (enabled[PASS_IQ])
        Out("I/Q record     centre %.6f MHz (%lld cycles of the record), %s, peak %g\n", iq_center_hz / 1e6,
            static_cast<long long>(iq_center_cycles), IqDatatypeName(iq_settings.format, 1),
            static_cast<double>(max_iq));
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    const char* pass_names[PASS_IQ + 1] = {"", "RF", "baseband I", "baseband Q", "I/Q"};
    int written = 0;
    for (int p = 1; p <= PASS_IQ; ++p) {
        if (!PassWritten(p)) continue;
        const long long size = target_sinks.files[p].file.written;
        Out("%-15s%s (%lld bytes)\n", written++ ? "" : "written", IsStdio(paths[p]) ? "stdout" : paths[p], size);
        files.push_back({{"pass", pass_names[p]}, {"path", paths[p]}, {"bytes", size}});
        if (!meta[p].empty()) {
            Out("%-15s%s\n", "", meta[p].c_str());
            files.push_back({{"pass", std::string(pass_names[p]) + " metadata"}, {"path", meta[p]}});
        }
    }
    nlohmann::ordered_json transfers = nlohmann::ordered_json::array();
    if (transfer) {
        for (int p = 1; p <= 3; ++p) {
            if (!enabled[p]) continue;
            if (globals.output_destination == 0) {
                if (instrument_resource[0]) {
                    Out("%-15s%s to %s\n", written++ ? "" : "sent", pass_names[p], instrument_resource);
                    transfers.push_back({{"pass", pass_names[p]}, {"instrument", instrument_resource}});
                } else {
                    Out("%-15s%s to GPIB address %d\n", written++ ? "" : "sent", pass_names[p],
                        globals.gpib_address & 0xFFFF);
                    transfers.push_back({{"pass", pass_names[p]}, {"gpib_address", globals.gpib_address & 0xFFFF}});
                }
            } else {
                char name[FTP_NAME_LENGTH + 8];
                if (p == 1) std::snprintf(name, sizeof name, "%s", ftp_name);
                else buildname(name, ftp_name, p == 2 ? "_I" : "_Q");
                Out("%-15s%s on %s port %d\n", written++ ? "" : "stored", name, InstrumentHost().c_str(),
                    globals.ftp_port);
                transfers.push_back({{"pass", pass_names[p]},
                                     {"ftp_name", name},
                                     {"ip", InstrumentHost()},
                                     {"port", globals.ftp_port}});
            }
        }
    }
    if (transfer && instrument_answers.asked) {
        Out("instrument     *OPC? %s, SYST:ERR? %s\n", instrument_answers.opc, instrument_answers.error);
        if (json_out)
            json_report["instrument"] = {{"opc", instrument_answers.opc}, {"system_error", instrument_answers.error}};
    }
    if (!written) Out("written        nothing (no output pass)\n");
    if (filter_dat_path[0]) Out("pulse          %s\n", filter_dat_path);
    if (report_out) OutText(AnalysisReportText() + RecordStatsText());
    if (json_out) {
        json_report["peaks"] = PeaksReportJson();
        json_report["files"] = files;
        if (transfer) json_report["transfers"] = transfers;
        if (filter_dat_path[0]) json_report["pulse_file"] = filter_dat_path;
        json_report.update(AnalysisReportJson());
        json_report["record_ccdf"] = RecordStatsJson();
        if (enabled[PASS_IQ])
            json_report["iq"] = {{"center_hz", iq_center_hz},
                                 {"center_cycles", iq_center_cycles},
                                 {"datatype", IqDatatypeName(iq_settings.format, 1)},
                                 {"peak", max_iq}};
    }
}

int Compile(const UldocOptions* o) {
    int count = 0;
    if (const int status = LoadInputs(o, &count); status != RUN_ON) return status;

    const int enabled[PASS_IQ + 1] = {0, globals.output_rf != 0, globals.output_baseband_i != 0,
                                      globals.output_baseband_q != 0, iq_settings.enabled != 0};
    const bool outputs = enabled[1] || enabled[2] || enabled[3] || enabled[PASS_IQ];
    char paths[PASS_IQ + 1][4096] = {};
    std::string meta[PASS_IQ + 1];
    if (o->sigmf && !enabled[1] && !enabled[PASS_IQ]) return Usage("--sigmf records the rf or the iq pass; none is enabled");
    CompileTargets targets = {};
    if (const int status = NameOutputs(o, enabled, paths, meta, &targets); status != RUN_ON) return status;
    if (o->filter_dat && (SameFile(o->filter_dat, o->table) || SameFile(o->filter_dat, o->setup)))
        return Usage("--filter-dat would overwrite an input file");
    if (IsStdio(o->filter_dat) && IsStdio(o->output)) return Usage("-o - and --filter-dat - both want stdout");
    SetField(filter_dat_path, o->filter_dat ? o->filter_dat : "");
    filter_dat_failed = 0;

    if (UsesDvbTables()) BuildDvbTables();
    measure_records = 1;
    if (o->threads > 0) SetCompileThreads(o->threads);
    InstallHooks(o->quiet);

    PrintSettings(o->table, count);
    FlushReport();
    if (json_out) {
        json_report["uldoc"] = {{"version", ULDO_VERSION}, {"commit", ULDO_COMMIT}};
        json_report["table"] = {{"path", o->table ? o->table : ""}, {"carriers", count}, {"comment", FieldText(comment)}};
        json_report["settings"] = nlohmann::ordered_json::parse(SettingsJsonText(&globals));
    }
    const int transfer = outputs && (globals.output_destination == 0 || globals.output_destination == 3);
    status_lines = transfer && !o->quiet;
    // Every status goes on a line of its own: the GUI's reading pauses are not needed.
    SetFtpStatusPauses(0);
    if (o->timeout_seconds > 0) SetTCPTimeout(static_cast<int>(o->timeout_seconds * 1000.0f + 0.5f));
    if (transfer && globals.output_destination == 0 && PrepareGpibOutput() != 0) return Finish(EXIT_REFUSED, "failed");
    if (transfer && globals.output_destination == 3 && PrepareFtpOutput(ftp_name) != 0)
        return Finish(EXIT_REFUSED, "failed");
    int result = CompileTable(&targets);
    ClearProgress();
    if (json_out && numpoints > 0 && result != COMPILE_REFUSED) json_report["plan"] = PlanReportJson();
    if (transfer && globals.output_destination == 3 && FinishFtpOutput() != 0 && result == COMPILE_DONE)
        result = COMPILE_FAILED;
    if (result == COMPILE_CANCELLED) {
        FlushReport();
        TellUnfinished("cancelled");
        return Finish(EXIT_CANCELLED, "cancelled");
    }
    if (result != COMPILE_DONE) {
        FlushReport();
        if (UnfinishedFile()) TellUnfinished("the compile failed");
        return Finish(EXIT_REFUSED, result == COMPILE_REFUSED ? "refused" : "failed");
    }
    if (filter_dat_failed) {
        std::fprintf(stderr, "uldoc: the pulse file %s was not written\n", filter_dat_path);
        return Finish(EXIT_REFUSED, "failed");
    }

    if (WriteSigmfMetadata(meta) != 0) return Finish(EXIT_REFUSED, "failed");

    ReportOutputs(enabled, paths, meta, transfer);
    if (o->png_dir) {
        FlushReport();
#if ULDOC_PNG
        if (SaveUldocImages(o->png_dir) != 0) return Finish(EXIT_REFUSED, "failed");
#endif
        Out("images         %s/spectrum.png, ccdf.png, iq.png, eye.png, constellation.png, phase.png, persistence.png, quant.png\n",
            o->png_dir);
        if (json_out)
            for (const char* image : {"spectrum.png", "ccdf.png", "iq.png", "eye.png", "constellation.png", "phase.png",
                                      "persistence.png", "quant.png"})
                json_report["images"].push_back(std::string(o->png_dir) + "/" + image);
    }
    return Finish(0, "done");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "assist") == 0) return RunAssist(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "map") == 0) return RunMap(argc - 1, argv + 1);
    UldocOptions options;
    char error[512];
    if (ParseUldocArguments(argc, argv, &options, error, sizeof error) != 0) return Usage(error);
    if (options.help) {
        std::fputs(uldoc_usage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("uldoc %s (commit %s)\n", ULDO_VERSION, ULDO_COMMIT);
        return 0;
    }
    if (options.reference_kind) {
        std::fputs(options.reference_kind == 1 ? FieldReferenceText().c_str() : JsonSchemaText().c_str(), stdout);
        return 0;
    }
    InitPI();
    core_hooks.message = TerminalMessage;
    if (options.convert && IsMapConversion(options.convert_from, options.convert_to)) {
        int result = ConvertSymbolMap(options.convert_from, options.convert_to);
        if (result == 2) return EXIT_USAGE;
        return result == 0 ? 0 : EXIT_REFUSED;
    }
    if (options.convert) {
        int result = ConvertRecordFile(options.convert_from, options.convert_to);
        if (result == 2) return EXIT_USAGE;
        return result == 0 ? 0 : EXIT_REFUSED;
    }
    // A waveform or setup on stdout sends the report to stderr.
    const bool stdout_taken = IsStdio(options.output) || IsStdio(options.write_setup) || IsStdio(options.filter_dat);
    std::FILE* report = stdout_taken ? stderr : stdout;
    report_out = options.quiet || options.report_json ? nullptr : report;
    json_out = options.report_json ? report : nullptr;
    return Compile(&options);
}
