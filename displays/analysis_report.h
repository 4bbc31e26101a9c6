// Text report of the analysis of the last compile for the command-line
// compiler: the power table and the CCDF figures.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

// Power table (frequency in MHz and power in dBm per carrier, "n/a" where the
// modulation has no defined power) with its summary value, the peak-to-average
// ratio of the display baseband and the percentages at or above 2, 4, 6 and
// 8 dB over its average power.
std::string AnalysisReportText();
// The same as JSON: power_table {carriers: [{carrier, frequency_mhz,
// power_dbm (null for "n/a")}], total_power_dbm, back_off_db} and ccdf
// {peak_to_average_db, percent_above_db: {"2", "4", "6", "8"}}.
nlohmann::ordered_json AnalysisReportJson();

// Heading of a display's printout: the title, the carrier table's file name and
// comment, and the date and time of printing (local time), one per line.
std::string PrintHeading(const char* title);
