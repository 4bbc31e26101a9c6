// Text report of the analysis of the last compile for the command-line
// compiler: the power table and the CCDF figures.
#pragma once

#include <string>

// Power table (frequency in MHz and power in dBm per carrier, "n/a" where the
// modulation has no defined power) with its summary value, the peak-to-average
// ratio of the display baseband and the percentages at or above 2, 4, 6 and
// 8 dB over its average power.
std::string AnalysisReportText();
