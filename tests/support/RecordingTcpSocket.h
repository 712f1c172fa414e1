#pragma once

#include <vector>

#include <orvik/TcpSocket.h>

namespace OrvikFramework::Testing {

// A TcpSocket that records every buffer handed to SendData instead of writing it.
class RecordingTcpSocket : public TcpSocket {
public:
    std::int64_t SendData(const Data& data) override {
        pieces.push_back(data);
        return static_cast<std::int64_t>(data.size());
    }
    std::vector<Data> pieces;
};

}  // namespace OrvikFramework::Testing
