// Real-time status read-back over the current link.
#include <orvik/Orvik.h>

#include <string>

#include <orvik/Log.h>
#include <orvik/RunLoop.h>

#include "core/BleFraming.h"
#include "platform/posix/DeviceLink.h"
#include "core/StatusBytes.h"

namespace OrvikFramework {
namespace {

std::string requestName(std::uint8_t kind) { return "DLE EOT " + std::to_string(kind); }

}  // namespace

std::optional<PrinterStatus> Orvik::RequestStatus(std::chrono::milliseconds timeout) {
    Result<PrinterStatus> status = ReadStatus(timeout);
    if (status) return std::move(status).value();
    Log::plain("Orvik: " + status.error().message);
    return std::nullopt;
}

Result<PrinterStatus> Orvik::ReadStatus(std::chrono::milliseconds timeout) {
    if (bZip) {
        return Error{ErrorCode::InvalidArgument,
                     "a status request cannot be spooled; switch spooling off to ask the printer (nothing sent)"};
    }
    if (!InterfaceType && !device_) {
        return Error{ErrorCode::NotConnected, "no interface chosen; call InitSDK before RequestStatus (nothing sent)"};
    }
    Data answers;
    for (std::uint8_t kind = StatusBytes::firstKind; kind <= StatusBytes::lastKind; ++kind) {
        const Result<Data> answer = exchangeStatus(StatusBytes::request(kind), timeout);
        if (!answer) return answer.error();
        if (answer->size() != 1 || !StatusBytes::isStatusByte(answer->front())) {
            return Error{ErrorCode::NoStatus, "the answer to " + requestName(kind) + " is no printer status: " +
                                                  (answer->empty() ? "no bytes" : BleFraming::hexDump(*answer))};
        }
        answers.push_back(answer->front());
    }
    if (std::optional<PrinterStatus> status = decodePrinterStatus(answers)) return std::move(*status);
    return Error{ErrorCode::NoStatus, "the printer's answers are no printer status: " + BleFraming::hexDump(answers)};
}

// One request and its answer, waited for on the main run loop so that events, and a printer served on the same
// loop, keep running.
Result<Data> Orvik::exchangeStatus(const Data& request, std::chrono::milliseconds timeout) {
    const std::string name = requestName(request.back());
    const Error silent{ErrorCode::NoStatus, "no answer to " + name + " within " + std::to_string(timeout.count()) +
                                                " ms; the printer is off, busy or does not report its status"};
    if (device_) {
        if (!device_->answers()) return Error{ErrorCode::NoStatus, "a file gives no printer status; " + name + " not sent"};
        device_->discardInput();
        if (const Status failure = device_->write(request, timeout, {})) return *failure;
        Result<Data> answer = device_->read(1, timeout);
        if (answer && answer->empty()) return silent;
        return answer;
    }
    if (*InterfaceType == WIRELESSS_INTERFACE::BLUETOOTH) {
        if (!RXCharacteristic || !TXCharacteristic) {
            return Error{ErrorCode::NotConnected, "the Bluetooth link to the printer is not ready; " + name + " not sent"};
        }
        const std::uint64_t before = notifications_;
        BLESend(request);
        if (!RunLoop::main().runUntil([&] { return notifications_ != before; }, timeout)) return silent;
        return RecevedData.value_or(Data{});
    }
    // Held locally: the run loop may run callbacks that replace the property.
    const auto socket = TCPDevice;
    if (!socket) return Error{ErrorCode::NotConnected, "not connected to the printer; " + name + " not sent"};
    const auto input = socket->inputStream;
    // An answer that came too late for an earlier request would otherwise be taken for this one.
    while (input && input->hasBytesAvailable() && !socket->recv(64).empty()) {
    }
    if (socket->SendData(request) != static_cast<std::int64_t>(request.size())) {
        return Error{socket->lastError() ? socket->lastError()->code : ErrorCode::WriteFailed,
                     name + " could not be sent to the printer"};
    }
    const auto readable = [&input] { return !input || input->hasBytesAvailable() || input->streamError(); };
    if (!RunLoop::main().runUntil(readable, timeout)) return silent;
    Data answer = socket->recv(1);
    if (answer.empty()) return Error{ErrorCode::LinkLost, "the connection ended before the printer answered " + name};
    return answer;
}

}  // namespace OrvikFramework
