#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <orvik/Error.h>

namespace OrvikFramework {

class BLEPeripheral;

/// Receives what happens to the link and the job, on the main run loop. Override what you need; every default does
/// nothing. Set one with Orvik::setObserver; without one the SDK behaves as it always did.
class OrvikObserver {
public:
    virtual ~OrvikObserver() = default;
    /// The TCP connection is open (both streams).
    virtual void connectionOpened() {}
    /// The TCP connection could not be opened.
    virtual void connectionFailed(const Error& error) { (void)error; }
    /// An open link broke off (TCP reset or closed by the printer, Bluetooth link dropped).
    virtual void linkLost(const Error& error) { (void)error; }
    /// The scan found the Bluetooth printer named in InitSDK.
    virtual void printerFound(const BLEPeripheral& printer) { (void)printer; }
    /// The Bluetooth printer is connected and its service and characteristics are found: ready to print.
    virtual void printerConnected() {}
    /// The Bluetooth printer is disconnected; `error` is absent when the application asked for it.
    virtual void printerDisconnected(const std::optional<Error>& error) { (void)error; }
    /// One write was refused by the stack or failed later; its bytes are not printed.
    virtual void writeFailed(const Error& error) { (void)error; }
    /// The printer's Wi-Fi access point was joined.
    virtual void wifiJoined() {}
    /// The access point could not be joined; the error carries the platform's words.
    virtual void wifiJoinFailed(const Error& error) { (void)error; }
    /// Bytes the link has accepted since the job began (the last successful wait), for progress.
    virtual void bytesWritten(std::uint64_t total) { (void)total; }
};

}  // namespace OrvikFramework
