// The line the fuzz targets' SerialPort talks to instead of a device (FakeLine.cpp holds
// the backend over it): the fuzzer's bytes arrive in the chunks it chooses, everything the code
// under test does to the port is recorded, and waits return at once. SerialPort's own read and
// write rules run unchanged above it. Fuzz builds only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "serial/SerialTypes.h"

namespace kestrow::fuzz {

enum class LineEvent { Opened, Closed, Sent, Received, Purged };

struct LineRecord {
    LineEvent event;
    std::vector<uint8_t> bytes;  // Sent: what went out; Received: what a Read handed out
    uint32_t requested = 0;      // Received: the count the Read asked for
};

// One line for the whole process. Each Read first takes one byte n from the input: the next n
// input bytes (fewer at its end) arrive, then the Read hands out what it asked for, at most what
// has arrived, and ends; the rest waits for the next Read. Purge and Close drop what waits, as
// the device does. An Open succeeds while `opens` is true.
//
// Where one Read ends only SerialPort knows, so every port on the line must carry LineTracer():
// its trace of each Read records it and lets the next Read have its own chunk. An event on the
// line while a Read is still unended means a port without the tracer, and aborts.
class FakeLine {
  public:
    void Reset(std::span<const uint8_t> input, bool opens = true);

    [[nodiscard]] const std::vector<LineRecord>& records() const { return records_; }
    // The Sent records' bytes, and the Received records, in order.
    [[nodiscard]] std::vector<std::vector<uint8_t>> Sent() const;
    [[nodiscard]] std::vector<const LineRecord*> Reads() const;
    // The bytes the last Sent record before record `index` carried; empty when none.
    [[nodiscard]] std::vector<uint8_t> SentBefore(size_t index) const;

    // Called by the fake backend.
    [[nodiscard]] bool opens() const { return opens_; }
    void Record(LineEvent event, std::span<const uint8_t> bytes = {});
    // Lets the current Read's chunk arrive if it has not yet, then moves up to `into.size()`
    // waiting bytes into `into`; returns how many.
    size_t Take(std::span<uint8_t> into);
    void Drop() { waiting_.clear(); }

    // Called by LineTracer(): the Read that handed out `got` of `requested` bytes ended.
    void EndRead(std::span<const uint8_t> got, uint32_t requested);

  private:
    std::span<const uint8_t> input_;
    std::deque<uint8_t> waiting_;
    std::vector<LineRecord> records_;
    bool opens_ = true;
    bool reading_ = false;  // a Read has had its chunk and has not ended yet
};

FakeLine& Line();

// The tracer every SerialPort of a fuzz target carries (SerialPort::SetTracer, DeviceLink's
// constructor): it ends each Read on the line.
[[nodiscard]] SerialTracer LineTracer();

// Aborts, naming `what`, when the condition does not hold: a finding of the fuzz target.
void Check(bool condition, const char* what);

}  // namespace kestrow::fuzz
