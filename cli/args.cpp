#include "cli/args.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "shell/codes.h"

int ParseWhole(const char* text, long long low, long long high, long long* value) {
    if (!text || !*text) return -1;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (errno || *end || v < low || v > high) return -1;
    *value = v;
    return 0;
}

int ParseNumber(const char* text, double low, double high, double* value) {
    if (!text || !*text) return -1;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (errno || *end || !std::isfinite(v) || v < low || v > high) return -1;
    *value = v;
    return 0;
}

int ParseCodeArgument(int kind, const char* text) {
    long long n = 0;
    if (ParseWhole(text, INT32_MIN, INT32_MAX, &n) == 0) return CodeValid(kind, static_cast<int>(n)) ? static_cast<int>(n) : -1;
    int code = CodeOfName(kind, text);
    return code >= 0 ? code : -1;
}

int SplitArgument(const char* arg, ArgumentOption* option) {
    option->text = arg;
    option->value = nullptr;
    option->name[0] = 0;
    if (arg[0] != '-') return 0;
    // -oFILE: the short output option with its value attached.
    if (arg[1] == 'o' && arg[2] != 0) {
        std::strcpy(option->name, "-o");
        option->value = arg + 2;
        return 0;
    }
    // Long options may carry their value after '='.
    const char* equals = std::strncmp(arg, "--", 2) == 0 ? std::strchr(arg, '=') : nullptr;
    std::size_t length = equals ? static_cast<std::size_t>(equals - arg) : std::strlen(arg);
    if (length >= sizeof option->name) return -1;
    std::memcpy(option->name, arg, length);
    option->name[length] = 0;
    if (equals) option->value = equals + 1;
    return 0;
}

const char* ArgumentValue(const ArgumentOption* option, int argc, char** argv, int* at) {
    if (option->value) return option->value;
    if (*at + 1 >= argc) return nullptr;
    return argv[++*at];
}
