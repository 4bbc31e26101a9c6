// Argument reading shared by uldoc and its assist and map commands.
#pragma once

// A whole number in [low, high], all of `text`. 0, or -1 leaving `value` as it was.
int ParseWhole(const char* text, long long low, long long high, long long* value);

// A finite number in [low, high], all of `text`. 0, or -1 leaving `value` as it was.
int ParseNumber(const char* text, double low, double high, double* value);

// A code of `kind` (shell/codes.h) by its number or its name; -1 when it is neither.
int ParseCodeArgument(int kind, const char* text);

// One option and its value as the command line gave it: "--name=value",
// "-oVALUE", or the name with the value in the next argument.
struct ArgumentOption {
    char name[64];       // "--name", "-o" or "-"; empty for an operand (no leading '-')
    const char* text;    // the whole argument
    const char* value;   // attached value ("=value", "-oVALUE"), or nullptr
};

// Splits argv[at]. 0, or -1 when the name is too long to be an option.
int SplitArgument(const char* arg, ArgumentOption* option);

// The value of `option`: the attached one, or argv[*at + 1] (and *at moves on).
// nullptr when none is left.
const char* ArgumentValue(const ArgumentOption* option, int argc, char** argv, int* at);
