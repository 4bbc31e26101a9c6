// Output stage of one compile pass: encodes the samples of the record into the
// waveform stream of the target (WFM, CURVE, EMEMORY, PAT, text) and hands the
// bytes, in 2000-byte blocks, to a sink (file, GPIB, FTP data connection).
//
// Per output pass the compile engine calls
//     BeginOutput(pass, globals.instrument_type, globals.output_destination,
//                 numpoints, record_clock, max_value, max_i, comment, &sink);
//     for every sample s:  EncodeSample(s, output_value, reference_symbol_start);
//     EndOutput();            // or AbortOutput() when the run is cancelled
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "shell/safefile.h"

#include "compile/sink.h"

// Waveform file. The error number of its messages is 14 for a native-format
// file and 13 for a GPIB-format file. begin_pass starts the file (failure:
// "File Opening Error (14)" / "(13)", empty title, with the path and the
// reason on a second line); a write error makes end_pass fail with
// "File Writing Error (14)" / "(13)" and the same second line. The bytes go
// to a temporary file that end_pass renames into place (shell/safefile.h):
// a failed or cancelled pass leaves whatever stood at the path as it was.
// Devices and pipes are written in place.
// The sink keeps the outcome of its last pass, so that a driver can tell
// afterwards which file was written and which was left unfinished.
enum FileOutcome : int {
    FILE_PENDING = 0,      // no pass ended yet
    FILE_COMPLETED = 1,    // end_pass put the file in place
    FILE_UNFINISHED = 2,   // end_pass failed or the pass was aborted
};
struct FileSink {
    OutputSink sink;
    char path[4096];
    int error_number;
    int outcome;           // FileOutcome
    SafeFile file;
};
// destination: 1 native-format file, 2 GPIB-format file.
void InitFileSink(FileSink* file_sink, const char* path, int destination);

// Keeps everything in memory: the whole stream and the chunk boundaries.
struct OutputChunk {
    long offset;
    long count;
    int end_mode;
};
struct MemorySink {
    OutputSink sink;
    std::vector<unsigned char> bytes;
    std::vector<OutputChunk> chunks;
    int passes_begun;
    int passes_ended;
    int passes_aborted;
};
void InitMemorySink(MemorySink* memory_sink);
// The bytes of chunk i as text (handy to compare headers).
std::string MemoryChunkText(const MemorySink* memory_sink, int i);

// ---------------------------------------------------------------------------
// Target families of `instrument_type`.
enum OutputFamily : int {
    OUTPUT_WFM = 0,      // types 0, 2, 4
    OUTPUT_CURVE = 1,    // type 1
    OUTPUT_EMEMORY = 2,  // type 3
    OUTPUT_PAT = 3,      // types 5, 6
    OUTPUT_TEXT = 4,     // types 7..10
};
// Converters of the code families: CURVE and EMEMORY codes 0..4095, PAT 0..1023.
constexpr int CURVE_BITS = 12;
constexpr int EMEMORY_BITS = 12;
constexpr int PAT_BITS = 10;
// Half the levels of a converter of `bits` bits, and its top code.
constexpr float ConverterHalf(int bits) { return static_cast<float>(1 << (bits - 1)); }
constexpr unsigned ConverterTop(int bits) { return (1u << bits) - 1u; }

// What the output stage and the drivers need to know of an instrument type
// (globals.instrument_type, 0 .. INSTRUMENT_TYPES - 1).
struct InstrumentTraits {
    int family;               // OutputFamily
    const char* family_name;  // "WFM", "CURVE", "EMEMORY", "PAT", "text"
    int converter_bits;       // code families; 0: floats (WFM) or text
    const char* extension;    // of a native-format file: ".wfm", ".pat", ".txt"
    const char* separator;    // text lists: after each sample; null otherwise
    int dac_levels;           // levels of the instrument's converter, for the spectrum preview
};
constexpr int INSTRUMENT_TYPES = 11;
// Constant; read by everyone.
extern const InstrumentTraits instrument_traits[INSTRUMENT_TYPES];
// The traits of an instrument type, null for an unknown type.
const InstrumentTraits* InstrumentTraitsOf(int instrument_type);
// Family of an instrument type, -1 for an unknown type.
int OutputFamilyOf(int instrument_type);

constexpr int OUTPUT_BLOCK_SIZE = 2000;

// The per-pass state of the encoder (one pass at a time). Written by
// BeginOutput, EncodeSample and EndOutput/AbortOutput; read by them and by
// tests; valid while `active`.
struct OutputState {
    int active;
    int pass;
    int instrument_type;
    int family;
    int destination;      // 0 GPIB, 1 native file, 2 GPIB-format file, 3 network
    int gpib;             // the stream is the GPIB message sequence (destination 0)
    int big_endian;       // CURVE codes in the native file
    int numpoints;
    int encoded;          // samples taken so far
    int failed;           // a sink write failed during the pass
    int not_finite;       // samples that were not finite numbers (the pass fails)
    float divisor;        // max_value or max_i; 0 gives silence instead of NaN
    double record_clock;
    int fill;
    const char* separator;  // text lists: after each sample
    unsigned char block[OUTPUT_BLOCK_SIZE];
    OutputSink* sink;
};
extern OutputState output;
// Back to a fresh start without a word to the sink (tests; ResetCoreState).
void ResetOutputState();

// Opens the pass on the sink and writes the header. 0, or -1 after a message
// (bad arguments: "COMPILATION ERROR"; a sink that refuses the pass reports
// its own). comment: the table comment for the CURVE native header.
int BeginOutput(int pass, int instrument_type, int destination, int numpoints,
                double record_clock, float max_value, float max_i, const char* comment,
                OutputSink* sink);
// Flushes the last partial block, writes the trailer or closing commands and
// ends the pass on the sink. 0, or -1 when a write failed, the sink refused
// to end, or fewer than numpoints samples were encoded.
int EndOutput();
// Cancelled run: drops the partial block, writes nothing more.
void AbortOutput();

// Writes the full block and starts the next; EncodeSample calls it.
void FlushOutputBlock();
// One text sample; EncodeSample calls it for the text family.
void EncodeTextSample(float r);

// Code of a normalised sample on a converter of `half` * 2 levels
// (2048: 0..4095, 512: 0..1023); out-of-range samples are clipped.
inline unsigned SampleCode(float r, float half, unsigned top) {
    float t = half + half * r;
    double u = static_cast<double>(t) - 0.5;
    if (!(u > 0.0)) return 0;  // also NaN
    if (u >= static_cast<double>(top)) return top;
    return static_cast<unsigned>(u);
}

// Encodes sample s of the record (s counts from 0 within the pass) and adds it
// to the block; full blocks go to the sink at once.
inline int EncodeSample(int s, float output_value, int reference_symbol_start) {
    OutputState& o = output;
    if (!o.active || o.encoded >= o.numpoints) return -1;
    float r = o.divisor != 0.0f ? output_value / o.divisor : 0.0f;
    if (!(r - r == 0.0f)) {  // NaN or infinite: no waveform may hold it
        ++o.not_finite;
        o.failed = 1;
        r = 0.0f;
    }
    unsigned char* p = o.block + o.fill;
    switch (o.family) {
    case OUTPUT_WFM: {
        std::memcpy(p, &r, 4);
        p[4] = s == 0 ? 3 : reference_symbol_start ? 2 : 0;
        o.fill += 5;
        break;
    }
    case OUTPUT_CURVE: {
        unsigned c = SampleCode(r, ConverterHalf(CURVE_BITS), ConverterTop(CURVE_BITS));
        if (s == 0) c += 0x4000;
        if (s == 0 || reference_symbol_start) c += 0x2000;
        p[0] = static_cast<unsigned char>(o.big_endian ? c >> 8 : c);
        p[1] = static_cast<unsigned char>(o.big_endian ? c : c >> 8);
        o.fill += 2;
        break;
    }
    case OUTPUT_EMEMORY: {
        unsigned c = SampleCode(r, ConverterHalf(EMEMORY_BITS), ConverterTop(EMEMORY_BITS));
        p[0] = static_cast<unsigned char>(c);
        p[1] = static_cast<unsigned char>(c >> 8);
        o.fill += 2;
        break;
    }
    case OUTPUT_PAT: {
        unsigned c = SampleCode(r, ConverterHalf(PAT_BITS), ConverterTop(PAT_BITS));
        if (s == 0) c += 0x2000;
        if (reference_symbol_start) c += 0x4000;
        p[0] = static_cast<unsigned char>(c);
        p[1] = static_cast<unsigned char>(c >> 8);
        o.fill += 2;
        break;
    }
    default:
        ++o.encoded;
        EncodeTextSample(r);
        return o.failed ? -1 : 0;
    }
    ++o.encoded;
    if (o.fill == OUTPUT_BLOCK_SIZE) FlushOutputBlock();
    return o.failed ? -1 : 0;
}

// ---------------------------------------------------------------------------
// Native CURVE file header records, big-endian, written as 54 + 48 bytes.
#pragma pack(push, 1)
struct WfmPreambleRecord {
    int16_t header_word_0;   // 20201
    int16_t header_word_1;   // 2
    char comment_text[26];   // table comment, no NUL when 26 characters or more
    int32_t record_length;
    int32_t record_length_2;
    int16_t reserved_38;
    int16_t reserved_40;
    int32_t setup_offset;    // 54
    int32_t reserved_46;
    int32_t data_offset;     // 102
};
struct WfmHwSetupRecord {
    int16_t reserved_0;
    double clock_hz;
    int16_t reserved_10;
    int16_t reserved_12;
    double setup_value_14;   // 2.0
    double setup_value_22;   // 0.0
    int16_t setup_word_30;   // 20
    int16_t setup_word_32;   // -20
    int16_t setup_word_34;   // 20
    int16_t setup_word_36;   // -20
    int16_t reserved_38[5];
};
#pragma pack(pop)
static_assert(sizeof(WfmPreambleRecord) == 54);
static_assert(sizeof(WfmHwSetupRecord) == 48);

// The two records of the last native CURVE file, written by FillWfmHeaders
// (BeginOutput), read by BeginOutput and tests; valid after a CURVE pass.
extern WfmPreambleRecord WfmPreamble;
extern WfmHwSetupRecord WfmHwSetup;

// Fills both records for a native CURVE file.
void FillWfmHeaders(int numpoints, double record_clock, const char* comment);

// Byte order for the two records: the low two bytes swapped, four bytes
// reversed, eight bytes reversed.
int16_t revint(int value);
int32_t revlong(int32_t value);
double revdouble(double value);

// ---------------------------------------------------------------------------
// Names.

// The file name of the I or Q output: suffix inserted before the first '.' of
// the file name part of `name` (directories are left alone), appended when it
// has none. The result must fit `out_size` bytes with its NUL; otherwise out is
// made empty and -1 returned (a cut name would point at some other file).
int buildname(char* out, int out_size, const char* name, const char* suffix);
template <int N>
inline int buildname(char (&out)[N], const char* name, const char* suffix) {
    return buildname(out, N, name, suffix);
}

// The waveform's name on the instrument: "BROXEL", "BROXEL_I", "BROXEL_Q" by
// pass, with ".PAT" for PAT targets and ".WFM" for the others.
const char* InstrumentFileName(int pass, int family);

// The trailer "CLOCK %f\r\n" (fixed-point, as the instruments read it).
int FormatClockTrailer(char* out, int out_size, double record_clock);

// Shortest text that reads back as the same double ("4e-08", "1000").
int FormatRoundTrip(char* out, int out_size, double value);
