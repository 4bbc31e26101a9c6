#include "modulation/dvb.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/hooks.h"
#include "shell/uldo.h"

int32_t symbol16[DVB16_SYMBOLS];
int32_t symbol32[DVB32_SYMBOLS];
int32_t symbol64[DVB64_SYMBOLS];
int32_t symbol256[DVB256_SYMBOLS];
float phase_c16, phase_c32, phase_c64, phase_c256;

// resources/origin.res, built into the core (tools/CMakeLists.txt).
extern const unsigned char origin_resource[];
extern const std::size_t origin_resource_size;

// Six low bits of a 256-point symbol -> 8 x row + column inside quadrant 00.
const int32_t dvb_quadrant256[64] = {
    0,  1,  8,  9,  3,  2,  11, 10, 24, 25, 16, 17, 27, 26, 19, 18,
    7,  6,  15, 14, 4,  5,  12, 13, 31, 30, 23, 22, 28, 29, 20, 21,
    56, 57, 48, 49, 59, 58, 51, 50, 32, 33, 40, 41, 35, 34, 43, 42,
    63, 62, 55, 54, 60, 61, 52, 53, 39, 38, 47, 46, 36, 37, 44, 45,
};

// Whole 6-bit symbol (after differential coding) -> 8 x row + column.
const int32_t dvb_position64[64] = {
    36, 37, 44, 45, 39, 38, 47, 46, 60, 61, 52, 53, 63, 62, 55, 54,
    28, 20, 29, 21, 4,  12, 5,  13, 31, 23, 30, 22, 7,  15, 6,  14,
    35, 43, 34, 42, 59, 51, 58, 50, 32, 40, 33, 41, 56, 48, 57, 49,
    27, 26, 19, 18, 24, 25, 16, 17, 3,  2,  11, 10, 0,  1,  8,  9,
};

namespace {

struct DvbLayout {
    int modulation;
    int bits;        // bits per symbol
    int symbols;     // symbols in the table
    int32_t* table;
    float* phase;
};

const DvbLayout dvb_layouts[] = {
    {MOD_DVBC16, 4, DVB16_SYMBOLS, symbol16, &phase_c16},
    {MOD_DVBC32, 5, DVB32_SYMBOLS, symbol32, &phase_c32},
    {MOD_DVBC64, 6, DVB64_SYMBOLS, symbol64, &phase_c64},
    {MOD_DVBC256, 8, DVB256_SYMBOLS, symbol256, &phase_c256},
};

const DvbLayout* Layout(int modulation) {
    for (const DvbLayout& l : dvb_layouts)
        if (l.modulation == modulation) return &l;
    return nullptr;
}

// Turns the in-quadrant offset (dr, dc) counted from the grid's centre into
// quadrant q of a grid of 2 x half levels per axis: q 0 as it stands, q 2 a
// quarter turn on, q 3 a half turn, q 1 three quarters (row counted upward).
void PlaceInQuadrant(int q, int half, int dr, int dc, int* row, int* col) {
    switch (q) {
        case 0: *row = half + dr; *col = half + dc; break;
        case 1: *row = half - 1 - dc; *col = half + dr; break;
        case 2: *row = half + dc; *col = half - 1 - dr; break;
        default: *row = half - 1 - dr; *col = half - 1 - dc; break;
    }
}

// 16 points, quadrant 00: the low bit steps the column away from the centre,
// the next bit the row, as the lowest two bits do in the 64-point pattern.
//   row 3:  2 3
//   row 2:  0 1      (columns 2, 3)
//
// 32 points, quadrant 00 is a 3 x 3 block less its outer corner. The low two
// bits place a point in the inner 2 x 2 block as for 16 points; the third bit
// moves it out to the L-shaped outer ring, mirrored across the block's edge
// where the ring has room, so that most neighbours differ in one bit:
//   row 5:  6 4 .
//   row 4:  2 3 7
//   row 3:  0 1 5    (columns 3, 4, 5)
constexpr int offset32[8][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 1}, {0, 2}, {2, 0}, {1, 2}};

// Grid position of the 6 x 6 cross (6 x row + column) -> QAM-32 symbol index.
int CrossIndex(int grid) {
    if (grid < 6) return grid - 1;
    if (grid < 30) return grid - 2;
    return grid - 3;
}

}  // namespace

int DvbPosition(int modulation, int value) {
    int row, col;
    switch (modulation) {
        case MOD_DVBC16: {
            int t = value & 3;
            PlaceInQuadrant((value >> 2) & 3, 2, t >> 1, t & 1, &row, &col);
            return 4 * row + col;
        }
        case MOD_DVBC32: {
            const int* d = offset32[value & 7];
            PlaceInQuadrant((value >> 3) & 3, 3, d[0], d[1], &row, &col);
            return CrossIndex(6 * row + col);
        }
        case MOD_DVBC64: return dvb_position64[value & 63];
        case MOD_DVBC256: {
            int t = dvb_quadrant256[value & 63];
            PlaceInQuadrant((value >> 6) & 3, 8, t / 8, t % 8, &row, &col);
            return 16 * row + col;
        }
        default: return 0;
    }
}

void DvbInterleave(const uint8_t in[ORIGIN_BYTES], uint8_t out[ORIGIN_BYTES]) {
    for (int i = 0; i < ORIGIN_BYTES; ++i) {
        int j = i - 204 * (i % 12);
        while (j < 0) j += ORIGIN_BYTES;
        out[i] = in[j];
    }
}

void BuildDvbTable(const uint8_t block[ORIGIN_BYTES], int modulation, int32_t* table,
                   float* phase) {
    const DvbLayout* layout = Layout(modulation);
    if (!layout || !table || !phase) return;
    uint8_t interleaved[ORIGIN_BYTES];
    DvbInterleave(block, interleaved);

    const int m = layout->bits;
    int ip = 0, qp = 0;  // differential state
    long long n = 0;     // serial number of the next bit
    for (int k = 0; k < layout->symbols; ++k) {
        int value = 0;
        for (int b = 0; b < m; ++b, ++n) {
            int byte = interleaved[(n / 8) % ORIGIN_BYTES];
            value = 2 * value + ((byte >> (7 - n % 8)) & 1);
        }
        int a = (value >> (m - 1)) & 1;
        int bb = (value >> (m - 2)) & 1;
        int i_bit, q_bit;
        if (a == bb) {
            i_bit = a ^ ip;
            q_bit = bb ^ qp;
        } else {
            i_bit = a ^ qp;
            q_bit = bb ^ ip;
        }
        value = (value & ((1 << (m - 2)) - 1)) | (i_bit << (m - 1)) | (q_bit << (m - 2));
        ip = i_bit;
        qp = q_bit;
        table[k] = DvbPosition(modulation, value);
    }
    if (ip == 0 && qp == 0)
        *phase = 0.0f;
    else if (ip == 0)
        *phase = PI / 2.0f;
    else if (qp == 0)
        *phase = -PI / 2.0f;
    else
        *phase = PI;
}

int ReadOriginBlock(uint8_t block[ORIGIN_BYTES]) {
    // The block travels inside the program, so no directory can lose it; a
    // file replaces it only where ULDO_ORIGIN names one.
    std::memset(block, 0, ORIGIN_BYTES);
    std::memcpy(block, origin_resource,
                origin_resource_size < ORIGIN_BYTES ? origin_resource_size : ORIGIN_BYTES);
    const char* path = std::getenv("ULDO_ORIGIN");
    if (!path || !*path) return ORIGIN_BYTES;

    char text[4400];
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::snprintf(text, sizeof text,
                      "The DVB-C data block \"%s\" (ULDO_ORIGIN) cannot be opened: %s.\n"
                      "The built-in block is used.",
                      path, std::strerror(errno));
        ReportMessage("", text);
        return ORIGIN_BYTES;
    }
    uint8_t bytes[ORIGIN_BYTES + 1];
    std::size_t got = std::fread(bytes, 1, sizeof bytes, f);
    int error = std::ferror(f) ? errno : 0;
    std::fclose(f);
    if (error || got != ORIGIN_BYTES) {
        if (error)
            std::snprintf(text, sizeof text,
                          "The DVB-C data block \"%s\" (ULDO_ORIGIN) cannot be read: %s.\n"
                          "The built-in block is used.",
                          path, std::strerror(error));
        else if (got > ORIGIN_BYTES)
            std::snprintf(text, sizeof text,
                          "The DVB-C data block \"%s\" (ULDO_ORIGIN) holds more than %d bytes.\n"
                          "The built-in block is used.",
                          path, ORIGIN_BYTES);
        else
            std::snprintf(text, sizeof text,
                          "The DVB-C data block \"%s\" (ULDO_ORIGIN) holds %zu of %d bytes.\n"
                          "The built-in block is used.",
                          path, got, ORIGIN_BYTES);
        ReportMessage("", text);
        return ORIGIN_BYTES;
    }
    std::memcpy(block, bytes, ORIGIN_BYTES);
    return ORIGIN_BYTES;
}

const int32_t* DvbTableOf(int modulation, int* symbols) {
    const DvbLayout* layout = Layout(modulation);
    if (symbols) *symbols = layout ? layout->symbols : 0;
    return layout ? layout->table : nullptr;
}

float DvbTablePhase(int modulation) {
    const DvbLayout* layout = Layout(modulation);
    return layout ? *layout->phase : 0.0f;
}

void dvbgen(int modulation, int32_t* table, float* phase) {
    uint8_t block[ORIGIN_BYTES];
    ReadOriginBlock(block);
    BuildDvbTable(block, modulation, table, phase);
}

void BuildDvbTables() {
    uint8_t block[ORIGIN_BYTES];
    ReadOriginBlock(block);
    for (const DvbLayout& l : dvb_layouts) BuildDvbTable(block, l.modulation, l.table, l.phase);
}
