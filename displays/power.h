// Numeric analysis of a compiled record: carrier powers, the CCDF of the
// display baseband, and the spectrum preview at the target's converter
// resolution. All of it reads the results the last compile left in the globals
// (compile/engine.h) and keeps its own results in static storage.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shaping/filters.h"
#include "shell/uldo.h"

// ---------------------------------------------------------------------------
// Carrier power.

// Mean symbol power of a modulation's constellation on the normalised grid the
// mapper delivers (|I + jQ|^2 as the kernel shapes it): the power_factor of
// its traits, or MeanSymbolPower for the alphabets known at run time; 0 where
// none is defined (I/Q files, 3GPP(SC), FILE 3 without a map in `map`).
float power_factor(int32_t modulation);

// Power of a carrier in dBm: a full-scale unit-peak sine over 50 ohms is +10
// dBm. pulse: the carrier's windowed pulse table (PulseEntries(filter_length)
// entries); full_scale: the record's peak (max_value). Every intermediate is a
// 32-bit float.
float total_power(int32_t modulation, const double* pulse, float amplitude, float full_scale,
                  float param, int32_t filter_length);

// Whether total_power has a meaning for the modulation: constant envelope,
// AM, or a power factor above 0.
bool PowerDefined(int32_t modulation);

// total_power of carrier r of `signals` after a compile (its FIR row, the
// record's max_value; an unfiltered carrier holds each symbol for one symbol).
float CarrierPower(int32_t r);

constexpr int POWER_ROW_TEXT = 64;
struct PowerRow {
    int32_t carrier;          // index into signals
    int32_t defined;          // 0: the row shows "n/a" and adds nothing to the total
    double frequency_mhz;
    float power_dbm;
    // " %3d  %-11s%11.6f |  %8.3f": carrier number, modulation, MHz, dBm,
    // so that two carriers at one frequency can be told apart.
    char text[POWER_ROW_TEXT];
};
// Written by BuildPowerTable, read by the power panel and the analysis
// report; valid until the next BuildPowerTable.
extern PowerRow power_rows[MAX_CARRIERS];
extern int32_t power_row_count;
extern float power_total_mw;    // sum of the defined carriers' powers
extern float power_summary;     // 10 - 10 log10(total): dB below a full-scale sine

// Fills power_rows for the carriers up to the terminator; returns the count.
int BuildPowerTable();

// ---------------------------------------------------------------------------
// CCDF of the instantaneous power of phase_i/phase_q (the first
// min(numpoints, DISPLAY_POINTS) samples) relative to its mean.
constexpr int CCDF_BINS = 200;
// Written by BuildCCDF, read by the CCDF panel and the report; valid until the
// next BuildCCDF.
extern double ccdf_x[CCDF_BINS];   // level above the mean power, dB (j * R / 199)
extern double ccdf_y[CCDF_BINS];   // percent of the samples at or above that level
extern double ccdf_ratio;          // R: peak-to-average power ratio, dB

// Fills ccdf_x, ccdf_y and ccdf_ratio; returns the ratio. ccdf_y[j] is the
// share of the samples at or above ccdf_x[j], the figure CCDFPercentAbove gives
// there. A record of constant power (or none at all) gives a ratio of 0 and a
// curve of 0.
double BuildCCDF();

// Percent of the samples whose power is at least level_db above the mean.
double CCDFPercentAbove(double level_db);

// A dB figure for a read-out: "%.3f", or "inf" / "-inf" / "nan" where it has no
// finite value. size: of out.
void FormatDecibels(double value, char* out, int size);

// ---------------------------------------------------------------------------
// Spectrum preview.
constexpr int SPECTRUM_BINS = 4096;   // one-sided half of the 8192-point transform

// Converter levels L of a target family (instrument_type); unknown types get
// the finest converter, 65536.
int32_t DacLevels(int32_t instrument_type);

// Each sample onto the converter grid of 2 full_scale / levels steps, toward
// minus infinity, clipped to the converter's codes -levels/2 .. levels/2 - 1.
// A full scale of 0 leaves the samples alone.
void QuantizeToConverter(double* samples, int n, float full_scale, int32_t levels);

// Turns FFT_Array (8192 composite samples) into the preview in place: the
// samples quantised to the target's converter (full scale max_value), Blackman
// window, power spectrum, entries 0 .. 4095 in dB. Call once per compile. Fills
// spectrum_top (largest of entries 1 .. 4095).
void SpectrumPreview(int32_t instrument_type);
extern double spectrum_top;   // written by SpectrumPreview, read by the analysis panel

// Spectrum bin of a frequency: round(8192 f / record_clock), kept within 0 .. 4095.
int32_t SpectrumBin(double frequency_hz);
// Frequency of bin k in MHz: k * record_clock / 8192 / 1e6 (the preview's x axis).
double SpectrumBinMHz(int32_t k);

// ---------------------------------------------------------------------------
// Pulse plot of the analysis panel: the pulse the compile shapes the carrier's
// symbols with, x in symbols from the pulse's peak.
enum { PULSE_NONE = 0, PULSE_FILTER = 1, PULSE_HELD = 2 };
constexpr int PULSE_NOTE_SIZE = 96;
// Written by BuildPulsePlot, read by the analysis panel's pulse plot until
// the next call.
extern double pulse_x[FIR_ROW_LENGTH];
extern double pulse_y[FIR_ROW_LENGTH];
extern int32_t pulse_count;
extern char pulse_note[PULSE_NOTE_SIZE];   // why there is no pulse ("" otherwise)

// Fills the plot for carrier r after a compile: PULSE_FILTER its FIR row,
// PULSE_HELD the one-symbol rectangle of an unfiltered carrier, PULSE_NONE
// (no points, a note) for a tone, an analog carrier or a bad index.
int BuildPulsePlot(int32_t r);
