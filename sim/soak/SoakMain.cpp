// kestrow-soak (see Soak.h): the options, the tasks drawn from the seed, the threads that run
// them on the stations, the tally and the report. Ends with "N passed, M failed", where the
// failed runs are the lost ones, and exits 1 when there are any.
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <thread>

#include "sim/soak/Soak.h"

#ifndef KESTROWCTL
#define KESTROWCTL "kestrowctl"
#endif

namespace kestrow::soak {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "Usage: kestrow-soak [options]\n"
    "Runs kestrowctl against simulated boxes that play random faults and judges every run by\n"
    "the box's memory and flash.\n"
    "  --round-trips N     set/get round trips, default 100000\n"
    "  --pairs N           dump/load pairs, default one per 50 round trips\n"
    "  --flashes N         flashes of up to 256 KiB, default 1000\n"
    "  --boxes N           simulated boxes at once, default 64\n"
    "  --seed N            seed of everything random, default from the clock\n"
    "  --fault P           chance that a fault strikes a reply, default 0.02\n"
    "  --details N         lost runs printed with the box's record, default 20\n"
    "  --short             3000 round trips, 60 pairs, 60 flashes: about two minutes\n"
    "  --network           every box behind its own ser2net, reached by rfc2217:// (even\n"
    "                      boxes) or socket:// (odd boxes) instead of its COM port\n"
    "  --network-only FORM the same with every box reached by FORM: rfc2217 or socket\n"
    "  --replay KIND:SEED  one task again, as a lost run names it; every run printed\n"
    "  --kestrowctl PATH   the program under test, default the build's\n";

const char* const kVerdicts[] = {"passed", "refused", "excused", "lost"};
// By NetworkMix, for the first line.
const char* const kNetworkNames[] = {"", " each behind ser2net (rfc2217:// and socket://)",
                                     " each behind ser2net (rfc2217://)",
                                     " each behind ser2net (socket://)"};

uint64_t Mix(uint64_t x) {  // splitmix64
    x += 0x9E3779B97F4A7C15u;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

std::string HexSeed(uint64_t seed) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(seed));
    return text;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    o.kestrowctl = KESTROWCTL;
    o.seed = Mix(static_cast<uint64_t>(Clock::now().time_since_epoch().count()));
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--short") {
            o.roundTrips = 3000;
            o.pairs = 60;
            o.flashes = 60;
            continue;
        }
        if (arg == "--network") {
            o.network = NetworkMix::Alternate;
            continue;
        }
        if (arg == "--help" || i + 1 >= argc) {
            return false;
        }
        const char* v = argv[++i];
        char* end = nullptr;
        const long long n = std::strtoll(v, &end, 0);
        const bool number = end != v && *end == '\0' && n >= 0;
        if (arg == "--round-trips" && number) {
            o.roundTrips = int(n);
        } else if (arg == "--pairs" && number) {
            o.pairs = int(n);
        } else if (arg == "--flashes" && number) {
            o.flashes = int(n);
        } else if (arg == "--boxes" && number && n > 0) {
            o.boxes = int(n);
        } else if (arg == "--details" && number) {
            o.details = int(n);
        } else if (arg == "--seed") {
            o.seed = std::strtoull(v, &end, 0);
            if (end == v || *end != '\0') {
                return false;
            }
        } else if (arg == "--fault") {
            o.faultRate = std::strtod(v, &end);
            if (end == v || *end != '\0' || o.faultRate < 0 || o.faultRate > 1) {
                return false;
            }
        } else if (arg == "--replay") {
            o.replay = v;
        } else if (arg == "--network-only" &&
                   (std::string_view(v) == "rfc2217" || std::string_view(v) == "socket")) {
            o.network = std::string_view(v) == "socket" ? NetworkMix::Socket : NetworkMix::Rfc2217;
        } else if (arg == "--kestrowctl") {
            o.kestrowctl = v;
        } else {
            return false;
        }
    }
    if (o.pairs < 0) {
        o.pairs = o.roundTrips / 50;
    }
    return true;
}

std::vector<Task> Plan(const Options& o) {
    std::vector<Task> tasks;
    if (!o.replay.empty()) {
        const size_t colon = o.replay.find(':');
        for (const TaskKind kind : {TaskKind::RoundTrip, TaskKind::Pair, TaskKind::Flash}) {
            if (o.replay.substr(0, colon) == TaskName(kind) && colon != std::string::npos) {
                tasks.push_back({kind, std::strtoull(o.replay.c_str() + colon + 1, nullptr, 0)});
            }
        }
        return tasks;
    }
    tasks.insert(tasks.end(), size_t(o.roundTrips), {TaskKind::RoundTrip, 0});
    tasks.insert(tasks.end(), size_t(o.pairs), {TaskKind::Pair, 0});
    tasks.insert(tasks.end(), size_t(o.flashes), {TaskKind::Flash, 0});
    Rng rng(o.seed);
    std::shuffle(tasks.begin(), tasks.end(), rng);
    for (size_t i = 0; i < tasks.size(); ++i) {
        tasks[i].seed = Mix(o.seed ^ Mix(i));
    }
    return tasks;
}

std::string Hex(const std::vector<uint8_t>& bytes, size_t most = 16) {
    std::string out;
    char b[4];
    for (size_t i = 0; i < bytes.size() && i < most; ++i) {
        std::snprintf(b, sizeof b, "%s%02X", i == 0 ? "" : " ", bytes[i]);
        out += b;
    }
    return bytes.size() > most ? out + " ..(" + std::to_string(bytes.size()) + " bytes)" : out;
}

// The box's record, times from the first request; a long one only around its faults.
std::string RecordText(const std::vector<sim::ReceivedFrame>& record) {
    if (record.empty()) {
        return "    (the box received nothing)\n";
    }
    const int64_t t0 = record.front().arrivedNs;
    std::vector<bool> show(record.size(), record.size() <= 40);
    for (size_t i = 0; i < record.size(); ++i) {
        const bool near = i < 3 || i + 3 >= record.size();
        for (size_t j = i >= 2 ? i - 2 : 0; j < std::min(i + 3, record.size()); ++j) {
            show[i] = show[i] || near || record[j].fault != sim::Fault::None;
        }
    }
    std::string out;
    char line[96];
    for (size_t i = 0; i < record.size(); ++i) {
        if (!show[i]) {
            if (i == 0 || show[i - 1]) {
                out += "    ...\n";
            }
            continue;
        }
        const auto& f = record[i];
        std::snprintf(line, sizeof line, "    #%-5d +%9.3f ms  <- ", f.number,
                      double(f.arrivedNs - t0) / 1e6);
        out += line + Hex(f.bytes);
        if (!f.reply.empty()) {
            std::snprintf(line, sizeof line, "  -> (+%.3f ms) ", double(f.repliedNs - t0) / 1e6);
            out += line + Hex(f.reply);
        }
        if (f.fault != sim::Fault::None) {
            out += "  [" + std::string(sim::FaultName(f.fault)) + " " +
                   std::to_string(f.faultDetail) +
                   (f.intended.empty() ? "" : ", meant " + Hex(f.intended)) + "]";
        }
        out += "\n";
    }
    return out;
}

std::string Tail(std::string text, size_t most = 400) {
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text.size() > most ? ".." + text.substr(text.size() - most) : text;
}

class Report {
  public:
    explicit Report(const Options& options) : options_(options) {}

    void Add(const Task& task, const Judged& j) {
        std::lock_guard lock(mutex_);
        ++counts_[j.what][static_cast<size_t>(j.verdict)];
        for (const auto& f : j.record) {
            ++faults_[static_cast<size_t>(f.fault)];
        }
        const bool replay = !options_.replay.empty();
        const bool lost = j.verdict == Verdict::Lost;
        if (!lost && !replay && j.verdict != Verdict::Excused) {
            return;
        }
        const std::string name = std::string(TaskName(task.kind)) + ":" + HexSeed(task.seed);
        std::printf("%s %s (%s): %s\n",
                    lost     ? "LOST"
                    : replay ? "run"
                             : "EXCUSED",
                    j.what.c_str(), name.c_str(),
                    j.why.empty() ? kVerdicts[int(j.verdict)] : j.why.c_str());
        if (replay || (lost && printed_++ < options_.details)) {
            std::printf("  $ %s\n  exit %d%s in %.0f ms\n  stdout: %s\n  stderr: %s\n",
                        j.run.command.c_str(), j.run.exitCode,
                        j.run.signal != 0 ? " (signal)"
                        : j.run.timedOut  ? " (killed)"
                                          : "",
                        j.run.ms, Tail(j.run.out).c_str(), Tail(j.run.err).c_str());
            const std::string rate =
                options_.faultRate == Options{}.faultRate ? "" : " --fault " + Rate();
            // The replay runs on the first box: name the form this run went through.
            const std::string network = j.port.starts_with("rfc2217://") ? " --network-only rfc2217"
                                        : j.port.starts_with("socket://") ? " --network-only socket"
                                                                          : "";
            std::printf("  box: kestrow-boxsim %s\n  again: scripts/soak%s --replay %s%s\n%s",
                        j.boxOptions.c_str(), network.c_str(), name.c_str(), rate.c_str(),
                        RecordText(j.record).c_str());
        }
        std::fflush(stdout);
    }

    [[nodiscard]] int Total(Verdict v) {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& [what, c] : counts_) {
            n += c[static_cast<size_t>(v)];
        }
        return n;
    }

    void PrintTable() {
        std::lock_guard lock(mutex_);
        std::printf("%-6s %8s %8s %8s %8s\n", "run", kVerdicts[0], kVerdicts[1], kVerdicts[2],
                    kVerdicts[3]);
        for (const auto& [what, c] : counts_) {
            std::printf("%-6s %8d %8d %8d %8d\n", what.c_str(), c[0], c[1], c[2], c[3]);
        }
        std::printf("faults the boxes played:");
        for (size_t i = 1; i < faults_.size(); ++i) {
            std::printf(" %s %d", std::string(sim::FaultName(sim::Fault(i))).c_str(), faults_[i]);
        }
        std::printf("\n");
    }

  private:
    [[nodiscard]] std::string Rate() const {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", options_.faultRate);
        return text;
    }

    const Options& options_;
    std::mutex mutex_;
    std::map<std::string, std::array<int, 4>> counts_;
    std::array<int, sim::kFaultKinds> faults_{};
    int printed_ = 0;
};

}  // namespace

Pool::Pool(const std::filesystem::path& root, int size, NetworkMix network) {
    for (int i = 0; i < size && ok_; ++i) {
        const NetworkMix form = network != NetworkMix::Alternate ? network
                                : i % 2 == 0                     ? NetworkMix::Rfc2217
                                                                 : NetworkMix::Socket;
        stations_.push_back(std::make_unique<Station>(root / ("box" + std::to_string(i)), form));
        if (!stations_.back()->error().empty()) {
            std::fprintf(stderr, "soak: box %d: %s\n", i, stations_.back()->error().c_str());
            ok_ = false;
        }
    }
}

void Pool::ForEach(size_t count, const std::function<void(Station&, size_t)>& task) {
    std::atomic<size_t> next{0};
    std::vector<std::jthread> threads;
    for (size_t s = 0; s < stations_.size() && s < count; ++s) {
        threads.emplace_back([&, s] {
            for (size_t i = next++; i < count; i = next++) {
                task(*stations_[s], i);
            }
        });
    }
}

int Main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, argc > 1 && std::string_view(argv[1]) == "--help" ? stdout : stderr);
        return 2;
    }
    const std::vector<Task> tasks = Plan(options);
    if (!options.replay.empty() && tasks.empty()) {
        std::fprintf(stderr, "soak: --replay takes round-trip:SEED, pair:SEED or flash:SEED\n");
        return 2;
    }
    std::printf(
        "seed %s: %d round trips, %d dump/load pairs, %d flashes on %d boxes%s, faults "
        "%.3g a reply\n",
        HexSeed(options.seed).c_str(), options.roundTrips, options.pairs, options.flashes,
        options.boxes, kNetworkNames[static_cast<size_t>(options.network)], options.faultRate);
    std::fflush(stdout);
    const auto start = Clock::now();
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("kestrow-soak-" + std::to_string(getpid()));
    int code = 2;
    {
        Pool pool(root, options.boxes, options.network);
        Catalog catalog;
        if (pool.ok() && LearnCatalog(options, pool, catalog)) {
            Report report(options);
            std::atomic<size_t> done{0};
            std::jthread progress([&](std::stop_token stop) {
                for (int s = 1; !stop.stop_requested(); ++s) {
                    std::this_thread::sleep_for(std::chrono::seconds(1));
                    if (s % 60 == 0) {
                        std::printf("... %zu of %zu tasks, %d lost\n", done.load(), tasks.size(),
                                    report.Total(Verdict::Lost));
                        std::fflush(stdout);
                    }
                }
            });
            pool.ForEach(tasks.size(), [&](Station& station, size_t i) {
                RunTask(options, catalog, station, tasks[i],
                        [&](Judged j) { report.Add(tasks[i], j); });
                ++done;
            });
            progress.request_stop();
            report.PrintTable();
            const int lost = report.Total(Verdict::Lost);
            const int passed = report.Total(Verdict::Passed) + report.Total(Verdict::Refused) +
                               report.Total(Verdict::Excused);
            if (options.replay.empty()) {
                std::printf("seed %s, %.0f s\n", HexSeed(options.seed).c_str(),
                            std::chrono::duration<double>(Clock::now() - start).count());
            }
            std::printf("%d passed, %d failed\n", passed, lost);
            code = lost > 0 ? 1 : 0;
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return code;
}

}  // namespace kestrow::soak

int main(int argc, char** argv) {
    return kestrow::soak::Main(argc, argv);
}
