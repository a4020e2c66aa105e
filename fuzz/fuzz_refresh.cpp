// The whole status refresh (RunStatusRefresh) against replies the fuzzer shapes. Input: byte 0
// bit 0 makes the open fail; the rest is the line (FakeLine.h). The refresh may store and
// report only bytes that arrived in a whole reply to the question it asked; an aborted refresh
// keeps what it had; the port ends closed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "fuzz/FakeLine.h"
#include "settings/StatusRefreshRun.h"

using namespace kestrow;
using fuzz::Check;
using fuzz::Line;
using fuzz::LineEvent;

namespace {

std::vector<uint8_t> Bytes(const Frame& frame) {
    return {frame.bytes.begin(), frame.bytes.begin() + frame.size};
}

// Each report is checked against the read it came from: the n-th read of the line answers the
// n-th request, so the probe is read 0 and the k-th setting read k.
class Judge : public RefreshObserver {
  public:
    void Opened() override { opened = true; }
    void ProbeAnswered(uint8_t portByte, uint8_t modelByte) override {
        const auto reply = Whole(Bytes(ProbeFrame()));
        Check(reply[3] == portByte && reply[4] == modelByte, "probe bytes not as sent");
    }
    void SettingRead(uint8_t group, uint8_t item, uint8_t value) override {
        const auto reply = Whole(Bytes(ReadSettingFrame(group, item)));
        Check(reply[3] == value, "setting reported is not reply byte 3");
        reported.push_back({group, item, value});
    }
    struct Reported {
        uint8_t group, item, value;
    };
    std::vector<Reported> reported;
    bool opened = false;

  private:
    // The latest read, which must be whole and answer `request`.
    std::vector<uint8_t> Whole(const std::vector<uint8_t>& request) {
        const auto& records = Line().records();
        size_t last = records.size();
        while (last > 0 && records[last - 1].event != LineEvent::Received) {
            --last;
        }
        Check(last > 0, "a value reported before any read");
        Check(Line().SentBefore(last - 1) == request, "a value reported for another question");
        const auto& bytes = records[last - 1].bytes;
        Check(bytes.size() == 5, "a value reported from a reply that was not whole");
        return bytes;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const bool opens = (data[0] & 1) == 0;
    Line().Reset({data + 1, size - 1}, opens);
    DeviceLink link(ComPort{200, "/fake/COM200"}, fuzz::LineTracer());

    // A cache and facts filled with marks the box is unlikely to send all of.
    StatusCache cache;
    auto* bytes = reinterpret_cast<uint8_t*>(&cache);
    static_assert(sizeof(StatusCache) == 23);
    for (size_t k = 0; k < sizeof cache; ++k) {
        bytes[k] = static_cast<uint8_t>(0xA0 + k);
    }
    const StatusCache before = cache;
    BoxFacts box{0xEE, 0xEF, true};
    const BoxFacts boxBefore = box;
    Judge judge;

    const Result<void> result = RunStatusRefresh(link, cache, box, &judge);
    Check(!link.IsOpen(), "the port is left open");

    const auto reads = Line().Reads();
    Check(judge.opened == opens, "told opened, or not, against the line");
    if (!judge.opened) {
        Check(!result && reads.empty(), "not opened, though it could be");
    }
    // Bytes stored come from whole replies: byte 3 of any, the probe's byte 4.
    std::set<uint8_t> sent;
    for (const auto* r : reads) {
        if (r->bytes.size() == 5) {
            sent.insert(r->bytes[3]);
        }
    }
    if (!reads.empty() && reads[0]->bytes.size() == 5) {
        sent.insert(reads[0]->bytes[4]);
    }
    const auto* after = reinterpret_cast<const uint8_t*>(&cache);
    const auto* was = reinterpret_cast<const uint8_t*>(&before);
    for (size_t k = 0; k < sizeof cache; ++k) {
        Check(after[k] == was[k] || sent.count(after[k]) == 1, "a cache byte nobody sent");
    }
    Check(box == boxBefore || (!reads.empty() && reads[0]->bytes.size() == 5),
          "box facts without a probe reply");
    // A value reported for a group 1 to 3 setting or (4,1) stays in its place in the cache.
    for (const auto& r : judge.reported) {
        const uint8_t* place = SettingByte(cache, r.group, r.item);
        Check(place == nullptr || *place == r.value, "the cache lost a value it reported");
    }
    // Completed: every read whole but possibly the model question's; aborted: the last short.
    if (result) {
        const auto model = Bytes(ModelQueryFrame());
        const auto& records = Line().records();
        for (size_t k = 0; k < records.size(); ++k) {
            if (records[k].event == LineEvent::Received && records[k].bytes.size() != 5) {
                Check(Line().SentBefore(k) == model, "completed past a short reply");
            }
        }
    } else if (judge.opened) {
        Check(!reads.empty() && reads.back()->bytes.size() != 5, "aborted after a whole reply");
    }
    return 0;
}
