// The transactions of the settings protocol, implemented once. A DeviceLink owns one
// SerialPort and a port (number and device); every dialog and the main window hold one as a
// plain member.
// Each transaction opens the port, exchanges one frame and closes it again.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "device/Frames.h"
#include "serial/SerialPort.h"

namespace kestrow {

// Opens `serial` on `port` as every exchange with the box does: 115200 8-N-1, no flow control,
// under the open default time-outs. True when the port is open afterwards.
[[nodiscard]] bool OpenBoxPort(SerialPort& serial, const ComPort& port);
// Closes `serial` if open, opens it as above and switches to the long-read time-outs (status
// refresh, firmware update). False when the port did not open.
[[nodiscard]] bool OpenForLongReads(SerialPort& serial, const ComPort& port);

class DeviceLink {
  public:
    explicit DeviceLink(ComPort port = {}, SerialTracer tracer = {}) : port_(std::move(port)) {
        serial_.SetTracer(std::move(tracer));
    }

    void SetPort(ComPort port) { port_ = std::move(port); }
    [[nodiscard]] const ComPort& port() const { return port_; }
    // Every Read and Write of the link's port is told to `tracer` (kestrowctl --trace).
    void SetTracer(SerialTracer tracer) { serial_.SetTracer(std::move(tracer)); }

    // Writes: false when the port did not open or the frame did not go out whole.
    [[nodiscard]] bool WriteSetting(uint8_t group, uint8_t item, uint8_t value);
    [[nodiscard]] bool WriteGenlockValue(uint8_t item, uint8_t high, uint8_t low);
    [[nodiscard]] bool SendFrame(uint8_t length, uint8_t opcode, uint8_t b4, uint8_t b5,
                                 uint8_t b6);

    // Reads: no value when the port did not open or the reply was short. ReadSetting takes a
    // reply only when all 5 bytes arrived and byte 0 is 05.
    [[nodiscard]] std::optional<uint8_t> ReadSetting(uint8_t group, uint8_t item);
    [[nodiscard]] std::optional<uint16_t> ReadGenlockValue(uint8_t item);

    // Fills `text` with the nine characters of the version reply, or "NA" unless exactly 14
    // bytes came back; returns reply byte 3. When the port does not open: returns 0 and leaves
    // `text` as it was.
    uint8_t ReadVersionText(bool useItem3, std::string& text);

    // Port search: opens `port` (no Close before), discards input, sends the probe and reads 5
    // bytes under the open default time-outs; closes again. True when 5 bytes came back.
    [[nodiscard]] bool ProbeForSearch(const ComPort& port);

    // Status refresh: closes if open, opens the link's port and switches to the long-read
    // time-outs. False when the port did not open.
    [[nodiscard]] bool OpenForRefresh() { return OpenForLongReads(serial_, port_); }
    // Closes if open and opens the link's port under the open default time-outs, for a run of
    // exchanges that should not wait the long reads (kestrowctl asking what the box is).
    [[nodiscard]] bool OpenForExchanges() { return OpenStep(); }
    // One refresh exchange: write the frame, read 5 bytes, wait 10 ms, discard input. The reply
    // only when exactly 5 bytes arrived.
    [[nodiscard]] std::optional<Reply> Exchange(const Frame& frame);

    void Close() { serial_.Close(); }
    [[nodiscard]] bool IsOpen() const { return serial_.IsOpen(); }
    // The last transaction's port went away under it (SerialPort::Vanished), or did not open
    // (the system's error number, SerialPort::OpenError).
    [[nodiscard]] bool Vanished() const { return serial_.Vanished(); }
    [[nodiscard]] int OpenError() const { return serial_.OpenError(); }
    [[nodiscard]] const std::string& OpenErrorText() const { return serial_.OpenErrorText(); }

  private:
    [[nodiscard]] bool OpenStep();
    [[nodiscard]] bool WriteFrame(const Frame& frame);
    // Opening step, the frame, Close: a write transaction.
    [[nodiscard]] bool Transmit(const Frame& frame);

    SerialPort serial_;
    ComPort port_;
};

}  // namespace kestrow
