#include "compile/report.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "compile/engine.h"
#include "shell/codes.h"
#include "shell/uldo.h"
#include "shell/modtraits.h"

namespace {

void Append(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string* out, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    *out += line;
}

// "888.889 us", "1.600000 ms", "2.000000 s".
void AppendDuration(std::string* out, double seconds) {
    if (seconds < 1e-3) Append(out, "%.3f us", seconds * 1e6);
    else if (seconds < 1.0) Append(out, "%.6f ms", seconds * 1e3);
    else Append(out, "%.6f s", seconds);
}

}  // namespace

std::string PlanReportText() {
    std::string out;
    Append(&out, "record clock   %.6f Hz\n", record_clock);
    Append(&out, "samples        %d (", numpoints);
    AppendDuration(&out, record_clock > 0 ? numpoints / record_clock : 0.0);
    out += ")\n";
    const int ref = globals.reference_carrier >= 1 ? globals.reference_carrier - 1 : -1;
    Append(&out, "reference      carrier %d, %.3f samples per symbol\n", ref + 1,
           static_cast<double>(pointperiod));
    Append(&out, "%-8s%-12s%17s%22s%10s%16s\n", "carrier", "modulation", "frequency MHz", "symbol rate",
           "symbols", "samples/symbol");
    for (int i = 0; i < compile_carriers && i < MAX_CARRIERS; ++i) {
        const Carrier& c = signals[i];
        const char* name = ModulationDisplayName(c.modulation);
        char label[24];
        std::snprintf(label, sizeof label, "%3d%s", i + 1, i == ref ? " *" : "");
        Append(&out, "%-8s%-12s%17.6f", label, name ? name : "?", c.frequency_hz / 1e6);
        if (ModKind(c.modulation) == MOD_KIND_TONE) {
            Append(&out, "%22s%10s%16s\n", "-", "-", "-");
            continue;
        }
        char rate[40];
        if (ModKind(c.modulation) == MOD_KIND_ANALOG)
            std::snprintf(rate, sizeof rate, "%.6f kHz tone", c.symbol_rate / 1e3);
        else
            std::snprintf(rate, sizeof rate, "%.6f %s", c.symbol_rate / 1e6, ModKind(c.modulation) == MOD_KIND_CDMA ? "Mcps" : "Msym/s");
        Append(&out, "%22s%10d%16.3f\n", rate, symbols_in_record[i], static_cast<double>(samples_per_symbol[i]));
    }
    return out;
}

std::string PeaksReportText() {
    std::string out;
    Append(&out, "peaks          RF %.6f, baseband %.6f%s\n", static_cast<double>(max_value),
           static_cast<double>(max_i), globals.normalization_mode == 1 ? " (fixed normalisation level)" : "");
    Append(&out, "constellation  %d points\n", const_points);
    return out;
}

nlohmann::ordered_json PlanReportJson() {
    using nlohmann::ordered_json;
    ordered_json plan = ordered_json::object();
    plan["record_clock_hz"] = record_clock;
    plan["samples"] = numpoints;
    plan["duration_s"] = record_clock > 0 ? numpoints / record_clock : 0.0;
    plan["reference_carrier"] = globals.reference_carrier;
    plan["samples_per_symbol"] = static_cast<double>(pointperiod);
    ordered_json carriers = ordered_json::array();
    for (int i = 0; i < compile_carriers && i < MAX_CARRIERS; ++i) {
        const Carrier& c = signals[i];
        const char* name = CodeName(CODE_MODULATION, c.modulation);
        ordered_json row = {{"carrier", i + 1},
                            {"modulation", name ? ordered_json(name) : ordered_json(c.modulation)},
                            {"frequency_hz", static_cast<double>(c.frequency_hz)}};
        if (ModKind(c.modulation) == MOD_KIND_TONE) {
            row["symbol_rate"] = nullptr;
            row["symbols"] = nullptr;
            row["samples_per_symbol"] = nullptr;
        } else {
            row["symbol_rate"] = static_cast<double>(c.symbol_rate);
            row["symbols"] = symbols_in_record[i];
            row["samples_per_symbol"] = static_cast<double>(samples_per_symbol[i]);
        }
        carriers.push_back(row);
    }
    plan["carriers"] = carriers;
    return plan;
}

nlohmann::ordered_json PeaksReportJson() {
    return {{"rf", static_cast<double>(max_value)},
            {"baseband", static_cast<double>(max_i)},
            {"fixed_normalisation", globals.normalization_mode == 1},
            {"constellation_points", const_points}};
}

const char* WaveformExtension(int instrument_type, int destination) {
    const InstrumentTraits* traits = InstrumentTraitsOf(instrument_type);
    if (traits && traits->family == OUTPUT_TEXT) return traits->extension;
    if (destination == 2) return ".gpi";
    return traits ? traits->extension : ".wfm";
}

int DefaultWaveformName(char* out, int out_size, const char* table_path, int instrument_type,
                        int destination) {
    if (!out || out_size <= 0) return -1;
    out[0] = 0;
    if (!table_path) return -1;
    const char* base = table_path;
    for (const char* p = table_path; *p; ++p)
        if (*p == '/') base = p + 1;
    std::size_t stem = std::strlen(base);
    const char* dot = std::strrchr(base, '.');
    if (dot && dot != base) stem = static_cast<std::size_t>(dot - base);  // ".hidden" keeps its name
    if (stem == 0) return -1;
    const char* extension = WaveformExtension(instrument_type, destination);
    int n = std::snprintf(out, static_cast<std::size_t>(out_size), "%.*s%s", static_cast<int>(stem), base,
                          extension);
    if (n < 0 || n >= out_size) {
        out[0] = 0;
        return -1;
    }
    return 0;
}

int FormatProgressLine(char* out, int out_size, const char* status, double percent, int width) {
    if (!out || out_size <= 0) return -1;
    if (!(percent >= 0.0)) percent = 0.0;  // also NaN
    if (percent > 100.0) percent = 100.0;
    if (width < 1) width = 1;
    if (width > 200) width = 200;
    char bar[201];
    int filled = static_cast<int>(percent / 100.0 * width);
    for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '.';
    bar[width] = 0;
    int n = std::snprintf(out, static_cast<std::size_t>(out_size), "\r%-22s [%s] %3d%%", status ? status : "", bar,
                          static_cast<int>(percent));
    return n < out_size ? n : out_size - 1;
}
