#pragma once

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <orvik/Orvik.h>

#include <orvik/PrinterAddress.h>

namespace OrvikFramework::Cli {

/// How links are opened, from the command line.
struct LinkOptions {
    /// Longest wait for each step: joining the access point, finding and connecting the printer, a stalled send.
    std::chrono::milliseconds timeout{10000};
    /// Bytes per Bluetooth write; below the link's negotiated MTU less its 3-byte header.
    std::int64_t mtu = 180;
    /// Collect the job in a spool file and send it gzip-compressed over Bluetooth.
    bool spool = false;
    /// The Wi-Fi passphrase from --password-file or --password-stdin, in place of the address's.
    std::optional<std::string> password;
};

class LinkEvents;

/// While it lives, Ctrl-C only raises a flag, which the link's waits and its send loop read.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;
    static bool caught();

private:
    struct sigaction previous_ {};
};

/// An open link to the printer, on the SDK object it was opened with; disconnected when it ends.
class Link {
public:
    /// Opens the link `uri` names; throws CliError (usage, input, unreachable, or interrupted under an
    /// InterruptCatcher) when it cannot. `where` is the address as messages show it.
    static std::unique_ptr<Link> open(Orvik& sdk, const PrinterAddress& uri, std::string where, const LinkOptions& options);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    /// Sends the job with progress on a terminal standard output until the link has accepted every byte; with
    /// `confirm`, then asks the printer whether it can still print. Under an InterruptCatcher, Ctrl-C stops it
    /// between slices of the job. Throws
    /// CliError (unreachable, send failed, not ready, input or interrupted).
    void deliver(const Data& job, bool confirm);
    /// The printer's status; throws CliError (unreachable) when it gives none.
    PrinterStatus readStatus();

private:
    Link(Orvik& sdk, std::string where, const LinkOptions& options);
    void openTcp(const std::string& host, std::int64_t port);
    void joinAccessPoint(const PrinterAddress& uri);
    void openBluetooth(const std::string& name);
    std::optional<std::string> bluetoothUnusable() const;
    void waitFor(const std::function<bool()>& done);
    [[noreturn]] void fail(const Error& error, std::uint64_t sent, std::uint64_t total) const;

    Orvik& sdk_;
    std::shared_ptr<LinkEvents> events_;
    std::string where_;
    LinkOptions options_;
    bool bluetooth_ = false;
};

/// The bytes a job sends, built once without a printer, so they can go out in slices with a known end.
Data buildJob(const std::function<void(Orvik&)>& job);

/// What keeps a printer from printing, e.g. "paper out, cover open"; empty when it can print.
std::string conditions(const PrinterStatus& status);

/// Why a radio in `state` cannot be used, as the messages say it.
std::string whyUnusable(ManagerState state);

/// "2.5 s": a wait as the messages show it.
std::string seconds(std::chrono::milliseconds wait);

}  // namespace OrvikFramework::Cli
