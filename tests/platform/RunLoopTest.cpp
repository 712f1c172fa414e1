// Ordering and wake-up behaviour of the poll loop that carries every callback.
#include <cerrno>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include <orvik/RunLoop.h>

#include "support/SysCallFaults.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;

// A pipe whose ends close with the test.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe() { ::close(fds[0]), ::close(fds[1]); }
    void poke() const { EXPECT_EQ(::write(fds[1], "x", 1), 1); }
};

void idle(RunLoop& loop) { loop.runUntil([] { return false; }, 20ms); }

TEST(RunLoop, PostedWorkRunsInOrderWorkPostedMeanwhileWaitsForTheNextTurnAndStopEndsRun) {
    RunLoop loop;
    std::string trace;
    loop.post([&] {
        trace += 'a';
        loop.post([&] { trace += 'c'; });
    });
    loop.post([&] { trace += 'b'; });
    EXPECT_TRUE(loop.runOnce(0ms));
    EXPECT_EQ(trace, "ab");
    EXPECT_TRUE(loop.runOnce(0ms));
    EXPECT_EQ(trace, "abc");
    EXPECT_FALSE(loop.runOnce(0ms));
    // stop() ends run() after the current turn, with a timer still pending.
    loop.post([&] { trace += 'd', loop.stop(); });
    loop.addTimer(5s, [&] { trace += 'e'; });
    loop.run();
    EXPECT_EQ(trace, "abcd");
}

TEST(RunLoop, TimersFireInDeadlineOrderAndCancelledOnesNever) {
    RunLoop loop;
    std::vector<int> fired;
    loop.addTimer(30ms, [&] { fired.push_back(3); });
    const auto cancelled = loop.addTimer(10ms, [&] { fired.push_back(99); });
    loop.addTimer(5ms, [&] { fired.push_back(1); });
    loop.addTimer(20ms, [&] { fired.push_back(2); });
    loop.cancelTimer(cancelled);
    EXPECT_TRUE(loop.runUntil([&] { return fired.size() == 3; }, 5s));
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 3}));
    // A timer can cancel another that is due in the same turn.
    RunLoop::TimerId second = 0;
    loop.addTimer(0ms, [&] { loop.cancelTimer(second); });
    second = loop.addTimer(0ms, [&] { fired.push_back(99); });
    idle(loop);
    EXPECT_EQ(fired.size(), 3u);
}

TEST(RunLoop, WatchesReportReadinessUntilDisarmedOrRemovedEvenInTheSameTurn) {
    RunLoop loop;
    Pipe pipe;
    int calls = 0;
    const auto watch = loop.watchFd(pipe.fds[0], POLLIN, [&](short revents) {
        EXPECT_TRUE(revents & POLLIN);
        ++calls;
    });
    EXPECT_FALSE(loop.runOnce(0ms));
    pipe.poke();
    EXPECT_TRUE(loop.runUntil([&] { return calls > 0; }, 5s));
    loop.setWatchEvents(watch, 0);
    const int disarmedAt = calls;
    idle(loop);
    EXPECT_EQ(calls, disarmedAt);
    loop.setWatchEvents(watch, POLLIN);
    EXPECT_TRUE(loop.runUntil([&] { return calls > disarmedAt; }, 5s));
    loop.unwatchFd(watch);
    const int removedAt = calls;
    idle(loop);
    EXPECT_EQ(calls, removedAt);
    // Both pipes are ready; the first handler removes the other's watch before its turn comes.
    Pipe other;
    other.poke();
    int otherCalls = 0;
    RunLoop::WatchId otherWatch = 0;
    loop.watchFd(pipe.fds[0], POLLIN, [&](short) { loop.unwatchFd(otherWatch); });
    otherWatch = loop.watchFd(other.fds[0], POLLIN, [&](short) { ++otherCalls; });
    idle(loop);
    EXPECT_EQ(otherCalls, 0);
}

TEST(RunLoop, AnInterruptedPollIsRetriedNotTakenForReadiness) {
    static int interruptions;
    interruptions = 2;
    Testing::SysCallFaults faults;
    faults.table().poll = [](pollfd* fds, nfds_t count, int timeoutMs) {
        if (interruptions-- > 0) return errno = EINTR, -1;
        return realSysCalls().poll(fds, count, timeoutMs);
    };
    RunLoop loop;
    Pipe pipe;
    int ready = 0;
    bool timerFired = false;
    loop.watchFd(pipe.fds[0], POLLIN, [&](short) { ++ready; });
    loop.addTimer(5ms, [&] { timerFired = true; });
    EXPECT_TRUE(loop.runUntil([&] { return timerFired; }, 5s));
    EXPECT_EQ(ready, 0);
    EXPECT_LT(interruptions, 0);
}

}  // namespace
}  // namespace OrvikFramework
