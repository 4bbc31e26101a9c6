// JSON symbol map, as uldoc convert and a FILE 3 carrier naming a .json map
// read it. A map the reader accepts must be one the compile can use.
#include <cmath>

#include "fuzz/fuzz_support.h"
#include "maps/maps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReset();
    ClearMap();
    if (ReadSymbolMapJson(FuzzFile(data, size), "File Opening Error (10)") != 0) return 0;
    char why[200];
    if (CheckMapImage(map, why, sizeof why) != 0 || !std::isfinite(map.rotation_step)) std::abort();
    for (int k = 0; k < map.num_points; ++k)
        if (!std::isfinite(map.point_i[k]) || !std::isfinite(map.point_q[k])) std::abort();
    return 0;
}
