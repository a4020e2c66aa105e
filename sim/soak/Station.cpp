// One simulated box linked as COM200 in its own ports directory, so that the kestrowctl runs
// against it (XDG_RUNTIME_DIR pointing there) see only this box. With --network a ser2net of
// its own serves that link, and kestrowctl reaches the box through the server instead.
#include <system_error>

#include "sim/soak/Soak.h"
#include "sim/Ser2net.h"

namespace kestrow::soak {
namespace {

// A closed line comes back within 1.5 s and a late reply within 7 s (Runs.cpp).
constexpr int kQuietWithinMs = 10'000;

}  // namespace

Station::Station(std::filesystem::path root, NetworkMix network)
    : root_(std::move(root)), raw_(network == NetworkMix::Socket) {
    std::error_code ec;
    std::filesystem::create_directories(root_ / "kestrow" / "ports", ec);
    if (network != NetworkMix::None) {
        const std::string link =
            (root_ / "kestrow" / "ports" / ("COM" + std::to_string(kCom))).string();
        server_ = sim::Ser2net::Start(link, &error_);
        if (!server_ && error_.empty()) {
            error_ = "ser2net could not be started";
        }
    }
}

Station::~Station() = default;

std::string Station::Port() const {
    if (!server_) {
        return "COM" + std::to_string(kCom);
    }
    return raw_ ? server_->RawUrl() : server_->Rfc2217Url();
}

bool Station::Ready(const BoxKind& kind, std::optional<bool> bootLoader,
                    const sim::FaultPlan& faults) {
    sim::BoxConfig config;
    config.portByte = kind.portByte;
    config.modelByte = kind.modelByte;
    config.newerModel = kind.newerModel;
    const bool quiet = box_ && box_->WaitForQuiet(kQuietWithinMs);
    if (!quiet || (bootLoader && box_->inBootLoader() != *bootLoader)) {
        box_.reset();  // removes its link
        config.startInBootLoader = bootLoader.value_or(false);
        box_ = sim::BoxSim::Start(config);
        if (!box_ || !box_->LinkAs((root_ / "kestrow" / "ports").string(), kCom)) {
            box_.reset();
            return false;
        }
    }
    config.faults = faults;
    box_->SetConfig(config);
    box_->ClearReceived();
    return true;
}

ToolRun Station::Run(const std::string& program, std::vector<std::string> args, int limitMs) {
    args.insert(args.end(), {"--port", Port()});
    ToolRun run = RunTool(program, args, root_, limitMs);
    (void)box_->WaitForQuiet(kQuietWithinMs);
    return run;
}

}  // namespace kestrow::soak
