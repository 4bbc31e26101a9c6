// JSON setup.
#include "fuzz/fuzz_support.h"
#include "shell/jsonforms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReset();
    GlobalSettings settings{};
    ParseSettingsJson(std::string(reinterpret_cast<const char*>(data), size), "input", &settings);
    return 0;
}
