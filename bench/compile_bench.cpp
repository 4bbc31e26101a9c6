// The compile pass (pass 0) of the engine on four carrier tables, and beside
// each the plain per-sample synthesis of the tests on the same table; then
// the fifth, long table's pass beside the whole uldoc run on it. Items
// are sample x carriers. The reference runs also report max_error_fs, the
// largest difference of the engine's composite record from theirs relative
// to the record's full scale.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "compile/engine.h"
#include "compile/output.h"
#include "modulation/mapper.h"
#include "shell/jsonforms.h"
#include "shell/uldo.h"
#include "tests/compile/reference_kernel.h"

namespace {

// Table and setup from bench/compile_<name>_{table,setup}.json, planned and
// with its pulses designed. false (and the benchmark skipped) when they do
// not load.
bool LoadWorkload(benchmark::State& state, const char* name) {
    ResetRecords();
    InitPI();
    std::string stem = std::string(ULDO_SOURCE_DIR) + "/bench/compile_" + name;
    if (ReadTableJson((stem + "_table.json").c_str()) < 0 ||
        ReadSettingsJson((stem + "_setup.json").c_str(), &globals) != 0) {
        state.SkipWithError("workload files do not load");
        return false;
    }
    std::fill(std::begin(GMSK_corr), std::end(GMSK_corr), 0.0f);
    if (PlanRecord() != 0 || DesignFilters() != 0) {
        state.SkipWithError("workload does not plan");
        return false;
    }
    std::remove("FILTER.DAT");  // the reference carrier's pulse, written by the design
    return true;
}

void Count(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(numpoints) * compile_carriers);
    state.counters["clock_MHz"] = record_clock / 1e6;
}

void BM_CompilePass(benchmark::State& state, const char* name) {
    if (!LoadWorkload(state, name)) return;
    for (auto _ : state) {
        if (RunPass(0, nullptr) != COMPILE_DONE) {
            state.SkipWithError("compile pass failed");
            return;
        }
        benchmark::DoNotOptimize(max_value);
    }
    Count(state);
}

// The composite record as the engine's RF pass writes it (WFM floats times the peak).
std::vector<float> EngineComposite() {
    MemorySink sink;
    InitMemorySink(&sink);
    CompileTargets targets{};
    targets.sink[1] = &sink.sink;
    globals.output_rf = 1;
    std::vector<float> x;
    if (CompileTable(&targets) != COMPILE_DONE) return x;
    const std::string magic = "MAGIC 1000\r\n#";
    size_t at = magic.size();
    int digits = sink.bytes[at++] - '0';
    at += digits;
    x.resize(numpoints);
    for (int s = 0; s < numpoints; ++s) {
        std::memcpy(&x[s], &sink.bytes[at + 5 * static_cast<size_t>(s)], 4);
        x[s] *= max_value;
    }
    std::remove("FILTER.DAT");
    return x;
}

void BM_ReferencePass(benchmark::State& state, const char* name) {
    if (!LoadWorkload(state, name)) return;
    ReferenceRecord record;
    for (auto _ : state) {
        if (ReferencePass(0, &record) != 0) {
            state.SkipWithError("reference pass failed");
            return;
        }
        benchmark::DoNotOptimize(record.max_value);
    }
    Count(state);
    std::vector<float> engine = EngineComposite();
    double worst = 0.0, scale = 0.0;
    for (size_t s = 0; s < engine.size() && s < record.composite.size(); ++s) {
        worst = std::max(worst, std::fabs(static_cast<double>(engine[s]) - record.composite[s]));
        scale = std::max(scale, std::fabs(static_cast<double>(record.composite[s])));
    }
    state.counters["max_error_fs"] = engine.size() == record.composite.size() && scale > 0 ? worst / scale : -1;
}

#define ULDO_COMPILE_BENCH(name)                                                        \
    BENCHMARK_CAPTURE(BM_CompilePass, name, #name)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime(); \
    BENCHMARK_CAPTURE(BM_ReferencePass, name, #name)                                    \
        ->Unit(benchmark::kMillisecond)                                                 \
        ->UseRealTime()                                                                 \
        ->Iterations(1)

ULDO_COMPILE_BENCH(w1);
ULDO_COMPILE_BENCH(w2);
ULDO_COMPILE_BENCH(w3);
ULDO_COMPILE_BENCH(w4);

// W5, the long many-carrier record: its compile pass, and the whole uldoc
// run (plan, passes, RF + I + Q written as WFM files of 80 MB each).
void BM_UldocRun(benchmark::State& state, const char* name) {
    char dir[] = "/tmp/uldo_bench_XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no scratch directory");
        return;
    }
    const std::string stem = std::string(ULDO_SOURCE_DIR) + "/bench/compile_" + name;
    const std::string out = std::string(dir) + "/" + name + ".wfm";
    const std::string command = std::string("cd ") + dir + " && " + ULDOC_PATH + " " + stem + "_table.json --setup " +
                                stem + "_setup.json -o " + out + " > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("uldoc failed");
            break;
        }
    }
    std::filesystem::remove_all(dir);
    state.SetItemsProcessed(state.iterations() * 16000000LL * 100);
}

BENCHMARK_CAPTURE(BM_CompilePass, w5, "w5")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(1);
BENCHMARK_CAPTURE(BM_UldocRun, w5, "w5")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
