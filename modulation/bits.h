// Bit sources and spreading codes: the carrier's data bits, the generic
// shift register, the IS-95 short PN sequences, Walsh and OVSF codes, the 3GPP
// downlink scrambling code and the 3GPP synchronisation codes.
#pragma once

#include <cstdint>
#include <cstdio>

#include "shell/uldo.h"

// ---------------------------------------------------------------------------
// Per-carrier generator state, indexed by carrier. Reset by ResetGenerators
// at the start of every pass, advanced by GetData, iq and the code
// generators during it, read by nothing else; meaningful only inside a pass.

// Register of the carrier's pseudo-random bit generator; for the DVB-C
// modulations the read position in their symbol table.
extern int32_t datapoints[MAX_CARRIERS];
// Open bit file of a carrier whose data_source is DATA_FILE (nullptr otherwise):
// opened by the compile's set-up, read by GetData, closed by CloseDataFile.
extern std::FILE* data_handle[MAX_CARRIERS];
// IS-95: the I and Q short PN registers. 3GPP: the x and y scrambling registers.
extern int32_t CDMA_PN_I[MAX_CARRIERS];
extern int32_t CDMA_PN_Q[MAX_CARRIERS];
// Current run of zeros of the I and Q short PN generators.
extern int32_t zerocountI[MAX_CARRIERS];
extern int32_t zerocountQ[MAX_CARRIERS];

// IS-95 short PN polynomial words: P_I(x) = x^15+x^13+x^9+x^8+x^7+x^5+1 and
// P_Q(x) = x^15+x^12+x^11+x^10+x^6+x^5+x^4+x^3+1, register in bits 17..31.
constexpr int32_t IS95_POLY_I = 0x23A10000;
constexpr int32_t IS95_POLY_Q = 0x1C790000;
constexpr int32_t IS95_SEED = 0x00030000;

// ---------------------------------------------------------------------------
// The register word: bit i of `poly` (i = 0..30) taps register bit i + 1. One
// step outputs register bit j + 1 (j the lowest set bit of poly, bit 1 for
// poly 0), shifts right and puts the XOR of the tapped bits into bit 31.
// Bit 31 of poly has no stage to tap and is ignored.
// ShiftRegister returns the output bit, ShiftRegister2 the feedback bit.
int ShiftRegister(int32_t* state, int32_t poly);
int ShiftRegister2(int32_t* state, int32_t poly);

// IS-95 short PN chips with the extra zero after the run of 14 zeros, so that
// the sequence has period 32768.
int ISShiftRegisterI(int32_t* state, int32_t poly, int carrier);
int ISShiftRegisterQ(int32_t* state, int32_t poly, int carrier);
// Start state of both short PN generators of a carrier: registers at the seed,
// counters at 0 and 16 chips discarded, so the next chip is the 1 that follows
// the run of 15 zeros.
void InitShortPN(int carrier);

// The polynomial the carrier's PRBS draws with instead of its prbs_poly_i
// while `on` (the compile engine's warm-up, which draws with prbs_poly_q
// unless I and Q share the register). Written by the engine around the
// warm-up, read by GetData and GetDataRun; off outside it.
void DrawWithPolynomial(int carrier, int on, uint32_t poly);

// The next `count` bits of the carrier's bit source, first bit most significant.
uint32_t GetData(int count, int carrier);
// `values` results of GetData(count, carrier) in a row, into out; the source
// is left where those calls leave it.
void GetDataRun(int count, int values, int carrier, uint32_t* out);
// Opens the carrier's data_file into data_handle (closing one left open).
// On failure: pop-up "File Opening Error (18)", result -1.
int OpenDataFile(int carrier);
void CloseDataFile(int carrier);

// Largest power of two not above x; 0 for x <= 0.
int Walsh_P_Array(int x);
// Entry (a, b) of the Sylvester-ordered Hadamard matrix: mode 0 gives the
// parity bit (1 for -1), any other mode the entry +1/-1.
int Walsh(int a, int b, int mode);
// Chip `chip` of OVSF code C(sf, code): +1 or -1.
int Ovsf(int code, int chip, int sf);
// Next chip of the downlink scrambling code; chip 0 restarts the frame with
// code number 128*group + 16*primary + secondary. Result 2*z(i+131072) + z(i).
int TGPPSDLScramble(int32_t* x, int32_t* y, int chip, int group, int primary, int secondary);
// Primary and secondary synchronisation code chips (+1/-1) at `chip` of the
// frame for the scrambling code group (0..63).
void Syncode(int chip, int group, int* psc, int* ssc);

// Secondary synchronisation code (1..16) of each slot for each code group.
extern const int8_t ssc_allocation[64][15];
