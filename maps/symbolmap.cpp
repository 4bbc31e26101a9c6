// The map editor's operations on `map` and the "*.smp" image.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "maps/maps.h"
#include "shell/hooks.h"
#include "shell/modtraits.h"
#include "shell/safefile.h"

void ClearMap() {
    std::memset(map.map_name, 0, sizeof map.map_name);
    map.num_points = 0;
    map.rotation_mode = 0;
    map.offset_q = 0;
    map.rotation_step = 0;
    map.spare_setting = 0;
    std::memset(map.reserved_text, 0, sizeof map.reserved_text);
    map_editor.next_point = 0;
    map_editor.edit_point = 0;
}

int MapPointCount() {
    if (map.num_points < 0) return 0;
    return map.num_points > MAX_MAP_POINTS ? MAX_MAP_POINTS : map.num_points;
}

namespace {

// Grid cell j of a width x width grid centred on the origin.
void GridPoint(int s, int j, int width, double centre) {
    map.point_i[s] = static_cast<float>(j % width - centre);
    map.point_q[s] = static_cast<float>(j / width - centre);
}

}  // namespace

int MapQam(int code) {
    int count = 0;
    switch (code) {
    case MOD_BPSK:
        count = 2;
        map.point_i[0] = -1; map.point_q[0] = 0;
        map.point_i[1] = 1;  map.point_q[1] = 0;
        break;
    case MOD_QPSK:
        count = 4;
        for (int s = 0; s < 4; ++s) {
            map.point_i[s] = s % 2 ? 1.0f : -1.0f;
            map.point_q[s] = s / 2 ? 1.0f : -1.0f;
        }
        break;
    case MOD_QAM16:
    case MOD_QAM64:
    case MOD_QAM256: {  // the square grid iq draws: 2^(bits/2) levels per axis around its scale
        const ModulationTraits& t = ModTraits(code);
        count = 1 << t.bits;
        for (int s = 0; s < count; ++s) GridPoint(s, s, 1 << (t.bits / 2), t.scale);
        break;
    }
    case MOD_QAM32:  // 6 x 6 without its four corner cells
        count = 32;
        for (int s = 0; s < count; ++s) GridPoint(s, s < 4 ? s + 1 : s < 28 ? s + 2 : s + 3, 6, 2.5);
        break;
    case MOD_QAM128:  // 12 x 12 without a 2 x 2 block in each corner
        count = 128;
        for (int s = 0; s < count; ++s) {
            int j = s < 8 ? s + 2 : s < 16 ? s + 6 : s < 112 ? s + 8 : s < 120 ? s + 10 : s + 14;
            GridPoint(s, j, 12, 5.5);
        }
        break;
    default:
        break;
    }
    if (count > 0) map.num_points = count;
    map_editor.next_point = MapPointCount();
    return count;
}

void MapOffset(double offset_i, double offset_q) {
    for (int k = 0; k < MapPointCount(); ++k) {
        map.point_i[k] = static_cast<float>(map.point_i[k] + offset_i);
        map.point_q[k] = static_cast<float>(map.point_q[k] + offset_q);
    }
}

void MapRotate(double degrees) {
    double a = degrees * PI_DOUBLE / 180.0;
    double c = std::cos(a), s = std::sin(a);
    for (int k = 0; k < MapPointCount(); ++k) {
        double i = map.point_i[k], q = map.point_q[k];
        map.point_i[k] = static_cast<float>(i * c - q * s);
        map.point_q[k] = static_cast<float>(i * s + q * c);
    }
}

void MapScale(double percent_i, double percent_q) {
    for (int k = 0; k < MapPointCount(); ++k) {
        map.point_i[k] = static_cast<float>(map.point_i[k] * percent_i / 100.0);
        map.point_q[k] = static_cast<float>(map.point_q[k] * percent_q / 100.0);
    }
}

int MapStorePoint(int index, float point_i, float point_q) {
    if (index < 0 || index > map_editor.next_point || index >= MAX_MAP_POINTS) {
        char text[160];
        if (index >= MAX_MAP_POINTS)
            std::snprintf(text, sizeof text, "The symbol map is full: it holds at most %d points.", MAX_MAP_POINTS);
        else
            std::snprintf(text, sizeof text, "Point %d is outside the symbol map (%d points).", index, map_editor.next_point);
        ReportMessage("", text);
        return -1;
    }
    map.point_i[index] = point_i;
    map.point_q[index] = point_q;
    if (index == map_editor.next_point) {
        ++map_editor.next_point;
        map_editor.edit_point = map_editor.next_point;
        map.num_points = map_editor.next_point;
    }
    return 0;
}

int MapDeletePoint(int index) {
    int count = MapPointCount();
    if (index < 0 || index >= count) return -1;
    map_editor.edit_point = index;
    for (int k = index; k + 1 < count; ++k) {
        map.point_i[k] = map.point_i[k + 1];
        map.point_q[k] = map.point_q[k + 1];
    }
    if (map_editor.next_point > 0) --map_editor.next_point;
    if (map.num_points > 0) --map.num_points;
    return 0;
}

void MapPointRow(int index, char* text, int size) {
    if (index < 0 || index >= MAX_MAP_POINTS) { if (size > 0) text[0] = 0; return; }
    double i = map.point_i[index], q = map.point_q[index];
    std::snprintf(text, size, "  %3d | %+10.6f  | %+10.6f  | %10.6f  |  %+8.3f  ", index, i, q,
                  std::sqrt(i * i + q * q), std::atan2(q, i) * 180.0 / PI_DOUBLE);
}

int CheckMapImage(const SymbolMap& image, char* why, int size) {
    if (image.num_points < 0 || image.num_points > MAX_MAP_POINTS) {
        std::snprintf(why, size, "the map holds %d points; a symbol map holds 0 to %d", image.num_points,
                      MAX_MAP_POINTS);
        return -1;
    }
    return 0;
}

int LoadSymbolMap(const char* path, const char* error_line) {
    static SymbolMap image;  // read whole before `map` changes
    std::string why;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        ReportFileError(error_line, path, errno);
        return -1;
    }
    std::size_t got = std::fread(&image, 1, sizeof image, f);
    int error = std::ferror(f) ? errno : 0;
    bool longer = got == sizeof image && std::fgetc(f) != EOF;
    std::fclose(f);
    char reason[200];
    if (error) {
        ReportFileError(error_line, path, error);
        return -1;
    }
    if (got != sizeof image || longer) {
        std::snprintf(reason, sizeof reason, "the file is %s than the %d bytes of a symbol map",
                      longer ? "longer" : "shorter", static_cast<int>(sizeof image));
        why = reason;
    } else if (CheckMapImage(image, reason, sizeof reason) != 0) {
        why = reason;
    }
    if (!why.empty()) {
        std::string text = std::string(error_line) + "\n" + path + ": " + why;
        ReportMessage("", text.c_str());
        return -1;
    }
    std::memcpy(&map, &image, sizeof map);
    return 0;
}

int SaveSymbolMap(const char* path, const char* error_line) {
    if (WriteFileAtomically(path, &map, sizeof map) == 0) return 0;
    std::string text = std::string(error_line) + "\n" + safe_file_problem;
    ReportMessage("", text.c_str());
    return -1;
}
