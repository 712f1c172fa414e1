#include <orvik/RunLoop.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <map>
#include <vector>

#include "platform/posix/SysCalls.h"

namespace OrvikFramework {

using Clock = std::chrono::steady_clock;

struct RunLoop::State {
    struct Watch {
        int fd;
        short events;
        FdHandler handler;
    };
    struct Timer {
        TimerId id;
        Work work;
    };
    std::map<WatchId, Watch> watches;
    std::deque<Work> posted;
    std::multimap<Clock::time_point, Timer> timers;
    std::uint64_t nextId = 1;
    bool stopRequested = false;

    // One iteration; a negative timeout waits until something happens.
    bool iterate(int timeoutMs);
    int pollTimeout(int timeoutMs) const;
    bool dispatchFds(int timeoutMs);
    bool fireDueTimers();
    bool runPosted();
};

RunLoop::RunLoop() : state_(std::make_unique<State>()) {}
RunLoop::~RunLoop() = default;

RunLoop& RunLoop::main() {
    // Never destroyed: process-wide objects (the shared bus link, managers held by queued work) unhook from it while
    // statics are torn down at exit, in whatever order.
    static RunLoop* const loop = new RunLoop;
    return *loop;
}

RunLoop::WatchId RunLoop::watchFd(int fd, short events, FdHandler handler) {
    const WatchId id = state_->nextId++;
    state_->watches.emplace(id, State::Watch{fd, events, std::move(handler)});
    return id;
}

void RunLoop::setWatchEvents(WatchId watch, short events) {
    if (auto it = state_->watches.find(watch); it != state_->watches.end()) it->second.events = events;
}

void RunLoop::unwatchFd(WatchId watch) { state_->watches.erase(watch); }

void RunLoop::post(Work work) { state_->posted.push_back(std::move(work)); }

RunLoop::TimerId RunLoop::addTimer(std::chrono::milliseconds delay, Work work) {
    const TimerId id = state_->nextId++;
    state_->timers.emplace(Clock::now() + delay, State::Timer{id, std::move(work)});
    return id;
}

void RunLoop::cancelTimer(TimerId timer) {
    auto& timers = state_->timers;
    auto it = std::find_if(timers.begin(), timers.end(), [timer](const auto& entry) { return entry.second.id == timer; });
    if (it != timers.end()) timers.erase(it);
}

void RunLoop::run() {
    state_->stopRequested = false;
    while (!state_->stopRequested) state_->iterate(-1);
}

bool RunLoop::runOnce(std::chrono::milliseconds timeout) {
    return state_->iterate(static_cast<int>(std::clamp<std::int64_t>(timeout.count(), 0, INT32_MAX)));
}

bool RunLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (remaining.count() <= 0) return done();
        runOnce(remaining);
    }
    return true;
}

void RunLoop::stop() { state_->stopRequested = true; }

int RunLoop::State::pollTimeout(int timeoutMs) const {
    if (!posted.empty()) return 0;
    if (timers.empty()) return timeoutMs;
    const auto untilTimer = std::chrono::ceil<std::chrono::milliseconds>(timers.begin()->first - Clock::now()).count();
    const int timerMs = static_cast<int>(std::clamp<std::int64_t>(untilTimer, 0, INT32_MAX));
    return timeoutMs < 0 ? timerMs : std::min(timeoutMs, timerMs);
}

bool RunLoop::State::iterate(int timeoutMs) {
    const bool handledFds = dispatchFds(pollTimeout(timeoutMs));
    const bool firedTimers = fireDueTimers();
    const bool ranWork = runPosted();
    return handledFds || firedTimers || ranWork;
}

bool RunLoop::State::dispatchFds(int timeoutMs) {
    std::vector<pollfd> fds;
    std::vector<WatchId> ids;
    for (const auto& [id, watch] : watches) {
        // A disarmed watch is left out: poll(2) would report hang-ups on it even with no events asked for.
        if (watch.events == 0) continue;
        fds.push_back(pollfd{watch.fd, watch.events, 0});
        ids.push_back(id);
    }
    const int ready = sys().poll(fds.data(), fds.size(), timeoutMs);
    if (ready <= 0) return false;  // time-out, or EINTR: the next iteration polls again
    bool handled = false;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        // A handler may remove or disarm other watches; those are skipped.
        auto it = watches.find(ids[i]);
        if (it == watches.end() || it->second.events == 0) continue;
        FdHandler handler = it->second.handler;
        handler(fds[i].revents);
        handled = true;
    }
    return handled;
}

bool RunLoop::State::fireDueTimers() {
    // One at a time, so a timer cancelled by an earlier one in this iteration does not fire.
    const auto now = Clock::now();
    bool fired = false;
    while (!timers.empty() && timers.begin()->first <= now) {
        Work work = std::move(timers.begin()->second.work);
        timers.erase(timers.begin());
        work();
        fired = true;
    }
    return fired;
}

bool RunLoop::State::runPosted() {
    // Work posted while this batch runs waits for the next iteration, so a chain of posts cannot starve fds.
    std::deque<Work> batch;
    batch.swap(posted);
    for (auto& work : batch) work();
    return !batch.empty();
}

}  // namespace OrvikFramework
