#include "shell/fileforms.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "shell/codes.h"
#include "shell/hooks.h"
#include "shell/jsonforms.h"
#include "shell/recordfiles.h"

namespace {

// Enough of a file to tell its kind: the largest binary image plus a margin,
// and any JSON table or setup (they stay far below this).
constexpr long MAX_RECORD_FILE = 16L << 20;

const char* ReadFileBytes(const char* path, std::string* bytes) {
    bytes->clear();
    // "-" is the standard input, for a table piped into uldoc.
    const bool input = path && std::strcmp(path, "-") == 0;
    std::FILE* f = input ? stdin : path && *path ? std::fopen(path, "rb") : nullptr;
    static std::string reason;
    if (!f) {
        reason = std::string("cannot be opened: ") + std::strerror(path && *path ? errno : ENOENT);
        return reason.c_str();
    }
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
        if (!input) std::fclose(f);
        reason = std::string("cannot be opened: ") + std::strerror(EISDIR);
        return reason.c_str();
    }
    // One allocation for a regular file; a pipe grows as it comes.
    if (S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= MAX_RECORD_FILE)
        bytes->reserve(static_cast<std::size_t>(st.st_size) + 1);
    char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes->append(chunk, got);
        if (static_cast<long>(bytes->size()) > MAX_RECORD_FILE) break;
    }
    bool failed = std::ferror(f) != 0;
    if (!input) std::fclose(f);
    if (failed) return "cannot be read";
    return nullptr;
}

void Report(const char* path, const std::string& text) {
    std::string message = std::string(path ? path : "") + ": " + text;
    ReportMessage("", message.c_str());
}

bool IsTableKey(const std::string& key) {
    return key == "format" || key == "comment" || key == "comment_raw" || key == "carriers" ||
           key == "records_behind";
}

// The settings field names, from the JSON module's own text of a record, so
// that the list cannot drift from the reader's.
bool IsSettingsKey(const std::string& key) {
    static const nlohmann::json names = [] {
        GlobalSettings zero;
        std::memset(&zero, 0, sizeof zero);
        return nlohmann::json::parse(SettingsJsonText(&zero));
    }();
    if (names.contains(key)) return true;
    return key.size() > 4 && key.compare(key.size() - 4, 4, "_raw") == 0 &&
           names.contains(key.substr(0, key.size() - 4));
}

bool EndsWith(const char* path, const char* extension) {
    std::size_t n = std::strlen(path), m = std::strlen(extension);
    if (n <= m) return false;
    for (std::size_t i = 0; i < m; ++i)
        if (std::tolower(static_cast<unsigned char>(path[n - m + i])) != extension[i]) return false;
    // ".json" alone is a hidden file without an extension, not a JSON name.
    char before = path[n - m - 1];
    return before != '/';
}

int LoadKind(const char* path, std::string* bytes) {
    if (const char* problem = ReadFileBytes(path, bytes)) {
        Report(path, problem);
        return RECORD_FILE_UNREADABLE;
    }
    return RecordKindOfContent(*bytes);
}

// A table image starts with its format text: "V", a version number ("V1.0"),
// then NUL within the 10-byte field. A shorter image fills what it holds.
bool HasTableFormat(const std::string& bytes) {
    if (bytes.size() < 3 || bytes[0] != 'V' || !std::isdigit(static_cast<unsigned char>(bytes[1])))
        return false;
    for (std::size_t i = 2; i < TABLE_FORMAT_SIZE && i < bytes.size(); ++i) {
        if (bytes[i] == 0) return true;
        if (bytes[i] != '.' && !std::isdigit(static_cast<unsigned char>(bytes[i]))) return false;
    }
    return false;
}

}  // namespace

int RecordKindOfContent(const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
    const long size = static_cast<long>(bytes.size());
    if (at < bytes.size() && bytes[at] == '{') {
        nlohmann::json doc = nlohmann::json::parse(bytes, nullptr, false);
        if (doc.is_object()) {
            bool table = false, setup = false;
            for (auto it = doc.begin(); it != doc.end(); ++it) {
                table = table || IsTableKey(it.key());
                setup = setup || IsSettingsKey(it.key());
            }
            if (table) return RECORD_FILE_TABLE_JSON;
            if (setup) return RECORD_FILE_SETUP_JSON;
            return RECORD_FILE_JSON;
        }
        // A binary image may begin with '{' in its first text field.
        if (size != TABLE_FILE_SIZE && size != SETTINGS_FILE_SIZE) return RECORD_FILE_JSON;
    }
    if (size <= TABLE_FILE_SIZE && HasTableFormat(bytes)) return RECORD_FILE_TABLE;
    if (size == SETTINGS_FILE_SIZE) return RECORD_FILE_SETUP;
    return RECORD_FILE_UNKNOWN;
}

int DetectRecordFile(const char* path) {
    std::string bytes;
    if (ReadFileBytes(path, &bytes)) return RECORD_FILE_UNREADABLE;
    return RecordKindOfContent(bytes);
}

const char* RecordKindName(int kind) {
    switch (kind) {
    case RECORD_FILE_TABLE: return "carrier table";
    case RECORD_FILE_SETUP: return "setup";
    case RECORD_FILE_TABLE_JSON: return "JSON carrier table";
    case RECORD_FILE_SETUP_JSON: return "JSON setup";
    case RECORD_FILE_JSON: return "JSON file";
    default: return "file of unknown kind";
    }
}

// "-", stdout, carries text.
int IsJsonPath(const char* path) { return path && (EndsWith(path, ".json") || std::strcmp(path, "-") == 0); }

namespace {

int TableFromBytes(const char* path, int kind, const std::string& bytes) {
    switch (kind) {
    case RECORD_FILE_UNREADABLE:
        return -1;
    case RECORD_FILE_TABLE_JSON:
    case RECORD_FILE_JSON:  // the JSON reader says what is wrong with it
        return ParseTableJson(bytes, path);
    case RECORD_FILE_TABLE: {
        // A short image fills what it holds; the rest stays as it was.
        auto part = [&bytes](std::size_t at, std::size_t size) {
            return bytes.size() <= at ? 0 : std::min(size, bytes.size() - at);
        };
        // Checked aside, so that a table with an unknown code leaves the records as they were.
        static Carrier staged[MAX_CARRIERS];
        std::memcpy(staged, signals, sizeof staged);
        std::memcpy(staged, bytes.data() + TABLE_FORMAT_SIZE + COMMENT_SIZE,
                    part(TABLE_FORMAT_SIZE + COMMENT_SIZE, sizeof staged));
        const int count = CountCarriers(staged, MAX_CARRIERS);
        std::string problem = CarrierCodeProblem(staged, count);
        if (!problem.empty()) {
            Report(path, problem);
            return -1;
        }
        std::memcpy(comment, bytes.data() + TABLE_FORMAT_SIZE, part(TABLE_FORMAT_SIZE, sizeof comment));
        std::memcpy(signals, staged, sizeof signals);
        return count;
    }
    case RECORD_FILE_SETUP:
    case RECORD_FILE_SETUP_JSON:
        Report(path, std::string("is a ") + RecordKindName(kind) + ", not a carrier table");
        return -1;
    default:
        Report(path, "is not a carrier table: neither JSON nor a table image (format text \"V1.0\", at most 94210 bytes)");
        return -1;
    }
}

// The 1-based carrier indices of a setup: out of 0..100 they name no carrier,
// and arithmetic on them could overflow.
int CheckSettingsIndices(const char* path, const GlobalSettings* s) {
    const struct {
        const char* name;
        int32_t value;
    } fields[] = {{"reference_carrier", s->reference_carrier},
                  {"current_carrier", s->current_carrier},
                  {"carrier_count", s->carrier_count}};
    for (const auto& f : fields) {
        if (f.value < 0 || f.value > MAX_CARRIERS) {
            Report(path, std::string(f.name) + " " + std::to_string(f.value) + " is out of range (0 to 100)");
            return -1;
        }
    }
    return 0;
}

int SetupFromBytes(const char* path, int kind, const std::string& bytes, GlobalSettings* settings) {
    switch (kind) {
    case RECORD_FILE_UNREADABLE:
        return -1;
    case RECORD_FILE_SETUP_JSON:
    case RECORD_FILE_JSON: {
        GlobalSettings staged{};
        if (ParseSettingsJson(bytes, path, &staged) != 0 || CheckSettingsIndices(path, &staged) != 0) return -1;
        *settings = staged;
        return 0;
    }
    case RECORD_FILE_SETUP: {
        GlobalSettings staged;
        std::memcpy(&staged, bytes.data(), sizeof staged);
        if (CheckSettingsIndices(path, &staged) != 0) return -1;
        *settings = staged;
        return 0;
    }
    case RECORD_FILE_TABLE:
    case RECORD_FILE_TABLE_JSON:
        Report(path, std::string("is a ") + RecordKindName(kind) + ", not a setup");
        return -1;
    default:
        Report(path, "is not a setup: neither JSON nor a 1408-byte settings image");
        return -1;
    }
}

}  // namespace

int LoadTableForm(const char* path) {
    std::string bytes;
    int kind = LoadKind(path, &bytes);
    return TableFromBytes(path, kind, bytes);
}

int LoadSetupForm(const char* path, GlobalSettings* settings) {
    if (!settings) return -1;
    std::string bytes;
    int kind = LoadKind(path, &bytes);
    return SetupFromBytes(path, kind, bytes, settings);
}

int SaveTableForm(const char* path) {
    int result = IsJsonPath(path) ? WriteTableJson(path) : WriteTableFile(path);
    if (result != 0) Report(path, "cannot be written");
    return result;
}

int SaveSetupForm(const char* path, const GlobalSettings* settings) {
    int result = IsJsonPath(path) ? WriteSettingsJson(path, settings) : WriteSettingsFile(path, settings);
    if (result != 0) Report(path, "cannot be written");
    return result;
}

int ConvertRecordFile(const char* from, const char* to) {
    std::string bytes;
    int kind = LoadKind(from, &bytes);
    if (kind == RECORD_FILE_UNREADABLE) return 1;
    if (kind == RECORD_FILE_JSON) kind = RECORD_FILE_TABLE_JSON;  // its reader names the fault
    const bool table = kind == RECORD_FILE_TABLE || kind == RECORD_FILE_TABLE_JSON;
    const bool setup = kind == RECORD_FILE_SETUP || kind == RECORD_FILE_SETUP_JSON;
    if (!table && !setup) {
        Report(from, "is neither a carrier table nor a setup (JSON, a 94210-byte table or a 1408-byte setup)");
        return 1;
    }
    const bool json = IsJsonPath(to);
    if (!to || !*to || (!json && !EndsWith(to, table ? ".kvt" : ".set"))) {
        Report(to ? to : "", table ? "a carrier table is written as .kvt or .json"
                                   : "a setup is written as .set or .json");
        return 2;
    }
    if (table) {
        if (TableFromBytes(from, kind, bytes) < 0) return 1;
        return SaveTableForm(to) == 0 ? 0 : 3;
    }
    GlobalSettings settings;
    if (SetupFromBytes(from, kind, bytes, &settings) != 0) return 1;
    return SaveSetupForm(to, &settings) == 0 ? 0 : 3;
}

namespace {

std::string TableDirectory() {
    std::string table = FieldText(globals.table_file);
    if (table.empty() || table == "-") return std::string();
    std::size_t slash = table.rfind('/');
    if (slash == std::string::npos) return std::string();  // the current directory anyway
    return slash == 0 ? "/" : table.substr(0, slash);
}

}  // namespace

std::string TableFilePath(const char* name) {
    std::string given = name ? name : "";
    if (given.empty() || given[0] == '/') return given;
    std::string dir = TableDirectory();
    if (!dir.empty()) {
        std::string beside = dir + "/" + given;
        struct stat st;
        if (stat(beside.c_str(), &st) == 0) return beside;
    }
    return given;
}

std::FILE* OpenTableFile(const char* name, const char* first_line) {
    std::string path = TableFilePath(name);
    std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    int error = path.empty() ? ENOENT : errno;
    struct stat st;
    if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        f = nullptr;
        error = EISDIR;
    }
    if (f) return f;
    std::string where = path.empty() ? std::string("(no file name)") : path;
    std::string dir = TableDirectory();
    if (error == ENOENT && !path.empty() && path[0] != '/' && !dir.empty())
        where += " (neither beside the table in " + dir + " nor in the current directory)";
    std::string text = std::string(first_line) + "\n" + FileProblemText(where.c_str(), error);
    ReportMessage("", text.c_str());
    return nullptr;
}
