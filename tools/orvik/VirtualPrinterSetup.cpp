#include "VirtualPrinterSetup.h"

#include <cstdio>

#include <orvik/Platform.h>

#include "CliError.h"
#include "LogTap.h"

namespace OrvikFramework::Cli {
namespace {

VirtualPrinter::ServerOptions optionsFor(const std::string& outDir) {
    VirtualPrinter::ServerOptions options;
    options.outDir = outDir;
    return options;
}

}  // namespace

void startServer(VirtualPrinter::Server& server) {
    std::string reason = "unknown reason";
    LogTap tap([&reason](std::string_view line) {
        if (line.starts_with("orvik-printer: cannot ")) reason = line.substr(15);
    });
    if (!server.start()) throw CliError(Exit::Input, "the virtual printer " + reason);
}

VirtualPrinterSetup::VirtualPrinterSetup(const std::string& outDir) : server_(optionsFor(outDir)) {
    // Started so that the output folder is made and checked before anything is printed.
    startServer(server_);
    server_.setReceiptHandler([](const VirtualPrinter::PrintedReceipt& printed) {
        if (printed.file) std::printf("virtual printer: %s\n", printed.file->c_str());
    });
    Platform::setBackend(simulatedBackend(bluetooth_, std::make_shared<SimulatedHotspot>()));
    door_ = std::make_unique<VirtualPrinter::BluetoothDoor>(*bluetooth_, bluetoothName, server_);
}

VirtualPrinterSetup::~VirtualPrinterSetup() {
    door_->finish();
    Platform::setBackend(Platform::systemBackend());
}

}  // namespace OrvikFramework::Cli
