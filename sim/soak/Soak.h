// kestrow-soak: the real kestrowctl run as a script runs it, over and over, against simulated
// boxes that play random faults. The oracle is each box's own memory and flash (and its record
// of the faults it played), never kestrowctl's word for it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/BoxSim.h"

namespace kestrow::sim {
class Ser2net;
}

namespace kestrow::soak {

using Rng = std::mt19937_64;

// How kestrowctl reaches the boxes: their COM ports, or ser2net in front of each by
// rfc2217:// on even boxes and socket:// on odd ones, or by one of the two on all.
enum class NetworkMix { None, Alternate, Rfc2217, Socket };

// What the soak is asked to do.
struct Options {
    std::string kestrowctl;
    int roundTrips = 100'000;  // set then get, each a run
    int pairs = -1;            // dump then load; -1: one per 50 round trips
    int flashes = 1'000;
    int boxes = 64;
    uint64_t seed = 0;
    double faultRate = 0.02;  // chance that a fault strikes a reply
    int details = 20;         // lost runs printed with the box's record; the rest in one line
    std::string replay;       // "KIND:SEED": one task again, everything printed
    // Every box behind its own ser2net, reached by its URL instead of its COM port.
    NetworkMix network = NetworkMix::None;
};

// ---- Tool.cpp: kestrowctl as a child process ----

struct ToolRun {
    std::string command;  // as a shell would take it, for the report
    int exitCode = -1;    // -1: it did not exit by itself
    int signal = 0;       // the signal that ended it
    bool timedOut = false;
    std::string out;
    std::string err;
    double ms = 0;
};

// Runs kestrowctl with `args` and XDG_RUNTIME_DIR=`runtimeDir`, stdin empty; killed after
// `limitMs`.
[[nodiscard]] ToolRun RunTool(const std::string& program, const std::vector<std::string>& args,
                              const std::filesystem::path& runtimeDir, int limitMs);

// ---- Station.cpp: one simulated box in its own ports directory, maybe behind ser2net ----

inline constexpr int kCom = 200;

struct BoxKind {
    const char* name;
    uint8_t portByte;
    uint8_t modelByte;
    uint8_t newerModel;  // first byte of the (4,4) reply; 0: an older model
};

class Station {
  public:
    // `network` None: the COM port; Rfc2217 or Socket: a ser2net started here, so the station
    // must be made on a thread that outlives it (Ser2net.h). error() tells when it could not
    // be started.
    Station(std::filesystem::path root, NetworkMix network);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;
    [[nodiscard]] const std::filesystem::path& root() const { return root_; }
    [[nodiscard]] sim::BoxSim& box() { return *box_; }
    // Empty when the station is usable.
    [[nodiscard]] const std::string& error() const { return error_; }
    // What kestrowctl's --port names: COM200, or the server's URL.
    [[nodiscard]] std::string Port() const;
    // Readies the box for a run: its line open and quiet, the kind and the faults set, the
    // record cleared; a box in the wrong mode (or gone for good) is replaced by a fresh one.
    // `bootLoader` none: either mode. False when no box could be had.
    [[nodiscard]] bool Ready(const BoxKind& kind, std::optional<bool> bootLoader,
                             const sim::FaultPlan& faults);
    // Runs kestrowctl with `args` and --port Port() against the box, and returns once the box
    // has taken in all it wrote and its line is quiet again.
    [[nodiscard]] ToolRun Run(const std::string& program, std::vector<std::string> args,
                              int limitMs);

  private:
    std::filesystem::path root_;
    std::unique_ptr<sim::BoxSim> box_;
    // ser2net serves the COM link, not the pseudo-terminal: it opens the device at each
    // connection, so it follows the link to a box that came back on a new pseudo-terminal or
    // was replaced.
    std::unique_ptr<sim::Ser2net> server_;
    bool raw_ = false;  // socket:// rather than rfc2217://
    std::string error_;
};

// ---- Catalog.cpp: the settings as kestrowctl names them, learned without faults ----

struct SettingDef {
    std::string name;  // a name, or "G.I" for a raw item
    uint8_t group = 0;
    uint8_t item = 0;  // GenLock: the register written; it reads back from item + 2
    bool genlock = false;
    bool number = false;  // numbers: byte = shown - minimum
    int minimum = 0;
    int maximum = 0;
};

// A setting as a box of one kind offers it. Choices: the byte a `set` leaves in the box for each
// text, and the text `get` prints for each such byte (empty: none shown).
struct Offered {
    SettingDef def;
    std::vector<std::string> choices;
    std::map<std::string, uint8_t> sent;
    std::map<uint8_t, std::string> shown;
};

struct Catalog {
    std::vector<SettingDef> defs;
    std::vector<std::vector<Offered>> byKind;  // parallel to Kinds()
};

[[nodiscard]] const std::vector<BoxKind>& Kinds();

// A value as kestrowctl takes and prints it, and what the box holds for it (a byte, or a
// GenLock register).
struct Value {
    std::string text;
    uint16_t stored = 0;
};

// A random value the dialog would take (`period`: the GenLock period the box holds); `stable`:
// one that reads back as itself. An empty text when there is none.
[[nodiscard]] Value RandomValue(const Offered& s, Rng& rng, uint16_t period, bool stable = false);
// What kestrowctl should print for what the box holds; none when the dialog cannot show it.
[[nodiscard]] std::optional<std::string> ShownFor(const Offered& s, uint16_t stored,
                                                  uint16_t period);
// What the box should hold after the value `text` was written.
[[nodiscard]] std::optional<uint16_t> StoredFor(const Offered& s, const std::string& text,
                                                uint16_t period);
// The box's memory for a setting: the byte, or the GenLock delay as read back; and its period.
[[nodiscard]] uint16_t Held(sim::BoxSim& box, const SettingDef& d);
void Hold(sim::BoxSim& box, const SettingDef& d, uint16_t stored);
[[nodiscard]] uint16_t Period(sim::BoxSim& box, const SettingDef& d);

class Pool;
// Learns the names from `settings --json`, then what each kind of box offers; false (with a
// message on stderr) when kestrowctl does not do it cleanly without faults.
[[nodiscard]] bool LearnCatalog(const Options& options, Pool& pool, Catalog& catalog);

// ---- Pool (main.cpp): the stations and the threads that run tasks on them ----

class Pool {
  public:
    // Makes the stations (and their servers, see NetworkMix) on the calling thread.
    Pool(const std::filesystem::path& root, int size, NetworkMix network);
    [[nodiscard]] bool ok() const { return ok_; }
    // task(station, index) for every index below `count`, spread over the stations.
    void ForEach(size_t count, const std::function<void(Station&, size_t)>& task);

  private:
    std::vector<std::unique_ptr<Station>> stations_;
    bool ok_ = true;  // false when a station is unusable (said on stderr)
};

// ---- Runs.cpp: the runs, their faults and their verdicts ----

enum class TaskKind { RoundTrip, Pair, Flash };
struct Task {
    TaskKind kind = TaskKind::RoundTrip;
    uint64_t seed = 0;
};
[[nodiscard]] const char* TaskName(TaskKind kind);  // "round-trip", "pair", "flash"

enum class Verdict { Passed, Refused, Excused, Lost };

// One kestrowctl run judged against the box.
struct Judged {
    std::string what;  // "set", "get", "dump", "load", "flash"
    Verdict verdict = Verdict::Passed;
    std::string why;  // Lost and Excused: what was wrong
    ToolRun run;
    std::string boxOptions;  // kestrow-boxsim's options for the box of the run
    std::string port;        // what --port named
    std::vector<sim::ReceivedFrame> record;
};

// Carries out a task on a station; every run's verdict goes to `judged`.
void RunTask(const Options& options, const Catalog& catalog, Station& station, const Task& task,
             const std::function<void(Judged)>& judged);

}  // namespace kestrow::soak
