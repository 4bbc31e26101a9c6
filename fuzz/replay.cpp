// Replays inputs through a fuzz target without libFuzzer: every file named on
// the command line, and every file in a folder named there. A crash or a
// sanitizer report fails the run; otherwise it prints how many were replayed.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

int main(int argc, char** argv) {
    std::vector<std::string> files;
    for (int a = 1; a < argc; ++a) {
        std::filesystem::path p = argv[a];
        std::error_code error;
        if (std::filesystem::is_directory(p, error)) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(p))
                if (e.is_regular_file() && e.path().filename() != "README.md") files.push_back(e.path().string());
        } else if (std::filesystem::exists(p, error)) {
            files.push_back(p.string());
        } else {
            std::fprintf(stderr, "replay: no such input %s\n", argv[a]);
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "replay: cannot read %s\n", f.c_str());
            return 2;
        }
        std::fprintf(stderr, "%s\n", f.c_str());  // the last one named is the one that failed
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("replayed %zu input%s\n", files.size(), files.size() == 1 ? "" : "s");
    return 0;
}
