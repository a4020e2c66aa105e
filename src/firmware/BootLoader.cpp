#include "firmware/BootLoader.h"

#include <algorithm>

#include "firmware/FirmwareImage.h"
#include "firmware/FirmwareTexts.h"

namespace kestrow {
namespace {

constexpr std::uint8_t kCommandDownload = 0x21;
constexpr std::uint8_t kCommandSendData = 0x24;

// Sends the bytes. A write that fails shows in the read that follows: the box cannot answer.
void Send(SerialPort& port, std::span<const std::uint8_t> bytes) {
    (void)port.Write(bytes);
}

// A reply that did not come whole (NoAnswer) or is not the one expected (BadReply).
Error Unanswered(ErrorKind kind) {
    return {.kind = kind};
}

// Reads the two acknowledge bytes 00 CC.
Result<void> ReadAcknowledge(SerialPort& port) {
    std::array<std::uint8_t, 2> reply{};
    const Result<std::uint32_t> got = port.Read(reply);
    if (!got) {
        return got.error();
    }
    if (*got != reply.size()) {
        return Unanswered(ErrorKind::NoAnswer);
    }
    if (reply != kAcknowledge) {
        return Unanswered(ErrorKind::BadReply);
    }
    return {};
}

// Reads the five-byte status reply. Bytes that do not arrive stay 0, which no check accepts.
Result<std::array<std::uint8_t, kStatusReplyBytes>> ReadStatusReply(SerialPort& port) {
    std::array<std::uint8_t, kStatusReplyBytes> reply{};
    if (const Result<std::uint32_t> got = port.Read(reply); !got) {
        return got.error();
    }
    return reply;
}

// A connect that failed: the failure with the operator's text of the step it failed at (the
// Ping's for no acknowledge; none for the later steps, whose reasons the serial layer reported).
// A port that went away once the box runs its boot loader, or was asked to start it, leaves the
// box waiting there: that is what the operator is told instead.
Error ConnectFailed(Error error, bool inBootLoader, const char* step = "") {
    error.call =
        error.kind == ErrorKind::Gone && inBootLoader ? firmware_text::kBootLoaderWaits : step;
    return error;
}

bool ProgramLengthValid(std::size_t length) {
    return length >= kMinProgramBytes && length <= kMaxProgramBytes;
}

}  // namespace

std::optional<std::uint32_t> StartAddressFor(char targetDigit) {
    switch (targetDigit) {
        case '3':
            return 0x00001000u;
        case '4':
            return 0x00002800u;
        default:
            return std::nullopt;
    }
}

std::array<std::uint8_t, 11> DownloadPacket(std::uint32_t address, std::uint32_t size) {
    std::array<std::uint8_t, 11> p{0x0B, 0, kCommandDownload};
    for (int i = 0; i < 4; ++i) {
        const int shift = 24 - 8 * i;
        p[static_cast<std::size_t>(3 + i)] = static_cast<std::uint8_t>(address >> shift);
        p[static_cast<std::size_t>(7 + i)] = static_cast<std::uint8_t>(size >> shift);
    }
    unsigned sum = 0;
    for (std::size_t i = 2; i < p.size(); ++i) {
        sum += p[i];
    }
    p[1] = static_cast<std::uint8_t>(sum);
    return p;
}

SendDataPacket MakeSendDataPacket(std::span<const std::uint8_t> chunk) {
    const std::size_t n = std::min(chunk.size(), kSendDataMaxBytes);
    SendDataPacket packet;
    packet.size = n + 3;
    packet.bytes[0] = static_cast<std::uint8_t>(n + 3);
    packet.bytes[2] = kCommandSendData;
    unsigned sum = kCommandSendData;
    for (std::size_t i = 0; i < n; ++i) {
        packet.bytes[3 + i] = chunk[i];
        sum += chunk[i];
    }
    packet.bytes[1] = static_cast<std::uint8_t>(sum);
    return packet;
}

Result<void> ConnectBootLoader(SerialPort& port, std::int32_t programLength, char targetDigit,
                               ProgressSink* stop) {
    const auto address = StartAddressFor(targetDigit);
    if (!port.IsOpen() || !address || programLength < 0 ||
        !ProgramLengthValid(static_cast<std::size_t>(programLength))) {
        return Error{.kind = ErrorKind::Invalid,
                     .detail =
                         "nothing to send: a closed port, an unknown target or a program "
                         "length the boot loader does not take"};
    }

    Send(port, kPingPacket);
    SleepMs(kWaitAfterPingMs);
    Result<void> ack = ReadAcknowledge(port);
    bool inBootLoader = ack.ok();
    if (!ack && ack.error().kind != ErrorKind::Gone) {
        // The box still runs its firmware: ask it to start the boot loader, then Ping once more.
        inBootLoader = true;
        Send(port, kBootRequest);
        SleepMs(kWaitAfterBootRequestMs);
        (void)port.DiscardInput();
        Send(port, kPingPacket);
        SleepMs(kWaitAfterSecondPingMs);
        ack = ReadAcknowledge(port);
    }
    if (!ack) {
        Error silent = ack.error();
        if (silent.kind != ErrorKind::Gone) {
            silent.kind = ErrorKind::NoAnswer;
        }
        return ConnectFailed(std::move(silent), inBootLoader, firmware_text::kNoAnswerDetail);
    }

    if (stop != nullptr && stop->StopRequested()) {
        return Error{.kind = ErrorKind::Stopped};
    }
    Send(port, DownloadPacket(*address, static_cast<std::uint32_t>(programLength)));
    SleepMs(kWaitAfterDownloadMs);
    if (ack = ReadAcknowledge(port); !ack) {
        return ConnectFailed(ack.error(), true);
    }

    Send(port, kGetStatusPacket);
    SleepMs(kWaitAfterGetStatusMs);
    const auto status = ReadStatusReply(port);
    const bool accepted = status && (*status)[2] == kStatusPacketLength &&
                          (*status)[3] == kStatusSuccess && (*status)[4] == kStatusSuccess;
    // The status reply is acknowledged whatever it said.
    Send(port, std::array<std::uint8_t, 1>{kStatusAcknowledge});
    if (!status) {
        return ConnectFailed(status.error(), true);
    }
    return accepted ? Result<void>{} : ConnectFailed(Unanswered(ErrorKind::BadReply), true);
}

Result<void> WriteFlash(SerialPort& port, std::span<const std::uint8_t> program,
                        ProgressSink& progress) {
    const std::size_t length = program.size();
    if (!ProgramLengthValid(length)) {
        return Error{.kind = ErrorKind::Invalid,
                     .detail = "a program of " + std::to_string(length) +
                               " bytes: the boot loader takes 256 to 4,980,735"};
    }
    progress.SetRange(0, static_cast<std::uint16_t>(length / kSendDataMaxBytes));
    progress.SetPosition(0);

    std::size_t sent = 0;
    while (sent < length) {
        if (progress.StopRequested()) {
            return Error{.kind = ErrorKind::Stopped};
        }
        const auto packet = MakeSendDataPacket(program.subspan(sent));
        Send(port, packet.view());
        if (Result<void> ack = ReadAcknowledge(port); !ack) {
            return ack;
        }
        sent += packet.size - 3;
        progress.SetPosition(static_cast<std::uint16_t>(sent / kSendDataMaxBytes));
    }

    Send(port, kGetStatusPacket);
    const auto status = ReadStatusReply(port);
    if (!status) {
        return status.error();
    }
    if ((*status)[0] != kAcknowledge[0] || (*status)[1] != kAcknowledge[1] ||
        (*status)[2] != kStatusPacketLength || (*status)[3] != kStatusSuccess) {
        return Unanswered(ErrorKind::BadReply);
    }

    Send(port, kResetPacket);
    SleepMs(kWaitAfterResetMs);
    return ReadAcknowledge(port);
}

}  // namespace kestrow
