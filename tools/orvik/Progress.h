#pragma once

#include <cstdint>
#include <cstdio>

namespace OrvikFramework::Cli {

/// A progress bar on a terminal, redrawn when the percentage changes; silent for small jobs or other outputs.
class ProgressBar {
public:
    static constexpr std::uint64_t threshold = 64 * 1024;
    ProgressBar(std::uint64_t total, std::FILE* out, bool terminal);
    /// A bar on standard output when it is a terminal.
    explicit ProgressBar(std::uint64_t total);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    void update(std::uint64_t sent);

private:
    std::uint64_t total_;
    std::FILE* out_;
    bool shown_;
    int percent_ = -1;
};

}  // namespace OrvikFramework::Cli
