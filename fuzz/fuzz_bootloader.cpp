// The boot loader's replies (acknowledges and status) through ConnectBootLoader and WriteFlash,
// against replies the fuzzer shapes. Input: byte 0 bit 0 picks the flash write (else the
// connect), bits 1-2 the target digit ('3', '4', none, '5'); byte 1 the program's length,
// 256 + 3 x byte 1; byte 2 the stop asked before that many blocks (255 never); the rest is the
// line (FakeLine.h). Success is claimed only when every step the box had to acknowledge was
// acknowledged 00 CC, and a flash write sent the whole program once, in order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "device/DeviceLink.h"
#include "firmware/BootLoader.h"
#include "firmware/FirmwareImage.h"
#include "fuzz/FakeLine.h"

using namespace kestrow;
using fuzz::Check;
using fuzz::Line;
using fuzz::LineEvent;
using fuzz::LineRecord;

namespace {

class Sink : public ProgressSink {
  public:
    explicit Sink(int stopAt) : stopAt_(stopAt) {}
    void SetRange(uint16_t /*minimum*/, uint16_t maximum) override { maximum_ = maximum; }
    void SetPosition(uint16_t position) override {
        Check(position <= maximum_, "progress beyond its range");
    }
    bool StopRequested() override { return asked_++ == stopAt_; }

  private:
    int stopAt_;
    int asked_ = 0;
    uint16_t maximum_ = 0;
};

bool Starts(const std::vector<uint8_t>& bytes, std::initializer_list<uint8_t> head) {
    return bytes.size() >= head.size() && std::equal(head.begin(), head.end(), bytes.begin());
}

// The read that follows record k (the next Received record), or null.
const LineRecord* ReplyTo(size_t k) {
    const auto& records = Line().records();
    for (size_t j = k + 1; j < records.size(); ++j) {
        if (records[j].event == LineEvent::Received) {
            return &records[j];
        }
        if (records[j].event == LineEvent::Sent) {
            return nullptr;
        }
    }
    return nullptr;
}

bool Acknowledged(size_t k) {
    const LineRecord* r = ReplyTo(k);
    return r != nullptr &&
           r->bytes == std::vector<uint8_t>(kAcknowledge.begin(), kAcknowledge.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const bool flash = (data[0] & 1) != 0;
    const char digit = "34 5"[(data[0] >> 1) % 4];
    const size_t length = kMinProgramBytes + data[1] * 3u;
    const int stopAt = data[2] == 255 ? -1 : data[2];
    Line().Reset({data + 3, size - 3});
    std::vector<uint8_t> program(length);
    for (size_t k = 0; k < length; ++k) {
        program[k] = static_cast<uint8_t>(k * 7 + 3);
    }
    SerialPort port;
    port.SetTracer(fuzz::LineTracer());
    Check(OpenForLongReads(port, ComPort{200, "/fake/COM200"}).ok(), "the fake port did not open");
    Sink sink(stopAt);
    const auto& records = Line().records();

    if (!flash) {
        const Result<void> result =
            ConnectBootLoader(port, static_cast<int32_t>(length), digit, &sink);
        if (!StartAddressFor(digit)) {
            Check(!result && result.error().kind == ErrorKind::Invalid && Line().Sent().empty(),
                  "an unknown target digit was not refused before anything was sent");
        }
        if (!result) {
            return 0;
        }
        // Connected: the Download acknowledged and the status read whole, reporting success.
        bool download = false;
        bool status = false;
        for (size_t k = 0; k < records.size(); ++k) {
            const auto& r = records[k];
            if (r.event == LineEvent::Sent && Starts(r.bytes, {0x0B}) && r.bytes.size() == 11) {
                download = Acknowledged(k);
            }
            if (r.event == LineEvent::Sent && Starts(r.bytes, {0x03, 0x23, 0x23})) {
                const LineRecord* reply = ReplyTo(k);
                status = download && reply != nullptr && reply->bytes.size() == 5 &&
                         reply->bytes[2] == 0x03 && reply->bytes[3] == kStatusSuccess &&
                         reply->bytes[4] == kStatusSuccess;
            }
        }
        Check(download && status, "connected without an acknowledged Download and good status");
        return 0;
    }

    const bool written = WriteFlash(port, program, sink).ok();
    if (!written) {
        return 0;
    }
    // Written: each Send Data block acknowledged, the blocks the program, the status good, the
    // reset acknowledged.
    std::vector<uint8_t> sentProgram;
    bool status = false;
    bool reset = false;
    for (size_t k = 0; k < records.size(); ++k) {
        const auto& r = records[k];
        if (r.event != LineEvent::Sent) {
            continue;
        }
        if (r.bytes.size() >= 4 && r.bytes[2] == 0x24 && r.bytes[0] == r.bytes.size()) {
            Check(Acknowledged(k), "a Send Data block not acknowledged, yet written");
            sentProgram.insert(sentProgram.end(), r.bytes.begin() + 3, r.bytes.end());
        } else if (Starts(r.bytes, {0x03, 0x23, 0x23})) {
            const LineRecord* reply = ReplyTo(k);
            status = reply != nullptr && reply->bytes.size() >= 4 && reply->bytes[0] == 0x00 &&
                     reply->bytes[1] == 0xCC && reply->bytes[2] == 0x03 &&
                     reply->bytes[3] == kStatusSuccess;
        } else if (Starts(r.bytes, {0xCC, 0x03, 0x25, 0x25})) {
            reset = Acknowledged(k);
        }
    }
    Check(sentProgram == program, "written, but the blocks sent are not the program");
    Check(status && reset, "written without a good status and an acknowledged reset");
    return 0;
}
