// Arithmetic of the visual displays on small hand-computed fixtures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "compile/engine.h"
#include "displays/visual.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"

namespace {

std::vector<int32_t> Starts() { return std::vector<int32_t>(eye_start, eye_start + eye_traces); }

TEST(Eye, TracesOfTwoSymbolsPlusOneSampleFitTheRecord) {
    struct Case {
        float period;
        int32_t length;
        int n;
        std::vector<int32_t> starts;
    } cases[] = {
        {10.0f, 100, 21, {0, 20, 40, 60}},   // 80 is not below 100 - 21
        {2.5f, 20, 6, {0, 5, 10}},           // starts round 2 k period + 0.5 down
        {1.25f, 10, 4, {0, 3, 5}},           // 2.5 + 0.5 -> 3, 5 + 0.5 -> 5
        {10.0f, 21, 21, {}},                 // one trace needs more than n samples
        {0.5f, 100, 0, {}},                  // under one sample per symbol: no eye
        {0.0f, 100, 0, {}},
        {std::numeric_limits<float>::quiet_NaN(), 100, 0, {}},
    };
    for (const Case& c : cases) {
        BuildEye(c.period, c.length);
        EXPECT_EQ(Starts(), c.starts) << c.period << " " << c.length;
        if (!c.starts.empty()) EXPECT_EQ(eye_length, c.n);
    }
}

TEST(Eye, RecordLengthIsTheDisplayBufferNotTheCompileLength) {
    StartCoreCase();
    numpoints = 2 * DISPLAY_POINTS;
    globals.compile_mode = 1;
    globals.compile_length = 10;    // symbols, not samples
    EXPECT_EQ(DisplayLength(), DISPLAY_POINTS);
    numpoints = 1000;
    globals.compile_length = 2 * DISPLAY_POINTS;
    EXPECT_EQ(DisplayLength(), 1000);
    numpoints = 0;
    EXPECT_EQ(DisplayLength(), 0);

    BuildEye(3.0f, 2 * DISPLAY_POINTS);
    ASSERT_GT(eye_traces, 0);
    EXPECT_LE(eye_start[eye_traces - 1] + eye_length, DISPLAY_POINTS);
    core_hooks = CoreHooks{};
}

// The grid as text, one string per row: '.' for no hit, else the count.
std::vector<std::string> DensityRows() {
    std::vector<std::string> rows;
    for (int r = 0; r < density_height; ++r) {
        std::string row;
        for (int c = 0; c < density_width; ++c) {
            int32_t count = density_counts[r * density_width + c];
            row += count == 0 ? '.' : count < 10 ? static_cast<char>('0' + count) : '#';
        }
        rows.push_back(row);
    }
    return rows;
}

// A 5 x 4 grid with a guard band after it that no line may touch.
constexpr int32_t GUARD = -77;
void ClearSmallGrid() {
    std::fill(density_counts, density_counts + 200, GUARD);
    ASSERT_TRUE(ClearDensity(5, 4));
}
bool GuardIntact() {
    return std::all_of(density_counts + 20, density_counts + 200, [](int32_t v) { return v == GUARD; });
}

TEST(Density, SegmentsHitEachPixelOnceAndStayInTheGrid) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double x0, y0, x1, y1;
        bool last;
        std::vector<std::string> rows;
    } cases[] = {
        {"horizontal, next segment hits the end", 0.5, 1.5, 3.5, 1.5, false, {".....", "111..", ".....", "....."}},
        {"horizontal, last", 0.5, 1.5, 3.5, 1.5, true, {".....", "1111.", ".....", "....."}},
        {"vertical upwards", 2.5, 3.5, 2.5, 0.5, true, {"..1..", "..1..", "..1..", "..1.."}},
        {"diagonal", 0.2, 0.2, 3.9, 3.9, true, {"1....", ".1...", "..1..", "...1."}},
        {"shallow", 0.5, 0.5, 4.5, 2.5, true, {"11...", "..11.", "....1", "....."}},
        {"through both side edges", -10.0, 2.5, 20.0, 2.5, false, {".....", ".....", "11111", "....."}},
        {"from outside over a corner", -2.0, -2.0, 8.0, 8.0, false, {"1....", ".11..", "...1.", "....1"}},
        {"on the far edge", 4.99, 0.0, 5.0, 4.0, true, {"....1", "....1", "....1", "....1"}},
        {"wholly outside", -3.0, -1.0, 9.0, -0.5, true, {".....", ".....", ".....", "....."}},
        {"beyond any float", -1e300, 1.5, 1e300, 1.5, true, {".....", "11111", ".....", "....."}},
        {"not a number", nan, 1.0, 3.0, 1.0, true, {".....", ".....", ".....", "....."}},
    };
    for (const Case& c : cases) {
        ClearSmallGrid();
        AddDensitySegment(c.x0, c.y0, c.x1, c.y1, c.last);
        EXPECT_EQ(DensityRows(), c.rows) << c.name;
        EXPECT_TRUE(GuardIntact()) << c.name;
    }
}

TEST(Density, PathsTracesAndDotsInPlaneUnits) {
    const DensityView view{0.0, 5.0, 0.0, 4.0};   // one unit per pixel, y up
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // A corner shared by two segments is hit once; a NaN point breaks the line.
    ClearSmallGrid();
    const float x[] = {0.5f, 2.5f, 2.5f, nan, 4.5f, 4.5f}, y[] = {3.5f, 3.5f, 1.5f, nan, 0.5f, 2.5f};
    AddDensityPath(x, y, 6, view);
    EXPECT_EQ(DensityRows(), (std::vector<std::string>{"111..", "..1.1", "..1.1", "....1"}));

    // Two traces of three values at x = 0, 2, 4.
    ClearSmallGrid();
    const float traces[] = {3.5f, 3.5f, 3.5f, 0.5f, 1.5f, 2.5f};
    AddDensityTraces(traces, 2, 3, 2.0, view);
    EXPECT_EQ(DensityRows(), (std::vector<std::string>{"11111", "....1", "..11.", "11..."}));

    // Discs cut by the grid's corners, twice on one spot, one whose centre is
    // just outside and one beyond.
    ClearSmallGrid();
    const float dx[] = {0.5f, 3.5f, 3.5f, 5.5f, 7.0f}, dy[] = {3.5f, 0.5f, 0.5f, 2.0f, 2.0f};
    AddDensityDots(dx, dy, 5, view, 3);
    EXPECT_EQ(DensityRows(), (std::vector<std::string>{"111..", "111..", "11.23", "..223"}));
    ClearSmallGrid();
    AddDensityDots(dx, dy, 5, view, 1);
    EXPECT_EQ(DensityRows(), (std::vector<std::string>{"1....", ".....", ".....", "...2."}));
    EXPECT_TRUE(GuardIntact());

    // An empty view draws nothing.
    ClearSmallGrid();
    AddDensityPath(x, y, 6, DensityView{1.0, 1.0, 0.0, 4.0});
    EXPECT_EQ(DensityRows(), (std::vector<std::string>{".....", ".....", ".....", "....."}));
}

TEST(Density, LargeGridsShrinkToTheBuffer) {
    EXPECT_FALSE(ClearDensity(0, 10));
    EXPECT_EQ(density_width * density_height, 0);
    ASSERT_TRUE(ClearDensity(100000, 50));
    EXPECT_LE(density_width, DENSITY_MAX_SIDE);
    EXPECT_GE(density_height, 1);
    ASSERT_TRUE(ClearDensity(6000, 6000));
    EXPECT_LE(int64_t{density_width} * density_height, DENSITY_MAX_PIXELS);
    EXPECT_EQ(density_width, density_height);
    EXPECT_GT(density_width, 1900);
}

TEST(Persistence, ValuesBeyondThePeakTakeTheEdgeCell) {
    const float peak = 2.0f;
    struct Case {
        float value;
        int cell;
    } cases[] = {
        {0.0f, 200}, {2.0f, 390}, {-2.0f, 10},          // the largest |I| lands on 10 or 390
        {2.2f, 399}, {-2.2f, 0}, {1e30f, 399}, {-1e30f, 0},
        {std::numeric_limits<float>::infinity(), 399},
    };
    for (const Case& c : cases) EXPECT_EQ(GlimCell(c.value, peak), c.cell) << c.value;
    EXPECT_EQ(GlimCell(std::numeric_limits<float>::quiet_NaN(), peak), -1);
    EXPECT_EQ(GlimCell(1.0f, 0.0f), -1);

    int x = -1, y = -1;
    ASSERT_TRUE(GlimPixel(2.0f, 2.0f, peak, &x, &y));
    EXPECT_EQ(x, 410);
    EXPECT_EQ(y, 10);    // Q upwards
    ASSERT_TRUE(GlimPixel(-5.0f, -5.0f, peak, &x, &y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, GLIM_CANVAS - 1);
    ASSERT_TRUE(GlimPixel(5.0f, 0.0f, peak, &x, &y));
    EXPECT_EQ(x, GLIM_CANVAS - 1);
    EXPECT_EQ(y, 210);

    // Every sample counts once, inside the grid.
    const float i[] = {0.0f, 3.0f, 3.0f, -9.0f, 2.0f};
    const float q[] = {0.0f, 0.0f, 0.0f, 9.0f, -2.0f};
    EXPECT_EQ(BinPersistence(i, q, 5, peak), 2);
    EXPECT_EQ(glim_samples, 5);
    EXPECT_EQ(glim_counts[200][200], 1);
    EXPECT_EQ(glim_counts[200][399], 2);
    EXPECT_EQ(glim_counts[399][0], 1);
    EXPECT_EQ(glim_counts[10][390], 1);
}

TEST(Persistence, AllZeroRecordBinsNothing) {
    const float zeros[4] = {};
    int x = 0, y = 0;
    EXPECT_FALSE(GlimPixel(0.0f, 0.0f, 0.0f, &x, &y));
    EXPECT_EQ(BinPersistence(zeros, zeros, 4, 0.0f), 0);
    EXPECT_EQ(glim_samples, 0);
    SumGlimWindow(0, 0, GLIM_CELLS, GLIM_CELLS);
    EXPECT_EQ(glim_sum, 0);
    ApplyGlimGamma(GlimGamma(10.0f));
    BuildGlimGreyMap();
    EXPECT_EQ(GlimGreyLevel(glim_shown[200][200]), 0);
}

TEST(Persistence, CursorWindowSumsWholeCellsBetweenTheCursors) {
    // Two samples in cell (row 200, col 5) and one in (row 201, col 6).
    const float peak = 1.0f;
    const float i[] = {-195.0f / 190.0f, -195.0f / 190.0f, -194.2f / 190.0f};
    const float q[] = {0.0f, 0.0f, 0.6f / 190.0f};
    BinPersistence(i, q, 3, peak);
    ASSERT_EQ(glim_counts[200][5], 2);
    ASSERT_EQ(glim_counts[201][6], 1);

    SumGlimWindow(5.5, 190, 5.5, 210);       // the same x: column 5 still counts
    EXPECT_EQ(glim_sum, 2);
    EXPECT_EQ(glim_x[5], 2);
    EXPECT_EQ(glim_y[200], 2);
    SumGlimWindow(5, 190, 5, 210);           // the same whole number: nothing
    EXPECT_EQ(glim_sum, 0);
    EXPECT_EQ(glim_x[5], 0);
    SumGlimWindow(7, 210, 5, 190);           // swapped cursors
    EXPECT_EQ(glim_sum, 3);
    EXPECT_EQ(glim_x[6], 1);
    EXPECT_EQ(glim_y[201], 1);
    SumGlimWindow(-50, -50, 900, 900);       // cursors off the grid stay within it
    EXPECT_EQ(glim_sum, 3);
}

TEST(Persistence, GammaAndGreyMap) {
    const float peak = 1.0f;
    std::vector<float> i, q;
    auto add = [&](int count, float value) {
        for (int k = 0; k < count; ++k) i.push_back(value), q.push_back(0.0f);
    };
    add(16, 0.0f);
    add(1, 0.5f);
    add(3, -0.5f);
    BinPersistence(i.data(), q.data(), static_cast<int32_t>(i.size()), peak);
    ASSERT_EQ(glim_peak, 16);

    EXPECT_FLOAT_EQ(GlimGamma(5.0f), 1.0f);
    EXPECT_FLOAT_EQ(GlimGamma(10.0f), 4.0f);
    ApplyGlimGamma(GlimGamma(5.0f));
    EXPECT_EQ(glim_shown[200][295], 1);
    EXPECT_EQ(glim_shown[200][105], 3);
    ApplyGlimGamma(GlimGamma(10.0f));          // 16 (C / 16)^0.25
    EXPECT_EQ(glim_shown[200][200], 16);
    EXPECT_EQ(glim_shown[200][295], 8);
    EXPECT_EQ(glim_shown[200][105], 10);       // 16 * 0.1875^0.25 = 10.53
    EXPECT_EQ(glim_shown[0][0], 0);

    // Peak 510: entry i holds 2 i; a count takes the first entry at or above it.
    glim_peak = 510;
    BuildGlimGreyMap();
    EXPECT_EQ(glim_map[0], 0);
    EXPECT_EQ(glim_map[254], 508);
    EXPECT_EQ(GlimGreyLevel(0), 0);
    EXPECT_EQ(GlimGreyLevel(3), 2);
    EXPECT_EQ(GlimGreyLevel(4), 2);
    EXPECT_EQ(GlimGreyLevel(508), 254);
    EXPECT_EQ(GlimGreyLevel(509), GLIM_ABOVE_MAP);
    EXPECT_EQ(GlimGreyLevel(510), GLIM_ABOVE_MAP);
}

TEST(Quantisation, FallsSixDbPerBitAndTenPerDecade) {
    BuildQuantCurve(12.0f, 4.0f);
    EXPECT_DOUBLE_EQ(quant_x[0], 1.0);
    // 20 log 4 + 19.21 - 12 * 6.0206 - 10 log 50 - 60 at 1 MHz.
    EXPECT_NEAR(quant_noise[0], -117.986, 0.001);
    EXPECT_NEAR(quant_x[50], 10.0, 1e-5);
    EXPECT_NEAR(quant_noise[0] - quant_noise[50], 10.0, 1e-5);
    EXPECT_NEAR(quant_x[QUANT_POINTS - 1], 1e4 / std::pow(10.0, 4.0 / 200.0), 1e-2);
    EXPECT_EQ(quant_floor[17], -173.8);
    double twelve[QUANT_POINTS];
    std::copy(quant_noise, quant_noise + QUANT_POINTS, twelve);
    BuildQuantCurve(13.0f, 4.0f);
    for (int j : {0, 77, QUANT_POINTS - 1}) EXPECT_NEAR(twelve[j] - quant_noise[j], 6.0206, 1e-4);
    BuildQuantCurve(12.0f, 8.0f);
    EXPECT_NEAR(quant_noise[0] - twelve[0], 6.0206, 1e-4);

    EXPECT_EQ(QuantNearest(100.0), 100);
    EXPECT_EQ(QuantNearest(0.0), 0);
    EXPECT_EQ(QuantNearest(1e9), QUANT_POINTS - 1);
}

}  // namespace
