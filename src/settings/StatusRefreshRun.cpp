#include "settings/StatusRefreshRun.h"

#include <array>
#include <vector>

#include "device/Frames.h"
#include "serial/SerialTypes.h"

namespace kestrow {
namespace {

constexpr uint32_t kSettleMs = 500;

struct Query {
    uint8_t group;
    uint8_t item;
};

// The settings read after the probe, in this order; the first that gets no answer ends the
// refresh. (4,2) lands in System byte [1] (an older model's system setting A).
// clang-format off
constexpr std::array<Query, 21> kQueries{{
    {4, 1}, {1, 1},
    {1, 2}, {1, 3}, {1, 4}, {1, 5},
    {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}, {2, 8},
    {3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5}, {3, 6},
    {4, 2},
}};
// clang-format on

uint8_t* QueryByte(StatusCache& cache, Query q) {
    return q.group == 4 && q.item == 2 ? &cache.system[1] : SettingByte(cache, q.group, q.item);
}

}  // namespace

Frame ModelQueryFrame() {
    return ReadSettingFrame(4, 4);
}

bool IsNewerModelReply(const std::optional<std::array<uint8_t, 5>>& reply) {
    return reply && (*reply)[0] != 0x05;
}

RefreshResult RunStatusRefresh(DeviceLink& link, StatusCache& cache, BoxFacts& box,
                               RefreshObserver* observer) {
    RefreshObserver none;
    RefreshObserver& seen = observer != nullptr ? *observer : none;
    if (!link.OpenForRefresh()) {
        return RefreshResult::NotOpened;
    }
    seen.Opened();
    SleepMs(kSettleMs);

    const auto probe = link.Exchange(ProbeFrame());
    if (!probe) {
        link.Close();
        return RefreshResult::Aborted;
    }
    box.portByte = (*probe)[3];
    box.modelByte = (*probe)[4];
    cache.system[2] = box.portByte;
    cache.system[3] = box.modelByte;
    seen.ProbeAnswered(box.portByte, box.modelByte);

    for (const Query q : kQueries) {
        const auto reply = link.Exchange(ReadSettingFrame(q.group, q.item));
        if (!reply) {
            link.Close();
            return RefreshResult::Aborted;
        }
        *QueryByte(cache, q) = (*reply)[3];
        seen.SettingRead(q.group, q.item, (*reply)[3]);
    }

    // The model question. A box that does not answer it counts as an older model; a port that
    // went away meanwhile says nothing of the model and ends the refresh. One that answers it is
    // read again for the System items its model keeps where; a read lost there ends the refresh
    // like any other, since a 0 in its place would be a value the box never sent (a clock mode
    // or auto-sleep time shown and written back wrong).
    const auto model = link.Exchange(ModelQueryFrame());
    if (!model && link.Vanished()) {
        link.Close();
        return RefreshResult::Aborted;
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
        again = {{2, &cache.system[2]}, {3, &cache.system[1]}};
    } else if (model) {
        again = {{2, &cache.system[1]}};
    }
    for (const Again& a : again) {
        const auto reply = link.Exchange(ReadSettingFrame(4, a.item));
        if (!reply) {
            link.Close();
            return RefreshResult::Aborted;
        }
        *a.byte = (*reply)[3];
    }
    link.Close();
    return RefreshResult::Completed;
}

}  // namespace kestrow
