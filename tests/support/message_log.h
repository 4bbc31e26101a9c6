// Records the core's messages as "title|text" for tests that check them.
#pragma once

#include <string>
#include <vector>

#include "shell/hooks.h"

inline std::vector<std::string> messages;

inline void RecordMessage(const char* title, const char* text) {
    messages.push_back(std::string(title) + "|" + text);
}
