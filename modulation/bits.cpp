#include "modulation/bits.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>

#include "shell/fileforms.h"
#include "shell/hooks.h"

int32_t datapoints[MAX_CARRIERS];
std::FILE* data_handle[MAX_CARRIERS];
int32_t CDMA_PN_I[MAX_CARRIERS];
int32_t CDMA_PN_Q[MAX_CARRIERS];
int32_t zerocountI[MAX_CARRIERS];
int32_t zerocountQ[MAX_CARRIERS];

namespace {

// One step of the register word; returns the output bit and leaves the feedback
// bit in *feedback.
inline int StepRegister(int32_t* state, int32_t poly, int* feedback) {
    uint32_t r = static_cast<uint32_t>(*state);
    uint32_t p = static_cast<uint32_t>(poly) & 0x7FFFFFFFu;
    int j = p ? std::countr_zero(p) : 0;
    int out = static_cast<int>((r >> (j + 1)) & 1u);
    int fb = std::popcount((r >> 1) & p) & 1;
    *state = static_cast<int32_t>((r >> 1) | (static_cast<uint32_t>(fb) << 31));
    *feedback = fb;
    return out;
}

inline bool ValidCarrier(int carrier) { return carrier >= 0 && carrier < MAX_CARRIERS; }

int ShortPNChip(int32_t* state, int32_t poly, int32_t* zerocount) {
    if (*zerocount >= 14) {
        *zerocount = 0;
        return 0;
    }
    int chip = ShiftRegister(state, poly);
    *zerocount = chip ? 0 : *zerocount + 1;
    return chip;
}

// Next number of the carrier's bit file, cycling. Tokens that are not numbers
// are skipped; a file without any number yields 0 (and says so once).
bool data_file_empty_reported[MAX_CARRIERS];

int ReadDataBit(int carrier) {
    std::FILE* f = data_handle[carrier];
    if (!f) return 0;
    for (int rewinds = 0; rewinds < 2;) {
        int number = 0;
        int r = std::fscanf(f, "%d", &number);
        if (r == 1) return number != 0;
        if (r == EOF) {
            std::rewind(f);
            ++rewinds;
            continue;
        }
        if (std::fscanf(f, "%*s") == EOF) {
            std::rewind(f);
            ++rewinds;
        }
    }
    if (!data_file_empty_reported[carrier]) {
        data_file_empty_reported[carrier] = true;
        char text[300];
        std::snprintf(text, sizeof text, "Data file \"%s\" holds no numbers; its bits are taken as 0.",
                      FieldText(signals[carrier].data_file).c_str());
        ReportMessage("", text);
    }
    return 0;
}

}  // namespace

int ShiftRegister(int32_t* state, int32_t poly) {
    int fb;
    return StepRegister(state, poly, &fb);
}

int ShiftRegister2(int32_t* state, int32_t poly) {
    int fb;
    StepRegister(state, poly, &fb);
    return fb;
}

int ISShiftRegisterI(int32_t* state, int32_t poly, int carrier) {
    if (!ValidCarrier(carrier)) return 0;
    return ShortPNChip(state, poly, &zerocountI[carrier]);
}

int ISShiftRegisterQ(int32_t* state, int32_t poly, int carrier) {
    if (!ValidCarrier(carrier)) return 0;
    return ShortPNChip(state, poly, &zerocountQ[carrier]);
}

void InitShortPN(int carrier) {
    if (!ValidCarrier(carrier)) return;
    CDMA_PN_I[carrier] = CDMA_PN_Q[carrier] = IS95_SEED;
    zerocountI[carrier] = zerocountQ[carrier] = 0;
    for (int k = 0; k < 16; ++k) {
        ISShiftRegisterI(&CDMA_PN_I[carrier], IS95_POLY_I, carrier);
        ISShiftRegisterQ(&CDMA_PN_Q[carrier], IS95_POLY_Q, carrier);
    }
}

namespace {
int32_t poly_override_on[MAX_CARRIERS];
uint32_t poly_override[MAX_CARRIERS];

uint32_t DrawPolynomial(int carrier) {
    return poly_override_on[carrier] ? poly_override[carrier] : signals[carrier].prbs_poly_i;
}
}  // namespace

void DrawWithPolynomial(int carrier, int on, uint32_t poly) {
    if (!ValidCarrier(carrier)) return;
    poly_override_on[carrier] = on != 0;
    poly_override[carrier] = poly;
}

uint32_t GetData(int count, int carrier) {
    if (!ValidCarrier(carrier)) return 0;
    const Carrier& c = signals[carrier];
    const int32_t poly = static_cast<int32_t>(DrawPolynomial(carrier));
    uint32_t value = 0;
    for (int k = 0; k < count; ++k) {
        uint32_t bit;
        switch (c.data_source) {
            case DATA_PRBS:
                bit = static_cast<uint32_t>(
                    ShiftRegister(&datapoints[carrier], poly));
                break;
            case DATA_FILE: bit = static_cast<uint32_t>(ReadDataBit(carrier)); break;
            case DATA_ONES: bit = 1; break;
            default: bit = 0; break;
        }
        value = 2 * value + bit;
    }
    return value;
}

void GetDataRun(int count, int values, int carrier, uint32_t* out) {
    if (values <= 0) return;
    if (!ValidCarrier(carrier) || signals[carrier].data_source != DATA_PRBS || count < 1 || count > 32) {
        for (int v = 0; v < values; ++v) out[v] = GetData(count, carrier);
        return;
    }
    // Up to m steps of the register at once: while no tap has reached a bit
    // fed back within the run, the feedback bits and the output bits are
    // shifted copies of the word before it.
    const uint32_t p = DrawPolynomial(carrier) & 0x7FFFFFFFu;
    const int j = p ? std::countr_zero(p) : 0;
    const int top = p ? 32 - std::countl_zero(p) : 0;   // highest tapped register bit
    const int m = std::min(32 - top, 31 - j);
    uint64_t r = static_cast<uint32_t>(datapoints[carrier]);
    uint64_t queue = 0;   // output bits in order, the earliest in bit 0
    int queued = 0;
    int64_t wanted = static_cast<int64_t>(count) * values;
    for (int v = 0; v < values; ++v) {
        while (queued < count) {
            const int k = static_cast<int>(std::min<int64_t>(m, wanted));
            const uint64_t mask = (uint64_t(1) << k) - 1;
            uint64_t fb = 0;
            for (uint32_t taps = p; taps; taps &= taps - 1) fb ^= r >> (std::countr_zero(taps) + 1);
            queue |= ((r >> (j + 1)) & mask) << queued;
            queued += k;
            wanted -= k;
            r = ((r >> k) | ((fb & mask) << (32 - k))) & 0xFFFFFFFFu;
        }
        uint32_t value = 0;
        for (int b = 0; b < count; ++b) {
            value = 2 * value + static_cast<uint32_t>(queue & 1u);
            queue >>= 1;
        }
        queued -= count;
        out[v] = value;
    }
    datapoints[carrier] = static_cast<int32_t>(static_cast<uint32_t>(r));
}

int OpenDataFile(int carrier) {
    if (!ValidCarrier(carrier)) return -1;
    CloseDataFile(carrier);
    data_handle[carrier] = OpenTableFile(FieldText(signals[carrier].data_file).c_str(), "File Opening Error (18)");
    if (!data_handle[carrier]) return -1;
    return 0;
}

void CloseDataFile(int carrier) {
    if (!ValidCarrier(carrier)) return;
    if (data_handle[carrier]) std::fclose(data_handle[carrier]);
    data_handle[carrier] = nullptr;
    data_file_empty_reported[carrier] = false;
}

int Walsh_P_Array(int x) {
    if (x <= 0) return 0;
    return static_cast<int>(std::bit_floor(static_cast<uint32_t>(x)));
}

int Walsh(int a, int b, int mode) {
    int sign = 1;
    while (a > 0 || b > 0) {
        int pa = Walsh_P_Array(a);
        int pb = Walsh_P_Array(b);
        if (pa == pb) {
            sign = -sign;
            a -= pa;
            b -= pa;
        } else if (pa < pb) {
            b -= pb;
        } else {
            a -= pa;
        }
    }
    if (mode == 0) return sign == -1 ? 1 : 0;
    return sign;
}

int Ovsf(int code, int chip, int sf) {
    int v = 1;
    while (sf > 1) {
        int half = sf / 2;
        if ((code & 1) && chip >= half) v = -v;
        code /= 2;
        chip %= half;
        sf = half;
    }
    return v;
}

int TGPPSDLScramble(int32_t* x, int32_t* y, int chip, int group, int primary, int secondary) {
    constexpr int32_t x_poly = 0x00102000;   // x(i+18) = x(i+7) + x(i)
    constexpr int32_t y_poly = 0x00942000;   // y(i+18) = y(i+10) + y(i+7) + y(i+5) + y(i)
    constexpr int32_t x_shift = 0x100A2000;  // x(i+4) + x(i+6) + x(i+15): x 131072 chips on
    constexpr int32_t y_shift = 0x1FEC2000;  // y(i+5) + y(i+6) + y(i+8) + ... + y(i+15)
    if (chip == 0) {
        *x = 0x00004000;
        *y = static_cast<int32_t>(0xFFFFFFFFu);
        // The x sequence repeats every 2^18 - 1 chips, so larger code numbers
        // need no more steps than that.
        long long n = 128LL * group + 16LL * primary + secondary;
        if (n > 0) n %= (1 << 18) - 1;
        for (long long k = 0; k < n; ++k) ShiftRegister(x, x_poly);
    }
    int32_t xc = static_cast<int32_t>(static_cast<uint32_t>(*x) & ~0x4000u);
    int32_t yc = static_cast<int32_t>(static_cast<uint32_t>(*y) & ~0x4000u);
    int xq = ShiftRegister2(&xc, x_shift);
    int yq = ShiftRegister2(&yc, y_shift);
    int xi = ShiftRegister(x, x_poly);
    int yi = ShiftRegister(y, y_poly);
    return 2 * ((xq + yq) % 2) + (xi + yi) % 2;
}

const int8_t ssc_allocation[64][15] = {
    {1, 1, 2, 8, 9, 10, 15, 8, 10, 16, 2, 7, 15, 7, 16},
    {1, 1, 5, 16, 7, 3, 14, 16, 3, 10, 5, 12, 14, 12, 10},
    {1, 2, 1, 15, 5, 5, 12, 16, 6, 11, 2, 16, 11, 15, 12},
    {1, 2, 3, 1, 8, 6, 5, 2, 5, 8, 4, 4, 6, 3, 7},
    {1, 2, 16, 6, 6, 11, 15, 5, 12, 1, 15, 12, 16, 11, 2},
    {1, 3, 4, 7, 4, 1, 5, 5, 3, 6, 2, 8, 7, 6, 8},
    {1, 4, 11, 3, 4, 10, 9, 2, 11, 2, 10, 12, 12, 9, 3},
    {1, 5, 6, 6, 14, 9, 10, 2, 13, 9, 2, 5, 14, 1, 13},
    {1, 6, 10, 10, 4, 11, 7, 13, 16, 11, 13, 6, 4, 1, 16},
    {1, 6, 13, 2, 14, 2, 6, 5, 5, 13, 10, 9, 1, 14, 10},
    {1, 7, 8, 5, 7, 2, 4, 3, 8, 3, 2, 6, 6, 4, 5},
    {1, 7, 10, 9, 16, 7, 9, 15, 1, 8, 16, 8, 15, 2, 2},
    {1, 8, 12, 9, 9, 4, 13, 16, 5, 1, 13, 5, 12, 4, 8},
    {1, 8, 14, 10, 14, 1, 15, 15, 8, 5, 11, 4, 10, 5, 4},
    {1, 9, 2, 15, 15, 16, 10, 7, 8, 1, 10, 8, 2, 16, 9},
    {1, 9, 15, 6, 16, 2, 13, 14, 10, 11, 7, 4, 5, 12, 3},
    {1, 10, 9, 11, 15, 7, 6, 4, 16, 5, 2, 12, 13, 3, 14},
    {1, 11, 14, 4, 13, 2, 9, 10, 12, 16, 8, 5, 3, 15, 6},
    {1, 12, 12, 13, 14, 7, 2, 8, 14, 2, 1, 13, 11, 8, 11},
    {1, 12, 15, 5, 4, 14, 3, 16, 7, 8, 6, 2, 10, 11, 13},
    {1, 15, 4, 3, 7, 6, 10, 13, 12, 5, 14, 16, 8, 2, 11},
    {1, 16, 3, 12, 11, 9, 13, 5, 8, 2, 14, 7, 4, 10, 15},
    {2, 2, 5, 10, 16, 11, 3, 10, 11, 8, 5, 13, 3, 13, 8},
    {2, 2, 12, 3, 15, 5, 8, 3, 5, 14, 12, 9, 8, 9, 14},
    {2, 3, 6, 16, 12, 16, 3, 13, 13, 6, 7, 9, 2, 12, 7},
    {2, 3, 8, 2, 9, 15, 14, 3, 14, 9, 5, 5, 15, 8, 12},
    {2, 4, 7, 9, 5, 4, 9, 11, 2, 14, 5, 14, 11, 16, 16},
    {2, 4, 13, 12, 12, 7, 15, 10, 5, 2, 15, 5, 13, 7, 4},
    {2, 5, 9, 9, 3, 12, 8, 14, 15, 12, 14, 5, 3, 2, 15},
    {2, 5, 11, 7, 2, 11, 9, 4, 16, 7, 16, 9, 14, 14, 4},
    {2, 6, 2, 13, 3, 3, 12, 9, 7, 16, 6, 9, 16, 13, 12},
    {2, 6, 9, 7, 7, 16, 13, 3, 12, 2, 13, 12, 9, 16, 6},
    {2, 7, 12, 15, 2, 12, 4, 10, 13, 15, 13, 4, 5, 5, 10},
    {2, 7, 14, 16, 5, 9, 2, 9, 16, 11, 11, 5, 7, 4, 14},
    {2, 8, 5, 12, 5, 2, 14, 14, 8, 15, 3, 9, 12, 15, 9},
    {2, 9, 13, 4, 2, 13, 8, 11, 6, 4, 6, 8, 15, 15, 11},
    {2, 10, 3, 2, 13, 16, 8, 10, 8, 13, 11, 11, 16, 3, 5},
    {2, 11, 15, 3, 11, 6, 14, 10, 15, 10, 6, 7, 7, 14, 3},
    {2, 16, 4, 5, 16, 14, 7, 11, 4, 11, 14, 9, 9, 7, 5},
    {3, 3, 4, 6, 11, 12, 13, 6, 12, 14, 4, 5, 13, 5, 14},
    {3, 3, 6, 5, 16, 9, 15, 5, 9, 10, 6, 4, 15, 4, 10},
    {3, 4, 5, 14, 4, 6, 12, 13, 5, 13, 6, 11, 11, 12, 14},
    {3, 4, 9, 16, 10, 4, 16, 15, 3, 5, 10, 5, 15, 6, 6},
    {3, 4, 16, 10, 5, 10, 4, 9, 9, 16, 15, 6, 3, 5, 15},
    {3, 5, 12, 11, 14, 5, 11, 13, 3, 6, 14, 6, 13, 4, 4},
    {3, 6, 4, 10, 6, 5, 9, 15, 4, 15, 5, 16, 16, 9, 10},
    {3, 7, 8, 8, 16, 11, 12, 4, 15, 11, 4, 7, 16, 3, 15},
    {3, 7, 16, 11, 4, 15, 3, 15, 11, 12, 12, 4, 7, 8, 16},
    {3, 8, 7, 15, 4, 8, 15, 12, 3, 16, 4, 16, 12, 11, 11},
    {3, 8, 15, 4, 16, 4, 8, 7, 7, 15, 12, 11, 3, 16, 12},
    {3, 10, 10, 15, 16, 5, 4, 6, 16, 4, 3, 15, 9, 6, 9},
    {3, 13, 11, 5, 4, 12, 4, 11, 6, 6, 5, 3, 14, 13, 12},
    {3, 14, 7, 9, 14, 10, 13, 8, 7, 8, 10, 4, 4, 13, 9},
    {5, 5, 8, 14, 16, 13, 6, 14, 13, 7, 8, 15, 6, 15, 7},
    {5, 6, 11, 7, 10, 8, 5, 8, 7, 12, 12, 10, 6, 9, 11},
    {5, 6, 13, 8, 13, 5, 7, 7, 6, 16, 14, 15, 8, 16, 15},
    {5, 7, 9, 10, 7, 11, 6, 12, 9, 12, 11, 8, 8, 6, 10},
    {5, 9, 6, 8, 10, 9, 8, 12, 5, 11, 10, 11, 12, 7, 7},
    {5, 10, 10, 12, 8, 11, 9, 7, 8, 9, 5, 12, 6, 7, 6},
    {5, 10, 12, 6, 5, 12, 8, 9, 7, 6, 7, 8, 11, 11, 9},
    {5, 13, 15, 15, 14, 8, 6, 7, 16, 8, 7, 13, 14, 5, 16},
    {9, 10, 13, 10, 11, 15, 15, 9, 16, 12, 14, 13, 16, 14, 11},
    {9, 11, 12, 15, 12, 9, 13, 13, 11, 14, 10, 16, 15, 14, 16},
    {9, 12, 10, 15, 13, 14, 9, 14, 15, 11, 11, 13, 12, 16, 10},
};

void Syncode(int chip, int group, int* psc, int* ssc) {
    static constexpr int a[16] = {1, 1, 1, 1, 1, 1, -1, -1, 1, -1, 1, -1, 1, -1, -1, 1};
    static constexpr int primary_signs[16] = {1, 1, 1, -1, -1, 1, -1, -1, 1, 1, 1, -1, 1, -1, 1, 1};
    static constexpr int b[16] = {1, 1, 1, 1, 1, 1, -1, -1, -1, 1, -1, 1, -1, 1, 1, -1};
    static constexpr int secondary_signs[16] = {1, 1, 1, -1, 1, 1, -1, -1,
                                                1, -1, 1, -1, -1, -1, -1, -1};
    if (chip < 0) chip = 0;
    group = ((group % 64) + 64) % 64;  // the table has 64 groups; never read past it
    int c = chip % 256;
    int slot = (chip % 38400) / 2560;
    int k = ssc_allocation[group][slot];
    *psc = a[c % 16] * primary_signs[c / 16];
    *ssc = b[c % 16] * secondary_signs[c / 16] * Walsh(c, 16 * (k - 1), 1);
}
