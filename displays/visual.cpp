// Eye traces, persistence grid and canvas coordinates, gamma and grey map, and
// the quantisation-noise curve.
#include "displays/visual.h"

#include <algorithm>
#include <cmath>

int32_t eye_start[EYE_MAX_TRACES];
int32_t eye_traces;
int32_t eye_length;

int32_t glim_counts[GLIM_CELLS][GLIM_CELLS];
int32_t glim_shown[GLIM_CELLS][GLIM_CELLS];
int32_t glim_peak;
int32_t glim_samples;
int32_t glim_x[GLIM_CELLS];
int32_t glim_y[GLIM_CELLS];
int64_t glim_sum;
int32_t glim_map[255];

double quant_x[QUANT_POINTS];
double quant_noise[QUANT_POINTS];
double quant_floor[QUANT_POINTS];

namespace {

// A scaled coordinate onto 0 .. size - 1: beyond an edge it takes the edge.
int ClampToEdge(float v, int size) {
    if (v < 0.0f) return 0;
    if (v >= static_cast<float>(size)) return size - 1;
    return static_cast<int>(v);
}

// A cursor position onto the grid's index range, for the window loops.
double ClampCursor(double v) { return std::clamp(v, 0.0, static_cast<double>(GLIM_CELLS)); }

}  // namespace

int32_t DisplayLength() { return std::clamp<int32_t>(numpoints, 0, DISPLAY_POINTS); }

int32_t ConstellationLength() { return std::clamp<int32_t>(const_points, 0, DISPLAY_POINTS); }

int BuildEye(float period, int32_t record_length) {
    eye_traces = 0;
    eye_length = 0;
    int32_t L = std::clamp<int32_t>(record_length, 0, DISPLAY_POINTS);
    // Under one sample per symbol the traces would not advance through the record.
    if (!(period >= 1.0f) || !std::isfinite(period)) return 0;
    float length = 2.0f * period + 1.5f;
    if (!(length < static_cast<float>(L))) return 0;
    int n = static_cast<int>(length);
    eye_length = n;
    for (int32_t k = 0; eye_traces < EYE_MAX_TRACES; ++k) {
        int32_t s = static_cast<int32_t>(2.0f * static_cast<float>(k) * period + 0.5f);
        if (!(s < L - n)) break;
        eye_start[eye_traces++] = s;
    }
    return eye_traces;
}

bool GlimPixel(float i, float q, float peak, int* x, int* y) {
    if (!(peak > 0.0f) || std::isnan(i) || std::isnan(q)) return false;
    *x = ClampToEdge(GLIM_CANVAS_SCALE * i / peak + GLIM_CANVAS_CENTRE, GLIM_CANVAS);
    *y = ClampToEdge(-GLIM_CANVAS_SCALE * q / peak + GLIM_CANVAS_CENTRE, GLIM_CANVAS);
    return true;
}

int GlimCell(float value, float peak) {
    if (!(peak > 0.0f) || std::isnan(value)) return -1;
    return ClampToEdge(190.0f * value / peak + 200.5f, GLIM_CELLS);
}

int BinPersistence(const float* i, const float* q, int32_t n, float peak) {
    std::fill(&glim_counts[0][0], &glim_counts[0][0] + GLIM_CELLS * GLIM_CELLS, 0);
    glim_peak = 0;
    glim_samples = 0;
    n = std::clamp<int32_t>(n, 0, DISPLAY_POINTS);
    if (!(peak > 0.0f)) return 0;
    for (int32_t s = 0; s < n; ++s) {
        int col = GlimCell(i[s], peak), row = GlimCell(q[s], peak);
        if (col < 0 || row < 0) continue;
        int32_t c = ++glim_counts[row][col];
        glim_peak = std::max(glim_peak, c);
        ++glim_samples;
    }
    return glim_peak;
}

void SumGlimWindow(double x1, double y1, double x2, double y2) {
    std::fill(std::begin(glim_x), std::end(glim_x), 0);
    std::fill(std::begin(glim_y), std::end(glim_y), 0);
    glim_sum = 0;
    if (std::isnan(x1) || std::isnan(x2) || std::isnan(y1) || std::isnan(y2)) return;
    if (x2 < x1) std::swap(x1, x2);
    if (y2 < y1) std::swap(y1, y2);
    x1 = ClampCursor(x1), x2 = ClampCursor(x2), y1 = ClampCursor(y1), y2 = ClampCursor(y2);
    for (int col = static_cast<int>(x1); col < x2; ++col)
        for (int row = static_cast<int>(y1); row < y2; ++row) {
            int32_t c = glim_counts[row][col];
            glim_x[col] += c;
            glim_y[row] += c;
            glim_sum += c;
        }
}

float GlimGamma(float control) { return control * control / 25.0f; }

void ApplyGlimGamma(float gamma) {
    const int32_t* from = &glim_counts[0][0];
    int32_t* to = &glim_shown[0][0];
    const int cells = GLIM_CELLS * GLIM_CELLS;
    if (gamma == 1.0f || glim_peak <= 0) {
        std::copy(from, from + cells, to);
        return;
    }
    double exponent = 1.0 / static_cast<double>(gamma);
    double peak = glim_peak;
    for (int k = 0; k < cells; ++k)
        to[k] = from[k] == 0 ? 0 : static_cast<int32_t>(peak * std::pow(from[k] / peak, exponent));
}

void BuildGlimGreyMap() {
    for (int i = 0; i < 255; ++i)
        glim_map[i] = static_cast<int32_t>(static_cast<int64_t>(glim_peak) * i / 255);
}

int GlimGreyLevel(int32_t count) {
    if (count > glim_map[254]) return GLIM_ABOVE_MAP;
    // The map rises: the first entry at or above the count, so empty cells stay black.
    const int32_t* at = std::lower_bound(glim_map, glim_map + 255, count);
    return static_cast<int>(at - glim_map);
}

void BuildQuantCurve(float bits, float crest_factor) {
    const double step = std::log10(10000.0) / 200.0;
    for (int j = 0; j < QUANT_POINTS; ++j) {
        float f = static_cast<float>(std::pow(10.0, j * step) * 1e6);
        quant_x[j] = f / 1e6;
        quant_noise[j] = 20.0 * std::log10(crest_factor) + 19.21 - 20.0 * std::log10(2.0) * bits -
                         10.0 * std::log10(50.0) - 10.0 * std::log10(static_cast<double>(f));
        quant_floor[j] = QUANT_FLOOR_DBM_HZ;
    }
}

int QuantNearest(double x_mhz) {
    if (!(x_mhz > quant_x[0])) return 0;
    double target = std::log10(x_mhz);
    int best = 0;
    for (int j = 1; j < QUANT_POINTS; ++j)
        if (std::fabs(std::log10(quant_x[j]) - target) < std::fabs(std::log10(quant_x[best]) - target))
            best = j;
    return best;
}
