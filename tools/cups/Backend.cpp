// The CUPS backend "orvik": sends a print job to an ESC/POS printer over the SDK's links, or, run without
// arguments, lists the printers it can find. Progress and printer state go to standard error in the scheduler's
// "INFO:"/"STATE:" lines; the exit code tells the scheduler what to do with the job.
#include <fcntl.h>
#include <unistd.h>

#include <cups/backend.h>
#include <cups/cups.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <orvik/BluetoothScan.h>
#include <orvik/Observer.h>
#include <orvik/Orvik.h>
#include <orvik/PrinterAddress.h>
#include <orvik/UsbPrinters.h>
#include <orvik/RunLoop.h>

#include "Messages.h"

namespace {

using namespace OrvikFramework;
using Cups::report;
using namespace std::chrono_literals;

constexpr std::string_view scheme = "orvik:";
// A receipt job is small; anything larger is not one, and must not exhaust the spooler's memory.
constexpr std::size_t largestJob = 64 * 1024 * 1024;
constexpr std::size_t slice = 16 * 1024;
constexpr int mostCopies = 100;
constexpr auto stepTimeout = 30s;
constexpr auto statusTimeout = 2s;

class Events final : public OrvikObserver {
public:
    void connectionOpened() override { opened = true; }
    void printerConnected() override { opened = true; }
    void connectionFailed(const Error& error) override { keep(error); }
    void linkLost(const Error& error) override { keep(error); }
    void printerDisconnected(const std::optional<Error>& error) override {
        if (error) keep(*error);
    }
    bool opened = false;
    std::optional<Error> failure;

private:
    void keep(const Error& error) {
        if (!failure) failure = error;
    }
};

// The printer at `address` behind the SDK object, ready for the job.
std::optional<Error> openLink(Orvik& sdk, Events& events, std::string_view address) {
    const Result<PrinterAddress> where = parsePrinterAddress(address);
    if (!where) return where.error();
    if (const Status failure = sdk.Open(address, stepTimeout)) return failure;
    // A device or file is open already; the radios and the network answer on the run loop.
    const auto kind = where->kind;
    if (kind == PrinterAddress::Kind::Usb || kind == PrinterAddress::Kind::Serial || kind == PrinterAddress::Kind::File)
        return std::nullopt;
    RunLoop::main().runUntil([&] { return events.opened || events.failure; }, stepTimeout);
    if (events.failure) return events.failure;
    if (!events.opened) return Error{ErrorCode::TimedOut, "no answer from the printer"};
    return std::nullopt;
}

// The job from the named file, or standard input; absent when it cannot be read or is too large.
std::optional<Data> readJob(const char* path) {
    const int fd = path ? ::open(path, O_RDONLY | O_CLOEXEC) : STDIN_FILENO;
    if (fd < 0) return std::nullopt;
    Data job;
    std::uint8_t buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && job.size() <= largestJob) job.insert(job.end(), buffer, buffer + n);
    if (path) ::close(fd);
    if (n < 0 || job.size() > largestJob) return std::nullopt;
    return job;
}

// Sets the scheduler's printer-state-reasons to what the printer reports, clearing the ones it no longer does.
void reportState(const PrinterStatus& status) {
    const std::pair<bool, const char*> reasons[] = {
        {status.paperEnd, "media-empty-error"},
        {status.paperNearEnd, "media-low-warning"},
        {status.coverOpen, "cover-open-error"},
        {!status.online && !status.paperEnd && !status.coverOpen, "offline-report"},
        {status.error, "other-error"},
    };
    std::string present;
    std::string absent;
    for (const auto& [on, reason] : reasons) (on ? present : absent) += std::string(",") + reason;
    if (!present.empty()) report("STATE: +%s", present.c_str() + 1);
    if (!absent.empty()) report("STATE: -%s", absent.c_str() + 1);
}

int printJob(std::string_view address, const Data& job, int copies) {
    Orvik sdk;
    const auto events = std::make_shared<Events>();
    sdk.setObserver(events);
    report("STATE: +connecting-to-device");
    if (const auto error = openLink(sdk, *events, address)) {
        report("ERROR: cannot reach the printer at %.*s: %s", static_cast<int>(address.size()), address.data(), error->message.c_str());
        // A printer that may come back gets the job later; an address that can never work stops the queue.
        return error->code == ErrorCode::InvalidArgument ? CUPS_BACKEND_STOP : CUPS_BACKEND_RETRY;
    }
    report("STATE: -connecting-to-device");
    // Nothing is sent to a printer that says it cannot print, so the retried job does not print twice.
    const Result<PrinterStatus> before = sdk.ReadStatus(statusTimeout);
    if (before) {
        reportState(*before);
        if (!before->canPrint()) {
            report("ERROR: the printer cannot print now; the job waits");
            return CUPS_BACKEND_RETRY;
        }
    } else {
        report("DEBUG: no status from the printer (%s); sending without it", before.error().message.c_str());
    }
    const std::uint64_t total = job.size() * static_cast<std::uint64_t>(copies);
    std::uint64_t sent = 0;
    for (int copy = 0; copy < copies; ++copy)
        for (std::size_t offset = 0; offset < job.size(); offset += slice) {
            const auto begin = job.begin() + static_cast<std::ptrdiff_t>(offset);
            sdk.PrintData(Data(begin, begin + static_cast<std::ptrdiff_t>(std::min(slice, job.size() - offset))));
            const JobOutcome outcome = sdk.WaitUntilSent(stepTimeout);
            sent += outcome.bytesSent;
            if (!outcome) {
                report("ERROR: the link broke off after %llu of %llu bytes: %s", static_cast<unsigned long long>(sent),
                       static_cast<unsigned long long>(total), outcome.error->message.c_str());
                return CUPS_BACKEND_RETRY;
            }
            report("INFO: sent %llu of %llu bytes", static_cast<unsigned long long>(sent), static_cast<unsigned long long>(total));
        }
    if (!before) return CUPS_BACKEND_OK;
    const JobOutcome after = sdk.ConfirmPrinted(stepTimeout);
    if (after.status) reportState(*after.status);
    if (after.error && after.error->code == ErrorCode::PrinterNotReady) {
        // The job went out but the printer stopped: the administrator's error policy decides whether it is sent again.
        report("ERROR: the printer stopped printing: %s", after.error->message.c_str());
        return CUPS_BACKEND_FAILED;
    }
    return CUPS_BACKEND_OK;
}

std::string idField(const std::string& id, const char* key) {
    const auto at = id.find(std::string(key) + ":");
    if (at == std::string::npos) return {};
    const auto begin = at + std::char_traits<char>::length(key) + 1;
    return id.substr(begin, id.find(';', begin) - begin);
}

void listDevices() {
    for (const UsbPrinter& printer : findUsbPrinters()) {
        const std::string id = printer.deviceId.value_or("");
        std::string makeModel = idField(id, "MFG") + " " + idField(id, "MDL");
        if (makeModel == " ") makeModel = "ESC/POS receipt printer";
        const std::string uri = std::string(scheme) + "usb://" + printer.path;
        cupsBackendReport("direct", uri.c_str(), makeModel.c_str(), ("Receipt printer on " + printer.path).c_str(), id.c_str(), nullptr);
    }
    // A short scan, as the scheduler asks every backend in turn; no Bluetooth here is no error.
    const auto heard = scanBluetooth(std::chrono::seconds(2));
    for (const HeardDevice& device : heard ? *heard : std::vector<HeardDevice>{}) {
        if (device.name.empty() || device.name == "No name") continue;
        const std::string uri = std::string(scheme) + "ble://" + device.name;
        const std::string info = "Bluetooth LE printer " + device.name + (device.address.empty() ? "" : " (" + device.address + ")");
        cupsBackendReport("network", uri.c_str(), "ESC/POS receipt printer", info.c_str(), "", nullptr);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    OrvikFramework::Cups::logToScheduler();
    if (argc == 1) {
        listDevices();
        return CUPS_BACKEND_OK;
    }
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return CUPS_BACKEND_FAILED;
    }
    const char* uri = cupsBackendDeviceURI(argv);
    if (!uri || std::string_view(uri).substr(0, scheme.size()) != scheme) {
        report("ERROR: the device URI must be orvik: followed by a printer address");
        return CUPS_BACKEND_STOP;
    }
    // Copies of a named file are made here; the filters have already made them of a job on standard input.
    const int copies = argc == 7 ? std::clamp(std::atoi(argv[4]), 1, mostCopies) : 1;
    const std::optional<Data> job = readJob(argc == 7 ? argv[6] : nullptr);
    if (!job) {
        report("ERROR: cannot read the job, or it is larger than %zu bytes", largestJob);
        return CUPS_BACKEND_FAILED;
    }
    return printJob(std::string_view(uri).substr(scheme.size()), *job, copies);
}
