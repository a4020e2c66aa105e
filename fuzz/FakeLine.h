// The line the fuzz targets' SerialPort talks to instead of a device (FakeSerialPort.cpp): the
// fuzzer's bytes arrive in the chunks it chooses, everything the code under test does to the
// port is recorded, and waits return at once. Fuzz builds only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace kestrow::fuzz {

enum class LineEvent { Opened, Closed, Sent, Received, Purged };

struct LineRecord {
    LineEvent event;
    std::vector<uint8_t> bytes;  // Sent: what went out; Received: what a Read handed out
    uint32_t requested = 0;      // Received: the count the Read asked for
};

// One line for the whole process. Each Read first takes one byte n from the input: the next n
// input bytes (fewer at its end) arrive, then the Read hands out what it asked for, at most what
// has arrived; the rest waits for the next Read. Purge and Close drop what waits, as the device
// does. An Open succeeds while `opens` is true.
class FakeLine {
  public:
    void Reset(std::span<const uint8_t> input, bool opens = true);

    [[nodiscard]] const std::vector<LineRecord>& records() const { return records_; }
    // The Sent records' bytes, and the Received records, in order.
    [[nodiscard]] std::vector<std::vector<uint8_t>> Sent() const;
    [[nodiscard]] std::vector<const LineRecord*> Reads() const;
    // The bytes the last Sent record before record `index` carried; empty when none.
    [[nodiscard]] std::vector<uint8_t> SentBefore(size_t index) const;

    // Called by FakeSerialPort.cpp.
    [[nodiscard]] bool opens() const { return opens_; }
    void Record(LineEvent event, std::span<const uint8_t> bytes = {}, uint32_t requested = 0);
    // Lets the next chunk arrive, then takes up to `count` waiting bytes.
    std::vector<uint8_t> Take(uint32_t count);
    void Drop() { waiting_.clear(); }

  private:
    std::span<const uint8_t> input_;
    std::deque<uint8_t> waiting_;
    std::vector<LineRecord> records_;
    bool opens_ = true;
};

FakeLine& Line();

// Aborts, naming `what`, when the condition does not hold: a finding of the fuzz target.
void Check(bool condition, const char* what);

}  // namespace kestrow::fuzz
