#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <orvik/Error.h>

namespace OrvikFramework {

/// Where a printer is reached, as one line of text:
///   tcp://HOST[:PORT]                            port 9100 when left out; HOST may be a bracketed IPv6 address
///   wifi://SSID?password=P&host=H&port=N         the printer's access point, then TCP to H:N
///   ble://NAME                                   the Bluetooth LE printer advertising NAME
///   usb:///dev/usb/lpN                           a USB printer-class device
///   serial:///dev/ttyX[?baud=N&flow=F]           baud 9600 (default), 19200, 38400, 57600 or 115200;
///                                                flow none (default), rtscts or xonxoff
///   file:PATH or file:///ABSOLUTE/PATH           a new file the job is saved to; an existing one is refused
/// The scheme is case-insensitive; names, passwords and paths may use %XX escapes.
struct PrinterAddress {
    enum class Kind { Tcp, Wifi, Ble, Usb, Serial, File };
    enum class Flow { None, RtsCts, XonXoff };
    Kind kind = Kind::Tcp;
    std::string host;  ///< tcp, wifi
    std::int64_t port = 0;  ///< tcp, wifi
    std::string ssid;  ///< wifi
    std::string password;  ///< wifi; empty for an open access point
    std::string name;  ///< ble
    std::string path;  ///< usb, serial, file
    std::int64_t baud = 9600;  ///< serial
    Flow flow = Flow::None;  ///< serial
};

/// The parsed address, or InvalidArgument saying what is wrong (with any password masked).
Result<PrinterAddress> parsePrinterAddress(std::string_view text);

/// The address as it may be shown: every password= value replaced by ***.
std::string maskPassword(std::string_view address);

}  // namespace OrvikFramework
