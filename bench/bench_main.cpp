// Benchmarks of the engine. Each *_bench.cpp in this folder registers its own cases.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
