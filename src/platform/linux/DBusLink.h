#pragma once

#include <functional>
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

// Calls `method` without waiting: on the link's loop either `onReply` gets the reply or `onError` the error, unless
// the proxy is destroyed first. A reply of an unexpected shape, or a handler that throws, counts as an error, since
// sdbus-c++ would drop the exception silently.
template <typename... Reply, typename... Arguments>
void callAsync(DBusLink& link, sdbus::IProxy& proxy, const std::string& interface, const std::string& method,
               std::function<void(Reply...)> onReply, std::function<void(const sdbus::Error&)> onError,
               Arguments&&... arguments) {
    // The invoker keeps references to the names; they live until the call has been sent.
    sdbus::AsyncMethodInvoker invoker(proxy, method);
    invoker.onInterface(interface).withArguments(std::forward<Arguments>(arguments)...);
    invoker.uponReplyInvoke([onReply = std::move(onReply), onError = std::move(onError)](const sdbus::Error* error,
                                                                                      Reply... reply) {
        if (error) return onError(*error);
        try {
            onReply(std::move(reply)...);
        } catch (const sdbus::Error& unexpected) {
            onError(unexpected);
        } catch (const std::exception& unexpected) {
            onError(sdbus::Error("org.freedesktop.DBus.Error.Failed", std::string("Unexpected reply: ") + unexpected.what()));
        }
    });
    link.schedulePump();
}

// The text to show for a bus error: its message, or its name when it has none.
inline std::string describe(const sdbus::Error& error) {
    return error.getMessage().empty() ? error.getName() : error.getMessage();
}

}  // namespace OrvikFramework
