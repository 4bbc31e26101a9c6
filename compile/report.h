// Text reports of a compile run for the command-line compiler: the plan, the
// peaks, the progress line, and the default names of the waveform files.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

// The plan of the last PlanRecord: record clock, samples, the reference
// carrier, and one row per taking-part carrier with its modulation, rounded
// frequency, symbol rate and symbols in the record.
std::string PlanReportText();
// The peaks and constellation points of the last compile pass.
std::string PeaksReportText();
// The same two as JSON, for `uldoc --report json`: the plan with
// record_clock_hz, samples, duration_s, reference_carrier (1-based),
// samples_per_symbol and per carrier its number, modulation (name), frequency_hz,
// symbol_rate, symbols and samples_per_symbol (symbol fields null for an
// unmodulated carrier); the peaks with rf, baseband, fixed_normalisation and
// constellation_points.
nlohmann::ordered_json PlanReportJson();
nlohmann::ordered_json PeaksReportJson();

// Extension of a waveform file: ".gpi" for a GPIB-format file (destination 2),
// else by target type: ".pat" (5, 6), ".txt" (7..10), ".wfm" (the others).
// Text targets are always native-format files.
const char* WaveformExtension(int instrument_type, int destination);
// The RF file's default name: the table file's name without its directory and
// last extension, plus WaveformExtension ("tables/mixed.json" -> "mixed.wfm").
// 0, or -1 (out empty) when it does not fit.
int DefaultWaveformName(char* out, int out_size, const char* table_path, int instrument_type,
                        int destination);

// One line of the progress display, for a terminal: carriage return, the
// status, a bar of `width` cells and the percentage.
int FormatProgressLine(char* out, int out_size, const char* status, double percent, int width);
