// Real-time status read-back over the current link.
#include <orvik/Orvik.h>

#include <string>

#include <orvik/Log.h>
#include <orvik/RunLoop.h>

#include "core/BleFraming.h"
#include "core/StatusBytes.h"

namespace OrvikFramework {
namespace {

std::string requestName(std::uint8_t kind) { return "DLE EOT " + std::to_string(kind); }

}  // namespace

std::optional<PrinterStatus> Orvik::RequestStatus(std::chrono::milliseconds timeout) {
    if (bZip) {
        Log::plain("Orvik: a status request cannot be spooled; switch spooling off to ask the printer (nothing sent)");
        return std::nullopt;
    }
    if (!InterfaceType) {
        Log::plain("Orvik: no interface chosen; call InitSDK before RequestStatus (nothing sent)");
        return std::nullopt;
    }
    Data answers;
    for (std::uint8_t kind = StatusBytes::firstKind; kind <= StatusBytes::lastKind; ++kind) {
        const std::optional<Data> answer = exchangeStatus(StatusBytes::request(kind), timeout);
        if (!answer) return std::nullopt;
        if (answer->size() != 1 || !StatusBytes::isStatusByte(answer->front())) {
            Log::plain("Orvik: the answer to " + requestName(kind) + " is no printer status: " +
                       (answer->empty() ? "no bytes" : BleFraming::hexDump(*answer)));
            return std::nullopt;
        }
        answers.push_back(answer->front());
    }
    return StatusBytes::decode(answers);
}

// One request and its answer, waited for on the main run loop so that events, and a printer served on the same
// loop, keep running; absent, with a log line, when there is no answer in time.
std::optional<Data> Orvik::exchangeStatus(const Data& request, std::chrono::milliseconds timeout) {
    const std::string name = requestName(request.back());
    const std::string silent = "Orvik: no answer to " + name + " within " + std::to_string(timeout.count()) +
                               " ms; the printer is off, busy or does not report its status";
    if (*InterfaceType == WIRELESSS_INTERFACE::BLUETOOTH) {
        if (!RXCharacteristic || !TXCharacteristic) {
            Log::plain("Orvik: the Bluetooth link to the printer is not ready; " + name + " not sent");
            return std::nullopt;
        }
        const std::uint64_t before = notifications_;
        BLESend(request);
        if (!RunLoop::main().runUntil([&] { return notifications_ != before; }, timeout)) {
            Log::plain(silent);
            return std::nullopt;
        }
        return RecevedData.value_or(Data{});
    }
    // Held locally: the run loop may run callbacks that replace the property.
    const auto socket = TCPDevice;
    if (!socket) {
        Log::plain("Orvik: not connected to the printer; " + name + " not sent");
        return std::nullopt;
    }
    const auto input = socket->inputStream;
    // An answer that came too late for an earlier request would otherwise be taken for this one.
    while (input && input->hasBytesAvailable() && !socket->recv(64).empty()) {
    }
    if (socket->SendData(request) != static_cast<std::int64_t>(request.size())) {
        Log::plain("Orvik: " + name + " could not be sent to the printer");
        return std::nullopt;
    }
    const auto readable = [&input] { return !input || input->hasBytesAvailable() || input->streamError(); };
    if (!RunLoop::main().runUntil(readable, timeout)) {
        Log::plain(silent);
        return std::nullopt;
    }
    Data answer = socket->recv(1);
    if (answer.empty()) {
        Log::plain("Orvik: the connection ended before the printer answered " + name);
        return std::nullopt;
    }
    return answer;
}

}  // namespace OrvikFramework
