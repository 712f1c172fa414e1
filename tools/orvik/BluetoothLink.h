#pragma once

#include <memory>
#include <string>

#include "Link.h"

namespace OrvikFramework::Cli {

/// Finds the printer named in a ble:// address, connects and returns the link; throws CliError (unreachable).
std::unique_ptr<Link> openBluetoothLink(LinkedOrvik& sdk, const PrinterUri& uri, const std::string& where,
                                        const LinkOptions& options);

/// Why a radio in `state` cannot be used, as the messages say it.
std::string whyUnusable(ManagerState state);

/// "2.5 s": a wait as the messages show it.
std::string seconds(std::chrono::milliseconds wait);

}  // namespace OrvikFramework::Cli
