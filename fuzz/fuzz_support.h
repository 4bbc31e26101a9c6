// Shared set-up of the fuzz targets. Every reader of the core takes a path,
// so the input goes to a file of its own in a folder of this process; the
// messages the core reports are counted, not printed, to keep the runs fast.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/hooks.h"
#include "shell/uldo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

inline int fuzz_messages = 0;

// ULDO_FUZZ_VERBOSE set: the messages are printed too (to see what an input does).
inline void CountMessage(const char* title, const char* text) {
    static const int verbose = std::getenv("ULDO_FUZZ_VERBOSE") != nullptr;
    if (verbose) std::fprintf(stderr, "%s: %s\n", title, text);
    ++fuzz_messages;
}
inline void IgnoreStatus(const char*) {}

// Quiet hooks, PI set, records cleared: the state every input starts from.
inline void FuzzReset() {
    static int ready = 0;
    if (!ready) {
        InitPI();
        core_hooks.message = CountMessage;
        core_hooks.status = IgnoreStatus;
        SetDelayScale(0);
        ready = 1;
    }
    ResetRecords();
    fuzz_messages = 0;
}

// The file "input" in this process's own folder, holding the bytes; its path.
inline const char* FuzzFile(const void* data, size_t size) {
    static std::string dir;
    static std::string path;
    if (dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/uldo-fuzz-" + std::to_string(getpid());
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) std::abort();
        // Removed when the process ends normally.
        std::atexit([] {
            for (const char* n : {"input", "FILTER.DAT"}) std::remove((dir + "/" + n).c_str());
            rmdir(dir.c_str());
        });
    }
    path = dir + "/input";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    if (std::fclose(f) != 0) std::abort();
    return path.c_str();
}

// The folder FuzzFile writes into (for files the core writes beside its inputs).
inline std::string FuzzDir(const char* any_file_path) {
    std::string p = any_file_path;
    return p.substr(0, p.rfind('/'));
}

// One carrier that takes its symbols or bits from a file, and a plain
// PRBS QPSK carrier otherwise: the record a reader runs on.
inline void OneCarrier(int modulation) {
    Carrier& c = signals[0];
    c.frequency_hz = 10e6f;
    c.amplitude = 1.0f;
    c.symbol_rate = 1e6f;
    c.modulation = modulation;
    c.filter_type = FILTER_NONE;
    c.filter_length = 1;
    c.prbs_poly_i = c.prbs_poly_q = 3;
    c.prbs_seed_i = c.prbs_seed_q = 0xFEDCBA98u;
    c.prbs_iq_equal = 1;
    signals[1].frequency_hz = -1.0f;
}
