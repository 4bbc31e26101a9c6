#include "editors/carrieredit.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "shell/hooks.h"
#include "shell/modtraits.h"

namespace {

enum {
    GROUP_NONE, GROUP_ANALOG, GROUP_FILE1, GROUP_FILE2, GROUP_FILE3, GROUP_FSK, GROUP_GMSK,
    GROUP_IS95DL, GROUP_3GPPDL, GROUP_3GPPSC, GROUP_OTHER, GROUP_COUNT,
};

// One row per role, one column per group in the order above:
// NONE, AM/FM/PM, FILE 1, FILE 2, FILE 3, FSK, GMSK, IS95DL, 3GPPDL, 3GPPSC, others.
// '+' enables, '-' dims, '.' leaves the control as it is.
struct RuleRow {
    int role;
    const char* columns;
};
constexpr RuleRow modulation_rules[] = {
    {ROLE_FREQUENCY,        "+++++++++++"},
    {ROLE_AMPLITUDE,        "+++++++++++"},
    {ROLE_PHASE,            "+++++++++++"},
    {ROLE_SYMBOL_RATE,      "-++++++++++"},
    {ROLE_DEVIATION,        "-----+-----"},
    {ROLE_FILTER,           "---+++-++++"},
    {ROLE_FILTER_PARAM,     "-+-++++++++"},
    {ROLE_FILTER_LENGTH,    "--+++++++++"},
    {ROLE_WINDOW,           "--+++++++++"},
    {ROLE_DATA_SOURCE,      "----+++++++"},
    {ROLE_PRBS_BUTTON,      "----+++++++"},
    {ROLE_IQ_FILE,          "--++-------"},
    {ROLE_IQ_BROWSE,        "--++-------"},
    {ROLE_IQ_ENCODING,      "--++-------"},
    {ROLE_IQ_LAYOUT,        "--++-------"},
    {ROLE_MAP_FILE,         "..--+..----"},
    {ROLE_MAP_EDITOR,       "..--+..----"},
    {ROLE_CHANNEL_CODE,     "-------++--"},
    {ROLE_SCRAMBLING_GROUP, "--------++-"},
    {ROLE_CODE_IN_GROUP,    "--------++-"},
    {ROLE_SECONDARY_CODE,   "--------++-"},
    {ROLE_SPREADING_FACTOR, "--------+--"},
    {ROLE_PSCH_LEVEL,       "---------+-"},
    {ROLE_SSCH_LEVEL,       "---------+-"},
};

// The assistant's columns where they differ: its symbol rate stays as it is
// for the file modulations, and its 3GPPSC uses the scrambling-code group only.
constexpr RuleRow assistant_rules[] = {
    {ROLE_SYMBOL_RATE,      "-+...++++++"},
    {ROLE_CODE_IN_GROUP,    "--------+--"},
    {ROLE_SECONDARY_CODE,   "--------+--"},
};

RuleAction ActionOf(char c) { return c == '+' ? RULE_ENABLE : c == '-' ? RULE_DIM : RULE_LEAVE; }

bool IsFileModulation(int m) { return ModKind(m) == MOD_KIND_IQ_FILE; }

// Length of a form text and whether it fits a field of `size` bytes.
bool Fits(const char* text, std::size_t size, const char* what, std::string* problem) {
    std::size_t n = strnlen(text, FORM_TEXT_SIZE);
    if (n < size) return true;
    if (problem)
        *problem = std::string("The ") + what + " has " + std::to_string(n) + " characters; the record holds " +
                   std::to_string(size - 1) + ":\n" + std::string(text, n);
    return false;
}

template <std::size_t N>
void CopyForm(char (&out)[FORM_TEXT_SIZE], const char (&field)[N]) {
    std::size_t n = strnlen(field, N);
    std::memcpy(out, field, n);
    out[n] = 0;
}

float Scaled(double value, double factor) { return static_cast<float>(value * factor); }

}  // namespace

int ModulationGroup(int m) {
    const ModulationTraits& t = ModTraits(m);
    switch (t.kind) {
        case MOD_KIND_TONE: return GROUP_NONE;
        case MOD_KIND_ANALOG: return GROUP_ANALOG;
        case MOD_KIND_IQ_FILE: return m == MOD_FILE1 ? GROUP_FILE1 : GROUP_FILE2;
        case MOD_KIND_MAP: return GROUP_FILE3;
        case MOD_KIND_FM: return t.fsk_levels > 0 ? GROUP_FSK : GROUP_GMSK;
        case MOD_KIND_CDMA:
            return t.family == FAMILY_IS95 ? GROUP_IS95DL : m == MOD_3GPPDL ? GROUP_3GPPDL : GROUP_3GPPSC;
        default: return GROUP_OTHER;
    }
}

void ModulationRules(int modulation, int panel, RuleAction actions[ROLE_COUNT], RulePreset* preset) {
    const int group = ModulationGroup(modulation);
    for (int r = 0; r < ROLE_COUNT; ++r) actions[r] = RULE_LEAVE;
    for (const RuleRow& row : modulation_rules) actions[row.role] = ActionOf(row.columns[group]);
    if (panel == RULES_ASSISTANT)
        for (const RuleRow& row : assistant_rules) actions[row.role] = ActionOf(row.columns[group]);
    if (preset) {
        preset->set_filter = group == GROUP_FILE1 ? FILTER_RCOS : group == GROUP_GMSK ? FILTER_GAUSS2 : -1;
        preset->set_filter_param = group == GROUP_FILE1;
    }
}

void FilterRules(int filter, RuleAction actions[ROLE_COUNT]) {
    RuleAction a = filter == FILTER_FILE ? RULE_ENABLE : RULE_DIM;
    actions[ROLE_FILTER_FILE] = actions[ROLE_FILTER_BROWSE] = actions[ROLE_FILTER_FORMAT] = a;
}

void DataSourceRules(int selector_dimmed, int data_source, RuleAction actions[ROLE_COUNT]) {
    RuleAction file = RULE_DIM, prbs = RULE_DIM;
    if (!selector_dimmed) {
        if (data_source == DATA_PRBS) prbs = RULE_ENABLE;
        if (data_source == DATA_FILE) file = RULE_ENABLE;
    }
    actions[ROLE_DATA_FILE] = actions[ROLE_DATA_BROWSE] = actions[ROLE_DATA_OFFSET] = actions[ROLE_DATA_NEGATIVE] =
        file;
    actions[ROLE_PRBS_BUTTON] = prbs;
}

// ---------------------------------------------------------------------------

void FormOfCarrier(const Carrier& c, CarrierForm* f) {
    std::memset(f, 0, sizeof *f);
    f->frequency_mhz = c.frequency_hz / 1000000.0;
    f->amplitude = c.amplitude;
    f->phase_deg = c.phase_deg;
    f->symbol_rate_m = c.symbol_rate / 1000000.0;
    f->deviation_khz = c.deviation_hz / 1000.0;
    f->filter_param = c.filter_param;
    f->modulation = c.modulation;
    f->filter = c.filter_type;
    f->filter_length = c.filter_length;
    f->window = c.window_type;
    f->data_source = c.data_source;
    // The magnitude of INT32_MIN does not fit an int: show the largest one.
    f->data_offset = c.data_offset == INT32_MIN ? INT32_MAX : std::abs(c.data_offset);
    f->data_negative = c.data_offset < 0;
    f->iq_encoding = c.iq_file_encoding;
    f->iq_layout = c.iq_file_layout;
    f->filter_format = c.filter_file_format;
    f->channel_code = c.channel_code;
    f->scrambling_group = c.scrambling_code_group;
    f->spreading_factor = c.spreading_factor;
    f->code_in_group = c.scrambling_code_in_group;
    f->secondary_code = c.secondary_scrambling_code;
    f->psch_db = c.psch_level_db;
    f->ssch_db = c.ssch_level_db;
    if (IsFileModulation(c.modulation)) CopyForm(f->iq_file, c.mod_file);
    if (ModKind(c.modulation) == MOD_KIND_MAP) CopyForm(f->map_file, c.mod_file);
    CopyForm(f->filter_file, c.filter_file);
    CopyForm(f->data_file, c.data_file);
}

bool FormFits(const CarrierForm& f, std::string* problem) {
    const std::size_t size = sizeof(Carrier{}.mod_file);
    if (IsFileModulation(f.modulation) && !Fits(f.iq_file, size, "I/Q file name", problem)) return false;
    if (ModKind(f.modulation) == MOD_KIND_MAP && !Fits(f.map_file, size, "map file name", problem)) return false;
    return Fits(f.filter_file, sizeof(Carrier{}.filter_file), "filter file name", problem) &&
           Fits(f.data_file, sizeof(Carrier{}.data_file), "data file name", problem);
}

int StoredFilter(int modulation, int filter) {
    // GMSK's frequency pulse is always the Gaussian of one symbol; the tones take no pulse.
    const ModulationTraits& t = ModTraits(modulation);
    if (t.kind == MOD_KIND_FM && t.fsk_levels == 0) return FILTER_GAUSS2;
    if (!t.filtered && t.kind != MOD_KIND_UNUSED) return FILTER_NONE;
    return filter;
}

void StoreForm(const CarrierForm& f, Carrier* c) {
    c->frequency_hz = Scaled(f.frequency_mhz, 1000000.0);
    c->amplitude = static_cast<float>(f.amplitude);
    c->phase_deg = static_cast<float>(f.phase_deg);
    c->symbol_rate = Scaled(f.symbol_rate_m, 1000000.0);
    c->modulation = f.modulation;
    c->filter_type = StoredFilter(f.modulation, f.filter);
    c->filter_param = static_cast<float>(f.filter_param);
    c->deviation_hz = Scaled(f.deviation_khz, 1000.0);
    c->filter_length = f.filter_length % 2 == 0 ? f.filter_length + 1 : f.filter_length;
    c->window_type = f.window;
    c->data_source = f.data_source;
    c->data_offset = f.data_negative ? -f.data_offset : f.data_offset;
    c->iq_file_encoding = f.iq_encoding;
    c->iq_file_layout = f.iq_layout;
    c->filter_file_format = f.filter_format;
    c->channel_code = f.channel_code;
    c->scrambling_code_group = f.scrambling_group;
    c->spreading_factor = f.spreading_factor;
    c->scrambling_code_in_group = f.code_in_group;
    c->secondary_scrambling_code = f.secondary_code;
    c->psch_level_db = static_cast<float>(f.psch_db);
    c->ssch_level_db = static_cast<float>(f.ssch_db);
    if (IsFileModulation(f.modulation)) SetField(c->mod_file, f.iq_file);
    if (ModKind(f.modulation) == MOD_KIND_MAP) SetField(c->mod_file, f.map_file);
    SetField(c->filter_file, f.filter_file);
    SetField(c->data_file, f.data_file);
}

// ---------------------------------------------------------------------------

int BeginAdd() {
    const int count = globals.carrier_count;
    if (count < 0 || count >= MAX_CARRIERS) {
        ReportMessage("", "The table is full: it holds 100 carriers. Delete one before adding another.");
        return -1;
    }
    globals.current_carrier = count;
    Carrier& c = signals[count];
    c.prbs_poly_i = c.prbs_poly_q = 3;
    c.prbs_seed_i = c.prbs_seed_q = 0xFEDCBA98u;
    c.prbs_iq_equal = 1;
    return 0;
}

void FinishStore() {
    if (globals.current_carrier == globals.carrier_count && globals.carrier_count < MAX_CARRIERS) {
        ++globals.carrier_count;
        ++globals.current_carrier;
        if (globals.current_carrier < MAX_CARRIERS) signals[globals.current_carrier].frequency_hz = -1.0f;
    }
    if (globals.reference_carrier == 0) globals.reference_carrier = 1;
}

void DeleteCarrier(int index) {
    if (index < 0 || index >= globals.carrier_count || index >= MAX_CARRIERS) return;
    globals.current_carrier = index;
    if (globals.reference_carrier > index) --globals.reference_carrier;
    // Move the records behind up to the terminator; the last record of a full
    // table has none behind it and becomes the terminator.
    for (int i = index; i < MAX_CARRIERS && signals[i].frequency_hz >= 0; ++i) {
        if (i + 1 < MAX_CARRIERS) {
            signals[i] = signals[i + 1];
        } else {
            std::memset(&signals[i], 0, sizeof signals[i]);
            signals[i].frequency_hz = -1.0f;
        }
    }
    if (globals.reference_carrier < 1) globals.reference_carrier = 1;
    --globals.carrier_count;
    if (globals.carrier_count == 0) globals.reference_carrier = 0;
}

void ChooseReference(int index) {
    if (index < 0 || index >= globals.carrier_count || index >= MAX_CARRIERS) return;
    globals.current_carrier = index;
    globals.reference_carrier = index + 1;
}
