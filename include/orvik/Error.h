#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace OrvikFramework {

/// What kind of failure an Error reports; a program branches on this, never on the message.
enum class ErrorCode {
    NotConnected,          ///< no link chosen or opened, or it was closed
    ConnectionRefused,     ///< the printer's host answered but refused the connection
    HostNotFound,          ///< the printer's name does not resolve
    ConnectionFailed,      ///< any other failure to open the link
    LinkLost,              ///< the link broke off after it was open
    TimedOut,              ///< the printer did not take the bytes, or did not answer, in time
    WriteFailed,           ///< the stack refused or failed a write
    BluetoothUnavailable,  ///< no system bus, no Bluetooth service, no adapter, or the radio is off
    PrinterNotFound,       ///< no printer of that name was seen
    ServiceNotFound,       ///< the printer lacks the printer service or its characteristics
    WiFiJoinFailed,        ///< the access point could not be joined
    FileError,             ///< a file could not be created, written or read
    InvalidArgument,       ///< the caller's data cannot be encoded or sent as asked
    NoStatus,              ///< the printer gave no status, or not a valid one
    PrinterNotReady,       ///< the printer answered that it cannot print (paper end, cover open, offline, error)
};

/// A failure: what kind, and one line saying what happened in words fit for a person.
struct Error {
    ErrorCode code;
    std::string message;

    bool operator==(const Error&) const = default;
};

/// A value, or the error that kept it from being produced.
template <typename T>
class Result {
public:
    Result(T value) : content_(std::move(value)) {}
    Result(Error error) : content_(std::move(error)) {}

    explicit operator bool() const { return content_.index() == 0; }
    bool hasValue() const { return content_.index() == 0; }
    /// The value; only when hasValue().
    const T& value() const& { return std::get<0>(content_); }
    T& value() & { return std::get<0>(content_); }
    T&& value() && { return std::get<0>(std::move(content_)); }
    const T& operator*() const& { return value(); }
    const T* operator->() const { return &value(); }
    /// The error; only when !hasValue().
    const Error& error() const { return std::get<1>(content_); }

private:
    std::variant<T, Error> content_;
};

/// Success, or the error: for operations that produce nothing else.
using Status = std::optional<Error>;

}  // namespace OrvikFramework
