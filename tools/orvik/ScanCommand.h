#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace OrvikFramework::Cli {

/// One advertiser heard by a scan, with its strongest signal.
struct ScanRow {
    std::string name;
    std::string address;
    std::int32_t RSSI = 0;
};

/// Listens for Bluetooth LE advertisers for `duration`, strongest first; throws CliError (unreachable) when there
/// is no Bluetooth service or the radio is off.
std::vector<ScanRow> scanPrinters(std::chrono::milliseconds duration);

/// The rows as an aligned table with a heading.
std::string scanTable(const std::vector<ScanRow>& rows);

}  // namespace OrvikFramework::Cli
