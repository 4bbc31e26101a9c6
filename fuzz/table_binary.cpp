// Binary carrier table ("*.kvt"): any bytes, cut or padded with zeros to the
// size of the image, so that every input reaches the record checks.
#include <vector>

#include "fuzz/fuzz_support.h"
#include "shell/fileforms.h"
#include "shell/recordfiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReset();
    std::vector<uint8_t> image(TABLE_FILE_SIZE, 0);
    std::memcpy(image.data(), data, size < image.size() ? size : image.size());
    LoadTableForm(FuzzFile(image.data(), image.size()));
    return 0;
}
