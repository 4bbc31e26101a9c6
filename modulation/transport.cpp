#include "modulation/transport.h"

#include <cstring>

namespace {

struct GaloisTables {
    uint8_t exp[512];
    int log[256];
    GaloisTables() {
        int x = 1;
        for (int i = 0; i < 255; ++i) {
            exp[i] = static_cast<uint8_t>(x);
            log[x] = i;
            x <<= 1;
            if (x & 0x100) x ^= 0x11D;
        }
        for (int i = 255; i < 512; ++i) exp[i] = exp[i - 255];
        log[0] = 0;
    }
};

const GaloisTables& Gf() {
    static const GaloisTables tables;
    return tables;
}

// Generator polynomial, highest power first: g[0] = 1, ..., g[16].
struct Generator {
    uint8_t g[RS_PARITY_BYTES + 1];
    Generator() {
        std::memset(g, 0, sizeof g);
        g[0] = 1;
        for (int i = 0; i < RS_PARITY_BYTES; ++i) {
            // multiply by (x + alpha^i)
            uint8_t root = GfPower(i);
            for (int k = i + 1; k >= 1; --k) g[k] ^= GfMultiply(g[k - 1], root);
        }
    }
};

}  // namespace

uint8_t GfMultiply(uint8_t a, uint8_t b) {
    if (!a || !b) return 0;
    const GaloisTables& t = Gf();
    return t.exp[t.log[a] + t.log[b]];
}

uint8_t GfPower(int exponent) {
    int e = exponent % 255;
    if (e < 0) e += 255;
    return Gf().exp[e];
}

void MakeNullPacket(uint8_t packet[TS_PACKET_BYTES]) {
    packet[0] = 0x47;
    packet[1] = 0x1F;  // no error, no unit start, PID 0x1FFF (high bits)
    packet[2] = 0xFF;
    packet[3] = 0x10;  // not scrambled, payload only, continuity 0
    std::memset(packet + 4, 0xFF, TS_PACKET_BYTES - 4);
}

void DispersePackets(uint8_t* packets, int count) {
    unsigned reg = 0;  // stage k in bit k - 1
    for (int p = 0; p < count; ++p) {
        uint8_t* packet = packets + p * TS_PACKET_BYTES;
        if (p % DISPERSAL_GROUP == 0) {
            // 1 0 0 1 0 1 0 1 0 0 0 0 0 0 0 in stages 1 to 15
            reg = (1u << 0) | (1u << 3) | (1u << 5) | (1u << 7);
            packet[0] ^= 0xFF;
        }
        for (int k = 0; k < TS_PACKET_BYTES; ++k) {
            if (k == 0 && p % DISPERSAL_GROUP == 0) continue;  // the PRBS starts after it
            uint8_t mask = 0;
            for (int b = 0; b < 8; ++b) {
                unsigned out = ((reg >> 13) ^ (reg >> 14)) & 1u;
                reg = ((reg << 1) | out) & 0x7FFFu;
                mask = static_cast<uint8_t>((mask << 1) | out);
            }
            if (k != 0) packet[k] ^= mask;  // sync bytes pass unchanged
        }
    }
}

void RsEncode(const uint8_t info[TS_PACKET_BYTES], uint8_t codeword[RS_PACKET_BYTES]) {
    static const Generator gen;
    uint8_t parity[RS_PARITY_BYTES] = {};
    // Division by g(x); the 51 leading zeros of the shortened code change nothing.
    for (int k = 0; k < TS_PACKET_BYTES; ++k) {
        uint8_t feedback = info[k] ^ parity[0];
        std::memmove(parity, parity + 1, RS_PARITY_BYTES - 1);
        parity[RS_PARITY_BYTES - 1] = 0;
        if (feedback)
            for (int j = 0; j < RS_PARITY_BYTES; ++j) parity[j] ^= GfMultiply(feedback, gen.g[j + 1]);
    }
    std::memmove(codeword, info, TS_PACKET_BYTES);
    std::memcpy(codeword + TS_PACKET_BYTES, parity, RS_PARITY_BYTES);
}

void RsSyndromes(const uint8_t codeword[RS_PACKET_BYTES], uint8_t syndromes[RS_PARITY_BYTES]) {
    for (int i = 0; i < RS_PARITY_BYTES; ++i) {
        uint8_t root = GfPower(i);
        uint8_t s = 0;
        for (int k = 0; k < RS_PACKET_BYTES; ++k) s = GfMultiply(s, root) ^ codeword[k];
        syndromes[i] = s;
    }
}

void BuildOriginBlock(uint8_t* block) {
    uint8_t packets[ORIGIN_PACKETS * TS_PACKET_BYTES];
    for (int p = 0; p < ORIGIN_PACKETS; ++p) MakeNullPacket(packets + p * TS_PACKET_BYTES);
    DispersePackets(packets, ORIGIN_PACKETS);
    for (int p = 0; p < ORIGIN_PACKETS; ++p)
        RsEncode(packets + p * TS_PACKET_BYTES, block + p * RS_PACKET_BYTES);
}
