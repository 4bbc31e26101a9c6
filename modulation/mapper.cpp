#include "modulation/mapper.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "compile/limits.h"
#include "maps/maps.h"
#include "shell/fileforms.h"
#include "shell/hooks.h"

int32_t DQPSK_Switch[MAX_CARRIERS];
int32_t cdmatmp[MAX_CARRIERS];
float GMSK_acum[MAX_CARRIERS];
float GMSK_corr[MAX_CARRIERS];

namespace {

bool IsDvb(int modulation) {
    return modulation == MOD_DVBC16 || modulation == MOD_DVBC32 || modulation == MOD_DVBC64 ||
           modulation == MOD_DVBC256;
}

// Bits per symbol and axis scale of each mapped modulation; false for codes
// that the mapper does not generate.
bool SymbolFormat(int modulation, int* bits, float* scale) {
    switch (modulation) {
        case MOD_QPSK: case MOD_DQPSK: case MOD_OQPSK: case MOD_CQPSK:
        case MOD_3GPPDL: case MOD_3GPPSC: *bits = 2; *scale = 0.5f; return true;
        case MOD_QAM16: *bits = 4; *scale = 1.5f; return true;
        case MOD_QAM64: *bits = 6; *scale = 3.5f; return true;
        case MOD_QAM256: *bits = 8; *scale = 7.5f; return true;
        case MOD_QAM1024: *bits = 10; *scale = 15.5f; return true;
        case MOD_QAM32: *bits = 5; *scale = 2.5f; return true;
        case MOD_QAM128: *bits = 7; *scale = 5.5f; return true;
        case MOD_8PSK: case MOD_O8PSK: *bits = 3; *scale = 0.5f; return true;
        case MOD_CAP16: *bits = 4; *scale = 1.5f; return true;
        case MOD_BPSK: case MOD_GMSK: case MOD_2FSK: *bits = 1; *scale = 0.5f; return true;
        case MOD_4FSK: *bits = 2; *scale = 1.5f; return true;
        case MOD_8FSK: *bits = 3; *scale = 3.5f; return true;
        case MOD_16FSK: *bits = 4; *scale = 7.5f; return true;
        case MOD_32FSK: *bits = 5; *scale = 15.5f; return true;
        case MOD_8VSB: *bits = 3; *scale = 3.5f; return true;
        case MOD_16VSB: *bits = 4; *scale = 7.5f; return true;
        case MOD_SSB: *bits = 16; *scale = 32767.5f; return true;
        case MOD_IS95DL: *bits = 1; *scale = 0.5f; return true;
        case MOD_DVBC16: *bits = 0; *scale = 1.5f; return true;
        case MOD_DVBC32: *bits = 0; *scale = 2.5f; return true;
        case MOD_DVBC64: *bits = 0; *scale = 3.5f; return true;
        case MOD_DVBC256: *bits = 0; *scale = 7.5f; return true;
        case MOD_FILE3: *bits = 0; *scale = 1.0f; return true;
        default: return false;
    }
}

// Rotates (i, q) by `angle` radians.
void Rotate(float angle, float* i, float* q) {
    double c = std::cos(angle), s = std::sin(angle);
    float ri = static_cast<float>(*i * c - *q * s);
    float rq = static_cast<float>(*i * s + *q * c);
    *i = ri;
    *q = rq;
}

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

void CompileError(const char* format, int carrier, int value) {
    char text[200];
    std::snprintf(text, sizeof text, format, carrier + 1, value);
    ReportMessage("COMPILATION ERROR", text);
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
    if (map.num_points < 1 || map.num_points > MAX_MAP_POINTS) {
        CompileError("Carrier %d: the symbol map holds %d points; 1 to 1024 are needed.", carrier,
                     map.num_points);
        return -1;
    }
    // Every point the map uses must be a level the synthesis can add up.
    for (int k = 0; k < map.num_points; ++k) {
        const char* why = nullptr;
        const char* axis = CheckFileLevel(map.point_i[k], &why) != 0 ? "I" : CheckFileLevel(map.point_q[k], &why) != 0 ? "Q" : nullptr;
        if (axis) {
            std::string text = "Carrier " + std::to_string(carrier + 1) + ": symbol map " +
                               FieldText(signals[carrier].mod_file) + ": point " + std::to_string(k + 1) + " (" +
                               axis + ") " + why;
            ReportMessage("COMPILATION ERROR", text.c_str());
            return -1;
        }
    }
    if (map.rotation_mode != 0 && !std::isfinite(map.rotation_step)) {
        CompileError("Carrier %d: the symbol map's rotation step is not a finite number.", carrier, 0);
        return -1;
    }
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
        datapoints[c] = IsDvb(signals[c].modulation) ? 0 : static_cast<int32_t>(signals[c].prbs_seed_i);
    }
}

namespace {

// Point of one symbol before normalisation. value: the symbol's bits as GetData
// delivers them (QPSK and square QAM: the Q bits first, then the I bits), the
// DVB-C table entry, or for the CDMA channels the chip's parts (IS95: the I
// chip bit times 2 plus the Q chip bit; 3GPP: data bits, the OVSF sign in bit 2
// and the scrambling symbol from bit 3). counter: the carrier's rotation step,
// advanced as the modulation does.
void MapPoint(int modulation, int bits, float scale, uint32_t value, int32_t& counter, float* I,
              float* Q) {
    const double sqrt2 = std::pow(2.0, 0.5);
    float i = 0.0f, q = 0.0f;
    switch (modulation) {
        case MOD_QPSK: case MOD_DQPSK: case MOD_OQPSK: case MOD_CQPSK:
        case MOD_QAM16: case MOD_QAM64: case MOD_QAM256: case MOD_QAM1024: {
            int h = bits / 2;
            q = static_cast<float>(value >> h) - scale;
            i = static_cast<float>(value & ((1u << h) - 1u)) - scale;
            if (modulation == MOD_DQPSK) {
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
                Rotate(PI * static_cast<float>(counter) / 4.0f, &i, &q);
                i = static_cast<float>(i / sqrt2);
                q = static_cast<float>(q / sqrt2);
                counter = counter >= 7 || counter < 0 ? 0 : counter + 1;
            }
            break;
        }
        case MOD_QAM32: Cross32(value, &i, &q); break;
        case MOD_QAM128: Cross128(value, &i, &q); break;
        case MOD_8PSK: case MOD_O8PSK: {
            float v = static_cast<float>(value);
            float theta = PI * v / 4.0f + PI / 8.0f;
            double c8 = std::cos(PI / 8.0f);
            i = static_cast<float>(0.5 * std::cos(theta) / c8);
            q = static_cast<float>(0.5 * std::sin(theta) / c8);
            if (modulation == MOD_O8PSK) {
                Rotate(3.0f * static_cast<float>(counter) * PI / 8.0f, &i, &q);
                i = static_cast<float>(i / sqrt2);
                q = static_cast<float>(q / sqrt2);
                counter = counter >= 15 || counter < 0 ? 0 : counter + 1;
            }
            break;
        }
        case MOD_CAP16: {
            if (value < 12) {
                float a = PI * static_cast<float>(value) / 6.0f;
                i = static_cast<float>(0.5 * std::cos(a));
                q = static_cast<float>(0.5 * std::sin(a));
            } else {
                float a = PI * static_cast<float>(value - 12) / 2.0f;
                i = static_cast<float>(0.25 * std::cos(a));
                q = static_cast<float>(0.25 * std::sin(a));
            }
            break;
        }
        case MOD_BPSK: case MOD_GMSK: case MOD_2FSK: case MOD_4FSK: case MOD_8FSK:
        case MOD_16FSK: case MOD_32FSK:
            i = static_cast<float>(value) - scale;
            q = 0.0f;
            break;
        case MOD_8VSB: case MOD_16VSB: case MOD_SSB:
            i = static_cast<float>(value) - scale;
            q = -i;
            break;
        case MOD_DVBC64: {
            int s = static_cast<int>(value);
            i = static_cast<float>(s % 8) - 3.5f;
            q = static_cast<float>(s / 8) - 3.5f;
            break;
        }
        case MOD_DVBC256: {
            int s = static_cast<int>(value);
            i = static_cast<float>(s % 16) - 7.5f;
            q = static_cast<float>(s / 16) - 7.5f;
            break;
        }
        case MOD_DVBC16: {
            int s = static_cast<int>(value);
            i = static_cast<float>(s % 4) - 1.5f;
            q = static_cast<float>(s / 4) - 1.5f;
            break;
        }
        case MOD_DVBC32: Cross32(value & 31u, &i, &q); break;
        case MOD_FILE3: {
            i = map.point_i[value];
            q = map.point_q[value];
            if (map.rotation_mode != 0) {
                Rotate(map.rotation_step * static_cast<float>(counter), &i, &q);
                if (map.rotation_mode == 1)
                    counter = counter == INT32_MAX ? 0 : counter + 1;
                else
                    counter = counter == 0 ? 1 : 0;
            }
            break;
        }
        case MOD_IS95DL:
            i = static_cast<float>(value >> 1) - 0.5f;
            q = static_cast<float>(value & 1u) - 0.5f;
            break;
        case MOD_3GPPDL: case MOD_3GPPSC: {
            uint32_t data = value & 3u;
            float c = value & 4u ? -1.0f : 1.0f;
            uint32_t s = value >> 3;
            float a = (static_cast<float>(data % 2) - 0.5f) * c;
            float b = (static_cast<float>(data / 2) - 0.5f) * c;
            float sr = static_cast<float>(s / 2) - 0.5f;
            float si = static_cast<float>(s % 2) - 0.5f;
            i = a * sr - b * si;
            q = a * si + b * sr;
            break;
        }
        default: break;
    }
    *I = i / scale;
    *Q = -q / scale;
}

// Bits a FILE 3 symbol takes from the data source for a map of n points.
int MapBits(int n) { return static_cast<int>(std::log10(static_cast<double>(n)) / std::log10(2.0) + 0.5); }

}  // namespace

int iq(int modulation, float* I, float* Q, int carrier) {
    if (carrier < 0 || carrier >= MAX_CARRIERS || !I || !Q) return -1;
    Carrier& rec = signals[carrier];
    int32_t& counter = DQPSK_Switch[carrier];

    int bits;
    float scale;
    if (!SymbolFormat(modulation, &bits, &scale)) {
        *I = 0.0f;  // not a mapped modulation: no symbol
        *Q = 0.0f;
        return 0;
    }

    uint32_t value = 0;
    switch (modulation) {
        case MOD_DVBC64: value = static_cast<uint32_t>(symbol64[TakeDvbPosition(carrier, DVB64_SYMBOLS)]); break;
        case MOD_DVBC256: value = static_cast<uint32_t>(symbol256[TakeDvbPosition(carrier, DVB256_SYMBOLS)]); break;
        case MOD_DVBC16: value = static_cast<uint32_t>(symbol16[TakeDvbPosition(carrier, DVB16_SYMBOLS)]); break;
        case MOD_DVBC32: value = static_cast<uint32_t>(symbol32[TakeDvbPosition(carrier, DVB32_SYMBOLS)]); break;
        case MOD_FILE3:
            if (LoadCarrierMap(carrier) != 0) return -1;
            value = GetData(MapBits(map.num_points), carrier);  // below 1024: num_points is at most 1024
            break;
        case MOD_IS95DL: {
            counter %= 64;
            if (counter < 0) counter += 64;
            if (counter == 0) cdmatmp[carrier] = static_cast<int32_t>(GetData(1, carrier));
            int w = Walsh(rec.channel_code, counter, 0);
            int d = (cdmatmp[carrier] + w) % 2;
            uint32_t ci = static_cast<uint32_t>((d + ISShiftRegisterI(&CDMA_PN_I[carrier], IS95_POLY_I, carrier)) % 2);
            uint32_t cq = static_cast<uint32_t>((d + ISShiftRegisterQ(&CDMA_PN_Q[carrier], IS95_POLY_Q, carrier)) % 2);
            value = ci << 1 | cq;
            ++counter;
            break;
        }
        case MOD_3GPPDL: case MOD_3GPPSC: {
            // The synchronisation channel always uses code 1 of factor 256; a
            // factor of 0 means the same for the data channel.
            if (modulation == MOD_3GPPSC || rec.spreading_factor == 0) {
                rec.channel_code = 1;
                rec.spreading_factor = 256;
            }
            if (!IsPowerOfTwo(rec.spreading_factor)) {
                CompileError("Carrier %d: the spreading factor %d is not a power of two.", carrier,
                             rec.spreading_factor);
                return -1;
            }
            if (modulation == MOD_3GPPSC &&
                (rec.scrambling_code_group < 0 || rec.scrambling_code_group > 63)) {
                CompileError("Carrier %d: the scrambling code group %d is outside 0 to 63.", carrier,
                             rec.scrambling_code_group);
                return -1;
            }
            counter %= 38400;
            if (counter < 0) counter += 38400;
            const int sf = rec.spreading_factor;
            if (counter % sf == 0) cdmatmp[carrier] = static_cast<int32_t>(GetData(2, carrier));
            int c = Ovsf(rec.channel_code, counter % sf, sf);
            int s = TGPPSDLScramble(&CDMA_PN_I[carrier], &CDMA_PN_Q[carrier], counter,
                                    rec.scrambling_code_group, rec.scrambling_code_in_group,
                                    rec.secondary_scrambling_code);
            value = static_cast<uint32_t>(cdmatmp[carrier] & 3) | (c < 0 ? 4u : 0u) | static_cast<uint32_t>(s & 3) << 3;
            int32_t chip = counter;
            MapPoint(modulation, bits, scale, value, chip, I, Q);
            if (modulation == MOD_3GPPSC && counter % 2560 < 256) {
                int psc, ssc;
                Syncode(counter, rec.scrambling_code_group, &psc, &ssc);
                float i = static_cast<float>((psc * std::pow(10.0, rec.psch_level_db / 20.0f) +
                                              ssc * std::pow(10.0, rec.ssch_level_db / 20.0f)) / 4.0);
                *I = i / scale;
                *Q = i / scale;   // q = -i, negated
            }
            ++counter;
            ApplyInpairment(I, Q, carrier);
            return 0;
        }
        default: value = GetData(bits, carrier); break;
    }
    MapPoint(modulation, bits, scale, value, counter, I, Q);
    ApplyInpairment(I, Q, carrier);
    return 0;
}

int MapSymbols(int modulation, float* I, float* Q, int count, int carrier) {
    int bits;
    float scale;
    const bool batched = carrier >= 0 && carrier < MAX_CARRIERS && I && Q && SymbolFormat(modulation, &bits, &scale) &&
                         !IsDvb(modulation) && modulation != MOD_FILE3 && modulation != MOD_IS95DL &&
                         modulation != MOD_3GPPDL && modulation != MOD_3GPPSC;
    if (!batched) {
        for (int k = 0; k < count; ++k) {
            I[k] = Q[k] = 0.0f;
            if (iq(modulation, &I[k], &Q[k], carrier) != 0) return -1;
        }
        return 0;
    }
    const Carrier& rec = signals[carrier];
    auto active = [](int32_t type) {
        return type == IMPAIRMENT_PHASE || type == IMPAIRMENT_IMBALANCE || type == IMPAIRMENT_FEEDTHROUGH;
    };
    const bool impaired = active(rec.impairment1_type) || active(rec.impairment2_type) || active(rec.impairment3_type);
    // Square QAM and QPSK without a turn: each axis is one of 2^(bits/2)
    // levels, normalised as MapPoint and iq normalise them.
    const bool square = modulation == MOD_QPSK || modulation == MOD_OQPSK || modulation == MOD_QAM16 ||
                        modulation == MOD_QAM64 || modulation == MOD_QAM256 || modulation == MOD_QAM1024;
    const int h = bits / 2;
    float level[32];
    if (square)
        for (uint32_t v = 0; v < (1u << h); ++v) level[v] = (static_cast<float>(v) - scale) / scale;
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
            for (int k = 0; k < n; ++k) MapPoint(modulation, bits, scale, values[k], counter, &bi[k], &bq[k]);
        }
        if (impaired)
            for (int k = 0; k < n; ++k) ApplyInpairment(&bi[k], &bq[k], carrier);
    }
    return 0;
}

double MeanSymbolPower(int modulation) {
    int bits;
    float scale;
    if (!SymbolFormat(modulation, &bits, &scale)) return 0.0;
    // The synchronisation bursts of 3GPP(SC) follow their levels, not an alphabet.
    if (modulation == MOD_3GPPSC) return 0.0;
    const int32_t* table = nullptr;
    uint32_t values = 1u << bits;
    switch (modulation) {
        case MOD_DVBC16: table = symbol16; values = DVB16_SYMBOLS; break;
        case MOD_DVBC32: table = symbol32; values = DVB32_SYMBOLS; break;
        case MOD_DVBC64: table = symbol64; values = DVB64_SYMBOLS; break;
        case MOD_DVBC256: table = symbol256; values = DVB256_SYMBOLS; break;
        case MOD_FILE3:
            if (map.num_points < 1 || map.num_points > MAX_MAP_POINTS) return 0.0;
            values = 1u << MapBits(map.num_points);
            break;
        case MOD_IS95DL: values = 4; break;
        case MOD_3GPPDL: values = 32; break;
        default: break;
    }
    // Every rotation step of the rotating constellations.
    int32_t steps = modulation == MOD_DQPSK ? 2 : modulation == MOD_CQPSK ? 8 : modulation == MOD_O8PSK ? 16 : 1;
    double sum = 0.0;
    for (int32_t step = 0; step < steps; ++step)
        for (uint32_t v = 0; v < values; ++v) {
            int32_t counter = step;
            uint32_t value = table ? static_cast<uint32_t>(table[v]) : v;
            if (modulation == MOD_FILE3 && value >= static_cast<uint32_t>(MAX_MAP_POINTS)) continue;
            float i, q;
            MapPoint(modulation, bits, scale, value, counter, &i, &q);
            sum += static_cast<double>(i) * i + static_cast<double>(q) * q;
        }
    return sum / (static_cast<double>(values) * steps);
}

std::FILE* OpenIqFile(int carrier) {
    if (carrier < 0 || carrier >= MAX_CARRIERS) return nullptr;
    return OpenTableFile(FieldText(signals[carrier].mod_file).c_str(), "File Opening Error (15)");
}
