#include "compile/recordstats.h"

#include <cmath>
#include <cstdio>

RecordStats rf_record_stats;
RecordStats iq_record_stats;
int measure_records = 0;

double AddPowers(PowerHistogram* h, const float* re, const float* im, int count, float* peak_power) {
    double energy = 0.0;
    float peak = *peak_power;
    for (int m = 0; m < count; ++m) {
        float p = im ? re[m] * re[m] + im[m] * im[m] : re[m] * re[m];
        if (!(p == p)) p = 0.0f;  // a NaN fails the pass elsewhere; it counts as silence here
        ++h->count[PowerBin(p)];
        energy += static_cast<double>(p);
        if (p > peak) peak = p;
    }
    *peak_power = peak;
    return energy;
}

void ClearRecordStats(RecordStats* s) { std::memset(s, 0, sizeof *s); }

void AddHistogram(RecordStats* s, PowerHistogram* h) {
    for (int b = 0; b < POWER_BINS; ++b) {
        s->count[b] += h->count[b];
        h->count[b] = 0;
    }
}

double RecordPeakToAverage(const RecordStats& s) {
    if (s.samples < 1 || !(s.energy > 0.0)) return 0.0;
    double r = 10.0 * std::log10(s.peak_power / (s.energy / static_cast<double>(s.samples)));
    return std::isfinite(r) && r > 0.0 ? r : 0.0;
}

double RecordPercentAbove(const RecordStats& s, double level_db) {
    if (s.samples < 1 || !(s.energy > 0.0)) return 0.0;
    const double threshold = s.energy / static_cast<double>(s.samples) * std::pow(10.0, level_db / 10.0);
    const int from = PowerBin(static_cast<float>(threshold));
    int64_t above = 0;
    for (int b = from; b < POWER_BINS; ++b) above += s.count[b];
    return 100.0 * static_cast<double>(above) / static_cast<double>(s.samples);
}

namespace {

const char* const kLabels[2] = {"RF record", "I/Q record"};
const char* const kKeys[2] = {"rf", "iq"};

const RecordStats* Measured(int k) {
    const RecordStats* s = k == 0 ? &rf_record_stats : &iq_record_stats;
    return s->valid ? s : nullptr;
}

}  // namespace

std::string RecordStatsText() {
    std::string out;
    char line[200];
    for (int k = 0; k < 2; ++k) {
        const RecordStats* s = Measured(k);
        if (!s) continue;
        std::snprintf(line, sizeof line, "%-15speak-to-average %.3f dB over all %lld samples (%s)\n",
                      k == 0 ? "CCDF RF record" : "CCDF I/Q rec.", RecordPeakToAverage(*s),
                      static_cast<long long>(s->samples),
                      k == 0 ? "the composite as written" : "the complex baseband as written, |I + jQ|^2");
        out += line;
        out += "               samples at or above the average";
        const char* separator = " ";
        for (double level : {2.0, 4.0, 6.0, 8.0}) {
            std::snprintf(line, sizeof line, "%s+%.0f dB %.4f %%", separator, level, RecordPercentAbove(*s, level));
            out += line;
            separator = ", ";
        }
        out += '\n';
    }
    return out;
}

nlohmann::ordered_json RecordStatsJson() {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    for (int k = 0; k < 2; ++k) {
        const RecordStats* s = Measured(k);
        if (!s) continue;
        nlohmann::ordered_json above = nlohmann::ordered_json::object();
        for (int level : {2, 4, 6, 8}) above[std::to_string(level)] = RecordPercentAbove(*s, level);
        out[kKeys[k]] = {{"record", kLabels[k]},
                         {"samples", s->samples},
                         {"peak_to_average_db", RecordPeakToAverage(*s)},
                         {"percent_above_db", above}};
    }
    return out;
}
