#include "cli/Reading.h"

#include "cli/Console.h"
#include "device/Protocol.h"

namespace kestrow::cli {
namespace {

using namespace protocol;

// Remembers how far the refresh got, for the message when it stops.
class Progress : public RefreshObserver {
  public:
    void ProbeAnswered(uint8_t, uint8_t) override { probed = true; }
    void SettingRead(uint8_t, uint8_t, uint8_t) override { ++answered; }
    void ModelUnanswered() override { modelUnanswered = true; }
    bool probed = false;
    int answered = 0;
    bool modelUnanswered = false;
};

// The name a value goes by on this box: the setting whose dialog writes that item (for (4,2)
// the one this box's System dialog offers); (4,1) is the input timing; otherwise the System
// group's hidden setting.
std::string NameFor(uint8_t group, uint8_t item, const BoxFacts& box) {
    for (const SettingInfo& s : AllSettings()) {
        if (s.kind != SettingKind::Genlock && s.group == group && s.item == item &&
            (group != kGroupSystem || Offered(s, box))) {
            return std::string(s.name);
        }
    }
    return group == kGroupSystem && item == kItemInputTiming ? "input-timing" : "system-setting-a";
}

}  // namespace

Outcome<BoxReading> ReadBox(DeviceLink& link) {
    BoxReading r;
    Progress progress;
    if (Result<void> read = RunStatusRefresh(link, r.cache, r.box, &progress); !read) {
        const Error& why = read.error();
        if (progress.probed && why.kind != ErrorKind::Gone) {
            return Failure{Exit::NoAnswer, "the box on " + link.port().Name() +
                                               " does not answer (it stopped answering after " +
                                               std::to_string(progress.answered) + " queries)"};
        }
        return NoAnswer(link, why);
    }
    if (progress.modelUnanswered) {
        PrintError("the box on " + link.port().Name() +
                   " did not answer the model question (4.4); it counts as an older model");
    }
    const auto add = [&r](uint8_t group, uint8_t item, uint8_t raw) {
        r.values.push_back({group, item, raw, NameFor(group, item, r.box)});
    };
    for (const uint8_t g : {kGroupOutput, kGroupImage, kGroupAdjustment}) {
        for (uint8_t i = 1; uint8_t* byte = SettingByte(r.cache, g, i); ++i) {
            add(g, i, *byte);
        }
    }
    add(kGroupSystem, kItemInputTiming, r.cache.system[0]);
    if (r.box.newerModel) {
        add(kGroupSystem, kItemSystemSetting, r.cache.system[2]);
        add(kGroupSystem, kItemSettingNewer, r.cache.system[1]);
    } else {
        add(kGroupSystem, kItemSystemSetting, r.cache.system[1]);
    }
    return r;
}

}  // namespace kestrow::cli
