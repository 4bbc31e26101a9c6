// Helpers of the modulation tests: scratch files on the shared temporary
// directory, the shared recorder for pop-ups and a reset of every global the
// engine touches.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "modulation/mapper.h"
#include "shell/hooks.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"
#include "support/message_log.h"
#include "support/tempdir.h"

namespace modtest {

// The shared recorder ("title|text") and temporary directory of the tests.
using ::Messages;
using ::RecordMessage;

// A temporary directory with helpers to write the files a test reads.
class ScratchDir : public TempDir {
public:
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::string p = File(name);
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    template <typename T>
    std::string WriteValues(const std::string& name, const std::vector<T>& values) const {
        return Write(name, std::string(reinterpret_cast<const char*>(values.data()),
                                       values.size() * sizeof(T)));
    }
    const std::filesystem::path& Path() const { return path(); }
};

// Makes a directory current for the life of the guard.
class CurrentDir {
public:
    explicit CurrentDir(const std::filesystem::path& dir) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CurrentDir() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

// Records, generator state, open files and pop-ups back to a fresh start.
inline void ResetAll() {
    for (int c = 0; c < MAX_CARRIERS; ++c) CloseDataFile(c);
    StartCoreCase();
}

// A carrier record with the given modulation and data source at index c.
inline Carrier& SetCarrier(int c, int modulation, int source) {
    Carrier& r = signals[c];
    r.frequency_hz = 1e6f;
    r.modulation = modulation;
    r.data_source = source;
    r.prbs_poly_i = 3;
    r.prbs_seed_i = 0xFEDCBA98u;
    return r;
}

// 3GPP downlink scrambling code from the x and y sequences of the standard:
// x(0) = 1, x(1..17) = 0, x(i+18) = x(i+7) + x(i); y(0..17) = 1,
// y(i+18) = y(i+10) + y(i+7) + y(i+5) + y(i); z_n(i) = x((i+n) mod N) + y(i).
// Z(n, i) gives z_n(i) for i up to N + 131072.
class StandardScrambler {
public:
    static constexpr int N = (1 << 18) - 1;
    StandardScrambler() : x_(N), y_(N) {
        x_[0] = 1;
        for (int i = 0; i + 18 < N; ++i) x_[i + 18] = x_[i + 7] ^ x_[i];
        for (int i = 0; i < 18; ++i) y_[i] = 1;
        for (int i = 0; i + 18 < N; ++i) y_[i + 18] = y_[i + 10] ^ y_[i + 7] ^ y_[i + 5] ^ y_[i];
    }
    int Z(int n, int i) const { return x_[(i + n) % N] ^ y_[i % N]; }

private:
    std::vector<uint8_t> x_, y_;
};

inline const StandardScrambler& Scrambler() {
    static const StandardScrambler s;
    return s;
}

}  // namespace modtest
