#include "ScanCommand.h"

#include <algorithm>
#include <memory>

#include <orvik/BLEPeripheral.h>
#include <orvik/Platform.h>
#include <orvik/RunLoop.h>

#include "Link.h"
#include "CliError.h"

namespace OrvikFramework::Cli {
namespace {

class ScanListener final : public CentralManagerDelegate {
public:
    void centralManagerDidUpdateState(CentralManager& central) override {
        if (central.state() == ManagerState::poweredOn) central.scanForPeripherals(std::nullopt, ScanOptions{true});
    }
    void centralManagerDidDiscover(CentralManager&, const std::shared_ptr<Peripheral>& peripheral, const AdvertisementData&,
                                   double RSSI) override {
        if (!peripheral) return;
        const BLEPeripheral record(peripheral, static_cast<std::int32_t>(std::clamp(RSSI, -127.0, 127.0)));
        const auto same = std::find_if(heard_.begin(), heard_.end(), [&](const auto& seen) { return seen.first->isEqual(*peripheral); });
        if (same == heard_.end()) {
            heard_.emplace_back(peripheral, ScanRow{record.name(), peripheral->address(), record.RSSI});
        } else {
            same->second.RSSI = std::max(same->second.RSSI, record.RSSI);
            same->second.name = record.name();
        }
    }
    void centralManagerDidConnect(CentralManager&, const std::shared_ptr<Peripheral>&) override {}
    void centralManagerDidDisconnectPeripheral(CentralManager&, const std::shared_ptr<Peripheral>&,
                                               const std::optional<PlatformError>&) override {}
    void centralManagerDidFailToConnect(CentralManager&, const std::shared_ptr<Peripheral>&,
                                        const std::optional<PlatformError>&) override {}

    std::vector<ScanRow> rows() const {
        std::vector<ScanRow> rows;
        for (const auto& seen : heard_) rows.push_back(seen.second);
        std::stable_sort(rows.begin(), rows.end(), [](const ScanRow& a, const ScanRow& b) { return a.RSSI > b.RSSI; });
        return rows;
    }

private:
    std::vector<std::pair<std::shared_ptr<Peripheral>, ScanRow>> heard_;
};

}  // namespace

std::vector<ScanRow> scanPrinters(std::chrono::milliseconds duration) {
    ScanListener listener;
    const auto& makeManager = Platform::backend().makeCentralManager;
    const auto manager = makeManager ? makeManager(&listener) : nullptr;
    if (!manager) throw CliError(Exit::Unreachable, "cannot scan: no Bluetooth service on this system");
    RunLoop::main().runUntil([] { return false; }, duration);
    const ManagerState state = manager->state();
    manager->stopScan();
    manager->setDelegate(nullptr);
    if (state != ManagerState::poweredOn) throw CliError(Exit::Unreachable, "cannot scan: " + whyUnusable(state));
    return listener.rows();
}

std::string scanTable(const std::vector<ScanRow>& rows) {
    std::size_t nameWidth = 4;
    for (const ScanRow& row : rows) nameWidth = std::max(nameWidth, row.name.size());
    const auto line = [nameWidth](const std::string& name, const std::string& address, const std::string& rssi) {
        return name + std::string(nameWidth - name.size() + 2, ' ') + address + std::string(19 - std::min<std::size_t>(17, address.size()), ' ') +
               rssi + "\n";
    };
    std::string table = line("NAME", "ADDRESS", "RSSI");
    for (const ScanRow& row : rows) table += line(row.name, row.address.empty() ? "-" : row.address, std::to_string(row.RSSI));
    return table;
}

}  // namespace OrvikFramework::Cli
