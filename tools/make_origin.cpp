// Writes the DVB-C data block "origin.res": 32 MPEG-2 null packets after the
// cable head-end's energy dispersal and RS(204,188) coding, 6528 bytes.
//   make_origin <output file>
#include <cstdio>

#include "modulation/dvb.h"
#include "modulation/transport.h"

static_assert(ORIGIN_PACKETS * RS_PACKET_BYTES == ORIGIN_BYTES);

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
        return 2;
    }
    uint8_t block[ORIGIN_BYTES];
    BuildOriginBlock(block);
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    bool ok = std::fwrite(block, 1, sizeof block, f) == sizeof block;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "write to %s failed\n", argv[1]);
        return 1;
    }
    return 0;
}
