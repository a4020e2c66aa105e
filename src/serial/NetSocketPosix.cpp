// NetSocket over BSD sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <memory>

#include "serial/NetSocket.h"
#include "serial/PollPosix.h"

namespace kestrow::detail {
namespace {

constexpr const char* kReadFailed = "Failed in call to recv\n";
constexpr const char* kWriteFailed = "Failed in call to send\n";
constexpr const char* kPollFailed = "Failed in call to ppoll\n";

// The errors after which the connection cannot carry anything more.
bool ConnectionLost(int error) {
    return error == ECONNRESET || error == EPIPE || error == ECONNABORTED || error == ETIMEDOUT ||
           error == ENETUNREACH || error == EHOSTUNREACH || error == ENETDOWN || error == ENOTCONN;
}

// A failed call on the connection: Gone when the connection is lost.
Error Failed(const char* call, int error) {
    return {.kind = ConnectionLost(error) ? ErrorKind::Gone : ErrorKind::Failed,
            .domain = ErrorDomain::Errno,
            .code = error,
            .call = call};
}

struct AddrInfoFree {
    void operator()(addrinfo* a) const { ::freeaddrinfo(a); }
};

}  // namespace

NetSocket::~NetSocket() {
    Close();
}

bool NetSocket::IsOpen() const {
    return handle_ >= 0;
}

void NetSocket::Close(int lingerMs) {
    if (handle_ < 0) {
        return;
    }
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (lingerMs > 0 && ::shutdown(fd, SHUT_WR) == 0) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(lingerMs);
        std::array<uint8_t, 512> drop{};
        for (;;) {
            const ssize_t n = ::recv(fd, drop.data(), drop.size(), 0);
            if (n == 0 || (n < 0 && !posix::WouldBlock(errno))) {
                break;  // the server has closed its side
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                break;
            }
            if (n < 0) {
                (void)posix::PollSlice(fd, POLLIN, left);
            }
        }
    }
    ::close(fd);
}

Result<void> NetSocket::Connect(const std::string& host, uint16_t port, int timeoutMs) {
    Close();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const int gai = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    const std::unique_ptr<addrinfo, AddrInfoFree> list(found);
    if (gai != 0) {
        const bool unknown = gai == EAI_NONAME || gai == EAI_NODATA || gai == EAI_FAIL;
        const bool system = gai == EAI_SYSTEM;
        const int code = system ? errno : gai;
        return Error{
            .kind = unknown ? ErrorKind::NoDevice : ErrorKind::OpenFailed,
            .domain = system ? ErrorDomain::Errno : ErrorDomain::AddrInfo,
            .code = code,
            .call = kOpenFailed,
            .detail = unknown ? "the host name \"" + host + "\" is not known"
                              : "the host name \"" + host + "\" could not be looked up: " +
                                    SystemErrorText(
                                        system ? ErrorDomain::Errno : ErrorDomain::AddrInfo, code)};
    }
    int lastError = ECONNREFUSED;
    for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        const int one = 1;
        // Every exchange is a few bytes each way: Nagle and delayed ACKs would add 40 ms each.
        (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        int error = 0;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            error = errno;
            while (error == EINPROGRESS || error == EINTR) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                        .count();
                if (left <= 0) {
                    error = ETIMEDOUT;
                    break;
                }
                if (posix::PollSlice(fd, POLLOUT, left) != 0) {
                    socklen_t size = sizeof error;
                    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
                        error = errno;
                    }
                }
            }
        }
        if (error == 0) {
            handle_ = fd;
            return {};
        }
        ::close(fd);
        lastError = error;
        if (error == ETIMEDOUT) {
            break;  // the bound is for the whole connect, not for each address
        }
    }
    const ConnectEnd end = lastError == ECONNREFUSED ? ConnectEnd::Refused
                           : lastError == ETIMEDOUT  ? ConnectEnd::TimedOut
                                                     : ConnectEnd::Other;
    return ConnectFailure(host, port, end, ErrorDomain::Errno, lastError, timeoutMs);
}

Result<uint32_t> NetSocket::Receive(std::span<uint8_t> into) {
    const ssize_t n = ::recv(static_cast<int>(handle_), into.data(), into.size(), 0);
#ifdef TCP_QUICKACK
    // Acknowledge at once: a server that leaves Nagle on holds its next small reply until our
    // acknowledgement, which a delayed ACK would put off by 40 ms.
    const int one = 1;
    (void)::setsockopt(static_cast<int>(handle_), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#endif
    if (n > 0) {
        return static_cast<uint32_t>(n);
    }
    if (n == 0) {
        return Error{.kind = ErrorKind::Gone,
                     .domain = ErrorDomain::Errno,
                     .code = ECONNRESET,
                     .call = kReadFailed,
                     .detail = "the server closed the connection"};
    }
    if (posix::WouldBlock(errno)) {
        return 0u;
    }
    return Failed(kReadFailed, errno);
}

Result<uint32_t> NetSocket::Send(std::span<const uint8_t> bytes) {
    // MSG_NOSIGNAL: a connection the server closed fails with EPIPE, it never raises SIGPIPE.
    const ssize_t n = ::send(static_cast<int>(handle_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && !posix::WouldBlock(errno)) {
        return Failed(kWriteFailed, errno);
    }
    return static_cast<uint32_t>(std::max<ssize_t>(n, 0));
}

Result<Readiness> NetSocket::Wait(Direction direction, int64_t leftMs) {
    const short want = direction == Direction::Read ? POLLIN : POLLOUT;
    const int events = posix::PollSlice(static_cast<int>(handle_), want, leftMs);
    if (events < 0) {
        return Error{.domain = ErrorDomain::Errno, .code = errno, .call = kPollFailed};
    }
    // A hang-up is seen by the next Receive as the end of the connection.
    return Readiness{(events & (want | posix::kHangupEvents)) != 0, false};
}

}  // namespace kestrow::detail
