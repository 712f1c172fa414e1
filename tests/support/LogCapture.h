#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include <orvik/Log.h>

namespace OrvikFramework::Testing {

// Collects log lines for the lifetime of the object, then restores the previous sink.
class LogCapture {
public:
    LogCapture() : previous_(Log::setSink([this](std::string_view line) { lines_.emplace_back(line); })) {}
    ~LogCapture() { Log::setSink(std::move(previous_)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<std::string>& lines() const { return lines_; }
    void clear() { lines_.clear(); }
    bool contains(const std::string& line) const { return std::find(lines_.begin(), lines_.end(), line) != lines_.end(); }

private:
    std::vector<std::string> lines_;
    Log::Sink previous_;
};

}  // namespace OrvikFramework::Testing
