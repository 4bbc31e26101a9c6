// Open file descriptors of the test process, to catch a file or socket an
// operation leaves open.
#pragma once

#include <filesystem>

inline int OpenDescriptors() {
    int n = 0;
    for (auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++n;
    }
    return n;
}
