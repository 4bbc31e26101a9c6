// Command line of uldoc.
#pragma once

#include <cstdint>
#include <string>

#include "shell/uldo.h"

// What the command line asks for. Each override has a flag saying it was given.
struct UldocOptions {
    int help;
    int reference_kind;          // uldoc fields (1) or uldoc schema (2)
    int convert;                 // uldoc convert FROM TO
    const char* convert_from;
    const char* convert_to;
    const char* table;
    const char* setup;
    const char* output;          // path of the RF file
    const char* write_setup;     // save the effective settings and stop
    int threads;                 // 0: the engine's default
    float timeout_seconds;       // transfers; 0: their own time-outs
    const char* png_dir;         // --png: folder of the analysis images
    const char* filter_dat;      // --filter-dat: where the reference pulse goes (default: nowhere)
    int version;                 // -V, --version
    int quiet;                   // -q: only errors
    int report_json;             // --report json: the whole report as one JSON document

    int has_mode, mode;
    int has_length;
    int32_t length;
    int has_clock;
    float clock;
    int has_type, type;
    int has_destination, destination;
    int has_max_length;
    int32_t max_length;
    int has_granularity;
    int32_t granularity;
    int has_passes, pass_rf, pass_i, pass_q, pass_iq;
    int has_center;
    double center_mhz;           // --center: F0 of the complex record
    int iq_format;               // --iq-format: -1 not given, else an IqFormat
    int sigmf;                   // --sigmf: the rf and iq passes as SigMF recordings
    int has_normalize, normalization_mode;
    float normalization_level;
    int has_baseband, baseband_all;
    int has_reference, reference;
    const char* ftp_name;        // destination 3: the file name on the server
    const char* ip;              // instrument host: instrument_ip, or ftp.host when longer
    const char* instrument;      // --instrument: VISA-style resource string of destination 0
    const char* ftp_user;        // --ftp-user: FTP login instead of anonymous
    int has_ftp_port, ftp_port;
};

// Fills `options` from argv. 0, or -1 with a one-line reason in `error`.
int ParseUldocArguments(int argc, char** argv, UldocOptions* options, char* error, int error_size);

// The settings uldoc compiles with when no setup file is given.
void SetUldocDefaults(GlobalSettings* settings);

// Writes the settings the command line overrides into `settings`.
void ApplyUldocOverrides(const UldocOptions* options, GlobalSettings* settings);

// One option of uldoc: how it is spelt, what it takes, its help and how it is applied.
// The one table of them feeds the parser, --help and the README's option table.
struct UldocOption {
    const char* short_name;  // "-o", or nullptr
    const char* name;        // "--output"
    const char* argument;    // "PATH" as --help shows it; nullptr for a flag
    const char* missing;     // the value a message asks for: "-o needs a file name"
    const char* setting;     // settings fields it overrides ("compile_mode, ..."), "all" or ""
    const char* help;        // the --help text, lines split by '\n'
    const char* readme;      // the README table's meaning column (Markdown)
    // Checks `value` (nullptr for a flag) and writes it into `options`; `given` is the
    // name as the command line spelt it. 0, or -1 with the reason in `error`.
    int (*apply)(const char* given, const char* value, UldocOptions* options, char* error, int error_size);
};
extern const UldocOption uldoc_options[];
extern const int uldoc_option_count;

// The --help text, made from the table once at start-up.
extern const char* const uldoc_usage;
std::string UldocUsageText();

// The README's option table (header included), one row per option.
std::string UldocReadmeTable();
