#include "shell/codes.h"

#include <cctype>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "shell/modtraits.h"

namespace {

struct CodeEntry {
    int code;
    const char* name;  // nullptr: a valid code without a name
};

// The modulation codes and names come from the traits table, in code order.
struct ModulationCodes {
    CodeEntry entries[MODULATION_CODES] = {};
    int count = 0;
    constexpr ModulationCodes() {
        for (const ModulationTraits& t : modulation_traits)
            if (t.kind != MOD_KIND_UNUSED) entries[count++] = {t.code, t.code_name};
    }
};
constexpr ModulationCodes modulation_codes;

const CodeEntry filter_codes[] = {
    {0, "NONE"},     {1, "RCOS"},     {2, "GAUSS"},    {3, "SQRT_RCOS"}, {4, "GAUSS2"},
    {5, "BUTTER1"},  {6, "BUTTER2"},  {7, "BUTTER3"},  {8, "BUTTER4"},   {9, "BUTTER5"},
    {10, "BUTTER6"}, {11, "BUTTER7"}, {12, "BUTTER8"}, {13, "BUTTER9"},  {14, "BUTTER10"},
    {15, "TRIANGLE"}, {16, "FILE"},   {17, "EDGE"},
};
const CodeEntry window_codes[] = {
    {0, "NONE"},      {1, "TRIANGLE"},        {2, nullptr},           {3, "HANNING"},
    {4, "HAMMING"},   {5, "BLACKMAN"},        {6, "KAISER"},          {7, "BLACKMAN_HARRIS"},
    {8, "COSINE_TAPER"}, {9, "EXACT_BLACKMAN"}, {10, nullptr},        {11, "FLAT_TOP"},
    {12, nullptr},    {13, nullptr},          {14, "OWN"},
};
const CodeEntry data_source_codes[] = {{0, "PRBS"}, {1, "FILE"}, {2, "ZEROS"}, {3, "ONES"}};
const CodeEntry impairment_codes[] = {{0, "NONE"}, {1, "PHASE"}, {2, "IMBALANCE"}, {3, "FEEDTHROUGH"}};
const CodeEntry number_format_codes[] = {{0, "TEXT"}, {1, "FLOAT32"}, {2, "FLOAT64"}};
const CodeEntry iq_layout_codes[] = {{0, "IQ"}, {1, "QI"}, {2, "I_ONLY"}, {3, "Q_ONLY"}};
const CodeEntry instrument_type_codes[] = {
    {0, "WFM"},        {1, "CURVE"},      {2, "WFM_256"},     {3, "EMEMORY"},
    {4, "WFM_65536"},  {5, "PAT"},        {6, "PAT_256"},     {7, "TEXT"},
    {8, "TEXT_CRLF"},  {9, "TEXT_COMMA"}, {10, "TEXT_TAB"},
};
const CodeEntry destination_codes[] = {{0, "GPIB"}, {1, "FILE"}, {2, "GPIB_FILE"}, {3, "FTP"}};

struct CodeTable {
    const char* kind_name;
    const CodeEntry* entries;
    int count;
};

#define TABLE(name, entries) {name, entries, static_cast<int>(std::size(entries))}
const CodeTable code_tables[CODE_KINDS] = {
    {"", nullptr, 0},
    {"modulation", modulation_codes.entries, modulation_codes.count},
    TABLE("filter", filter_codes),
    TABLE("window", window_codes),
    TABLE("data source", data_source_codes),
    TABLE("impairment", impairment_codes),
    TABLE("I/Q file encoding", number_format_codes),
    TABLE("I/Q file layout", iq_layout_codes),
    TABLE("filter file format", number_format_codes),
    TABLE("instrument type", instrument_type_codes),
    TABLE("destination", destination_codes),
};
#undef TABLE

const CodeTable* TableOf(int kind) { return kind > CODE_NONE && kind < CODE_KINDS ? &code_tables[kind] : nullptr; }

// Upper case without the characters that names are written with in between.
std::string Folded(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '-' || c == '_' || c == ' ' || c == '.' || c == '(' || c == ')' || c == '/') continue;
        out += static_cast<char>(std::toupper(c));
    }
    return out;
}

bool Matches(const char* name, const std::string& folded) { return name && Folded(name) == folded; }

}  // namespace

const char* CodeKindArticle(int kind) {
    const char* name = CodeKindName(kind);
    return name[0] == 'i' || name[0] == 'I' ? "an" : "a";
}

const char* CodeKindName(int kind) {
    const CodeTable* t = TableOf(kind);
    return t ? t->kind_name : "";
}

bool CodeValid(int kind, int code) {
    const CodeTable* t = TableOf(kind);
    if (!t) return false;
    for (int i = 0; i < t->count; ++i)
        if (t->entries[i].code == code) return true;
    return false;
}

const char* CodeName(int kind, int code) {
    const CodeTable* t = TableOf(kind);
    if (!t) return nullptr;
    for (int i = 0; i < t->count; ++i)
        if (t->entries[i].code == code) return t->entries[i].name;
    return nullptr;
}

int CodeOfName(int kind, const std::string& name) {
    const CodeTable* t = TableOf(kind);
    if (!t) return -1;
    const std::string folded = Folded(name);
    if (folded.empty()) return -1;
    for (int i = 0; i < t->count; ++i)
        if (Matches(t->entries[i].name, folded)) return t->entries[i].code;
    // The names the panels show.
    if (kind == CODE_MODULATION) {
        for (int code = 0; code < MODULATION_CODES; ++code)
            if (Matches(ModulationTableName(code), folded) || Matches(ModulationDisplayName(code), folded))
                return code;
        if (folded == "UNMODULATED") return MOD_NONE;
    }
    if (kind == CODE_FILTER) {
        if (folded == "BUTTERWRTH" || folded == "BUTTERWORTH" || folded == "BUTTER") return -2;
        for (int code = 0; code < FILTER_CODES; ++code)
            if (Matches(FilterTableName(code), folded) || Matches(FilterDisplayName(code), folded)) return code;
    }
    return -1;
}

std::string CodeNameList(int kind) {
    const CodeTable* t = TableOf(kind);
    std::string list;
    if (!t) return list;
    for (int i = 0; i < t->count; ++i) {
        if (!t->entries[i].name) continue;
        if (!list.empty()) list += ", ";
        list += t->entries[i].name;
    }
    return list;
}

std::string CodeFoldedNames(int kind) {
    const CodeTable* t = TableOf(kind);
    std::string list;
    auto add = [&list](const char* name) {
        if (!name) return;
        std::string folded = Folded(name);
        if (folded.empty() || folded == "BUTTERWRTH") return;
        std::string bar = "|" + list + "|";
        if (bar.find("|" + folded + "|") != std::string::npos) return;
        if (!list.empty()) list += "|";
        list += folded;
    };
    for (int i = 0; t && i < t->count; ++i) add(t->entries[i].name);
    if (kind == CODE_MODULATION) {
        for (int code = 0; code < MODULATION_CODES; ++code) {
            add(ModulationTableName(code));
            add(ModulationDisplayName(code));
        }
        add("UNMODULATED");
    }
    if (kind == CODE_FILTER) {
        for (int code = 0; code < FILTER_CODES; ++code) {
            add(FilterTableName(code));
            add(FilterDisplayName(code));
        }
    }
    return list;
}

int CodeValues(int kind, int* codes, int room) {
    const CodeTable* t = TableOf(kind);
    int n = 0;
    for (int i = 0; t && i < t->count && n < room; ++i) codes[n++] = t->entries[i].code;
    return n;
}

namespace {

std::string Problem(const char* owner, const char* field, int kind, int value) {
    std::string text = std::string(owner) + field + " " + std::to_string(value) + " is not " + CodeKindArticle(kind) + " " + CodeKindName(kind) +
                       " code; " + CodeKindName(kind) + " names: " + CodeNameList(kind);
    if (kind == CODE_WINDOW) text += " (codes 2, 10, 12 and 13 apply no window)";
    return text;
}

}  // namespace

std::string CarrierCodeProblem(const Carrier* carriers, int count) {
    struct Field {
        const char* name;
        std::size_t offset;
        int kind;
    };
    static const Field fields[] = {
        {"modulation", offsetof(Carrier, modulation), CODE_MODULATION},
        {"filter_type", offsetof(Carrier, filter_type), CODE_FILTER},
        {"window_type", offsetof(Carrier, window_type), CODE_WINDOW},
        {"data_source", offsetof(Carrier, data_source), CODE_DATA_SOURCE},
        {"impairment1_type", offsetof(Carrier, impairment1_type), CODE_IMPAIRMENT},
        {"impairment2_type", offsetof(Carrier, impairment2_type), CODE_IMPAIRMENT},
        {"impairment3_type", offsetof(Carrier, impairment3_type), CODE_IMPAIRMENT},
        {"iq_file_encoding", offsetof(Carrier, iq_file_encoding), CODE_IQ_ENCODING},
        {"iq_file_layout", offsetof(Carrier, iq_file_layout), CODE_IQ_LAYOUT},
        {"filter_file_format", offsetof(Carrier, filter_file_format), CODE_FILTER_FORMAT},
    };
    for (int i = 0; i < count && i < MAX_CARRIERS; ++i) {
        const auto* record = reinterpret_cast<const unsigned char*>(&carriers[i]);
        for (const Field& f : fields) {
            int32_t value;
            std::memcpy(&value, record + f.offset, sizeof value);
            if (!CodeValid(f.kind, value)) {
                std::string owner = "Carrier " + std::to_string(i + 1) + ": ";
                return Problem(owner.c_str(), f.name, f.kind, value);
            }
        }
    }
    return std::string();
}
