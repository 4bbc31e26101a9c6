#include "modulation/mapper.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "maps/maps.h"
#include "shell/fileforms.h"
#include "shell/hooks.h"
#include "shell/levels.h"
#include "shell/modtraits.h"

int32_t DQPSK_Switch[MAX_CARRIERS];
int32_t cdmatmp[MAX_CARRIERS];
float GMSK_acum[MAX_CARRIERS];
float GMSK_corr[MAX_CARRIERS];

namespace {

// Rotates (i, q) by `angle` radians.
void Rotate(float angle, float* i, float* q) {
    double c = std::cos(angle), s = std::sin(angle);
    float ri = static_cast<float>(*i * c - *q * s);
    float rq = static_cast<float>(*i * s + *q * c);
    *i = ri;
    *q = rq;
}

// sqrt(2) as 2^0.5 in double precision, as the turning constellations divide by it.
inline double Sqrt2() { return std::pow(2.0, 0.5); }

// QAM-32 symbol index -> (column, row) levels of the 6 x 6 grid without corners.
void Cross32(uint32_t v, float* i, float* q) {
    uint32_t w = v < 4 ? v + 1 : v < 28 ? v + 2 : v + 3;
    *i = static_cast<float>(w % 6) - 2.5f;
    *q = static_cast<float>(w / 6) - 2.5f;
}

void Cross128(uint32_t v, float* i, float* q) {
    uint32_t w = v < 8 ? v + 2 : v < 16 ? v + 6 : v < 112 ? v + 8 : v < 120 ? v + 10 : v + 14;
    *i = static_cast<float>(w % 12) - 5.5f;
    *q = static_cast<float>(w / 12) - 5.5f;
}

// Next read position of a DVB table of n entries; the position wraps at n.
int TakeDvbPosition(int carrier, int n) {
    int32_t p = datapoints[carrier] % n;
    if (p < 0) p += n;
    datapoints[carrier] = (p + 1) % n;
    return p;
}

// Loads the carrier's symbol map into `map`. 0, or -1 after a pop-up.
int LoadCarrierMap(int carrier) {
    const std::string name = FieldText(signals[carrier].mod_file);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0) {
        // The JSON form of a map, found where a .smp file would be.
        if (ReadSymbolMapJson(TableFilePath(name.c_str()).c_str(), "File Opening Error (17)") != 0) return -1;
    } else {
        std::FILE* f = OpenTableFile(name.c_str(), "File Opening Error (17)");
        if (!f) return -1;
        std::size_t got = std::fread(&map, 1, sizeof map, f);
        (void)got;  // a short file leaves the rest of the record as it was
        std::fclose(f);
    }
    if (map.num_points < 1 || map.num_points > MAX_MAP_POINTS)
        return CompileError("Carrier %d: the symbol map holds %d points; 1 to 1024 are needed.", carrier + 1,
                            map.num_points);
    // Every point the map uses must be a level the synthesis can add up.
    for (int k = 0; k < map.num_points; ++k) {
        const char* why = nullptr;
        const char* axis = CheckFileLevel(map.point_i[k], &why) != 0 ? "I" : CheckFileLevel(map.point_q[k], &why) != 0 ? "Q" : nullptr;
        if (axis)
            return CompileError("Carrier %d: symbol map %s: point %d (%s) %s", carrier + 1,
                                FieldText(signals[carrier].mod_file).c_str(), k + 1, axis, why);
    }
    if (map.rotation_mode != 0 && !std::isfinite(map.rotation_step))
        return CompileError("Carrier %d: the symbol map's rotation step is not a finite number.", carrier + 1);
    return 0;
}

bool IsPowerOfTwo(int32_t x) { return x > 0 && (x & (x - 1)) == 0; }

}  // namespace

void ResetGenerators() {
    for (int c = 0; c < MAX_CARRIERS; ++c) {
        DQPSK_Switch[c] = 0;
        cdmatmp[c] = 0;
        GMSK_acum[c] = 0.0f;
        InitShortPN(c);
        datapoints[c] = ModKind(signals[c].modulation) == MOD_KIND_DVB ? 0 : static_cast<int32_t>(signals[c].prbs_seed_i);
    }
}

namespace {

// ---------------------------------------------------------------------------
// Raw points, one function per mapper family. value: the symbol's bits as
// GetData delivers them (QPSK and square QAM: the Q bits first, then the I
// bits), the DVB-C table entry, or for the CDMA channels the chip's parts
// (IS95: the I chip bit times 2 plus the Q chip bit; 3GPP: data bits, the OVSF
// sign in bit 2 and the scrambling symbol from bit 3). counter: the carrier's
// rotation step, advanced as the modulation does.

void SquarePoint(int modulation, int bits, float scale, uint32_t value, int32_t& counter, float& i, float& q) {
    const int h = bits / 2;
    q = static_cast<float>(value >> h) - scale;
    i = static_cast<float>(value & ((1u << h) - 1u)) - scale;
    if (modulation == MOD_DQPSK) {
        const double sqrt2 = Sqrt2();
        if (counter == 1) {
            float ri = static_cast<float>((i - q) / sqrt2);
            float rq = static_cast<float>((i + q) / sqrt2);
            i = static_cast<float>(ri / sqrt2);
            q = static_cast<float>(rq / sqrt2);
            counter = 0;
        } else {
            counter = 1;
            i = static_cast<float>(i / sqrt2);
            q = static_cast<float>(q / sqrt2);
        }
    } else if (modulation == MOD_CQPSK) {
        const double sqrt2 = Sqrt2();
        Rotate(PI * static_cast<float>(counter) / 4.0f, &i, &q);
        i = static_cast<float>(i / sqrt2);
        q = static_cast<float>(q / sqrt2);
        counter = counter >= 7 || counter < 0 ? 0 : counter + 1;
    }
}

void CrossPoint(int modulation, uint32_t value, float& i, float& q) {
    if (modulation == MOD_QAM32)
        Cross32(value, &i, &q);
    else
        Cross128(value, &i, &q);
}

void PskPoint(int modulation, uint32_t value, int32_t& counter, float& i, float& q) {
    float v = static_cast<float>(value);
    float theta = PI * v / 4.0f + PI / 8.0f;
    double c8 = std::cos(PI / 8.0f);
    i = static_cast<float>(0.5 * std::cos(theta) / c8);
    q = static_cast<float>(0.5 * std::sin(theta) / c8);
    if (modulation == MOD_O8PSK) {
        const double sqrt2 = Sqrt2();
        Rotate(3.0f * static_cast<float>(counter) * PI / 8.0f, &i, &q);
        i = static_cast<float>(i / sqrt2);
        q = static_cast<float>(q / sqrt2);
        counter = counter >= 15 || counter < 0 ? 0 : counter + 1;
    }
}

void CapPoint(uint32_t value, float& i, float& q) {
    if (value < 12) {
        float a = PI * static_cast<float>(value) / 6.0f;
        i = static_cast<float>(0.5 * std::cos(a));
        q = static_cast<float>(0.5 * std::sin(a));
    } else {
        float a = PI * static_cast<float>(value - 12) / 2.0f;
        i = static_cast<float>(0.25 * std::cos(a));
        q = static_cast<float>(0.25 * std::sin(a));
    }
}

void DvbPoint(int modulation, uint32_t value, float& i, float& q) {
    const int s = static_cast<int>(value);
    switch (modulation) {
        case MOD_DVBC16: i = static_cast<float>(s % 4) - 1.5f; q = static_cast<float>(s / 4) - 1.5f; break;
        case MOD_DVBC32: Cross32(value & 31u, &i, &q); break;
        case MOD_DVBC64: i = static_cast<float>(s % 8) - 3.5f; q = static_cast<float>(s / 8) - 3.5f; break;
        default: i = static_cast<float>(s % 16) - 7.5f; q = static_cast<float>(s / 16) - 7.5f; break;
    }
}

void UserMapPoint(uint32_t value, int32_t& counter, float& i, float& q) {
    i = map.point_i[value];
    q = map.point_q[value];
    if (map.rotation_mode != 0) {
        Rotate(map.rotation_step * static_cast<float>(counter), &i, &q);
        if (map.rotation_mode == 1)
            counter = counter == INT32_MAX ? 0 : counter + 1;
        else
            counter = counter == 0 ? 1 : 0;
    }
}

void TgppPoint(uint32_t value, float& i, float& q) {
    uint32_t data = value & 3u;
    float c = value & 4u ? -1.0f : 1.0f;
    uint32_t s = value >> 3;
    float a = (static_cast<float>(data % 2) - 0.5f) * c;
    float b = (static_cast<float>(data / 2) - 0.5f) * c;
    float sr = static_cast<float>(s / 2) - 0.5f;
    float si = static_cast<float>(s % 2) - 0.5f;
    i = a * sr - b * si;
    q = a * si + b * sr;
}

// The normalised point of one symbol: the family's raw point, I / scale and
// -Q / scale.
void MapPoint(const ModulationTraits& t, uint32_t value, int32_t& counter, float* I, float* Q) {
    float i = 0.0f, q = 0.0f;
    switch (t.family) {
        case FAMILY_SQUARE: SquarePoint(t.code, t.bits, t.scale, value, counter, i, q); break;
        case FAMILY_CROSS: CrossPoint(t.code, value, i, q); break;
        case FAMILY_PSK: PskPoint(t.code, value, counter, i, q); break;
        case FAMILY_CAP: CapPoint(value, i, q); break;
        case FAMILY_ONE_AXIS: i = static_cast<float>(value) - t.scale; break;
        case FAMILY_EQUAL_AXIS:
            i = static_cast<float>(value) - t.scale;
            q = -i;
            break;
        case FAMILY_DVB: DvbPoint(t.code, value, i, q); break;
        case FAMILY_USER_MAP: UserMapPoint(value, counter, i, q); break;
        case FAMILY_IS95:
            i = static_cast<float>(value >> 1) - 0.5f;
            q = static_cast<float>(value & 1u) - 0.5f;
            break;
        case FAMILY_3GPP: TgppPoint(value, i, q); break;
        default: break;
    }
    *I = i / t.scale;
    *Q = -q / t.scale;
}

// Bits a FILE 3 symbol takes from the data source for a map of n points.
int MapBits(int n) { return static_cast<int>(std::log10(static_cast<double>(n)) / std::log10(2.0) + 0.5); }

// ---------------------------------------------------------------------------
// The symbol value of one call of iq, one function per way of drawing it.

uint32_t DrawDvbSymbol(int modulation, int carrier) {
    switch (modulation) {
        case MOD_DVBC16: return static_cast<uint32_t>(symbol16[TakeDvbPosition(carrier, DVB16_SYMBOLS)]);
        case MOD_DVBC32: return static_cast<uint32_t>(symbol32[TakeDvbPosition(carrier, DVB32_SYMBOLS)]);
        case MOD_DVBC64: return static_cast<uint32_t>(symbol64[TakeDvbPosition(carrier, DVB64_SYMBOLS)]);
        default: return static_cast<uint32_t>(symbol256[TakeDvbPosition(carrier, DVB256_SYMBOLS)]);
    }
}

// One IS95(DL) chip: a data bit every 64 chips, Walsh-covered and spread by
// the two short PN sequences.
uint32_t DrawIs95Chip(int carrier) {
    const Carrier& rec = signals[carrier];
    int32_t& counter = DQPSK_Switch[carrier];
    counter %= 64;
    if (counter < 0) counter += 64;
    if (counter == 0) cdmatmp[carrier] = static_cast<int32_t>(GetData(1, carrier));
    int w = Walsh(rec.channel_code, counter, 0);
    int d = (cdmatmp[carrier] + w) % 2;
    uint32_t ci = static_cast<uint32_t>((d + ISShiftRegisterI(&CDMA_PN_I[carrier], IS95_POLY_I, carrier)) % 2);
    uint32_t cq = static_cast<uint32_t>((d + ISShiftRegisterQ(&CDMA_PN_Q[carrier], IS95_POLY_Q, carrier)) % 2);
    ++counter;
    return ci << 1 | cq;
}

// One 3GPP(DL) or 3GPP(SC) chip, normalised; the synchronisation chips of
// 3GPP(SC) replace the channel's in the first 256 chips of each slot. 0, or
// -1 after a message for a setting the codes cannot follow.
int TgppChip(const ModulationTraits& t, float* I, float* Q, int carrier) {
    const int modulation = t.code;
    Carrier& rec = signals[carrier];
    int32_t& counter = DQPSK_Switch[carrier];
    // The synchronisation channel always uses code 1 of factor 256; a
    // factor of 0 means the same for the data channel.
    if (modulation == MOD_3GPPSC || rec.spreading_factor == 0) {
        rec.channel_code = 1;
        rec.spreading_factor = 256;
    }
    if (!IsPowerOfTwo(rec.spreading_factor))
        return CompileError("Carrier %d: the spreading factor %d is not a power of two.", carrier + 1,
                            rec.spreading_factor);
    if (modulation == MOD_3GPPSC && (rec.scrambling_code_group < 0 || rec.scrambling_code_group > 63))
        return CompileError("Carrier %d: the scrambling code group %d is outside 0 to 63.", carrier + 1,
                            rec.scrambling_code_group);
    counter %= 38400;
    if (counter < 0) counter += 38400;
    const int sf = rec.spreading_factor;
    if (counter % sf == 0) cdmatmp[carrier] = static_cast<int32_t>(GetData(2, carrier));
    int c = Ovsf(rec.channel_code, counter % sf, sf);
    int s = TGPPSDLScramble(&CDMA_PN_I[carrier], &CDMA_PN_Q[carrier], counter, rec.scrambling_code_group,
                            rec.scrambling_code_in_group, rec.secondary_scrambling_code);
    uint32_t value = static_cast<uint32_t>(cdmatmp[carrier] & 3) | (c < 0 ? 4u : 0u) | static_cast<uint32_t>(s & 3) << 3;
    int32_t chip = counter;
    MapPoint(t, value, chip, I, Q);
    if (modulation == MOD_3GPPSC && counter % 2560 < 256) {
        int psc, ssc;
        Syncode(counter, rec.scrambling_code_group, &psc, &ssc);
        float i = static_cast<float>((psc * std::pow(10.0, rec.psch_level_db / 20.0f) +
                                      ssc * std::pow(10.0, rec.ssch_level_db / 20.0f)) / 4.0);
        *I = i / t.scale;
        *Q = i / t.scale;   // q = -i, negated
    }
    ++counter;
    return 0;
}

}  // namespace

int iq(int modulation, float* I, float* Q, int carrier) {
    if (carrier < 0 || carrier >= MAX_CARRIERS || !I || !Q) return -1;
    const ModulationTraits& t = ModTraits(modulation);
    uint32_t value = 0;
    switch (t.family) {
        case FAMILY_NONE:
            *I = 0.0f;  // not a mapped modulation: no symbol
            *Q = 0.0f;
            return 0;
        case FAMILY_DVB: value = DrawDvbSymbol(modulation, carrier); break;
        case FAMILY_USER_MAP:
            if (LoadCarrierMap(carrier) != 0) return -1;
            value = GetData(MapBits(map.num_points), carrier);  // below 1024: num_points is at most 1024
            break;
        case FAMILY_IS95: value = DrawIs95Chip(carrier); break;
        case FAMILY_3GPP:
            if (TgppChip(t, I, Q, carrier) != 0) return -1;
            ApplyInpairment(I, Q, carrier);
            return 0;
        default: value = GetData(t.bits, carrier); break;
    }
    MapPoint(t, value, DQPSK_Switch[carrier], I, Q);
    ApplyInpairment(I, Q, carrier);
    return 0;
}

namespace {

// Families whose symbols are drawn bits alone, with no table, map or chip
// clock: MapSymbols draws them a run at a time.
bool DrawnInRuns(int family) {
    return family == FAMILY_SQUARE || family == FAMILY_CROSS || family == FAMILY_PSK || family == FAMILY_CAP ||
           family == FAMILY_ONE_AXIS || family == FAMILY_EQUAL_AXIS;
}

bool Impaired(const Carrier& rec) {
    auto active = [](int32_t type) {
        return type == IMPAIRMENT_PHASE || type == IMPAIRMENT_IMBALANCE || type == IMPAIRMENT_FEEDTHROUGH;
    };
    return active(rec.impairment1_type) || active(rec.impairment2_type) || active(rec.impairment3_type);
}

}  // namespace

int MapSymbols(int modulation, float* I, float* Q, int count, int carrier) {
    const ModulationTraits& t = ModTraits(modulation);
    const bool batched = carrier >= 0 && carrier < MAX_CARRIERS && I && Q && DrawnInRuns(t.family);
    if (!batched) {
        for (int k = 0; k < count; ++k) {
            I[k] = Q[k] = 0.0f;
            if (iq(modulation, &I[k], &Q[k], carrier) != 0) return -1;
        }
        return 0;
    }
    const bool impaired = Impaired(signals[carrier]);
    const int bits = t.bits;
    // Square QAM and QPSK without a turn: each axis is one of 2^(bits/2)
    // levels, normalised as MapPoint and iq normalise them.
    const bool square = t.family == FAMILY_SQUARE && t.rotation_steps == 1;
    const int h = bits / 2;
    float level[32];
    if (square)
        for (uint32_t v = 0; v < (1u << h); ++v) level[v] = (static_cast<float>(v) - t.scale) / t.scale;
    int32_t& counter = DQPSK_Switch[carrier];
    constexpr int kRun = 256;
    uint32_t values[kRun];
    for (int k0 = 0; k0 < count; k0 += kRun) {
        const int n = std::min(kRun, count - k0);
        GetDataRun(bits, n, carrier, values);
        float* bi = I + k0;
        float* bq = Q + k0;
        if (square) {
            const uint32_t mask = (1u << h) - 1u;
            for (int k = 0; k < n; ++k) {
                bi[k] = level[values[k] & mask];
                bq[k] = -level[values[k] >> h];
            }
        } else {
            for (int k = 0; k < n; ++k) MapPoint(t, values[k], counter, &bi[k], &bq[k]);
        }
        if (impaired)
            for (int k = 0; k < n; ++k) ApplyInpairment(&bi[k], &bq[k], carrier);
    }
    return 0;
}

double MeanSymbolPower(int modulation) {
    const ModulationTraits& t = ModTraits(modulation);
    if (t.family == FAMILY_NONE) return 0.0;
    // The synchronisation bursts of 3GPP(SC) follow their levels, not an alphabet.
    if (modulation == MOD_3GPPSC) return 0.0;
    const int32_t* table = nullptr;
    uint32_t values = 1u << t.bits;
    switch (t.family) {
        case FAMILY_DVB: {
            int n = 0;
            table = DvbTableOf(modulation, &n);
            values = static_cast<uint32_t>(n);
            break;
        }
        case FAMILY_USER_MAP:
            if (map.num_points < 1 || map.num_points > MAX_MAP_POINTS) return 0.0;
            values = 1u << MapBits(map.num_points);
            break;
        case FAMILY_IS95: values = 4; break;
        case FAMILY_3GPP: values = 32; break;
        default: break;
    }
    // Every rotation step of the turning constellations.
    const int32_t steps = t.rotation_steps > 0 ? t.rotation_steps : 1;
    double sum = 0.0;
    for (int32_t step = 0; step < steps; ++step)
        for (uint32_t v = 0; v < values; ++v) {
            int32_t counter = step;
            uint32_t value = table ? static_cast<uint32_t>(table[v]) : v;
            if (t.family == FAMILY_USER_MAP && value >= static_cast<uint32_t>(MAX_MAP_POINTS)) continue;
            float i, q;
            MapPoint(t, value, counter, &i, &q);
            sum += static_cast<double>(i) * i + static_cast<double>(q) * q;
        }
    return sum / (static_cast<double>(values) * steps);
}

std::FILE* OpenIqFile(int carrier) {
    if (carrier < 0 || carrier >= MAX_CARRIERS) return nullptr;
    return OpenTableFile(FieldText(signals[carrier].mod_file).c_str(), "File Opening Error (15)");
}
