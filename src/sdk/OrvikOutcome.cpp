// What became of a job: the bytes the link accepted, its first error, and the observer's reports.
#include <orvik/Orvik.h>

#include <orvik/RunLoop.h>

namespace OrvikFramework {
namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds remaining(Clock::time_point deadline) {
    return std::max(std::chrono::milliseconds(0), std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
}

// The conditions that keep a printer from printing, in words, or empty when it can print.
std::string notReadyReasons(const PrinterStatus& status) {
    std::string reasons;
    const auto add = [&reasons](bool present, const char* words) {
        if (!present) return;
        if (!reasons.empty()) reasons += ", ";
        reasons += words;
    };
    add(status.paperEnd, "paper end");
    add(status.coverOpen, "cover open");
    add(!status.online, "offline");
    add(status.error, "printer error");
    return reasons;
}

}  // namespace

void Orvik::setObserver(std::shared_ptr<OrvikObserver> observer) { observer_ = std::move(observer); }

void Orvik::accepted(std::uint64_t bytes) {
    if (bytes == 0) return;
    job_.bytesSent += bytes;
    if (observer_) observer_->bytesWritten(job_.bytesSent);
}

void Orvik::failed(Error error) {
    // Writes refused because the link dropped are explained better by the loss that follows them.
    const bool explainsEarlier =
        error.code == ErrorCode::LinkLost && job_.error && job_.error->code == ErrorCode::WriteFailed;
    if (!job_.error || explainsEarlier) job_.error = std::move(error);
}

void Orvik::endJob() {
    staleConfirmations_ += job_.awaitingConfirmation.size();
    job_ = {};
}

std::optional<Error> Orvik::bluetoothUnavailable() const {
    if (!BLEManager) return Error{ErrorCode::BluetoothUnavailable, "no Bluetooth service on this system"};
    if (const auto reason = BLEManager->unavailableReason()) {
        return Error{ErrorCode::BluetoothUnavailable, reason->localizedDescription};
    }
    return std::nullopt;
}

void Orvik::reportBluetoothUnavailable() {
    const auto error = bluetoothUnavailable();
    if (!error) return;
    failed(*error);
    if (observer_) observer_->connectionFailed(*error);
}

// Progress and the fate of the connection reach the observer; the job's error is read from the socket itself, so
// a socket the application put in TCPDevice is judged the same way.
void Orvik::watchConnection(TcpSocket& socket) {
    const std::weak_ptr<int> alive = lifetime_;
    socket.events.opened = [this, alive] {
        if (!alive.expired() && observer_) observer_->connectionOpened();
    };
    socket.events.failed = [this, alive](const Error& error, bool wasOpen) {
        if (alive.expired() || !observer_) return;
        if (wasOpen) observer_->linkLost(error);
        else observer_->connectionFailed(error);
    };
    socket.events.progress = [this, alive](std::uint64_t accepted) {
        if (!alive.expired() && observer_) observer_->bytesWritten(job_.bytesSent + accepted);
    };
}

void Orvik::peripheralDidWriteValueFor(Peripheral&, const std::shared_ptr<Characteristic>&,
                                       const std::optional<PlatformError>& error) {
    std::size_t size = 0;
    if (staleConfirmations_ > 0) {
        --staleConfirmations_;
    } else if (!job_.awaitingConfirmation.empty()) {
        size = job_.awaitingConfirmation.front();
        job_.awaitingConfirmation.pop_front();
    }
    if (!error) {
        accepted(size);
        return;
    }
    const Error failure{ErrorCode::WriteFailed, "a write of " + std::to_string(size) + " bytes failed: " +
                                                    error->localizedDescription};
    failed(failure);
    if (observer_) observer_->writeFailed(failure);
}

JobOutcome Orvik::WaitUntilSent(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    // Held locally: the run loop may run callbacks that replace the properties.
    const auto manager = BLEManager;
    const auto socket = TCPDevice;
    const bool overBluetooth = !bZip && InterfaceType == WIRELESSS_INTERFACE::BLUETOOTH;
    const bool overTcp = !bZip && InterfaceType && !overBluetooth;
    if (overBluetooth) reportBluetoothUnavailable();
    // Reports already queued (a lost link, a failed write) belong to this job.
    while (Clock::now() < deadline && RunLoop::main().runOnce(std::chrono::milliseconds(0))) {
    }
    const bool settled = RunLoop::main().runUntil(
        [&] {
            if (job_.error) return true;
            // TCP sends return once written; a connection that was only asked for must open or fail first.
            if (overTcp && socket) return socket->lastError() || socket->isOpen() || !socket->outputStream;
            return job_.awaitingConfirmation.empty() && (!manager || manager->pendingWrites() == 0);
        },
        remaining(deadline));
    if (overTcp && socket && socket->lastError()) failed(*socket->lastError());
    if (!settled) {
        failed({ErrorCode::TimedOut, "the link did not take everything within " + std::to_string(timeout.count()) + " ms"});
    }
    JobOutcome outcome{job_.error, job_.bytesSent, std::nullopt};
    endJob();
    return outcome;
}

JobOutcome Orvik::ConfirmPrinted(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    JobOutcome outcome = WaitUntilSent(timeout);
    if (!outcome) return outcome;
    const Result<PrinterStatus> status = ReadStatus(remaining(deadline));
    // The requests are no part of the next job.
    endJob();
    if (!status) {
        outcome.error = status.error();
        return outcome;
    }
    outcome.status = *status;
    if (!status->canPrint()) {
        outcome.error = Error{ErrorCode::PrinterNotReady, "the printer reports: " + notReadyReasons(*status)};
    }
    return outcome;
}

}  // namespace OrvikFramework
