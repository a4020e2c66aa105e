// The box's serial boot loader: packets, the connect sequence (Ping, boot request, Download,
// Get Status) and the flash write (Send Data blocks, Get Status, Reset). Runs on a SerialPort
// opened with OpenForLongReads (DeviceLink.h); never shows anything, never retries beyond the one
// Ping after the boot request.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "serial/SerialPort.h"

namespace kestrow {

// Where WriteFlash reports how far it got (the dialog's progress bar).
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void SetRange(std::uint16_t minimum, std::uint16_t maximum) = 0;
    virtual void SetPosition(std::uint16_t position) = 0;
    // Asked right before Download, the first request that touches the flash, and before each
    // Send Data block: true stops the run there. Before Download nothing has been written; after
    // it a stop leaves the box in its boot loader until a whole program is written. The default
    // never stops.
    virtual bool StopRequested() { return false; }
};

inline constexpr std::size_t kSendDataMaxBytes = 76;
inline constexpr std::size_t kSendDataMaxPacket = kSendDataMaxBytes + 3;

inline constexpr std::array<std::uint8_t, 3> kPingPacket{0x03, 0x20, 0x20};
inline constexpr std::array<std::uint8_t, 3> kGetStatusPacket{0x03, 0x23, 0x23};
// The status reply's acknowledge CC followed by the Reset packet 03 25 25.
inline constexpr std::array<std::uint8_t, 4> kResetPacket{0xCC, 0x03, 0x25, 0x25};
inline constexpr std::array<std::uint8_t, 4> kBootRequest{0x88, 0x99, 0x06, 0xFE};
inline constexpr std::array<std::uint8_t, 2> kAcknowledge{0x00, 0xCC};
inline constexpr std::uint8_t kStatusAcknowledge = 0xCC;
inline constexpr std::uint8_t kStatusSuccess = 0x40;
// The status reply: the acknowledge 00 CC, then a packet of length 03 whose bytes 1 and 2 say
// success (40).
inline constexpr std::size_t kStatusReplyBytes = 5;
inline constexpr std::uint8_t kStatusPacketLength = 0x03;

// The fixed waits of the exchange, in milliseconds.
inline constexpr std::uint32_t kWaitAfterPingMs = 20;
inline constexpr std::uint32_t kWaitAfterBootRequestMs = 1000;
inline constexpr std::uint32_t kWaitAfterSecondPingMs = 50;
inline constexpr std::uint32_t kWaitAfterDownloadMs = 1000;
inline constexpr std::uint32_t kWaitAfterGetStatusMs = 50;
inline constexpr std::uint32_t kWaitAfterResetMs = 100;

// Flash address of a program for target digit '3' (0x1000) or '4' (0x2800).
[[nodiscard]] std::optional<std::uint32_t> StartAddressFor(char targetDigit);

// Download: 0B, checksum, 21, address and size most significant byte first.
[[nodiscard]] std::array<std::uint8_t, 11> DownloadPacket(std::uint32_t address,
                                                          std::uint32_t size);

struct SendDataPacket {
    std::array<std::uint8_t, kSendDataMaxPacket> bytes{};
    std::size_t size = 0;
    [[nodiscard]] std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
};

// Send Data: n + 3, checksum, 24, the n bytes (1 <= n <= 76; longer input is cut to 76).
[[nodiscard]] SendDataPacket MakeSendDataPacket(std::span<const std::uint8_t> chunk);

// Makes sure the boot loader answers (Ping, and once more after the boot request), announces
// the program with Download and checks the status. Ends at the first failed step:
// - NoAnswer when the Ping gets no acknowledge, also after the boot request (Gone when the port
//   went away meanwhile); the failure's call then is firmware_text::kNoAnswerDetail;
// - Gone with the call firmware_text::kBootLoaderWaits when the port went away after the box
//   answered a Ping or was sent the boot request: it waits in its boot loader now;
// - BadReply when Download is not acknowledged or the status is not success;
// - Stopped when `stop` (asked right before Download, when given) asks to stop, before anything
//   touches the flash;
// - Invalid, without sending anything, for a closed port, an unknown target digit or a program
//   length outside 256 .. 4,980,735.
[[nodiscard]] Result<void> ConnectBootLoader(SerialPort& port, std::int32_t programLength,
                                             char targetDigit, ProgressSink* stop = nullptr);

// Sends the program in blocks of at most 76 bytes, reporting progress, then checks the status
// and resets the box. Fails at the first missing acknowledge (NoAnswer, BadReply, or Gone when
// the port went away), or when the sink asks to stop before a block (Stopped); nothing is sent
// for a program shorter than 256 or longer than 4,980,735 bytes (Invalid).
[[nodiscard]] Result<void> WriteFlash(SerialPort& port, std::span<const std::uint8_t> program,
                                      ProgressSink& progress);

}  // namespace kestrow
