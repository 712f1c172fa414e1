#pragma once

#include <memory>
#include <optional>
#include <string>

#include <sdbus-c++/sdbus-c++.h>

#include <orvik/RunLoop.h>

namespace OrvikFramework {

// One bus connection driven by a run loop: its descriptor and time-out are watched there, so every reply and signal
// is handled on the loop's thread and sdbus-c++ needs no thread of its own.
class DBusLink : public std::enable_shared_from_this<DBusLink> {
public:
    // The link the back-ends share, connected on first use to the bus chosen with setDBusAddress(); null, with one
    // log line, when that bus cannot be reached.
    static std::shared_ptr<DBusLink> shared();
    // Connects to the system bus, or to `address`; null, with one log line, when that fails.
    static std::shared_ptr<DBusLink> connect(const std::optional<std::string>& address, RunLoop& loop);

    DBusLink(std::unique_ptr<sdbus::IConnection> connection, RunLoop& loop);
    ~DBusLink();
    DBusLink(const DBusLink&) = delete;
    DBusLink& operator=(const DBusLink&) = delete;

    sdbus::IConnection& connection() { return *connection_; }
    bool connected() const { return watch_.has_value(); }

    // Call after sending: a message queued for output, or one read while waiting for a reply, is not signalled by
    // the descriptor, so the loop must look again.
    void schedulePump();

private:
    void start();
    void pump();
    void rearm();
    void drop(const std::string& why);

    std::unique_ptr<sdbus::IConnection> connection_;
    RunLoop& loop_;
    std::optional<RunLoop::WatchId> watch_;
    std::optional<RunLoop::TimerId> timer_;
    bool pumpPosted_ = false;
};

}  // namespace OrvikFramework
