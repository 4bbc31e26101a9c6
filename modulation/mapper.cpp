#include "modulation/mapper.h"

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

int iq(int modulation, float* I, float* Q, int carrier) {
    if (carrier < 0 || carrier >= MAX_CARRIERS || !I || !Q) return -1;
    Carrier& rec = signals[carrier];
    int32_t& counter = DQPSK_Switch[carrier];
    const double sqrt2 = std::pow(2.0, 0.5);

    int bits;
    float scale;
    if (!SymbolFormat(modulation, &bits, &scale)) {
        *I = 0.0f;  // not a mapped modulation: no symbol
        *Q = 0.0f;
        return 0;
    }

    float i = 0.0f, q = 0.0f;
    switch (modulation) {
        case MOD_QPSK: case MOD_DQPSK: case MOD_OQPSK: case MOD_CQPSK:
        case MOD_QAM16: case MOD_QAM64: case MOD_QAM256: case MOD_QAM1024: {
            int h = bits / 2;
            q = static_cast<float>(GetData(h, carrier)) - scale;
            i = static_cast<float>(GetData(h, carrier)) - scale;
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
        case MOD_QAM32: Cross32(GetData(bits, carrier), &i, &q); break;
        case MOD_QAM128: Cross128(GetData(bits, carrier), &i, &q); break;
        case MOD_8PSK: case MOD_O8PSK: {
            float v = static_cast<float>(GetData(3, carrier));
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
            uint32_t v = GetData(4, carrier);
            if (v < 12) {
                float a = PI * static_cast<float>(v) / 6.0f;
                i = static_cast<float>(0.5 * std::cos(a));
                q = static_cast<float>(0.5 * std::sin(a));
            } else {
                float a = PI * static_cast<float>(v - 12) / 2.0f;
                i = static_cast<float>(0.25 * std::cos(a));
                q = static_cast<float>(0.25 * std::sin(a));
            }
            break;
        }
        case MOD_BPSK: case MOD_GMSK: case MOD_2FSK: case MOD_4FSK: case MOD_8FSK:
        case MOD_16FSK: case MOD_32FSK:
            i = static_cast<float>(GetData(bits, carrier)) - scale;
            q = 0.0f;
            break;
        case MOD_8VSB: case MOD_16VSB: case MOD_SSB:
            i = static_cast<float>(GetData(bits, carrier)) - scale;
            q = -i;
            break;
        case MOD_DVBC64: {
            int s = symbol64[TakeDvbPosition(carrier, DVB64_SYMBOLS)];
            i = static_cast<float>(s % 8) - 3.5f;
            q = static_cast<float>(s / 8) - 3.5f;
            break;
        }
        case MOD_DVBC256: {
            int s = symbol256[TakeDvbPosition(carrier, DVB256_SYMBOLS)];
            i = static_cast<float>(s % 16) - 7.5f;
            q = static_cast<float>(s / 16) - 7.5f;
            break;
        }
        case MOD_DVBC16: {
            int s = symbol16[TakeDvbPosition(carrier, DVB16_SYMBOLS)];
            i = static_cast<float>(s % 4) - 1.5f;
            q = static_cast<float>(s / 4) - 1.5f;
            break;
        }
        case MOD_DVBC32:
            Cross32(static_cast<uint32_t>(symbol32[TakeDvbPosition(carrier, DVB32_SYMBOLS)]) & 31u,
                    &i, &q);
            break;
        case MOD_FILE3: {
            if (LoadCarrierMap(carrier) != 0) return -1;
            int n = static_cast<int>(std::log10(static_cast<double>(map.num_points)) / std::log10(2.0) + 0.5);
            uint32_t v = GetData(n, carrier);  // below 1024: num_points is at most 1024
            i = map.point_i[v];
            q = map.point_q[v];
            if (map.rotation_mode != 0) {
                Rotate(map.rotation_step * static_cast<float>(counter), &i, &q);
                if (map.rotation_mode == 1)
                    counter = counter == INT32_MAX ? 0 : counter + 1;
                else
                    counter = counter == 0 ? 1 : 0;
            }
            break;
        }
        case MOD_IS95DL: {
            counter %= 64;
            if (counter < 0) counter += 64;
            if (counter == 0) cdmatmp[carrier] = static_cast<int32_t>(GetData(1, carrier));
            int w = Walsh(rec.channel_code, counter, 0);
            int d = (cdmatmp[carrier] + w) % 2;
            i = static_cast<float>((d + ISShiftRegisterI(&CDMA_PN_I[carrier], IS95_POLY_I, carrier)) % 2) - 0.5f;
            q = static_cast<float>((d + ISShiftRegisterQ(&CDMA_PN_Q[carrier], IS95_POLY_Q, carrier)) % 2) - 0.5f;
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
            float a = (static_cast<float>(cdmatmp[carrier] % 2) - 0.5f) * static_cast<float>(c);
            float b = (static_cast<float>(cdmatmp[carrier] / 2) - 0.5f) * static_cast<float>(c);
            int s = TGPPSDLScramble(&CDMA_PN_I[carrier], &CDMA_PN_Q[carrier], counter,
                                    rec.scrambling_code_group, rec.scrambling_code_in_group,
                                    rec.secondary_scrambling_code);
            float sr = static_cast<float>(s / 2) - 0.5f;
            float si = static_cast<float>(s % 2) - 0.5f;
            i = a * sr - b * si;
            q = a * si + b * sr;
            if (modulation == MOD_3GPPSC && counter % 2560 < 256) {
                int psc, ssc;
                Syncode(counter, rec.scrambling_code_group, &psc, &ssc);
                i = static_cast<float>((psc * std::pow(10.0, rec.psch_level_db / 20.0f) +
                                        ssc * std::pow(10.0, rec.ssch_level_db / 20.0f)) / 4.0);
                q = -i;
            }
            ++counter;
            break;
        }
        default: break;
    }

    *I = i / scale;
    *Q = -q / scale;
    ApplyInpairment(I, Q, carrier);
    return 0;
}

std::FILE* OpenIqFile(int carrier) {
    if (carrier < 0 || carrier >= MAX_CARRIERS) return nullptr;
    return OpenTableFile(FieldText(signals[carrier].mod_file).c_str(), "File Opening Error (15)");
}
