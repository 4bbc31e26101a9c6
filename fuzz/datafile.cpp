// Data-bit file: a carrier whose bits come from the file, read as the
// symbol mapper reads them for some symbols.
#include "fuzz/fuzz_support.h"
#include "modulation/bits.h"
#include "modulation/mapper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReset();
    OneCarrier(MOD_QAM16);
    signals[0].data_source = DATA_FILE;
    SetField(signals[0].data_file, FuzzFile(data, size));
    ResetGenerators();
    if (OpenDataFile(0) != 0) return 0;
    float i = 0.0f, q = 0.0f;
    for (int k = 0; k < 64; ++k)
        if (iq(MOD_QAM16, &i, &q, 0) != 0) break;
    CloseDataFile(0);
    return 0;
}
