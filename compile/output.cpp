#include "compile/output.h"

#include <charconv>
#include <cinttypes>
#include <cmath>

#include "shell/hooks.h"
#include "shell/uldo.h"

OutputState output;
WfmPreambleRecord WfmPreamble;
WfmHwSetupRecord WfmHwSetup;

namespace {

constexpr int HEADER_SIZE = 512;

// Text pieces of the current pass, made by BeginOutput.
char trailer[96];          // WFM/PAT: "CLOCK ...\r\n"; EMEMORY files: the closing text
int trailer_length;
int data_ends_message;     // nothing follows the samples in their message (EOI on the last block)

void Emit(const void* bytes, long count, int end_mode) {
    if (count <= 0) return;
    if (output.sink->write(output.sink, bytes, count, end_mode) != 0) output.failed = 1;
}

void EmitText(const char* text, int end_mode) { Emit(text, static_cast<long>(std::strlen(text)), end_mode); }

int Digits(long long value) {
    int n = 1;
    while (value >= 10) {
        value /= 10;
        ++n;
    }
    return n;
}

// "%f" of a float without printf: the product with 1e6 is exact in double
// (24 + 14 bits), so rounding it half-to-even gives printf's digits.
int FormatSixDecimals(char* out, int size, float r) {
    double v = r;
    if (!(std::fabs(v) < 1e9)) return std::snprintf(out, size, "%f", v);
    char* p = out;
    if (std::signbit(v)) *p++ = '-';
    auto n = static_cast<uint64_t>(std::nearbyint(std::fabs(v) * 1e6));
    uint64_t whole = n / 1000000, fraction = n % 1000000;
    char digits[20];
    int k = 0;
    do {
        digits[k++] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole);
    while (k) *p++ = digits[--k];
    *p++ = '.';
    for (int i = 5; i >= 0; --i) {
        p[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    p += 6;
    return static_cast<int>(p - out);
}


// --- file sink --------------------------------------------------------------

void ReportFileProblem(const char* what, const FileSink* f) {
    char first[64];
    std::snprintf(first, sizeof first, "%s (%d)", what, f->error_number);
    std::string text = std::string(first) + "\n" + f->file.problem;
    ReportMessage("", text.c_str());
}

int FileBegin(OutputSink* sink) {
    auto* f = static_cast<FileSink*>(sink->context);
    if (OpenSafeFile(&f->file, f->path) != 0) {
        ReportFileProblem("File Opening Error", f);
        return -1;
    }
    return 0;
}

int FileWrite(OutputSink* sink, const void* bytes, long count, int) {
    auto* f = static_cast<FileSink*>(sink->context);
    return WriteSafeFile(&f->file, bytes, count) == 0 ? 0 : -1;
}

int FileEnd(OutputSink* sink) {
    auto* f = static_cast<FileSink*>(sink->context);
    if (CommitSafeFile(&f->file) != 0) {
        f->outcome = FILE_UNFINISHED;
        ReportFileProblem("File Writing Error", f);
        return -1;
    }
    f->outcome = FILE_COMPLETED;
    return 0;
}

void FileAbort(OutputSink* sink) {
    auto* f = static_cast<FileSink*>(sink->context);
    DiscardSafeFile(&f->file);
    f->outcome = FILE_UNFINISHED;
}

// --- memory sink ------------------------------------------------------------

int MemoryBegin(OutputSink* sink) {
    ++static_cast<MemorySink*>(sink->context)->passes_begun;
    return 0;
}

int MemoryWrite(OutputSink* sink, const void* bytes, long count, int end_mode) {
    auto* m = static_cast<MemorySink*>(sink->context);
    auto* b = static_cast<const unsigned char*>(bytes);
    m->chunks.push_back({static_cast<long>(m->bytes.size()), count, end_mode});
    m->bytes.insert(m->bytes.end(), b, b + count);
    return 0;
}

int MemoryEnd(OutputSink* sink) {
    ++static_cast<MemorySink*>(sink->context)->passes_ended;
    return 0;
}

void MemoryAbort(OutputSink* sink) { ++static_cast<MemorySink*>(sink->context)->passes_aborted; }

}  // namespace

// ---------------------------------------------------------------------------

void InitFileSink(FileSink* f, const char* path, int destination) {
    f->sink = {f, FileBegin, FileWrite, FileEnd, FileAbort};
    f->error_number = destination == 2 ? 13 : 14;
    f->outcome = FILE_PENDING;
    // A path that does not fit is kept empty: a cut one would name another file.
    if (!SetField(f->path, path ? path : "")) f->path[0] = 0;
    f->file.fd = -1;
    f->file.temp[0] = 0;
    f->file.error = 0;
}

void InitMemorySink(MemorySink* m) {
    m->sink = {m, MemoryBegin, MemoryWrite, MemoryEnd, MemoryAbort};
    m->bytes.clear();
    m->chunks.clear();
    m->passes_begun = m->passes_ended = m->passes_aborted = 0;
}

std::string MemoryChunkText(const MemorySink* m, int i) {
    if (i < 0 || i >= static_cast<int>(m->chunks.size())) return std::string();
    const OutputChunk& c = m->chunks[static_cast<std::size_t>(i)];
    return std::string(reinterpret_cast<const char*>(m->bytes.data()) + c.offset,
                       static_cast<std::size_t>(c.count));
}

const InstrumentTraits instrument_traits[INSTRUMENT_TYPES] = {
    {OUTPUT_WFM, "WFM", 0, ".wfm", nullptr, 1024},
    {OUTPUT_CURVE, "CURVE", CURVE_BITS, ".wfm", nullptr, 4096},
    {OUTPUT_WFM, "WFM", 0, ".wfm", nullptr, 256},
    {OUTPUT_EMEMORY, "EMEMORY", EMEMORY_BITS, ".wfm", nullptr, 4096},
    {OUTPUT_WFM, "WFM", 0, ".wfm", nullptr, 65536},
    {OUTPUT_PAT, "PAT", PAT_BITS, ".pat", nullptr, 1024},
    {OUTPUT_PAT, "PAT", PAT_BITS, ".pat", nullptr, 256},
    {OUTPUT_TEXT, "text", 0, ".txt", "\n", 65536},
    {OUTPUT_TEXT, "text", 0, ".txt", "\r\n", 65536},
    {OUTPUT_TEXT, "text", 0, ".txt", ",", 65536},
    {OUTPUT_TEXT, "text", 0, ".txt", "\t", 65536},
};

const InstrumentTraits* InstrumentTraitsOf(int instrument_type) {
    return instrument_type >= 0 && instrument_type < INSTRUMENT_TYPES ? &instrument_traits[instrument_type] : nullptr;
}

int OutputFamilyOf(int instrument_type) {
    const InstrumentTraits* t = InstrumentTraitsOf(instrument_type);
    return t ? t->family : -1;
}

void ResetOutputState() {
    output = OutputState{};
    trailer[0] = 0;
    trailer_length = 0;
    data_ends_message = 0;
    std::memset(&WfmPreamble, 0, sizeof WfmPreamble);
    std::memset(&WfmHwSetup, 0, sizeof WfmHwSetup);
}

int16_t revint(int value) {
    auto v = static_cast<uint16_t>(value);
    return static_cast<int16_t>(static_cast<uint16_t>((v >> 8) | (v << 8)));
}

int32_t revlong(int32_t value) {
    auto v = static_cast<uint32_t>(value);
    v = (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
    return static_cast<int32_t>(v);
}

double revdouble(double value) {
    unsigned char in[8], out[8];
    std::memcpy(in, &value, 8);
    for (int i = 0; i < 8; ++i) out[i] = in[7 - i];
    double result;
    std::memcpy(&result, out, 8);
    return result;
}

void FillWfmHeaders(int numpoints, double record_clock, const char* text) {
    std::memset(&WfmPreamble, 0, sizeof WfmPreamble);
    WfmPreamble.header_word_0 = revint(20201);
    WfmPreamble.header_word_1 = revint(2);
    if (text) std::memcpy(WfmPreamble.comment_text, text, strnlen(text, sizeof WfmPreamble.comment_text));
    WfmPreamble.record_length = revlong(numpoints);
    WfmPreamble.record_length_2 = revlong(numpoints);
    WfmPreamble.setup_offset = revlong(54);
    WfmPreamble.data_offset = revlong(102);

    std::memset(&WfmHwSetup, 0, sizeof WfmHwSetup);
    double clock = revdouble(record_clock), two = revdouble(2.0), zero = revdouble(0.0);
    std::memcpy(&WfmHwSetup.clock_hz, &clock, 8);
    std::memcpy(&WfmHwSetup.setup_value_14, &two, 8);
    std::memcpy(&WfmHwSetup.setup_value_22, &zero, 8);
    WfmHwSetup.setup_word_30 = revint(20);
    WfmHwSetup.setup_word_32 = revint(-20);
    WfmHwSetup.setup_word_34 = revint(20);
    WfmHwSetup.setup_word_36 = revint(-20);
}

int buildname(char* out, int out_size, const char* name, const char* suffix) {
    if (!out || out_size <= 0) return -1;
    if (!name || !suffix) {
        out[0] = 0;
        return -1;
    }
    std::size_t length = std::strlen(name), suffix_length = std::strlen(suffix);
    if (length + suffix_length + 1 > static_cast<std::size_t>(out_size)) {
        out[0] = 0;
        return -1;
    }
    // A dot in a directory name is not the extension.
    std::size_t base = 0;
    for (std::size_t i = 0; i < length; ++i)
        if (name[i] == '/' || name[i] == '\\') base = i + 1;
    const char* dot = std::strchr(name + base, '.');
    std::size_t at = dot ? static_cast<std::size_t>(dot - name) : length;
    std::memmove(out + at + suffix_length, name + at, length - at + 1);
    std::memmove(out, name, at);
    std::memcpy(out + at, suffix, suffix_length);
    return 0;
}

const char* InstrumentFileName(int pass, int family) {
    static const char* const wfm[3] = {"BROXEL.WFM", "BROXEL_I.WFM", "BROXEL_Q.WFM"};
    static const char* const pat[3] = {"BROXEL.PAT", "BROXEL_I.PAT", "BROXEL_Q.PAT"};
    int i = pass >= 1 && pass <= 3 ? pass - 1 : 0;
    return family == OUTPUT_PAT ? pat[i] : wfm[i];
}

int FormatClockTrailer(char* out, int out_size, double record_clock) {
    // Fixed-point with six decimals: the instruments read the trailer in this
    // form, and a clock in Hz keeps its value far below the microhertz.
    return std::snprintf(out, static_cast<std::size_t>(out_size), "CLOCK %f\r\n", record_clock);
}

int FormatRoundTrip(char* out, int out_size, double value) {
    if (out_size <= 0) return -1;
    auto r = std::to_chars(out, out + out_size - 1, value);
    if (r.ec != std::errc()) {
        out[0] = 0;
        return -1;
    }
    *r.ptr = 0;
    return static_cast<int>(r.ptr - out);
}

namespace {

// The headers of the families, one function each; they read `output` and
// leave the trailer (with data_ends_message) for EndOutput.

// WFM and PAT files: a block of MAGIC text; to the instrument inside MMEM:DATA.
void EmitMagicHeader() {
    const OutputState& o = output;
    const long long data_bytes = (o.family == OUTPUT_WFM ? 5LL : 2LL) * o.numpoints;
    char header[HEADER_SIZE];
    trailer_length = FormatClockTrailer(trailer, sizeof trailer, o.record_clock);
    const char* magic = o.family == OUTPUT_WFM ? "MAGIC 1000\r\n#" : "MAGIC 2000\r\n#";
    data_ends_message = 0;
    if (o.destination == 0 || o.destination == 2) {
        long long inner = 13 + 1 + Digits(data_bytes) + data_bytes + trailer_length;
        std::snprintf(header, sizeof header, "MMEM:DATA \"%s\",#%d%lld%s%d%lld", InstrumentFileName(o.pass, o.family),
                      Digits(inner), inner, magic, Digits(data_bytes), data_bytes);
    } else {
        std::snprintf(header, sizeof header, "%s%d%lld", magic, Digits(data_bytes), data_bytes);
    }
    EmitText(header, NULLend);
}

// CURVE: the binary preamble and set-up records in a file, the DATA and
// WFMPRE commands otherwise.
void EmitCurveHeader(const char* text) {
    const OutputState& o = output;
    if (o.big_endian) {
        FillWfmHeaders(o.numpoints, o.record_clock, text);
        unsigned char records[sizeof WfmPreamble + sizeof WfmHwSetup];
        std::memcpy(records, &WfmPreamble, sizeof WfmPreamble);
        std::memcpy(records + sizeof WfmPreamble, &WfmHwSetup, sizeof WfmHwSetup);
        Emit(records, sizeof records, NULLend);
        return;
    }
    const long long data_bytes = 2LL * o.numpoints;
    char header[HEADER_SIZE];
    // The sample interval needs all its digits: "%f" would print 0.000000
    // for any clock above 2 MHz.
    char interval[40];
    FormatRoundTrip(interval, sizeof interval, 1.0 / o.record_clock);
    int length = std::snprintf(header, sizeof header,
                               ":DATA:DESTINATION \"%s\";:DATA:WIDTH 2;:DATA:ENCDG SRPBINARY;"
                               ":WFMPRE:XINCR %s\r\n",
                               InstrumentFileName(o.pass, o.family), interval);
    if (o.gpib) {
        EmitText(header, DABend);
        std::snprintf(header, sizeof header, "CURVE #%d%lld", Digits(data_bytes), data_bytes);
    } else {
        std::snprintf(header + length, sizeof header - static_cast<std::size_t>(length), ";:CURVE #%d%lld",
                      Digits(data_bytes), data_bytes);
    }
    EmitText(header, NULLend);
}

// EMEMORY: the trace definition; the repetition rate follows the data.
void EmitEmemoryHeader() {
    const OutputState& o = output;
    const long long data_bytes = 2LL * o.numpoints;
    char header[HEADER_SIZE];
    // The repetition rate of the record, with all its digits.
    char rate[40];
    FormatRoundTrip(rate, sizeof rate, o.record_clock / o.numpoints);
    if (o.gpib) {
        std::snprintf(header, sizeof header, "TRACE:DEFINE EMEMORY,%d", o.numpoints);
        EmitText(header, DABend);
        EmitText("FORMAT:BORDER SWAPPED", DABend);
        std::snprintf(header, sizeof header, "DATA EMEMORY,#%d%lld", Digits(data_bytes), data_bytes);
        std::snprintf(trailer, sizeof trailer, "%sHZ", rate);  // kept for EndOutput
    } else {
        std::snprintf(header, sizeof header, ":TRACE:DEFINE EMEMORY,%d;:FORMAT:BORDER SWAPPED;:DATA EMEMORY,#%d%lld",
                      o.numpoints, Digits(data_bytes), data_bytes);
        // Files always name USER1, whatever the pass.
        trailer_length = std::snprintf(trailer, sizeof trailer,
                                       ";:TRACE:COPY USER1,EMEMORY;:FUNCTION USER1;"
                                       ":FREQUENCY %sHZ;:OUTPUT ON",
                                       rate);
        data_ends_message = 0;
    }
    EmitText(header, NULLend);
}

}  // namespace

int BeginOutput(int pass, int instrument_type, int destination, int numpoints, double record_clock,
                float max_value, float max_i, const char* text, OutputSink* sink) {
    if (output.active) AbortOutput();
    int family = OutputFamilyOf(instrument_type);
    if (!sink || !sink->write) return CompileError("No output for the waveform");
    if (pass < 1 || pass > 3) return CompileError("Output pass %d does not exist", pass);
    if (family < 0) return CompileError("Unknown instrument type %d", instrument_type);
    if (destination < 0 || destination > 3) return CompileError("Unknown output destination %d", destination);
    if (numpoints < 1) return CompileError("The record holds no samples");
    if (!(record_clock > 0.0) || !std::isfinite(record_clock)) return CompileError("The record clock is not usable");
    if (family == OUTPUT_TEXT) destination = 1;  // text lists exist only as files

    OutputState& o = output;
    o.pass = pass;
    o.instrument_type = instrument_type;
    o.family = family;
    o.destination = destination;
    o.gpib = destination == 0;
    o.big_endian = family == OUTPUT_CURVE && (destination == 1 || destination == 3);
    o.numpoints = numpoints;
    o.encoded = 0;
    o.failed = 0;
    o.not_finite = 0;
    o.fill = 0;
    o.separator = InstrumentTraitsOf(instrument_type)->separator;
    o.record_clock = record_clock;
    o.sink = sink;
    // A silent record (peak 0) would divide 0 by 0; it is written as silence.
    float divisor = pass == 1 || family == OUTPUT_EMEMORY ? max_value : max_i;
    o.divisor = std::isfinite(divisor) ? divisor : 0.0f;

    if (sink->begin_pass && sink->begin_pass(sink) != 0) return -1;
    o.active = 1;

    trailer[0] = 0;
    trailer_length = 0;
    data_ends_message = 1;
    switch (family) {
    case OUTPUT_WFM:
    case OUTPUT_PAT: EmitMagicHeader(); break;
    case OUTPUT_CURVE: EmitCurveHeader(text); break;
    case OUTPUT_EMEMORY: EmitEmemoryHeader(); break;
    default: break;  // text lists have no header
    }
    return 0;
}

void FlushOutputBlock() {
    OutputState& o = output;
    int end_mode = data_ends_message && o.encoded == o.numpoints ? DABend : NULLend;
    Emit(o.block, o.fill, end_mode);
    o.fill = 0;
}

void EncodeTextSample(float r) {
    OutputState& o = output;
    char item[64];
    int length = FormatSixDecimals(item, sizeof item - 2, r);
    for (const char* c = o.separator; *c; ++c) item[length++] = *c;
    if (o.fill + length > OUTPUT_BLOCK_SIZE) {
        Emit(o.block, o.fill, NULLend);
        o.fill = 0;
    }
    std::memcpy(o.block + o.fill, item, static_cast<std::size_t>(length));
    o.fill += length;
}

int EndOutput() {
    OutputState& o = output;
    if (!o.active) return -1;
    if (o.fill > 0) Emit(o.block, o.fill, data_ends_message ? DABend : NULLend);
    o.fill = 0;
    if (o.family == OUTPUT_EMEMORY && o.gpib) {
        char text[128];
        std::snprintf(text, sizeof text, "TRACE:COPY USER%d,EMEMORY", o.pass);
        EmitText(text, DABend);
        EmitText("FUNCTION USER1", DABend);
        std::snprintf(text, sizeof text, "FREQUENCY %s", trailer);
        EmitText(text, DABend);
        EmitText("OUTPUT ON", DABend);
    } else if (trailer_length > 0) {
        Emit(trailer, trailer_length, DABend);
    }
    o.active = 0;
    if (o.not_finite) {
        static const char* const names[] = {"", "RF", "baseband I", "baseband Q"};
        CompileError("The %s record holds a sample that is not a finite number: it is not written.",
                     o.pass >= 1 && o.pass <= 3 ? names[o.pass] : "");
    }
    if (o.encoded != o.numpoints || o.not_finite) {
        // A short record is not a waveform: it must not take the place of one.
        if (o.sink->abort_pass) o.sink->abort_pass(o.sink);
        return -1;
    }
    int result = o.failed ? -1 : 0;
    if (o.sink->end_pass && o.sink->end_pass(o.sink) != 0) result = -1;
    return result;
}

void AbortOutput() {
    OutputState& o = output;
    if (!o.active) return;
    o.active = 0;
    o.fill = 0;
    if (o.sink->abort_pass) o.sink->abort_pass(o.sink);
}
