// The settings as kestrowctl names them: the names and ranges from `kestrowctl settings --json`,
// and for each kind of box what it offers, learned from kestrowctl against a box without faults:
// the choice lists (from the refusal of a value no list has), the byte each choice leaves in
// the box, and the text `get` prints for it. Numbers need no learning: byte = shown - minimum,
// a GenLock delay d of period p is shown as d, or d - p above p/2.
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>

#include "sim/soak/Soak.h"

namespace kestrow::soak {
namespace {

constexpr int kLimitMs = 20'000;      // a run of the learning, without faults
constexpr uint8_t kUnwritten = 0xEE;  // no list sends it: a choice that was not written
const std::string kOffers = "this box offers ";

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// "A, B, C (short forms ...)" after "this box offers ".
std::vector<std::string> OfferedList(const std::string& err) {
    std::string list = Trimmed(err.substr(err.find(kOffers) + kOffers.size()));
    if (const size_t note = list.find(" (short forms"); note != std::string::npos) {
        list.resize(note);
    }
    std::vector<std::string> out;
    for (size_t at = 0; at <= list.size();) {
        const size_t comma = std::min(list.find(", ", at), list.size());
        out.push_back(list.substr(at, comma - at));
        at = comma + 2;
    }
    return out;
}

std::optional<SettingDef> DefFrom(const nlohmann::json& j) {
    SettingDef d;
    d.name = j.value("name", "");
    const std::string address = j.value("address", "");
    const std::string values = j.value("values", "");
    int a = 0;
    int b = 0;
    if (std::sscanf(address.c_str(), "G%d", &a) == 1) {
        d.genlock = true;
        d.item = static_cast<uint8_t>(a);
    } else if (std::sscanf(address.c_str(), "%d.%d", &a, &b) == 2) {
        d.group = static_cast<uint8_t>(a);
        d.item = static_cast<uint8_t>(b);
    } else {
        return std::nullopt;
    }
    char tail = 0;
    d.number =
        !d.genlock && std::sscanf(values.c_str(), "%d to %d%c", &d.minimum, &d.maximum, &tail) == 2;
    return d;
}

// What the box of `kind` makes of one setting; none when it is not offered. Failures go to
// `errors`.
std::optional<Offered> Learn(const Options& options, Station& station, const SettingDef& d,
                             std::string& errors) {
    const auto ctl = [&](const std::vector<std::string>& args) {
        return station.Run(options.kestrowctl, args, kLimitMs);
    };
    const auto failed = [&errors](const ToolRun& run) {
        errors += run.command + ": exit " + std::to_string(run.exitCode) + " " + run.err + "\n";
    };
    const ToolRun probe = ctl({"set", d.name, "?"});
    if (probe.err.find("does not offer") != std::string::npos) {
        return std::nullopt;
    }
    Offered s{d, {}, {}, {}};
    if (probe.exitCode != 2) {
        failed(probe);
        return std::nullopt;
    }
    if (probe.err.find(kOffers) == std::string::npos) {
        return s;  // a number or a GenLock delay
    }
    s.choices = OfferedList(probe.err);
    for (const std::string& text : s.choices) {
        Hold(station.box(), d, kUnwritten);
        const ToolRun set = ctl({"set", d.name, text});
        const uint16_t held = Held(station.box(), d);
        if (set.exitCode != 0 || held == kUnwritten) {
            failed(set);
            continue;
        }
        s.sent[text] = static_cast<uint8_t>(held);
    }
    return s;
}

}  // namespace

const std::vector<BoxKind>& Kinds() {
    static const std::vector<BoxKind> kinds{
        {"HDMI in, VGA out", 0x59, 0, 0},
        {"Component in, HDMI out", 0x05, 0, 0},
        {"SDI in and out, model byte 1", 0x33, 1, 0},
        {"DVI in, HDMI out, newer model", 0x15, 0, 0x06},
    };
    return kinds;
}

uint16_t Held(sim::BoxSim& box, const SettingDef& d) {
    return d.genlock ? box.genlock(static_cast<uint8_t>(d.item + 2)) : box.setting(d.group, d.item);
}

void Hold(sim::BoxSim& box, const SettingDef& d, uint16_t stored) {
    if (d.genlock) {
        box.SetGenlock(d.item, stored);
        box.SetGenlock(static_cast<uint8_t>(d.item + 2), stored);
    } else {
        box.SetSetting(d.group, d.item, static_cast<uint8_t>(stored));
    }
}

uint16_t Period(sim::BoxSim& box, const SettingDef& d) {
    return d.genlock ? box.genlock(static_cast<uint8_t>(d.item + 4)) : uint16_t{0};
}

Value RandomValue(const Offered& s, Rng& rng, uint16_t period, bool stable) {
    const auto pick = [&rng](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(rng);
    };
    if (s.def.genlock) {
        const int half = period / 2;
        const int v = pick(-half, half);
        return {std::to_string(v), static_cast<uint16_t>(v < 0 ? v + period : v)};
    }
    if (s.def.number) {
        const int v = pick(s.def.minimum, s.def.maximum);
        return {std::to_string(v), static_cast<uint16_t>(v - s.def.minimum)};
    }
    std::vector<std::string> texts;
    for (const auto& [text, byte] : s.sent) {
        const auto shown = s.shown.find(byte);
        if (!stable || (shown != s.shown.end() && shown->second == text)) {
            texts.push_back(text);
        }
    }
    if (texts.empty()) {
        return {};
    }
    const std::string& text = texts[static_cast<size_t>(pick(0, int(texts.size()) - 1))];
    return {text, s.sent.at(text)};
}

std::optional<std::string> ShownFor(const Offered& s, uint16_t stored, uint16_t period) {
    if (s.def.genlock) {
        const int half = period / 2;
        const int shown = stored > half ? int{stored} - int{period} : int{stored};
        return shown >= -half && shown <= half ? std::optional(std::to_string(shown))
                                               : std::nullopt;
    }
    if (s.def.number) {
        const int shown = int{stored} + s.def.minimum;
        return shown <= s.def.maximum ? std::optional(std::to_string(shown)) : std::nullopt;
    }
    const auto found = s.shown.find(static_cast<uint8_t>(stored));
    return found != s.shown.end() && !found->second.empty() ? std::optional(found->second)
                                                            : std::nullopt;
}

std::optional<uint16_t> StoredFor(const Offered& s, const std::string& text, uint16_t period) {
    if (!s.def.genlock && !s.def.number) {
        const auto found = s.sent.find(text);
        return found != s.sent.end() ? std::optional(uint16_t{found->second}) : std::nullopt;
    }
    int v = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d%c", &v, &tail) != 1) {
        return std::nullopt;
    }
    if (s.def.genlock) {
        return static_cast<uint16_t>(v < 0 ? v + period : v);
    }
    return static_cast<uint16_t>(v - s.def.minimum);
}

bool LearnCatalog(const Options& options, Pool& pool, Catalog& catalog) {
    const ToolRun list = RunTool(options.kestrowctl, {"settings", "--json"},
                                 std::filesystem::temp_directory_path(), kLimitMs);
    const auto json = nlohmann::json::parse(list.out, nullptr, false);
    if (list.exitCode != 0 || !json.is_array()) {
        std::fprintf(stderr, "soak: %s gave no settings list: %s\n", list.command.c_str(),
                     list.err.c_str());
        return false;
    }
    for (const auto& j : json) {
        if (auto d = DefFrom(j)) {
            catalog.defs.push_back(*d);
        }
    }
    const size_t kinds = Kinds().size();
    const size_t defs = catalog.defs.size();
    std::mutex mutex;
    std::string errors;
    // The choices and numbers each kind offers, one task a setting and kind.
    std::vector<std::optional<Offered>> learned(kinds * defs);
    pool.ForEach(learned.size(), [&](Station& station, size_t i) {
        std::string error;
        if (!station.Ready(Kinds()[i / defs], false, {})) {
            error = "no simulated box\n";
        } else {
            learned[i] = Learn(options, station, catalog.defs[i % defs], error);
        }
        std::lock_guard lock(mutex);
        errors += error;
    });
    // The text `get` prints for each byte a choice leaves, one task a byte.
    struct Shown {
        size_t slot;
        uint8_t byte;
        std::string text;
    };
    std::set<std::pair<size_t, uint8_t>> wanted;
    for (size_t i = 0; i < learned.size(); ++i) {
        for (const auto& [text, byte] : learned[i] ? learned[i]->sent : decltype(Offered::sent){}) {
            wanted.insert({i, byte});
        }
    }
    std::vector<Shown> shown;
    for (const auto& [slot, byte] : wanted) {
        shown.push_back({slot, byte, {}});
    }
    pool.ForEach(shown.size(), [&](Station& station, size_t t) {
        Shown& s = shown[t];
        const SettingDef& d = catalog.defs[s.slot % defs];
        std::string error = "no simulated box\n";
        if (station.Ready(Kinds()[s.slot / defs], false, {})) {
            Hold(station.box(), d, s.byte);
            const ToolRun get =
                RunTool(options.kestrowctl, {"get", d.name, "--port", station.Port()},
                        station.root(), kLimitMs);
            s.text = Trimmed(get.out);
            error = get.exitCode == 0 ? "" : get.command + ": " + get.err;
        }
        std::lock_guard lock(mutex);
        errors += error;
    });
    for (const Shown& s : shown) {
        learned[s.slot]->shown[s.byte] = s.text;
    }
    catalog.byKind.assign(kinds, {});
    for (size_t i = 0; i < learned.size(); ++i) {
        if (learned[i]) {
            catalog.byKind[i / defs].push_back(*learned[i]);
        }
    }
    if (!errors.empty()) {
        std::fprintf(stderr, "soak: kestrowctl failed without faults while learning:\n%s",
                     errors.c_str());
    }
    return errors.empty();
}

}  // namespace kestrow::soak
