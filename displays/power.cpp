// Carrier powers, the CCDF and the spectrum preview of the compiled record.
#include "displays/power.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "compile/engine.h"
#include "shaping/filters.h"
#include "shaping/windows.h"

PowerRow power_rows[MAX_CARRIERS];
int32_t power_row_count;
float power_total_mw;
float power_summary;

double ccdf_x[CCDF_BINS];
double ccdf_y[CCDF_BINS];
double ccdf_ratio;

double spectrum_top;

namespace {

// Square grid: sum over the n x n quadrant of a_i^2 + a_j^2, a_i = (2i - 1)/s,
// from `from` to n on both axes, accumulated in a 32-bit float.
float QuadrantSum(int from, int n, float s) {
    float sum = 0.0f;
    for (int i = from; i <= n; ++i)
        for (int j = from; j <= n; ++j) {
            float ai = (2.0f * i - 1.0f) / s;
            float aj = (2.0f * j - 1.0f) / s;
            sum += ai * ai + aj * aj;
        }
    return sum;
}

// Mean square of m equally spaced levels from -1 to +1.
float AxisPower(double m) { return static_cast<float>((m + 1.0) / (3.0 * (m - 1.0))); }

bool ConstantEnvelope(int32_t modulation) {
    return modulation == MOD_GMSK || modulation == MOD_NONE || modulation == MOD_FM ||
           modulation == MOD_PM || (modulation >= MOD_2FSK && modulation <= MOD_32FSK);
}

float MapPower() {
    int n = map.num_points;
    if (n < 1 || n > MAX_MAP_POINTS) return 0.0f;
    double sum = 0.0;
    for (int k = 0; k < n; ++k)
        sum += static_cast<double>(map.point_i[k]) * map.point_i[k] +
               static_cast<double>(map.point_q[k]) * map.point_q[k];
    return static_cast<float>(sum / n);
}

// An unfiltered carrier holds each symbol for one symbol: a rectangle of 50 points.
const double* HeldPulse() {
    static double pulse[FIR_ROW_LENGTH];
    if (pulse[0] == 0.0) std::fill(pulse, pulse + POINTS_PER_SYMBOL, 1.0);
    return pulse;
}

}  // namespace

float power_factor(int32_t modulation) {
    switch (modulation) {
        case MOD_QPSK: case MOD_DQPSK: case MOD_OQPSK: case MOD_CQPSK: return 2.0f;
        case MOD_QAM16: case MOD_DVBC16: return QuadrantSum(1, 2, 3.0f) / 4.0f;
        case MOD_QAM32: case MOD_DVBC32: return (QuadrantSum(1, 3, 5.0f) - 2.0f) / 8.0f;
        case MOD_QAM64: case MOD_DVBC64: return QuadrantSum(1, 4, 7.0f) / 16.0f;
        case MOD_QAM256: case MOD_DVBC256: return QuadrantSum(1, 8, 15.0f) / 64.0f;
        case MOD_QAM128: return (QuadrantSum(1, 6, 11.0f) - QuadrantSum(5, 6, 11.0f)) / 32.0f;
        case MOD_8PSK: case MOD_BPSK: case MOD_GMSK: return 1.0f;
        case MOD_QAM1024: return 2.0f * AxisPower(32);
        // Twelve points on the ring of 1/3, four on the ring of 1/6.
        case MOD_CAP16: return (12.0f / 9.0f + 4.0f / 36.0f) / 16.0f;
        // The 8-PSK circle of 1/cos(pi/8), divided by sqrt(2) by the rotation.
        case MOD_O8PSK: {
            double c = std::cos(std::acos(-1.0) / 8.0);
            return static_cast<float>(0.5 / (c * c));
        }
        case MOD_2FSK: case MOD_4FSK: case MOD_8FSK: case MOD_16FSK: case MOD_32FSK: return 1.0f;
        case MOD_IS95DL: return 2.0f;        // chips at (+-1, +-1)
        case MOD_3GPPDL: return 1.0f;        // chips on the axes at distance 1
        // I = Q on the grid, but the quarter-rate shift turns (a, a) into a e^{j phi}.
        case MOD_8VSB: return AxisPower(8);
        case MOD_16VSB: return AxisPower(16);
        case MOD_SSB: return AxisPower(65536);
        case MOD_FILE3: return MapPower();
        default: return 0.0f;
    }
}

float total_power(int32_t modulation, const double* pulse, float amplitude, float full_scale,
                  float param, int32_t filter_length) {
    float P;
    if (ConstantEnvelope(modulation)) {
        P = 1.0f;
    } else if (modulation == MOD_AM) {
        P = param / 200.0f;
        P = static_cast<float>(2.0 * std::pow(P, 2.0) + 1.0);
    } else {
        P = 0.0f;
        if (pulse && filter_length >= 1 && filter_length <= MAX_FILTER_LENGTH) {
            int32_t entries = PulseEntries(filter_length);
            for (int32_t i = 0; i < entries; ++i) P = static_cast<float>(P + std::pow(pulse[i], 2.0));
        }
        P = power_factor(modulation) * P / 50.0f;
    }
    P = P / 100.0f;
    P = static_cast<float>(P * std::pow(amplitude / full_scale, 2.0));
    return static_cast<float>(10.0 * std::log10(P / 0.001));
}

bool PowerDefined(int32_t modulation) {
    return ConstantEnvelope(modulation) || modulation == MOD_AM || power_factor(modulation) > 0.0f;
}

float CarrierPower(int32_t r) {
    if (r < 0 || r >= MAX_CARRIERS) return NAN;
    const Carrier& c = signals[r];
    const double* pulse = c.filter_type == FILTER_NONE ? HeldPulse() : FIR[r];
    return total_power(c.modulation, pulse, c.amplitude, max_value, c.filter_param, c.filter_length);
}

int BuildPowerTable() {
    power_row_count = 0;
    float total = 0.0f;
    for (int r = 0; r < MAX_CARRIERS && signals[r].frequency_hz > 0.0f; ++r) {
        PowerRow& row = power_rows[power_row_count++];
        row.carrier = r;
        row.frequency_mhz = signals[r].frequency_hz / 1e6;
        row.power_dbm = CarrierPower(r);
        // Without a full scale (a silent record) there is no power to show either.
        const bool stated = PowerDefined(signals[r].modulation) && max_value > 0.0f;
        row.defined = stated && std::isfinite(row.power_dbm);
        if (row.defined) {
            total = static_cast<float>(total + std::pow(10.0, row.power_dbm / 10.0));
            std::snprintf(row.text, sizeof row.text, " %11.6f |    %6.3f", row.frequency_mhz,
                          row.power_dbm);
        } else {
            // A carrier of amplitude 0 has no power in dBm: it says so.
            const bool silent = stated && row.power_dbm == -INFINITY;
            std::snprintf(row.text, sizeof row.text, " %11.6f |    %6s", row.frequency_mhz, silent ? "silent" : "n/a");
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
            double t = 2000.0 * std::log10(p / mean) / R + 0.5;
            // Truncation puts levels down to one step below the mean into bin 0;
            // samples within half a step of the peak round to 200 and stay in the top bin.
            if (t <= -1.0) continue;
            int k = static_cast<int>(t);
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

// ---------------------------------------------------------------------------

int32_t DacLevels(int32_t instrument_type) {
    switch (instrument_type) {
        case 0: case 5: return 1024;
        case 1: case 3: return 4096;
        case 2: case 6: return 256;
        default: return 65536;
    }
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

int32_t SpectrumBin(double frequency_hz) {
    if (!(record_clock > 0.0)) return 0;
    double bin = std::floor(FFT_POINTS * frequency_hz / record_clock + 0.5);
    if (!(bin > 0.0)) return 0;
    return bin >= SPECTRUM_BINS - 1 ? SPECTRUM_BINS - 1 : static_cast<int32_t>(bin);
}
