#pragma once

#include "platform/posix/SysCalls.h"

namespace OrvikFramework::Testing {

// Lets a test replace entries of the system-call table; the real calls are back when it ends.
class SysCallFaults {
public:
    SysCallFaults() = default;
    ~SysCallFaults() { sys() = realSysCalls(); }
    SysCallFaults(const SysCallFaults&) = delete;
    SysCallFaults& operator=(const SysCallFaults&) = delete;

    SysCalls& table() { return sys(); }
};

}  // namespace OrvikFramework::Testing
