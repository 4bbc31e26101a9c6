// SigMF recordings: the metadata file (NAME.sigmf-meta) that goes with a raw
// record (NAME.sigmf-data, compile/iqformats.h) of a compiled table. One
// capture at the record's centre frequency and one annotation per carrier
// over the whole record, with its occupied band and what it carries.
#pragma once

#include <cstdint>
#include <string>

struct SigmfRecording {
    const char* datatype;     // "cf32_le", "ri16_le", ...
    double sample_rate;       // the record clock, Hz
    double frequency;         // centre of the capture: F0 of a complex record, 0 for a real one
    int64_t samples;
    const char* description;  // the table's comment
    const char* recorder;     // program and version
    const char* hw;
    // Level of each planned carrier (index into signals) in dBm, NaN where it
    // has none; null: none has one. The caller fills it from the power table.
    const float* power_dbm = nullptr;
};

// The metadata of the planned carriers (signals, compile_carriers) after a
// compile, as JSON text.
std::string SigmfMetaText(const SigmfRecording& recording);
// Written whole through the safe writer. 0, or -1 after "File Writing Error (14)".
int WriteSigmfMeta(const char* path, const SigmfRecording& recording);

// NAME of a path given for a recording: the path without ".sigmf-data",
// ".sigmf-meta" or ".sigmf".
std::string SigmfBaseName(const std::string& path);
