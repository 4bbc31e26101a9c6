// Carrier powers, the CCDF and the spectrum preview of the compiled record.
#include "displays/power.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "compile/engine.h"
#include "compile/output.h"
#include "modulation/mapper.h"
#include "shaping/filters.h"
#include "shaping/windows.h"
#include "shell/modtraits.h"

PowerRow power_rows[MAX_CARRIERS];
int32_t power_row_count;
float power_total_mw;
float power_summary;

double ccdf_x[CCDF_BINS];
double ccdf_y[CCDF_BINS];
double ccdf_ratio;

double spectrum_top;

namespace {

bool ConstantEnvelope(int32_t modulation) { return ModTraits(modulation).constant_envelope != 0; }

bool QuarterShift(int32_t modulation) { return ModTraits(modulation).quarter_shift != 0; }

// An unfiltered carrier holds each symbol for one symbol: a rectangle of
// POINTS_PER_SYMBOL points.
const double* HeldPulse() {
    static double pulse[FIR_ROW_LENGTH];
    if (pulse[0] == 0.0) std::fill(pulse, pulse + POINTS_PER_SYMBOL, 1.0);
    return pulse;
}

}  // namespace

float power_factor(int32_t modulation) {
    // Fixed alphabets (and the unit envelope of the frequency-modulated
    // carriers) are in the table; the DVB-C tables and the map are known at
    // run time only.
    const ModulationTraits& t = ModTraits(modulation);
    if (t.power_factor != POWER_FROM_ALPHABET) return t.power_factor;
    double mean = MeanSymbolPower(modulation);
    // The shaped quarter-rate shift turns the level pair (a, -a) into a e^{j phi}:
    // the record holds a^2, half the pair's power.
    if (QuarterShift(modulation)) mean /= 2.0;
    return static_cast<float>(mean);
}

float total_power(int32_t modulation, const double* pulse, float amplitude, float full_scale,
                  float param, int32_t filter_length) {
    float P;
    if (ConstantEnvelope(modulation)) {
        P = 1.0f;
    } else if (ModTraits(modulation).analog == ANALOG_AM) {
        P = param / 200.0f;
        P = static_cast<float>(2.0 * std::pow(P, 2.0) + 1.0);
    } else {
        P = 0.0f;
        if (pulse && filter_length >= 1 && filter_length <= MAX_FILTER_LENGTH) {
            int32_t entries = PulseEntries(filter_length);
            for (int32_t i = 0; i < entries; ++i) P = static_cast<float>(P + std::pow(pulse[i], 2.0));
        }
        P = power_factor(modulation) * P / static_cast<float>(POINTS_PER_SYMBOL);
    }
    P = P / 100.0f;
    P = static_cast<float>(P * std::pow(amplitude / full_scale, 2.0));
    return static_cast<float>(10.0 * std::log10(P / 0.001));
}

bool PowerDefined(int32_t modulation) {
    return ConstantEnvelope(modulation) || ModTraits(modulation).analog == ANALOG_AM || power_factor(modulation) > 0.0f;
}

float CarrierPower(int32_t r) {
    if (r < 0 || r >= MAX_CARRIERS) return NAN;
    const Carrier& c = signals[r];
    const double* pulse = c.filter_type == FILTER_NONE ? HeldPulse() : FIR[r];
    float p = total_power(c.modulation, pulse, c.amplitude, max_value, c.filter_param, c.filter_length);
    // Without a pulse there is no quarter-rate shift: the pair (a, -a) keeps the power of both parts.
    if (c.filter_type == FILTER_NONE && QuarterShift(c.modulation)) p = static_cast<float>(p + 10.0 * std::log10(2.0));
    return p;
}

int BuildPowerTable() {
    power_row_count = 0;
    float total = 0.0f;
    for (int r = 0; r < MAX_CARRIERS && signals[r].frequency_hz > 0.0f; ++r) {
        PowerRow& row = power_rows[power_row_count++];
        row.carrier = r;
        row.frequency_mhz = signals[r].frequency_hz / 1e6;
        row.power_dbm = CarrierPower(r);
        const char* name = ModulationDisplayName(signals[r].modulation);
        if (!name) name = "?";
        // Without a full scale (a silent record) there is no power to show either.
        const bool stated = PowerDefined(signals[r].modulation) && max_value > 0.0f;
        row.defined = stated && std::isfinite(row.power_dbm);
        if (row.defined) {
            total = static_cast<float>(total + std::pow(10.0, row.power_dbm / 10.0));
            std::snprintf(row.text, sizeof row.text, " %3d  %-11s%11.6f |  %8.3f", r + 1, name,
                          row.frequency_mhz, row.power_dbm);
        } else {
            // A carrier of amplitude 0 has no power in dBm: it says so.
            const bool silent = stated && row.power_dbm == -INFINITY;
            std::snprintf(row.text, sizeof row.text, " %3d  %-11s%11.6f |  %8s", r + 1, name,
                          row.frequency_mhz, silent ? "silent" : "n/a");
        }
    }
    power_total_mw = total;
    power_summary = static_cast<float>(10.0 - 10.0 * std::log10(total));
    return power_row_count;
}

// ---------------------------------------------------------------------------

namespace {

int CCDFSamples() { return std::clamp<int32_t>(numpoints, 0, DISPLAY_POINTS); }

double SamplePower(int i) {
    double a = phase_i[i], b = phase_q[i];
    return a * a + b * b;
}

// Mean power of the first n samples; 0 when there are none.
double MeanPower(int n, double* peak) {
    double sum = 0.0, top = 0.0;
    for (int i = 0; i < n; ++i) {
        double p = SamplePower(i);
        if (p > top) top = p;
        sum += p;
    }
    if (peak) *peak = top;
    return n > 0 ? sum / n : 0.0;
}

}  // namespace

double BuildCCDF() {
    int n = CCDFSamples();
    double peak;
    double mean = MeanPower(n, &peak);
    double R = mean > 0.0 ? 10.0 * std::log10(peak / mean) : 0.0;
    if (!(R > 0.0) || !std::isfinite(R)) R = 0.0;
    static int count[CCDF_BINS];
    for (int j = 0; j < CCDF_BINS; ++j) {
        ccdf_x[j] = j * R / 199.0;
        count[j] = 0;
    }
    if (R > 0.0) {
        for (int i = 0; i < n; ++i) {
            double p = SamplePower(i);
            if (!(p > 0.0)) continue;   // no level at all
            double level = 10.0 * std::log10(p / mean);
            if (level < 0.0) continue;  // below the average: on no point of the curve
            // The last point at or below the level: each point counts the samples at or above it.
            int k = static_cast<int>(level * 199.0 / R);
            while (k > 0 && ccdf_x[k] > level) --k;
            while (k < CCDF_BINS - 1 && ccdf_x[k + 1] <= level) ++k;
            count[std::min(k, CCDF_BINS - 1)] += 1;
        }
    }
    for (int j = CCDF_BINS - 2; j >= 0; --j) count[j] += count[j + 1];
    for (int j = 0; j < CCDF_BINS; ++j) ccdf_y[j] = n > 0 ? 100.0 * count[j] / n : 0.0;
    ccdf_ratio = R;
    return R;
}

double CCDFPercentAbove(double level_db) {
    int n = CCDFSamples();
    double mean = MeanPower(n, nullptr);
    if (!(mean > 0.0)) return 0.0;
    double threshold = mean * std::pow(10.0, level_db / 10.0);
    int above = 0;
    for (int i = 0; i < n; ++i)
        if (SamplePower(i) >= threshold) ++above;
    return 100.0 * above / n;
}

void FormatDecibels(double value, char* out, int size) {
    if (!out || size < 1) return;
    if (std::isnan(value))
        std::snprintf(out, size, "nan");
    else if (std::isinf(value))
        std::snprintf(out, size, value > 0 ? "inf" : "-inf");
    else
        std::snprintf(out, size, "%.3f", value);
}

// ---------------------------------------------------------------------------

int32_t DacLevels(int32_t instrument_type) {
    const InstrumentTraits* traits = InstrumentTraitsOf(instrument_type);
    return traits ? traits->dac_levels : 65536;
}

void QuantizeToConverter(double* samples, int n, float full_scale, int32_t levels) {
    const double full = full_scale, L = levels;
    if (!(full > 0.0) || !(L >= 2.0)) return;
    for (int s = 0; s < n; ++s) {
        double code = std::floor(samples[s] / full * L / 2.0);
        // The converter clips what lies beyond its codes (a fixed level below the peak).
        code = std::clamp(code, -L / 2.0, L / 2.0 - 1.0);
        samples[s] = code * 2.0 * full / L;
    }
}

void SpectrumPreview(int32_t instrument_type) {
    QuantizeToConverter(FFT_Array, FFT_POINTS, max_value, DacLevels(instrument_type));
    BkmanWin(FFT_Array, FFT_POINTS);
    Spectrum(FFT_Array, FFT_POINTS);
    // A bin of exactly no power would be minus infinity; -300 dB lies far below any converter.
    constexpr double floor_power = 1e-30;
    double top = -HUGE_VAL;
    for (int k = 0; k < SPECTRUM_BINS; ++k) {
        FFT_Array[k] = 10.0 * std::log10(std::max(FFT_Array[k], floor_power));
        if (k > 0) top = std::max(top, FFT_Array[k]);
    }
    spectrum_top = top;
}

double SpectrumBinMHz(int32_t k) { return k * record_clock / FFT_POINTS / 1e6; }

int32_t SpectrumBin(double frequency_hz) {
    if (!(record_clock > 0.0)) return 0;
    double bin = std::floor(FFT_POINTS * frequency_hz / record_clock + 0.5);
    if (!(bin > 0.0)) return 0;
    return bin >= SPECTRUM_BINS - 1 ? SPECTRUM_BINS - 1 : static_cast<int32_t>(bin);
}

// ---------------------------------------------------------------------------

double pulse_x[FIR_ROW_LENGTH];
double pulse_y[FIR_ROW_LENGTH];
int32_t pulse_count;
char pulse_note[PULSE_NOTE_SIZE];

int BuildPulsePlot(int32_t r) {
    pulse_count = 0;
    pulse_note[0] = 0;
    if (r < 0 || r >= MAX_CARRIERS) {
        std::snprintf(pulse_note, sizeof pulse_note, "No reference carrier.");
        return PULSE_NONE;
    }
    const Carrier& c = signals[r];
    const char* name = ModulationDisplayName(c.modulation);
    const int kind = ModKind(c.modulation);
    if (kind == MOD_KIND_TONE) {
        std::snprintf(pulse_note, sizeof pulse_note, "No pulse: the reference is an unmodulated tone.");
        return PULSE_NONE;
    }
    if (kind == MOD_KIND_ANALOG) {
        std::snprintf(pulse_note, sizeof pulse_note, "No pulse: the reference is an analog %s tone.",
                      name ? name : "");
        return PULSE_NONE;
    }
    if (c.filter_type == FILTER_NONE) {
        // Each symbol held for one symbol period.
        const double x[] = {-1.0, -0.5, -0.5, 0.5, 0.5, 1.0}, y[] = {0.0, 0.0, 1.0, 1.0, 0.0, 0.0};
        pulse_count = 6;
        std::copy(x, x + 6, pulse_x);
        std::copy(y, y + 6, pulse_y);
        return PULSE_HELD;
    }
    int32_t entries = PulseEntries(c.filter_length);
    if (entries <= 0 || entries > FIR_ROW_LENGTH) {
        std::snprintf(pulse_note, sizeof pulse_note, "No pulse: the filter length %d has no pulse table.",
                      c.filter_length);
        return PULSE_NONE;
    }
    int32_t peak = 0;
    for (int32_t j = 1; j < entries; ++j)
        if (std::fabs(FIR[r][j]) > std::fabs(FIR[r][peak])) peak = j;
    for (int32_t j = 0; j < entries; ++j) {
        pulse_x[j] = (j - peak) / static_cast<double>(POINTS_PER_SYMBOL);
        pulse_y[j] = FIR[r][j];
    }
    pulse_count = entries;
    return PULSE_FILTER;
}
