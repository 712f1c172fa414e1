#include "VirtualPrinterCommands.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#include <orvik/Platform.h>
#include <orvik/RunLoop.h>
#include <orvik/sim/Simulator.h>
#include <orvik/vprinter/BluetoothDoor.h>

#include "CliError.h"

namespace OrvikFramework::Cli {
namespace {

VirtualPrinter::ServerOptions optionsFor(const std::string& outDir) {
    VirtualPrinter::ServerOptions options;
    options.outDir = outDir;
    return options;
}

// Starts the listener; throws CliError (input) with the reason when it cannot.
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

// The system's Bluetooth and Wi-Fi stand-ins while it lives: ble:// finds the virtual printer by name, wifi:// joins
// any access point.
class VirtualPrinterSetup {
public:
    explicit VirtualPrinterSetup(const std::string& outDir);
    // Prints what is still in progress and puts the system's back-end back.
    ~VirtualPrinterSetup();
    VirtualPrinterSetup(const VirtualPrinterSetup&) = delete;
    VirtualPrinterSetup& operator=(const VirtualPrinterSetup&) = delete;

private:
    std::shared_ptr<SimulatedBluetooth> bluetooth_ = std::make_shared<SimulatedBluetooth>();
    VirtualPrinter::Server server_;
    std::unique_ptr<VirtualPrinter::BluetoothDoor> door_;
};

VirtualPrinterSetup::VirtualPrinterSetup(const std::string& outDir) : server_(optionsFor(outDir)) {
    // Started so that the output folder is made and checked before anything is printed.
    startServer(server_);
    server_.setReceiptHandler([](const VirtualPrinter::PrintedReceipt& printed) {
        if (printed.file) std::printf("virtual printer: %s\n", printed.file->c_str());
    });
    Platform::setBackend(simulatedBackend(bluetooth_, std::make_shared<SimulatedHotspot>()));
    door_ = std::make_unique<VirtualPrinter::BluetoothDoor>(*bluetooth_, virtualPrinterName, server_);
}

VirtualPrinterSetup::~VirtualPrinterSetup() {
    door_->finish();
    Platform::setBackend(Platform::systemBackend());
}

}  // namespace

void withBackend(const std::string& virtualPrinterDir, const std::function<void()>& work) {
    std::optional<VirtualPrinterSetup> virtualPrinter;
    if (!virtualPrinterDir.empty()) virtualPrinter.emplace(virtualPrinterDir);
    work();
}

void servePrinter(const VirtualPrinter::ServerOptions& options, int paperMm) {
    VirtualPrinter::Server server(options);
    server.setReceiptHandler([](const VirtualPrinter::PrintedReceipt& printed) {
        std::printf("receipt %llu from %s: %s\n", static_cast<unsigned long long>(printed.number), printed.source.c_str(),
                    printed.file ? printed.file->c_str() : "(not written)");
        std::fflush(stdout);
    });
    startServer(server);
    std::printf("virtual printer listening on 127.0.0.1:%d, %d mm paper, receipts into %s\n", server.port(), paperMm,
                options.outDir ? options.outDir->c_str() : "(memory)");
    std::fflush(stdout);
    RunLoop::main().run();
}

}  // namespace OrvikFramework::Cli
