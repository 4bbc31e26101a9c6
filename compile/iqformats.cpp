#include "compile/iqformats.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "shell/hooks.h"
#include "shell/modtraits.h"

IqSettings iq_settings = {0, IQ_CF32_LE, 0.0, 0};

namespace {

struct IqOutputState {
    int active;
    int channels;
    int format;
    int64_t numpoints;
    int64_t encoded;
    int failed;           // a sink write failed
    int not_finite;
    float divisor;
    int fill;
    unsigned char block[OUTPUT_BLOCK_SIZE * 4];
    OutputSink* sink;
};
IqOutputState iq_out;

void Flush() {
    IqOutputState& o = iq_out;
    if (o.fill == 0) return;
    if (o.sink->write(o.sink, o.block, o.fill, NULLend) != 0) o.failed = 1;
    o.fill = 0;
}

inline void PutFloat(unsigned char* p, float v) { std::memcpy(p, &v, 4); }  // little-endian host

inline void PutShort(unsigned char* p, float r) {
    double v = std::floor(static_cast<double>(r) * 32767.0 + 0.5);
    if (v > 32767.0) v = 32767.0;
    if (v < -32767.0) v = -32767.0;
    const int16_t c = static_cast<int16_t>(v);
    p[0] = static_cast<unsigned char>(c & 0xFF);
    p[1] = static_cast<unsigned char>((c >> 8) & 0xFF);
}

bool EndsWith(const char* text, const char* end) {
    size_t n = std::strlen(text), m = std::strlen(end);
    return n >= m && strcasecmp(text + n - m, end) == 0;
}

}  // namespace

const char* IqDatatypeName(int format, int complex) {
    if (format == IQ_CI16_LE) return complex ? "ci16_le" : "ri16_le";
    return complex ? "cf32_le" : "rf32_le";
}

int IqFormatOfName(const char* name) {
    if (!name) return -1;
    if (!std::strcmp(name, "cf32_le") || !std::strcmp(name, "cf32")) return IQ_CF32_LE;
    if (!std::strcmp(name, "ci16_le") || !std::strcmp(name, "ci16")) return IQ_CI16_LE;
    return -1;
}

int IqFormatOfPath(const char* path) {
    if (!path) return -1;
    if (EndsWith(path, ".cf32") || EndsWith(path, ".cf32_le")) return IQ_CF32_LE;
    if (EndsWith(path, ".ci16") || EndsWith(path, ".ci16_le")) return IQ_CI16_LE;
    return -1;
}

const char* IqExtension(int format) { return format == IQ_CI16_LE ? ".ci16" : ".cf32"; }

double OccupiedBandwidth(const Carrier& c) {
    const double rs = c.symbol_rate;
    const double param = c.filter_param;
    const ModulationTraits& traits = ModTraits(c.modulation);
    if (traits.kind == MOD_KIND_TONE) return 0.0;
    switch (traits.analog) {
    case ANALOG_AM: return 2.0 * rs;                                       // the tone's two sidebands
    case ANALOG_FM: return 2.0 * (1000.0 * param + rs);                    // deviation in kHz
    case ANALOG_PM: return 2.0 * (param * PI_DOUBLE / 180.0 + 1.0) * rs;  // deviation in degrees
    default: break;
    }
    if (traits.kind == MOD_KIND_FM) {
        if (traits.fsk_levels == 0) return 2.0 * (rs / 4.0 + rs / 2.0);  // GMSK: deviation Rs / 4
        return 2.0 * ((traits.fsk_levels - 1) * static_cast<double>(c.deviation_hz) + rs / 2.0);
    }
    if ((c.filter_type == FILTER_RCOS || c.filter_type == FILTER_SQRT_RCOS) && param >= 0.0 && param <= 1.0)
        return rs * (1.0 + param);
    return 2.0 * rs;
}

int BeginIqOutput(int channels, int format, int64_t numpoints, float divisor, OutputSink* sink) {
    if (iq_out.active) AbortIqOutput();
    if (!sink || !sink->write || numpoints < 1 || (channels != 1 && channels != 2) ||
        (format != IQ_CF32_LE && format != IQ_CI16_LE))
        return CompileError("No output for the I/Q record");
    IqOutputState& o = iq_out;
    o.channels = channels;
    o.format = format;
    o.numpoints = numpoints;
    o.encoded = 0;
    o.failed = 0;
    o.not_finite = 0;
    o.fill = 0;
    o.divisor = std::isfinite(divisor) ? divisor : 0.0f;
    o.sink = sink;
    if (sink->begin_pass && sink->begin_pass(sink) != 0) return -1;
    o.active = 1;
    return 0;
}

int EncodeIqSamples(const float* re, const float* im, int count) {
    IqOutputState& o = iq_out;
    if (!o.active || o.encoded + count > o.numpoints) return -1;
    const int value_bytes = o.format == IQ_CI16_LE ? 2 : 4;
    const int sample_bytes = value_bytes * o.channels;
    for (int m = 0; m < count; ++m) {
        float v[2] = {re[m], o.channels == 2 ? im[m] : 0.0f};
        for (int k = 0; k < o.channels; ++k) {
            float r = o.divisor != 0.0f ? v[k] / o.divisor : 0.0f;
            if (!(r - r == 0.0f)) {  // NaN or infinite: no record may hold it
                o.not_finite = 1;
                r = 0.0f;
            }
            unsigned char* p = o.block + o.fill + k * value_bytes;
            if (value_bytes == 4) PutFloat(p, r);
            else PutShort(p, r);
        }
        o.fill += sample_bytes;
        if (o.fill + sample_bytes > static_cast<int>(sizeof o.block)) Flush();
    }
    o.encoded += count;
    return o.failed || o.not_finite ? -1 : 0;
}

int EndIqOutput() {
    IqOutputState& o = iq_out;
    if (!o.active) return -1;
    Flush();
    o.active = 0;
    if (o.not_finite)
        CompileError("The I/Q record holds a sample that is not a finite number: it is not written.");
    if (o.not_finite || o.encoded != o.numpoints) {
        // A short record must not take the place of a whole one.
        if (o.sink->abort_pass) o.sink->abort_pass(o.sink);
        return -1;
    }
    int result = o.failed ? -1 : 0;
    if (o.sink->end_pass && o.sink->end_pass(o.sink) != 0) result = -1;  // the file sink names a write error
    return result;
}

void AbortIqOutput() {
    IqOutputState& o = iq_out;
    if (!o.active) return;
    o.active = 0;
    o.fill = 0;
    if (o.sink->abort_pass) o.sink->abort_pass(o.sink);
}

int IqOutputActive() { return iq_out.active; }
