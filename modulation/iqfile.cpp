#include <cstdio>
#include <string>

#include "shell/levels.h"
#include "modulation/mapper.h"
#include "shell/hooks.h"

namespace {

// One binary item, rewinding once at the end of the file (a partial item
// counts as the end). The value is kept when nothing can be read.
template <typename T>
void ReadItem(std::FILE* f, float* value) {
    T item;
    if (std::fread(&item, sizeof item, 1, f) != 1) {
        std::rewind(f);
        if (std::fread(&item, sizeof item, 1, f) != 1) return;
    }
    *value = static_cast<float>(item);
}

void ReadText(std::FILE* f, float* value) {
    float v;
    int r = std::fscanf(f, "%f", &v);
    if (r == EOF) {
        std::rewind(f);
        r = std::fscanf(f, "%f", &v);
    }
    if (r == 1) *value = v;
}

void ReadTextPair(std::FILE* f, float* first, float* second) {
    float a, b;
    int r = std::fscanf(f, "%f %f", &a, &b);
    if (r == EOF) {
        std::rewind(f);
        r = std::fscanf(f, "%f %f", &a, &b);
    }
    if (r >= 1) *first = a;
    if (r == 2) *second = b;
}

void ReadValue(std::FILE* f, int encoding, float* value) {
    if (encoding == 1)
        ReadItem<float>(f, value);
    else if (encoding == 2)
        ReadItem<double>(f, value);
    else
        ReadText(f, value);
}

}  // namespace

void iqfile(std::FILE* file, int encoding, int layout, float* I, float* Q) {
    if (!file || !I || !Q) return;
    // Unknown settings from a table file read as text and as I, Q pairs.
    if (encoding != 1 && encoding != 2) encoding = 0;
    if (layout < 0 || layout > 3) layout = 0;

    if (layout >= 2) {
        float* value = layout == 2 ? I : Q;
        *(layout == 2 ? Q : I) = 0.0f;
        ReadValue(file, encoding, value);
        return;
    }
    float* first = layout == 0 ? I : Q;
    float* second = layout == 0 ? Q : I;
    if (encoding == 0) {
        ReadTextPair(file, first, second);
    } else {
        ReadValue(file, encoding, first);
        ReadValue(file, encoding, second);
    }
}

int CheckIqFile(std::FILE* file, int carrier) {
    if (!file || carrier < 0 || carrier >= MAX_CARRIERS) return -1;
    const Carrier& c = signals[carrier];
    int encoding = c.iq_file_encoding == 1 || c.iq_file_encoding == 2 ? c.iq_file_encoding : 0;
    long long index = 0;
    const char* why = nullptr;
    for (;;) {
        double value;
        if (encoding == 1) {
            float item;
            if (std::fread(&item, sizeof item, 1, file) != 1) break;
            value = item;
        } else if (encoding == 2) {
            if (std::fread(&value, sizeof value, 1, file) != 1) break;
        } else {
            float item;
            if (std::fscanf(file, "%f", &item) != 1) break;  // reading stops where iqfile's would
            value = item;
        }
        ++index;
        if (CheckFileLevel(value, &why) != 0) break;
    }
    std::rewind(file);
    if (!why) return 0;
    std::string text = "Carrier " + std::to_string(carrier + 1) + ": I/Q file " + FieldText(c.mod_file) + ": value " +
                       std::to_string(index) + " " + why;
    return CompileError("%s", text.c_str());
}
