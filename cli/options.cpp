#include "cli/options.h"

#include "compile/iqformats.h"
#include "shell/codes.h"
#include "transfer/ftp.h"
#include "transfer/gpib.h"

#include <cerrno>
#include <cstdarg>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const char* const uldoc_usage =
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
    "\n"
    "  --setup FILE          settings of a setup file (.set image or JSON)\n"
    "  -o, --output PATH     path of the RF file; the I and Q files get \"_I\" and \"_Q\"\n"
    "                        before the first '.' of the file name. Default: the\n"
    "                        table's name in the current directory with .wfm (.pat for\n"
    "                        types 5 and 6, .txt for types 7 to 10, .gpi for destination 2).\n"
    "                        - writes the one enabled pass to stdout (the report goes\n"
    "                        to stderr)\n"
    "  --mode 0|1            0: LENGTH is samples; 1: LENGTH is symbols of the reference\n"
    "  --length N            record length (compile_length)\n"
    "  --clock R             record clock per unit of the highest carrier frequency\n"
    "  --type T              target type, a number 0 to 10 or its name: wfm (0),\n"
    "                        curve (1), wfm-256 (2), ememory (3), wfm-65536 (4), pat (5),\n"
    "                        pat-256 (6), text (7), text-crlf (8), text-comma (9),\n"
    "                        text-tab (10)\n"
    "  --destination D       gpib (0) transfer, file (1) native-format file,\n"
    "                        gpib-file (2) GPIB-format file, ftp (3) transfer\n"
    "  --ftp-name NAME       destination 3: the file name on the server, at most 20\n"
    "                        characters (default: the table's name with .wfm or .pat)\n"
    "  --ip HOST             instrument host for FTP and the GPIB LAN path: a name,\n"
    "                        an IPv4 or an IPv6 address\n"
    "  --ftp-port PORT       port of the instrument's FTP server\n"
    "  --ftp-user USER       FTP login as USER (default anonymous); the password comes\n"
    "                        from ULDO_FTP_PASSWORD or is asked on the terminal\n"
    "  --instrument RES      destination 0 through a resource string:\n"
    "                        TCPIP::HOST::INSTR (VXI-11), TCPIP::HOST::PORT::SOCKET\n"
    "                        (raw SCPI socket), GPIB::ADDRESS (linux-gpib); the LAN\n"
    "                        forms end each pass with *OPC? and SYST:ERR?\n"
    "  --max-length N        largest record the target holds\n"
    "  --granularity G       mode 1 rounds the record to a multiple of G samples\n"
    "  --passes LIST         output passes: any of rf,i,q,iq separated by commas, or\n"
    "                        none; iq is the complex baseband of the whole table\n"
    "                        (default file: the RF name with .cf32 or .ci16)\n"
    "  --center MHZ          centre of the iq record (default: the middle of the band\n"
    "                        the carriers occupy), rounded onto the record grid\n"
    "  --iq-format F         cf32_le or ci16_le for the iq record (default: from the\n"
    "                        file's extension, else cf32_le); rf32_le or ri16_le for\n"
    "                        the RF record of a SigMF recording\n"
    "  --sigmf               write the rf and iq passes as SigMF recordings:\n"
    "                        OUTPUT.sigmf-data and OUTPUT.sigmf-meta (the RF record\n"
    "                        as OUTPUT_RF.sigmf-* when both passes run)\n"
    "  --normalize auto|L    automatic peaks, or the fixed level L\n"
    "  --baseband ref|all    I and Q from the reference carrier or from all carriers\n"
    "  --reference K         reference carrier, 1-based\n"
    "  --threads N           compute threads (default: all cores)\n"
    "  --timeout SECONDS     time-out of every step of a transfer (destinations 0 and 3;\n"
    "                        default 5 s to connect, 1 s for an FTP reply or data write,\n"
    "                        10 s for a write to a LAN instrument)\n"
    "  --png DIR             also draw the spectrum preview, the CCDF, the I/Q plot and\n"
    "                        the visual displays into DIR/spectrum.png, ccdf.png, iq.png,\n"
    "                        eye.png, constellation.png, phase.png, persistence.png and\n"
    "                        quant.png\n"
    "  --write-setup FILE    save the effective settings (.set or .json) and stop;\n"
    "                        - writes them to stdout as JSON\n"
    "  --filter-dat PATH     write the reference carrier's pulse to PATH, one value a\n"
    "                        line (default: not written)\n"
    "  --report text|json    the report as text (default) or as one JSON document\n"
    "  -q, --quiet           print only errors (a JSON report is still printed)\n"
    "  -V, --version         the version and the commit it was built from\n"
    "  -h, --help            this text\n"
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

namespace {

struct Parser {
    int argc;
    char** argv;
    int at;
    char* error;
    int error_size;
};

int Fail(Parser* p, const char* format, ...) __attribute__((format(printf, 2, 3)));
int Fail(Parser* p, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(p->error, static_cast<std::size_t>(p->error_size), format, args);
    va_end(args);
    return -1;
}

int ParseInteger(const char* text, long long low, long long high, long long* value) {
    if (!text || !*text) return -1;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (errno || *end || v < low || v > high) return -1;
    *value = v;
    return 0;
}

int ParseReal(const char* text, float* value) {
    if (!text || !*text) return -1;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (errno || *end || !std::isfinite(v) || !(v > 0.0) || v > 3.4e38) return -1;
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

// A code given by its number or its name ("wfm", "gpib-file").
int ParseCode(const char* text, int kind, long long* value) {
    if (ParseInteger(text, INT32_MIN, INT32_MAX, value) == 0) return CodeValid(kind, static_cast<int>(*value)) ? 0 : -1;
    int code = CodeOfName(kind, text);
    if (code < 0) return -1;
    *value = code;
    return 0;
}

// "wfm, curve, wfm-256, ...": the names as the command line writes them.
std::string LowerNames(int kind) {
    std::string names = CodeNameList(kind);
    for (char& c : names) c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return names;
}

// The value of an option: "--name=value" or the next argument.
const char* Value(Parser* p, const char* equals) {
    if (equals) return equals + 1;
    if (p->at + 1 >= p->argc) return nullptr;
    return p->argv[++p->at];
}

}  // namespace

int ParseUldocArguments(int argc, char** argv, UldocOptions* o, char* error, int error_size) {
    std::memset(o, 0, sizeof *o);
    o->iq_format = -1;
    Parser parser{argc, argv, 1, error, error_size};
    Parser* p = &parser;
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
        if (argc != 4) return Fail(p, "convert takes two files: uldoc convert FROM TO");
        o->convert = 1;
        o->convert_from = argv[2];
        o->convert_to = argv[3];
        return 0;
    }
    int options_done = 0;
    for (; p->at < argc; ++p->at) {
        const char* arg = argv[p->at];
        if (options_done || arg[0] != '-' || arg[1] == 0) {
            if (o->table) return Fail(p, "one table only (\"%s\" and \"%s\")", o->table, arg);
            o->table = arg;
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            options_done = 1;
            continue;
        }
        if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
            o->help = 1;
            continue;
        }
        if (!std::strcmp(arg, "-V") || !std::strcmp(arg, "--version")) {
            o->version = 1;
            continue;
        }
        if (!std::strcmp(arg, "-q") || !std::strcmp(arg, "--quiet")) {
            o->quiet = 1;
            continue;
        }
        // -oFILE: the short option with its value attached.
        if (arg[1] == 'o' && arg[2] != 0) {
            o->output = arg + 2;
            continue;
        }
        // Long options may carry their value after '='.
        char name[64];
        const char* equals = std::strncmp(arg, "--", 2) == 0 ? std::strchr(arg, '=') : nullptr;
        std::size_t length = equals ? static_cast<std::size_t>(equals - arg) : std::strlen(arg);
        if (length >= sizeof name) return Fail(p, "unknown option %s", arg);
        std::memcpy(name, arg, length);
        name[length] = 0;
        const char* v = nullptr;
        long long n = 0;
        auto need = [&](const char* what) -> int {
            v = Value(p, equals);
            if (!v) return Fail(p, "%s needs %s", name, what);
            return 0;
        };
        if (!std::strcmp(name, "--setup")) {
            if (need("a setup file")) return -1;
            o->setup = v;
        } else if (!std::strcmp(name, "-o") || !std::strcmp(name, "--output")) {
            if (need("a file name")) return -1;
            if (!*v) return Fail(p, "%s needs a file name", name);
            o->output = v;
        } else if (!std::strcmp(name, "--write-setup")) {
            if (need("a file name")) return -1;
            if (!*v) return Fail(p, "%s needs a file name", name);
            o->write_setup = v;
        } else if (!std::strcmp(name, "--mode")) {
            if (need("0 or 1")) return -1;
            if (ParseInteger(v, 0, 1, &n)) return Fail(p, "%s takes 0 or 1, not \"%s\"", name, v);
            o->has_mode = 1;
            o->mode = static_cast<int>(n);
        } else if (!std::strcmp(name, "--length")) {
            if (need("a record length")) return -1;
            if (ParseInteger(v, 1, INT32_MAX, &n))
                return Fail(p, "%s takes a whole number from 1 to 2147483647, not \"%s\"", name, v);
            o->has_length = 1;
            o->length = static_cast<int32_t>(n);
        } else if (!std::strcmp(name, "--clock")) {
            if (need("a clock ratio")) return -1;
            if (ParseReal(v, &o->clock)) return Fail(p, "%s takes a ratio above 0, not \"%s\"", name, v);
            o->has_clock = 1;
        } else if (!std::strcmp(name, "--type")) {
            if (need("a target type")) return -1;
            if (ParseCode(v, CODE_INSTRUMENT_TYPE, &n))
                return Fail(p, "%s takes a target type 0 to 10 or its name (%s), not \"%s\"", name,
                            LowerNames(CODE_INSTRUMENT_TYPE).c_str(), v);
            o->has_type = 1;
            o->type = static_cast<int>(n);
        } else if (!std::strcmp(name, "--destination")) {
            if (need("a destination")) return -1;
            if (ParseCode(v, CODE_DESTINATION, &n))
                return Fail(p, "%s takes a destination 0 to 3 or its name (%s), not \"%s\"", name,
                            LowerNames(CODE_DESTINATION).c_str(), v);
            o->has_destination = 1;
            o->destination = static_cast<int>(n);
        } else if (!std::strcmp(name, "--max-length")) {
            if (need("a record length")) return -1;
            if (ParseInteger(v, 1, INT32_MAX, &n))
                return Fail(p, "%s takes a whole number from 1 to 2147483647, not \"%s\"", name, v);
            o->has_max_length = 1;
            o->max_length = static_cast<int32_t>(n);
        } else if (!std::strcmp(name, "--granularity")) {
            if (need("a granularity")) return -1;
            if (ParseInteger(v, 1, INT32_MAX, &n))
                return Fail(p, "%s takes a whole number from 1 to 2147483647, not \"%s\"", name, v);
            o->has_granularity = 1;
            o->granularity = static_cast<int32_t>(n);
        } else if (!std::strcmp(name, "--passes")) {
            if (need("a list of passes")) return -1;
            if (ParsePasses(v, o))
                return Fail(p, "%s takes rf, i, q, iq separated by commas, or none, not \"%s\"", name, v);
            o->has_passes = 1;
        } else if (!std::strcmp(name, "--center")) {
            if (need("a frequency in MHz")) return -1;
            float mhz = 0.0f;
            if (ParseReal(v, &mhz) || mhz > 1e6f) return Fail(p, "%s takes a frequency in MHz above 0, not \"%s\"", name, v);
            o->has_center = 1;
            o->center_mhz = std::strtod(v, nullptr);
        } else if (!std::strcmp(name, "--iq-format")) {
            if (need("cf32_le or ci16_le")) return -1;
            o->iq_format = IqFormatOfName(v);
            if (o->iq_format < 0) return Fail(p, "%s takes cf32_le or ci16_le, not \"%s\"", name, v);
        } else if (!std::strcmp(name, "--sigmf")) {
            o->sigmf = 1;
        } else if (!std::strcmp(name, "--normalize")) {
            if (need("auto or a level")) return -1;
            o->has_normalize = 1;
            if (!std::strcmp(v, "auto")) {
                o->normalization_mode = 0;
            } else {
                if (ParseReal(v, &o->normalization_level))
                    return Fail(p, "%s takes auto or a level above 0, not \"%s\"", name, v);
                o->normalization_mode = 1;
            }
        } else if (!std::strcmp(name, "--baseband")) {
            if (need("ref or all")) return -1;
            if (!std::strcmp(v, "ref")) o->baseband_all = 0;
            else if (!std::strcmp(v, "all")) o->baseband_all = 1;
            else return Fail(p, "%s takes ref or all, not \"%s\"", name, v);
            o->has_baseband = 1;
        } else if (!std::strcmp(name, "--reference")) {
            if (need("a carrier number")) return -1;
            if (ParseInteger(v, 1, MAX_CARRIERS, &n))
                return Fail(p, "%s takes a carrier number 1 to 100, not \"%s\"", name, v);
            o->has_reference = 1;
            o->reference = static_cast<int>(n);
        } else if (!std::strcmp(name, "--ftp-name")) {
            if (need("a file name")) return -1;
            if (!*v) return Fail(p, "%s needs a file name", name);
            o->ftp_name = v;
        } else if (!std::strcmp(name, "--ip")) {
            if (need("an address")) return -1;
            if (!*v || std::strlen(v) >= INSTRUMENT_HOST_SIZE)
                return Fail(p, "%s takes a host name or address of 1 to 255 characters, not \"%s\"", name, v);
            for (const char* c = v; *c; ++c)
                if (static_cast<unsigned char>(*c) <= ' ' || *c == 0x7F)
                    return Fail(p, "%s takes a host name or address without spaces or control characters", name);
            o->ip = v;
        } else if (!std::strcmp(name, "--instrument")) {
            if (need("a resource string")) return -1;
            char why[160];
            if (ParseInstrumentResource(v, why, sizeof why) != 0)
                return Fail(p, "%s \"%s\": %s", name, v, why);
            o->instrument = v;
        } else if (!std::strcmp(name, "--ftp-user")) {
            if (need("a user name")) return -1;
            if (!*v || std::strlen(v) > 128) return Fail(p, "%s takes a user name of 1 to 128 characters", name);
            for (const char* c = v; *c; ++c)
                if (static_cast<unsigned char>(*c) < ' ' || *c == 0x7F)
                    return Fail(p, "%s takes a user name without control characters", name);
            o->ftp_user = v;
        } else if (!std::strcmp(name, "--ftp-port")) {
            if (need("a port")) return -1;
            if (ParseInteger(v, 1, 65535, &n)) return Fail(p, "%s takes a port 1 to 65535, not \"%s\"", name, v);
            o->has_ftp_port = 1;
            o->ftp_port = static_cast<int>(n);
        } else if (!std::strcmp(name, "--filter-dat")) {
            if (need("a file name")) return -1;
            if (!*v) return Fail(p, "%s needs a file name", name);
            o->filter_dat = v;
        } else if (!std::strcmp(name, "--report")) {
            if (need("text or json")) return -1;
            if (!std::strcmp(v, "text")) o->report_json = 0;
            else if (!std::strcmp(v, "json")) o->report_json = 1;
            else return Fail(p, "%s takes text or json, not \"%s\"", name, v);
        } else if (!std::strcmp(name, "--png")) {
            if (need("a folder")) return -1;
            if (!*v) return Fail(p, "%s needs a folder", name);
            o->png_dir = v;
        } else if (!std::strcmp(name, "--timeout")) {
            if (need("a number of seconds")) return -1;
            float seconds = 0.0f;
            if (ParseReal(v, &seconds) || seconds < 0.001f || seconds > 3600.0f)
                return Fail(p, "%s takes 0.001 to 3600 seconds, not \"%s\"", name, v);
            o->timeout_seconds = seconds;
        } else if (!std::strcmp(name, "--threads")) {
            if (need("a number of threads")) return -1;
            if (ParseInteger(v, 1, 64, &n)) return Fail(p, "%s takes 1 to 64, not \"%s\"", name, v);
            o->threads = static_cast<int>(n);
        } else {
            return Fail(p, "unknown option %s", arg);
        }
    }
    if (o->help || o->version) return 0;
    if (!o->table && !o->write_setup) return Fail(p, "no carrier table given");
    return 0;
}

void SetUldocDefaults(GlobalSettings* s) {
    std::memset(s, 0, sizeof *s);
    s->compile_mode = 0;
    s->compile_length = 100000;
    s->sample_clock = 2.5f;
    s->instrument_type = 0;
    s->max_record_length = 16000000;
    s->record_granularity = 1;
    s->output_destination = 1;
    s->output_rf = 1;
    s->output_baseband_i = 0;
    s->output_baseband_q = 0;
    s->normalization_mode = 0;
    s->normalization_level = 1.0f;
    s->baseband_all_carriers = 0;
    s->reference_carrier = 1;
}

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
        SetField(instrument_host, o->ip);
        if (std::strlen(o->ip) < sizeof s->instrument_ip) SetField(s->instrument_ip, o->ip);
    }
    if (o->instrument) {
        SetField(instrument_resource, o->instrument);
        if (!o->has_destination) s->output_destination = 0;
    }
    if (o->has_ftp_port) s->ftp_port = o->ftp_port;
}
