#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "modulation/dvb.h"
#include "modulation/transport.h"

namespace {

std::vector<uint8_t> ShippedOrigin() {
    std::ifstream in(std::string(ULDO_SOURCE_DIR) + "/resources/origin.res", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// GF(256) product by shift and add with x^8 + x^4 + x^3 + x^2 + 1, apart from
// the engine's log tables.
uint8_t Multiply(uint8_t a, uint8_t b) {
    unsigned r = 0, x = a;
    for (int k = 0; k < 8; ++k) {
        if ((b >> k) & 1) r ^= x;
        x <<= 1;
        if (x & 0x100) x ^= 0x11D;
    }
    return static_cast<uint8_t>(r);
}

// Syndromes c(alpha^i), i = 0..15.
std::vector<uint8_t> Syndromes(const uint8_t* codeword) {
    std::vector<uint8_t> s;
    uint8_t root = 1;
    for (int i = 0; i < 16; ++i) {
        uint8_t v = 0;
        for (int k = 0; k < 204; ++k) v = Multiply(v, root) ^ codeword[k];
        s.push_back(v);
        root = Multiply(root, 2);
    }
    return s;
}

// The standard's descrambler, bit by bit: stages 1..15 from 100101010000000,
// output stage 14 xor stage 15 fed back to stage 1.
std::vector<uint8_t> Derandomise(const std::vector<uint8_t>& block) {
    std::vector<uint8_t> out;
    int stage[16];
    for (int p = 0; p < 32; ++p) {
        const uint8_t* packet = &block[p * 204];
        if (p % 8 == 0) {
            const int init[15] = {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0};
            for (int k = 0; k < 15; ++k) stage[k + 1] = init[k];
        }
        for (int k = 0; k < 188; ++k) {
            if (k == 0 && p % 8 == 0) {
                out.push_back(static_cast<uint8_t>(~packet[0]));
                continue;
            }
            uint8_t mask = 0;
            for (int b = 0; b < 8; ++b) {
                int bit = stage[14] ^ stage[15];
                for (int s = 15; s > 1; --s) stage[s] = stage[s - 1];
                stage[1] = bit;
                mask = static_cast<uint8_t>(mask << 1 | bit);
            }
            out.push_back(k == 0 ? packet[0] : packet[k] ^ mask);
        }
    }
    return out;
}

TEST(Origin, ShippedBlockIsTheToolsOutput) {
    std::vector<uint8_t> shipped = ShippedOrigin();
    ASSERT_EQ(shipped.size(), static_cast<size_t>(ORIGIN_BYTES));
    uint8_t built[ORIGIN_BYTES];
    BuildOriginBlock(built);
    EXPECT_TRUE(std::equal(shipped.begin(), shipped.end(), built));
}

TEST(Origin, EveryPacketIsARsCodeword) {
    std::vector<uint8_t> block = ShippedOrigin();
    ASSERT_EQ(block.size(), static_cast<size_t>(ORIGIN_BYTES));
    for (int p = 0; p < 32; ++p) {
        std::vector<uint8_t> s = Syndromes(&block[p * 204]);
        for (int i = 0; i < 16; ++i) ASSERT_EQ(s[i], 0) << "packet " << p << " syndrome " << i;
    }
    // a single corrupted byte is seen by the check
    block[100] ^= 0x40;
    std::vector<uint8_t> s = Syndromes(&block[0]);
    EXPECT_NE(std::count(s.begin(), s.end(), 0), 16);
}

TEST(Origin, DerandomisingGivesNullPackets) {
    std::vector<uint8_t> block = ShippedOrigin();
    ASSERT_EQ(block.size(), static_cast<size_t>(ORIGIN_BYTES));
    std::vector<uint8_t> ts = Derandomise(block);
    for (int p = 0; p < 32; ++p) {
        const uint8_t* packet = &ts[p * 188];
        EXPECT_EQ(packet[0], 0x47) << p;
        int pid = (packet[1] & 0x1F) << 8 | packet[2];
        EXPECT_EQ(pid, 0x1FFF) << p;
        EXPECT_EQ(packet[1] & 0xE0, 0) << p;    // no error, no unit start
        EXPECT_EQ(packet[3] & 0x30, 0x10) << p;  // payload only
        for (int k = 4; k < 188; ++k) ASSERT_EQ(packet[k], 0xFF) << p << " " << k;
    }
    // sync bytes as sent: inverted on the first packet of each group of eight
    for (int p = 0; p < 32; ++p) EXPECT_EQ(block[p * 204], p % 8 == 0 ? 0xB8 : 0x47) << p;
    // the dispersal starts with the known PRBS bytes 03 F6 08 34
    EXPECT_EQ(block[1], 0x1F ^ 0x03);
    EXPECT_EQ(block[2], 0xFF ^ 0xF6);
    EXPECT_EQ(block[3], 0x10 ^ 0x08);
    EXPECT_EQ(block[4], 0xFF ^ 0x34);
}

TEST(Origin, EncoderMakesCodewordsOfAnyData) {
    uint8_t info[188], code[204], syn[16];
    for (int k = 0; k < 188; ++k) info[k] = static_cast<uint8_t>(k * 37 + 11);
    RsEncode(info, code);
    EXPECT_TRUE(std::equal(info, info + 188, code));
    std::vector<uint8_t> s = Syndromes(code);
    EXPECT_EQ(std::count(s.begin(), s.end(), 0), 16);
    RsSyndromes(code, syn);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(syn[i], 0);
    for (int a = 1; a < 256; a += 7)
        for (int b = 0; b < 256; b += 5)
            ASSERT_EQ(GfMultiply(static_cast<uint8_t>(a), static_cast<uint8_t>(b)),
                      Multiply(static_cast<uint8_t>(a), static_cast<uint8_t>(b)));
}

}  // namespace
