#pragma once

// What needs the system's Bluetooth and Wi-Fi (D-Bus) or the virtual printer (FreeType). The full program does it;
// the lean `orvik` that prints over TCP, USB, serial, files and CUPS hands it to the full one instead, so its print
// path loads none of those libraries.
#include <functional>
#include <string>

#include <orvik/vprinter/Server.h>

namespace OrvikFramework::Cli {

/// The name the in-process virtual printer answers to on simulated Bluetooth LE.
inline constexpr const char* virtualPrinterName = "Orvik Virtual Printer";

/// Runs `work` on the system's Bluetooth and Wi-Fi, or, with `virtualPrinterDir`, on an in-process virtual printer
/// whose receipts go into that folder.
void withBackend(const std::string& virtualPrinterDir, const std::function<void()>& work);

/// Serves the virtual printer until the process is stopped, announcing each receipt on standard output.
void servePrinter(const VirtualPrinter::ServerOptions& options, int paperMm);

}  // namespace OrvikFramework::Cli
