// Storage of the shared records and the name tables of the filter codes (the
// modulation names are in shell/modtraits.h).
#include "shell/uldo.h"

#include "shell/modtraits.h"

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

const char* ModulationTableName(int code) { return ModTraits(code).table_name; }

const char* ModulationDisplayName(int code) { return ModTraits(code).display_name; }

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
