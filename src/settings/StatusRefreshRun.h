// The status refresh, exchange for exchange: the probe, one query per setting, the model
// question (4,4) and what follows from it. Plain C++ on a DeviceLink; the panel and kestrowctl
// run the same sequence and differ only in what they show as the values arrive.
#pragma once

#include <cstdint>

#include "device/DeviceLink.h"
#include "device/Frames.h"
#include "settings/BoxFacts.h"
#include "settings/StatusCache.h"

namespace kestrow {

// Told as the refresh goes, so that a window can show each value when it arrives.
class RefreshObserver {
  public:
    virtual ~RefreshObserver() = default;
    // The port is open under the long-read time-outs; the 500 ms settle wait comes next.
    virtual void Opened() {}
    virtual void ProbeAnswered(uint8_t /*portByte*/, uint8_t /*modelByte*/) {}
    // A query of the fixed list answered: (4,1) first, (1,1) second, then the others in order.
    virtual void SettingRead(uint8_t /*group*/, uint8_t /*item*/, uint8_t /*value*/) {}
    // The model question (4,4) got no answer: the box counts as an older model, which a lost
    // reply cannot be told from.
    virtual void ModelUnanswered() {}
};

// The model question (4,4) and its rule: an older model answers with a reply of length 05, a
// newer one with another length; no reply counts as an older model.
[[nodiscard]] Frame ModelQueryFrame();
[[nodiscard]] bool IsNewerModelReply(const Result<Reply>& reply);

// Runs one refresh on `link`'s port. Bytes are stored into `cache` and `box` as they arrive
// (box.portByte is the probe's own port byte, also for a newer model, whose System byte [2]
// holds (4,2) instead), so a refresh that fails leaves what it had read. The failure: the port
// did not open (the serial layer has reported it; the observer was told nothing), or the
// probe, a query, or a read after an answered (4,4) got no 5-byte reply, or the port went away
// at (4,4). The run ends with the link's EndExchanges: closed, or a held link left open unless
// the port became unusable.
[[nodiscard]] Result<void> RunStatusRefresh(DeviceLink& link, StatusCache& cache, BoxFacts& box,
                                            RefreshObserver* observer = nullptr);

}  // namespace kestrow
