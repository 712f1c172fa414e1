#pragma once

#include <optional>
#include <string>
#include <vector>

namespace OrvikFramework {

/// A USB printer-class device node and what it says it is.
struct UsbPrinter {
    std::string path;  ///< e.g. /dev/usb/lp0; its address is usb:// followed by the path
    std::optional<std::string> deviceId;  ///< the IEEE 1284 device ID ("MFG:...;MDL:...;"); absent when it gives none
};

/// The lpN devices in `directory`, in name order, each with the device ID it reports.
std::vector<UsbPrinter> findUsbPrinters(const std::string& directory = "/dev/usb");

}  // namespace OrvikFramework
