// NetSocket over Winsock 2. Errors are WSA codes.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "serial/NetSocket.h"
#include "serial/SerialHooks.h"

namespace kestrow::detail {
namespace {

constexpr const char* kReadFailed = "Failed in call to recv\n";
constexpr const char* kWriteFailed = "Failed in call to send\n";
constexpr const char* kSelectFailed = "Failed in call to select\n";
constexpr const char* kStartFailed = "Failed in call to WSAStartup\n";

constexpr intptr_t kNoSocket = -1;
// FIONBIO is an unsigned value; ioctlsocket takes its command as a long.
const long kNonBlockingIo = static_cast<long>(FIONBIO);
constexpr int kSliceMs = 20;

// Winsock is started once, by the first connection, and cleaned up when the process ends.
class Winsock {
  public:
    Winsock() {
        WSADATA data{};
        error_ = WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~Winsock() {
        if (error_ == 0) {
            WSACleanup();
        }
    }
    Winsock(const Winsock&) = delete;
    Winsock& operator=(const Winsock&) = delete;
    [[nodiscard]] int error() const { return error_; }

  private:
    int error_ = 0;
};

int StartWinsock() {
    static const Winsock winsock;
    return winsock.error();
}

// The errors after which the connection cannot carry anything more.
bool ConnectionLost(int error) {
    return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENETRESET ||
           error == WSAESHUTDOWN || error == WSAETIMEDOUT || error == WSAENETUNREACH ||
           error == WSAEHOSTUNREACH || error == WSAENETDOWN || error == WSAENOTCONN;
}

// A failed call on the connection: Gone when the connection is lost.
Error Failed(const char* call, int error) {
    return {.kind = ConnectionLost(error) ? ErrorKind::Gone : ErrorKind::Failed,
            .domain = ErrorDomain::Winsock,
            .code = error,
            .call = call};
}

struct AddrInfoFree {
    void operator()(addrinfo* a) const { freeaddrinfo(a); }
};

SOCKET AsSocket(intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

int Clamped(size_t size) {
    return static_cast<int>(std::min<size_t>(size, std::numeric_limits<int>::max()));
}

// What one select slice saw on a socket.
struct Seen {
    bool ready = false;   // readable or writable, as asked
    bool failed = false;  // in the exception set: a connect that failed
    int error = 0;        // select itself failed
};

// Waits for the socket up to min(leftMs, 20) ms or until the idle hook is due, then runs the
// hook if it is. select takes microseconds, so slices end when the hook is due.
Seen SelectSlice(SOCKET s, Direction direction, int64_t leftMs) {
    using namespace std::chrono;
    const auto now = WaitClock::now();
    const auto end =
        std::min(now + milliseconds(std::clamp<int64_t>(leftMs, 0, kSliceMs)), IdleHookDue());
    const auto us =
        duration_cast<microseconds>(std::max(end - now, WaitClock::duration::zero())).count();
    timeval timeout{static_cast<long>(us / 1'000'000), static_cast<long>(us % 1'000'000)};
    // One socket in each set, filled by hand: FD_SET's loop does not pass our warnings.
    fd_set wanted{};
    wanted.fd_count = 1;
    wanted.fd_array[0] = s;
    fd_set exceptions = wanted;
    const int n = select(0, direction == Direction::Read ? &wanted : nullptr,
                         direction == Direction::Write ? &wanted : nullptr, &exceptions, &timeout);
    Seen seen;
    if (n == SOCKET_ERROR) {
        seen.error = WSAGetLastError();
    } else if (n > 0) {
        seen.ready = wanted.fd_count > 0;
        seen.failed = exceptions.fd_count > 0;
    }
    RunIdleHookIfDue();
    return seen;
}

int PendingError(SOCKET s) {
    int error = 0;
    int size = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
        return WSAGetLastError();
    }
    return error;
}

}  // namespace

NetSocket::~NetSocket() {
    Close();
}

bool NetSocket::IsOpen() const {
    return handle_ != kNoSocket;
}

void NetSocket::Close(int lingerMs) {
    if (handle_ == kNoSocket) {
        return;
    }
    const SOCKET s = AsSocket(std::exchange(handle_, kNoSocket));
    if (lingerMs > 0 && shutdown(s, SD_SEND) == 0) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(lingerMs);
        std::array<char, 512> drop{};
        for (;;) {
            const int n = recv(s, drop.data(), static_cast<int>(drop.size()), 0);
            if (n == 0 || (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
                break;  // the server has closed its side
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                break;
            }
            if (n < 0) {
                (void)SelectSlice(s, Direction::Read, left);
            }
        }
    }
    closesocket(s);
}

Result<void> NetSocket::Connect(const std::string& host, uint16_t port, int timeoutMs) {
    Close();
    if (const int error = StartWinsock(); error != 0) {
        return Error{.kind = ErrorKind::OpenFailed,
                     .domain = ErrorDomain::Winsock,
                     .code = error,
                     .call = kStartFailed};
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // No AI_ADDRCONFIG: Windows does not count loopback as configured, so "localhost" would
    // not resolve on a machine without a network.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int gai = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    const std::unique_ptr<addrinfo, AddrInfoFree> list(found);
    if (gai != 0) {
        const bool unknown = gai == WSAHOST_NOT_FOUND || gai == WSANO_DATA || gai == WSANO_RECOVERY;
        return Error{.kind = unknown ? ErrorKind::NoDevice : ErrorKind::OpenFailed,
                     .domain = ErrorDomain::AddrInfo,
                     .code = gai,
                     .call = kOpenFailed,
                     .detail = unknown ? "the host name \"" + host + "\" is not known"
                                       : "the host name \"" + host + "\" could not be looked up: " +
                                             SystemErrorText(ErrorDomain::AddrInfo, gai)};
    }
    int lastError = WSAECONNREFUSED;
    for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
        const SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
            lastError = WSAGetLastError();
            continue;
        }
        // A program the panel starts must not inherit the connection.
        (void)SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
        u_long nonBlocking = 1;
        const BOOL one = TRUE;
        // Every exchange is a few bytes each way: Nagle and delayed ACKs would add 40 ms each.
        (void)setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                         sizeof one);
        int error = ioctlsocket(s, kNonBlockingIo, &nonBlocking) != 0 ? WSAGetLastError() : 0;
        if (error == 0 && connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
            error = WSAGetLastError();
            while (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS || error == WSAEINTR) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                        .count();
                if (left <= 0) {
                    error = WSAETIMEDOUT;
                    break;
                }
                // Windows tells a connect that failed through the exception set.
                const Seen seen = SelectSlice(s, Direction::Write, left);
                if (seen.error != 0) {
                    error = seen.error;
                } else if (seen.failed || seen.ready) {
                    error = PendingError(s);
                    if (seen.failed && error == 0) {
                        error = WSAECONNREFUSED;
                    }
                }
            }
        }
        if (error == 0) {
            handle_ = static_cast<intptr_t>(s);
            return {};
        }
        closesocket(s);
        lastError = error;
        if (error == WSAETIMEDOUT) {
            break;  // the bound is for the whole connect, not for each address
        }
    }
    const ConnectEnd end = lastError == WSAECONNREFUSED ? ConnectEnd::Refused
                           : lastError == WSAETIMEDOUT  ? ConnectEnd::TimedOut
                                                        : ConnectEnd::Other;
    return ConnectFailure(host, port, end, ErrorDomain::Winsock, lastError, timeoutMs);
}

Result<uint32_t> NetSocket::Receive(std::span<uint8_t> into) {
    const int n =
        recv(AsSocket(handle_), reinterpret_cast<char*>(into.data()), Clamped(into.size()), 0);
    if (n > 0) {
        return static_cast<uint32_t>(n);
    }
    if (n == 0) {
        return Error{.kind = ErrorKind::Gone,
                     .domain = ErrorDomain::Winsock,
                     .code = WSAECONNRESET,
                     .call = kReadFailed,
                     .detail = "the server closed the connection"};
    }
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR) {
        return 0u;
    }
    return Failed(kReadFailed, error);
}

Result<uint32_t> NetSocket::Send(std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        return 0u;
    }
    const int n = send(AsSocket(handle_), reinterpret_cast<const char*>(bytes.data()),
                       Clamped(bytes.size()), 0);
    if (n > 0) {
        return static_cast<uint32_t>(n);
    }
    const int error = n < 0 ? WSAGetLastError() : 0;
    if (n == 0 || error == WSAEWOULDBLOCK || error == WSAEINTR) {
        return 0u;
    }
    return Failed(kWriteFailed, error);
}

Result<Readiness> NetSocket::Wait(Direction direction, int64_t leftMs) {
    const Seen seen = SelectSlice(AsSocket(handle_), direction, leftMs);
    if (seen.error != 0) {
        return Error{.domain = ErrorDomain::Winsock, .code = seen.error, .call = kSelectFailed};
    }
    // A closed or reset connection shows as readable; the next Receive finds out which.
    return Readiness{seen.ready || seen.failed, false};
}

}  // namespace kestrow::detail
