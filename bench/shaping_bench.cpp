// Pulse-table design and the spectrum preview's transform.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "shaping/filters.h"
#include "shaping/windows.h"
#include "shell/uldo.h"

namespace {

// A 201-symbol root raised cosine: 10,101 entries, the longest table in common use.
void BM_BuildFilterLongRootRaisedCosine(benchmark::State& state) {
    ResetRecords();
    InitPI();
    Carrier& c = signals[0];
    c.frequency_hz = 10e6f;
    c.modulation = MOD_QPSK;
    c.filter_type = FILTER_SQRT_RCOS;
    c.filter_length = 201;
    c.filter_param = 0.35f;
    globals.reference_carrier = 0;  // keep "FILTER.DAT" out of the timing
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildFilter(0));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * PulseEntries(201));
}
BENCHMARK(BM_BuildFilterLongRootRaisedCosine)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// Includes copying the 8192 inputs back in, since the transform works in place.
void BM_Spectrum8192(benchmark::State& state) {
    static double input[8192], x[8192];
    for (int i = 0; i < 8192; ++i)
        input[i] = std::sin(0.37 * i) + 0.25 * std::cos(0.011 * i * i);
    Spectrum(x, 8192);  // the plan is made on first use
    for (auto _ : state) {
        std::memcpy(x, input, sizeof x);
        benchmark::DoNotOptimize(Spectrum(x, 8192));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Spectrum8192)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
