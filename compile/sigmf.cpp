#include "compile/sigmf.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "compile/engine.h"
#include "compile/iqformats.h"
#include "shell/codes.h"
#include "shell/hooks.h"
#include "shell/safefile.h"
#include "shell/uldo.h"
#include "shell/modtraits.h"

namespace {

// "QPSK, 3.841395 Msym/s, filter SQRT_RCOS 0.22 over 33 symbols, -6.021 dBm".
std::string CarrierComment(int c, const Carrier& carrier, const float* power_dbm) {
    char text[256];
    std::string out = CodeName(CODE_MODULATION, carrier.modulation);
    const int m = carrier.modulation;
    const int kind = ModKind(m);
    if (kind == MOD_KIND_ANALOG) {
        std::snprintf(text, sizeof text, ", tone %.6f MHz, %s %g", carrier.symbol_rate / 1e6,
                      analog_param_unit[ModTraits(m).analog],
                      static_cast<double>(carrier.filter_param));
        out += text;
    } else if (kind != MOD_KIND_TONE) {
        std::snprintf(text, sizeof text, ", %.6f Msym/s, filter %s %g over %d symbols", carrier.symbol_rate / 1e6,
                      CodeName(CODE_FILTER, carrier.filter_type), static_cast<double>(carrier.filter_param),
                      carrier.filter_length);
        out += text;
    }
    if (power_dbm && std::isfinite(power_dbm[c])) {
        std::snprintf(text, sizeof text, ", %.3f dBm", static_cast<double>(power_dbm[c]));
        out += text;
    } else {
        out += ", power n/a";
    }
    return out;
}

}  // namespace

std::string SigmfMetaText(const SigmfRecording& r) {
    using nlohmann::ordered_json;
    ordered_json global = {{"core:datatype", r.datatype},
                           {"core:sample_rate", r.sample_rate},
                           {"core:version", "1.0.0"},
                           {"core:num_channels", 1},
                           {"core:description", r.description ? r.description : ""},
                           {"core:recorder", r.recorder ? r.recorder : ""},
                           {"core:hw", r.hw ? r.hw : ""}};
    ordered_json captures = ordered_json::array();
    captures.push_back({{"core:sample_start", 0}, {"core:frequency", r.frequency}});
    ordered_json annotations = ordered_json::array();
    for (int c = 0; c < compile_carriers && c < MAX_CARRIERS; ++c) {
        const Carrier& carrier = signals[c];
        const double f = carrier.frequency_hz;
        const double half = OccupiedBandwidth(carrier) / 2.0;
        char label[64];
        std::snprintf(label, sizeof label, "carrier %d %s", c + 1, CodeName(CODE_MODULATION, carrier.modulation));
        annotations.push_back({{"core:sample_start", 0},
                               {"core:sample_count", r.samples},
                               {"core:freq_lower_edge", f - half},
                               {"core:freq_upper_edge", f + half},
                               {"core:label", label},
                               {"core:comment", CarrierComment(c, carrier, r.power_dbm)}});
    }
    ordered_json meta = {{"global", global}, {"captures", captures}, {"annotations", annotations}};
    return meta.dump(2) + "\n";
}

int WriteSigmfMeta(const char* path, const SigmfRecording& recording) {
    std::string text = SigmfMetaText(recording);
    if (WriteFileAtomically(path, text.data(), static_cast<long>(text.size())) == 0) return 0;
    std::string message = std::string("File Writing Error (14)\n") + safe_file_problem;
    ReportMessage("", message.c_str());
    return -1;
}

std::string SigmfBaseName(const std::string& path) {
    for (const char* ext : {".sigmf-data", ".sigmf-meta", ".sigmf"}) {
        std::string e = ext;
        if (path.size() > e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0)
            return path.substr(0, path.size() - e.size());
    }
    return path;
}
