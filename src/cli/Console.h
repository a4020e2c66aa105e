// kestrowctl's terminal: messages on stderr, the serial layer's failure reports, questions to
// the operator, and the --trace output.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Cli.h"
#include "device/SerialTypes.h"

namespace kestrow::cli {

// "kestrowctl: <message>" on stderr.
void PrintError(std::string_view message);
// Prints the failure's message (if any) and gives its exit code.
[[nodiscard]] int Report(const Failure& failure);

// Every failed system call of the serial layer goes to stderr with its fixed text and the
// system's reason ("Failed to open up the comms port: Device or resource busy").
void InstallSerialReporter();

// While one lives, serial failure reports are kept instead of printed (a port search tries
// ports that may be busy or gone; it says so in its own words).
class HeldReports {
  public:
    HeldReports();
    ~HeldReports();  // the reporter before it again
    HeldReports(const HeldReports&) = delete;
    HeldReports& operator=(const HeldReports&) = delete;
    // The first report's text and reason since the last Take, then forgets them.
    [[nodiscard]] std::string Take();

  private:
    struct Held;
    std::shared_ptr<Held> held_;  // shared with the reporter, which may run on another thread
    SerialReporter previous_;
};

[[nodiscard]] bool StdinIsTerminal();
[[nodiscard]] bool StdoutIsTerminal();

enum class Answer { Yes, No, Interrupted };
// Asks on stdout and reads one line from stdin: "y" or "yes" (any case) is Yes. A second
// Ctrl+C while it waits counts as Interrupted, the end of input as No.
[[nodiscard]] Answer AskYesNo(std::string_view question);

// --trace: every byte run a serial port moves, with the milliseconds since start, on stderr.
[[nodiscard]] SerialTracer StderrTracer();

// Hex bytes "05 6C 93 05 F7".
[[nodiscard]] std::string HexBytes(const unsigned char* bytes, size_t count);

}  // namespace kestrow::cli
