// The network backend over NetSocket and, for rfc2217://, the Telnet session of TelnetSession.h.
#include "serial/NetworkBackend.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <string_view>

#include "serial/SerialHooks.h"

namespace kestrow::detail {
namespace {

using Clock = std::chrono::steady_clock;

// The texts ser2net sends in place of a session, then closes.
struct KnownText {
    std::string_view text;  // up to the end of the line, or the fixed start of a longer line
    bool openEnded;         // the reason follows, up to CR LF
    ErrorKind kind;
    std::string_view why;
};
constexpr std::string_view kDeviceHeld = "the port is in use: another client holds its device";
constexpr std::array<KnownText, 3> kServerTexts{{
    {"Port already in use\r\n", false, ErrorKind::Busy,
     "the port is in use: another client holds it"},
    {"Port's device already in use\r\n", false, ErrorKind::Busy, kDeviceHeld},
    {"Device open failure: ", true, ErrorKind::NoDevice,
     "the server cannot open its serial device: "},
}};

// A failure of the server's making, found by this backend: no system call failed.
Error ServerFailure(ErrorKind kind, std::string why) {
    return {.kind = kind, .call = kOpenFailed, .detail = std::move(why)};
}
constexpr size_t kLongestServerLine = 256;

int64_t MsLeft(Clock::time_point deadline) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

const char* kPurgeFailed = "Failed in call to PurgeComm\n";

}  // namespace

Error ConnectFailure(const std::string& host, uint16_t port, ConnectEnd end, ErrorDomain domain,
                     int error, int timeoutMs) {
    const std::string where = (host.find(':') != std::string::npos ? "[" + host + "]" : host) +
                              " port " + std::to_string(port);
    Error failure{.domain = domain, .code = error, .call = kOpenFailed};
    switch (end) {
        case ConnectEnd::Refused:
            failure.kind = ErrorKind::Refused;
            failure.detail = "connection refused: nothing listens on " + where;
            break;
        case ConnectEnd::TimedOut:
            failure.kind = ErrorKind::TimedOut;
            failure.detail =
                "no answer from " + where + " within " + std::to_string(timeoutMs / 1000) + " s";
            break;
        case ConnectEnd::Other:
            failure.kind = ErrorKind::OpenFailed;
            failure.detail = where + ": " + SystemErrorText(domain, error);
            break;
    }
    return failure;
}

ServerText MatchServerText(std::span<const uint8_t> bytes, Error* refusal) {
    const std::string_view got(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (const KnownText& known : kServerTexts) {
        const size_t common = std::min(got.size(), known.text.size());
        if (got.substr(0, common) != known.text.substr(0, common)) {
            continue;
        }
        if (got.size() < known.text.size()) {
            return ServerText::Partial;
        }
        if (!known.openEnded) {
            if (refusal != nullptr) {
                *refusal = ServerFailure(known.kind, std::string(known.why));
            }
            return ServerText::Complete;
        }
        const size_t end = got.find("\r\n", known.text.size());
        if (end == std::string_view::npos) {
            return got.size() < kLongestServerLine ? ServerText::Partial : ServerText::None;
        }
        if (refusal != nullptr) {
            std::string reason(got.substr(known.text.size(), end - known.text.size()));
            for (char& c : reason) {
                c = (c >= 0x20 && c < 0x7F) ? c : '?';  // the server's words, shown safely
            }
            *refusal = ServerFailure(known.kind, std::string(known.why) + reason);
        }
        return ServerText::Complete;
    }
    return ServerText::None;
}

Error NetworkBackend::Refuse(Error error) {
    if (socket_.IsOpen()) {
        // A server that refuses the session sends its text and closes; a write of ours after
        // that fails while the text still waits to be read, and the text says why.
        (void)Pump();
        if (Result<void> said = CheckServerText(); !said) {
            error = said.error();
        }
    }
    socket_.Close();
    error.call = kOpenFailed;
    if (!error.NotOpened()) {
        error.kind = ErrorKind::OpenFailed;  // the connection ended before the line was set
    }
    return error;
}

Result<void> NetworkBackend::Open(const ComPort& port) {
    port_ = port;
    releaseUntil_ = Clock::now() + std::chrono::milliseconds(kDeviceReleaseMs);
    return Reconnect();
}

bool NetworkBackend::AskAgain(const Result<void>& refused) const {
    return !refused && refused.error().kind == ErrorKind::Busy &&
           refused.error().detail == kDeviceHeld && MsLeft(releaseUntil_) >= kDeviceRetryMs;
}

Result<void> NetworkBackend::Reconnect() {
    for (;;) {
        Result<void> opened = Connect(port_);
        if (!AskAgain(opened)) {
            return opened;
        }
        SleepMs(kDeviceRetryMs);
    }
}

Result<void> NetworkBackend::Connect(const ComPort& port) {
    session_ = telnet::Session{};
    purgeAnswered_ = true;
    inbox_.clear();
    inboxStart_ = 0;
    outbox_.clear();
    screening_ = true;
    lost_.reset();
    drained_ = false;
    line_ = LineSettings{};
    const auto started = Clock::now();
    unansweredBytes_ = 0;
    if (Result<void> s = socket_.Connect(port.host, port.tcpPort, kConnectTimeoutMs); !s) {
        return Refuse(s.error());
    }
    connectTime_ = Clock::now() - started;
    if (form_ == PortForm::Socket) {
        // A server that refuses the session says so at once and closes. Wait a few round trips
        // (the connect took one) for such a text before taking the line as open; later text
        // is still caught by the first read.
        const auto settle = std::clamp<Clock::duration>(
            4 * connectTime_, std::chrono::milliseconds(2), std::chrono::milliseconds(100));
        const auto until = Clock::now() + settle;
        while (Clock::now() < until && inbox_.empty() && !lost_) {
            (void)socket_.Wait(Direction::Read, MsLeft(until));
            if (Result<void> s = Pump(); !s) {
                return Refuse(s.error());
            }
        }
        if (Result<void> s = CheckServerText(); !s) {
            return Refuse(s.error());
        }
        if (lost_ && inboxStart_ >= inbox_.size()) {
            return Refuse(*lost_);
        }
        return {};
    }
    const std::vector<uint8_t> greeting = session_.Greeting();
    if (Result<void> s = SendAll(greeting); !s) {
        return Refuse(s.error());
    }
    const auto agreed = [this] {
        const telnet::OptionState binary = session_.Option(telnet::kOptionBinary);
        return (binary.local && binary.remote && session_.Option(telnet::kOptionComPort).local) ||
               session_.ComPortRefused();
    };
    if (Result<void> s = AwaitServer(agreed,
                                     "its answer to the Telnet negotiation (BINARY and "
                                     "COM-PORT-OPTION)");
        !s) {
        return Refuse(s.error());
    }
    if (session_.ComPortRefused()) {
        return Refuse(ServerFailure(ErrorKind::Refused,
                                    "the server refuses RFC 2217 (COM-PORT-OPTION): its port "
                                    "takes no line settings; use socket:// for a raw TCP port"));
    }
    return {};
}

void NetworkBackend::LetWritesReachTheLine() {
    if (unansweredBytes_ == 0 || !socket_.IsOpen() || lost_) {
        return;
    }
    if (form_ == PortForm::Rfc2217) {
        // The server handles its client's bytes in order: once it answers a question sent
        // after the data, it has handed the data to its serial device.
        session_.ForgetAcknowledgements();
        const std::array<uint8_t, 4> ask{};  // SET-BAUDRATE 0: what is the rate?
        if (!SendAll(telnet::Session::ComPortCommand(telnet::ComCommand::SetBaudrate, ask)).ok() ||
            !AwaitServer(
                 [this] {
                     return session_.Acknowledged(telnet::ComCommand::SetBaudrate).has_value();
                 },
                 "answer")
                 .ok()) {
            return;
        }
    } else {
        // A raw server gives no sign: allow for the way there, as long as the connect took.
        const auto wait = std::clamp<Clock::duration>(connectTime_, std::chrono::milliseconds(1),
                                                      std::chrono::milliseconds(200));
        SleepMs(static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(wait).count() + 1));
    }
    // Then the line time of those bytes at 10 bits each, and a little for the device to take
    // them: a server drops what its device has not sent yet when its client leaves.
    const uint64_t baud = line_.baud != 0 ? line_.baud : 115200;
    SleepMs(static_cast<uint32_t>(unansweredBytes_ * 10 * 1000 / baud + kDrainMarginMs));
    unansweredBytes_ = 0;
}

Result<void> NetworkBackend::Close() {
    LetWritesReachTheLine();
    socket_.Close(kCloseLingerMs);
    inbox_.clear();
    inboxStart_ = 0;
    outbox_.clear();
    return {};
}

// Reads what the socket holds. A failed send (lost_ set, drained_ not) still lets it read:
// a server that refuses the session sends its text and closes, and a reply of ours sent after
// that fails while the text waits unread.
Result<void> NetworkBackend::Pump() {
    if (drained_ || !socket_.IsOpen()) {
        return {};
    }
    std::array<uint8_t, 4096> raw{};
    std::vector<uint8_t> replies;
    for (;;) {
        const Result<uint32_t> t = socket_.Receive(raw);
        if (!t) {
            drained_ = true;
            if (!lost_) {
                lost_ = t.error();
            }
            break;
        }
        if (*t == 0) {
            break;
        }
        const std::span<const uint8_t> got(raw.data(), *t);
        if (form_ == PortForm::Rfc2217) {
            session_.Receive(got, inbox_, replies);
        } else {
            inbox_.insert(inbox_.end(), got.begin(), got.end());
        }
        if (*t < raw.size()) {
            break;
        }
    }
    if (!replies.empty()) {
        if (Result<void> s = Queue(replies); !s && !lost_) {
            // A server that refused the session and closed: what it said is still to be read.
            lost_ = s.error();
        }
    }
    return {};
}

Result<void> NetworkBackend::Queue(std::span<const uint8_t> bytes) {
    outbox_.insert(outbox_.end(), bytes.begin(), bytes.end());
    const Result<uint32_t> t = socket_.Send(outbox_);
    if (!t) {
        return t.error();
    }
    outbox_.erase(outbox_.begin(), outbox_.begin() + *t);
    return {};
}

Result<void> NetworkBackend::SendAll(std::span<const uint8_t> bytes) {
    outbox_.insert(outbox_.end(), bytes.begin(), bytes.end());
    const auto deadline = Clock::now() + std::chrono::milliseconds(kNegotiationTimeoutMs);
    while (!outbox_.empty()) {
        const Result<uint32_t> t = socket_.Send(outbox_);
        if (!t) {
            return t.error();
        }
        outbox_.erase(outbox_.begin(), outbox_.begin() + *t);
        if (!outbox_.empty()) {
            if (MsLeft(deadline) <= 0) {
                return ServerFailure(ErrorKind::TimedOut,
                                     "the server takes no data (its receive window stays full)");
            }
            const Result<Readiness> r = socket_.Wait(Direction::Write, MsLeft(deadline));
            if (!r) {
                return r.error();
            }
        }
    }
    return {};
}

template <typename Done>
Result<void> NetworkBackend::AwaitServer(Done done, const std::string& what, int boundMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(boundMs);
    for (;;) {
        if (Result<void> s = Pump(); !s) {
            return s;
        }
        if (Result<void> s = CheckServerText(); !s) {
            return s;
        }
        if (done()) {
            return {};
        }
        if (lost_) {
            return *lost_;
        }
        const int64_t left = MsLeft(deadline);
        if (left <= 0) {
            return ServerFailure(ErrorKind::TimedOut, "the server sent no " + what + " in " +
                                                          std::to_string(boundMs / 1000) +
                                                          " s: is it an RFC 2217 server (ser2net: "
                                                          "\"telnet(rfc2217)\" in the accepter)?");
        }
        if (Result<Readiness> r = socket_.Wait(Direction::Read, left); !r) {
            return r.error();
        }
    }
}

Result<void> NetworkBackend::CheckServerText() {
    if (!screening_ || inboxStart_ >= inbox_.size()) {
        return {};
    }
    Error refused;
    switch (MatchServerText({inbox_.data() + inboxStart_, inbox_.size() - inboxStart_}, &refused)) {
        case ServerText::Complete:
            return refused;
        case ServerText::Partial:
            if (lost_) {
                screening_ = false;  // the connection ended on it: it was data after all
            }
            return {};
        case ServerText::None:
            screening_ = false;
            return {};
    }
    return {};
}

Result<uint32_t> NetworkBackend::TryRead(std::span<uint8_t> into) {
    if (Result<void> s = Pump(); !s) {
        return s.error();
    }
    if (Result<void> s = CheckServerText(); !s) {
        socket_.Close();
        return s.error();
    }
    const size_t waiting = screening_ ? 0 : inbox_.size() - inboxStart_;
    if (waiting == 0) {
        // A connection that ended before any data arrived is lost too, screening or not (a
        // server text that was cut short has turned screening off above).
        if (lost_) {
            return *lost_;
        }
        return 0u;
    }
    const size_t n = std::min(waiting, into.size());
    unansweredBytes_ = 0;  // the box answered what went before
    std::copy_n(inbox_.begin() + static_cast<ptrdiff_t>(inboxStart_), n, into.begin());
    inboxStart_ += n;
    if (inboxStart_ == inbox_.size()) {
        inbox_.clear();
        inboxStart_ = 0;
    }
    return static_cast<uint32_t>(n);
}

Result<uint32_t> NetworkBackend::TryWrite(std::span<const uint8_t> bytes) {
    if (!outbox_.empty()) {
        const Result<uint32_t> t = socket_.Send(outbox_);
        if (!t) {
            return t.error();
        }
        outbox_.erase(outbox_.begin(), outbox_.begin() + *t);
        if (!outbox_.empty()) {
            return 0u;
        }
    }
    std::vector<uint8_t> escaped;
    if (form_ == PortForm::Rfc2217) {
        telnet::Session::Escape(bytes, escaped);
    } else {
        escaped.assign(bytes.begin(), bytes.end());
    }
    const Result<uint32_t> t = socket_.Send(escaped);
    if (!t) {
        return t.error();
    }
    if (*t == escaped.size()) {
        unansweredBytes_ += bytes.size();
        return static_cast<uint32_t>(bytes.size());
    }
    // Cut short: count the source bytes that went out whole. A 0xFF whose doubling was cut
    // in two counts as sent, its second half waits in outbox_.
    uint32_t sent = 0;
    size_t at = 0;
    for (const uint8_t b : bytes) {
        const size_t width = (form_ == PortForm::Rfc2217 && b == telnet::kIac) ? 2 : 1;
        if (at + width <= *t) {
            at += width;
            ++sent;
            continue;
        }
        if (at < *t) {
            outbox_.push_back(telnet::kIac);
            ++sent;
        }
        break;
    }
    unansweredBytes_ += sent;
    return sent;
}

Result<Readiness> NetworkBackend::WaitReady(Direction direction, int64_t leftMs) {
    if (direction == Direction::Read && ((!screening_ && inboxStart_ < inbox_.size()) || lost_)) {
        return Readiness{true, false};
    }
    if (direction == Direction::Write && outbox_.empty()) {
        return Readiness{true, false};
    }
    return socket_.Wait(direction, leftMs);
}

Result<void> NetworkBackend::DiscardInput() {
    if (!socket_.IsOpen()) {
        return Error{.domain = ErrorDomain::Errno, .code = EBADF, .call = kPurgeFailed};
    }
    if (Result<void> s = Pump(); !s) {
        return s;
    }
    if (Result<void> s = CheckServerText(); !s) {
        socket_.Close();
        return s;
    }
    if (form_ == PortForm::Rfc2217) {
        // What the server has received from the device and not yet sent goes too. The server
        // answers in order: once its acknowledgement is in, every byte it sent before is here
        // and dropped below, as a connection of its own would never have seen them (a reply's
        // tail that a busy server sent late). A server that does not acknowledge is not waited
        // for again.
        session_.ForgetAcknowledgements();
        const std::array<uint8_t, 1> what{telnet::kPurgeReceive};
        if (Result<void> s =
                Queue(telnet::Session::ComPortCommand(telnet::ComCommand::PurgeData, what));
            !s) {
            return s;
        }
        if (purgeAnswered_) {
            const Result<void> answered = AwaitServer(
                [this] { return session_.Acknowledged(telnet::ComCommand::PurgeData).has_value(); },
                "answer", kPurgeAnswerMs);
            if (!answered && lost_) {
                return answered;
            }
            purgeAnswered_ = answered.ok();
        }
    }
    if (!screening_) {
        inbox_.clear();
        inboxStart_ = 0;
    }
    return {};
}

Result<void> NetworkBackend::SetLine(const LineSettings& line) {
    // The refusal of a device still held can come after the negotiation, while the line is set.
    for (;;) {
        Result<void> set = SetLineOnce(line);
        if (!AskAgain(set)) {
            return set;
        }
        SleepMs(kDeviceRetryMs);
        if (Result<void> again = Reconnect(); !again) {
            return again;
        }
    }
}

Result<void> NetworkBackend::SetLineOnce(const LineSettings& line) {
    if (form_ == PortForm::Socket) {
        line_ = line;  // the server's line is set on the server
        return {};
    }
    const uint8_t parity = line.parity == Parity::None  ? telnet::kParityNone
                           : line.parity == Parity::Odd ? telnet::kParityOdd
                                                        : telnet::kParityEven;
    const uint8_t stop =
        line.stopBits == StopBits::One ? telnet::kStopsizeOne : telnet::kStopsizeTwo;
    const uint32_t rate = line.baud;
    const std::array<uint8_t, 4> baud{static_cast<uint8_t>(rate >> 24),
                                      static_cast<uint8_t>(rate >> 16),
                                      static_cast<uint8_t>(rate >> 8), static_cast<uint8_t>(rate)};
    struct Setting {
        telnet::ComCommand command;
        std::vector<uint8_t> value;
        const char* name;
    };
    const std::array<Setting, 5> settings{{
        {telnet::ComCommand::SetBaudrate, {baud.begin(), baud.end()}, "SET-BAUDRATE"},
        {telnet::ComCommand::SetDatasize, {line.dataBits}, "SET-DATASIZE"},
        {telnet::ComCommand::SetParity, {parity}, "SET-PARITY"},
        {telnet::ComCommand::SetStopsize, {stop}, "SET-STOPSIZE"},
        {telnet::ComCommand::SetControl, {telnet::kControlNoFlow}, "SET-CONTROL"},
    }};
    // All at once, then the acknowledgements: one round trip, not five.
    session_.ForgetAcknowledgements();
    std::vector<uint8_t> out = {};
    for (const Setting& s : settings) {
        const std::vector<uint8_t> command = telnet::Session::ComPortCommand(s.command, s.value);
        out.insert(out.end(), command.begin(), command.end());
    }
    if (Result<void> sent = SendAll(out); !sent) {
        return Refuse(sent.error());
    }
    for (const Setting& s : settings) {
        const auto acked = [&] { return session_.Acknowledged(s.command).has_value(); };
        if (Result<void> status = AwaitServer(acked, std::string("acknowledgement of ") + s.name);
            !status) {
            return Refuse(status.error());
        }
        if (*session_.Acknowledged(s.command) != s.value) {
            return Refuse(
                ServerFailure(ErrorKind::Refused, std::string("the server did not take ") + s.name +
                                                      " as asked (it set another value): the line "
                                                      "cannot run at 115200 8-N-1 there"));
        }
    }
    line_ = line;
    return {};
}

}  // namespace kestrow::detail
