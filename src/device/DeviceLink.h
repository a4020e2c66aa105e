// The transactions of the settings protocol, implemented once. A DeviceLink owns one
// SerialPort and a port (number and device); every dialog and the main window hold one as a
// plain member.
// Each transaction opens the port, exchanges one frame and closes it again; a held link
// (kestrowctl, below) keeps the port open between them. A failure is the serial layer's Error
// (the port did not open, the device went away), or NoAnswer for a reply that did not come
// whole, BadReply for one that does not start with its length.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "base/Result.h"
#include "device/Frames.h"
#include "serial/SerialPort.h"

namespace kestrow {

// Opens `serial` on `port` as every exchange with the box does: 115200 8-N-1, no flow control,
// under the open default time-outs.
[[nodiscard]] Result<void> OpenBoxPort(SerialPort& serial, const ComPort& port);
// Closes `serial` if open, opens it as above and switches to the long-read time-outs (status
// refresh, firmware update).
[[nodiscard]] Result<void> OpenForLongReads(SerialPort& serial, const ComPort& port);

class DeviceLink {
  public:
    explicit DeviceLink(ComPort port = {}, SerialTracer tracer = {}) : port_(std::move(port)) {
        serial_.SetTracer(std::move(tracer));
    }

    // A held link lets go of the port it had open.
    void SetPort(ComPort port);
    [[nodiscard]] const ComPort& port() const { return port_; }
    // Every Read and Write of the link's port is told to `tracer` (kestrowctl --trace).
    void SetTracer(SerialTracer tracer) { serial_.SetTracer(std::move(tracer)); }

    // Writes: a failure when the port did not open or the frame did not go out whole (also a
    // command frame of a length other than 5 or 8: Invalid).
    [[nodiscard]] Result<void> WriteSetting(uint8_t group, uint8_t item, uint8_t value);
    [[nodiscard]] Result<void> WriteGenlockValue(uint8_t item, uint8_t high, uint8_t low);
    [[nodiscard]] Result<void> SendFrame(uint8_t length, uint8_t opcode, uint8_t b4, uint8_t b5,
                                         uint8_t b6);

    // Reads. ReadSetting takes a reply only when all 5 bytes arrived and byte 0 is 05.
    [[nodiscard]] Result<uint8_t> ReadSetting(uint8_t group, uint8_t item);
    [[nodiscard]] Result<uint16_t> ReadGenlockValue(uint8_t item);

    // The nine characters of the version reply, when exactly 14 bytes came back (the System
    // dialog shows "NA" otherwise).
    [[nodiscard]] Result<std::string> ReadVersionText(bool useItem3);

    // Port search: opens `port`, discards input, sends the probe and reads 5 bytes under the
    // open default time-outs; closes again. Success when 5 bytes came back.
    [[nodiscard]] Result<void> ProbeForSearch(const ComPort& port);
    // Any request of `request`'s bytes as a transaction of its own (the boot loader's Ping):
    // opens, discards input, writes it and reads `reply` whole under the open default time-outs;
    // closes again. NoAnswer when fewer bytes came.
    [[nodiscard]] Result<void> ExchangeBytes(std::span<const uint8_t> request,
                                             std::span<uint8_t> reply);

    // Status refresh: closes if open, opens the link's port and switches to the long-read
    // time-outs.
    [[nodiscard]] Result<void> OpenForRefresh();
    // Closes if open and opens the link's port under the open default time-outs, for a run of
    // exchanges that should not wait the long reads (kestrowctl asking what the box is).
    [[nodiscard]] Result<void> OpenForExchanges() { return OpenStep(); }
    // One refresh exchange: write the frame, read 5 bytes, wait 10 ms, discard input. The reply
    // only when exactly 5 bytes arrived.
    [[nodiscard]] Result<Reply> Exchange(const Frame& frame);
    // The end of a run of exchanges begun with OpenForRefresh or OpenForExchanges: closes the
    // port, unless it is held and the run did not end on `failure` of a kind that closes it.
    void EndExchanges(const Error* failure = nullptr);

    // kestrowctl serves a box on one opening of its port. From Hold on, the port stays open from
    // one transaction (or run of exchanges) to the next: where one would open the port, it
    // drops stale input and goes back to the open default time-outs (the long reads for a
    // refresh), as a fresh opening would have them. A failure that leaves the port unusable
    // (gone, failed, not opened) closes it, and the next transaction opens it again; a box that
    // gave no or a wrong answer keeps it open. The frames and waits are those of the opening
    // per transaction; the panel never holds a link.
    void Hold() { held_ = true; }
    [[nodiscard]] bool Held() const { return held_; }
    // Closes the port, held or not.
    void Close() { serial_.Close(); }
    [[nodiscard]] bool IsOpen() const { return serial_.IsOpen(); }
    // The port itself, for a run of the boot loader's protocol on the same opening.
    [[nodiscard]] SerialPort& Serial() { return serial_; }

  private:
    // Opens the port for a transaction; held and open, drops stale input instead.
    [[nodiscard]] Result<void> OpenStep();
    // The end of a transaction that ended with `outcome`: see EndExchanges.
    template <class T>
    void EndStep(const Result<T>& outcome) {
        EndExchanges(outcome ? nullptr : &outcome.error());
    }
    [[nodiscard]] Result<void> WriteFrame(const Frame& frame);
    [[nodiscard]] Result<void> WriteBytes(std::span<const uint8_t> bytes);
    // Reads a whole reply of `into`'s size; NoAnswer when fewer bytes came.
    [[nodiscard]] Result<void> ReadReply(std::span<uint8_t> into);
    // Opening step, the frame, Close: a write transaction.
    [[nodiscard]] Result<void> Transmit(const Frame& frame);

    SerialPort serial_;
    ComPort port_;
    bool held_ = false;
};

}  // namespace kestrow
