// The fuzz build's transport and waits, in place of the platform backends and SerialHooks.cpp:
// SerialPort (SerialPort.cpp) runs its real read and write rules over a backend that moves
// FakeLine's bytes, so the transactions run unchanged and their long time-outs cost nothing.
// Every buffer SerialPort hands to the backend is checked to be addressable over its whole
// length.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/FakeLine.h"
#include "serial/SerialBackend.h"
#include "serial/SerialHooks.h"

namespace kestrow {
namespace fuzz {

void FakeLine::Reset(std::span<const uint8_t> input, bool opens) {
    input_ = input;
    waiting_.clear();
    records_.clear();
    opens_ = opens;
    reading_ = false;
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

void FakeLine::Record(LineEvent event, std::span<const uint8_t> bytes) {
    Check(!reading_, "a read ended unseen: a port on the fake line lacks LineTracer()");
    records_.push_back({event, {bytes.begin(), bytes.end()}, 0});
}

size_t FakeLine::Take(std::span<uint8_t> into) {
    if (!reading_ && !input_.empty()) {
        const size_t n = std::min<size_t>(input_[0], input_.size() - 1);
        const auto chunk = input_.subspan(1, n);
        waiting_.insert(waiting_.end(), chunk.begin(), chunk.end());
        input_ = input_.subspan(1 + n);
    }
    reading_ = true;
    const size_t n = std::min(into.size(), waiting_.size());
    const auto end = waiting_.begin() + static_cast<ptrdiff_t>(n);
    std::copy(waiting_.begin(), end, into.begin());
    waiting_.erase(waiting_.begin(), end);
    return n;
}

void FakeLine::EndRead(std::span<const uint8_t> got, uint32_t requested) {
    reading_ = false;
    records_.push_back({LineEvent::Received, {got.begin(), got.end()}, requested});
}

FakeLine& Line() {
    static FakeLine line;
    return line;
}

SerialTracer LineTracer() {
    return [](TraceDirection direction, std::span<const uint8_t> bytes, uint32_t requested) {
        if (direction == TraceDirection::Received) {
            Line().EndRead(bytes, requested);
        }  // what is sent the backend records as it goes out
    };
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz finding: %s\n", what);
        std::abort();
    }
}

namespace {

using detail::Direction;
using detail::Readiness;

// A call the fake line refuses: the line does not open, or the port is closed.
Error NotOpen(const char* call, ErrorKind kind) {
    return {.kind = kind,
            .domain = ErrorDomain::Errno,
            .code = kind == ErrorKind::NoDevice ? ENOENT : EBADF,
            .call = call};
}

void CheckAddressable(const void* buffer, size_t count, const char* what) {
    Check(__asan_region_is_poisoned(const_cast<void*>(buffer), count) == nullptr, what);
}

// A device that is always there while the line opens, takes every byte at once and hands out
// what FakeLine lets arrive.
class FakeBackend final : public detail::SerialBackend {
  public:
    explicit FakeBackend(PortForm form) : form_(form) {}

    [[nodiscard]] PortForm Form() const override { return form_; }

    [[nodiscard]] Result<void> Open(const ComPort& /*port*/) override {
        if (!Line().opens()) {
            return NotOpen(detail::kOpenFailed, ErrorKind::NoDevice);
        }
        open_ = true;
        Line().Drop();
        Line().Record(LineEvent::Opened);
        return {};
    }

    [[nodiscard]] Result<void> Close() override {
        if (open_) {
            open_ = false;
            Line().Drop();
            Line().Record(LineEvent::Closed);
        }
        return {};
    }

    [[nodiscard]] Result<void> SetLine(const LineSettings& /*line*/) override { return {}; }

    [[nodiscard]] bool IsOpen() const override { return open_; }

    [[nodiscard]] Result<uint32_t> TryRead(std::span<uint8_t> into) override {
        CheckAddressable(into.data(), into.size(), "Read into a buffer shorter than its count");
        if (!open_) {
            return NotOpen("Failed in call to read\n", ErrorKind::Failed);
        }
        return static_cast<uint32_t>(Line().Take(into));
    }

    [[nodiscard]] Result<uint32_t> TryWrite(std::span<const uint8_t> bytes) override {
        CheckAddressable(bytes.data(), bytes.size(), "Write from a buffer shorter than its count");
        if (!open_) {
            return NotOpen("Failed in call to write\n", ErrorKind::Failed);
        }
        Line().Record(LineEvent::Sent, bytes);
        return static_cast<uint32_t>(bytes.size());
    }

    // A Read waits only once its chunk is handed out: nothing more will come for it. Waiting
    // for its time-out would cost the fuzzer real time, and a hang-up would mark the device
    // gone, so the read ends on a failure that is neither: no answer, reported to nobody.
    [[nodiscard]] Result<Readiness> WaitReady(Direction direction, int64_t /*leftMs*/) override {
        if (direction == Direction::Write) {
            return Readiness{true, false};
        }
        return Error{.kind = ErrorKind::NoAnswer,
                     .call = "Failed in call to read\n",
                     .detail = "the fuzz input gives this read nothing more"};
    }

    [[nodiscard]] Result<void> DiscardInput() override {
        if (!open_) {
            return NotOpen("Failed in call to PurgeComm\n", ErrorKind::Failed);
        }
        Line().Drop();
        Line().Record(LineEvent::Purged);
        return {};
    }

  private:
    PortForm form_;
    bool open_ = false;
};

}  // namespace
}  // namespace fuzz

namespace detail {

// Every form of port, network ones too, is the fake line.
std::unique_ptr<SerialBackend> MakeBackend(PortForm form) {
    return std::make_unique<fuzz::FakeBackend>(form);
}

}  // namespace detail

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
