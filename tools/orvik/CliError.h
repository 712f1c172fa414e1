#pragma once

#include <stdexcept>
#include <string>

namespace OrvikFramework::Cli {

/// Process exit codes, one per kind of failure; listed in `orvik --help`.
enum class Exit : int {
    Ok = 0,
    Usage = 2,        // bad option, argument or printer address
    Input = 3,        // a file cannot be read, decoded or written
    Unreachable = 4,  // the printer cannot be reached, or gives no status
    SendFailed = 5,   // the link broke off during the job
    NotReady = 6,     // the printer answered that it cannot print
    Interrupted = 130,  // Ctrl-C during the job
};

/// The exit-code table as shown in the help text.
inline constexpr const char* exitCodeHelp =
    "Exit codes: 0 done, 2 bad usage or printer address, 3 file cannot be read, decoded or written,\n"
    "4 printer unreachable or silent, 5 link broke off during the job, 6 printer cannot print (status),\n"
    "130 interrupted.";

/// A failure that ends the command with its message on standard error and its exit code.
class CliError : public std::runtime_error {
public:
    CliError(Exit code, const std::string& message) : std::runtime_error(message), code_(code) {}
    Exit code() const { return code_; }

private:
    Exit code_;
};

}  // namespace OrvikFramework::Cli
