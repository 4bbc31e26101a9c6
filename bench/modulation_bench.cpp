// Symbol generation cost per modulation family: one iq (or iqfile) call per
// iteration, as the synthesis kernel makes them.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "modulation/mapper.h"
#include "shell/uldo.h"

namespace {

std::string ScratchFile(const std::string& name, const std::string& bytes) {
    auto dir = std::filesystem::temp_directory_path() / ("uldo_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

void PrepareCarrier(int modulation) {
    ResetRecords();
    Carrier& c = signals[0];
    c.modulation = modulation;
    c.data_source = DATA_PRBS;
    c.prbs_poly_i = 3;
    c.prbs_seed_i = 0xFEDCBA98u;
    c.channel_code = 5;
    c.spreading_factor = 128;
    c.scrambling_code_group = 40;
    c.scrambling_code_in_group = 3;
    c.impairment1_type = IMPAIRMENT_PHASE;
    c.impairment1_value = 2;
    ResetGenerators();
}

void BM_Symbol(benchmark::State& state) {
    const int modulation = static_cast<int>(state.range(0));
    PrepareCarrier(modulation);
    if (modulation == MOD_DVBC256 || modulation == MOD_DVBC64) {
        uint8_t block[ORIGIN_BYTES];
        for (int k = 0; k < ORIGIN_BYTES; ++k) block[k] = static_cast<uint8_t>(k * 97 + 13);
        BuildDvbTable(block, modulation, modulation == MOD_DVBC64 ? symbol64 : symbol256,
                      modulation == MOD_DVBC64 ? &phase_c64 : &phase_c256);
    }
    if (modulation == MOD_FILE3) {
        SymbolMap m{};
        m.num_points = 16;
        for (int k = 0; k < 16; ++k) m.point_i[k] = m.point_q[k] = static_cast<float>(k);
        SetField(signals[0].mod_file,
                 ScratchFile("map.smp", std::string(reinterpret_cast<const char*>(&m), sizeof m)));
    }
    float I, Q;
    for (auto _ : state) {
        if (iq(modulation, &I, &Q, 0) != 0) state.SkipWithError("iq failed");
        benchmark::DoNotOptimize(I);
        benchmark::DoNotOptimize(Q);
    }
    state.SetLabel(ModulationDisplayName(modulation));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Symbol)
    ->Arg(MOD_QPSK)->Arg(MOD_QAM64)->Arg(MOD_QAM1024)->Arg(MOD_QAM128)
    ->Arg(MOD_CQPSK)->Arg(MOD_8PSK)->Arg(MOD_CAP16)->Arg(MOD_4FSK)->Arg(MOD_SSB)
    ->Arg(MOD_DVBC64)->Arg(MOD_DVBC256)->Arg(MOD_IS95DL)->Arg(MOD_3GPPDL)->Arg(MOD_3GPPSC)
    ->Arg(MOD_FILE3);

void BM_IqFile(benchmark::State& state) {
    const int encoding = static_cast<int>(state.range(0));
    std::string bytes;
    if (encoding == 0) {
        for (int k = 0; k < 1000; ++k) bytes += std::to_string(k * 0.001) + " " + std::to_string(-k * 0.002) + "\n";
    } else {
        for (int k = 0; k < 2000; ++k) {
            float v = static_cast<float>(k) * 0.001f;
            bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
        }
    }
    std::FILE* f = std::fopen(ScratchFile("iq.dat", bytes).c_str(), "rb");
    float I = 0, Q = 0;
    for (auto _ : state) {
        iqfile(f, encoding, 0, &I, &Q);
        benchmark::DoNotOptimize(I);
        benchmark::DoNotOptimize(Q);
    }
    std::fclose(f);
    state.SetLabel(encoding == 0 ? "text pairs" : "float32 pairs");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IqFile)->Arg(0)->Arg(1);

}  // namespace
