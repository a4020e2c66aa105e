// kestrow-wincheck: runs the Win32 SerialPort and the settings transactions against simulated
// boxes on COM ports, one answering and one silent, and a COM number with no port behind it.
// The boxes' printed frame logs tell what reached them. Prints one line per check and a closing
// line; the exit code is 0 only when every check passed.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "WinCheck.h"

namespace {

constexpr const char* kUsage =
    "Usage: kestrow-wincheck --answering N --silent N --absent N\n"
    "                        --answering-log FILE --silent-log FILE\n"
    "  N     COM port numbers: a simulated box that answers, one that stays silent, and a\n"
    "        number with no port\n"
    "  FILE  the output of kestrow-boxsim for that box (the frames it received)\n";

constexpr int kWatchdogSeconds = 150;

bool ParseArguments(int argc, char** argv, kestrow::wincheck::Setup& setup) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--answering") {
            setup.answering = std::atoi(value);
        } else if (key == "--silent") {
            setup.silent = std::atoi(value);
        } else if (key == "--absent") {
            setup.absent = std::atoi(value);
        } else if (key == "--answering-log") {
            setup.answeringLog = value;
        } else if (key == "--silent-log") {
            setup.silentLog = value;
        } else {
            return false;
        }
    }
    return argc == 11 && setup.answering > 0 && setup.silent > 0 && setup.absent > 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kestrow::wincheck;
    Setup setup;
    if (!ParseArguments(argc, argv, setup)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    InstallRecordingReporter();
    Checker check;
    check.StartWatchdog(kWatchdogSeconds);
    CheckLineSettings(check, setup);
    CheckTimeouts(check, setup);
    CheckTransactions(check, setup);
    CheckOverlapped(check, setup);
    CheckFailureTexts(check, setup);
    CheckWindowsOnly(check, setup);
    return check.Finish();
}
