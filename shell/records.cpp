// Storage of the shared records and the name tables of the enumerations.
#include "shell/uldo.h"

#include <cmath>

Carrier signals[MAX_CARRIERS];
char comment[COMMENT_SIZE];
GlobalSettings globals;
SymbolMap map;
MapEditorState map_editor;
float PI;

int handle, handle0, handle2, handle3, handle5, handle6, handle7, handle8, handle9,
    handle10, handle11, handle12, handle13, handle14, handle16, handle17,
    handle18, handle19, handle20, handle21, handle22, handle23, handle24, handle25,
    handle26, handle27, handle28, handle29, handle30;
int brhandle;

namespace {

struct ModulationNames {
    const char* table;
    const char* display;
};

// Indexed by modulation code; codes 15, 16 and 34 have no name.
constexpr ModulationNames modulation_names[MODULATION_CODES] = {
    {"NONE  ", "UNMOD"},     {"QPSK  ", "QPSK"},      {"QAM16 ", "QAM-16"},
    {"QAM32 ", "QAM-32"},    {"QAM64 ", "QAM-64"},    {"QAM256", "QAM-256"},
    {"DQPSK ", "PI/4-DQPSK"}, {"OQPSK ", "OQPSK"},    {"CQPSK ", "CQPSK"},
    {"QAM128", "QAM-128"},   {"8-PSK ", "8-PSK"},     {"BPSK  ", "BPSK"},
    {"DVBC16", "DVBC(16)"},  {"DVBC32", "DVBC(32)"},  {"DVBC64", "DVBC(64)"},
    {nullptr, nullptr},      {nullptr, nullptr},      {"AM    ", "AM"},
    {"FM    ", "FM"},        {"PM    ", "PM"},        {"GMSK  ", "GMSK"},
    {"8VSB  ", "8VSB"},      {"16VSB ", "16VSB"},     {"CAP-16", "CAP-16"},
    {"FILE 1", "FILE 1"},    {"FILE 2", "FILE 2"},    {"O-8PSK", "O-8PSK"},
    {"DVB256", "DVBC(256)"}, {"SSB   ", "SSB"},       {"2-FSK ", "2-FSK"},
    {"4-FSK ", "4-FSK"},     {"8-FSK ", "8-FSK"},     {"16-FSK", "16-FSK"},
    {"32-FSK", "32-FSK"},    {nullptr, nullptr},      {"FILE 3", "FILE 3"},
    {"IS95DL", "IS95(DL)"},  {"3GPPDL", "3GPP(DL)"},  {"3GPPSC", "3GPP(SC)"},
    {"QAM1K ", "QAM-1024"},
};

const char* filter_table_names[FILTER_CODES] = {
    "  NONE    ", " RS.COS   ", " GAUSSIAN ", "SQR(RCOS) ", "GAUSSIAN-2",
    "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH",
    "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH",
    "TRIANGLE  ", "FILE      ", "EDGE FILT.",
};

const char* filter_display_names[FILTER_CODES] = {
    "UNFILTERED", "R.COS.",     "GAUSSIAN",   "SQRT(RCOS)", "GAUSSIAN-2",
    "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH",
    "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH", "BUTTERWRTH",
    "TRIANGLE",   "FILE",       "EDGE",
};

}  // namespace

const char* ModulationTableName(int code) {
    return code >= 0 && code < MODULATION_CODES ? modulation_names[code].table : nullptr;
}

const char* ModulationDisplayName(int code) {
    return code >= 0 && code < MODULATION_CODES ? modulation_names[code].display : nullptr;
}

const char* FilterTableName(int code) {
    return code >= 0 && code < FILTER_CODES ? filter_table_names[code] : nullptr;
}

const char* FilterDisplayName(int code) {
    return code >= 0 && code < FILTER_CODES ? filter_display_names[code] : nullptr;
}

void InitPI() { PI = static_cast<float>(std::acos(-1.0)); }

void ResetMapEditor() { map_editor = MapEditorState{}; }

void ResetRecords() {
    std::memset(signals, 0, sizeof signals);
    std::memset(comment, 0, sizeof comment);
    std::memset(&globals, 0, sizeof globals);
    std::memset(&map, 0, sizeof map);
    ResetMapEditor();
    signals[0].frequency_hz = -1.0f;
    InitPI();
}
