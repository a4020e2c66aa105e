#include "firmware/BootLoader.h"

#include <algorithm>

#include "firmware/FirmwareImage.h"

namespace kestrow {
namespace {

constexpr std::uint8_t kCommandDownload = 0x21;
constexpr std::uint8_t kCommandSendData = 0x24;

template <std::size_t N>
void Send(SerialPort& port, const std::array<std::uint8_t, N>& bytes) {
    port.Write(bytes.data(), static_cast<std::uint32_t>(N));
}

// Reads the two acknowledge bytes; true only when both arrived and are 00 CC.
bool ReadAcknowledge(SerialPort& port) {
    std::array<std::uint8_t, 2> reply{};
    return port.Read(reply.data(), 2) == 2 && reply == kAcknowledge;
}

// Reads the five-byte status reply. Bytes that do not arrive stay 0, which no check accepts.
std::array<std::uint8_t, kStatusReplyBytes> ReadStatusReply(SerialPort& port) {
    std::array<std::uint8_t, kStatusReplyBytes> reply{};
    (void)port.Read(reply.data(), kStatusReplyBytes);
    return reply;
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

BootConnect ConnectBootLoader(SerialPort& port, std::int32_t programLength, char targetDigit,
                              ProgressSink* stop) {
    const auto address = StartAddressFor(targetDigit);
    if (!port.IsOpen() || !address || programLength < 0 ||
        !ProgramLengthValid(static_cast<std::size_t>(programLength))) {
        return BootConnect::Refused;
    }

    Send(port, kPingPacket);
    SleepMs(kWaitAfterPingMs);
    if (!ReadAcknowledge(port)) {
        // The box still runs its firmware: ask it to start the boot loader, then Ping once more.
        Send(port, kBootRequest);
        SleepMs(kWaitAfterBootRequestMs);
        port.DiscardInput();
        Send(port, kPingPacket);
        SleepMs(kWaitAfterSecondPingMs);
        if (!ReadAcknowledge(port)) {
            return BootConnect::Silent;
        }
    }

    if (stop != nullptr && stop->StopRequested()) {
        return BootConnect::Stopped;
    }
    Send(port, DownloadPacket(*address, static_cast<std::uint32_t>(programLength)));
    SleepMs(kWaitAfterDownloadMs);
    if (!ReadAcknowledge(port)) {
        return BootConnect::Refused;
    }

    Send(port, kGetStatusPacket);
    SleepMs(kWaitAfterGetStatusMs);
    const auto status = ReadStatusReply(port);
    const bool accepted = status[2] == kStatusPacketLength && status[3] == kStatusSuccess &&
                          status[4] == kStatusSuccess;
    // The status reply is acknowledged whatever it said.
    Send(port, std::array<std::uint8_t, 1>{kStatusAcknowledge});
    return accepted ? BootConnect::Connected : BootConnect::Refused;
}

bool WriteFlash(SerialPort& port, std::span<const std::uint8_t> program, ProgressSink& progress) {
    const std::size_t length = program.size();
    if (!ProgramLengthValid(length)) {
        return false;
    }
    progress.SetRange(0, static_cast<std::uint16_t>(length / kSendDataMaxBytes));
    progress.SetPosition(0);

    std::size_t sent = 0;
    while (sent < length) {
        if (progress.StopRequested()) {
            return false;
        }
        const auto packet = MakeSendDataPacket(program.subspan(sent));
        port.Write(packet.bytes.data(), static_cast<std::uint32_t>(packet.size));
        if (!ReadAcknowledge(port)) {
            return false;
        }
        sent += packet.size - 3;
        progress.SetPosition(static_cast<std::uint16_t>(sent / kSendDataMaxBytes));
    }

    Send(port, kGetStatusPacket);
    const auto status = ReadStatusReply(port);
    if (status[0] != kAcknowledge[0] || status[1] != kAcknowledge[1] ||
        status[2] != kStatusPacketLength || status[3] != kStatusSuccess) {
        return false;
    }

    Send(port, kResetPacket);
    SleepMs(kWaitAfterResetMs);
    return ReadAcknowledge(port);
}

}  // namespace kestrow
