#pragma once

#include "examples/LoopbackReceiver.h"

// The tests' names for the shared loopback receiver.
namespace OrvikFramework::Testing {

using LoopbackServer = Loopback::Receiver;
inline int listenOnLoopback(int& port) { return Loopback::listen(port); }
inline int closedLoopbackPort() { return Loopback::closedPort(); }
inline int connectToLoopback(int port) { return Loopback::connect(port); }

}  // namespace OrvikFramework::Testing
