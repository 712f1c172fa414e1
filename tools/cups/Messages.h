#pragma once

// Messages to the CUPS scheduler: one line each on standard error, starting with its kind ("INFO:", "STATE:",
// "ERROR:", "DEBUG:", ...). Standard output is not for them: a filter's carries the job.
#include <cstdarg>
#include <cstdio>
#include <string>

#include <orvik/Log.h>

namespace OrvikFramework::Cups {

inline void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline void report(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

/// The SDK's log lines become the scheduler's debug lines.
inline void logToScheduler() {
    Log::setSink([](std::string_view line) { report("DEBUG: %.*s", static_cast<int>(line.size()), line.data()); });
}

}  // namespace OrvikFramework::Cups
