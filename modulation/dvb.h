// DVB-C symbol tables: a fixed block of transport-stream bytes ("origin.res")
// put through the cable standard's interleaver, symbol forming, differential
// coding of the two most significant bits and constellation placement.
#pragma once

#include <cstdint>

constexpr int ORIGIN_BYTES = 6528;        // 32 packets of 204 bytes
constexpr int DVB16_SYMBOLS = 8160;       // 4080 bytes, 20 packets
constexpr int DVB32_SYMBOLS = 8160;       // 5100 bytes, 25 packets
constexpr int DVB64_SYMBOLS = 2176;       // 1632 bytes, 8 packets
constexpr int DVB256_SYMBOLS = 1632;      // 1632 bytes, 8 packets

// Table entries. symbol16: 4 x row + column of the 4 x 4 grid. symbol32: the
// QAM-32 symbol index 0..31 (the mapper moves it past the grid's corners).
// symbol64: 8 x row + column. symbol256: 16 x row + column. Row is the Q
// level index, column the I level index.
// Written once at start-up by BuildDvbTables (tests and tools may rebuild
// them); read by the mapper for every DVB-C symbol.
extern int32_t symbol16[DVB16_SYMBOLS];
extern int32_t symbol32[DVB32_SYMBOLS];
extern int32_t symbol64[DVB64_SYMBOLS];
extern int32_t symbol256[DVB256_SYMBOLS];
// Phase of the differential state after each table's last symbol: 0, PI/2,
// -PI/2 or PI. Written with the tables; read by the engine through DvbTablePhase
// for a code with the phase_ramp trait (DVBC(64)).
extern float phase_c16, phase_c32, phase_c64, phase_c256;

// The table of modulation 12, 13, 14 or 27 and its number of entries in *symbols;
// nullptr (and 0) for any other code.
const int32_t* DvbTableOf(int modulation, int* symbols);
// The phase after that table's last symbol (phase_c16, ...); 0 for any other code.
float DvbTablePhase(int modulation);

// The two constant tables of the 256- and 64-point constellations (constant).
extern const int32_t dvb_quadrant256[64];
extern const int32_t dvb_position64[64];

// The 6528 bytes of "origin.res", which is built into the program. When the
// environment variable ULDO_ORIGIN names a file, that file replaces them; one
// that cannot be read or does not hold exactly 6528 bytes is reported and the
// built-in block is used. Returns ORIGIN_BYTES.
int ReadOriginBlock(uint8_t block[ORIGIN_BYTES]);

// Builds the table of modulation 12, 13, 14 or 27 from a 6528-byte block.
void BuildDvbTable(const uint8_t block[ORIGIN_BYTES], int modulation, int32_t* table,
                   float* phase);
// Builds the table of modulation 14 or 27 (also 12, 13) from the block.
void dvbgen(int modulation, int32_t* table, float* phase);
// Start-up: reads the block once and builds all four tables.
void BuildDvbTables();

// The steps, for tests and tools.
// The convolutional interleaver (12 branches, 17-byte step) over the block as
// if it repeated without end.
void DvbInterleave(const uint8_t in[ORIGIN_BYTES], uint8_t out[ORIGIN_BYTES]);
// Table entry of a differentially coded symbol value of modulation 12, 13, 14, 27.
int DvbPosition(int modulation, int value);
