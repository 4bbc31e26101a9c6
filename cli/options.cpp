#include "cli/options.h"

#include "cli/args.h"
#include "compile/iqformats.h"
#include "editors/options.h"
#include "shell/codes.h"
#include "transfer/ftp.h"
#include "transfer/gpib.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Fail(char* error, int error_size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int Fail(char* error, int error_size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(error, static_cast<std::size_t>(error_size), format, args);
    va_end(args);
    return -1;
}

// A ratio or level: finite, above 0 and within float.
int ParseReal(const char* text, float* value) {
    double v = 0.0;
    if (ParseNumber(text, -1e308, 3.4e38, &v) || !(v > 0.0)) return -1;
    *value = static_cast<float>(v);
    return 0;
}

int ParsePasses(const char* text, UldocOptions* o) {
    o->pass_rf = o->pass_i = o->pass_q = o->pass_iq = 0;
    if (std::strcmp(text, "none") == 0) return 0;
    const char* p = text;
    while (true) {
        const char* comma = std::strchr(p, ',');
        std::size_t n = comma ? static_cast<std::size_t>(comma - p) : std::strlen(p);
        if (n == 2 && std::strncmp(p, "rf", 2) == 0) o->pass_rf = 1;
        else if (n == 1 && *p == 'i') o->pass_i = 1;
        else if (n == 1 && *p == 'q') o->pass_q = 1;
        else if (n == 2 && std::strncmp(p, "iq", 2) == 0) o->pass_iq = 1;
        else return -1;
        if (!comma) return 0;
        p = comma + 1;
    }
}

// "wfm, curve, wfm-256, ...": the names as the command line writes them.
std::string LowerNames(int kind) {
    std::string names = CodeNameList(kind);
    for (char& c : names) c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return names;
}

// The appliers: each checks the value of one option (as `given` spells it)
// and writes it into the options. 0, or -1 with the reason in `error`.
#define APPLIER(Name) int Name(const char* given, const char* v, UldocOptions* o, char* error, int error_size)
#define REFUSE(...) return Fail(error, error_size, __VA_ARGS__)

int WholeOption(const char* given, const char* v, long long low, long long high, long long* n, char* error,
                int error_size) {
    if (ParseWhole(v, low, high, n) == 0) return 0;
    REFUSE("%s takes a whole number from 1 to 2147483647, not \"%s\"", given, v);
}

APPLIER(ApplyHelp) { return o->help = 1, 0; }
APPLIER(ApplyVersion) { return o->version = 1, 0; }
APPLIER(ApplyQuiet) { return o->quiet = 1, 0; }
APPLIER(ApplySigmf) { return o->sigmf = 1, 0; }
APPLIER(ApplySetup) { return o->setup = v, 0; }

// The options that name a file to write: an empty name is none.
int FileName(const char* given, const char* v, const char** out, char* error, int error_size) {
    if (!*v) REFUSE("%s needs a file name", given);
    *out = v;
    return 0;
}
APPLIER(ApplyOutput) { return FileName(given, v, &o->output, error, error_size); }
APPLIER(ApplyWriteSetup) { return FileName(given, v, &o->write_setup, error, error_size); }
APPLIER(ApplyFtpName) { return FileName(given, v, &o->ftp_name, error, error_size); }
APPLIER(ApplyFilterDat) { return FileName(given, v, &o->filter_dat, error, error_size); }

APPLIER(ApplyPng) {
    if (!*v) REFUSE("%s needs a folder", given);
    o->png_dir = v;
    return 0;
}

APPLIER(ApplyMode) {
    long long n = 0;
    if (ParseWhole(v, 0, 1, &n)) REFUSE("%s takes 0 or 1, not \"%s\"", given, v);
    o->has_mode = 1;
    o->mode = static_cast<int>(n);
    return 0;
}

// A count of 1 .. INT32_MAX into *field, marked as given.
int CountOption(const char* given, const char* v, int* has, int32_t* field, char* error, int error_size) {
    long long n = 0;
    if (WholeOption(given, v, 1, INT32_MAX, &n, error, error_size)) return -1;
    *has = 1;
    *field = static_cast<int32_t>(n);
    return 0;
}

APPLIER(ApplyLength) { return CountOption(given, v, &o->has_length, &o->length, error, error_size); }
APPLIER(ApplyMaxLength) { return CountOption(given, v, &o->has_max_length, &o->max_length, error, error_size); }
APPLIER(ApplyGranularity) { return CountOption(given, v, &o->has_granularity, &o->granularity, error, error_size); }

APPLIER(ApplyClock) {
    if (ParseReal(v, &o->clock)) REFUSE("%s takes a ratio above 0, not \"%s\"", given, v);
    o->has_clock = 1;
    return 0;
}

APPLIER(ApplyType) {
    int code = ParseCodeArgument(CODE_INSTRUMENT_TYPE, v);
    if (code < 0)
        REFUSE("%s takes a target type 0 to 10 or its name (%s), not \"%s\"", given,
               LowerNames(CODE_INSTRUMENT_TYPE).c_str(), v);
    o->has_type = 1;
    o->type = code;
    return 0;
}

APPLIER(ApplyDestination) {
    int code = ParseCodeArgument(CODE_DESTINATION, v);
    if (code < 0)
        REFUSE("%s takes a destination 0 to 3 or its name (%s), not \"%s\"", given,
               LowerNames(CODE_DESTINATION).c_str(), v);
    o->has_destination = 1;
    o->destination = code;
    return 0;
}

APPLIER(ApplyPasses) {
    if (ParsePasses(v, o)) REFUSE("%s takes rf, i, q, iq separated by commas, or none, not \"%s\"", given, v);
    o->has_passes = 1;
    return 0;
}

APPLIER(ApplyCenter) {
    float mhz = 0.0f;
    if (ParseReal(v, &mhz) || mhz > 1e6f) REFUSE("%s takes a frequency in MHz above 0, not \"%s\"", given, v);
    o->has_center = 1;
    o->center_mhz = std::strtod(v, nullptr);
    return 0;
}

APPLIER(ApplyIqFormat) {
    o->iq_format = IqFormatOfName(v);
    if (o->iq_format < 0) REFUSE("%s takes cf32_le or ci16_le, not \"%s\"", given, v);
    return 0;
}

APPLIER(ApplyNormalize) {
    o->has_normalize = 1;
    if (!std::strcmp(v, "auto")) {
        o->normalization_mode = 0;
        return 0;
    }
    if (ParseReal(v, &o->normalization_level)) REFUSE("%s takes auto or a level above 0, not \"%s\"", given, v);
    o->normalization_mode = 1;
    return 0;
}

APPLIER(ApplyBaseband) {
    if (!std::strcmp(v, "ref")) o->baseband_all = 0;
    else if (!std::strcmp(v, "all")) o->baseband_all = 1;
    else REFUSE("%s takes ref or all, not \"%s\"", given, v);
    o->has_baseband = 1;
    return 0;
}

APPLIER(ApplyReference) {
    long long n = 0;
    if (ParseWhole(v, 1, MAX_CARRIERS, &n)) REFUSE("%s takes a carrier number 1 to 100, not \"%s\"", given, v);
    o->has_reference = 1;
    o->reference = static_cast<int>(n);
    return 0;
}

APPLIER(ApplyIp) {
    if (!*v || std::strlen(v) >= INSTRUMENT_HOST_SIZE)
        REFUSE("%s takes a host name or address of 1 to 255 characters, not \"%s\"", given, v);
    for (const char* c = v; *c; ++c)
        if (static_cast<unsigned char>(*c) <= ' ' || *c == 0x7F)
            REFUSE("%s takes a host name or address without spaces or control characters", given);
    o->ip = v;
    return 0;
}

APPLIER(ApplyInstrument) {
    char why[160];
    if (ParseInstrumentResource(v, why, sizeof why) != 0) REFUSE("%s \"%s\": %s", given, v, why);
    o->instrument = v;
    return 0;
}

APPLIER(ApplyFtpUser) {
    if (!*v || std::strlen(v) > 128) REFUSE("%s takes a user name of 1 to 128 characters", given);
    for (const char* c = v; *c; ++c)
        if (static_cast<unsigned char>(*c) < ' ' || *c == 0x7F) REFUSE("%s takes a user name without control characters", given);
    o->ftp_user = v;
    return 0;
}

APPLIER(ApplyFtpPort) {
    long long n = 0;
    if (ParseWhole(v, 1, 65535, &n)) REFUSE("%s takes a port 1 to 65535, not \"%s\"", given, v);
    o->has_ftp_port = 1;
    o->ftp_port = static_cast<int>(n);
    return 0;
}

APPLIER(ApplyReport) {
    if (!std::strcmp(v, "text")) o->report_json = 0;
    else if (!std::strcmp(v, "json")) o->report_json = 1;
    else REFUSE("%s takes text or json, not \"%s\"", given, v);
    return 0;
}

APPLIER(ApplyTimeout) {
    float seconds = 0.0f;
    if (ParseReal(v, &seconds) || seconds < 0.001f || seconds > 3600.0f)
        REFUSE("%s takes 0.001 to 3600 seconds, not \"%s\"", given, v);
    o->timeout_seconds = seconds;
    return 0;
}

APPLIER(ApplyThreads) {
    long long n = 0;
    if (ParseWhole(v, 1, 64, &n)) REFUSE("%s takes 1 to 64, not \"%s\"", given, v);
    o->threads = static_cast<int>(n);
    return 0;
}

#undef APPLIER
#undef REFUSE

}  // namespace

// In the order of --help and of the README's table.
const UldocOption uldoc_options[] = {
    {nullptr, "--setup", "FILE", "a setup file", "all",
     "settings of a setup file (.set image or JSON)",
     "a setup file, `.set` image or JSON", ApplySetup},
    {"-o", "--output", "PATH", "a file name", "",
     "path of the RF file; the I and Q files get \"_I\" and \"_Q\"\n"
     "before the first '.' of the file name. Default: the\n"
     "table's name in the current directory with .wfm (.pat for\n"
     "types 5 and 6, .txt for types 7 to 10, .gpi for destination 2).\n"
     "- writes the one enabled pass to stdout (the report goes\n"
     "to stderr)",
     "path of the RF file (also `-oPATH`); the I and Q files are `buildname(PATH, \"_I\")`, `\"_Q\"`: the suffix "
     "goes before the first `.` of the file name (`out/w.wfm` → `out/w_I.wfm`); `-` writes the one enabled pass to "
     "stdout",
     ApplyOutput},
    {nullptr, "--mode", "0|1", "0 or 1", "compile_mode",
     "0: LENGTH is samples; 1: LENGTH is symbols of the reference",
     "0: the length is samples; 1: symbols of the reference carrier", ApplyMode},
    {nullptr, "--length", "N", "a record length", "compile_length",
     "record length (compile_length)",
     "record length", ApplyLength},
    {nullptr, "--clock", "R", "a clock ratio", "sample_clock",
     "record clock per unit of the highest carrier frequency",
     "record clock per unit of the highest carrier frequency", ApplyClock},
    {nullptr, "--type", "T", "a target type", "instrument_type",
     "target type, a number 0 to 10 or its name: wfm (0),\n"
     "curve (1), wfm-256 (2), ememory (3), wfm-65536 (4), pat (5),\n"
     "pat-256 (6), text (7), text-crlf (8), text-comma (9),\n"
     "text-tab (10)",
     "the number or the name: `wfm` (0), `curve` (1), `wfm-256` (2), `ememory` (3), `wfm-65536` (4), `pat` (5), "
     "`pat-256` (6), `text` (7), `text-crlf` (8), `text-comma` (9), `text-tab` (10)",
     ApplyType},
    {nullptr, "--destination", "D", "a destination", "output_destination",
     "gpib (0) transfer, file (1) native-format file,\n"
     "gpib-file (2) GPIB-format file, ftp (3) transfer",
     "`gpib` (0) transfer, `file` (1) native-format file, `gpib-file` (2) GPIB-format file, `ftp` (3) transfer",
     ApplyDestination},
    {nullptr, "--ftp-name", "NAME", "a file name", "",
     "destination 3: the file name on the server, at most 20\n"
     "characters (default: the table's name with .wfm or .pat)",
     "destination 3: the file name on the server, at most 20 characters (default: the table's name with `.wfm` or "
     "`.pat`)",
     ApplyFtpName},
    {nullptr, "--ip", "HOST", "an address", "instrument_ip",
     "instrument host for FTP and the GPIB LAN path: a name,\n"
     "an IPv4 or an IPv6 address",
     "the instrument's host (FTP, and the GPIB LAN path): a name, an IPv4 or an IPv6 address; one longer than the "
     "setting's 15 characters is used without being stored in it",
     ApplyIp},
    {nullptr, "--ftp-port", "PORT", "a port", "ftp_port",
     "port of the instrument's FTP server",
     "the instrument's FTP port", ApplyFtpPort},
    {nullptr, "--ftp-user", "USER", "a user name", "",
     "FTP login as USER (default anonymous); the password comes\n"
     "from ULDO_FTP_PASSWORD or is asked on the terminal",
     "log in to the FTP server as USER (default: anonymous); the password comes from `ULDO_FTP_PASSWORD` or is asked "
     "on the terminal, never from the command line",
     ApplyFtpUser},
    {nullptr, "--instrument", "RES", "a resource string", "",
     "destination 0 through a resource string:\n"
     "TCPIP::HOST::INSTR (VXI-11), TCPIP::HOST::PORT::SOCKET\n"
     "(raw SCPI socket), GPIB::ADDRESS (linux-gpib); the LAN\n"
     "forms end each pass with *OPC? and SYST:ERR?",
     "destination 0 through a resource string RES (see Instrument transfer); implies `--destination gpib`",
     ApplyInstrument},
    {nullptr, "--max-length", "N", "a record length", "max_record_length",
     "largest record the target holds",
     "largest record the target holds", ApplyMaxLength},
    {nullptr, "--granularity", "G", "a granularity", "record_granularity",
     "mode 1 rounds the record to a multiple of G samples",
     "mode 1 rounds the record to a multiple of G", ApplyGranularity},
    {nullptr, "--passes", "LIST", "a list of passes", "output_rf, output_baseband_i, output_baseband_q",
     "output passes: any of rf,i,q,iq separated by commas, or\n"
     "none; iq is the complex baseband of the whole table\n"
     "(default file: the RF name with .cf32 or .ci16)",
     "any of `rf,i,q,iq`, or `none`; `iq` is the complex baseband of the whole table (see Complex baseband and "
     "SigMF)",
     ApplyPasses},
    {nullptr, "--center", "MHZ", "a frequency in MHz", "",
     "centre of the iq record (default: the middle of the band\n"
     "the carriers occupy), rounded onto the record grid",
     "centre F0 of the `iq` record (default: the middle of the band the carriers occupy), rounded onto the record "
     "grid",
     ApplyCenter},
    {nullptr, "--iq-format", "F", "cf32_le or ci16_le", "",
     "cf32_le or ci16_le for the iq record (default: from the\n"
     "file's extension, else cf32_le); rf32_le or ri16_le for\n"
     "the RF record of a SigMF recording",
     "`cf32_le` or `ci16_le` for the `iq` record (default: from the `-o` extension `.cf32` / `.ci16`, else "
     "`cf32_le`); the RF record of a SigMF recording becomes `rf32_le` / `ri16_le`",
     ApplyIqFormat},
    {nullptr, "--sigmf", nullptr, nullptr, "",
     "write the rf and iq passes as SigMF recordings:\n"
     "OUTPUT.sigmf-data and OUTPUT.sigmf-meta (the RF record\n"
     "as OUTPUT_RF.sigmf-* when both passes run)",
     "write the `rf` and `iq` passes as SigMF recordings `NAME.sigmf-data` + `NAME.sigmf-meta` (NAME from `-o`; the "
     "RF pass as `NAME_RF.sigmf-*` when both run)",
     ApplySigmf},
    {nullptr, "--normalize", "auto|L", "auto or a level", "normalization_mode, normalization_level",
     "automatic peaks, or the fixed level L",
     "measured peaks, or the fixed level L", ApplyNormalize},
    {nullptr, "--baseband", "ref|all", "ref or all", "baseband_all_carriers",
     "I and Q from the reference carrier or from all carriers",
     "I and Q from the reference carrier or from all", ApplyBaseband},
    {nullptr, "--reference", "K", "a carrier number", "reference_carrier",
     "reference carrier, 1-based",
     "reference carrier, 1-based", ApplyReference},
    {nullptr, "--threads", "N", "a number of threads", "",
     "compute threads (default: all cores)",
     "compute threads (default: all cores; the result is the same)", ApplyThreads},
    {nullptr, "--timeout", "SECONDS", "a number of seconds", "",
     "time-out of every step of a transfer (destinations 0 and 3;\n"
     "default 5 s to connect, 1 s for an FTP reply or data write,\n"
     "10 s for a write to a LAN instrument)",
     "time-out of every step of a transfer (destinations 0 and 3)", ApplyTimeout},
    {nullptr, "--png", "DIR", "a folder", "",
     "also draw the spectrum preview, the CCDF, the I/Q plot and\n"
     "the visual displays into DIR/spectrum.png, ccdf.png, iq.png,\n"
     "eye.png, constellation.png, phase.png, persistence.png and\n"
     "quant.png",
     "also draw the spectrum preview (at the target's converter resolution, in MHz and dB below its highest line), "
     "the CCDF (logarithmic share axis) and the I/Q plot into `DIR/spectrum.png`, `ccdf.png`, `iq.png`, and the "
     "displays of the analysis panel into `eye.png`, `constellation.png`, `phase.png`, `persistence.png` (the "
     "persistence zoom at gamma 5) and `quant.png` (the quantisation calculator at its defaults), offscreen (no "
     "display needed)",
     ApplyPng},
    {nullptr, "--write-setup", "FILE", "a file name", "",
     "save the effective settings (.set or .json) and stop;\n"
     "- writes them to stdout as JSON",
     "save the effective settings (`.set` or `.json`; `-`: JSON on stdout) and stop", ApplyWriteSetup},
    {nullptr, "--filter-dat", "PATH", "a file name", "",
     "write the reference carrier's pulse to PATH, one value a\n"
     "line (default: not written)",
     "write the reference carrier's pulse, one value a line (default: not written)", ApplyFilterDat},
    {nullptr, "--report", "text|json", "text or json", "",
     "the report as text (default) or as one JSON document",
     "the report as text (default) or as one JSON document", ApplyReport},
    {"-q", "--quiet", nullptr, nullptr, "",
     "print only errors (a JSON report is still printed)",
     "print only errors (a JSON report is still printed)", ApplyQuiet},
    {"-V", "--version", nullptr, nullptr, "",
     "the version and the commit it was built from",
     "the version and the commit the program was built from", ApplyVersion},
    {"-h", "--help", nullptr, nullptr, "",
     "this text",
     "the option list (the same as this table; a test keeps them together)", ApplyHelp},
};
const int uldoc_option_count = static_cast<int>(sizeof uldoc_options / sizeof uldoc_options[0]);

namespace {

// "-o, --output PATH" as --help and the README head the option.
std::string OptionHead(const UldocOption& option) {
    std::string head = option.short_name ? std::string(option.short_name) + ", " : "";
    head += option.name;
    if (option.argument) head += std::string(" ") + option.argument;
    return head;
}

const char* const usage_head =
    "Usage: uldoc TABLE [--setup FILE] [-o OUTPUT] [options]\n"
    "       uldoc convert FROM TO\n"
    "       uldoc [TABLE] [--setup FILE] [options] --write-setup FILE\n"
    "       uldoc fields | uldoc schema\n"
    "       uldoc assist --count N --start MHZ --spacing MHZ ... -o TABLE (see uldoc assist --help)\n"
    "       uldoc map [--qam CODE] [--rotate DEG] ... -o MAP.smp (see uldoc map --help)\n"
    "\n"
    "Compiles a carrier table (a .kvt image or its JSON form) into waveform files,\n"
    "printing the plan, the peaks, the power table, the CCDF and the files written.\n"
    "TABLE - reads the table from stdin.\n"
    "\n";

const char* const usage_tail =
    "\n"
    "convert rewrites a table or setup in the other form: the kind and form of FROM\n"
    "come from its content, the form of TO from its extension (.json, .kvt, .set).\n"
    "fields prints the reference of every JSON field; schema prints it as a JSON Schema.\n"
    "\n"
    "Without --setup: mode 0, length 100000, clock 2.5, type 0 (WFM), max length\n"
    "16000000, granularity 1, destination 1, RF pass only, automatic normalisation,\n"
    "baseband from the reference carrier, reference carrier 1. With --setup the\n"
    "setup's settings apply, its reference carrier included; the options override them.\n"
    "Destination 0 goes through --instrument, else the GPIB interface that ULDO_GPIB\n"
    "names (see README).\n"
    "\n"
    "Exit status: 0 done; 1 the compile was refused or failed, or an input file is\n"
    "unreadable or invalid; 2 usage error; 130 cancelled (Ctrl-C).\n";

}  // namespace

std::string UldocUsageText() {
    std::string text = usage_head;
    for (const UldocOption& option : uldoc_options) {
        std::string head = OptionHead(option);
        text += "  " + head;
        // The help column starts at 24; a longer head would take its own line.
        text += head.size() < 22 ? std::string(22 - head.size(), ' ') : "\n" + std::string(24, ' ');
        for (const char* c = option.help; *c; ++c) text += *c == '\n' ? "\n" + std::string(24, ' ') : std::string(1, *c);
        text += '\n';
    }
    return text + usage_tail;
}

const char* const uldoc_usage = [] {
    static const std::string text = UldocUsageText();
    return text.c_str();
}();

std::string UldocReadmeTable() {
    auto code = [](const std::string& text) {
        std::string escaped;
        for (char c : text) escaped += c == '|' ? std::string("\\|") : std::string(1, c);
        return "`" + escaped + "`";
    };
    std::string table = "| option | setting | meaning |\n|---|---|---|\n";
    for (const UldocOption& option : uldoc_options) {
        std::string head = option.short_name ? code(option.short_name) + ", " : "";
        head += code(option.argument ? std::string(option.name) + " " + option.argument : option.name);
        // The settings fields in code type; "all" (the setup file) as a word.
        std::string setting;
        std::string fields = option.setting;
        for (std::size_t at = 0; at < fields.size();) {
            std::size_t comma = fields.find(", ", at);
            std::string field = fields.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
            setting += (setting.empty() ? "" : ", ") + (field == "all" ? field : code(field));
            at = comma == std::string::npos ? fields.size() : comma + 2;
        }
        table += "| " + head + " |" + (setting.empty() ? "" : " " + setting) + " | " + option.readme + " |\n";
    }
    return table;
}

int ParseUldocArguments(int argc, char** argv, UldocOptions* o, char* error, int error_size) {
    std::memset(o, 0, sizeof *o);
    o->iq_format = -1;
    error[0] = 0;
    if (argc == 2 && (!std::strcmp(argv[1], "fields") || !std::strcmp(argv[1], "schema"))) {
        o->reference_kind = argv[1][0] == 'f' ? 1 : 2;
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "convert") == 0) {
        if (argc == 3 && (!std::strcmp(argv[2], "-h") || !std::strcmp(argv[2], "--help"))) {
            o->help = 1;
            return 0;
        }
        if (argc != 4) return Fail(error, error_size, "convert takes two files: uldoc convert FROM TO");
        o->convert = 1;
        o->convert_from = argv[2];
        o->convert_to = argv[3];
        return 0;
    }
    int options_done = 0;
    for (int at = 1; at < argc; ++at) {
        const char* arg = argv[at];
        if (options_done || arg[0] != '-' || arg[1] == 0) {
            if (o->table) return Fail(error, error_size, "one table only (\"%s\" and \"%s\")", o->table, arg);
            o->table = arg;
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            options_done = 1;
            continue;
        }
        ArgumentOption given;
        if (SplitArgument(arg, &given) != 0) return Fail(error, error_size, "unknown option %s", arg);
        const UldocOption* option = nullptr;
        for (const UldocOption& candidate : uldoc_options)
            if (!std::strcmp(given.name, candidate.name) ||
                (candidate.short_name && !std::strcmp(given.name, candidate.short_name)))
                option = &candidate;
        // A flag takes no value, attached or not.
        if (!option || (!option->argument && given.value)) return Fail(error, error_size, "unknown option %s", arg);
        const char* value = nullptr;
        if (option->argument) {
            value = ArgumentValue(&given, argc, argv, &at);
            if (!value) return Fail(error, error_size, "%s needs %s", given.name, option->missing);
        }
        if (option->apply(given.name, value, o, error, error_size) != 0) return -1;
    }
    if (o->help || o->version) return 0;
    if (!o->table && !o->write_setup) return Fail(error, error_size, "no carrier table given");
    return 0;
}

void SetUldocDefaults(GlobalSettings* s) { SetFirstStartDefaults(s); }

void ApplyUldocOverrides(const UldocOptions* o, GlobalSettings* s) {
    if (o->has_mode) s->compile_mode = o->mode;
    if (o->has_length) s->compile_length = o->length;
    if (o->has_clock) s->sample_clock = o->clock;
    if (o->has_type) s->instrument_type = o->type;
    if (o->has_destination) s->output_destination = o->destination;
    if (o->has_max_length) s->max_record_length = o->max_length;
    if (o->has_granularity) s->record_granularity = o->granularity;
    if (o->has_passes) {
        s->output_rf = o->pass_rf;
        s->output_baseband_i = o->pass_i;
        s->output_baseband_q = o->pass_q;
        iq_settings.enabled = o->pass_iq;
    }
    if (o->has_center) iq_settings.center_hz = o->center_mhz * 1e6;
    if (o->iq_format >= 0) iq_settings.format = o->iq_format;
    if (o->has_normalize) {
        s->normalization_mode = o->normalization_mode;
        if (o->normalization_mode == 1) s->normalization_level = o->normalization_level;
    }
    if (o->has_baseband) s->baseband_all_carriers = o->baseband_all;
    if (o->has_reference) s->reference_carrier = o->reference;
    if (o->ip) {
        // A longer name stays beside the settings record, whose field holds 15 characters.
        SetField(ftp.host, o->ip);
        if (std::strlen(o->ip) < sizeof s->instrument_ip) SetField(s->instrument_ip, o->ip);
    }
    if (o->instrument) {
        SetField(instrument_resource, o->instrument);
        if (!o->has_destination) s->output_destination = 0;
    }
    if (o->has_ftp_port) s->ftp_port = o->ftp_port;
}
