#include "shell/hooks.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

CoreHooks core_hooks;

void ReportMessage(const char* title, const char* text) {
    if (core_hooks.message) {
        core_hooks.message(title ? title : "", text ? text : "");
        return;
    }
    if (title && *title)
        std::fprintf(stderr, "%s: %s\n", title, text ? text : "");
    else
        std::fprintf(stderr, "%s\n", text ? text : "");
}

void ReportStatus(const char* text) {
    if (core_hooks.status) core_hooks.status(text ? text : "");
}

void ReportProgress(double percent) {
    if (core_hooks.progress) core_hooks.progress(percent);
}

int CompileError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    ReportMessage("COMPILATION ERROR", text.c_str());
    return -1;
}

int CancelRequested() { return core_hooks.cancel_requested ? core_hooks.cancel_requested() : 0; }

int PromptText(const char* title, const char* text, char* buffer, int max_length) {
    return core_hooks.prompt ? core_hooks.prompt(title, text, buffer, max_length) : 1;
}

namespace {
double delay_scale = 1.0;
}

void Delay(double seconds) {
    double s = seconds * delay_scale;
    if (s > 0) std::this_thread::sleep_for(std::chrono::duration<double>(s));
}

void SetDelayScale(double scale) { delay_scale = scale < 0 ? 0 : scale; }
double DelayScale() { return delay_scale; }

int GetProjectDir(char* dir, int size) {
    if (!dir || size <= 0) return -1;
    std::string path;
    if (const char* home = std::getenv("ULDO_HOME"); home && *home) {
        path = home;
    } else {
        char exe[4096];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n > 0) {
            exe[n] = 0;
            path = exe;
            auto slash = path.rfind('/');
            path = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
        } else {
            path = ".";
        }
    }
    if (path.size() >= static_cast<size_t>(size)) {
        dir[0] = 0;
        return -1;
    }
    std::memcpy(dir, path.c_str(), path.size() + 1);
    return 0;
}

int SetDir(const char* dir) { return dir && chdir(dir) == 0 ? 0 : -1; }

int LaunchExecutable(const char* command_line) {
    if (!command_line || !*command_line) return 0;
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        // Detach in a grandchild so that no zombie is left behind.
        if (fork() == 0) {
            execl("/bin/sh", "sh", "-c", command_line, static_cast<char*>(nullptr));
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return 0;
}
