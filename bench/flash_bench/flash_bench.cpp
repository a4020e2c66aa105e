// Prints how long a firmware write takes through the simulated boot loader paced at
// 115200 8-N-1, beside the floor set by the fixed waits and the line time of every byte, the
// program's turnaround from each Send Data acknowledge to the next block (the box's clock), and
// how fast Intel HEX text converts. Each write is made three ways: to the box's pseudo-terminal
// directly, and to the same kind of box behind its own ser2net by RFC 2217 and by raw TCP,
// with the network time over the direct one (goal: at most 1.05 times). Not a test: it prints
// figures and exits 0.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/common/Turnaround.h"
#include "bench/common/WireFloors.h"
#include "device/DeviceLink.h"
#include "firmware/BootLoader.h"
#include "firmware/FirmwareImage.h"
#include "ports/PortNaming.h"
#include "sim/BoxSim.h"
#include "sim/Ser2net.h"

using namespace kestrow;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPort = 9;

bool IsSendData(const sim::ReceivedFrame& f) {
    return f.kind == sim::FrameKind::BootPacket && f.bytes.size() > 3 && f.bytes[2] == 0x24;
}

struct NullSink : ProgressSink {
    void SetRange(std::uint16_t, std::uint16_t) override {}
    void SetPosition(std::uint16_t) override {}
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// How the program reaches the box.
enum class Route { Direct, Rfc2217, Socket };
constexpr Route kRoutes[] = {Route::Direct, Route::Rfc2217, Route::Socket};
const char* RouteName(Route route) {
    switch (route) {
        case Route::Direct:
            return "direct";
        case Route::Rfc2217:
            return "RFC 2217";
        case Route::Socket:
            return "raw TCP";
    }
    return "";
}

// One write to a fresh paced box reached by `route`, printed with its floor and turnarounds;
// its time in seconds, none when it did not succeed.
std::optional<double> FlashOnce(const std::string& portsDir, std::size_t programBytes,
                                Route route) {
    sim::BoxConfig config;
    config.startInBootLoader = true;
    config.paced = true;
    auto box = sim::BoxSim::Start(config);
    if (!box || !box->LinkAs(portsDir, kPort)) {
        std::printf("flash_bench: could not start the simulated box\n");
        return std::nullopt;
    }
    ComPort target = ResolvePort(kPort, portsDir);
    std::unique_ptr<sim::Ser2net> server;
    if (route != Route::Direct) {
        std::string why;
        server = sim::Ser2net::Start(box->slavePath(), &why);
        const Result<ComPort> url =
            server ? ParsePortUrl(route == Route::Rfc2217 ? server->Rfc2217Url() : server->RawUrl())
                   : Result<ComPort>(Error{});
        if (!url) {
            std::printf("flash_bench: no ser2net: %s\n", why.c_str());
            return std::nullopt;
        }
        target = *url;
    }
    std::vector<std::uint8_t> program(programBytes);
    for (std::size_t i = 0; i < program.size(); ++i) {
        program[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }
    SerialPort port;
    if (!OpenForLongReads(port, target)) {
        std::printf("flash_bench: could not open the port\n");
        return std::nullopt;
    }
    NullSink sink;
    const auto start = Clock::now();
    const bool ok = ConnectBootLoader(port, static_cast<std::int32_t>(programBytes), '4') &&
                    WriteFlash(port, program, sink);
    const double elapsed = Seconds(Clock::now() - start);
    port.Close();
    const double floor = bench::FlashFloorSeconds(programBytes);
    std::printf("write %7zu bytes, %-8s: %s, %.3f s, floor %.3f s, %+.2f %% (goal within 3 %%)%s\n",
                programBytes, RouteName(route), ok ? "ok" : "FAILED", elapsed, floor,
                (elapsed / floor - 1.0) * 100.0,
                ok && box->flash() == program ? "" : ", flash differs");
    (void)box->WaitForQuiet(1000);
    std::vector<double> turnarounds;
    bench::AddTurnarounds(
        box->frames(), 0.0,
        [](const auto& block, const auto& next) { return IsSendData(block) && IsSendData(next); },
        turnarounds);
    bench::PrintTurnarounds("turnaround from an acknowledge to the next block", turnarounds);
    return ok ? std::optional<double>(elapsed) : std::nullopt;
}

// HEX text of `image` with 16-byte data records and an extended linear address record at
// every 64 KiB, the way objcopy writes it.
std::string HexText(const std::vector<std::uint8_t>& image) {
    std::string text;
    text.reserve(image.size() * 45 / 16 + 64);
    char line[64];
    auto record = [&](unsigned type, unsigned address, const std::uint8_t* bytes, unsigned n) {
        unsigned sum = n + (address >> 8) + (address & 0xFF) + type;
        int at = std::snprintf(line, sizeof line, ":%02X%04X%02X", n, address & 0xFFFF, type);
        for (unsigned i = 0; i < n; ++i) {
            at += std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%02X",
                                bytes[i]);
            sum += bytes[i];
        }
        std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%02X\r\n",
                      (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    };
    for (std::size_t at = 0; at < image.size(); at += 16) {
        if (at % 0x10000 == 0) {
            const std::uint8_t upper[2] = {static_cast<std::uint8_t>(at >> 24),
                                           static_cast<std::uint8_t>(at >> 16)};
            record(4, 0, upper, 2);
        }
        const auto n = static_cast<unsigned>(std::min<std::size_t>(16, image.size() - at));
        record(0, static_cast<unsigned>(at & 0xFFFF), image.data() + at, n);
    }
    record(1, 0, nullptr, 0);
    return text;
}

void ConvertSpeed() {
    std::vector<std::uint8_t> image(4u * 1024u * 1024u);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
    }
    const std::string text = HexText(image);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    std::vector<std::uint8_t> out;
    constexpr int kRounds = 20;
    bool ok = true;
    const auto start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        ok = static_cast<bool>(HexToBinary(bytes, out)) && ok;
    }
    const double elapsed = Seconds(Clock::now() - start);
    const double mbPerSecond = static_cast<double>(text.size()) * kRounds / elapsed / 1e6;
    std::printf("convert %zu bytes of HEX text (4 MiB image): %s, %.1f MB/s (goal >= 200)\n",
                text.size(), ok && out == image ? "ok" : "FAILED", mbPerSecond);
}

}  // namespace

int main() {
#ifndef NDEBUG
    std::printf("flash_bench: built without NDEBUG (a debug build); figures are pessimistic\n");
#endif
    ConvertSpeed();
    const auto dir = std::filesystem::temp_directory_path() /
                     ("kestrow-flash-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (std::size_t size : {std::size_t{64} * 1024, std::size_t{256} * 1024}) {
        std::optional<double> direct;
        for (const Route route : kRoutes) {
            const std::optional<double> seconds = FlashOnce(dir.string(), size, route);
            if (route == Route::Direct) {
                direct = seconds;
            } else if (seconds && direct) {
                std::printf("  %s over direct: %.3f times   goal: at most 1.05 times\n",
                            RouteName(route), *seconds / *direct);
            }
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
