// Binary setup ("*.set"): any bytes, cut or padded with zeros to 1408.
#include <vector>

#include "fuzz/fuzz_support.h"
#include "shell/fileforms.h"
#include "shell/recordfiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReset();
    std::vector<uint8_t> image(SETTINGS_FILE_SIZE, 0);
    std::memcpy(image.data(), data, size < image.size() ? size : image.size());
    GlobalSettings settings{};
    LoadSetupForm(FuzzFile(image.data(), image.size()), &settings);
    return 0;
}
