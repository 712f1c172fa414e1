#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace OrvikFramework::Bench {

// A receiver on 127.0.0.1 that reads and discards whatever its clients send, one client after another, until the
// object is destroyed.
class LoopbackSink {
public:
    LoopbackSink();
    ~LoopbackSink();
    LoopbackSink(const LoopbackSink&) = delete;
    LoopbackSink& operator=(const LoopbackSink&) = delete;

    int port() const { return port_; }
    std::uint64_t received() const { return received_.load(); }
    // A plain blocking client socket connected to the sink.
    int connectClient() const;

private:
    void serve();

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> received_{0};
    std::thread thread_;
};

}  // namespace OrvikFramework::Bench
