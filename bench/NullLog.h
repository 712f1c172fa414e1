#pragma once

#include <cstdio>
#include <stdexcept>
#include <vector>

#include <orvik/Log.h>

namespace OrvikFramework::Bench {

// Sends the SDK's log lines to /dev/null through a buffered stream, as an application logging to a file would (64 KiB buffer),
// so a benchmark times the making of the lines rather than the terminal. Restores the previous sink at the end.
class NullLog {
public:
    NullLog() : file_(std::fopen("/dev/null", "w")) {
        if (!file_) throw std::runtime_error("cannot open /dev/null");
        std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
        previous_ = Log::setSink([file = file_](std::string_view line) {
            std::fwrite(line.data(), 1, line.size(), file);
            std::fputc('\n', file);
        });
    }
    ~NullLog() {
        Log::setSink(previous_);
        std::fclose(file_);
    }
    NullLog(const NullLog&) = delete;
    NullLog& operator=(const NullLog&) = delete;

    std::FILE* file() const { return file_; }

private:
    std::vector<char> buffer_ = std::vector<char>(64 * 1024);  // glibc ignores the size unless given the buffer
    std::FILE* file_;
    Log::Sink previous_;
};

}  // namespace OrvikFramework::Bench
