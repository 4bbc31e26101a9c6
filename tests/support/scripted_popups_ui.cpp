#include "support/scripted_popups_ui.h"

#include <cstring>

ScriptedPopups::ScriptedPopups() { SetPopupHandler(this); }

ScriptedPopups::~ScriptedPopups() { SetPopupHandler(nullptr); }

int ScriptedPopups::Message(const char* title, const char* text) {
    shown.push_back({MESSAGE, title, text});
    return 0;
}

int ScriptedPopups::Confirm(const char* title, const char* question) {
    shown.push_back({CONFIRM, title, question});
    if (confirm_answers.empty()) return 0;
    int answer = confirm_answers.front();
    confirm_answers.pop_front();
    return answer;
}

int ScriptedPopups::Prompt(const char* title, const char* prompt, char* buffer, int max_length) {
    shown.push_back({PROMPT, title, prompt});
    if (prompt_answers.empty() || !prompt_answers.front()) {
        if (!prompt_answers.empty()) prompt_answers.pop_front();
        return -1;
    }
    std::string answer = *prompt_answers.front();
    prompt_answers.pop_front();
    // The buffer holds max_length characters and the NUL.
    std::size_t n = answer.size() < static_cast<std::size_t>(max_length)
                        ? answer.size()
                        : static_cast<std::size_t>(max_length);
    std::memcpy(buffer, answer.data(), n);
    buffer[n] = '\0';
    return 0;
}

int ScriptedPopups::FileSelect(const char*, const char* pattern, const char*, const char* title,
                               int button, int, int, int, int, char* path) {
    shown.push_back({FILE_SELECT, title, pattern, button});
    if (file_answers.empty()) return VAL_NO_FILE_SELECTED;
    FileAnswer answer = file_answers.front();
    file_answers.pop_front();
    std::size_t n = answer.path.size() < MAX_PATHNAME_LEN - 1 ? answer.path.size()
                                                              : MAX_PATHNAME_LEN - 1;
    std::memcpy(path, answer.path.data(), n);
    path[n] = '\0';
    return answer.result;
}

int ScriptedPopups::Count(Kind kind) const {
    int n = 0;
    for (const Shown& s : shown) n += s.kind == kind;
    return n;
}

std::string ScriptedPopups::Last(Kind kind) const {
    for (auto it = shown.rbegin(); it != shown.rend(); ++it)
        if (it->kind == kind) return it->text;
    return "";
}
