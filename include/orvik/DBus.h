#pragma once

#include <optional>
#include <string>

namespace OrvikFramework {

/// Chooses the bus of the BlueZ and NetworkManager back-ends: the system bus when absent (the default), otherwise
/// the bus at this D-Bus address. Takes effect for back-ends created afterwards.
void setDBusAddress(std::optional<std::string> address);

}  // namespace OrvikFramework
