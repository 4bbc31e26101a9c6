// uldoc map: builds a symbol map with the same core functions as the map
// editor's dialogs, applied in the order given, and writes the .smp image.
#include "cli/mapcmd.h"

#include "cli/args.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "maps/maps.h"
#include "shell/hooks.h"
#include "shell/uldo.h"

const char* const uldoc_map_usage =
    "Usage: uldoc map [operations] -o MAP.smp|MAP.json\n"
    "\n"
    "Makes a symbol map for FILE 3 carriers with the map editor's operations, applied\n"
    "in the order given, and writes its 8568-byte image (or its JSON form for .json).\n"
    "\n"
    "  --qam CODE            a regular grid: 11 BPSK, 1 QPSK, 2 QAM16, 3 QAM32, 4 QAM64,\n"
    "                        9 QAM128, 5 QAM256\n"
    "  --offset I,Q          add I and Q to every point\n"
    "  --rotate DEG          turn every point counter-clockwise\n"
    "  --scale PI,PQ         multiply I by PI % and Q by PQ %\n"
    "  --rotation-mode M     per-symbol rotation: 0 none, 1 progressive, 2 alternate\n"
    "  --rotation-step DEG   rotation per symbol\n"
    "  --offset-q 0|1        Q staggered by half a symbol\n"
    "  --name TEXT           the map's name (at most 255 characters)\n"
    "  -o, --output MAP      the map file to write\n";

namespace {

constexpr int EXIT_USAGE = 2;
constexpr int EXIT_REFUSED = 1;

int Usage(const std::string& problem) {
    std::fprintf(stderr, "uldoc map: %s\n(uldoc map --help lists the options)\n", problem.c_str());
    return EXIT_USAGE;
}

bool Real(const char* text, double* value) { return ParseNumber(text, -1e308, 1e308, value) == 0; }

bool Pair(const char* text, double* a, double* b) {
    const char* comma = std::strchr(text, ',');
    if (!comma) return false;
    std::string first(text, comma);
    return Real(first.c_str(), a) && Real(comma + 1, b);
}

void TerminalMessage(const char* title, const char* text) {
    std::fprintf(stderr, "uldoc map: %s%s%s\n", title, *title ? ": " : "", text);
}

}  // namespace

int RunMap(int argc, char** argv) {
    core_hooks.message = TerminalMessage;
    ResetRecords();
    ClearMap();
    const char* output = nullptr;
    for (int at = 1; at < argc; ++at) {
        ArgumentOption given;
        if (SplitArgument(argv[at], &given) != 0) return Usage("unknown option \"" + std::string(argv[at]) + "\"");
        std::string name = given.name;
        if (name == "-h" || name == "--help") {
            if (given.value) return Usage("unknown option \"" + std::string(argv[at]) + "\"");
            std::fputs(uldoc_map_usage, stdout);
            return 0;
        }
        if (name.empty()) return Usage("unexpected argument \"" + std::string(argv[at]) + "\"");
        const char* value = ArgumentValue(&given, argc, argv, &at);
        if (!value) return Usage(name + " needs a value");
        double a = 0, b = 0;
        if (name == "-o" || name == "--output") {
            if (!*value) return Usage(name + " needs a file name");
            output = value;
        } else if (name == "--qam") {
            if (!Real(value, &a) || a != std::floor(a) || MapQam(static_cast<int>(a)) == 0)
                return Usage("--qam takes 11, 1, 2, 3, 4, 9 or 5, not \"" + std::string(value) + "\"");
        } else if (name == "--offset") {
            if (!Pair(value, &a, &b)) return Usage("--offset takes I,Q, not \"" + std::string(value) + "\"");
            MapOffset(a, b);
        } else if (name == "--rotate") {
            if (!Real(value, &a)) return Usage("--rotate takes degrees, not \"" + std::string(value) + "\"");
            MapRotate(a);
        } else if (name == "--scale") {
            if (!Pair(value, &a, &b)) return Usage("--scale takes PI,PQ in %, not \"" + std::string(value) + "\"");
            MapScale(a, b);
        } else if (name == "--rotation-mode") {
            if (!Real(value, &a) || (a != 0 && a != 1 && a != 2))
                return Usage("--rotation-mode takes 0, 1 or 2, not \"" + std::string(value) + "\"");
            map.rotation_mode = static_cast<int>(a);
        } else if (name == "--rotation-step") {
            if (!Real(value, &a)) return Usage("--rotation-step takes degrees, not \"" + std::string(value) + "\"");
            // Stored in radians, as the editor stores it.
            map.rotation_step = static_cast<float>(a * PI_DOUBLE / 180.0);
        } else if (name == "--offset-q") {
            if (std::strcmp(value, "0") != 0 && std::strcmp(value, "1") != 0)
                return Usage("--offset-q takes 0 or 1, not \"" + std::string(value) + "\"");
            map.offset_q = value[0] - '0';
        } else if (name == "--name") {
            if (!SetField(map.map_name, value)) return Usage("--name takes at most 255 characters");
        } else {
            return Usage("unknown option \"" + name + "\"");
        }
    }
    if (!output) return Usage("-o names the map file to write");
    std::string out = output;
    const bool json = out.size() >= 5 && out.compare(out.size() - 5, 5, ".json") == 0;
    if ((json ? WriteSymbolMapJson(output) : SaveSymbolMap(output, "File Opening Error (11)")) != 0) return EXIT_REFUSED;
    std::printf("map            %s: %d points\n", output, map.num_points);
    return 0;
}
