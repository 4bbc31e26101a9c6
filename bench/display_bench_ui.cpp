// The visual displays drawn offscreen on a full display record (500,000
// samples, 50,000 symbol instants): each opening, and the persistence zoom's
// updates on a gamma or cursor change.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cmath>
#include <cstdint>

#include "compile/engine.h"
#include "displays/visual.h"
#include "displays/visual_ui.h"
#include "displays/visualplot_ui.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "shell/widgets_ui.h"

namespace {

// A QPSK-like baseband: random symbols at 10 samples per symbol, joined by
// raised-cosine transitions, and the instants at the symbol starts.
void FillRecord() {
    static bool done = false;
    if (done) return;
    done = true;
    const int per_symbol = 10;
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return (state >> 31) ? 1.0f : -1.0f;
    };
    float i0 = next(), q0 = next();
    for (int s = 0; s < DISPLAY_POINTS; s += per_symbol) {
        float i1 = next(), q1 = next();
        for (int k = 0; k < per_symbol && s + k < DISPLAY_POINTS; ++k) {
            float w = static_cast<float>(0.5 - 0.5 * std::cos(PI_DOUBLE * k / per_symbol));
            phase_i[s + k] = i0 + (i1 - i0) * w;
            phase_q[s + k] = q0 + (q1 - q0) * w;
        }
        phase_ic[s / per_symbol] = i0;
        phase_qc[s / per_symbol] = q0;
        i0 = i1, q0 = q1;
    }
    numpoints = DISPLAY_POINTS;
    const_points = DISPLAY_POINTS / per_symbol;
    pointperiod = per_symbol;
    record_clock = 100e6;
    max_i = 1.0f;
    for (int k = 0; k < 1024; ++k) {
        map.point_i[k] = static_cast<float>(k % 32) - 15.5f;
        map.point_q[k] = static_cast<float>(k / 32) - 15.5f;
    }
    map.num_points = 1024;
}

void StartInterface() {
    if (QApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "uldo_bench";
    static char* argv[] = {name, nullptr};
    InitUserInterface(argc, argv);
    RegisterUldoCallbacks();
}

// Draws every graph of the panel now, as showing it would.
void Render(int panel, std::initializer_list<int> graphs) {
    for (int control : graphs) {
        QCustomPlot* plot = DisplayPlot(panel, control);
        plot->setViewport(plot->rect());
        plot->replot(QCustomPlot::rpImmediateRefresh);
    }
}

struct Display {
    int resource;
    void (*draw)(int panel);
    std::initializer_list<int> graphs;
};

void DrawPhase(int panel) { DrawZoom(panel, false); }
void DrawConstellation(int panel) { DrawZoom(panel, true); }

void BM_DrawDisplay(benchmark::State& state, Display display) {
    FillRecord();
    StartInterface();
    int panel = 0;
    for (auto _ : state) {
        if (LoadDisplay(&panel, display.resource) < 0) {
            state.SkipWithError("panel");
            return;
        }
        display.draw(panel);
        Render(panel, display.graphs);
        QApplication::processEvents();
    }
    CloseDisplay(&panel);
}

BENCHMARK_CAPTURE(BM_DrawDisplay, IQ, Display{PANEL_IQ_TIME, DrawIQ, {TRACE_I_GRAPH, TRACE_Q_GRAPH}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DrawDisplay, Eye, Display{PANEL_EYE, DrawEye, {TRACE_I_GRAPH, TRACE_Q_GRAPH}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DrawDisplay, Phase, Display{PANEL_ZOOM, DrawPhase, {ZOOM_GRAPH}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DrawDisplay, Constellation, Display{PANEL_ZOOM, DrawConstellation, {ZOOM_GRAPH}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DrawDisplay, PersistenceCanvas, Display{PANEL_PERSISTENCE, DrawGlim, {}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DrawDisplay, PersistenceZoom,
                  Display{PANEL_GLIM_ZOOM, DrawGlimZoom, {GLIM_GRAPH, GLIM_X_GRAPH, GLIM_Y_GRAPH}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DrawDisplay, MapPreview, Display{PANEL_MAP_PREVIEW, DrawMapPreview, {PREVIEW_GRAPH}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DrawDisplay, Quantisation, Display{PANEL_QUANT, DrawQuant, {QUANT_GRAPH}})
    ->Unit(benchmark::kMillisecond);

// The zoom open, then a gamma step or a cursor step per iteration, with the
// graphs that the update redraws.
void BM_PersistenceZoomUpdate(benchmark::State& state, bool gamma) {
    FillRecord();
    StartInterface();
    if (LoadDisplay(&handle28, PANEL_GLIM_ZOOM) < 0) {
        state.SkipWithError("panel");
        return;
    }
    DrawGlimZoom(handle28);
    Render(handle28, {GLIM_GRAPH, GLIM_X_GRAPH, GLIM_Y_GRAPH});
    int step = 0;
    for (auto _ : state) {
        ++step;
        if (gamma) {
            SetCtrlVal(handle28, GLIM_GAMMA, 4.0 + (step % 4));
            UpdateGamma(handle28, GLIM_GAMMA, EVENT_VAL_CHANGED, nullptr, 0, 0);
            Render(handle28, {GLIM_GRAPH});
        } else {
            SetGraphCursor(handle28, GLIM_GRAPH, 1, 100.0 + step % 50, 100.0 + step % 70);
            UpdateGamma(handle28, GLIM_GRAPH, EVENT_VAL_CHANGED, nullptr, 1, 0);
            Render(handle28, {GLIM_X_GRAPH, GLIM_Y_GRAPH});
        }
    }
    CloseDisplay(&handle28);
}

BENCHMARK_CAPTURE(BM_PersistenceZoomUpdate, Gamma, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PersistenceZoomUpdate, Cursor, false)->Unit(benchmark::kMillisecond);

// The core alone: binning the record into the 400 x 400 grid.
void BM_BinPersistence(benchmark::State& state) {
    FillRecord();
    for (auto _ : state) benchmark::DoNotOptimize(BinPersistence(phase_i, phase_q, DISPLAY_POINTS, max_i));
}
BENCHMARK(BM_BinPersistence)->Unit(benchmark::kMillisecond);

}  // namespace
