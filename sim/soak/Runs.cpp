// The soak's runs: a set and a get of one setting (named, or a raw G.I), a dump and a load of
// every setting, and a flash. Each run meets random faults from its own seed and is judged
// against the box's memory and flash, and the box's record of what it did.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "sim/FaultOptions.h"
#include "sim/soak/Soak.h"

namespace kestrow::soak {
namespace {

using sim::Fault;

// The longest a command can take when every read waits out its time: an exchange under the
// open default time-outs 1000 ms (+10 ms), a setting read 500 + 1000 ms, a GenLock read
// 50 + 1000 ms, a read under the long time-outs 5000 + 300 ms a byte. A run is a hang when it
// takes twice that and 10 s more.
constexpr int kExchangeMs = 1010;
constexpr int kGenlockMs = 1050;
constexpr int kIdentifyMs = 2 * kExchangeMs;
constexpr int kSetMs = kIdentifyMs + kGenlockMs + 100;
constexpr int kGetMs = kIdentifyMs + 2 * kGenlockMs;
constexpr int kRefreshMs = 500 + 25 * (6500 + 10);    // probe, 21 queries, the model, 2 more
constexpr int kDumpMs = kRefreshMs + 5 * kGenlockMs;  // GenLock periods and delays, version
constexpr int kLoadMs = kIdentifyMs + 2 * kGenlockMs + 30 * 50 + kDumpMs;
constexpr int kAckMs = 5600;
constexpr int kStatusMs = 6500;
// Ping, boot request, Ping, Download, Get Status; one block's wait; Get Status, Reset.
constexpr int kFlashMs = 20 + kAckMs + 1000 + 50 + kAckMs + 1000 + kAckMs + 50 + kStatusMs +
                         kAckMs + kStatusMs + 100 + kAckMs;
constexpr int kBlockMs = 2;  // a block's exchange, generously

int Limit(int worstMs) {
    return 2 * worstMs + 10'000;
}

int Pick(Rng& rng, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// The faults of one run. Settings runs: every reply may be dropped, lose a byte, be cut or late,
// or the line close, `rate` in all. Flashes: also the boot loader's restart, NAK and bad status;
// half of them so, the other half one fault at a random frame (most writes would not get through
// a fault rate per block). A rate of 0: no faults at all.
sim::FaultPlan FaultsFor(Rng& rng, double rate, int flashFrames = 0) {
    sim::FaultPlan plan;
    plan.seed = rng();
    if (rate <= 0) {
        return plan;  // a run without faults: everything must succeed
    }
    plan.lateMs = Pick(rng, 1100, 7000);
    plan.backAfterMs = Pick(rng, 50, 1500);
    plan.badStatus = static_cast<uint8_t>(Pick(rng, 0x41, 0x13F));  // any code but 40
    std::vector<Fault> kinds{Fault::Dropped, Fault::LostByte, Fault::Cut, Fault::Late,
                             Fault::LineClosed};
    if (flashFrames > 0) {
        kinds.insert(kinds.end(), {Fault::Restarted, Fault::Nak, Fault::BadStatus});
        if (Pick(rng, 0, 1) == 0) {
            const Fault one = kinds[static_cast<size_t>(Pick(rng, 0, int(kinds.size()) - 1))];
            plan[one].atFrames.insert(Pick(rng, 0, flashFrames - 1));
            return plan;
        }
    }
    for (const Fault f : kinds) {
        plan[f].probability = rate / static_cast<double>(kinds.size());
    }
    return plan;
}

std::string Hex(uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02x", byte);
    return text;
}

// A late reply that left after a later request arrived: the host may have taken it for the
// later request's answer, which this protocol cannot tell.
bool LateReplyOverlaps(const std::vector<sim::ReceivedFrame>& record) {
    for (const auto& late : record) {
        if (late.fault != Fault::Late || late.repliedNs == 0) {
            continue;
        }
        for (const auto& next : record) {
            if (next.number > late.number && next.arrivedNs < late.repliedNs) {
                return true;
            }
        }
    }
    return false;
}

// The model question (4,4) met a fault and kestrowctl said it took the box for an older model:
// a box that does not answer that question is one by the protocol's rule, so a lost reply
// there cannot be told from it.
bool ModelQuestionUnanswered(const std::vector<sim::ReceivedFrame>& record,
                             const std::string& err) {
    const std::vector<uint8_t> question{0x07, 0x6C, 0x93, 0x01, 0x04, 0x04, 0xF1};
    return err.find("did not answer the model question") != std::string::npos &&
           std::any_of(record.begin(), record.end(), [&question](const sim::ReceivedFrame& f) {
               return f.fault != Fault::None && f.bytes == question;
           });
}

// A reply longer than the five bytes read (the 14-byte replies to (4,3) and (4,4)) that lost
// one of those five still has five to read, and nothing in it tells the loss.
bool LongReplyLostByte(const std::vector<sim::ReceivedFrame>& record) {
    return std::any_of(record.begin(), record.end(), [](const sim::ReceivedFrame& f) {
        return f.fault == Fault::LostByte && f.intended.size() > 5 && f.faultDetail < 5;
    });
}

class Runner {
  public:
    Runner(const Options& options, Station& station, uint64_t seed,
           const std::function<void(Judged)>& judged)
        : options_(options), station_(station), judged_(judged), rng_(seed) {}

    Rng& rng() { return rng_; }
    sim::BoxSim& box() { return station_.box(); }
    [[nodiscard]] const std::filesystem::path& root() const { return station_.root(); }

    // Readies the box with the kind and faults; false when no box could be had (reported).
    bool Ready(const BoxKind& kind, std::optional<bool> bootLoader, const sim::FaultPlan& plan) {
        kind_ = &kind;
        plan_ = plan;
        bootLoader_ = bootLoader.value_or(false);
        if (station_.Ready(kind, bootLoader, plan)) {
            return true;
        }
        Judged j;
        j.what = "start";
        j.verdict = Verdict::Lost;
        j.why = "no simulated box could be started";
        judged_(std::move(j));
        return false;
    }

    // Runs kestrowctl against the box; the record is taken once the line is quiet again.
    Judged Run(const std::string& what, const std::vector<std::string>& args, int worstMs) {
        Judged j;
        j.what = what;
        j.run = station_.Run(options_.kestrowctl, args, Limit(worstMs));
        j.port = station_.Port();
        j.record = box().frames();
        j.boxOptions = "--port-byte " + Hex(kind_->portByte) + " --model " +
                       std::to_string(kind_->modelByte) +
                       (kind_->newerModel != 0 ? " --model-reply " + Hex(kind_->newerModel) : "") +
                       (bootLoader_ ? " --boot-loader " : " ") + FaultOptionsText(plan_);
        return j;
    }

    // Judges a run: `wrong` says what is untrue about an exit 0 (empty: all true).
    void Judge(Judged j, const std::string& wrong) {
        const ToolRun& r = j.run;
        std::string played;  // the faults the box played, for the report
        for (const auto& f : j.record) {
            if (f.fault != Fault::None) {
                played += std::string(played.empty() ? "" : ", ") +
                          std::string(sim::FaultName(f.fault)) + " at #" + std::to_string(f.number);
            }
        }
        const bool faulted = !played.empty();
        if (r.timedOut) {
            j.verdict = Verdict::Lost;
            j.why = "hang: no exit within " + std::to_string(int(r.ms / 1000)) + " s";
        } else if (r.signal != 0) {
            j.verdict = Verdict::Lost;
            j.why = std::string("crash: ") + strsignal(r.signal);
        } else if (r.exitCode == 0 && wrong.empty()) {
            j.verdict = Verdict::Passed;
        } else if (r.exitCode == 0) {
            const bool late = LateReplyOverlaps(j.record);
            const bool model = !late && ModelQuestionUnanswered(j.record, r.err);
            const bool longReply = !late && !model && LongReplyLostByte(j.record);
            j.verdict = late || model || longReply ? Verdict::Excused : Verdict::Lost;
            j.why = "exit 0, but " + wrong +
                    (late        ? "; a late reply left after the next request arrived"
                     : model     ? "; the model question's reply was lost, so an older model"
                     : longReply ? "; a 14-byte reply lost a byte among the five read"
                                 : "");
        } else if (Trimmed(r.err).empty()) {
            j.verdict = Verdict::Lost;
            j.why = "exit " + std::to_string(r.exitCode) + " without a message";
        } else if (!faulted) {
            j.verdict = Verdict::Lost;
            j.why = "exit " + std::to_string(r.exitCode) + " with nothing wrong";
        } else {
            j.verdict = Verdict::Refused;
        }
        if (!j.why.empty()) {
            j.why += faulted ? " (the box played " + played + ")" : " (the box played no fault)";
        }
        judged_(std::move(j));
    }

    [[nodiscard]] double rate() const { return options_.faultRate; }

  private:
    const Options& options_;
    Station& station_;
    const std::function<void(Judged)>& judged_;
    Rng rng_;
    const BoxKind* kind_ = nullptr;
    sim::FaultPlan plan_;
    bool bootLoader_ = false;
};

// A raw item: any byte at group 1 to 4, item 0 to 15, but the factory reset's items.
Offered RawItem(Rng& rng) {
    SettingDef d;
    d.number = true;
    d.maximum = 255;
    do {
        d.group = static_cast<uint8_t>(Pick(rng, 1, 4));
        d.item = static_cast<uint8_t>(Pick(rng, 0, 15));
    } while (d.group == 4 && (d.item == 4 || d.item == 5));
    d.name = std::to_string(d.group) + "." + std::to_string(d.item);
    return {d, {}, {}, {}};
}

// set NAME VALUE, then get NAME.
void RoundTrip(Runner& r, const Catalog& catalog) {
    const size_t k = static_cast<size_t>(Pick(r.rng(), 0, int(Kinds().size()) - 1));
    const std::vector<Offered>& offered = catalog.byKind[k];
    const Offered s = Pick(r.rng(), 0, 3) == 0 || offered.empty()
                          ? RawItem(r.rng())
                          : offered[static_cast<size_t>(Pick(r.rng(), 0, int(offered.size()) - 1))];
    if (!r.Ready(Kinds()[k], false, FaultsFor(r.rng(), r.rate()))) {
        return;
    }
    const uint16_t period = Period(r.box(), s.def);
    const Value value = RandomValue(s, r.rng(), period);
    // The box holds another value first, so that a write that never came does not pass.
    for (int i = 0; i < 8; ++i) {
        const Value other = RandomValue(s, r.rng(), period);
        Hold(r.box(), s.def, other.stored);
        if (other.stored != value.stored) {
            break;
        }
    }
    // A raw item may lie outside every dialog (or its byte outside the dialog's range): the
    // operator's --force writes it anyway, and the box must then hold it.
    std::vector<std::string> command{"set", s.def.name, value.text};
    if (std::isdigit(static_cast<unsigned char>(s.def.name.front())) != 0) {
        command.emplace_back("--force");
    }
    Judged set = r.Run("set", command, kSetMs);
    const uint16_t held = Held(r.box(), s.def);
    r.Judge(std::move(set), held == value.stored
                                ? ""
                                : "the box holds " + std::to_string(held) + ", not " +
                                      std::to_string(value.stored) + " for " + value.text);

    if (!r.Ready(Kinds()[k], false, FaultsFor(r.rng(), r.rate()))) {
        return;
    }
    Judged get = r.Run("get", {"get", s.def.name}, kGetMs);
    const uint16_t now = Held(r.box(), s.def);
    const std::string expected = ShownFor(s, now, Period(r.box(), s.def)).value_or("");
    const std::string printed = Trimmed(get.run.out);
    r.Judge(std::move(get), printed == expected
                                ? ""
                                : "it printed \"" + printed + "\"; the box holds " +
                                      std::to_string(now) + ", shown \"" + expected + "\"");
}

nlohmann::ordered_json JsonValue(const Offered& s, const std::string& text) {
    if (s.def.genlock || s.def.number) {
        return std::stoi(text);
    }
    return text;
}

// What is untrue about a dump file of this box; empty when all is true.
std::string DumpFaults(const std::filesystem::path& file, sim::BoxSim& box, const BoxKind& kind,
                       const std::vector<Offered>& offered) {
    std::ifstream in(file);
    const auto json = nlohmann::json::parse(in, nullptr, false);
    if (!json.is_object() || !json.value("settings", nlohmann::json()).is_object()) {
        return "the file is no settings file";
    }
    std::string wrong;
    if (json.value("model", -1) != kind.modelByte ||
        json.value("newerModel", false) != (kind.newerModel != 0)) {
        wrong += "model " + json.value("model", nlohmann::json()).dump() + ", newerModel " +
                 json.value("newerModel", nlohmann::json()).dump() + "; ";
    }
    const auto& settings = json.at("settings");
    for (const Offered& s : offered) {
        const auto shown = ShownFor(s, Held(box, s.def), Period(box, s.def));
        const auto entry = settings.find(s.def.name);
        const std::string got = entry == settings.end() ? "nothing"
                                : entry->is_string()    ? entry->get<std::string>()
                                                        : entry->dump();
        if (got != shown.value_or("nothing")) {
            wrong +=
                s.def.name + " is " + got + ", the box shows " + shown.value_or("nothing") + "; ";
        }
    }
    if (settings.size() > offered.size()) {
        wrong += "settings the box does not offer; ";
    }
    return wrong;
}

// dump, the box's memory changed, then load of what was dumped (or of the same values written
// by the soak when the dump did not succeed).
void Pair(Runner& r, const Catalog& catalog) {
    const size_t k = static_cast<size_t>(Pick(r.rng(), 0, int(Kinds().size()) - 1));
    const BoxKind& kind = Kinds()[k];
    const std::vector<Offered>& offered = catalog.byKind[k];
    if (!r.Ready(kind, false, FaultsFor(r.rng(), r.rate()))) {
        return;
    }
    nlohmann::ordered_json values = nlohmann::ordered_json::object();
    for (const Offered& s : offered) {
        const Value v = RandomValue(s, r.rng(), Period(r.box(), s.def), true);
        if (!v.text.empty()) {
            Hold(r.box(), s.def, v.stored);
            values[s.def.name] = JsonValue(s, v.text);
        }
    }
    const std::filesystem::path file = r.root() / "settings.json";
    std::filesystem::remove(file);
    Judged dump = r.Run("dump", {"dump", file.string()}, kDumpMs);
    const std::string wrong = DumpFaults(file, r.box(), kind, offered);
    const bool dumped = dump.run.exitCode == 0 && wrong.empty();
    r.Judge(std::move(dump), wrong);
    if (!dumped) {
        const nlohmann::ordered_json own{{"format", "kestrow-settings"},
                                         {"version", 1},
                                         {"model", kind.modelByte},
                                         {"newerModel", kind.newerModel != 0},
                                         {"settings", values}};
        std::ofstream(file, std::ios::trunc) << own.dump(2) << "\n";
    }
    for (const Offered& s : offered) {
        Hold(r.box(), s.def, RandomValue(s, r.rng(), Period(r.box(), s.def), true).stored);
    }

    if (!r.Ready(kind, false, FaultsFor(r.rng(), r.rate()))) {
        return;
    }
    Judged load = r.Run("load", {"load", file.string()}, kLoadMs);
    std::ifstream in(file);
    const auto written = nlohmann::json::parse(in, nullptr, false);
    std::string loadWrong;
    for (const Offered& s : offered) {
        if (!written.is_object() || !written["settings"].contains(s.def.name)) {
            continue;
        }
        const auto& entry = written["settings"][s.def.name];
        const std::string text = entry.is_string() ? entry.get<std::string>() : entry.dump();
        const auto expected = StoredFor(s, text, Period(r.box(), s.def));
        const uint16_t held = Held(r.box(), s.def);
        if (!expected || held != *expected) {
            loadWrong += s.def.name + " holds " + std::to_string(held) + ", not " + text + "; ";
        }
    }
    r.Judge(std::move(load), loadWrong);
}

// A BIN file (the 13-byte header, then the program) of a random size up to 256 KiB, written
// without line pacing to a box that waits in its boot loader or runs its firmware.
void Flash(Runner& r) {
    const int sizeClass = Pick(r.rng(), 0, 2);
    const int size = sizeClass == 0   ? Pick(r.rng(), 256, 4096)
                     : sizeClass == 1 ? Pick(r.rng(), 4097, 65536)
                                      : Pick(r.rng(), 65537, 262144);
    const char digit = Pick(r.rng(), 0, 1) == 0 ? '3' : '4';
    std::vector<uint8_t> program(static_cast<size_t>(size));
    for (uint8_t& b : program) {
        b = static_cast<uint8_t>(r.rng()());
    }
    std::string header = std::string("CPUM") + digit + "FW";
    for (int i = 0; i < 6; ++i) {
        header += static_cast<char>(r.rng()());
    }
    const std::filesystem::path file = r.root() / "firmware.bin";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << header;
        out.write(reinterpret_cast<const char*>(program.data()), std::streamsize(size));
    }
    const bool bootLoader = Pick(r.rng(), 0, 1) == 0;
    const int blocks = (size + 75) / 76;
    if (!r.Ready(Kinds()[0], bootLoader, FaultsFor(r.rng(), r.rate(), blocks + 10))) {
        return;
    }
    const int resets = r.box().resetCount();
    Judged run = r.Run("flash", {"flash", file.string()}, kFlashMs + blocks * kBlockMs);
    std::string wrong;
    if (r.box().flash() != program) {
        wrong += "the flash holds " + std::to_string(r.box().flash().size()) + " bytes, not the " +
                 std::to_string(size) + " of the program; ";
    }
    if (r.box().downloadAddress() != (digit == '3' ? 0x1000u : 0x2800u) ||
        r.box().downloadSize() != static_cast<uint32_t>(size)) {
        wrong += "Download named another address or size; ";
    }
    if (r.box().resetCount() == resets || r.box().inBootLoader()) {
        wrong += "the box was not reset; ";
    }
    r.Judge(std::move(run), wrong);
}

}  // namespace

const char* TaskName(TaskKind kind) {
    switch (kind) {
        case TaskKind::RoundTrip:
            return "round-trip";
        case TaskKind::Pair:
            return "pair";
        case TaskKind::Flash:
            return "flash";
    }
    return "";
}

void RunTask(const Options& options, const Catalog& catalog, Station& station, const Task& task,
             const std::function<void(Judged)>& judged) {
    Runner runner(options, station, task.seed, judged);
    switch (task.kind) {
        case TaskKind::RoundTrip:
            RoundTrip(runner, catalog);
            break;
        case TaskKind::Pair:
            Pair(runner, catalog);
            break;
        case TaskKind::Flash:
            Flash(runner);
            break;
    }
}

}  // namespace kestrow::soak
