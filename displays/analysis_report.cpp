#include "displays/analysis_report.h"

#include <cstdio>

#include "displays/power.h"

std::string AnalysisReportText() {
    std::string out = "Power table\n Frequency [MHz] | Power [dBm]\n";
    char line[160];
    BuildPowerTable();
    for (int i = 0; i < power_row_count; ++i) {
        out += power_rows[i].text;
        out += '\n';
    }
    std::snprintf(line, sizeof line, "Back-off from full scale (10 - total dBm): %.3f dB\n",
                  static_cast<double>(power_summary));
    out += line;
    double ratio = BuildCCDF();
    std::snprintf(line, sizeof line, "CCDF: peak-to-average %.3f dB", ratio);
    out += line;
    for (double level : {2.0, 4.0, 6.0, 8.0}) {
        std::snprintf(line, sizeof line, ", %.0f dB: %.4f %%", level, CCDFPercentAbove(level));
        out += line;
    }
    out += '\n';
    return out;
}
