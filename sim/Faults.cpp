// Faults: which one a request meets, and what it does to the reply.
#include <algorithm>
#include <array>

#include "sim/BoxState.h"

namespace kestrow::sim {
namespace {

constexpr std::array<std::string_view, kFaultKinds> kNames{
    "none", "drop", "lose-byte", "cut", "late", "garble", "close", "restart", "nak", "bad-status"};

int Uniform(BoxState& state, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(state.random);
}

// The settings that shape replies by themselves, in the order they take precedence.
Fault ConfiguredFault(const BoxState& state, const Handled& handled, int& detail) {
    const BoxConfig& c = state.config;
    if (c.silent) {
        return Fault::Dropped;
    }
    if (c.shortReplyBytes > 0 && static_cast<size_t>(c.shortReplyBytes) < handled.reply.size()) {
        detail = c.shortReplyBytes;
        return Fault::Cut;
    }
    if (c.garbage) {
        return Fault::Garbled;
    }
    if (c.replyDelayMs > 0 && (c.delayed.empty() || handled.delayedQuery)) {
        detail = c.replyDelayMs;
        return Fault::Late;
    }
    return Fault::None;
}

// A drawn fault that shapes this reply, with its detail; None when it cannot.
Fault DrawnReplyFault(BoxState& state, const Handled& handled, Fault drawn, int& detail) {
    const FaultPlan& plan = state.config.faults;
    const int length = static_cast<int>(handled.reply.size());
    switch (drawn) {
        case Fault::Dropped:
        case Fault::Garbled:
            return drawn;
        case Fault::LostByte:
            if (length < 2) {
                return Fault::None;
            }
            detail = Uniform(state, 0, length - 1);
            return drawn;
        case Fault::Cut:
            detail =
                plan.cutBytes >= 0 ? plan.cutBytes : Uniform(state, 1, std::max(length - 1, 1));
            return detail < length ? drawn : Fault::None;
        case Fault::Late:
            detail = plan.lateMs;
            return drawn;
        default:
            return Fault::None;
    }
}

}  // namespace

std::string_view FaultName(Fault fault) {
    const auto index = static_cast<size_t>(fault);
    return index < kNames.size() ? kNames[index] : std::string_view{};
}

std::optional<Fault> FaultNamed(std::string_view name) {
    const auto found = std::find(kNames.begin(), kNames.end(), name);
    if (found == kNames.end()) {
        return std::nullopt;
    }
    return static_cast<Fault>(found - kNames.begin());
}

void ResetFaults(BoxState& state) {
    state.random.seed(state.config.faults.seed);
    state.frameNumber = 0;
}

Fault DrawFault(BoxState& state, int number) {
    const FaultPlan& plan = state.config.faults;
    double total = 0;
    for (size_t i = 1; i < kFaultKinds; ++i) {
        if (plan.rules[i].atFrames.contains(number)) {
            return static_cast<Fault>(i);
        }
        total += plan.rules[i].probability;
    }
    if (total <= 0) {
        return Fault::None;
    }
    const double u = std::uniform_real_distribution<double>(0.0, 1.0)(state.random);
    double sum = 0;
    for (size_t i = 1; i < kFaultKinds; ++i) {
        sum += plan.rules[i].probability;
        if (u < sum) {
            return static_cast<Fault>(i);
        }
    }
    return Fault::None;
}

void ShapeReply(BoxState& state, Handled& handled, Fault drawn) {
    if (handled.fault == Fault::None && !handled.reply.empty()) {
        handled.fault = ConfiguredFault(state, handled, handled.detail);
        if (handled.fault == Fault::None) {
            handled.fault = DrawnReplyFault(state, handled, drawn, handled.detail);
        }
    }
    if (handled.fault == Fault::None && drawn == Fault::LineClosed) {
        handled.fault = Fault::LineClosed;
        handled.detail = state.config.faults.backAfterMs;
    }
    std::vector<uint8_t>& reply = handled.reply;
    switch (handled.fault) {
        case Fault::Dropped:
        case Fault::LineClosed:
        case Fault::Restarted:
            handled.intended = std::move(reply);
            reply.clear();
            break;
        case Fault::LostByte:
            handled.intended = reply;
            reply.erase(reply.begin() + handled.detail);
            break;
        case Fault::Cut:
            handled.intended = reply;
            reply.resize(static_cast<size_t>(handled.detail));
            break;
        case Fault::Garbled:
            handled.intended = reply;
            for (uint8_t& b : reply) {
                b = static_cast<uint8_t>(Uniform(state, 0, 255));
            }
            break;
        default:
            break;  // None, Late, Nak and BadStatus send the reply as it is
    }
}

}  // namespace kestrow::sim
