#include "shaping/filters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "shaping/windows.h"
#include "shell/fileforms.h"
#include "shell/hooks.h"
#include "shell/levels.h"
#include "shell/modtraits.h"
#include "shell/safefile.h"

double FIR[MAX_CARRIERS][FIR_ROW_LENGTH];
int32_t filter_file_bad_token;
char filter_dat_path[4096] = "FILTER.DAT";
int filter_dat_failed;

namespace {

bool ValidLength(int32_t L) { return L >= 1 && L <= MAX_FILTER_LENGTH; }

// Work array of the Gaussian designs: their samples are kept in single precision.
float gauss_work[10155];

// Gaussian designs: the Gaussian summed over 2k + 1 neighbouring points, with the
// outer three symbols left at 0, normalised so that
// table[H] + 2 table[H + T] + 4 table[H + 2T] = 1.
void GaussDesign(double* table, float sps, float bt, int32_t L, int32_t k) {
    if (!ValidLength(L)) return;
    int32_t H = PulseCentre(L);
    for (int32_t t = -H; t <= H; ++t) {
        gauss_work[t + H] = Gauss(static_cast<float>(t), sps, bt);
        table[t + H] = 0.0;
    }
    // Below length 5 this span is empty and the row stays zero.
    const int32_t edge = 3 * POINTS_PER_SYMBOL;  // the outer three symbols
    for (int32_t t = -(H - edge); t <= H - edge; ++t) {
        double sum = 0.0;
        for (int32_t j = -k; j <= k; ++j) {
            int32_t i = t + H + j;
            if (i >= 0 && i <= 2 * H) sum += gauss_work[i];
        }
        table[t + H] = sum;
    }
    auto entry = [&](long i) { return i >= 0 && i <= 2 * H ? table[i] : 0.0; };
    float n = static_cast<float>(table[H] + 2.0 * entry(static_cast<long>(H + sps)) +
                                 4.0 * entry(static_cast<long>(H + 2.0f * sps)));
    // A zero normaliser (an all-zero row) would turn the row into NaNs.
    if (n == 0.0f) return;
    for (int32_t i = 0; i <= 2 * H; ++i) table[i] /= n;
}

// Sets the 2k + 1 entries around centre to 1, dropping those outside 0 .. M-1.
void PutRectangle(double* table, int32_t M, int32_t centre, int32_t k) {
    for (int32_t t = -k; t <= k; ++t) {
        int32_t i = centre + t;
        if (i >= 0 && i < M) table[i] = 1.0;
    }
}

size_t ItemSize(int32_t format) { return format == 1 ? 4 : format == 2 ? 8 : 0; }

// Reads one coefficient of the given format; false at the end of the file or
// at anything that is not a finite number.
bool ReadCoefficient(FILE* f, int32_t format, double* value) {
    if (format == 0) {
        float v;
        if (std::fscanf(f, "%f", &v) != 1 || !std::isfinite(v)) return false;
        *value = v;
        return true;
    }
    if (format == 1) {
        float v;
        if (std::fread(&v, 4, 1, f) != 1) return false;
        *value = v;
        return true;
    }
    if (format == 2) {
        double v;
        if (std::fread(&v, 8, 1, f) != 1) return false;
        *value = v;
        return true;
    }
    return false;
}

// Number of coefficients in the file. Text stops at its first token that is not
// a number (recorded in filter_file_bad_token); binary counts whole items only.
long long CountCoefficients(FILE* f, int32_t format) {
    long long count = 0;
    if (format == 0) {
        for (;;) {
            float v;
            int r = std::fscanf(f, "%f", &v);
            if (r == 1 && std::isfinite(v)) {
                ++count;
                continue;
            }
            if (r != EOF) filter_file_bad_token = static_cast<int32_t>(std::min(count + 1, 2147483647LL));
            break;
        }
        return count;
    }
    size_t size = ItemSize(format);
    if (size == 0) return 0;
    unsigned char buffer[8192];
    long long bytes = 0;
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes += static_cast<long long>(got);
    return bytes / static_cast<long long>(size);
}

// Reads count coefficients into table; a file that ends early leaves zeros.
void ReadCoefficients(FILE* f, int32_t format, double* table, long long count) {
    long long i = 0;
    for (; i < count; ++i)
        if (!ReadCoefficient(f, format, &table[i])) break;
    for (; i < count; ++i) table[i] = 0.0;
}

void SkipCoefficients(FILE* f, int32_t format, long long count) {
    if (count <= 0) return;
    if (format == 0) {
        double v;
        for (long long i = 0; i < count; ++i)
            if (!ReadCoefficient(f, format, &v)) return;
        return;
    }
    std::fseek(f, static_cast<long>(count * static_cast<long long>(ItemSize(format))), SEEK_CUR);
}

bool IsGaussian(int32_t type) { return type == FILTER_GAUSS || type == FILTER_GAUSS2; }

// The unwindowed pulse of the reference carrier, one "%f\n" line per entry.
void WritePulseFile(const double* row, int32_t M) {
    if (!filter_dat_path[0]) return;
    static SafeFile file;
    if (OpenSafeFile(&file, filter_dat_path) != 0) {
        ReportMessage("", (std::string("File Opening Error (12)\n") + file.problem).c_str());
        filter_dat_failed = 1;
        return;
    }
    char line[64];
    for (int32_t i = 0; i < M; ++i) {
        int n = std::snprintf(line, sizeof line, "%f\n", row[i]);
        WriteSafeFile(&file, line, n);
    }
    if (CommitSafeFile(&file) != 0) {
        ReportMessage("", (std::string("File Writing Error (12)\n") + file.problem).c_str());
        filter_dat_failed = 1;
    }
}

}  // namespace

int32_t GaussMinLength(int32_t type, float bt) {
    if (!IsGaussian(type) || !(bt > 0.0f) || !std::isfinite(bt)) return 0;
    const float sps = static_cast<float>(POINTS_PER_SYMBOL);
    const int32_t k = type == FILTER_GAUSS2 ? static_cast<int32_t>(sps / 2.0) : 0;
    // Half-width of the surviving entries, H - 3 symbols = P L / 2 - 5 P / 2,
    // at the longest filter.
    const int32_t edge = 3 * POINTS_PER_SYMBOL - HALF_SYMBOL_POINTS;
    const int32_t widest = HALF_SYMBOL_POINTS * MAX_FILTER_LENGTH - edge;
    const double sigma = 0.31 * sps / bt / (2.0 * std::sqrt(2.0 * std::log(2.0)));
    // Within 3 sigma lies only 99.7 % of a Gaussian.
    if (3.0 * sigma > widest + k) return 0;
    // Entries e(t) of the design before normalisation (symmetric in t), out to
    // where the Gaussian is far below float resolution.
    const int32_t end = widest + k + static_cast<int32_t>(std::ceil(14.0 * sigma)) + 1;
    std::vector<double> g(static_cast<size_t>(end + k + 1)), e(static_cast<size_t>(end + 1));
    for (int32_t t = 0; t <= end + k; ++t) g[t] = Gauss(static_cast<float>(t), sps, bt);
    for (int32_t t = 0; t <= end; ++t) {
        double sum = 0.0;
        for (int32_t j = -k; j <= k; ++j) sum += g[std::abs(t + j)];
        e[t] = sum;
    }
    // area[w]: sum of the entries |t| <= w.
    std::vector<double> area(static_cast<size_t>(end + 1));
    area[0] = e[0];
    for (int32_t t = 1; t <= end; ++t) area[t] = area[t - 1] + 2.0 * e[t];
    auto norm = [&](int32_t w) {
        constexpr int32_t P = POINTS_PER_SYMBOL;
        return static_cast<double>(static_cast<float>(e[0] + (w >= P ? 2.0 * e[P] : 0.0) +
                                                      (w >= 2 * P ? 4.0 * e[2 * P] : 0.0)));
    };
    const double whole = area[end], whole_gain = whole / norm(end);
    auto holds = [&](int32_t L) {
        const int32_t w = HALF_SYMBOL_POINTS * L - edge;
        if (w < 0) return false;
        const double a = area[w], n = norm(w);
        return a >= 0.999 * whole && n > 0.0 && std::fabs(a / n / whole_gain - 1.0) <= 0.001;
    };
    // The shortest odd length from which every longer one holds the pulse.
    int32_t shortest = 0;
    for (int32_t L = MAX_FILTER_LENGTH - (MAX_FILTER_LENGTH % 2 == 0 ? 1 : 0); L >= 1; L -= 2) {
        if (!holds(L)) break;
        shortest = L;
    }
    return shortest;
}

void ResetFIR() {
    for (auto& row : FIR) std::fill(std::begin(row), std::end(row), 0.0);
    filter_file_bad_token = 0;
}

float RsCos(float t, float T, float a) {
    if (t == 0.0f) return 1.0f;
    float x = PI * t / T;
    float s = static_cast<float>(std::sin(static_cast<double>(x)) / x);
    float d = 1.0f - 4.0f * a * a * t * t / (T * T);
    // At t = T/(2a) the expression is 0/0; its limit is sinc * pi/4.
    if (d > -1e-6 && d < 1e-6) return static_cast<float>(s * PI / 4.0);
    return static_cast<float>(std::cos(static_cast<double>(PI * a * t / T)) * s / d);
}

void RaisedCos(double* table, float sps, float alpha, int32_t L) {
    if (!ValidLength(L)) return;
    int32_t H = PulseCentre(L);
    for (int32_t t = -H; t <= H; ++t) table[t + H] = RsCos(static_cast<float>(t), sps, alpha);
}

double SqrtRsCos(float t, float T, float a) {
    double pi = PI;
    double alpha = a;
    if (t == 0.0f) return (1.0 - alpha) + 4.0 * alpha / pi;
    // At |t| = T/(4a) the expression is 0/0; this is its limit.
    if (std::fabs(std::fabs(static_cast<double>(t)) - T / (4.0 * alpha)) < 1e-5)
        return (alpha / std::pow(2.0, 0.5)) * ((1.0 + 2.0 / pi) * std::sin(pi / (4.0 * alpha)) +
                                               (1.0 - 2.0 / pi) * std::cos(pi / (4.0 * alpha)));
    double r = static_cast<double>(t) / T;
    return (std::sin(pi * (1.0 - alpha) * r) + 4.0 * alpha * r * std::cos(pi * (1.0 + alpha) * r)) /
           ((pi * r) * (1.0 - std::pow(4.0 * alpha * r, 2.0)));
}

void SqrtRaisedCos(double* table, float sps, float alpha, int32_t L) {
    if (!ValidLength(L)) return;
    int32_t H = PulseCentre(L);
    for (int32_t t = -H; t <= H; ++t) table[t + H] = SqrtRsCos(static_cast<float>(t), sps, alpha);
}

float Gauss(float t, float T, float BT) {
    float w = static_cast<float>(0.31 * T / BT);
    float sigma = static_cast<float>(w / (2.0 * std::pow(2.0 * std::log(2.0), 0.5)));
    return static_cast<float>(std::exp(-std::pow(t, 2.0) / (2.0 * std::pow(sigma, 2.0))));
}

void GaussFilter(double* table, float sps, float bt, int32_t L) { GaussDesign(table, sps, bt, L, 0); }

void GaussFilter2(double* table, float sps, float bt, int32_t L) {
    GaussDesign(table, sps, bt, L, static_cast<int32_t>(sps / 2.0));
}

void GaussFilter3(double* table, float sps, float param, int32_t L) {
    if (!ValidLength(L)) return;
    int32_t H = PulseCentre(L);
    for (int32_t t = -H; t <= H; ++t) {
        double x = static_cast<double>(t) / sps;
        table[t + H] = std::exp(-1.045 * std::pow(x, 2.0) - 0.218 * std::pow(x, 4.0));
    }
}

void Triang(double* table, float sps, int32_t L) {
    if (!ValidLength(L)) return;
    int32_t H = PulseCentre(L);
    std::fill(table, table + 2 * H + 1, 0.0);
    int32_t k = static_cast<int32_t>(sps);
    if (k < 1) {
        table[H] = 1.0;
        return;
    }
    for (int32_t t = -k; t <= k; ++t)
        if (H + t >= 0 && H + t <= 2 * H) table[H + t] = 1.0 - std::fabs(static_cast<double>(t) / k);
}

void ButterFilter(double* table, float sps, float fc, int32_t order, int32_t L) {
    if (!ValidLength(L)) return;
    int32_t M = PulseEntries(L);
    int32_t k = static_cast<int32_t>(sps / 2.0);
    float peak = 0.0f;
    int32_t p = 1;

    std::fill(table, table + M, 0.0);
    PutRectangle(table, M, HALF_SYMBOL_POINTS * L, k);
    Bw_LPF(table, M, POINTS_PER_SYMBOL, fc, order, table);
    for (int32_t i = 0; i < M; ++i) {
        if (table[i] > peak) {
            peak = static_cast<float>(table[i]);
            p = i;
        }
    }
    // Move the rectangle back by the filter's delay; with a long delay on a short
    // table its start falls before the row and is cut off.
    std::fill(table, table + M, 0.0);
    PutRectangle(table, M, POINTS_PER_SYMBOL * L - p, k);
    Bw_LPF(table, M, POINTS_PER_SYMBOL, fc, order, table);
}

int32_t FileFilter(double* table, float sps, int32_t L, int32_t format, const char* path) {
    filter_file_bad_token = 0;
    if (!ValidLength(L))
        return CompileError("Filter file %s: the filter length must be 1 to %d symbols, not %d", path, MAX_FILTER_LENGTH, L);
    FILE* f = OpenTableFile(path, "File Opening Error (16)");
    if (!f) return -1;
    long long N = CountCoefficients(f, format);
    std::rewind(f);
    long long M = PulseEntries(L);
    if (N > M) {
        SkipCoefficients(f, format, (N - M) / 2);
        ReadCoefficients(f, format, table, M);
    } else {
        long long q = (M - N) / 2;
        std::fill(table, table + q, 0.0);
        ReadCoefficients(f, format, table + q, N);
        std::fill(table + q + N, table + M, 0.0);
    }
    std::fclose(f);
    // A pulse needs coefficients, and each of them a finite level (an unknown
    // format is refused with the table's codes, before the compile gets here).
    if (N == 0 && (format == 0 || ItemSize(format) > 0)) {
        return CompileError("Filter file %s%s", path,
                            filter_file_bad_token == 1 ? ": entry 1 is not a number; the file holds no coefficients"
                                                       : " holds no coefficients");
    }
    const long long used = N < M ? N : M;
    const long long skipped = N > M ? (N - M) / 2 : 0;
    const double* start = N > M ? table : table + (M - N) / 2;
    for (long long k = 0; k < used; ++k) {
        const char* why = nullptr;
        if (CheckFileLevel(start[k], &why) != 0)
            return CompileError("Filter file %s: entry %lld %s", path, skipped + k + 1, why);
    }
    return 0;
}

int CheckFilterLength(int32_t carrier, int32_t filter_length) {
    if (ValidLength(filter_length)) return 0;
    return CompileError("Carrier %d: the filter length must be 1 to %d symbols, not %d", carrier + 1,
                        MAX_FILTER_LENGTH, filter_length);
}

void ApplyWindow(int32_t carrier, int32_t filter_length) {
    if (carrier < 0 || carrier >= MAX_CARRIERS || !ValidLength(filter_length)) return;
    if (WindowRoutine window = WindowDesign(signals[carrier].window_type))
        window(FIR[carrier], PulseEntries(filter_length));
}

namespace {

// The design of each filter code into a row, at sps table points per symbol
// of the pulse's time scale. 0, or -1 after a message.
typedef int (*FilterRoutine)(double* row, const Carrier& c, float sps, int32_t L);

int RaisedCosDesign(double* row, const Carrier& c, float sps, int32_t L) { RaisedCos(row, sps, c.filter_param, L); return 0; }
int SqrtRaisedCosDesign(double* row, const Carrier& c, float sps, int32_t L) { SqrtRaisedCos(row, sps, c.filter_param, L); return 0; }
int GaussDesign1(double* row, const Carrier& c, float sps, int32_t L) { GaussFilter(row, sps, c.filter_param, L); return 0; }
int GaussDesign2(double* row, const Carrier& c, float sps, int32_t L) { GaussFilter2(row, sps, c.filter_param, L); return 0; }
int TriangleDesign(double* row, const Carrier&, float sps, int32_t L) { Triang(row, sps, L); return 0; }
int EdgeDesign(double* row, const Carrier& c, float sps, int32_t L) { GaussFilter3(row, sps, c.filter_param, L); return 0; }
int ButterDesign(double* row, const Carrier& c, float sps, int32_t L) {
    ButterFilter(row, sps, c.filter_param, c.filter_type - FILTER_BUTTER1 + 1, L);
    return 0;
}
int FileDesign(double* row, const Carrier& c, float sps, int32_t L) {
    std::string path = FieldText(c.filter_file);
    if (FileFilter(row, sps, L, c.filter_file_format, path.c_str()) == -1) return -1;
    if (filter_file_bad_token > 0) {
        std::string text = "Filter file " + path + ": entry " + std::to_string(filter_file_bad_token) +
                           " is not a number; only the " + std::to_string(filter_file_bad_token - 1) +
                           " numbers before it are used";
        ReportMessage("", text.c_str());
    }
    return 0;
}

struct FilterDesign {
    FilterRoutine routine;   // nullptr: no pulse (FILTER_NONE)
    int32_t half_band;       // at twice the time scale for a quarter-rate shifted carrier
    int32_t writes_pulse;    // the reference carrier's pulse goes to FILTER.DAT
};

// Indexed by filter code (names: FilterTableName, FilterDisplayName, CodeName).
const FilterDesign filter_designs[FILTER_CODES] = {
    {nullptr, 0, 0},             {RaisedCosDesign, 1, 1}, {GaussDesign1, 0, 1}, {SqrtRaisedCosDesign, 1, 1},
    {GaussDesign2, 0, 1},        {ButterDesign, 0, 1},    {ButterDesign, 0, 1}, {ButterDesign, 0, 1},
    {ButterDesign, 0, 1},        {ButterDesign, 0, 1},    {ButterDesign, 0, 1}, {ButterDesign, 0, 1},
    {ButterDesign, 0, 1},        {ButterDesign, 0, 1},    {ButterDesign, 0, 1}, {TriangleDesign, 0, 1},
    {FileDesign, 0, 0},          {EdgeDesign, 0, 1},
};

// The Gaussian designs leave the outer three symbols at 0 on each side: a
// short one loses part of its pulse, and a GMSK or FSK carrier its deviation.
int CheckGaussianLength(int32_t carrier, const Carrier& c) {
    const int32_t type = c.filter_type;
    char bt[32];
    std::snprintf(bt, sizeof bt, "%g", static_cast<double>(c.filter_param));
    if (!(c.filter_param > 0.0f) || !std::isfinite(c.filter_param))
        return CompileError("Carrier %d: a %s filter needs a BT above 0, not %s", carrier + 1, FilterDisplayName(type), bt);
    int32_t shortest = GaussMinLength(type, c.filter_param);
    if (shortest == 0)
        return CompileError("Carrier %d: no filter length up to %d symbols holds the whole pulse of a %s filter of BT %s",
                            carrier + 1, MAX_FILTER_LENGTH, FilterDisplayName(type), bt);
    if (c.filter_length < shortest)
        return CompileError("Carrier %d: a %s filter of BT %s needs a filter length of at least %d symbols to hold "
                            "its whole pulse, not %d",
                            carrier + 1, FilterDisplayName(type), bt, shortest, c.filter_length);
    return 0;
}

}  // namespace

int32_t BuildFilter(int32_t carrier) {
    if (carrier < 0 || carrier >= MAX_CARRIERS) return CompileError("No carrier %d in the table", carrier + 1);
    const Carrier& c = signals[carrier];
    const ModulationTraits& traits = ModTraits(c.modulation);
    const int32_t type = c.filter_type;
    // The tones take no pulse; an unused modulation code is refused by the plan.
    if ((!traits.filtered && traits.kind != MOD_KIND_UNUSED) || type == FILTER_NONE) return 0;
    if (type < 0 || type >= FILTER_CODES) return CompileError("Carrier %d: unknown filter type %d", carrier + 1, type);
    const int32_t L = c.filter_length;
    if (CheckFilterLength(carrier, L) != 0) return -1;
    if (IsGaussian(type) && CheckGaussianLength(carrier, c) != 0) return -1;

    double* row = FIR[carrier];
    // Whatever a longer filter left behind must not show past this pulse.
    std::fill(std::begin(FIR[carrier]), std::end(FIR[carrier]), 0.0);
    const FilterDesign& design = filter_designs[type];
    const float sps = static_cast<float>(design.half_band && traits.quarter_shift ? 2 * POINTS_PER_SYMBOL : POINTS_PER_SYMBOL);
    if (design.routine(row, c, sps, L) != 0) return -1;
    if (!design.writes_pulse || globals.reference_carrier < 1 || carrier != globals.reference_carrier - 1) return 0;
    WritePulseFile(row, PulseEntries(L));
    return 0;
}
