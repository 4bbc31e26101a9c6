// A whole compile: a JSON table, optionally followed by a line "%%" and a
// JSON setup, is planned; then a record of at most a few thousand samples
// (2000 when the setup asks for more) is compiled into memory, every enabled pass.
#include "compile/engine.h"
#include "compile/output.h"
#include "fuzz/fuzz_support.h"
#include "modulation/bits.h"
#include "shaping/filters.h"
#include "shell/jsonforms.h"

namespace {

MemorySink sinks[4];

void SmallSettings() {
    globals.compile_mode = 0;
    globals.compile_length = 400;
    globals.sample_clock = 2.5f;
    globals.instrument_type = 0;
    globals.max_record_length = 16000000;
    globals.record_granularity = 1;
    globals.output_destination = 1;
    globals.output_rf = 1;
    globals.reference_carrier = 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int ready = 0;
    if (!ready) {
        SetCompileThreads(1);
        filter_dat_path[0] = 0;  // no pulse file left in the working directory
        ready = 1;
    }
    FuzzReset();
    for (int c = 0; c < MAX_CARRIERS; ++c) CloseDataFile(c);
    SmallSettings();
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string setup;
    size_t cut = text.find("\n%%\n");
    if (cut != std::string::npos) {
        setup = text.substr(cut + 4);
        text.resize(cut);
    }
    int count = ParseTableJson(text, "table");
    if (count < 0) return 0;
    if (!setup.empty() && ParseSettingsJson(setup, "setup", &globals) != 0) return 0;
    globals.carrier_count = count;
    if (PlanRecord() != 0) return 0;
    if (numpoints > 4000) {
        // The plan of the setup's own length was checked; compile a short one.
        globals.compile_mode = 0;
        globals.compile_length = 2000;
        if (PlanRecord() != 0) return 0;
        if (numpoints > 4000) return 0;
    }
    CompileTargets targets{};
    for (int p = 1; p <= 3; ++p) {
        InitMemorySink(&sinks[p]);
        targets.sink[p] = &sinks[p].sink;
    }
    int result = CompileTable(&targets);
    if (std::getenv("ULDO_FUZZ_VERBOSE"))
        std::fprintf(stderr, "%d carriers, %d samples, result %d, %d messages\n", count, numpoints, result,
                     fuzz_messages);
    for (int c = 0; c < MAX_CARRIERS; ++c) CloseDataFile(c);
    return 0;
}
