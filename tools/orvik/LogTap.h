#pragma once

#include <cstdio>
#include <functional>
#include <string_view>

#include <orvik/Log.h>

namespace OrvikFramework::Cli {

/// Shows every SDK log line to `watch` while it lives, then passes it on to the sink that was there before.
/// The SDK reports some outcomes (an access point joined or not, a refused write) only as log lines.
class LogTap {
public:
    explicit LogTap(std::function<void(std::string_view line)> watch)
        : previous_(Log::setSink([this](std::string_view line) {
              watch_(line);
              if (previous_) previous_(line);
              else std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
          })),
          watch_(std::move(watch)) {}
    ~LogTap() { Log::setSink(std::move(previous_)); }
    LogTap(const LogTap&) = delete;
    LogTap& operator=(const LogTap&) = delete;

private:
    Log::Sink previous_;
    std::function<void(std::string_view line)> watch_;
};

}  // namespace OrvikFramework::Cli
