#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <orvik/Orvik.h>

#include "Uri.h"

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

/// The SDK object as the tool uses it: it also remembers how the Bluetooth link ended, which the SDK only logs.
class LinkedOrvik : public Orvik {
public:
    void centralManagerDidDisconnectPeripheral(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                               const std::optional<PlatformError>& error) override;
    void centralManagerDidFailToConnect(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                        const std::optional<PlatformError>& error) override;

    bool linkLost = false;
    std::string linkError;
};

/// An open link to the printer, set on the SDK object it was opened with.
class Link {
public:
    virtual ~Link() = default;
    /// Plays `job` through the SDK with progress on a terminal standard output, waits until every byte is handed
    /// over and disconnects. Throws CliError (unreachable or send failed).
    virtual void deliver(const std::function<void(Orvik&)>& job) = 0;
};

/// Opens the link `uri` names; throws CliError (usage, input or unreachable) when it cannot.
std::unique_ptr<Link> openLink(LinkedOrvik& sdk, const PrinterUri& uri, const std::string& where, const LinkOptions& options);

/// The bytes a job sends, counted without a printer, so a progress bar knows its end before anything is sent.
std::uint64_t measureJob(const std::function<void(Orvik&)>& job);

}  // namespace OrvikFramework::Cli
