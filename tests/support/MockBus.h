#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

#include <sdbus-c++/sdbus-c++.h>

#include <orvik/DBus.h>
#include <orvik/Platform.h>

namespace OrvikFramework::Testing {

// A private D-Bus daemon for one test, with python3-dbusmock services on it. Every process it starts dies with the
// test process, even when the test crashes.
class MockBus {
public:
    MockBus();
    ~MockBus();
    MockBus(const MockBus&) = delete;
    MockBus& operator=(const MockBus&) = delete;

    const std::string& address() const { return address_; }

    // Starts `python3 -m dbusmock --session <arguments>` and waits until it owns `busName`.
    void startMock(const std::vector<std::string>& arguments, const std::string& busName);
    // Ends the mock that owns `busName`, as a service that crashes or is stopped would.
    void stopMock(const std::string& busName);

    // A proxy on the test's own connection, for synchronous calls that set up or inspect the mocks.
    std::unique_ptr<sdbus::IProxy> proxy(const std::string& busName, const std::string& path);

    // A call on dbusmock's control interface of object `path` (AddMethod, AddObject, UpdateProperties, EmitSignal...).
    template <typename... Arguments>
    void control(const std::string& busName, const std::string& path, const std::string& method, const Arguments&... arguments) {
        proxy(busName, path)->callMethod(method).onInterface("org.freedesktop.DBus.Mock").withArguments(arguments...);
    }
    // A call that returns one value, such as a mock template's own AddDevice.
    template <typename Result, typename... Arguments>
    Result call(const std::string& busName, const std::string& path, const std::string& interface, const std::string& method,
                const Arguments&... arguments) {
        Result result;
        proxy(busName, path)->callMethod(method).onInterface(interface).withArguments(arguments...).storeResultsTo(result);
        return result;
    }
    // The arguments of every call of `method` the object has had.
    std::vector<std::vector<sdbus::Variant>> callsOf(const std::string& busName, const std::string& path,
                                                     const std::string& method);

private:
    pid_t spawn(const std::vector<std::string>& command, int stdoutFd);

    std::string address_;
    std::vector<pid_t> children_;
    std::map<std::string, pid_t> mocks_;
    std::unique_ptr<sdbus::IConnection> control_;
};

// The system back-end on the bus at `address` while the object lives; the previous back-end after, even when an
// assertion ends the test early.
class SystemBackendOn {
public:
    explicit SystemBackendOn(const std::string& address) : previous_(Platform::backend()) {
        Platform::setBackend(Platform::systemBackend());
        setDBusAddress(address);
    }
    ~SystemBackendOn() {
        setDBusAddress(std::nullopt);
        Platform::setBackend(previous_);
    }
    SystemBackendOn(const SystemBackendOn&) = delete;
    SystemBackendOn& operator=(const SystemBackendOn&) = delete;

private:
    PlatformBackend previous_;
};

}  // namespace OrvikFramework::Testing
