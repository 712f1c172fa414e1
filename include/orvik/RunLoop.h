#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace OrvikFramework {

/// Single-threaded poll(2) loop: watched file descriptors, posted work items and one-shot timers.
class RunLoop {
public:
    using WatchId = std::uint64_t;
    using TimerId = std::uint64_t;
    /// Called with the poll(2) revents of a ready descriptor.
    using FdHandler = std::function<void(short revents)>;
    using Work = std::function<void()>;

    RunLoop();
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    /// The loop of the main thread, on which every SDK callback is delivered.
    static RunLoop& main();

    /// Watches `fd` for the poll(2) `events`; an `events` of 0 keeps the watch but disarms it.
    WatchId watchFd(int fd, short events, FdHandler handler);
    /// Changes the events a watch waits for.
    void setWatchEvents(WatchId watch, short events);
    /// Removes a watch; its handler is not called again, even later in the same iteration.
    void unwatchFd(WatchId watch);

    /// Queues work to run on a later iteration, in posting order.
    void post(Work work);

    /// Runs `work` once after `delay`.
    TimerId addTimer(std::chrono::milliseconds delay, Work work);
    /// Cancels a timer that has not fired yet.
    void cancelTimer(TimerId timer);

    /// Runs until stop() is called.
    void run();
    /// Waits at most `timeout` for something to do, does it, returns whether anything ran.
    bool runOnce(std::chrono::milliseconds timeout);
    /// Runs until `done` returns true or `timeout` has passed; returns whether `done` became true.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    /// Makes run() return after the current iteration.
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace OrvikFramework
