// A plain per-sample synthesis of a planned table, written for clarity: one
// sample at a time, every carrier in table order, every tap interpolated from
// the pulse table on its own, the modulator called the moment a symbol enters
// the filter. The engine's tests compare against it, and the benchmark
// measures the engine beside it.
//
// Clocks as in the engine: carrier phase 2 pi ((F s) mod N) / N + phase0 in
// double, symbol index (s S) div N and fraction ((s S) mod N) / N in integers,
// GMSK/FSK frequency pulse and phase in double, the phase reduced to one turn.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "compile/engine.h"
#include "modulation/mapper.h"
#include "shaping/filters.h"
#include "shell/uldo.h"

struct ReferenceRecord {
    // Per sample of the last pass: composite, baseband sums, reference symbol start.
    std::vector<float> composite, baseband_i, baseband_q;
    std::vector<char> symbol_start;
    // Pass 0 display and constellation buffers (DISPLAY_POINTS each).
    std::vector<float> phase_i, phase_q, phase_ic, phase_qc;
    int const_points = 0;
    float max_value = 0.0f, max_i = 0.0f;
    float corr[MAX_CARRIERS] = {};   // GMSK/FSK closure of pass -1
};

namespace reference_detail {

constexpr double kPi = 3.14159265358979323846;

struct Channel {
    int L = 0;
    int64_t symbol_index = 0;
    float hist_i[MAX_FILTER_LENGTH], hist_q[MAX_FILTER_LENGTH];
    float copy_i[MAX_FILTER_LENGTH], copy_q[MAX_FILTER_LENGTH];
    std::FILE* file = nullptr;
    int data_opened = 0;
    float file_i = 0.0f, file_q = 0.0f;
    int offset_q = 0;
    double fm_x = 0.0;
};

inline bool Analog(int m) { return m == MOD_AM || m == MOD_FM || m == MOD_PM; }
inline bool FreqMod(int m) { return m == MOD_GMSK || (m >= MOD_2FSK && m <= MOD_32FSK); }
inline bool Clocked(int m) { return m != MOD_NONE && !Analog(m); }

inline int Symbol(int c, Channel& ch, float* i, float* q) {
    const Carrier& rec = signals[c];
    if (rec.modulation == MOD_FILE1 || rec.modulation == MOD_FILE2) {
        iqfile(ch.file, rec.iq_file_encoding, rec.iq_file_layout, &ch.file_i, &ch.file_q);
        *i = ch.file_i;
        *q = ch.file_q;
        return 0;
    }
    *i = *q = 0.0f;
    return iq(rec.modulation, i, q, c);
}

inline double Entry(int c, long j) {
    long entries = PulseEntries(signals[c].filter_length);
    return j >= 0 && j < entries ? FIR[c][j] : 0.0;
}

inline double InterpolateDouble(int c, long j, double t) {
    double fm = Entry(c, j - 1), f0 = Entry(c, j), fp = Entry(c, j + 1);
    double c2 = (fp + fm) / 2.0 - f0, c1 = (fp - fm) / 2.0;
    return c2 * t * t + c1 * t + f0;
}

inline float Interpolate(int c, long j, float t) { return static_cast<float>(InterpolateDouble(c, j, t)); }

inline void CloseFiles(Channel* ch, int count) {
    for (int c = 0; c < count; ++c) {
        if (ch[c].file) std::fclose(ch[c].file);
        ch[c].file = nullptr;
        if (ch[c].data_opened) CloseDataFile(c);
        ch[c].data_opened = 0;
    }
}

}  // namespace reference_detail

// One pass (-1 or 0) over all carriers. 0, or -1 when a file or the modulator failed.
inline int ReferencePass(int pass, ReferenceRecord* out) {
    using namespace reference_detail;
    static Channel ch[MAX_CARRIERS];
    const int64_t N = numpoints;
    const int count = compile_carriers;
    const int ref = globals.reference_carrier - 1;
    const int all = globals.baseband_all_carriers != 0;
    ResetGenerators();
    out->composite.assign(N, 0.0f);
    out->baseband_i.assign(N, 0.0f);
    out->baseband_q.assign(N, 0.0f);
    out->symbol_start.assign(N, 0);
    if (pass == 0) {
        out->phase_i.assign(DISPLAY_POINTS, 0.0f);
        out->phase_q.assign(DISPLAY_POINTS, 0.0f);
        out->phase_ic.assign(DISPLAY_POINTS, 0.0f);
        out->phase_qc.assign(DISPLAY_POINTS, 0.0f);
        out->const_points = 0;
        out->max_value = out->max_i = 0.0f;
    }

    for (int c = 0; c < count; ++c) {
        Carrier& rec = signals[c];
        Channel& h = ch[c];
        h = Channel{};
        h.L = rec.filter_length;
        uint32_t saved = rec.prbs_poly_i;
        bool dvb = rec.modulation == MOD_DVBC16 || rec.modulation == MOD_DVBC32 ||
                   rec.modulation == MOD_DVBC64 || rec.modulation == MOD_DVBC256;
        datapoints[c] = dvb ? 0 : static_cast<int32_t>(rec.prbs_seed_i);
        if (!dvb && rec.prbs_iq_equal == 0) rec.prbs_poly_i = rec.prbs_poly_q;
        int bad = 0;
        if (rec.modulation == MOD_FILE1 || rec.modulation == MOD_FILE2) {
            h.file = OpenIqFile(c);
            bad = !h.file;
        }
        if (!bad && rec.data_source == DATA_FILE) {
            bad = OpenDataFile(c) != 0;
            h.data_opened = !bad;
        }
        if (!bad && Clocked(rec.modulation)) {
            for (int k = 0; k < h.L && !bad; ++k) {
                float i, q;
                bad = Symbol(c, h, &i, &q) != 0;
                h.hist_i[k] = h.copy_i[k] = i;
                h.hist_q[k] = h.copy_q[k] = q;
                if (rec.modulation == MOD_DVBC64) {
                    double ct = std::cos(phase_c64), st = std::sin(phase_c64);
                    h.copy_i[k] = static_cast<float>(i * ct + q * st);
                    h.copy_q[k] = static_cast<float>(q * ct - i * st);
                }
            }
        }
        rec.prbs_poly_i = saved;
        h.offset_q = rec.modulation == MOD_OQPSK || (rec.modulation == MOD_FILE3 && map.offset_q == 1);
        if (bad) {
            CloseFiles(ch, c + 1);
            return -1;
        }
    }

    int cp = 0;
    for (int64_t s = 0; s < N; ++s) {
        float output_value = 0.0f, bb_i = 0.0f, bb_q = 0.0f;
        int start = 0;
        for (int c = 0; c < count; ++c) {
            const Carrier& rec = signals[c];
            Channel& h = ch[c];
            const int mod = rec.modulation;
            const float A = rec.amplitude;
            const int64_t S = symbols_in_record[c];
            const double phase0 = rec.phase_deg * kPi / 180.0;
            const int64_t F = cycles_in_record[c] % N;
            double theta = 2.0 * kPi * (static_cast<double>(F * s % N) / N) + phase0;
            float I = 0.0f, Q = 0.0f, rfI = 0.0f, rfQ = 0.0f, bbI = 0.0f, bbQ = 0.0f;
            double fm_pulse = 0.0;   // GMSK/FSK: the frequency pulse in double precision
            const bool linear = Clocked(mod) && !FreqMod(mod);

            if ((linear && pass != -1) || FreqMod(mod)) {
                const int L = h.L, D = (L - 1) / 2, Z = PulseCentre(L);
                const int64_t now = s * S / N, r = s * S % N;
                if (now != h.symbol_index) {
                    if (c == ref) start = 1;
                    ++h.symbol_index;
                    float ni, nq;
                    if (h.symbol_index > S - L) {
                        ni = h.copy_i[h.symbol_index - S + L - 1];
                        nq = h.copy_q[h.symbol_index - S + L - 1];
                    } else if (Symbol(c, h, &ni, &nq) != 0) {
                        CloseFiles(ch, count);
                        return -1;
                    }
                    for (int k = 0; k + 1 < L; ++k) {
                        h.hist_i[k] = h.hist_i[k + 1];
                        h.hist_q[k] = h.hist_q[k + 1];
                    }
                    h.hist_i[L - 1] = ni;
                    h.hist_q[L - 1] = nq;
                }
                const bool quarter = mod == MOD_8VSB || mod == MOD_16VSB || mod == MOD_SSB;
                if (rec.filter_type == FILTER_NONE) {
                    I = h.hist_i[L - 1];
                    Q = h.hist_q[L - 1];
                    fm_pulse = I;
                } else if (FreqMod(mod)) {
                    for (int k = 0; k < L; ++k) {
                        double u = Z + 50.0 * (D - k) + 50.0 * static_cast<double>(r) / N;
                        long j = static_cast<long>(u);
                        if (u - j > 0.5) ++j;
                        fm_pulse += h.hist_i[k] * InterpolateDouble(c, j, u - j);
                    }
                } else {
                    for (int k = 0; k < L; ++k) {
                        double u = Z + 50.0 * (D - k) + 50.0 * static_cast<double>(r) / N;
                        long j = static_cast<long>(u);
                        if (u - j > 0.5) ++j;
                        float t = static_cast<float>(u - j);
                        float hv = Interpolate(c, j, t);
                        float hq = h.offset_q ? Interpolate(c, j - 25, t) : hv;
                        if (quarter) {
                            double a = kPi * (u - Z) / 100.0;
                            I += h.hist_i[k] * hv * static_cast<float>(std::cos(a));
                            Q += h.hist_q[k] * hq * static_cast<float>(std::sin(a));
                        } else {
                            I += h.hist_i[k] * hv;
                            Q += h.hist_q[k] * hq;
                        }
                    }
                }
                if (pass == 0 && linear) {
                    if (s < DISPLAY_POINTS) {
                        if (all) {
                            out->phase_i[s] += A * I;
                            out->phase_q[s] += A * Q;
                        } else if (c == ref) {
                            out->phase_i[s] = I;
                            out->phase_q[s] = Q;
                        }
                    }
                    if (start && cp < DISPLAY_POINTS && (all || c == ref)) {
                        float ci = 0.0f, cq = 0.0f;
                        if (rec.filter_type == FILTER_NONE) {
                            ci = h.hist_i[L - 1];
                            cq = h.hist_q[L - 1];
                        } else {
                            for (int k = 0; k < L; ++k) {
                                long u = Z + 50L * (D - k);
                                float fi = static_cast<float>(Entry(c, u));
                                float fq = h.offset_q ? static_cast<float>(Entry(c, u - 25)) : fi;
                                if (quarter) {
                                    fi *= static_cast<float>(std::cos(kPi * (D - k) / 2.0));
                                    fq *= static_cast<float>(std::sin(kPi * (D - k) / 2.0));
                                }
                                ci += h.hist_i[k] * fi;
                                cq += h.hist_q[k] * fq;
                            }
                        }
                        if (all) {
                            out->phase_ic[cp] += A * ci;
                            out->phase_qc[cp] += A * cq;
                        } else {
                            out->phase_ic[cp] = ci;
                            out->phase_qc[cp] = cq;
                        }
                    }
                }
            }
            if (mod == MOD_NONE && pass != -1) {
                I = 1.0f;
                Q = 0.0f;
            }
            if ((linear || mod == MOD_NONE) && pass != -1) {
                double th = theta;
                if (mod == MOD_DVBC64) th += phase_c64 * (static_cast<double>(s) / N);
                bbI = A * I;
                bbQ = A * Q;
                rfI = bbI * static_cast<float>(std::cos(th));
                rfQ = -(bbQ * static_cast<float>(std::sin(th)));
                if (mod == MOD_DVBC64) {   // the baseband turns with the ramp too
                    double ramp = phase_c64 * (static_cast<double>(s) / N);
                    float c = static_cast<float>(std::cos(ramp)), d = static_cast<float>(std::sin(ramp));
                    float pi = bbI, pq = bbQ;
                    bbI = pi * c - pq * d;
                    bbQ = pi * d + pq * c;
                }
            }
            if (Analog(mod) && pass != -1) {
                const float p = rec.filter_param, fm = rec.symbol_rate;
                float m = static_cast<float>(std::sin(2.0 * kPi * (static_cast<double>(S * s % N) / N)));
                if (mod == MOD_AM)
                    rfI = A * static_cast<float>(1.0 + static_cast<double>(p / 100.0f) * m) *
                          static_cast<float>(std::sin(theta));
                else if (mod == MOD_FM)
                    rfI = A * static_cast<float>(std::sin(theta + static_cast<double>(1000.0f * p / fm) * m));
                else
                    rfI = A * static_cast<float>(std::sin(theta + p * kPi / 180.0 * m));
            }
            if (FreqMod(mod)) {
                const bool gmsk = mod == MOD_GMSK;
                const double turn = gmsk ? 4.0 : 1.0;
                const double step = gmsk ? static_cast<double>(S) / N : rec.deviation_hz / record_clock;
                h.fm_x += fm_pulse * step;
                h.fm_x -= turn * std::floor(h.fm_x / turn);
                const double psi = h.fm_x * (gmsk ? kPi / 2.0 : 2.0 * kPi);
                const double closed = psi - out->corr[c] * (static_cast<double>(s + 1) / N);
                bbI = static_cast<float>(std::cos(closed));
                bbQ = static_cast<float>(std::sin(closed));
                rfI = A * static_cast<float>(std::sin(theta + closed));
                const float shown_i = static_cast<float>(std::cos(psi));
                const float shown_q = static_cast<float>(std::sin(psi));
                if (pass == -1 && s == N - 1) {
                    double corr = psi;
                    if (corr > kPi) corr -= 2.0 * kPi;
                    out->corr[c] = static_cast<float>(corr);
                }
                if (pass == 0) {   // summed display: every GMSK/FSK carrier, as in the engine
                    if (s < DISPLAY_POINTS) {
                        if (all) {
                            out->phase_i[s] += shown_i;
                            out->phase_q[s] += shown_q;
                        } else if (c == ref) {
                            out->phase_i[s] = shown_i;
                            out->phase_q[s] = shown_q;
                        }
                    }
                    if (start && cp < DISPLAY_POINTS && (all || c == ref)) {
                        if (all) {
                            out->phase_ic[cp] += shown_i;
                            out->phase_qc[cp] += shown_q;
                        } else {
                            out->phase_ic[cp] = shown_i;
                            out->phase_qc[cp] = shown_q;
                        }
                    }
                }
            }
            if (all) {
                bb_i += bbI;
                bb_q += bbQ;
            } else if (c == ref) {
                bb_i = bbI;
                bb_q = bbQ;
            }
            output_value += rfI + rfQ;
        }
        if (pass == 0 && start && cp < DISPLAY_POINTS) ++cp;
        out->composite[s] = output_value;
        out->baseband_i[s] = bb_i;
        out->baseband_q[s] = bb_q;
        out->symbol_start[s] = static_cast<char>(start);
        if (pass == 0) {
            out->max_value = std::max(out->max_value, std::fabs(output_value));
            out->max_i = std::max(out->max_i, std::max(std::fabs(bb_i), std::fabs(bb_q)));
        }
    }
    if (pass == 0) out->const_points = cp;
    CloseFiles(ch, count);
    return 0;
}

// Pass -1 when the table has GMSK or FSK carriers, then pass 0.
inline int ReferenceCompile(ReferenceRecord* out) {
    using namespace reference_detail;
    for (float& c : out->corr) c = 0.0f;
    bool fm = false;
    for (int c = 0; c < compile_carriers; ++c) fm = fm || FreqMod(signals[c].modulation);
    if (fm && ReferencePass(-1, out) != 0) return -1;
    return ReferencePass(0, out);
}
