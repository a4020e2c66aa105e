// kestrow-boxsim: runs the simulated box on a pseudo-terminal linked into the ports folder as
// the lowest free COM number from 200 up, prints what it receives, and stops on Ctrl+C (or
// SIGTERM, SIGHUP), removing the link.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ports/PortNaming.h"
#include "sim/BoxSim.h"
#include "sim/FaultOptions.h"

namespace {

constexpr int kFirstComNumber = 200;

constexpr const char* kUsage =
    "Usage: kestrow-boxsim [options]\n"
    "Plays a Kestrow box on a pseudo-terminal and links it as a COM port.\n"
    "  --port-byte HEX   probe reply's port byte (input code << 4 | output code), default 59\n"
    "  --model N         probe reply's model byte, default 0\n"
    "  --newer-model     answer the (4,4) query as a newer model (first byte 06)\n"
    "  --model-reply HEX first byte of the reply to (4,4): 05 an older model (the default),\n"
    "                    01 to FF but 05 a newer one\n"
    "  --version TEXT    firmware version text (nine characters), default V1.23.456\n"
    "  --silent          answer nothing\n"
    "  --paced           send and take bytes at the 115200 baud line rate\n"
    "  --reply-delay MS  send every reply MS milliseconds after its request arrived\n"
    "  --boot-loader     start in the boot loader\n"
    "  --status HEX      boot loader's Get Status code, default 40\n"
    "  --status-after-block K  Get Status answers 40 until Send Data block K (0 first), then\n"
    "                    the --status code\n"
    "  --vanish-at-block K  close the line for good when Send Data block K (0 first) arrives\n"
    "  --flash-file FILE write the boot loader's flash to FILE when the box stops\n"
    "  --ports-dir DIR   folder for the COM link, default the panel's ports folder\n"
    "  --show-replies    print the replies too, and the faults that struck them\n"
    "  --help            this text\n";

struct Options {
    kestrow::sim::BoxConfig config;
    std::string portsDir;
    std::string flashFile;
    bool showReplies = false;
};

bool ParseNumber(const char* text, int base, unsigned long max, unsigned long& out) {
    char* end = nullptr;
    out = std::strtoul(text, &end, base);
    return end != text && *end == '\0' && std::strchr(text, '-') == nullptr && out <= max;
}

bool ParseByte(const char* text, int base, uint8_t& out) {
    unsigned long value = 0;
    const bool ok = ParseNumber(text, base, 0xFF, value);
    out = static_cast<uint8_t>(value);
    return ok;
}

bool ParseCount(const char* text, int& out) {
    unsigned long value = 0;
    const bool ok = ParseNumber(text, 10, 10'000'000, value);
    out = static_cast<int>(value);
    return ok;
}

// 0: run; otherwise the exit code (after printing help or an error).
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        const bool fault = kestrow::sim::IsFaultOption(arg);
        const bool takesValue = arg == "--port-byte" || arg == "--model" || arg == "--version" ||
                                arg == "--ports-dir" || arg == "--model-reply" ||
                                arg == "--reply-delay" || arg == "--status" ||
                                arg == "--status-after-block" || arg == "--vanish-at-block" ||
                                arg == "--flash-file" || fault;
        if (takesValue && value == nullptr) {
            std::fprintf(stderr, "kestrow-boxsim: %s needs a value\n", argv[i]);
            return 2;
        }
        bool ok = true;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs(kestrow::sim::kFaultOptionsHelp, stdout);
            return -1;
        } else if (fault) {
            ok = kestrow::sim::ParseFaultOption(arg, value, options.config.faults);
        } else if (arg == "--port-byte") {
            ok = ParseByte(value, 16, options.config.portByte);
        } else if (arg == "--model") {
            ok = ParseByte(value, 10, options.config.modelByte);
        } else if (arg == "--version") {
            options.config.versionText = value;
        } else if (arg == "--ports-dir") {
            options.portsDir = value;
        } else if (arg == "--newer-model") {
            options.config.newerModel = 0x06;
        } else if (arg == "--model-reply") {
            uint8_t first = 0;
            ok = ParseByte(value, 16, first) && first != 0;
            options.config.newerModel = first == 0x05 ? uint8_t{0} : first;
        } else if (arg == "--reply-delay") {
            ok = ParseCount(value, options.config.replyDelayMs);
        } else if (arg == "--status") {
            ok = ParseByte(value, 16, options.config.status);
        } else if (arg == "--status-after-block") {
            ok = ParseCount(value, options.config.statusAfterBlock);
        } else if (arg == "--vanish-at-block") {
            ok = ParseCount(value, options.config.vanishAtBlock);
        } else if (arg == "--flash-file") {
            options.flashFile = value;
        } else if (arg == "--silent") {
            options.config.silent = true;
        } else if (arg == "--paced") {
            options.config.paced = true;
        } else if (arg == "--boot-loader") {
            options.config.startInBootLoader = true;
        } else if (arg == "--show-replies") {
            options.showReplies = true;
        } else {
            std::fprintf(stderr, "kestrow-boxsim: unknown option %s\n%s%s", argv[i], kUsage,
                         kestrow::sim::kFaultOptionsHelp);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "kestrow-boxsim: bad value for %s: %s\n", argv[i], value);
            return 2;
        }
        i += takesValue ? 1 : 0;
    }
    return 0;
}

void PrintBytes(const char* arrow, const std::vector<uint8_t>& bytes) {
    std::string line = arrow;
    char hex[4];
    for (const uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, " %02X", b);
        line += hex;
    }
    std::puts(line.c_str());
    std::fflush(stdout);
}

// The boot loader's flash as a file, for a check from outside (scripts/windows-check).
bool WriteFlash(const kestrow::sim::BoxSim& box, const std::string& path) {
    const std::vector<uint8_t> flash = box.flash();
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> out(std::fopen(path.c_str(), "wb"));
    return out && std::fwrite(flash.data(), 1, flash.size(), out.get()) == flash.size() &&
           std::fclose(out.release()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int code = ParseOptions(argc, argv, options); code != 0) {
        return code < 0 ? 0 : code;
    }
    if (options.portsDir.empty()) {
        options.portsDir = kestrow::DefaultPortsDirectory();
    }

    // The signals are taken by sigwait below; every thread started from here blocks them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);  // the terminal went away: still remove the link
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto box = kestrow::sim::BoxSim::Start(options.config);
    if (!box) {
        std::fputs("kestrow-boxsim: no pseudo-terminal could be opened\n", stderr);
        return 1;
    }
    const auto number = box->LinkAsFreeNumber(options.portsDir, kFirstComNumber);
    if (!number) {
        std::fprintf(stderr, "kestrow-boxsim: no free COM number from %d up in %s\n",
                     kFirstComNumber, options.portsDir.c_str());
        return 1;
    }
    std::printf("Simulated Kestrow box on COM%d (%s)\n", *number, box->slavePath().c_str());
    std::fflush(stdout);

    const bool showReplies = options.showReplies;
    box->SetFrameObserver([showReplies](const kestrow::sim::ReceivedFrame& frame) {
        PrintBytes("<-", frame.bytes);
        if (showReplies && !frame.reply.empty()) {
            PrintBytes("->", frame.reply);
        }
        if (showReplies && frame.fault != kestrow::sim::Fault::None) {
            std::printf("   fault %.*s %d at frame %d\n",
                        static_cast<int>(kestrow::sim::FaultName(frame.fault).size()),
                        kestrow::sim::FaultName(frame.fault).data(), frame.faultDetail,
                        frame.number);
            std::fflush(stdout);
        }
    });

    int signal = 0;
    sigwait(&stopSignals, &signal);
    box->SetFrameObserver(nullptr);
    if (!options.flashFile.empty() && !WriteFlash(*box, options.flashFile)) {
        std::fprintf(stderr, "kestrow-boxsim: the flash cannot be written to %s\n",
                     options.flashFile.c_str());
        return 1;
    }
    return 0;  // the box's destructor removes the link
}
