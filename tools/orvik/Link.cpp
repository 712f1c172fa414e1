#include "Link.h"

#include <algorithm>

#include <orvik/RunLoop.h>
#include <orvik/TcpSocket.h>

#include "BluetoothLink.h"
#include "CliError.h"
#include "LogTap.h"
#include "Progress.h"

namespace OrvikFramework::Cli {
namespace {

constexpr std::size_t slice = 16 * 1024;

// Counts what a job would send.
class CountingTcpSocket : public TcpSocket {
public:
    std::int64_t SendData(const Data& data) override {
        total += data.size();
        return static_cast<std::int64_t>(data.size());
    }
    std::uint64_t total = 0;
};

// Writes in slices so progress can be shown, and stops writing after the first failure so a dead link fails the job
// once instead of once per command.
class MeteredTcpSocket : public TcpSocket {
public:
    std::int64_t SendData(const Data& data) override {
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

    std::function<void(std::uint64_t sent)> onProgress;
    std::uint64_t sent() const { return sent_; }
    bool failed() const { return failed_; }

private:
    std::uint64_t sent_ = 0;
    bool failed_ = false;
};

class TcpLink final : public Link {
public:
    TcpLink(Orvik& sdk, const PrinterUri& uri, std::string where, std::chrono::milliseconds timeout)
        : sdk_(sdk), socket_(std::make_shared<MeteredTcpSocket>()), where_(std::move(where)) {
        socket_->waitTimeout = timeout;
        socket_->connect(uri.host, uri.port);
        sdk.ConnectTo = uri.host;
        sdk.TCPDevice = socket_;
    }

    void deliver(const std::function<void(Orvik&)>& job) override {
        const std::uint64_t total = measureJob(job);
        ProgressBar bar(total);
        socket_->onProgress = [&bar](std::uint64_t sent) { bar.update(sent); };
        job(sdk_);
        socket_->onProgress = nullptr;
        const auto reason = [this] {
            const auto error = socket_->outputStream ? socket_->outputStream->streamError() : std::nullopt;
            return error.value_or("no answer");
        };
        if (socket_->failed() && socket_->sent() == 0)
            throw CliError(Exit::Unreachable, "cannot reach printer at " + where_ + ": " + reason());
        if (socket_->failed())
            throw CliError(Exit::SendFailed, "link to " + where_ + " broke off after " + std::to_string(socket_->sent()) +
                                                 " of " + std::to_string(total) + " bytes: " + reason());
        socket_->disconnect();
    }

private:
    Orvik& sdk_;
    std::shared_ptr<MeteredTcpSocket> socket_;
    std::string where_;
};

// Joins the access point through the SDK and waits for the outcome, which the SDK reports only as a log line.
void joinAccessPoint(Orvik& sdk, const PrinterUri& uri, const std::string& where, const LinkOptions& options) {
    std::optional<std::string> outcome;
    {
        LogTap tap([&outcome](std::string_view line) {
            if (line.starts_with("WiFi AP Connect : ")) outcome = std::string(line);
        });
        sdk.InitSDK(WIRELESSS_INTERFACE::WIFI, options.mtu, uri.ssid, options.password.value_or(uri.password));
        RunLoop::main().runUntil([&outcome] { return outcome.has_value(); }, options.timeout);
    }
    if (!outcome) throw CliError(Exit::Unreachable, "cannot join the access point of " + where + ": no answer in time");
    if (*outcome != "WiFi AP Connect : Success") {
        const auto error = outcome->find("Error: ");
        throw CliError(Exit::Unreachable, "cannot join the access point of " + where + ": " +
                                              (error == std::string::npos ? *outcome : outcome->substr(error + 7)));
    }
}

}  // namespace

void LinkedOrvik::centralManagerDidDisconnectPeripheral(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                                        const std::optional<PlatformError>& error) {
    linkLost = true;
    if (error) linkError = error->localizedDescription;
    Orvik::centralManagerDidDisconnectPeripheral(central, peripheral, error);
}

void LinkedOrvik::centralManagerDidFailToConnect(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                                 const std::optional<PlatformError>& error) {
    linkLost = true;
    linkError = error ? error->localizedDescription : "the connection failed";
    Orvik::centralManagerDidFailToConnect(central, peripheral, error);
}

std::uint64_t measureJob(const std::function<void(Orvik&)>& job) {
    Orvik dry;
    dry.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
    auto counter = std::make_shared<CountingTcpSocket>();
    dry.TCPDevice = counter;
    job(dry);
    return counter->total;
}

std::unique_ptr<Link> openLink(LinkedOrvik& sdk, const PrinterUri& uri, const std::string& where, const LinkOptions& options) {
    if (options.spool && uri.kind != PrinterUri::Kind::Ble)
        throw CliError(Exit::Usage, "--spool sends the job over Bluetooth LE: use a ble:// printer");
    if (options.password && uri.kind != PrinterUri::Kind::Wifi)
        throw CliError(Exit::Usage, "a Wi-Fi password is only for wifi:// printers");
    if (options.password && !uri.password.empty())
        throw CliError(Exit::Usage, "give the Wi-Fi password once: in the address, --password-file or --password-stdin");
    switch (uri.kind) {
        case PrinterUri::Kind::Ble: return openBluetoothLink(sdk, uri, where, options);
        case PrinterUri::Kind::Wifi: joinAccessPoint(sdk, uri, where, options); break;
        case PrinterUri::Kind::Tcp: sdk.InterfaceType = WIRELESSS_INTERFACE::SOCKET; break;
    }
    return std::make_unique<TcpLink>(sdk, uri, where, options.timeout);
}

}  // namespace OrvikFramework::Cli
