#include "platform/linux/DBusLink.h"

#include <orvik/DBus.h>
#include <orvik/Log.h>

#include <poll.h>

namespace OrvikFramework {
namespace {

struct SharedLink {
    std::optional<std::string> address;
    std::shared_ptr<DBusLink> link;
};

SharedLink& sharedLink() {
    static SharedLink shared;
    return shared;
}

}  // namespace

void setDBusAddress(std::optional<std::string> address) {
    SharedLink& shared = sharedLink();
    shared.address = std::move(address);
    // Back-ends already created keep the link they hold; new ones connect to the new bus.
    shared.link.reset();
}

std::shared_ptr<DBusLink> DBusLink::shared() {
    SharedLink& shared = sharedLink();
    if (!shared.link || !shared.link->connected()) shared.link = connect(shared.address, RunLoop::main());
    return shared.link;
}

std::shared_ptr<DBusLink> DBusLink::connect(const std::optional<std::string>& address, RunLoop& loop) {
    try {
        auto connection = address ? sdbus::createSessionBusConnectionWithAddress(*address)
                                  : sdbus::createSystemBusConnection();
        auto link = std::make_shared<DBusLink>(std::move(connection), loop);
        link->start();
        return link;
    } catch (const sdbus::Error& error) {
        Log::plain("D-Bus: cannot connect to " + address.value_or("the system bus") + ": " + error.getMessage());
        return nullptr;
    }
}

DBusLink::DBusLink(std::unique_ptr<sdbus::IConnection> connection, RunLoop& loop)
    : connection_(std::move(connection)), loop_(loop) {}

DBusLink::~DBusLink() {
    if (watch_) loop_.unwatchFd(*watch_);
    if (timer_) loop_.cancelTimer(*timer_);
}

void DBusLink::start() {
    const int fd = connection_->getEventLoopPollData().fd;
    std::weak_ptr<DBusLink> weak = weak_from_this();
    watch_ = loop_.watchFd(fd, POLLIN, [weak](short) {
        if (auto self = weak.lock()) self->pump();
    });
    rearm();
}

void DBusLink::schedulePump() {
    if (pumpPosted_ || !connected()) return;
    pumpPosted_ = true;
    std::weak_ptr<DBusLink> weak = weak_from_this();
    loop_.post([weak] {
        if (auto self = weak.lock()) {
            self->pumpPosted_ = false;
            self->pump();
        }
    });
}

void DBusLink::pump() {
    if (!connected()) return;
    // A handler may drop the last other reference to this link.
    const auto keep = shared_from_this();
    try {
        while (connection_->processPendingRequest()) {
        }
    } catch (const sdbus::Error& error) {
        drop(error.getMessage());
        return;
    }
    rearm();
}

void DBusLink::rearm() {
    if (!connected()) return;
    sdbus::IConnection::PollData poll;
    try {
        poll = connection_->getEventLoopPollData();
    } catch (const sdbus::Error& error) {
        drop(error.getMessage());
        return;
    }
    loop_.setWatchEvents(*watch_, poll.events);
    if (timer_) loop_.cancelTimer(*timer_);
    timer_.reset();
    if (const auto relative = poll.getRelativeTimeout()) {
        std::weak_ptr<DBusLink> weak = weak_from_this();
        timer_ = loop_.addTimer(std::chrono::ceil<std::chrono::milliseconds>(*relative), [weak] {
            if (auto self = weak.lock()) {
                self->timer_.reset();
                self->pump();
            }
        });
    }
}

void DBusLink::drop(const std::string& why) {
    Log::plain("D-Bus: connection lost: " + why);
    if (watch_) loop_.unwatchFd(*watch_);
    if (timer_) loop_.cancelTimer(*timer_);
    watch_.reset();
    timer_.reset();
}

}  // namespace OrvikFramework
