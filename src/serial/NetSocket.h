// One TCP connection to a serial server, as the network backend needs it: connect within a
// bound to a name, an IPv4 or an IPv6 address, move bytes without waiting, wait one slice.
// NetSocketPosix.cpp and NetSocketWin32.cpp realise it with BSD sockets and Winsock. Errors
// carry the system's numbers (errno, WSA codes); they are Gone when they mean the connection is
// lost.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "serial/SerialBackend.h"

namespace kestrow::detail {

// How a connect ended when it failed, and the failure in the operator's words (the same on
// every platform; the error number stays the system's, of `domain`).
enum class ConnectEnd { Refused, TimedOut, Other };
[[nodiscard]] Error ConnectFailure(const std::string& host, uint16_t port, ConnectEnd end,
                                   ErrorDomain domain, int error, int timeoutMs);

class NetSocket {
  public:
    NetSocket() = default;
    ~NetSocket();
    NetSocket(const NetSocket&) = delete;
    NetSocket& operator=(const NetSocket&) = delete;

    // Resolves `host` and connects to the first address that takes the connection within
    // `timeoutMs` in all (TCP_NODELAY set, non-blocking, no SIGPIPE). A failure's call is
    // kOpenFailed; its detail says what went wrong in words, naming the host.
    [[nodiscard]] Result<void> Connect(const std::string& host, uint16_t port, int timeoutMs);
    // Ends the connection gracefully: our side shut, then what the server still sends is read
    // and dropped until it closes too (at most `lingerMs`), so that a server that serves one
    // client at a time has let go of the line before the next open.
    void Close(int lingerMs = 0);
    [[nodiscard]] bool IsOpen() const;

    // Bytes moved now (0: none can move); the end of the connection is a failure of kind Gone.
    [[nodiscard]] Result<uint32_t> Receive(std::span<uint8_t> into);
    [[nodiscard]] Result<uint32_t> Send(std::span<const uint8_t> bytes);
    // One slice of waiting, as SerialBackend::WaitReady.
    [[nodiscard]] Result<Readiness> Wait(Direction direction, int64_t leftMs);

  private:
    intptr_t handle_ = -1;  // the descriptor, or the SOCKET on Windows
};

}  // namespace kestrow::detail
