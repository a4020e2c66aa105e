// SerialPort's members, the waits and the failure reporter for the fuzz build, in place of
// SerialPortPosix.cpp, SerialLinePosix.cpp and SerialCommon.cpp: the transactions run
// unchanged against FakeLine, and their long time-outs cost nothing. Every buffer the code
// under test hands to Read or Write is checked to be addressable over the whole count given.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/SerialPort.h"
#include "fuzz/FakeLine.h"

namespace kestrow {
namespace fuzz {

void FakeLine::Reset(std::span<const uint8_t> input, bool opens) {
    input_ = input;
    waiting_.clear();
    records_.clear();
    opens_ = opens;
}

std::vector<std::vector<uint8_t>> FakeLine::Sent() const {
    std::vector<std::vector<uint8_t>> out;
    for (const LineRecord& r : records_) {
        if (r.event == LineEvent::Sent) {
            out.push_back(r.bytes);
        }
    }
    return out;
}

std::vector<const LineRecord*> FakeLine::Reads() const {
    std::vector<const LineRecord*> out;
    for (const LineRecord& r : records_) {
        if (r.event == LineEvent::Received) {
            out.push_back(&r);
        }
    }
    return out;
}

std::vector<uint8_t> FakeLine::SentBefore(size_t index) const {
    for (size_t k = std::min(index, records_.size()); k-- > 0;) {
        if (records_[k].event == LineEvent::Sent) {
            return records_[k].bytes;
        }
    }
    return {};
}

void FakeLine::Record(LineEvent event, std::span<const uint8_t> bytes, uint32_t requested) {
    records_.push_back({event, {bytes.begin(), bytes.end()}, requested});
}

std::vector<uint8_t> FakeLine::Take(uint32_t count) {
    if (!input_.empty()) {
        const size_t n = std::min<size_t>(input_[0], input_.size() - 1);
        const auto chunk = input_.subspan(1, n);
        waiting_.insert(waiting_.end(), chunk.begin(), chunk.end());
        input_ = input_.subspan(1 + n);
    }
    const size_t n = std::min<size_t>(count, waiting_.size());
    std::vector<uint8_t> out(waiting_.begin(), waiting_.begin() + static_cast<ptrdiff_t>(n));
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<ptrdiff_t>(n));
    return out;
}

FakeLine& Line() {
    static FakeLine line;
    return line;
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz finding: %s\n", what);
        std::abort();
    }
}

namespace {

void CheckAddressable(const void* buffer, uint32_t count, const char* what) {
    Check(__asan_region_is_poisoned(const_cast<void*>(buffer), count) == nullptr, what);
}

}  // namespace
}  // namespace fuzz

using fuzz::Line;
using fuzz::LineEvent;

void SerialPort::Open(const ComPort& port, uint32_t /*baud*/, SerialParity /*parity*/,
                      uint8_t /*dataBits*/, SerialStopBits /*stopBits*/,
                      SerialFlowControl /*flowControl*/, bool overlapped) {
    if (port.path.empty() && (port.number < 0 || port.number > kMaxComPort)) {
        return;
    }
    Close();
    vanished_ = false;
    if (!Line().opens()) {
        openError_ = 2;  // ENOENT
        return;
    }
    openError_ = 0;
    handle_ = 1;
    overlapped_ = overlapped;
    timeouts_ = kOpenDefaultTimeouts;
    Line().Drop();
    Line().Record(LineEvent::Opened);
}

void SerialPort::Close() {
    if (!IsOpen()) {
        return;
    }
    handle_ = -1;
    overlapped_ = false;
    Line().Drop();
    Line().Record(LineEvent::Closed);
}

bool SerialPort::IsOpen() const {
    return handle_ >= 0;
}

uint32_t SerialPort::Read(void* buffer, uint32_t count) {
    fuzz::CheckAddressable(buffer, count, "Read into a buffer shorter than its count");
    if (!IsOpen() || overlapped_ || count == 0) {
        return 0;
    }
    const std::vector<uint8_t> got = Line().Take(count);
    std::copy(got.begin(), got.end(), static_cast<uint8_t*>(buffer));
    Line().Record(LineEvent::Received, got, count);
    Trace(TraceDirection::Received, got.data(), static_cast<uint32_t>(got.size()), count);
    return static_cast<uint32_t>(got.size());
}

uint32_t SerialPort::Write(const void* buffer, uint32_t count) {
    fuzz::CheckAddressable(buffer, count, "Write from a buffer shorter than its count");
    if (!IsOpen() || overlapped_) {
        return 0;
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    Line().Record(LineEvent::Sent, {bytes, count});
    Trace(TraceDirection::Sent, bytes, count, count);
    return count;
}

bool SerialPort::Purge(uint32_t flags) {
    if (!IsOpen()) {
        return false;
    }
    if ((flags & (kPurgeRxClear | kPurgeRxAbort)) != 0) {
        Line().Drop();
        Line().Record(LineEvent::Purged);
    }
    return true;
}

bool SerialPort::GetTimeouts(SerialTimeouts& out) {
    if (!IsOpen()) {
        return false;
    }
    out = timeouts_;
    return true;
}

bool SerialPort::SetTimeouts(const SerialTimeouts& in) {
    if (!IsOpen()) {
        return false;
    }
    timeouts_ = in;
    return true;
}

// The waits: a fuzzer cannot afford the protocol's sleeps, and no window needs painting.
void SleepMs(uint32_t /*ms*/) {}
void RunIdleHook() {}
void SetIdleHook(IdleHook /*hook*/) {}

// Failures are the code under test's to handle, not to show.
SerialReporter SetSerialReporter(SerialReporter /*reporter*/) {
    return {};
}
void ReportSerialFailure(const SerialReport& /*report*/) {}

}  // namespace kestrow
