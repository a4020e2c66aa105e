// kestrowctl's edges with the operating system, one file for each (PlatformPosix.cpp,
// PlatformWin32.cpp): the process's start, the command line in UTF-8, Ctrl+C and hang-ups, and
// local time. On Windows, Ctrl+C and Ctrl+Break count as SIGINT, and the console window closed
// (or the user logging off, the system shutting down) as SIGHUP.
#pragma once

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "cli/Console.h"

namespace kestrow::cli {

// Sets the process up before the command line is read. POSIX: output that cannot be written
// (SIGPIPE, SIGXFSZ) makes the write fail instead of ending the process. Windows: the console
// shows UTF-8, and Ctrl+C and closing the console come to this program's handler.
void PrepareProcess();

// How --help names the ports a system opens by name: "a device path such as /dev/ttyUSB0 or
// /dev/serial/by-id/...", "Windows' name \\\\.\\COM12".
extern const char* const kDeviceNameHelp;

// The command line's words in UTF-8: argv on POSIX, the wide command line on Windows.
[[nodiscard]] std::vector<std::string> CommandLineWords(int argc, char** argv);

// While one lives, Ctrl+C and a hang-up are noted instead of ending the process (flash).
class InterruptCatcher {
  public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    // Ctrl+C (or a hang-up) came since the last Clear.
    [[nodiscard]] static bool Interrupted();
    // A hang-up came: there is no terminal to ask on any more.
    [[nodiscard]] static bool HungUp();
    static void ClearInterrupted();
};

// From the call on, Ctrl+C and a request to stop (POSIX: SIGINT, SIGTERM; Windows: Ctrl+C,
// Ctrl+Break, the console closed) are held back until WaitForStopRequest takes them (watch).
void HoldStopRequests();
// Waits up to `timeout` for a held-back request to stop; true when one came.
[[nodiscard]] bool WaitForStopRequest(std::chrono::nanoseconds timeout);

// The answer that a line typed to AskYesNo (Console.h) gives: "y" or "yes" in any case, blanks
// and a carriage return at its end ignored, is Yes.
[[nodiscard]] Answer AnswerOf(std::string line);

// The local time of `seconds`.
[[nodiscard]] std::tm LocalTime(std::time_t seconds);

}  // namespace kestrow::cli
