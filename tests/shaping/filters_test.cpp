#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "shaping/filters.h"
#include "shell/hooks.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"
#include "support/tempdir.h"

namespace fs = std::filesystem;

namespace {

// Message k of the shared log ("title|text"), split into its parts.
struct Message {
    std::string title, text;
};
Message MessageAt(std::size_t k) {
    const std::string& m = messages.at(k);
    const std::size_t bar = m.find('|');
    return {m.substr(0, bar), m.substr(bar + 1)};
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every test runs in its own temporary directory, since "FILTER.DAT" goes to
// the current one.
class Filters : public CoreFixture {
protected:
    void SetUp() override {
        CoreFixture::SetUp();
        previous = fs::current_path();
        fs::current_path(dir.path());
    }
    void TearDown() override {
        fs::current_path(previous);
        CoreFixture::TearDown();
        ResetCoreState();
    }
    Carrier& Use(int i, int32_t modulation, int32_t filter_type, int32_t length, float param) {
        Carrier& c = signals[i];
        c.frequency_hz = 1e6f * (i + 1);
        c.modulation = modulation;
        c.filter_type = filter_type;
        c.filter_length = length;
        c.filter_param = param;
        signals[i + 1].frequency_hz = -1.0f;
        return c;
    }
    static bool TailIsZero(int carrier, int from) {
        for (int i = from; i < FIR_ROW_LENGTH; ++i)
            if (FIR[carrier][i] != 0.0) return false;
        return true;
    }

    TempDir dir;
    fs::path previous;
};

}  // namespace

TEST_F(Filters, EveryDesignFillsExactlyItsEntriesAndClearsAnOlderLongerPulse) {
    const int32_t types[] = {FILTER_RCOS, FILTER_GAUSS, FILTER_SQRT_RCOS, FILTER_GAUSS2, 5, 9, 14,
                             FILTER_TRIANGLE, FILTER_EDGE};
    for (int32_t type : types) {
        Use(0, MOD_QPSK, type, 41, 0.5f);
        ASSERT_EQ(BuildFilter(0), 0) << type;
        Use(0, MOD_QPSK, type, 9, 0.5f);
        ASSERT_EQ(BuildFilter(0), 0) << type;
        const int M = PulseEntries(9);
        EXPECT_TRUE(TailIsZero(0, M)) << type;
        double peak = 0;
        for (int i = 0; i < M; ++i) {
            ASSERT_TRUE(std::isfinite(FIR[0][i])) << type << " " << i;
            peak = std::max(peak, FIR[0][i]);
        }
        EXPECT_GT(peak, 0.1) << type;
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(Filters, TableGeometryAtTheShortestAndLongestLength) {
    Use(0, MOD_QPSK, FILTER_RCOS, 1, 0.35f);
    ASSERT_EQ(BuildFilter(0), 0);
    EXPECT_EQ(FIR[0][50], 1.0);  // H = 50, M = 101
    EXPECT_EQ(FIR[0][0], FIR[0][100]);
    EXPECT_NE(FIR[0][100], 0.0);
    EXPECT_TRUE(TailIsZero(0, 101));

    Use(0, MOD_QPSK, FILTER_RCOS, 202, 0.35f);
    ASSERT_EQ(BuildFilter(0), 0);
    EXPECT_EQ(FIR[0][5075], 1.0);
    EXPECT_NE(FIR[0][FIR_ROW_LENGTH - 1], 0.0);
    EXPECT_EQ(FIR[0][0], FIR[0][FIR_ROW_LENGTH - 1]);
    EXPECT_EQ(FIR[1][0], 0.0);
}

TEST_F(Filters, RaisedCosineFollowsItsFormulaAndLimits) {
    auto exact = [](double t, double a) {
        double x = double(PI) * t / 50.0;
        return std::sin(x) / x * std::cos(a * x) / (1 - 4 * a * a * t * t / 2500.0);
    };
    std::vector<double> row(PulseEntries(21));
    const int H = PulseCentre(21);
    RaisedCos(row.data(), 50.0f, 0.35f, 21);
    EXPECT_EQ(row[H], 1.0);
    for (int t : {1, 13, 49, 50, 77, 300, 525})
        EXPECT_NEAR(row[H + t], exact(t, 0.35f), 2e-6) << t;

    // alpha 0.5: 0/0 at t = +-50, where the pulse crosses zero.
    RaisedCos(row.data(), 50.0f, 0.5f, 21);
    for (int t : {-50, 50}) {
        EXPECT_TRUE(std::isfinite(row[H + t]));
        EXPECT_NEAR(row[H + t], 0.0, 1e-6);
    }
    // alpha 1/3: 0/0 at t = +-75, where the limit is pi/4 * sinc(1.5).
    RaisedCos(row.data(), 50.0f, 1.0f / 3.0f, 21);
    double limit = std::numbers::pi / 4 * std::sin(1.5 * std::numbers::pi) / (1.5 * std::numbers::pi);
    for (int t : {-75, 75}) {
        EXPECT_NEAR(row[H + t], limit, 1e-5);
        EXPECT_NEAR(row[H + t], (row[H + t - 1] + row[H + t + 1]) / 2, 2e-3);
    }
}

TEST_F(Filters, RootRaisedCosineCentreSpecialPointAndSinc) {
    std::vector<double> row(PulseEntries(21));
    const int H = PulseCentre(21);
    const double pi = PI;
    SqrtRaisedCos(row.data(), 50.0f, 0.25f, 21);
    EXPECT_DOUBLE_EQ(row[H], 1 - 0.25 + 1.0 / pi);
    double closed = 0.25 / std::sqrt(2.0) *
                    ((1 + 2 / pi) * std::sin(pi) + (1 - 2 / pi) * std::cos(pi));
    for (int t : {-50, 50}) {
        EXPECT_DOUBLE_EQ(row[H + t], closed);
        EXPECT_NEAR(row[H + t], (row[H + t - 1] + row[H + t + 1]) / 2, 2e-3);
    }
    for (int i = 0; i < PulseEntries(21); ++i) ASSERT_TRUE(std::isfinite(row[i]));

    SqrtRaisedCos(row.data(), 50.0f, 0.0f, 21);
    EXPECT_DOUBLE_EQ(row[H], 1.0);
    for (int t : {1, 25, 50, 333}) {
        double x = pi * t / 50.0;
        EXPECT_NEAR(row[H + t], std::sin(x) / x, 1e-12) << t;
    }
}

TEST_F(Filters, SidebandModulationsStretchOnlyTheCosineDesigns) {
    const int L = 21, H = PulseCentre(L);
    for (int32_t type : {FILTER_RCOS, FILTER_SQRT_RCOS, FILTER_GAUSS}) {
        Use(0, MOD_QPSK, type, L, 0.3f);
        ASSERT_EQ(BuildFilter(0), 0);
        std::vector<double> narrow(FIR[0], FIR[0] + FIR_ROW_LENGTH);
        for (int32_t mod : {MOD_8VSB, MOD_16VSB, MOD_SSB}) {
            Use(0, mod, type, L, 0.3f);
            ASSERT_EQ(BuildFilter(0), 0);
            EXPECT_TRUE(TailIsZero(0, PulseEntries(L))) << mod;
            for (int t : {0, 10, 37, 120, 250}) {
                if (type == FILTER_GAUSS)
                    EXPECT_EQ(FIR[0][H + t], narrow[H + t]) << mod << " " << t;
                else
                    EXPECT_NEAR(FIR[0][H + 2 * t], narrow[H + t], 1e-6) << type << " " << mod << " " << t;
            }
        }
    }
}

TEST_F(Filters, GaussianDesignsAreNormalisedAndKeepThreeSymbolsClear) {
    const int L = 21, H = PulseCentre(L), M = PulseEntries(L);
    const double bt = 0.15;  // wide enough that the third normaliser sample counts
    const double sigma = 0.31 * 50 / bt / (2 * std::sqrt(2 * std::log(2.0)));
    auto g = [&](int t) { return std::exp(-double(t) * t / (2 * sigma * sigma)); };
    std::vector<double> row(M, 9.0);
    for (int k : {0, 25}) {
        if (k == 0)
            GaussFilter(row.data(), 50.0f, float(bt), L);
        else
            GaussFilter2(row.data(), 50.0f, float(bt), L);
        EXPECT_NEAR(row[H] + 2 * row[H + 50] + 4 * row[H + 100], 1.0, 1e-6) << k;
        for (int i = 0; i < 150; ++i) {
            ASSERT_EQ(row[i], 0.0) << k;
            ASSERT_EQ(row[M - 1 - i], 0.0) << k;
        }
        auto shape = [&](int t) {
            double s = 0;
            for (int j = -k; j <= k; ++j) s += g(t + j);
            return s;
        };
        for (int t : {10, 40, 75, 200}) EXPECT_NEAR(row[H + t] / row[H], shape(t) / shape(0), 1e-5) << k << " " << t;
    }
}

TEST_F(Filters, ShortGaussiansAreRefusedAndTheRoutinesStayInTheirRow) {
    for (int32_t type : {FILTER_GAUSS, FILTER_GAUSS2}) {
        for (int L : {1, 3}) {
            messages.clear();
            Use(0, MOD_GMSK, type, L, 0.3f);
            EXPECT_EQ(BuildFilter(0), -1);
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(MessageAt(0).title, "COMPILATION ERROR");

            std::vector<double> buffer(PulseEntries(L) + 400, 7.0);
            double* table = buffer.data() + 200;
            if (type == FILTER_GAUSS)
                GaussFilter(table, 50.0f, 0.3f, L);
            else
                GaussFilter2(table, 50.0f, 0.3f, L);
            for (int i = 0; i < 200; ++i) ASSERT_EQ(buffer[i], 7.0);
            for (int i = 0; i < PulseEntries(L); ++i) ASSERT_EQ(table[i], 0.0);
            for (int i = PulseEntries(L); i < PulseEntries(L) + 200; ++i) ASSERT_EQ(table[i], 7.0);
        }
    }
}

// Below the length that holds the whole pulse a Gaussian design is refused,
// with the carrier, its length and the shortest length that works; at that
// length the pulse area is the untruncated design's to 0.1 %.
TEST_F(Filters, GaussiansNeedTheLengthThatHoldsTheirPulse) {
    struct Case {
        int32_t type;
        float bt;
        int32_t shortest;
    };
    const Case cases[] = {{FILTER_GAUSS2, 0.3f, 9}, {FILTER_GAUSS2, 0.5f, 9}, {FILTER_GAUSS2, 0.2f, 11},
                          {FILTER_GAUSS, 0.5f, 7},  {FILTER_GAUSS, 0.3f, 9},  {FILTER_GAUSS2, 0.1f, 15}};
    auto area = [](int32_t type, float bt, int L) {
        std::vector<double> row(PulseEntries(L));
        (type == FILTER_GAUSS ? GaussFilter : GaussFilter2)(row.data(), 50.0f, bt, L);
        double a = 0;
        for (double v : row) a += v;
        return a;
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(FilterDisplayName(k.type)) + " BT " + std::to_string(k.bt));
        EXPECT_EQ(GaussMinLength(k.type, k.bt), k.shortest);
        const double whole = area(k.type, k.bt, 201);
        EXPECT_NEAR(area(k.type, k.bt, k.shortest) / whole, 1.0, 1e-3);
        EXPECT_GT(std::fabs(area(k.type, k.bt, k.shortest - 2) / whole - 1.0), 1e-3);

        messages.clear();
        Use(1, MOD_GMSK, k.type, k.shortest - 2, k.bt);
        EXPECT_EQ(BuildFilter(1), -1);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(MessageAt(0).title, "COMPILATION ERROR");
        const std::string& text = MessageAt(0).text;
        EXPECT_NE(text.find("Carrier 2"), std::string::npos) << text;
        EXPECT_NE(text.find("at least " + std::to_string(k.shortest) + " symbols"), std::string::npos) << text;
        EXPECT_NE(text.find("not " + std::to_string(k.shortest - 2)), std::string::npos) << text;
        Use(1, MOD_GMSK, k.type, k.shortest, k.bt);
        EXPECT_EQ(BuildFilter(1), 0);
    }
    // GMSK's usual pulse: one symbol of area, index 0.5.
    EXPECT_NEAR(area(FILTER_GAUSS2, 0.3f, 9) / 50.0, 1.0, 1e-3);
    // No BT, or one so small that no table holds the pulse.
    for (float bt : {0.0f, -0.3f, 1e-4f}) {
        messages.clear();
        Use(0, MOD_2FSK, FILTER_GAUSS, 201, bt);
        EXPECT_EQ(BuildFilter(0), -1) << bt;
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(MessageAt(0).title, "COMPILATION ERROR");
    }
}

TEST_F(Filters, EdgeAndTrianglePulses) {
    const int L = 5, H = PulseCentre(L);
    std::vector<double> row(PulseEntries(L));
    GaussFilter3(row.data(), 50.0f, 123.0f, L);
    EXPECT_EQ(row[H], 1.0);
    EXPECT_DOUBLE_EQ(row[H + 25], std::exp(-1.045 * 0.25 - 0.218 * 0.0625));
    EXPECT_DOUBLE_EQ(row[H - 100], std::exp(-1.045 * 4 - 0.218 * 16));

    std::fill(row.begin(), row.end(), 5.0);
    Triang(row.data(), 50.0f, L);
    EXPECT_EQ(row[H], 1.0);
    EXPECT_EQ(row[H + 25], 0.5);
    EXPECT_EQ(row[H - 10], 0.8);
    for (int i = 0; i < PulseEntries(L); ++i)
        if (std::abs(i - H) >= 50) {
            ASSERT_EQ(row[i], 0.0) << i;
        }
}

TEST_F(Filters, ButterworthPulse) {
    // A cut-off above 25 symbol rates is refused by the low-pass: the rectangle stays, centred.
    for (int32_t type : {5, 14}) {
        Use(0, MOD_QPSK, type, 11, 30.0f);
        ASSERT_EQ(BuildFilter(0), 0);
        const int H = PulseCentre(11);
        for (int i = 0; i < FIR_ROW_LENGTH; ++i)
            ASSERT_EQ(FIR[0][i], std::abs(i - H) <= 25 ? 1.0 : 0.0) << type << " " << i;
    }
    // With the delay taken out, the filtered pulse peaks half a symbol before H.
    Use(0, MOD_QPSK, 8, 11, 0.5f);
    ASSERT_EQ(BuildFilter(0), 0);
    int argmax = 0;
    for (int i = 1; i < PulseEntries(11); ++i)
        if (FIR[0][i] > FIR[0][argmax]) argmax = i;
    EXPECT_NEAR(argmax, 25 * 11, 1);

    // A delay longer than the table's lead-in would put the rectangle before the row.
    for (int order : {4, 10}) {
        std::vector<double> buffer(PulseEntries(1) + 400, 7.0);
        double* table = buffer.data() + 200;
        ButterFilter(table, 50.0f, 0.3f, order, 1);
        for (int i = 0; i < 200; ++i) ASSERT_EQ(buffer[i], 7.0) << order;
        for (int i = PulseEntries(1); i < PulseEntries(1) + 200; ++i) ASSERT_EQ(table[i], 7.0) << order;
        for (int i = 0; i < PulseEntries(1); ++i) ASSERT_TRUE(std::isfinite(table[i]));
    }
}

// ---------------------------------------------------------------------------
// Coefficient files.

TEST_F(Filters, FilePulseIsCentredOrCutToTheTable) {
    const int L = 1, M = PulseEntries(L);  // 101
    struct Case {
        int count, first;  // first: table index of the file's first kept value (negative: dropped)
    } cases[] = {{M, 0}, {M + 3, -1}, {M - 3, 1}, {M + 4, -2}, {1, 50}};
    for (int32_t format : {0, 1, 2}) {
        for (const Case& c : cases) {
            std::string bytes;
            for (int i = 0; i < c.count; ++i) {
                double v = i + 1.1;
                if (format == 0) bytes += std::to_string(v) + (i % 7 ? " " : "\n\t");
                if (format == 1) {
                    float f = float(v);
                    bytes.append(reinterpret_cast<char*>(&f), 4);
                }
                if (format == 2) bytes.append(reinterpret_cast<char*>(&v), 8);
            }
            bytes += format == 0 ? "\n" : "xyz";  // a trailing partial binary item is not counted
            WriteAll("coeffs", bytes);
            std::vector<double> row(M, 9.0);
            ASSERT_EQ(FileFilter(row.data(), 50.0f, L, format, "coeffs"), 0);
            for (int j = 0; j < M; ++j) {
                int i = j - c.first;  // value index in the file
                double expected = i >= 0 && i < c.count ? i + 1.1 : 0.0;
                if (format != 2) expected = float(expected);  // text and float32 pass a float
                ASSERT_EQ(row[j], expected) << format << " count " << c.count << " j " << j;
            }
        }
    }
    WriteAll("coeffs", "1 2 3");
    std::vector<double> row(M, 9.0);
    EXPECT_EQ(FileFilter(row.data(), 50.0f, L, 3, "coeffs"), 0);
    EXPECT_EQ(row, std::vector<double>(M, 0.0));
    EXPECT_TRUE(messages.empty());
}

TEST_F(Filters, FilePulseErrors) {
    Carrier& c = Use(0, MOD_QPSK, FILTER_FILE, 1, 0);
    SetField(c.filter_file, "missing.txt");
    EXPECT_EQ(BuildFilter(0), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(MessageAt(0).title, "");
    EXPECT_EQ(MessageAt(0).text, "File Opening Error (16)\nmissing.txt: No such file or directory");

    // Counting stops at the first token that is not a finite number.
    for (const char* text : {"1 2 3 abc 4 5", "1 2 3 nan 4", "1 2 3 1e99"}) {
        messages.clear();
        WriteAll("bad.txt", text);
        SetField(c.filter_file, "bad.txt");
        EXPECT_EQ(BuildFilter(0), 0) << text;
        ASSERT_EQ(messages.size(), 1u) << text;
        EXPECT_NE(MessageAt(0).text.find("entry 4"), std::string::npos) << MessageAt(0).text;
        for (int i = 0; i < PulseEntries(1); ++i)
            ASSERT_EQ(FIR[0][i], i >= 49 && i <= 51 ? i - 48 : 0.0) << text << " " << i;
    }

    // A length the table cannot hold is refused with a message, the row untouched.
    WriteAll("coeffs", "1 2 3");
    for (int32_t L : {0, MAX_FILTER_LENGTH + 1}) {
        messages.clear();
        std::vector<double> row(FIR_ROW_LENGTH, 9.0);
        EXPECT_EQ(FileFilter(row.data(), 50.0f, L, 0, "coeffs"), -1) << L;
        ASSERT_EQ(messages.size(), 1u) << L;
        EXPECT_EQ(MessageAt(0).title, "COMPILATION ERROR");
        EXPECT_EQ(MessageAt(0).text, "Filter file coeffs: the filter length must be 1 to 202 symbols, not " +
                                        std::to_string(L));
        EXPECT_EQ(row, std::vector<double>(FIR_ROW_LENGTH, 9.0));
    }
}

// ---------------------------------------------------------------------------
// BuildFilter around the designs.

TEST_F(Filters, PulseFileIsWrittenForTheReferenceCarrierOnly) {
    Use(0, MOD_QPSK, FILTER_RCOS, 3, 0.5f);
    Use(1, MOD_QPSK, FILTER_TRIANGLE, 1, 0);
    globals.reference_carrier = 2;
    ASSERT_EQ(BuildFilter(0), 0);
    EXPECT_FALSE(fs::exists("FILTER.DAT"));
    ASSERT_EQ(BuildFilter(1), 0);
    std::string expected;
    char line[64];
    for (int i = 0; i < PulseEntries(1); ++i) {
        std::snprintf(line, sizeof line, "%f\n", FIR[1][i]);
        expected += line;
    }
    EXPECT_EQ(ReadAll("FILTER.DAT"), expected);
    EXPECT_NE(expected.find("0.500000\n"), std::string::npos);

    fs::remove("FILTER.DAT");
    WriteAll("coeffs", "1 2 3");
    Carrier& c = Use(1, MOD_QPSK, FILTER_FILE, 1, 0);
    SetField(c.filter_file, "coeffs");
    ASSERT_EQ(BuildFilter(1), 0);
    EXPECT_FALSE(fs::exists("FILTER.DAT"));

    Use(1, MOD_QPSK, FILTER_TRIANGLE, 1, 0);
    globals.reference_carrier = 0;
    ASSERT_EQ(BuildFilter(0), 0);
    ASSERT_EQ(BuildFilter(1), 0);
    EXPECT_FALSE(fs::exists("FILTER.DAT"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(Filters, UnfilteredCarriersKeepTheirRowAndWriteNoFile) {
    globals.reference_carrier = 1;
    const std::pair<int32_t, int32_t> cases[] = {
        {MOD_AM, FILTER_RCOS}, {MOD_NONE, FILTER_RCOS}, {MOD_FM, FILTER_GAUSS}, {MOD_QPSK, FILTER_NONE}};
    for (auto [mod, type] : cases) {
        Use(0, mod, type, 5, 0.5f);
        std::fill(std::begin(FIR[0]), std::end(FIR[0]), 5.0);
        EXPECT_EQ(BuildFilter(0), 0);
        for (double v : FIR[0]) ASSERT_EQ(v, 5.0) << mod;
    }
    EXPECT_FALSE(fs::exists("FILTER.DAT"));
}

TEST_F(Filters, PulseFileFailuresAreReportedAndTheBuildGoesOn) {
    Use(0, MOD_QPSK, FILTER_EDGE, 3, 0);
    globals.reference_carrier = 1;
    fs::create_directory("FILTER.DAT");
    EXPECT_EQ(BuildFilter(0), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(MessageAt(0).title, "");
    EXPECT_EQ(MessageAt(0).text, "File Opening Error (12)\nFILTER.DAT: Is a directory");
    EXPECT_EQ(filter_dat_failed, 1);
    filter_dat_failed = 0;
    EXPECT_EQ(FIR[0][PulseCentre(3)], 1.0);

    fs::remove("FILTER.DAT");
    if (fs::exists("/dev/full")) {
        messages.clear();
        fs::create_symlink("/dev/full", "FILTER.DAT");
        EXPECT_EQ(BuildFilter(0), 0);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(MessageAt(0).text, "File Writing Error (12)\nFILTER.DAT: No space left on device");
        EXPECT_TRUE(fs::is_symlink("FILTER.DAT"));  // the device is written, the link kept
        EXPECT_EQ(filter_dat_failed, 1);
        filter_dat_failed = 0;
    }
}

TEST_F(Filters, FiltersTheTableCannotHoldAreRefused) {
    struct Case {
        int32_t type, length;
    } cases[] = {{FILTER_RCOS, 0}, {FILTER_RCOS, -1}, {FILTER_SQRT_RCOS, 203}, {FILTER_EDGE, 100000},
                 {18, 5}, {-2, 5}};
    for (const Case& c : cases) {
        messages.clear();
        Use(4, MOD_QPSK, c.type, c.length, 0.5f);
        EXPECT_EQ(BuildFilter(4), -1) << c.type << " " << c.length;
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(MessageAt(0).title, "COMPILATION ERROR");
        EXPECT_NE(MessageAt(0).text.find("Carrier 5"), std::string::npos) << MessageAt(0).text;
    }
    for (const double* row : {FIR[3], FIR[4], FIR[5]})
        for (int i = 0; i < FIR_ROW_LENGTH; ++i) ASSERT_EQ(row[i], 0.0);
}
