#pragma once

#include <vector>

#include <orvik/Orvik.h>
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

// An SDK object on SOCKET whose every piece is recorded instead of sent.
struct RecordingPrinter {
    Orvik sdk;
    std::shared_ptr<RecordingTcpSocket> socket = std::make_shared<RecordingTcpSocket>();
    RecordingPrinter() {
        sdk.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
        sdk.TCPDevice = socket;
    }
    /// Every piece so far, joined.
    Data sent() const {
        Data all;
        for (const Data& piece : socket->pieces) all.insert(all.end(), piece.begin(), piece.end());
        return all;
    }
};

}  // namespace OrvikFramework::Testing
