// Symbol map ("*.smp") as a FILE 3 carrier reads it: the map image, cut or
// padded to its size, then a few symbols (it is read again for each) drawn through it.
#include <vector>

#include "fuzz/fuzz_support.h"
#include "modulation/mapper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReset();
    std::vector<uint8_t> image(sizeof(SymbolMap), 0);
    std::memcpy(image.data(), data, size < image.size() ? size : image.size());
    OneCarrier(MOD_FILE3);
    SetField(signals[0].mod_file, FuzzFile(image.data(), image.size()));
    ResetGenerators();
    float i = 0.0f, q = 0.0f;
    for (int k = 0; k < 16; ++k)
        if (iq(MOD_FILE3, &i, &q, 0) != 0) break;
    return 0;
}
