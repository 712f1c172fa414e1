#include "support/MockBus.h"

#include <algorithm>
#include <csignal>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace OrvikFramework::Testing {
namespace {

using namespace std::chrono_literals;

// Debian's own interpreter: the one that has python3-dbusmock, whatever else comes first on PATH.
constexpr const char* systemPython = "/usr/bin/python3";

std::string readLine(int fd) {
    std::string line;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

}  // namespace

MockBus::MockBus() {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"}, out[1]);
    ::close(out[1]);
    address_ = readLine(out[0]);
    ::close(out[0]);
    if (address_.empty()) throw std::runtime_error("dbus-daemon did not start");
    control_ = sdbus::createSessionBusConnectionWithAddress(address_);
}

MockBus::~MockBus() {
    control_.reset();
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        ::kill(*it, SIGTERM);
        ::waitpid(*it, nullptr, 0);
    }
}

pid_t MockBus::spawn(const std::vector<std::string>& command, int stdoutFd) {
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(1);
        ::dup2(stdoutFd, STDOUT_FILENO);
        // The daemon warns that it cannot raise its descriptor limit; the mocks' own errors stay visible.
        if (command.front() == "dbus-daemon") {
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, STDERR_FILENO);
        }
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
        std::vector<char*> argv;
        for (const auto& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    children_.push_back(pid);
    return pid;
}

void MockBus::startMock(const std::vector<std::string>& arguments, const std::string& busName) {
    std::vector<std::string> command = {systemPython, "-m", "dbusmock", "--session"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    mocks_[busName] = spawn(command, quiet);
    ::close(quiet);
    auto bus = proxy("org.freedesktop.DBus", "/org/freedesktop/DBus");
    for (int attempt = 0; attempt < 500; ++attempt) {
        bool owned = false;
        bus->callMethod("NameHasOwner").onInterface("org.freedesktop.DBus").withArguments(busName).storeResultsTo(owned);
        if (owned) return;
        std::this_thread::sleep_for(20ms);
    }
    throw std::runtime_error("dbusmock did not take " + busName);
}

void MockBus::stopMock(const std::string& busName) {
    const auto mock = mocks_.find(busName);
    if (mock == mocks_.end()) return;
    ::kill(mock->second, SIGTERM);
    ::waitpid(mock->second, nullptr, 0);
    children_.erase(std::find(children_.begin(), children_.end(), mock->second));
    mocks_.erase(mock);
}

std::unique_ptr<sdbus::IProxy> MockBus::proxy(const std::string& busName, const std::string& path) {
    return sdbus::createProxy(*control_, busName, path);
}

std::vector<std::vector<sdbus::Variant>> MockBus::callsOf(const std::string& busName, const std::string& path,
                                                          const std::string& method) {
    const auto calls = call<std::vector<sdbus::Struct<std::uint64_t, std::vector<sdbus::Variant>>>>(
        busName, path, "org.freedesktop.DBus.Mock", "GetMethodCalls", method);
    std::vector<std::vector<sdbus::Variant>> arguments;
    for (const auto& call : calls) arguments.push_back(call.get<1>());
    return arguments;
}

}  // namespace OrvikFramework::Testing
