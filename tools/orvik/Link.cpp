#include "Link.h"

#include <unistd.h>

#include <algorithm>

#include "CliError.h"

namespace OrvikFramework::Cli {
namespace {

constexpr std::size_t slice = 16 * 1024;

// Counts what a job would send, so the progress bar knows its end before anything is sent.
class CountingTcpSocket : public TcpSocket {
public:
    std::int64_t SendData(const Data& data) override {
        total += data.size();
        return static_cast<std::int64_t>(data.size());
    }
    std::uint64_t total = 0;
};

std::uint64_t measure(const std::function<void(Orvik&)>& job) {
    Orvik dry;
    dry.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
    auto counter = std::make_shared<CountingTcpSocket>();
    dry.TCPDevice = counter;
    job(dry);
    return counter->total;
}

}  // namespace

std::int64_t MeteredTcpSocket::SendData(const Data& data) {
    if (failed_) return -1;
    for (std::size_t offset = 0; offset < data.size(); offset += slice) {
        const auto begin = data.begin() + static_cast<std::ptrdiff_t>(offset);
        const Data piece(begin, begin + static_cast<std::ptrdiff_t>(std::min(slice, data.size() - offset)));
        if (TcpSocket::SendData(piece) != static_cast<std::int64_t>(piece.size())) {
            failed_ = true;
            return -1;
        }
        sent_ += piece.size();
        if (onProgress) onProgress(sent_);
    }
    return static_cast<std::int64_t>(data.size());
}

ProgressBar::ProgressBar(std::uint64_t total, std::FILE* out, bool terminal)
    : total_(total), out_(out), shown_(terminal && total > threshold) {}

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

std::shared_ptr<MeteredTcpSocket> openLink(Orvik& sdk, const PrinterUri& uri, bool spool) {
    if (spool) throw CliError(Exit::Unavailable, "--spool is not available in this build");
    switch (uri.kind) {
        case PrinterUri::Kind::Wifi: throw CliError(Exit::Unavailable, "wifi:// links are not available in this build");
        case PrinterUri::Kind::Ble: throw CliError(Exit::Unavailable, "ble:// links are not available in this build");
        case PrinterUri::Kind::Tcp: break;
    }
    auto link = std::make_shared<MeteredTcpSocket>();
    sdk.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
    sdk.ConnectTo = uri.host;
    link->connect(uri.host, uri.port);
    sdk.TCPDevice = link;
    return link;
}

void deliver(Orvik& sdk, MeteredTcpSocket& link, const std::string& where, const std::function<void(Orvik&)>& job) {
    const std::uint64_t total = measure(job);
    ProgressBar bar(total, stdout, ::isatty(STDOUT_FILENO) != 0);
    link.onProgress = [&bar](std::uint64_t sent) { bar.update(sent); };
    job(sdk);
    link.onProgress = nullptr;
    const auto reason = [&link] {
        const auto error = link.outputStream ? link.outputStream->streamError() : std::nullopt;
        return error.value_or("no answer");
    };
    if (link.failed() && link.sent() == 0) throw CliError(Exit::Unreachable, "cannot reach printer at " + where + ": " + reason());
    if (link.failed())
        throw CliError(Exit::SendFailed, "link to " + where + " broke off after " + std::to_string(link.sent()) + " of " +
                                             std::to_string(total) + " bytes: " + reason());
    link.disconnect();
}

}  // namespace OrvikFramework::Cli
