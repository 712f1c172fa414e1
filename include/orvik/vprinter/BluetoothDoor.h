#pragma once

#include <memory>
#include <string>
#include <vector>

#include <orvik/sim/Simulator.h>
#include <orvik/vprinter/Server.h>

namespace OrvikFramework::VirtualPrinter {

/// The virtual printer's Bluetooth LE front door: a simulated printer peripheral on `adapter` whose written values
/// are decoded and printed by `server`, and whose status replies, from the server's printer state, go back as TX
/// notifications.
class BluetoothDoor {
public:
    BluetoothDoor(SimulatedBluetooth& adapter, const std::string& name, Server& server);

    /// Ends the job in progress, so that a receipt without a cut is printed too.
    void finish();
    /// Every command decoded so far.
    const std::vector<Command>& commands() const { return session_->commands(); }
    SimulatedPrinter& printer() { return *printer_; }

private:
    std::string source_;
    std::unique_ptr<PrintSession> session_;
    std::unique_ptr<SimulatedPrinter> printer_;
};

}  // namespace OrvikFramework::VirtualPrinter
