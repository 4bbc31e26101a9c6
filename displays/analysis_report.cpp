#include "displays/analysis_report.h"

#include <cmath>
#include <cstdio>

#include "displays/power.h"

std::string AnalysisReportText() {
    std::string out = "power table    carrier  frequency MHz | power dBm\n";
    char line[200];
    BuildPowerTable();
    for (int i = 0; i < power_row_count; ++i) {
        std::snprintf(line, sizeof line, "               %5d %s\n", power_rows[i].carrier + 1, power_rows[i].text);
        out += line;
    }
    std::snprintf(line, sizeof line, "back-off       %.3f dB (10 dBm - total power of %.3f dBm)\n",
                  static_cast<double>(power_summary), 10.0 * std::log10(power_total_mw));
    out += line;
    std::snprintf(line, sizeof line, "CCDF           peak-to-average %.3f dB\n", BuildCCDF());
    out += line;
    out += "               samples at or above the average";
    const char* separator = " ";
    for (double level : {2.0, 4.0, 6.0, 8.0}) {
        std::snprintf(line, sizeof line, "%s+%.0f dB %.4f %%", separator, level, CCDFPercentAbove(level));
        out += line;
        separator = ", ";
    }
    out += '\n';
    return out;
}
