#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "mod_support.h"
#include "modulation/mapper.h"

using namespace modtest;

namespace {

using Pairs = std::vector<std::pair<float, float>>;

// Reads `calls` symbols from a file of the given bytes, starting from (I, Q) = (start, start).
Pairs ReadSymbols(const std::string& bytes, int encoding, int layout, int calls, float start = 9) {
    ScratchDir dir;
    std::string path = dir.Write("iq.dat", bytes);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr);
    Pairs out;
    float I = start, Q = start;
    for (int k = 0; k < calls; ++k) {
        iqfile(f, encoding, layout, &I, &Q);
        out.push_back({I, Q});
    }
    std::fclose(f);
    return out;
}

template <typename T>
std::string Binary(std::vector<T> values) {
    return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

struct Case {
    const char* name;
    std::string bytes;
    int encoding, layout;
    Pairs expected;
};

TEST(IqFile, LayoutsEncodingsAndCycles) {
    const Case cases[] = {
        {"text I Q cycles", "1 0\n0 1\n-1 0\n", 0, 0, {{1, 0}, {0, 1}, {-1, 0}, {1, 0}, {0, 1}}},
        {"one pair repeats", "0.25 -0.5", 0, 0, {{0.25f, -0.5f}, {0.25f, -0.5f}, {0.25f, -0.5f}}},
        {"text Q I", "1 2", 0, 1, {{2, 1}, {2, 1}}},
        {"text I only", "3\n4\n5\n", 0, 2, {{3, 0}, {4, 0}, {5, 0}, {3, 0}}},
        {"text Q only", "3 4", 0, 3, {{0, 3}, {0, 4}, {0, 3}}},
        {"odd count keeps the second component", "1 2 3", 0, 0, {{1, 2}, {3, 2}, {1, 2}, {3, 2}}},
        {"a word stops the file", "1 2 x 4", 0, 0, {{1, 2}, {1, 2}, {1, 2}}},
        {"float32 Q only", Binary<float>({0.5f}), 1, 3, {{0, 0.5f}, {0, 0.5f}}},
        {"float32 pairs wrap per value", Binary<float>({1, 2, 3}), 1, 0, {{1, 2}, {3, 1}, {2, 3}, {1, 2}}},
        {"float32 partial item is the end",
         Binary<float>({1, 2}) + std::string("\x01\x02", 2), 1, 2, {{1, 0}, {2, 0}, {1, 0}}},
        {"float64 to nearest float", Binary<double>({0.1}), 2, 2, {{0.1f, 0}, {0.1f, 0}}},
        {"float64 Q I", Binary<double>({1.5, -2.25}), 2, 1, {{-2.25f, 1.5f}, {-2.25f, 1.5f}}},
        {"empty file keeps the point", "", 0, 0, {{9, 9}, {9, 9}}},
        {"empty binary file keeps the point", "", 2, 0, {{9, 9}}},
        {"unknown settings read text pairs", "7 8", 5, 9, {{7, 8}}},
    };
    for (const Case& c : cases) {
        Pairs got = ReadSymbols(c.bytes, c.encoding, c.layout, static_cast<int>(c.expected.size()));
        ASSERT_EQ(got.size(), c.expected.size()) << c.name;
        for (size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(got[k].first, c.expected[k].first) << c.name << " call " << k;
            EXPECT_EQ(got[k].second, c.expected[k].second) << c.name << " call " << k;
        }
    }
}

TEST(IqFile, OpenFailureIsReported) {
    ResetAll();
    ScratchDir dir;
    SetField(signals[4].mod_file, dir.File("none.iq"));
    EXPECT_EQ(OpenIqFile(4), nullptr);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], "|File Opening Error (15)\n" + dir.File("none.iq") + ": No such file or directory");

    SetField(signals[4].mod_file, dir.Write("ok.iq", "1 2"));
    std::FILE* f = OpenIqFile(4);
    ASSERT_NE(f, nullptr);
    float I = 0, Q = 0;
    iqfile(f, 0, 0, &I, &Q);
    EXPECT_EQ(I, 1);
    EXPECT_EQ(Q, 2);
    std::fclose(f);
}

}  // namespace
