#include "BluetoothLink.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <orvik/Documents.h>
#include <orvik/RunLoop.h>

#include "CliError.h"
#include "LogTap.h"
#include "Progress.h"

namespace OrvikFramework::Cli {
namespace {

// A private Documents directory for the spool file, so a job never lands in, or replaces, the user's files.
class SpoolDirectory {
public:
    SpoolDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvik-spool-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw CliError(Exit::Input, "cannot create a folder for the spool file");
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

// The SDK's lines that mean part of the job did not go out.
bool isFailureLine(std::string_view line) {
    return line.starts_with("BLE write refused") || line.starts_with("Orvik: ") || line.starts_with("Error creating file");
}

class BluetoothLink final : public Link {
public:
    BluetoothLink(LinkedOrvik& sdk, std::string where, const LinkOptions& options)
        : sdk_(sdk), where_(std::move(where)), options_(options) {}

    void deliver(const std::function<void(Orvik&)>& job) override {
        std::vector<std::string> failures;
        const std::uint64_t total = measureJob(job);
        {
            LogTap tap([&failures](std::string_view line) {
                if (isFailureLine(line)) failures.emplace_back(line);
            });
            if (options_.spool) {
                SpoolDirectory folder;
                sdk_.Zip(true);
                job(sdk_);
                sdk_.Zip(false);
            } else {
                job(sdk_);
            }
        }
        const std::uint64_t sent = waitUntilWritten(total);
        if (sdk_.linkLost)
            throw CliError(Exit::SendFailed, "link to " + where_ + " broke off after about " + std::to_string(sent) + " of " +
                                                 std::to_string(total) + " bytes: " + lostReason());
        if (!failures.empty()) throw CliError(Exit::SendFailed, "the job to " + where_ + " was not sent whole: " + failures.front());
        sdk_.Disconnect();
        RunLoop::main().runUntil([this] { return sdk_.linkLost; }, options_.timeout);
    }

private:
    // Runs the loop until the stack has written every queued piece; a stall longer than the time-out ends the wait.
    // Returns about how many of the job's bytes were written.
    std::uint64_t waitUntilWritten(std::uint64_t total) {
        const auto manager = sdk_.BLEManager;
        const std::size_t queued = manager ? manager->pendingWrites() : 0;
        ProgressBar bar(total);
        const auto written = [&] {
            const std::size_t pending = manager ? manager->pendingWrites() : 0;
            return queued == 0 ? total : total * (queued - std::min(pending, queued)) / queued;
        };
        std::size_t pending = queued;
        while (pending > 0 && !sdk_.linkLost) {
            const bool moved = RunLoop::main().runUntil(
                [&] {
                    bar.update(written());
                    return sdk_.linkLost || manager->pendingWrites() != pending;
                },
                options_.timeout);
            if (!moved) {
                sdk_.linkLost = true;
                sdk_.linkError = "the printer took nothing for " + seconds(options_.timeout);
                break;
            }
            pending = manager->pendingWrites();
        }
        return written();
    }

    std::string lostReason() const { return sdk_.linkError.empty() ? "the printer disconnected" : sdk_.linkError; }

    LinkedOrvik& sdk_;
    std::string where_;
    LinkOptions options_;
};

}  // namespace

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

std::unique_ptr<Link> openBluetoothLink(LinkedOrvik& sdk, const PrinterUri& uri, const std::string& where,
                                        const LinkOptions& options) {
    sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, options.mtu, uri.name, "");
    if (!sdk.BLEManager) throw CliError(Exit::Unreachable, "cannot reach printer at " + where + ": no Bluetooth service on this system");
    RunLoop::main().runUntil([&sdk] { return sdk.BLEDevice != nullptr; }, options.timeout);
    if (!sdk.BLEDevice) {
        sdk.BLEDeviceScanStop();
        if (sdk.BLEManager->state() != ManagerState::poweredOn)
            throw CliError(Exit::Unreachable, "cannot reach printer at " + where + ": " + whyUnusable(sdk.BLEManager->state()));
        throw CliError(Exit::Unreachable, "no Bluetooth LE printer named \"" + uri.name + "\" found within " + seconds(options.timeout));
    }
    sdk.Connect("", 0);
    RunLoop::main().runUntil([&sdk] { return (sdk.RXCharacteristic && sdk.TXCharacteristic) || sdk.linkLost; }, options.timeout);
    if (!sdk.RXCharacteristic || !sdk.TXCharacteristic) {
        const std::string reason = sdk.linkError.empty() ? "no printer service within " + seconds(options.timeout) : sdk.linkError;
        throw CliError(Exit::Unreachable, "cannot connect to printer at " + where + ": " + reason);
    }
    return std::make_unique<BluetoothLink>(sdk, where, options);
}

}  // namespace OrvikFramework::Cli
