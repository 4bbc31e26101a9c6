#include "displays/analysis_report.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "displays/power.h"
#include "shell/uldo.h"

nlohmann::ordered_json AnalysisReportJson() {
    using nlohmann::ordered_json;
    BuildPowerTable();
    ordered_json rows = ordered_json::array();
    for (int i = 0; i < power_row_count; ++i) {
        const PowerRow& r = power_rows[i];
        const char* name = ModulationDisplayName(signals[r.carrier].modulation);
        rows.push_back({{"carrier", r.carrier + 1},
                        {"modulation", name ? name : ""},
                        {"frequency_mhz", r.frequency_mhz},
                        {"power_dbm", r.defined ? ordered_json(static_cast<double>(r.power_dbm)) : ordered_json()}});
    }
    ordered_json power = {{"carriers", rows},
                          {"total_power_dbm", 10.0 * std::log10(power_total_mw)},
                          {"back_off_db", static_cast<double>(power_summary)}};
    ordered_json ccdf = {{"peak_to_average_db", BuildCCDF()}};
    ordered_json above = ordered_json::object();
    for (int level : {2, 4, 6, 8}) above[std::to_string(level)] = CCDFPercentAbove(level);
    ccdf["percent_above_db"] = above;
    return {{"power_table", power}, {"ccdf", ccdf}};
}

std::string AnalysisReportText() {
    char line[200];
    std::snprintf(line, sizeof line, "power table    %3s  %-11s%11s |    %s\n", "no.", "modulation", "MHz", "dBm");
    std::string out = line;
    BuildPowerTable();
    for (int i = 0; i < power_row_count; ++i) {
        std::snprintf(line, sizeof line, "              %s\n", power_rows[i].text);
        out += line;
    }
    if (power_total_mw > 0.0f && std::isfinite(power_summary))
        std::snprintf(line, sizeof line, "back-off       %.3f dB (10 dBm - total power of %.3f dBm)\n",
                      static_cast<double>(power_summary), 10.0 * std::log10(power_total_mw));
    else
        std::snprintf(line, sizeof line, "back-off       not stated: no carrier has a stated power\n");
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

std::string PrintHeading(const char* title) {
    std::string out = title ? title : "";
    std::string file = FieldText(globals.table_file);
    std::string note = FieldText(comment);
    out += "\nTable: " + (file.empty() ? std::string("(not saved)") : file);
    if (!note.empty()) out += "\nComment: " + note;
    char date[64] = "";
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local)) std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
    out += std::string("\nPrinted: ") + date;
    return out;
}
