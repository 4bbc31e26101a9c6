// The JSON form of a symbol map: its header and the defined points as
// [i, q] pairs. The image's reserved text and the points beyond num_points
// have no place in it.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <strings.h>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "maps/maps.h"
#include "shell/hooks.h"
#include "shell/safefile.h"

using nlohmann::ordered_json;

int WriteSymbolMapJson(const char* path) {
    ordered_json j;
    j["map_name"] = FieldText(map.map_name);
    j["rotation_mode"] = map.rotation_mode;
    j["offset_q"] = map.offset_q;
    j["rotation_step_deg"] = static_cast<double>(map.rotation_step) * 180.0 / PI_DOUBLE;
    j["spare_setting"] = map.spare_setting;
    ordered_json points = ordered_json::array();
    for (int k = 0; k < MapPointCount(); ++k)
        points.push_back({static_cast<double>(map.point_i[k]), static_cast<double>(map.point_q[k])});
    j["points"] = points;
    std::string text = j.dump(1) + "\n";
    if (WriteFileAtomically(path, text.data(), static_cast<long>(text.size())) == 0) return 0;
    std::string message = std::string("File Opening Error (11)\n") + safe_file_problem;
    ReportMessage("", message.c_str());
    return -1;
}

namespace {

int Refuse(const char* path, const std::string& why) {
    std::string text = std::string(path) + ": " + why;
    ReportMessage("", text.c_str());
    return -1;
}

// A map's coordinates are floats: a larger number would become infinite.
bool FitsFloat(double d) { return std::isfinite(d) && std::fabs(d) <= FLT_MAX; }

bool Integer(const ordered_json& v, int lo, int hi, int* out) {
    if (!v.is_number_integer()) return false;
    long long n = v.get<long long>();
    if (n < lo || n > hi) return false;
    *out = static_cast<int>(n);
    return true;
}

}  // namespace

int ReadSymbolMapJson(const char* path, const char* error_line) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ReportFileError(error_line, path, errno);
        return -1;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    ordered_json j = ordered_json::parse(buffer.str(), nullptr, false);
    if (j.is_discarded() || !j.is_object()) return Refuse(path, "is not a JSON symbol map");
    static SymbolMap image;
    std::memset(&image, 0, sizeof image);
    for (auto it = j.begin(); it != j.end(); ++it) {
        const std::string& key = it.key();
        const ordered_json& v = it.value();
        if (key == "map_name") {
            if (!v.is_string() || !SetField(image.map_name, v.get<std::string>()))
                return Refuse(path, "map_name: must be a text of at most 255 characters");
        } else if (key == "rotation_mode") {
            if (!Integer(v, 0, 2, &image.rotation_mode)) return Refuse(path, "rotation_mode: must be 0, 1 or 2");
        } else if (key == "offset_q") {
            if (!Integer(v, 0, 1, &image.offset_q)) return Refuse(path, "offset_q: must be 0 or 1");
        } else if (key == "rotation_step_deg") {
            if (!v.is_number() || !FitsFloat(v.get<double>()))
                return Refuse(path, "rotation_step_deg: must be a number within +-3.4e38");
            image.rotation_step = static_cast<float>(v.get<double>() * PI_DOUBLE / 180.0);
        } else if (key == "spare_setting") {
            if (!Integer(v, INT32_MIN, INT32_MAX, &image.spare_setting))
                return Refuse(path, "spare_setting: must be an integer");
        } else if (key == "points") {
            if (!v.is_array()) return Refuse(path, "points: must be an array of [i, q] pairs");
            if (v.size() > MAX_MAP_POINTS)
                return Refuse(path, "points: holds " + std::to_string(v.size()) + " points; a symbol map holds at most 1024");
            for (std::size_t k = 0; k < v.size(); ++k) {
                const ordered_json& p = v[k];
                if (!p.is_array() || p.size() != 2 || !p[0].is_number() || !p[1].is_number())
                    return Refuse(path, "points[" + std::to_string(k) + "]: must be an [i, q] pair of numbers");
                if (!FitsFloat(p[0].get<double>()) || !FitsFloat(p[1].get<double>()))
                    return Refuse(path, "points[" + std::to_string(k) + "]: i and q must lie within +-3.4e38");
                image.point_i[k] = static_cast<float>(p[0].get<double>());
                image.point_q[k] = static_cast<float>(p[1].get<double>());
            }
            image.num_points = static_cast<int>(v.size());
        } else {
            return Refuse(path, "unknown field \"" + key + "\"");
        }
    }
    std::memcpy(&map, &image, sizeof map);
    return 0;
}

namespace {

bool HasExtension(const char* path, const char* extension) {
    std::size_t n = std::strlen(path), e = std::strlen(extension);
    return n >= e && strcasecmp(path + n - e, extension) == 0;
}

}  // namespace

bool IsMapConversion(const char* from, const char* to) {
    return (from && HasExtension(from, ".smp")) || (to && HasExtension(to, ".smp"));
}

int ConvertSymbolMap(const char* from, const char* to) {
    if (!to || !(HasExtension(to, ".smp") || HasExtension(to, ".json"))) {
        Refuse(to ? to : "", "a symbol map is written as .smp or .json");
        return 2;
    }
    int read = HasExtension(from, ".json") ? ReadSymbolMapJson(from, "File Opening Error (10)") : LoadSymbolMap(from, "File Opening Error (10)");
    if (read != 0) return 1;
    int written = HasExtension(to, ".json") ? WriteSymbolMapJson(to) : SaveSymbolMap(to, "File Opening Error (11)");
    return written == 0 ? 0 : 3;
}
