// Arithmetic of the visual displays of a compiled record: the eye traces, the
// persistence canvas and its 400 x 400 intensity grid with the cursor window's
// marginals, the gamma and grey map of the zoom, the density image of the
// traces of the eye, phase diagram and constellation, and the
// quantisation-noise curve of a converter. Everything reads the results the
// last compile left in the globals (compile/engine.h) or its arguments and
// keeps its results in static storage; the panels and uldoc --png only plot them.
#pragma once

#include <cstdint>

#include "compile/engine.h"

// Samples of phase_i/phase_q the displays show: min(numpoints, DISPLAY_POINTS),
// 0 without a record.
int32_t DisplayLength();
// Entries of phase_ic/phase_qc in use: const_points kept within 0 .. DISPLAY_POINTS.
int32_t ConstellationLength();

// ---------------------------------------------------------------------------
// Eye diagram: traces of two symbols plus one sample, n = (int)(2 period + 1.5)
// samples each; trace k starts at s = (int)(2 k period + 0.5) while s < L - n.
// Below one sample per symbol there is no eye.
constexpr int EYE_MAX_TRACES = DISPLAY_POINTS / 2 + 2;
// Written by BuildEye, read by the eye panel and its image until the next call.
extern int32_t eye_start[EYE_MAX_TRACES];
extern int32_t eye_traces;   // traces in eye_start
extern int32_t eye_length;   // n, samples per trace

// Fills eye_start from the samples per symbol and the samples available
// (record_length is cut to DISPLAY_POINTS); returns the number of traces.
int BuildEye(float period, int32_t record_length);

// ---------------------------------------------------------------------------
// Persistence canvas: 200 pixels per full-scale unit (peak) around the centre
// (210, 210), Q upwards.
constexpr int GLIM_CANVAS = 420;
constexpr int GLIM_CANVAS_SCALE = 200;
constexpr int GLIM_CANVAS_CENTRE = 210;

// The canvas pixel of one sample, clamped to the edge pixels 0 .. 419. False
// (nothing to draw) for a peak that is not above 0 or a sample that is not a number.
bool GlimPixel(float i, float q, float peak, int* x, int* y);

// ---------------------------------------------------------------------------
// Persistence zoom: counts of the samples in a 400 x 400 grid of the I/Q plane,
// 190 cells per full-scale unit around the centre cell 200 (col from I, row from Q).
constexpr int GLIM_CELLS = 400;
// Written by BinPersistence, ApplyGlimGamma, SumGlimWindow and
// BuildGlimGreyMap; read by the persistence panel; valid until its next binning.
extern int32_t glim_counts[GLIM_CELLS][GLIM_CELLS];  // [row][col], raw counts
extern int32_t glim_shown[GLIM_CELLS][GLIM_CELLS];   // after the gamma
extern int32_t glim_peak;       // largest raw count
extern int32_t glim_samples;    // samples binned
extern int32_t glim_x[GLIM_CELLS];   // marginal over the cursor window, per column
extern int32_t glim_y[GLIM_CELLS];   // per row
extern int64_t glim_sum;        // samples inside the cursor window
extern int32_t glim_map[255];   // grey map: entry i holds floor(peak i / 255)

// Grid cell of one value, clamped to the edge cells 0 and 399; -1 for a peak
// that is not above 0 or a value that is not a number.
int GlimCell(float value, float peak);

// Bins n samples (n cut to DISPLAY_POINTS) into glim_counts; a sample whose
// I or Q has no cell is skipped. Returns glim_peak (0 for a peak of 0).
int BinPersistence(const float* i, const float* q, int32_t n, float peak);

// Sums the window between the cursors (x1, y1) and (x2, y2), in cell
// coordinates, into glim_x, glim_y and glim_sum: columns from (int)min(x)
// while below max(x), rows likewise, kept within the grid.
void SumGlimWindow(double x1, double y1, double x2, double y2);

// Gamma of the zoom's control value c: c^2 / 25 (5 gives 1).
float GlimGamma(float control);
// glim_shown from glim_counts: every non-zero count C becomes
// (int)(peak (C / peak)^(1 / gamma)); a gamma of 1 leaves the counts as they are.
void ApplyGlimGamma(float gamma);
// glim_map for the current glim_peak.
void BuildGlimGreyMap();
// The colour of a shown count: the grey level i (0 .. 254) of the first map
// entry at or above it, or GLIM_ABOVE_MAP (blue) for a count above the last entry.
constexpr int GLIM_ABOVE_MAP = 255;
int GlimGreyLevel(int32_t count);

// ---------------------------------------------------------------------------
// Density image of many thin traces: the hits of each pixel of a width x height
// grid (row 0 at the top) by lines walked through it, so that a plot of
// hundreds of thousands of translucent segments costs the pixels they touch.
// The panels colour the grid by its counts.
constexpr int DENSITY_MAX_SIDE = 8192;
constexpr int32_t DENSITY_MAX_PIXELS = 4 * 1024 * 1024;
// Written by ClearDensity and the AddDensity calls, read by the plot that
// asked for them right after; valid until the next ClearDensity.
extern int32_t density_counts[DENSITY_MAX_PIXELS];   // [row * density_width + col]
extern int32_t density_width;
extern int32_t density_height;

// The part of the plane the grid shows: x_lower at the left edge of column 0,
// x_upper at the right edge of the last column, y_upper at the top edge.
struct DensityView {
    double x_lower, x_upper, y_lower, y_upper;
};

// Clears a grid of width x height pixels, both scaled down alike when the
// grid would exceed DENSITY_MAX_PIXELS or a side DENSITY_MAX_SIDE (read the
// size back from density_width and density_height). False, with a grid of
// 0 x 0, for a side below 1.
bool ClearDensity(int width, int height);

// One line between two points in pixel units (x from the left edge, y from the
// top), clipped to the grid: each pixel walked from the first end is hit once,
// up to but not including the pixel of the second end, which the next segment
// of a line hits; with `last`, or when the second end lies outside, it is hit
// too. A coordinate that is not finite draws nothing.
void AddDensitySegment(double x0, double y0, double x1, double y1, bool last);

// The line through n points (x[k], y[k]) of the plane; a point with a NaN ends
// one piece of it and the next number starts another.
void AddDensityPath(const float* x, const float* y, int32_t n, const DensityView& view);
// `traces` lines of `length` values each, stored one after the other, the
// value j of each at x = j * x_step.
void AddDensityTraces(const float* values, int32_t traces, int32_t length, double x_step,
                      const DensityView& view);
// n points of the plane: with a size of 1 each hits its pixel, with more a
// disc four pixels across (a 3-pixel disc and its outline) from the pixel
// before it to two after, the corners left out.
void AddDensityDots(const float* x, const float* y, int32_t n, const DensityView& view, int size);

// ---------------------------------------------------------------------------
// Quantisation calculator: the noise density of a B-bit converter with crest
// factor K against 200 sample rates from 1 MHz, log-spaced over four decades,
// and the thermal floor kT, both in dBm per hertz.
constexpr int QUANT_POINTS = 200;
constexpr double QUANT_FLOOR_DBM_HZ = -173.8;
// Written by BuildQuantCurve, read by the quantisation panel and QuantNearest.
extern double quant_x[QUANT_POINTS];       // sample rate, MHz
extern double quant_noise[QUANT_POINTS];   // dBm/Hz
extern double quant_floor[QUANT_POINTS];

void BuildQuantCurve(float bits, float crest_factor);
// The point of the curve nearest to a sample rate in MHz (on the log scale).
int QuantNearest(double x_mhz);
