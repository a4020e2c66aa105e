#include "sim/FaultOptions.h"

#include <charconv>
#include <cstdint>
#include <type_traits>

namespace kestrow::sim {

const char* const kFaultOptionsHelp =
    "Faults (kinds: drop, lose-byte, cut, late, garble, close, restart, nak, bad-status):\n"
    "  --fault KIND:P    KIND strikes with probability P at each request it applies to\n"
    "  --fault KIND@N    KIND strikes frame number N (0: the first request); repeatable\n"
    "  --fault-seed N    seed of the random faults, default 1\n"
    "  --cut-bytes K     a cut reply keeps K bytes, default 1 to its length - 1 at random\n"
    "  --late-ms MS      a late reply goes out MS milliseconds after its request, default 2000\n"
    "  --back-after MS   a closed line comes back after MS milliseconds, default 1000; -1 never\n"
    "  --bad-status HEX  the code a bad status gives, default 41\n";

namespace {

// The whole text as one number (integers in `base`).
template <class T>
bool Number(std::string_view text, T& out, int base = 10) {
    const char* end = text.data() + text.size();
    std::from_chars_result result{};
    if constexpr (std::is_floating_point_v<T>) {
        result = std::from_chars(text.data(), end, out);
    } else {
        result = std::from_chars(text.data(), end, out, base);
    }
    return !text.empty() && result.ec == std::errc{} && result.ptr == end;
}

bool Probability(std::string_view text, double& out) {
    return Number(text, out) && out >= 0.0 && out <= 1.0;
}

// KIND:P or KIND@N.
bool FaultRuleOption(std::string_view value, FaultPlan& plan) {
    const size_t at = value.find_first_of(":@");
    const auto fault = FaultNamed(value.substr(0, at));
    if (at == std::string_view::npos || !fault || *fault == Fault::None) {
        return false;
    }
    const std::string_view rest = value.substr(at + 1);
    if (value[at] == ':') {
        return Probability(rest, plan[*fault].probability);
    }
    int frame = 0;
    if (!Number(rest, frame) || frame < 0) {
        return false;
    }
    plan[*fault].atFrames.insert(frame);
    return true;
}

}  // namespace

bool IsFaultOption(std::string_view option) {
    return option == "--fault" || option == "--fault-seed" || option == "--cut-bytes" ||
           option == "--late-ms" || option == "--back-after" || option == "--bad-status";
}

bool ParseFaultOption(std::string_view option, std::string_view value, FaultPlan& plan) {
    if (option == "--fault") {
        return FaultRuleOption(value, plan);
    }
    if (option == "--fault-seed") {
        return Number(value, plan.seed);
    }
    if (option == "--cut-bytes") {
        return Number(value, plan.cutBytes) && plan.cutBytes >= 0;
    }
    if (option == "--late-ms") {
        return Number(value, plan.lateMs) && plan.lateMs >= 0;
    }
    if (option == "--back-after") {
        return Number(value, plan.backAfterMs) && plan.backAfterMs >= -1;
    }
    if (option == "--bad-status") {
        return Number(value, plan.badStatus, 16);
    }
    return false;
}

std::string FaultOptionsText(const FaultPlan& plan) {
    const FaultPlan defaults;
    std::string out = "--fault-seed " + std::to_string(plan.seed);
    for (size_t i = 1; i < kFaultKinds; ++i) {
        const std::string name(FaultName(static_cast<Fault>(i)));
        const FaultRule& rule = plan.rules[i];
        if (rule.probability > 0) {
            char text[32];
            const auto end = std::to_chars(text, text + sizeof text, rule.probability).ptr;
            out += " --fault " + name + ":" + std::string(text, end);
        }
        for (const int frame : rule.atFrames) {
            out += " --fault " + name + "@" + std::to_string(frame);
        }
    }
    const auto add = [&out](bool differs, const char* option, const std::string& value) {
        if (differs) {
            out += std::string(" ") + option + " " + value;
        }
    };
    add(plan.cutBytes != defaults.cutBytes, "--cut-bytes", std::to_string(plan.cutBytes));
    add(plan.lateMs != defaults.lateMs, "--late-ms", std::to_string(plan.lateMs));
    add(plan.backAfterMs != defaults.backAfterMs, "--back-after", std::to_string(plan.backAfterMs));
    char status[4];
    const auto end = std::to_chars(status, status + sizeof status, plan.badStatus, 16).ptr;
    add(plan.badStatus != defaults.badStatus, "--bad-status", std::string(status, end));
    return out;
}

}  // namespace kestrow::sim
