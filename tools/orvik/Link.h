#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include <orvik/Orvik.h>
#include <orvik/TcpSocket.h>

#include "Uri.h"

namespace OrvikFramework::Cli {

/// A TCP link that writes in slices so progress can be shown, and stops writing after the first failure so a
/// dead link fails the job once instead of once per command.
class MeteredTcpSocket : public TcpSocket {
public:
    std::int64_t SendData(const Data& data) override;

    std::function<void(std::uint64_t sent)> onProgress;
    std::uint64_t sent() const { return sent_; }
    bool failed() const { return failed_; }

private:
    std::uint64_t sent_ = 0;
    bool failed_ = false;
};

/// A progress bar on a terminal, redrawn when the percentage changes; silent for small jobs or other outputs.
class ProgressBar {
public:
    static constexpr std::uint64_t threshold = 64 * 1024;
    ProgressBar(std::uint64_t total, std::FILE* out, bool terminal);
    ~ProgressBar();
    void update(std::uint64_t sent);

private:
    std::uint64_t total_;
    std::FILE* out_;
    bool shown_;
    int percent_ = -1;
};

/// An open link to the printer, set on `sdk`; the one place that knows which link kinds this build supports.
/// Throws CliError (unavailable) for the others.
std::shared_ptr<MeteredTcpSocket> openLink(Orvik& sdk, const PrinterUri& uri, bool spool);

/// Plays `job` through `sdk` over an opened link with progress on a terminal standard output, waits until every byte
/// is handed over and disconnects. Throws CliError (unreachable or send failed).
void deliver(Orvik& sdk, MeteredTcpSocket& link, const std::string& where, const std::function<void(Orvik&)>& job);

}  // namespace OrvikFramework::Cli
