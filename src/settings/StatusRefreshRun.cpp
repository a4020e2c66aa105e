#include "settings/StatusRefreshRun.h"

#include <array>
#include <vector>

#include "device/Frames.h"
#include "device/Protocol.h"
#include "serial/SerialTypes.h"

namespace kestrow {
namespace {

using namespace protocol;

constexpr uint32_t kSettleMs = 500;

struct Query {
    uint8_t group;
    uint8_t item;
};

// The settings read after the probe, in this order; the first that gets no answer ends the
// refresh. (4,2) lands in System byte [1] (an older model's system setting A).
constexpr uint8_t kOut = kGroupOutput;
constexpr uint8_t kImg = kGroupImage;
constexpr uint8_t kAdj = kGroupAdjustment;
constexpr uint8_t kSys = kGroupSystem;
// clang-format off
constexpr std::array<Query, 21> kQueries{{
    {kSys, kItemInputTiming}, {kOut, kItemOutputResolution},
    {kOut, 2}, {kOut, 3}, {kOut, 4}, {kOut, 5},
    {kImg, 1}, {kImg, 2}, {kImg, 3}, {kImg, 4}, {kImg, 5}, {kImg, 6}, {kImg, 7}, {kImg, 8},
    {kAdj, 1}, {kAdj, 2}, {kAdj, 3}, {kAdj, 4}, {kAdj, 5}, {kAdj, 6},
    {kSys, kItemSystemSetting},
}};
// clang-format on

uint8_t* QueryByte(StatusCache& cache, Query q) {
    return q.group == kSys && q.item == kItemSystemSetting ? &cache.system[1]
                                                           : SettingByte(cache, q.group, q.item);
}

}  // namespace

Frame ModelQueryFrame() {
    return ReadSettingFrame(kGroupSystem, kItemModelQuestion);
}

bool IsNewerModelReply(const Result<Reply>& reply) {
    return reply && (*reply)[0] != kReplyLength;
}

Result<void> RunStatusRefresh(DeviceLink& link, StatusCache& cache, BoxFacts& box,
                              RefreshObserver* observer) {
    RefreshObserver none;
    RefreshObserver& seen = observer != nullptr ? *observer : none;
    if (Result<void> opened = link.OpenForRefresh(); !opened) {
        return opened;
    }
    seen.Opened();
    SleepMs(kSettleMs);

    const Result<Reply> probe = link.Exchange(ProbeFrame());
    if (!probe) {
        link.EndExchanges(&probe.error());
        return probe.error();
    }
    box.portByte = (*probe)[kReplyPortByte];
    box.modelByte = (*probe)[kReplyModelByte];
    cache.system[2] = box.portByte;
    cache.system[3] = box.modelByte;
    seen.ProbeAnswered(box.portByte, box.modelByte);

    for (const Query q : kQueries) {
        const Result<Reply> reply = link.Exchange(ReadSettingFrame(q.group, q.item));
        if (!reply) {
            link.EndExchanges(&reply.error());
            return reply.error();
        }
        *QueryByte(cache, q) = (*reply)[kReplyValue];
        seen.SettingRead(q.group, q.item, (*reply)[kReplyValue]);
    }

    // The model question. A box that does not answer it counts as an older model; a port that
    // went away meanwhile says nothing of the model and ends the refresh. One that answers it is
    // read again for the System items its model keeps where; a read lost there ends the refresh
    // like any other, since a 0 in its place would be a value the box never sent (a clock mode
    // or auto-sleep time shown and written back wrong).
    const Result<Reply> model = link.Exchange(ModelQueryFrame());
    if (!model && model.error().kind == ErrorKind::Gone) {
        link.EndExchanges(&model.error());
        return model.error();
    }
    if (!model) {
        seen.ModelUnanswered();
    }
    box.newerModel = IsNewerModelReply(model);
    struct Again {
        uint8_t item;
        uint8_t* byte;
    };
    std::vector<Again> again;
    if (box.newerModel) {
        again = {{kItemSystemSetting, &cache.system[2]}, {kItemSettingNewer, &cache.system[1]}};
    } else if (model) {
        again = {{kItemSystemSetting, &cache.system[1]}};
    }
    for (const Again& a : again) {
        const Result<Reply> reply = link.Exchange(ReadSettingFrame(kGroupSystem, a.item));
        if (!reply) {
            link.EndExchanges(&reply.error());
            return reply.error();
        }
        *a.byte = (*reply)[kReplyValue];
    }
    link.EndExchanges();
    return {};
}

}  // namespace kestrow
