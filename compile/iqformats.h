// Raw sample records for vector generators and SDRs: the complex-baseband
// pass as interleaved I/Q (cf32_le, ci16_le) and, for SigMF recordings, the
// real RF pass as rf32_le / ri16_le. Also the settings of the complex pass,
// which the settings record (a fixed file layout) does not hold.
//
// Normalisation is the other passes': the samples are divided by the peak
// of the record (or the fixed level). Floats are written as they are; 16-bit
// integers are round(32767 r), clipped to -32767 .. 32767.
#pragma once

#include <cstdint>

#include "compile/output.h"
#include "shell/uldo.h"

enum IqFormat : int { IQ_CF32_LE = 0, IQ_CI16_LE = 1 };

struct IqSettings {
    int enabled;          // the complex pass runs (uldoc --passes iq, the compile options)
    int format;           // IqFormat of the complex record, and of the RF record in SigMF
    double center_hz;     // requested centre F0; not above 0: the middle of the occupied band
    int rf_raw;           // the RF pass is written as raw real samples (a SigMF recording)
};
// Written by the drivers (compile options, uldoc --passes iq and --sigmf)
// before CompileTable; read by the engine during the run and by the reports.
extern IqSettings iq_settings;

// "cf32_le" / "ci16_le" for the complex record, "rf32_le" / "ri16_le" for a real one.
const char* IqDatatypeName(int format, int complex);
// A format by its name ("cf32_le", "cf32", "ci16_le", "ci16"), -1 for another.
int IqFormatOfName(const char* name);
// A format by the extension of a path (".cf32", ".ci16", with or without
// "_le"), -1 for another.
int IqFormatOfPath(const char* path);
// The extension of a complex record of the format: ".cf32" or ".ci16".
const char* IqExtension(int format);

// Occupied bandwidth of a planned carrier, Hz: symbol rate times (1 +
// roll-off) for raised-cosine pulses, twice the symbol rate without a pulse
// or with another one, Carson's rule for FM, FSK, GMSK, PM and AM tones, 0
// for an unmodulated carrier.
double OccupiedBandwidth(const Carrier& carrier);

// Encoder of one raw pass: `channels` 1 (real) or 2 (complex) values per
// sample. 0, or -1 (message shown, or the sink's own).
int BeginIqOutput(int channels, int format, int64_t numpoints, float divisor, OutputSink* sink);
// count samples; im is not read for a real record. 0, or -1 when a write
// failed or a value is not a finite number.
int EncodeIqSamples(const float* re, const float* im, int count);
// Flushes and ends the pass on the sink. 0, or -1.
int EndIqOutput();
void AbortIqOutput();
int IqOutputActive();
