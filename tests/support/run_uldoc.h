// Runs the built uldoc (ULDOC_PATH) in a directory and collects
// its exit status and what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/tempdir.h"

struct UldocOutcome {
    int code;         // exit status, -1 when it did not exit normally
    std::string out;  // stdout
    std::string err;  // stderr
};

inline std::string ShellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string FileText(const std::string& path) {
    std::vector<char> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// environment: assignments or an `env` prefix put before the program ("" for none).
// stdout and stderr pass through the files out_prefix + ".out" / ".err"; stdin
// comes from `input`.
inline UldocOutcome RunUldoc(const std::string& directory, const std::vector<std::string>& args,
                             const std::string& out_prefix, const std::string& environment = "",
                             const std::string& input = "/dev/null") {
    std::string command = "cd " + ShellQuoted(directory) + " && " + environment + " " +
                          ShellQuoted(ULDOC_PATH);
    for (const std::string& a : args) command += " " + ShellQuoted(a);
    std::string out = out_prefix + ".out", err = out_prefix + ".err";
    command += " >" + ShellQuoted(out) + " 2>" + ShellQuoted(err) + " <" + ShellQuoted(input);
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, FileText(out), FileText(err)};
}
