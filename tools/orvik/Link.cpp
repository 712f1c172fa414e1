#include "Link.h"

#include <stdlib.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include <orvik/Documents.h>
#include <orvik/Observer.h>
#include <orvik/RunLoop.h>
#include <orvik/TcpSocket.h>

#include "CliError.h"
#include "Progress.h"

namespace OrvikFramework::Cli {

// What the SDK reports of the link and the job, kept as values for the waits.
class LinkEvents final : public OrvikObserver {
public:
    void connectionOpened() override { opened = true; }
    void connectionFailed(const Error& error) override { keep(error); }
    void linkLost(const Error& error) override {
        keep(error);
        disconnected = true;
    }
    void printerDisconnected(const std::optional<Error>& error) override {
        if (error) keep(*error);
        disconnected = true;
    }
    void wifiJoined() override { joined = true; }
    void wifiJoinFailed(const Error& error) override { joinFailure = error; }
    void bytesWritten(std::uint64_t total) override {
        written = total;
        if (onProgress) onProgress(total);
    }

    bool opened = false;
    bool joined = false;
    bool disconnected = false;
    std::optional<Error> failure;
    std::optional<Error> joinFailure;
    std::uint64_t written = 0;
    std::function<void(std::uint64_t total)> onProgress;

private:
    void keep(const Error& error) {
        if (!failure) failure = error;
    }
};

namespace {

// Slices of a job: Ctrl-C is noticed between them, and each one must go out within the time-out.
constexpr std::size_t slice = 16 * 1024;

volatile std::sig_atomic_t interruptRequested = 0;

// A private Documents directory for the spool file, so a job never lands in, or replaces, the user's files.
class SpoolDirectory {
public:
    SpoolDirectory() {
        std::error_code error;
        std::string pattern = (std::filesystem::temp_directory_path(error) / "orvik-spool-XXXXXX").string();
        if (error || !::mkdtemp(pattern.data()))
            throw CliError(Exit::Input, "cannot create a folder for the spool file: " +
                                            (error ? error : std::error_code(errno, std::generic_category())).message());
        path_ = pattern;
        Documents::setDirectory(path_.string());
    }
    ~SpoolDirectory() {
        Documents::setDirectory(std::nullopt);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    SpoolDirectory(const SpoolDirectory&) = delete;
    SpoolDirectory& operator=(const SpoolDirectory&) = delete;

private:
    std::filesystem::path path_;
};

// Records what a job would send.
class RecordingSocket final : public TcpSocket {
public:
    std::int64_t SendData(const Data& data) override {
        bytes.insert(bytes.end(), data.begin(), data.end());
        return static_cast<std::int64_t>(data.size());
    }
    Data bytes;
};

bool opening(ErrorCode code) {
    switch (code) {
        case ErrorCode::NotConnected:
        case ErrorCode::ConnectionRefused:
        case ErrorCode::HostNotFound:
        case ErrorCode::ConnectionFailed:
        case ErrorCode::BluetoothUnavailable:
        case ErrorCode::PrinterNotFound:
        case ErrorCode::ServiceNotFound:
        case ErrorCode::WiFiJoinFailed: return true;
        default: return false;
    }
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
    interruptRequested = 0;
    struct sigaction action {};
    action.sa_handler = [](int) { interruptRequested = 1; };
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previous_);
}

InterruptCatcher::~InterruptCatcher() { ::sigaction(SIGINT, &previous_, nullptr); }

bool InterruptCatcher::caught() { return interruptRequested != 0; }

// Waits at most the time-out for `done`; Ctrl-C ends the wait and the command.
void Link::waitFor(const std::function<bool()>& done) {
    RunLoop::main().runUntil([&done] { return done() || InterruptCatcher::caught(); }, options_.timeout);
    if (InterruptCatcher::caught()) throw CliError(Exit::Interrupted, "interrupted before the job was sent");
}

Link::Link(Orvik& sdk, std::string where, const LinkOptions& options)
    : sdk_(sdk), events_(std::make_shared<LinkEvents>()), where_(std::move(where)), options_(options) {
    sdk_.setObserver(events_);
}

Link::~Link() {
    sdk_.Disconnect();
    // The Bluetooth stack finishes what it holds first; the program must not end before.
    if (bluetooth_) RunLoop::main().runUntil([this] { return events_->disconnected; }, options_.timeout);
    sdk_.setObserver(nullptr);
}

std::unique_ptr<Link> Link::open(Orvik& sdk, const PrinterAddress& uri, std::string where, const LinkOptions& options) {
    if (options.spool && uri.kind != PrinterAddress::Kind::Ble)
        throw CliError(Exit::Usage, "--spool sends the job over Bluetooth LE: use a ble:// printer");
    if (options.password && uri.kind != PrinterAddress::Kind::Wifi)
        throw CliError(Exit::Usage, "a Wi-Fi password is only for wifi:// printers");
    if (options.password && !uri.password.empty())
        throw CliError(Exit::Usage, "give the Wi-Fi password once: in the address, --password-file or --password-stdin");
    std::unique_ptr<Link> link(new Link(sdk, std::move(where), options));
    switch (uri.kind) {
        case PrinterAddress::Kind::Ble: link->openBluetooth(uri.name); break;
        case PrinterAddress::Kind::Wifi:
            link->joinAccessPoint(uri);
            link->openTcp(uri.host, uri.port);
            break;
        case PrinterAddress::Kind::Tcp:
            sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, options.mtu, uri.host, "");
            link->openTcp(uri.host, uri.port);
            break;
        case PrinterAddress::Kind::Usb:
        case PrinterAddress::Kind::Serial:
        case PrinterAddress::Kind::File:
            if (const Status failure = sdk.Open(link->where_, options.timeout)) {
                if (failure->code == ErrorCode::FileError) throw CliError(Exit::Input, failure->message);
                throw CliError(Exit::Unreachable, "cannot reach printer at " + link->where_ + ": " + failure->message);
            }
            break;
    }
    return link;
}

void Link::openTcp(const std::string& host, std::int64_t port) {
    sdk_.Connect(host, port);
    if (sdk_.TCPDevice) sdk_.TCPDevice->waitTimeout = options_.timeout;
    waitFor([this] { return events_->opened || events_->failure.has_value(); });
    if (events_->failure) fail(*events_->failure, 0, 0);
    if (!events_->opened)
        throw CliError(Exit::Unreachable, "cannot reach printer at " + where_ + ": no answer within " + seconds(options_.timeout));
}

void Link::joinAccessPoint(const PrinterAddress& uri) {
    sdk_.InitSDK(WIRELESSS_INTERFACE::WIFI, options_.mtu, uri.ssid, options_.password.value_or(uri.password));
    waitFor([this] { return events_->joined || events_->joinFailure.has_value(); });
    const std::string cannot = "cannot join the access point of " + where_ + ": ";
    if (events_->joinFailure) throw CliError(Exit::Unreachable, cannot + events_->joinFailure->message);
    if (!events_->joined) throw CliError(Exit::Unreachable, cannot + "no answer within " + seconds(options_.timeout));
}

std::optional<std::string> Link::bluetoothUnusable() const {
    const auto& manager = sdk_.BLEManager;
    if (!manager) return "no Bluetooth service on this system";
    if (const auto reason = manager->unavailableReason()) return reason->localizedDescription;
    const ManagerState state = manager->state();
    if (state == ManagerState::poweredOff || state == ManagerState::unsupported || state == ManagerState::unauthorized)
        return whyUnusable(state);
    return std::nullopt;
}

void Link::openBluetooth(const std::string& name) {
    bluetooth_ = true;
    sdk_.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, options_.mtu, name, "");
    waitFor([this] { return sdk_.BLEDevice || bluetoothUnusable(); });
    if (!sdk_.BLEDevice) {
        sdk_.BLEDeviceScanStop();
        bluetooth_ = false;  // nothing to disconnect
        if (const auto why = bluetoothUnusable()) throw CliError(Exit::Unreachable, "cannot reach printer at " + where_ + ": " + *why);
        throw CliError(Exit::Unreachable, "no Bluetooth LE printer named \"" + name + "\" found within " + seconds(options_.timeout));
    }
    sdk_.Connect("", 0);
    const auto ready = [this] { return sdk_.RXCharacteristic && sdk_.TXCharacteristic; };
    waitFor([&] { return ready() || events_->failure.has_value(); });
    if (!ready())
        throw CliError(Exit::Unreachable, "cannot connect to printer at " + where_ + ": " +
                                              (events_->failure ? events_->failure->message
                                                                : "no printer service within " + seconds(options_.timeout)));
}

void Link::fail(const Error& error, std::uint64_t sent, std::uint64_t total) const {
    if (error.code == ErrorCode::FileError) throw CliError(Exit::Input, "cannot spool the job for " + where_ + ": " + error.message);
    if (sent == 0 && opening(error.code)) throw CliError(Exit::Unreachable, "cannot reach printer at " + where_ + ": " + error.message);
    throw CliError(Exit::SendFailed, "link to " + where_ + " broke off after " + std::to_string(sent) + " of " +
                                         std::to_string(total) + " bytes: " + error.message);
}

void Link::deliver(const Data& job, bool confirm) {
    const std::uint64_t total = job.size();
    std::uint64_t sent = 0;
    const auto stopIfInterrupted = [&] {
        if (InterruptCatcher::caught())
            throw CliError(Exit::Interrupted, "interrupted after " + std::to_string(sent) + " of " + std::to_string(total) + " bytes");
    };
    const auto settle = [&](const JobOutcome& outcome) {
        sent += outcome.bytesSent;
        stopIfInterrupted();
        if (!outcome) fail(*outcome.error, sent, total);
    };
    ProgressBar bar(total);
    events_->onProgress = [&](std::uint64_t written) { bar.update(sent + written); };
    if (options_.spool) {
        const SpoolDirectory folder;
        sdk_.Zip(true);
        sdk_.PrintData(job);
        stopIfInterrupted();
        sdk_.Zip(false);
        // What the link accepted is the compressed job; the whole job went when all of it did.
        const JobOutcome outcome = sdk_.WaitUntilSent(options_.timeout);
        settle(outcome.error ? outcome : JobOutcome{std::nullopt, total, std::nullopt});
    }
    for (std::size_t offset = 0; offset < job.size() && !options_.spool; offset += slice) {
        stopIfInterrupted();
        const auto begin = job.begin() + static_cast<std::ptrdiff_t>(offset);
        sdk_.PrintData(Data(begin, begin + static_cast<std::ptrdiff_t>(std::min(slice, job.size() - offset))));
        settle(sdk_.WaitUntilSent(options_.timeout));
    }
    events_->onProgress = nullptr;
    if (!confirm) return;
    const JobOutcome outcome = sdk_.ConfirmPrinted(options_.timeout);
    if (!outcome.error) return;
    if (outcome.error->code == ErrorCode::NoStatus)
        throw CliError(Exit::Unreachable, "printer at " + where_ + " gave no status after the job: " + outcome.error->message);
    if (outcome.error->code == ErrorCode::PrinterNotReady)
        throw CliError(Exit::NotReady, "printer at " + where_ + " cannot print: " +
                                           (outcome.status ? conditions(*outcome.status) : outcome.error->message));
    fail(*outcome.error, sent, total);
}

PrinterStatus Link::readStatus() {
    const Result<PrinterStatus> status = sdk_.ReadStatus(options_.timeout);
    if (!status) throw CliError(Exit::Unreachable, "printer at " + where_ + " gave no status: " + status.error().message);
    return *status;
}

Data buildJob(const std::function<void(Orvik&)>& job) {
    Orvik dry;
    dry.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
    const auto recorder = std::make_shared<RecordingSocket>();
    dry.TCPDevice = recorder;
    job(dry);
    return std::move(recorder->bytes);
}

std::string conditions(const PrinterStatus& status) {
    std::string causes;
    for (const auto& [present, cause] : {std::pair{!status.online, "off-line"}, {status.coverOpen, "cover open"},
                                         {status.paperEnd, "paper out"}, {status.error, "printer error"}})
        if (present) causes += (causes.empty() ? "" : ", ") + std::string(cause);
    return causes;
}

std::string whyUnusable(ManagerState state) {
    switch (state) {
        case ManagerState::poweredOff: return "Bluetooth is powered off";
        case ManagerState::unsupported: return "this system has no Bluetooth LE adapter";
        case ManagerState::unauthorized: return "this user may not use Bluetooth";
        case ManagerState::resetting: return "the Bluetooth adapter is resetting";
        case ManagerState::unknown:
        case ManagerState::poweredOn: break;
    }
    return "no Bluetooth adapter answered";
}

std::string seconds(std::chrono::milliseconds wait) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(wait.count()) / 1000.0);
    return text;
}

}  // namespace OrvikFramework::Cli
