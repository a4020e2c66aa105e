// One way to fail in the core: an Error says what kind of failure it is, the operating
// system's own code tagged with whose code it is, the failed call's fixed operator text, the
// reason in words and the port or file; a Result<T> holds a value or an Error. No exceptions:
// a caller must look at a Result ([[nodiscard]]). The front ends turn an Error into their
// message box or line.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace kestrow {

// What went wrong, as far as callers tell failures apart.
enum class ErrorKind {
    // The port did not open (or a server refused the session at the first read).
    NoDevice,    // nothing by that name: no such device, COM port or host; a server without
                 // its serial device
    Busy,        // another program, or another client of the server, holds it
    Permission,  // the user may not open the device
    Refused,     // the server refused: nothing listens, no RFC 2217, line settings not taken
    TimedOut,    // a connection or the server's negotiation did not answer within its bound
    OpenFailed,  // any other reason the port did not open
    // On an open port.
    Gone,      // the device or the connection went away under the open port
    NoAnswer,  // the box sent no reply, or too short a one
    BadReply,  // a reply that does not answer the question
    Failed,    // another system call failed
    // Not the line's.
    Stopped,    // the operator stopped the run
    File,       // a file that cannot be read or written
    Malformed,  // a file's text is not what it claims to be (Intel HEX)
    Invalid,    // a value, a file or an argument the rules refuse
};

// Whose number Error::code is.
enum class ErrorDomain {
    None,      // no system code
    Errno,     // errno, also where a transport chose an errno value for a condition of its own
    Win32,     // GetLastError
    Winsock,   // WSAGetLastError
    AddrInfo,  // getaddrinfo's result (EAI_*; Winsock codes on Windows)
};

// The system's words for a code of its domain ("Device or resource busy", "Access is
// denied"); "error N" for a code the system has no words for.
[[nodiscard]] std::string SystemErrorText(ErrorDomain domain, int code);

struct Error {
    ErrorKind kind = ErrorKind::Failed;
    ErrorDomain domain = ErrorDomain::None;
    int code = 0;
    std::string call{};    // the failed call's fixed operator text: "Failed in call to read\n"
    std::string detail{};  // why, in words, where the code's own words are not enough
    std::string path{};    // the port or file it concerns

    // The detail, else the system's words for the code, else nothing.
    [[nodiscard]] std::string Reason() const {
        if (!detail.empty() || domain == ErrorDomain::None) {
            return detail;
        }
        return SystemErrorText(domain, code);
    }
    // The port did not open: a kind from NoDevice to OpenFailed.
    [[nodiscard]] bool NotOpened() const {
        return kind == ErrorKind::NoDevice || kind == ErrorKind::Busy ||
               kind == ErrorKind::Permission || kind == ErrorKind::Refused ||
               kind == ErrorKind::TimedOut || kind == ErrorKind::OpenFailed;
    }
};

// Every fault a check found at once (a file refused: each entry's fault), a line each of the
// detail; a fault holds no line break.
[[nodiscard]] inline Error Refusal(const std::vector<std::string>& faults) {
    Error error{.kind = ErrorKind::Invalid};
    for (const std::string& fault : faults) {
        error.detail += (error.detail.empty() ? "" : "\n") + fault;
    }
    return error;
}
// The lines of an error's detail: the faults of a Refusal.
[[nodiscard]] inline std::vector<std::string> DetailLines(const Error& error) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < error.detail.size();) {
        const size_t end = std::min(error.detail.find('\n', at), error.detail.size());
        lines.push_back(error.detail.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}      // NOLINT: implicit
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

    [[nodiscard]] bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }
    [[nodiscard]] T value_or(T fallback) const { return ok() ? **this : std::move(fallback); }
    [[nodiscard]] const Error& error() const { return std::get<1>(state_); }

  private:
    std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}  // NOLINT: implicit

    [[nodiscard]] bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    [[nodiscard]] const Error& error() const { return *error_; }

  private:
    std::optional<Error> error_;
};

}  // namespace kestrow
