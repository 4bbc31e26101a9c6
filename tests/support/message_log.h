// Records the core's messages as "title|text" and its status texts, for
// tests that check them.
#pragma once

#include <string>
#include <vector>

#include "shell/hooks.h"

inline std::vector<std::string> messages;
inline std::vector<std::string> statuses;

inline void RecordMessage(const char* title, const char* text) {
    messages.push_back(std::string(title) + "|" + text);
}
inline void RecordStatus(const char* text) { statuses.push_back(text); }

inline std::vector<std::string>& Messages() { return messages; }
inline std::vector<std::string>& Statuses() { return statuses; }

// Fresh hooks that record messages and statuses into empty logs.
inline void RecordCoreReports() {
    messages.clear();
    statuses.clear();
    core_hooks = CoreHooks{};
    core_hooks.message = RecordMessage;
    core_hooks.status = RecordStatus;
}
