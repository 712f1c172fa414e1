#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace OrvikFramework::Testing {

struct Outcome {
    int code = -1;
    std::string output;  // standard output and error together
};

inline std::string shellQuoted(const std::string& arg) {
    std::string quoted = "'";
    for (const char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs `program` to its end.
inline Outcome run(const std::string& program, const std::vector<std::string>& args, const std::string& input = "/dev/null") {
    std::string command = shellQuoted(program);
    for (const auto& arg : args) command += " " + shellQuoted(arg);
    Outcome outcome;
    std::FILE* pipe = ::popen((command + " 2>&1 <" + shellQuoted(input)).c_str(), "r");
    if (!pipe) return outcome;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) outcome.output.append(buffer, n);
    const int status = ::pclose(pipe);
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

// Runs the `orvik` tool to its end.
inline Outcome orvik(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
    return run(ORVIK_CLI_PATH, args, input);
}

}  // namespace OrvikFramework::Testing
