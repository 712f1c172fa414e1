#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <orvik/RunLoop.h>

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

// Runs a shell command to its end while the main run loop keeps serving (a virtual printer in this process).
inline Outcome runServing(const std::string& command, std::chrono::seconds limit = std::chrono::seconds(60)) {
    Outcome outcome;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return outcome;
    const int fd = ::fileno(pipe);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    bool ended = false;
    const auto watch = RunLoop::main().watchFd(fd, POLLIN, [&](short) {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) outcome.output.append(buffer, static_cast<std::size_t>(n));
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) ended = true;
    });
    RunLoop::main().runUntil([&] { return ended; }, limit);
    RunLoop::main().unwatchFd(watch);
    const int status = ::pclose(pipe);
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

// Runs `program` to its end, the main run loop serving meanwhile.
inline Outcome run(const std::string& program, const std::vector<std::string>& args, const std::string& input = "/dev/null") {
    std::string command = shellQuoted(program);
    for (const auto& arg : args) command += " " + shellQuoted(arg);
    return runServing(command + " <" + shellQuoted(input));
}

// Runs the `orvik` tool to its end.
inline Outcome orvik(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
    return run(ORVIK_CLI_PATH, args, input);
}

}  // namespace OrvikFramework::Testing
