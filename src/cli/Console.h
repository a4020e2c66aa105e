// kestrowctl's terminal: messages on stderr, the serial layer's failure reports, questions to
// the operator, and the --trace output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/Cli.h"
#include "serial/SerialTypes.h"

namespace kestrow::cli {

// While one lives, every line its thread prints (messages, --trace, the report on stdout)
// carries the box's port name, "COM 210: ", so that the lines of boxes served at once stay
// apart. Without one a thread's lines carry none.
class BoxTag {
  public:
    explicit BoxTag(const std::string& portName);
    ~BoxTag();
    BoxTag(const BoxTag&) = delete;
    BoxTag& operator=(const BoxTag&) = delete;

  private:
    std::string previous_;
};

// "kestrowctl: <message>" on stderr, the box's tag after "kestrowctl: ".
void PrintError(std::string_view message);
// Prints the failure's message (if any) and gives its exit code.
[[nodiscard]] int Report(const Failure& failure);
// Text on stdout, each of its lines with the thread's box tag, written whole (no other
// thread's line comes between) and flushed at once, for readers at the end of a pipe. False
// when stdout can no longer be written.
bool Say(std::string_view text);

// Every failed system call of the serial layer goes to stderr with its fixed text and the
// system's reason ("Failed to open up the comms port: Device or resource busy").
void InstallSerialReporter();

// While one lives, the serial failure reports of its thread are kept instead of printed (a
// port search tries ports that may be busy or gone; it says so in its own words).
class HeldReports {
  public:
    HeldReports();
    ~HeldReports();  // the reporter before it again
    HeldReports(const HeldReports&) = delete;
    HeldReports& operator=(const HeldReports&) = delete;
    // The first report's text and reason since the last Take, then forgets them.
    [[nodiscard]] std::string Take();

  private:
    std::vector<SerialReport> reports_;
    std::vector<SerialReport>* previous_ = nullptr;
};

[[nodiscard]] bool StdinIsTerminal();
[[nodiscard]] bool StdoutIsTerminal();

enum class Answer { Yes, No, Interrupted };
// Asks on stdout (on stderr when stdout carries JSON) and reads one line from stdin: "y" or
// "yes" (any case) is Yes. A second Ctrl+C while it waits counts as Interrupted, the end of
// input as No.
[[nodiscard]] Answer AskYesNo(std::string_view question, bool onStderr = false);

// --trace: every byte run a serial port moves, with the milliseconds since start, on stderr
// (after the box's tag).
[[nodiscard]] SerialTracer StderrTracer();

// Hex bytes "05 6C 93 05 F7".
[[nodiscard]] std::string HexBytes(const unsigned char* bytes, size_t count);

}  // namespace kestrow::cli
