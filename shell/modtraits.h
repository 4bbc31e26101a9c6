// What each modulation code is: its names, how the mapper makes its symbols
// and how the compile, the displays and the editors treat it. One row per
// code, indexed by the code; every consumer asks this table instead of
// listing codes. Numbers only: the arithmetic that needs the mapper stays in
// modulation/.
#pragma once

#include <cstdint>

#include "shell/uldo.h"

enum ModulationKind : int32_t {
    MOD_KIND_UNUSED = 0,  // codes 15, 16, 34 and anything outside 0..39
    MOD_KIND_TONE,        // the unmodulated carrier
    MOD_KIND_ANALOG,      // AM, FM, PM: a tone of symbol_rate Hz
    MOD_KIND_FM,          // GMSK and the FSKs: symbol levels turned into frequency
    MOD_KIND_LINEAR,      // mapped points, pulse-shaped and mixed
    MOD_KIND_CDMA,        // one call of iq per chip
    MOD_KIND_DVB,         // symbols from the DVB-C tables, no bits drawn
    MOD_KIND_MAP,         // FILE 3: the user's symbol map
    MOD_KIND_IQ_FILE,     // FILE 1, FILE 2: I/Q pairs of a sample file
};

// What the tone of an analog carrier modulates; filter_param is the depth or
// deviation in the unit named by analog_param_unit.
enum AnalogLaw : int32_t {
    ANALOG_NONE = 0,
    ANALOG_AM,  // amplitude, depth in %
    ANALOG_FM,  // frequency, deviation in kHz
    ANALOG_PM,  // phase, deviation in degrees
};
inline constexpr const char* analog_param_unit[] = {"", "depth %", "deviation kHz", "deviation degrees"};

// How iq turns drawn bits (or a table entry) into a raw point.
enum MapperFamily : int32_t {
    FAMILY_NONE = 0,    // iq delivers no symbol
    FAMILY_SQUARE,      // QPSK family and square QAM: Q bits, then I bits
    FAMILY_CROSS,       // QAM-32, QAM-128: a square grid without its corners
    FAMILY_PSK,         // 8-PSK, O-8PSK
    FAMILY_CAP,         // CAP-16: two rings
    FAMILY_ONE_AXIS,    // BPSK, GMSK, FSK: levels on I, Q = 0
    FAMILY_EQUAL_AXIS,  // 8VSB, 16VSB, SSB: levels on I, raw Q = -I
    FAMILY_DVB,         // DVB-C table entries
    FAMILY_USER_MAP,    // FILE 3
    FAMILY_IS95,        // IS95(DL) chips
    FAMILY_3GPP,        // 3GPP(DL), 3GPP(SC) chips
    FAMILY_COUNT,
};

// power_factor of the codes whose alphabet is only known at run time (the
// DVB-C tables built from the transport stream, the map in `map`):
// MeanSymbolPower computes it.
constexpr float POWER_FROM_ALPHABET = -1.0f;

struct ModulationTraits {
    int32_t code;              // the row's own code: the table is indexed by it
    const char* code_name;     // JSON and uldoc name ("QAM16"); nullptr for unused codes
    const char* table_name;    // six characters, the carrier list's column
    const char* display_name;  // panels and reports ("QAM-16")
    int32_t kind;              // ModulationKind
    int32_t family;            // MapperFamily
    int32_t bits;              // bits per symbol (per data symbol for CDMA); 0: table or map
    float scale;               // axis scale iq divides the raw point by
    int32_t rotation_steps;    // symbols after which a turning constellation repeats; 1 none, 0 the map's
    int32_t offset_q;          // Q staggered by half a symbol (FILE 3: when the map says so)
    int32_t quarter_shift;     // quarter-rate shift of the shaped levels (vestigial, single sideband)
    int32_t filtered;          // takes a pulse-shaping filter (the tones never do)
    int32_t even_symbols;      // the record holds an even number of symbols (alternating turns)
    int32_t fsk_levels;        // frequency levels spaced by deviation_hz; 0 for the others
    int32_t constant_envelope; // |I + jQ| of the carrier is 1 whatever the symbols
    // Mean |I + jQ|^2 that scales the pulse energy into the carrier's power:
    // 1 for a constant envelope, half the mean symbol power for a quarter-rate
    // shift, 0 where none is defined (AM has its own formula, I/Q files, the
    // synchronisation bursts of 3GPP(SC)), or POWER_FROM_ALPHABET.
    // The figures are the float32 means of the alphabets as the mapper
    // delivers them (the rational value beside each).
    float power_factor;
    int32_t analog;            // AnalogLaw: what the tone of AM, FM and PM moves
    int32_t phase_ramp;        // the constellation turns over the record by its DVB table's phase (DVBC(64))
};

// Indexed by modulation code. Constant; read by everyone.
inline constexpr ModulationTraits modulation_traits[MODULATION_CODES] = {
    // code, code name, table, display, kind, family, bits, scale, rot, offq, quarter, filtered, even, fsk, const, power,
    // analog law, phase ramp
    {0, "NONE", "NONE  ", "UNMOD", MOD_KIND_TONE, FAMILY_NONE, 0, 0.0f, 1, 0, 0, 0, 0, 0, 1, 1.0f, ANALOG_NONE, 0},
    {1, "QPSK", "QPSK  ", "QPSK", MOD_KIND_LINEAR, FAMILY_SQUARE, 2, 0.5f, 1, 0, 0, 1, 0, 0, 0, 2.0f, ANALOG_NONE, 0},
    {2, "QAM16", "QAM16 ", "QAM-16", MOD_KIND_LINEAR, FAMILY_SQUARE, 4, 1.5f, 1, 0, 0, 1, 0, 0, 0, 0x1.1c71c8p+0f, ANALOG_NONE, 0},  // 10/9
    {3, "QAM32", "QAM32 ", "QAM-32", MOD_KIND_LINEAR, FAMILY_CROSS, 5, 2.5f, 1, 0, 0, 1, 0, 0, 0, 0x1.99999ap-1f, ANALOG_NONE, 0},  // 4/5
    {4, "QAM64", "QAM64 ", "QAM-64", MOD_KIND_LINEAR, FAMILY_SQUARE, 6, 3.5f, 1, 0, 0, 1, 0, 0, 0, 0x1.b6db6ep-1f, ANALOG_NONE, 0},  // 6/7
    {5, "QAM256", "QAM256", "QAM-256", MOD_KIND_LINEAR, FAMILY_SQUARE, 8, 7.5f, 1, 0, 0, 1, 0, 0, 0, 0x1.82d82ep-1f, ANALOG_NONE, 0},  // 34/45
    {6, "DQPSK", "DQPSK ", "PI/4-DQPSK", MOD_KIND_LINEAR, FAMILY_SQUARE, 2, 0.5f, 2, 0, 0, 1, 1, 0, 0, 0x1p+0f, ANALOG_NONE, 0},
    {7, "OQPSK", "OQPSK ", "OQPSK", MOD_KIND_LINEAR, FAMILY_SQUARE, 2, 0.5f, 1, 1, 0, 1, 0, 0, 0, 2.0f, ANALOG_NONE, 0},
    {8, "CQPSK", "CQPSK ", "CQPSK", MOD_KIND_LINEAR, FAMILY_SQUARE, 2, 0.5f, 8, 0, 0, 1, 0, 0, 0, 0x1p+0f, ANALOG_NONE, 0},
    {9, "QAM128", "QAM128", "QAM-128", MOD_KIND_LINEAR, FAMILY_CROSS, 7, 5.5f, 1, 0, 0, 1, 0, 0, 0, 0x1.5af9a8p-1f, ANALOG_NONE, 0},  // 82/121
    {10, "8PSK", "8-PSK ", "8-PSK", MOD_KIND_LINEAR, FAMILY_PSK, 3, 0.5f, 1, 0, 0, 1, 0, 0, 0, 0x1.2bec34p+0f, ANALOG_NONE, 0},  // 1/cos^2(pi/8)
    {11, "BPSK", "BPSK  ", "BPSK", MOD_KIND_LINEAR, FAMILY_ONE_AXIS, 1, 0.5f, 1, 0, 0, 1, 0, 0, 0, 1.0f, ANALOG_NONE, 0},
    {12, "DVBC16", "DVBC16", "DVBC(16)", MOD_KIND_DVB, FAMILY_DVB, 0, 1.5f, 1, 0, 0, 1, 0, 0, 0, POWER_FROM_ALPHABET, ANALOG_NONE, 0},
    {13, "DVBC32", "DVBC32", "DVBC(32)", MOD_KIND_DVB, FAMILY_DVB, 0, 2.5f, 1, 0, 0, 1, 0, 0, 0, POWER_FROM_ALPHABET, ANALOG_NONE, 0},
    {14, "DVBC64", "DVBC64", "DVBC(64)", MOD_KIND_DVB, FAMILY_DVB, 0, 3.5f, 1, 0, 0, 1, 0, 0, 0, POWER_FROM_ALPHABET, ANALOG_NONE, 1},
    {15, nullptr, nullptr, nullptr, MOD_KIND_UNUSED, FAMILY_NONE, 0, 0.0f, 1, 0, 0, 0, 0, 0, 0, 0.0f, ANALOG_NONE, 0},
    {16, nullptr, nullptr, nullptr, MOD_KIND_UNUSED, FAMILY_NONE, 0, 0.0f, 1, 0, 0, 0, 0, 0, 0, 0.0f, ANALOG_NONE, 0},
    {17, "AM", "AM    ", "AM", MOD_KIND_ANALOG, FAMILY_NONE, 0, 0.0f, 1, 0, 0, 0, 0, 0, 0, 0.0f, ANALOG_AM, 0},
    {18, "FM", "FM    ", "FM", MOD_KIND_ANALOG, FAMILY_NONE, 0, 0.0f, 1, 0, 0, 0, 0, 0, 1, 1.0f, ANALOG_FM, 0},
    {19, "PM", "PM    ", "PM", MOD_KIND_ANALOG, FAMILY_NONE, 0, 0.0f, 1, 0, 0, 0, 0, 0, 1, 1.0f, ANALOG_PM, 0},
    {20, "GMSK", "GMSK  ", "GMSK", MOD_KIND_FM, FAMILY_ONE_AXIS, 1, 0.5f, 1, 0, 0, 1, 0, 0, 1, 1.0f, ANALOG_NONE, 0},
    {21, "8VSB", "8VSB  ", "8VSB", MOD_KIND_LINEAR, FAMILY_EQUAL_AXIS, 3, 3.5f, 1, 0, 1, 1, 0, 0, 0, 0x1.b6db6ep-2f, ANALOG_NONE, 0},  // 3/7
    {22, "16VSB", "16VSB ", "16VSB", MOD_KIND_LINEAR, FAMILY_EQUAL_AXIS, 4, 7.5f, 1, 0, 1, 1, 0, 0, 0, 0x1.82d82ep-2f, ANALOG_NONE, 0},  // 17/45
    {23, "CAP16", "CAP-16", "CAP-16", MOD_KIND_LINEAR, FAMILY_CAP, 4, 1.5f, 1, 0, 0, 1, 0, 0, 0, 0x1.71c71ep-4f, ANALOG_NONE, 0},  // 13/144
    {24, "FILE1", "FILE 1", "FILE 1", MOD_KIND_IQ_FILE, FAMILY_NONE, 0, 0.0f, 1, 0, 0, 1, 0, 0, 0, 0.0f, ANALOG_NONE, 0},
    {25, "FILE2", "FILE 2", "FILE 2", MOD_KIND_IQ_FILE, FAMILY_NONE, 0, 0.0f, 1, 0, 0, 1, 0, 0, 0, 0.0f, ANALOG_NONE, 0},
    {26, "O8PSK", "O-8PSK", "O-8PSK", MOD_KIND_LINEAR, FAMILY_PSK, 3, 0.5f, 16, 0, 0, 1, 1, 0, 0, 0x1.2bec34p-1f, ANALOG_NONE, 0},  // 1/(2cos^2(pi/8))
    {27, "DVBC256", "DVB256", "DVBC(256)", MOD_KIND_DVB, FAMILY_DVB, 0, 7.5f, 1, 0, 0, 1, 0, 0, 0, POWER_FROM_ALPHABET, ANALOG_NONE, 0},
    {28, "SSB", "SSB   ", "SSB", MOD_KIND_LINEAR, FAMILY_EQUAL_AXIS, 16, 32767.5f, 1, 0, 1, 1, 0, 0, 0, 0x1.5558p-2f, ANALOG_NONE, 0},  // 65537/196605
    {29, "2FSK", "2-FSK ", "2-FSK", MOD_KIND_FM, FAMILY_ONE_AXIS, 1, 0.5f, 1, 0, 0, 1, 0, 2, 1, 1.0f, ANALOG_NONE, 0},
    {30, "4FSK", "4-FSK ", "4-FSK", MOD_KIND_FM, FAMILY_ONE_AXIS, 2, 1.5f, 1, 0, 0, 1, 0, 4, 1, 1.0f, ANALOG_NONE, 0},
    {31, "8FSK", "8-FSK ", "8-FSK", MOD_KIND_FM, FAMILY_ONE_AXIS, 3, 3.5f, 1, 0, 0, 1, 0, 8, 1, 1.0f, ANALOG_NONE, 0},
    {32, "16FSK", "16-FSK", "16-FSK", MOD_KIND_FM, FAMILY_ONE_AXIS, 4, 7.5f, 1, 0, 0, 1, 0, 16, 1, 1.0f, ANALOG_NONE, 0},
    {33, "32FSK", "32-FSK", "32-FSK", MOD_KIND_FM, FAMILY_ONE_AXIS, 5, 15.5f, 1, 0, 0, 1, 0, 32, 1, 1.0f, ANALOG_NONE, 0},
    {34, nullptr, nullptr, nullptr, MOD_KIND_UNUSED, FAMILY_NONE, 0, 0.0f, 1, 0, 0, 0, 0, 0, 0, 0.0f, ANALOG_NONE, 0},
    {35, "FILE3", "FILE 3", "FILE 3", MOD_KIND_MAP, FAMILY_USER_MAP, 0, 1.0f, 0, 0, 0, 1, 0, 0, 0, POWER_FROM_ALPHABET, ANALOG_NONE, 0},
    {36, "IS95DL", "IS95DL", "IS95(DL)", MOD_KIND_CDMA, FAMILY_IS95, 1, 0.5f, 1, 0, 0, 1, 0, 0, 0, 2.0f, ANALOG_NONE, 0},
    {37, "3GPPDL", "3GPPDL", "3GPP(DL)", MOD_KIND_CDMA, FAMILY_3GPP, 2, 0.5f, 1, 0, 0, 1, 0, 0, 0, 1.0f, ANALOG_NONE, 0},
    {38, "3GPPSC", "3GPPSC", "3GPP(SC)", MOD_KIND_CDMA, FAMILY_3GPP, 2, 0.5f, 1, 0, 0, 1, 0, 0, 0, 0.0f, ANALOG_NONE, 0},
    {39, "QAM1024", "QAM1K ", "QAM-1024", MOD_KIND_LINEAR, FAMILY_SQUARE, 10, 15.5f, 1, 0, 0, 1, 0, 0, 0, 0x1.6b5ad6p-1f, ANALOG_NONE, 0},  // 22/31
};

constexpr bool ModulationRowsInOrder() {
    for (int c = 0; c < MODULATION_CODES; ++c)
        if (modulation_traits[c].code != c) return false;
    return true;
}
static_assert(ModulationRowsInOrder(), "modulation_traits must be indexed by code");

// The row of a code; codes outside 0..39 get the row of an unused code.
inline const ModulationTraits& ModTraits(int code) {
    return modulation_traits[code >= 0 && code < MODULATION_CODES ? code : 15];
}
inline int ModKind(int code) { return ModTraits(code).kind; }
