// uldoc assist: the carrier assistant on the command line. Builds the comb
// with the same core function as the GUI's assistant and writes the table.
#include "cli/assist.h"

#include "cli/args.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "editors/assistant.h"
#include "shell/codes.h"
#include "shell/fileforms.h"
#include "shell/hooks.h"
#include "shell/jsonforms.h"
#include "shell/uldo.h"

const char* const uldoc_assist_usage =
    "Usage: uldoc assist --count N --start MHZ --spacing MHZ\n"
    "                    (--phase-step DEG | --random-phase) [--prbs-shift K]\n"
    "                    [carrier options] [--template FILE] [--append TABLE] -o TABLE\n"
    "\n"
    "Appends a comb of N carriers with the same settings, evenly spaced in frequency,\n"
    "with stepped or random phases and PRBS seeds shifted from carrier to carrier, as\n"
    "the GUI's carrier assistant does, and writes the table (JSON when TABLE ends in\n"
    ".json, otherwise a .kvt image).\n"
    "\n"
    "  --count N             number of carriers, 1 to 100\n"
    "  --start MHZ           frequency of the first carrier\n"
    "  --spacing MHZ         frequency step between neighbouring carriers\n"
    "  --phase-step DEG      phases 0, DEG, 2 DEG, ... folded into -180..180 (default 0)\n"
    "  --random-phase        random phases (the same sequence at every run)\n"
    "  --prbs-shift K        generator steps between the seeds of neighbours (default 0)\n"
    "  --template FILE       a JSON carrier (an object of carrier fields, or a table\n"
    "                        whose first carrier is taken): the settings every new\n"
    "                        carrier starts from; the options below override them\n"
    "  --append TABLE        append to this table (either form); default: a new table\n"
    "  -o, --output TABLE    the table to write\n"
    "  --modulation M        modulation name or code (default NONE)\n"
    "  --amplitude A         linear amplitude (default 1)\n"
    "  --symbol-rate MSYMS   symbol rate in Msym/s (AM, FM, PM: the tone in MHz)\n"
    "  --filter F            filter name or code (default NONE)\n"
    "  --filter-param P      roll-off, BT or cut-off (AM: depth %, FM: kHz, PM: degrees)\n"
    "  --filter-length L     filter span in symbols, 1 to 201 (an even L becomes L + 1)\n"
    "  --window W            window name or code\n"
    "  --deviation KHZ       FSK deviation in kHz\n"
    "  --data-source D       prbs, file, zeros or ones\n"
    "  --data-file FILE      bit file of data source file\n"
    "  --data-offset N       data offset (signed)\n"
    "  --mod-file FILE       I/Q file (FILE 1, FILE 2) or symbol map (FILE 3)\n"
    "  --iq-encoding E       encoding of the I/Q file: text, float32 or float64\n"
    "  --iq-layout L         columns of the I/Q file: iq, qi, i-only or q-only\n"
    "  --filter-file FILE    coefficient file of filter FILE\n"
    "  --filter-format E     format of the filter file: text, float32 or float64\n"
    "  --channel-code N      Walsh (IS95DL) or OVSF (3GPPDL) code, 0 to 511\n"
    "  --scrambling-group N  3GPP scrambling-code group, 0 to 63\n"
    "  --code-in-group N     3GPP scrambling code in the group, 0 to 7\n"
    "  --secondary-code N    3GPP secondary scrambling code, 0 to 15\n"
    "  --spreading-factor N  3GPP spreading factor: 0 (256, code 1) or 4 to 512, a power of two\n"
    "  -h, --help            this text\n"
    "\n"
    "The first seed is 0xFEDCBA98 with polynomial 3. The comb is refused when the table\n"
    "has no room for all of it. Exit status: 0 done; 1 a file could not be read or\n"
    "written, or the comb does not fit; 2 usage error.\n";

namespace {

constexpr int EXIT_REFUSED = 1;
constexpr int EXIT_USAGE = 2;

int Usage(const std::string& text) {
    std::fprintf(stderr, "uldoc assist: %s\nTry 'uldoc assist --help'.\n", text.c_str());
    return EXIT_USAGE;
}

bool Integer(const char* text, long long low, long long high, long long* value) {
    return ParseWhole(text, low, high, value) == 0;
}

bool Real(const char* text, double low, double high, double* value) {
    return ParseNumber(text, low, high, value) == 0;
}

void SetText(char (&out)[FORM_TEXT_SIZE], const char* text) {
    std::snprintf(out, sizeof out, "%s", text);
}

// The template carrier: a carrier object, or a table's first carrier, read
// with the JSON reader's rules (missing fields as a new carrier's).
int ReadTemplate(const char* path, Carrier* out) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "%s: %s\n", path, std::strerror(errno));
        return -1;
    }
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
    std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || text[first] != '{') {
        std::fprintf(stderr, "%s: a template is a JSON carrier object or a JSON table\n", path);
        return -1;
    }
    const bool table = RecordKindOfContent(text) == RECORD_FILE_TABLE_JSON;
    const std::string wrapped = table ? text : "{\"carriers\": [" + text + "]}";
    int count = ParseTableJson(wrapped, path);
    if (count < 0) return -1;
    if (count == 0) {
        std::fprintf(stderr, "%s: the template holds no carrier\n", path);
        return -1;
    }
    *out = signals[0];
    return 0;
}

// Options in the order given; the carrier ones are applied after the
// template is read.
struct PendingOption {
    std::string name;
    const char* value;
};
constexpr int MAX_PENDING = 256;

// One run's arguments, as read from argv.
struct AssistArguments {
    CombRequest q;
    const char* output;
    const char* append;
    const char* template_path;
    int have_count, have_start, have_spacing, have_step;
    PendingOption fields[MAX_PENDING];
    int field_count;
};
AssistArguments assist_args;

constexpr int HELP_SHOWN = -1;

// Reads argv into assist_args: 0, HELP_SHOWN after printing the help, or
// EXIT_USAGE after the message.
int ParseAssistArguments(int argc, char** argv) {
    AssistArguments& a = assist_args;
    a = AssistArguments{};
    a.q.prbs_iq_equal = 1;
    CombRequest& q = a.q;
    for (int at = 1; at < argc; ++at) {
        const char* arg = argv[at];
        if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
            std::fputs(uldoc_assist_usage, stdout);
            return HELP_SHOWN;
        }
        if (!std::strcmp(arg, "--random-phase")) {
            q.random_phase = 1;
            continue;
        }
        ArgumentOption given;
        if (SplitArgument(arg, &given) != 0) return Usage("unknown option " + std::string(arg));
        if (!given.name[0]) return Usage("unexpected argument \"" + std::string(arg) + "\"");
        std::string name = given.name;
        const char* value = ArgumentValue(&given, argc, argv, &at);
        if (!value) return Usage(name + " needs a value");
        long long n = 0;
        double x = 0;
        if (name == "-o" || name == "--output") {
            if (!*value) return Usage(name + " needs a file name");
            a.output = value;
        } else if (name == "--append") {
            a.append = value;
        } else if (name == "--template") {
            a.template_path = value;
        } else if (name == "--count") {
            if (!Integer(value, 1, MAX_CARRIERS, &n)) return Usage("--count takes 1 to 100, not \"" + std::string(value) + "\"");
            q.count = static_cast<int>(n);
            a.have_count = 1;
        } else if (name == "--start" || name == "--spacing") {
            if (!Real(value, name == "--start" ? 0.0 : -1e5, 1e5, &x))
                return Usage(name + " takes MHz " + (name == "--start" ? "from 0" : "from -100000") +
                             " to 100000, not \"" + value + "\"");
            (name == "--start" ? q.start_mhz : q.spacing_mhz) = x;
            (name == "--start" ? a.have_start : a.have_spacing) = 1;
        } else if (name == "--phase-step") {
            if (!Real(value, -360, 360, &x)) return Usage("--phase-step takes -360 to 360 degrees, not \"" + std::string(value) + "\"");
            q.phase_step = x;
            a.have_step = 1;
        } else if (name == "--prbs-shift") {
            if (!Integer(value, 0, 1000000, &n)) return Usage("--prbs-shift takes 0 to 1000000, not \"" + std::string(value) + "\"");
            q.prbs_shift = static_cast<int>(n);
        } else {
            if (a.field_count == MAX_PENDING) return Usage("too many options");
            a.fields[a.field_count++] = {name, value};
        }
    }
    if (!a.have_count || !a.have_start || !a.have_spacing) return Usage("--count, --start and --spacing are needed");
    if (!a.output) return Usage("no output table given (-o TABLE)");
    if (a.have_step && q.random_phase) return Usage("--phase-step and --random-phase exclude each other");
    return 0;
}

// The carrier options that take a code name or number.
struct CodeOption {
    const char* name;
    int kind;               // CODE_*
    int CarrierForm::*field;
    const char* what;       // in the refusal: "takes WHAT (names)"
};
const CodeOption code_options[] = {
    {"--modulation", CODE_MODULATION, &CarrierForm::modulation, "a modulation"},
    {"--filter", CODE_FILTER, &CarrierForm::filter, "a filter"},
    {"--window", CODE_WINDOW, &CarrierForm::window, "a window"},
    {"--data-source", CODE_DATA_SOURCE, &CarrierForm::data_source, "a data source"},
    {"--iq-encoding", CODE_IQ_ENCODING, &CarrierForm::iq_encoding, "an encoding"},
    {"--iq-layout", CODE_IQ_LAYOUT, &CarrierForm::iq_layout, "a layout"},
    {"--filter-format", CODE_FILTER_FORMAT, &CarrierForm::filter_format, "a format"},
};

// One carrier option into the form: 0, or EXIT_USAGE after the message.
int ApplyCarrierOption(const std::string& name, const char* v, CarrierForm& f) {
    long long n = 0;
    auto bad = [&](const std::string& what) { return Usage(name + " takes " + what + ", not \"" + v + "\""); };
    for (const CodeOption& option : code_options) {
        if (name != option.name) continue;
        const int code = ParseCodeArgument(option.kind, v);
        if (code < 0) return bad(std::string(option.what) + " (" + CodeNameList(option.kind) + ")");
        f.*option.field = code;
        return 0;
    }
    if (name == "--amplitude") {
        if (!Real(v, 0, 1e6, &f.amplitude)) return bad("0 to 1000000");
    } else if (name == "--symbol-rate") {
        if (!Real(v, 0, 1e5, &f.symbol_rate_m)) return bad("0 to 100000 Msym/s");
    } else if (name == "--filter-param") {
        if (!Real(v, 0, 1000, &f.filter_param)) return bad("0 to 1000");
    } else if (name == "--deviation") {
        if (!Real(v, 0, 1e6, &f.deviation_khz)) return bad("0 to 1000000 kHz");
    } else if (name == "--filter-length") {
        if (!Integer(v, 1, 201, &n)) return bad("1 to 201 symbols");
        f.filter_length = static_cast<int>(n);
    } else if (name == "--data-offset") {
        if (!Integer(v, -2147483647LL, 2147483647LL, &n)) return bad("a whole number");
        f.data_offset = static_cast<int>(n < 0 ? -n : n);
        f.data_negative = n < 0;
    } else if (name == "--channel-code" || name == "--scrambling-group" || name == "--code-in-group" ||
               name == "--secondary-code") {
        const int high = name == "--channel-code" ? 511 : name == "--scrambling-group" ? 63
                         : name == "--code-in-group" ? 7 : 15;
        if (!Integer(v, 0, high, &n)) return bad("0 to " + std::to_string(high));
        int& out = name == "--channel-code" ? f.channel_code : name == "--scrambling-group" ? f.scrambling_group
                   : name == "--code-in-group" ? f.code_in_group : f.secondary_code;
        out = static_cast<int>(n);
    } else if (name == "--spreading-factor") {
        if (!Integer(v, 0, 512, &n) || (n != 0 && (n < 4 || (n & (n - 1)) != 0)))
            return bad("0 or a power of two from 4 to 512");
        f.spreading_factor = static_cast<int>(n);
    } else if (name == "--data-file") {
        SetText(f.data_file, v);
    } else if (name == "--filter-file") {
        SetText(f.filter_file, v);
    } else if (name == "--mod-file") {
        SetText(f.iq_file, v);
        SetText(f.map_file, v);
    } else {
        return Usage("unknown option " + name);
    }
    return 0;
}

// Loads the table to append to, adds the comb from `base` and writes it.
int WriteComb(const Carrier& base) {
    const AssistArguments& a = assist_args;
    const CombRequest& q = a.q;
    InitPI();
    std::memset(signals, 0, sizeof signals);
    std::memset(comment, 0, sizeof comment);
    signals[0].frequency_hz = -1.0f;
    int count = 0;
    if (a.append) {
        count = LoadTableForm(a.append);
        if (count < 0) return EXIT_REFUSED;
    }
    globals.carrier_count = count;
    globals.current_carrier = count;
    globals.reference_carrier = count > 0 ? 1 : 0;
    if (q.count > MAX_CARRIERS - count) {
        std::fprintf(stderr, "uldoc assist: the table holds %d carriers; %s has %d, so %d of the %d do not fit\n",
                     MAX_CARRIERS, a.append, count, q.count - (MAX_CARRIERS - count), q.count);
        return EXIT_REFUSED;
    }
    if (a.template_path)
        for (int k = 0; k < q.count; ++k) signals[count + k] = base;
    map_editor.seed = 0xFEDCBA98u;
    map_editor.polynomial = 3;
    GenerateComb(q, nullptr);
    if (SaveTableForm(a.output) != 0) return EXIT_REFUSED;
    std::printf("%s: %d carriers, %d of them new, at %.6f to %.6f MHz\n", a.output, globals.carrier_count, q.count,
                q.start_mhz, q.start_mhz + q.spacing_mhz * (q.count - 1));
    return 0;
}

}  // namespace

int RunAssist(int argc, char** argv) {
    const int parsed = ParseAssistArguments(argc, argv);
    if (parsed == HELP_SHOWN) return 0;
    if (parsed != 0) return parsed;
    AssistArguments& a = assist_args;

    // The record every new carrier starts from: the template's, or an empty one.
    Carrier base{};
    base.amplitude = 1.0f;
    base.filter_length = 1;
    if (a.template_path && ReadTemplate(a.template_path, &base) != 0) return EXIT_REFUSED;
    FormOfCarrier(base, &a.q.form);
    for (int i = 0; i < a.field_count; ++i)
        if (const int status = ApplyCarrierOption(a.fields[i].name, a.fields[i].value, a.q.form); status != 0)
            return status;
    std::string problem;
    if (!FormFits(a.q.form, &problem)) return Usage(problem.substr(0, problem.find('\n')));
    return WriteComb(base);
}
