// The cable head-end's outer coding of an MPEG-2 transport stream: energy
// dispersal and the shortened Reed-Solomon RS(204,188, t = 8) code. Used to
// make the DVB-C data block "origin.res" (tools/make_origin).
#pragma once

#include <cstdint>

constexpr int TS_PACKET_BYTES = 188;
constexpr int RS_PACKET_BYTES = 204;
constexpr int RS_PARITY_BYTES = 16;
constexpr int DISPERSAL_GROUP = 8;   // packets per PRBS restart

// A null packet: sync 0x47, PID 0x1FFF, payload only, 184 bytes of 0xFF.
void MakeNullPacket(uint8_t packet[TS_PACKET_BYTES]);

// Energy dispersal in place over `count` consecutive 188-byte packets starting
// at a group boundary: PRBS 1 + X^14 + X^15 from 100101010000000 at every
// eighth packet, the first sync byte of a group inverted (0x47 -> 0xB8), the
// other sync bytes kept while the PRBS runs on. Applying it twice restores.
void DispersePackets(uint8_t* packets, int count);

// GF(256) with x^8 + x^4 + x^3 + x^2 + 1, alpha = 2.
uint8_t GfMultiply(uint8_t a, uint8_t b);
uint8_t GfPower(int exponent);  // alpha^exponent

// Systematic RS(204,188): the 188 bytes followed by 16 parity bytes, generator
// (x + alpha^0)(x + alpha^1)...(x + alpha^15).
void RsEncode(const uint8_t info[TS_PACKET_BYTES], uint8_t codeword[RS_PACKET_BYTES]);
// S_i = c(alpha^i), i = 0..15, the first byte being the highest power.
void RsSyndromes(const uint8_t codeword[RS_PACKET_BYTES], uint8_t syndromes[RS_PARITY_BYTES]);

// 32 null packets, dispersed and RS-coded: 6528 bytes.
void BuildOriginBlock(uint8_t* block);
constexpr int ORIGIN_PACKETS = 32;
