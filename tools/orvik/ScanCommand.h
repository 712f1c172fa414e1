#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <orvik/BluetoothScan.h>

namespace OrvikFramework::Cli {

/// Listens for Bluetooth LE advertisers for `duration`, strongest first; throws CliError (unreachable) when there
/// is no Bluetooth service or the radio is off.
std::vector<HeardDevice> scanPrinters(std::chrono::milliseconds duration);

/// The devices as an aligned table with a heading.
std::string scanTable(const std::vector<HeardDevice>& rows);

}  // namespace OrvikFramework::Cli
