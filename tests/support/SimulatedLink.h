#pragma once

#include <memory>
#include <string>
#include <vector>

#include <orvik/Orvik.h>
#include <orvik/Platform.h>
#include <orvik/sim/Simulator.h>

namespace OrvikFramework::Testing {

// Installs a simulated Bluetooth adapter and hotspot manager for the lifetime of the object.
class SimulatedLink {
public:
    SimulatedLink();
    ~SimulatedLink();
    SimulatedLink(const SimulatedLink&) = delete;
    SimulatedLink& operator=(const SimulatedLink&) = delete;

    /// Adds a printer whose every RX write is recorded in `writes`.
    SimulatedPrinter& addPrinter(std::optional<std::string> name, std::int64_t RSSI = -50);
    /// Adds a device that offers no printer service.
    void addAdvertiser(std::optional<std::string> name);
    /// Every byte the printers received, in order.
    Data received() const;
    /// Sets up BLUETOOTH for `name`, waits for the scan to pick it, connects and waits for discovery.
    bool bringUp(Orvik& sdk, const std::string& name);

    std::shared_ptr<SimulatedBluetooth> bluetooth = std::make_shared<SimulatedBluetooth>();
    std::shared_ptr<SimulatedHotspot> hotspot = std::make_shared<SimulatedHotspot>();
    std::vector<Data> writes;

private:
    PlatformBackend previous_;
    std::vector<std::unique_ptr<SimulatedPrinter>> printers_;
};

/// Runs the main loop until nothing is left to do.
void drainMainLoop();

}  // namespace OrvikFramework::Testing
