// JSON carrier table.
#include "fuzz/fuzz_support.h"
#include "shell/jsonforms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReset();
    ParseTableJson(std::string(reinterpret_cast<const char*>(data), size), "input");
    return 0;
}
