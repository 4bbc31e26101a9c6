#include "shell/levels.h"

#include <cmath>

int CheckFileLevel(double value, const char** why) {
    if (std::isnan(value)) {
        *why = "is not a number (NaN)";
        return -1;
    }
    if (std::isinf(value)) {
        *why = "is infinite";
        return -1;
    }
    if (std::fabs(value) > LEVEL_LIMIT) {
        *why = "is out of range (at most 1e6 in magnitude)";
        return -1;
    }
    return 0;
}
