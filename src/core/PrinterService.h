#pragma once

// The printer's Bluetooth LE service: the SDK looks for it and the simulated printer offers it.
#include <string_view>

namespace OrvikFramework::PrinterService {

inline constexpr std::string_view service = "6E400001-B5A3-F393-E0A9-E50E24DCCA9E";
/// Written with the printer's commands.
inline constexpr std::string_view rx = "6E400002-B5A3-F393-E0A9-E50E24DCCA9E";
/// Notifies the printer's answers.
inline constexpr std::string_view tx = "6E400003-B5A3-F393-E0A9-E50E24DCCA9E";

}  // namespace OrvikFramework::PrinterService
