#include "Progress.h"

#include <unistd.h>

#include <algorithm>
#include <string>

namespace OrvikFramework::Cli {

ProgressBar::ProgressBar(std::uint64_t total, std::FILE* out, bool terminal)
    : total_(total), out_(out), shown_(terminal && total > threshold) {}

ProgressBar::ProgressBar(std::uint64_t total) : ProgressBar(total, stdout, ::isatty(STDOUT_FILENO) != 0) {}

ProgressBar::~ProgressBar() {
    if (shown_ && percent_ >= 0) std::fputc('\n', out_);
}

void ProgressBar::update(std::uint64_t sent) {
    if (!shown_) return;
    const int percent = static_cast<int>(std::min<std::uint64_t>(100, sent * 100 / total_));
    if (percent == percent_) return;
    percent_ = percent;
    constexpr int cells = 30;
    const int filled = percent * cells / 100;
    std::fprintf(out_, "\r[%s%s] %3d%% %llu/%llu KB", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(cells - filled), '-').c_str(), percent,
                 static_cast<unsigned long long>(sent / 1024), static_cast<unsigned long long>(total_ / 1024));
    std::fflush(out_);
}

}  // namespace OrvikFramework::Cli
