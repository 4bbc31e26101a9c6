// Power statistics of the records as they are written: the composite RF
// record and the complex-baseband record, over every sample (the analysis
// CCDF describes the display baseband of the first samples only).
//
// The mean power is summed per block in block order and the levels are
// counted in integer bins, so the figures do not depend on the number of
// threads. A bin is the top 15 bits of the float power (exponent and 7
// mantissa bits): levels are resolved to 0.03 dB.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

constexpr int POWER_BINS = 1 << 15;

struct PowerHistogram {
    int64_t count[POWER_BINS];
};

struct RecordStats {
    int valid;           // measured in the last compile
    int64_t samples;
    double energy;       // sum of the powers
    double peak_power;
    int64_t count[POWER_BINS];
};
// Written by pass 0 when measure_records is set; read by the reports; valid
// while `valid` (cleared at the start of each compile).
extern RecordStats rf_record_stats;   // composite RF record
extern RecordStats iq_record_stats;   // complex record (|z|^2), when that pass runs
// Pass 0 measures them only when asked (uldoc's report; off by default, as
// the count costs a little in every sample). Written by the driver before a
// compile, read by pass 0.
extern int measure_records;

inline int PowerBin(float power) {
    uint32_t bits;
    std::memcpy(&bits, &power, 4);
    return static_cast<int>((bits >> 16) & (POWER_BINS - 1));
}

// Adds the powers of count samples (im null: a real record) to a histogram;
// returns their sum, in sample order.
double AddPowers(PowerHistogram* histogram, const float* re, const float* im, int count, float* peak_power);

void ClearRecordStats(RecordStats* stats);
void AddHistogram(RecordStats* stats, PowerHistogram* histogram);  // and clears the histogram

// Peak-to-average power ratio, dB (0 for a silent record).
double RecordPeakToAverage(const RecordStats& stats);
// Percent of the samples whose power is at least level_db above the mean.
double RecordPercentAbove(const RecordStats& stats, double level_db);

// Report lines and the JSON object "record_ccdf" of the measured records.
std::string RecordStatsText();
nlohmann::ordered_json RecordStatsJson();
