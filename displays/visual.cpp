// Eye traces, persistence grid and canvas coordinates, gamma and grey map, the
// density image of many thin lines, and the quantisation-noise curve.
#include "displays/visual.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

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

int32_t density_counts[DENSITY_MAX_PIXELS];
int32_t density_width;
int32_t density_height;

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

// Pixel units of a view: px = (x - x_lower) * x_scale, py = (y_upper - y) * y_scale.
struct PixelMap {
    double x_lower, x_scale, y_upper, y_scale;
};

bool MapView(const DensityView& view, PixelMap* map) {
    double width = view.x_upper - view.x_lower, height = view.y_upper - view.y_lower;
    if (!(width > 0.0) || !(height > 0.0) || !std::isfinite(width) || !std::isfinite(height)) return false;
    *map = {view.x_lower, density_width / width, view.y_upper, density_height / height};
    return true;
}

// A pixel coordinate onto a column or row index; safe for any number.
int PixelIndex(double v, int size) {
    if (!(v >= 0.0)) return 0;
    if (!(v < size)) return size - 1;
    return static_cast<int>(v);
}

// Bresenham between two pixels of the grid, the second hit only with `end`.
void WalkLine(int x0, int y0, int x1, int y1, bool end) {
    const int32_t width = density_width;
    int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    int32_t step_x = x0 < x1 ? 1 : -1, step_y = y0 < y1 ? width : -width;
    int32_t* p = density_counts + static_cast<ptrdiff_t>(y0) * width + x0;
    if (dx >= dy) {
        int err = 2 * dy - dx;
        for (int k = 0; k < dx; ++k) {
            ++*p;
            p += step_x;
            if (err > 0) p += step_y, err -= 2 * dx;
            err += 2 * dy;
        }
    } else {
        int err = 2 * dx - dy;
        for (int k = 0; k < dy; ++k) {
            ++*p;
            p += step_y;
            if (err > 0) p += step_x, err -= 2 * dy;
            err += 2 * dx;
        }
    }
    if (end) ++*p;
}

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

bool ClearDensity(int width, int height) {
    density_width = density_height = 0;
    if (width < 1 || height < 1) return false;
    double shrink = std::max({1.0, width / double(DENSITY_MAX_SIDE), height / double(DENSITY_MAX_SIDE),
                              std::sqrt(double(width) * height / DENSITY_MAX_PIXELS)});
    if (shrink > 1.0) {
        width = std::clamp(static_cast<int>(width / shrink), 1, DENSITY_MAX_SIDE);
        height = std::clamp(static_cast<int>(height / shrink), 1, DENSITY_MAX_SIDE);
        while (static_cast<int64_t>(width) * height > DENSITY_MAX_PIXELS) width > height ? --width : --height;
    }
    density_width = width;
    density_height = height;
    std::fill(density_counts, density_counts + static_cast<ptrdiff_t>(width) * height, 0);
    return true;
}

void AddDensitySegment(double x0, double y0, double x1, double y1, bool last) {
    if (density_width < 1 || density_height < 1) return;
    const double w = density_width, h = density_height;
    // Most segments of a plot lie wholly inside.
    if (x0 >= 0.0 && x0 < w && y0 >= 0.0 && y0 < h && x1 >= 0.0 && x1 < w && y1 >= 0.0 && y1 < h) {
        WalkLine(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1), last);
        return;
    }
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
    // Liang-Barsky: the part of the segment inside [0, width] x [0, height]. An
    // end moved onto an edge takes that edge's coordinate exactly, so that a
    // line from far outside still crosses the right pixels.
    double dx = x1 - x0, dy = y1 - y0, t0 = 0.0, t1 = 1.0;
    double edge0 = 0.0, edge1 = 0.0;
    int axis0 = -1, axis1 = -1;   // 0 for x, 1 for y: which edge an end was moved onto
    auto inside = [&](double p, double q, int axis, double edge) {
        if (p == 0.0) return q >= 0.0;
        double r = q / p;
        if (p < 0.0) {
            if (r > t1) return false;
            if (r > t0) t0 = r, axis0 = axis, edge0 = edge;
        } else {
            if (r < t0) return false;
            if (r < t1) t1 = r, axis1 = axis, edge1 = edge;
        }
        return true;
    };
    if (!inside(-dx, x0, 0, 0.0) || !inside(dx, w - x0, 0, w) || !inside(-dy, y0, 1, 0.0) ||
        !inside(dy, h - y0, 1, h))
        return;
    double ax = axis0 == 0 ? edge0 : x0 + t0 * dx, ay = axis0 == 1 ? edge0 : y0 + t0 * dy;
    double bx = axis1 == 0 ? edge1 : t1 < 1.0 ? x0 + t1 * dx : x1;
    double by = axis1 == 1 ? edge1 : t1 < 1.0 ? y0 + t1 * dy : y1;
    bool cut = t1 < 1.0;
    WalkLine(PixelIndex(ax, density_width), PixelIndex(ay, density_height), PixelIndex(bx, density_width),
             PixelIndex(by, density_height), last || cut);
}

void AddDensityPath(const float* x, const float* y, int32_t n, const DensityView& view) {
    PixelMap m;
    if (density_width < 1 || !MapView(view, &m)) return;
    auto missing = [x, y](int32_t k) { return std::isnan(x[k]) || std::isnan(y[k]); };
    for (int32_t k = 1; k < n; ++k) {
        if (missing(k) || missing(k - 1)) continue;
        bool last = k + 1 == n || missing(k + 1);
        AddDensitySegment((x[k - 1] - m.x_lower) * m.x_scale, (m.y_upper - y[k - 1]) * m.y_scale,
                          (x[k] - m.x_lower) * m.x_scale, (m.y_upper - y[k]) * m.y_scale, last);
    }
}

void AddDensityTraces(const float* values, int32_t traces, int32_t length, double x_step,
                      const DensityView& view) {
    PixelMap m;
    if (density_width < 1 || length < 2 || !MapView(view, &m)) return;
    for (int32_t t = 0; t < traces; ++t) {
        const float* trace = values + static_cast<ptrdiff_t>(t) * length;
        double px = -m.x_lower * m.x_scale, py = (m.y_upper - trace[0]) * m.y_scale;
        for (int32_t j = 1; j < length; ++j) {
            double qx = (j * x_step - m.x_lower) * m.x_scale, qy = (m.y_upper - trace[j]) * m.y_scale;
            AddDensitySegment(px, py, qx, qy, j + 1 == length);
            px = qx, py = qy;
        }
    }
}

void AddDensityDots(const float* x, const float* y, int32_t n, const DensityView& view, int size) {
    PixelMap m;
    if (density_width < 1 || !MapView(view, &m)) return;
    const bool disc = size > 1;
    for (int32_t k = 0; k < n; ++k) {
        double px = (x[k] - m.x_lower) * m.x_scale, py = (m.y_upper - y[k]) * m.y_scale;
        if (!(px > -4.0 && px < density_width + 4.0 && py > -4.0 && py < density_height + 4.0)) continue;
        int col = static_cast<int>(std::floor(px)), row = static_cast<int>(std::floor(py));
        if (!disc) {
            if (col >= 0 && col < density_width && row >= 0 && row < density_height)
                ++density_counts[static_cast<ptrdiff_t>(row) * density_width + col];
            continue;
        }
        // A disc of three pixels with its outline: four across, the corners left out.
        for (int r = std::max(row - 1, 0); r <= std::min(row + 2, density_height - 1); ++r)
            for (int c = std::max(col - 1, 0); c <= std::min(col + 2, density_width - 1); ++c)
                if ((r != row - 1 && r != row + 2) || (c != col - 1 && c != col + 2))
                    ++density_counts[static_cast<ptrdiff_t>(r) * density_width + c];
    }
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
