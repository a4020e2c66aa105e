// The network backend: a serial line behind a server, reached over TCP. rfc2217:// speaks
// Telnet with COM-PORT-OPTION (the line set to what Open asks, each setting acknowledged
// within a bound, 0xFF doubled both ways); socket:// is the raw byte stream of a server whose
// line is already set. A server's own text in place of a session ("Port already in use",
// "Device open failure: ...") is a failed open, never device data. Private to the serial
// library.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "serial/NetSocket.h"
#include "serial/SerialBackend.h"
#include "serial/TelnetSession.h"

namespace kestrow::detail {

// How long a network port waits: for the connection, and for each answer of the negotiation.
inline constexpr int kConnectTimeoutMs = 3000;
inline constexpr int kNegotiationTimeoutMs = 2000;
// How long an open asks again while a server's device is still held for a client that left
// (ser2net's "Port's device already in use"), and how often.
inline constexpr int kDeviceReleaseMs = 500;
inline constexpr uint32_t kDeviceRetryMs = 25;
// How long a discard waits for the server's answer to PURGE-DATA.
inline constexpr int kPurgeAnswerMs = 500;
// How long a Close waits for the server to close its side too.
inline constexpr int kCloseLingerMs = 1000;
// What a device is given beyond the line time of the last bytes written before a close: a
// server drops what its device has not taken yet when its client leaves (ser2net flushes a
// pseudo-terminal at once, whatever the reader on its other side has read). Only a write that
// nothing answers waits for it, such as a setting's write.
inline constexpr int kDrainMarginMs = 20;

// What a server says when it will not give a session, as the first bytes of the connection.
// Complete: a whole line of a known text came (`refusal` says busy or cannot open); Partial:
// the bytes so far could still become one; None: they are device data.
enum class ServerText { None, Partial, Complete };
[[nodiscard]] ServerText MatchServerText(std::span<const uint8_t> bytes, Error* refusal);

class NetworkBackend final : public SerialBackend {
  public:
    explicit NetworkBackend(PortForm form) : form_(form) {}
    [[nodiscard]] PortForm Form() const override { return form_; }
    [[nodiscard]] Result<void> Open(const ComPort& port) override;
    [[nodiscard]] Result<void> SetLine(const LineSettings& line) override;
    [[nodiscard]] Result<void> Close() override;
    [[nodiscard]] bool IsOpen() const override { return socket_.IsOpen(); }
    [[nodiscard]] Result<uint32_t> TryRead(std::span<uint8_t> into) override;
    [[nodiscard]] Result<uint32_t> TryWrite(std::span<const uint8_t> bytes) override;
    [[nodiscard]] Result<Readiness> WaitReady(Direction direction, int64_t leftMs) override;
    [[nodiscard]] Result<void> DiscardInput() override;

  private:
    // ser2net lets go of a device some 0.15 s after the client of its other accepter left, and
    // refuses with "Port's device already in use" until then: two commands in a row on the two
    // accepters of one box meet it. That refusal alone is asked again (true), at the
    // connection or while the line is set, until half a second after the Open.
    [[nodiscard]] bool AskAgain(const Result<void>& refused) const;
    // Connects to port_ and opens the session, asked again as AskAgain says.
    [[nodiscard]] Result<void> Reconnect();
    // One attempt at the connection and the session.
    [[nodiscard]] Result<void> Connect(const ComPort& port);
    [[nodiscard]] Result<void> SetLineOnce(const LineSettings& line);
    // Takes what the socket has now into inbox_ (through the Telnet session for RFC 2217) and
    // sends the session's answers. A failure when the connection is lost or refused.
    [[nodiscard]] Result<void> Pump();
    // Adds `bytes` (escaped already) to what waits to be sent and sends what the socket takes
    // now; the rest goes with the next write.
    [[nodiscard]] Result<void> Queue(std::span<const uint8_t> bytes);
    // Sends all of `bytes` (escaped already), waiting up to the negotiation bound.
    [[nodiscard]] Result<void> SendAll(std::span<const uint8_t> bytes);
    // Pumps until `done` or `boundMs`; a failure naming `what` when it ran out.
    template <typename Done>
    [[nodiscard]] Result<void> AwaitServer(Done done, const std::string& what,
                                           int boundMs = kNegotiationTimeoutMs);
    // A failed open: closes and says why, naming the port as the operator wrote it.
    [[nodiscard]] Error Refuse(Error error);
    // Before the connection ends: waits until the bytes written since the box last answered
    // have reached the serial line (a server flushes its device when its client leaves).
    void LetWritesReachTheLine();
    // The first bytes of a session held back while they could be a server's text; a failure
    // once they are one.
    [[nodiscard]] Result<void> CheckServerText();

    PortForm form_;
    NetSocket socket_;
    telnet::Session session_;
    ComPort port_;
    std::chrono::steady_clock::time_point releaseUntil_{};
    std::vector<uint8_t> inbox_;  // device data received and not yet read
    size_t inboxStart_ = 0;
    bool screening_ = true;      // no device data handed on yet: a server's text is still possible
    std::optional<Error> lost_;  // the connection ended; told once inbox_ is empty
    bool drained_ = false;       // the socket's receive side has ended: nothing more to read
    std::vector<uint8_t> outbox_;  // escaped bytes not yet sent (a write the socket cut short)
    LineSettings line_{};
    uint64_t unansweredBytes_ = 0;  // written since the box last sent anything
    bool purgeAnswered_ = true;     // the server acknowledges PURGE-DATA (until it did not)
    std::chrono::steady_clock::duration connectTime_{};
};

}  // namespace kestrow::detail
