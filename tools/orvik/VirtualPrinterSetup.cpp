#include "VirtualPrinterSetup.h"

#include <cstdio>
#include <filesystem>

#include <orvik/Platform.h>

#include "CliError.h"

namespace OrvikFramework::Cli {
namespace {

VirtualPrinter::ServerOptions optionsFor(const std::string& outDir) {
    VirtualPrinter::ServerOptions options;
    options.outDir = outDir;
    return options;
}

}  // namespace

void startServer(VirtualPrinter::Server& server) {
    // Made here too, so that a folder that cannot be made is named with its reason.
    if (const auto& outDir = server.options().outDir) {
        std::error_code error;
        std::filesystem::create_directories(*outDir, error);
        if (error) throw CliError(Exit::Input, "the virtual printer cannot create " + outDir->string() + ": " + error.message());
    }
    if (!server.start())
        throw CliError(Exit::Input, "the virtual printer cannot listen on " + server.options().host + ":" +
                                        std::to_string(server.options().port));
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
