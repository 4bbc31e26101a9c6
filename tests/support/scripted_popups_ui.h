// A pop-up handler for tests: records every pop-up and answers from queues.
// Unscripted questions get the cautious answer: confirm 0, file select none,
// prompt cancelled.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "shell/userint_ui.h"

struct ScriptedPopups : PopupHandler {
    enum Kind { MESSAGE, CONFIRM, PROMPT, FILE_SELECT };
    struct Shown {
        Kind kind;
        std::string title;
        std::string text;      // message, question, prompt, or the file pattern
        int button = 0;        // file select: VAL_*_BUTTON
    };
    struct FileAnswer {
        std::string path;
        int result;            // VAL_EXISTING_FILE_SELECTED, VAL_NEW_FILE_SELECTED, ...
    };

    std::vector<Shown> shown;
    std::deque<int> confirm_answers;
    std::deque<FileAnswer> file_answers;
    std::deque<std::optional<std::string>> prompt_answers;  // nullopt = Cancel

    // Installs itself as the handler and restores the real dialogs when destroyed.
    ScriptedPopups();
    ~ScriptedPopups() override;

    int Message(const char* title, const char* text) override;
    int Confirm(const char* title, const char* question) override;
    int Prompt(const char* title, const char* prompt, char* buffer, int max_length) override;
    int FileSelect(const char* directory, const char* pattern, const char* pattern_list,
                   const char* title, int button, int restrict_directory, int restrict_extension,
                   int allow_cancel, int allow_make_directory, char* path) override;

    int Count(Kind kind) const;
    // The text of the last pop-up of that kind ("" when there was none).
    std::string Last(Kind kind) const;
};
