// What every kestrowctl command shares: the exit codes, a step's outcome (a value or why not),
// and the options common to the commands.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ports/PortNaming.h"
#include "serial/SerialTypes.h"

namespace kestrow::cli {

// The process's exit code. Listed in --help and the README; scripts rely on the numbers.
enum class Exit : int {
    Done = 0,
    Stopped = 1,      // the operator declined or pressed Ctrl+C (a hang-up stops a flash)
    Usage = 2,        // bad command line; a setting or value the dialog would refuse
    Port = 3,         // the port cannot be opened, is busy, or names no device; doctor found faults
    NoAnswer = 4,     // the box does not answer, went away or waits in its boot loader
    File = 5,         // a settings or firmware file that cannot be read or written, or is refused
    WriteFailed = 6,  // a write failed, a loaded setting reads back different, the flash failed
};

inline constexpr const char* kExitCodesHelp =
    "Exit codes:\n"
    "  0  done\n"
    "  1  stopped: the operator declined or pressed Ctrl+C (a hang-up stops a flash too)\n"
    "  2  usage: bad command line, unknown setting, a value the dialog would refuse,\n"
    "     a setting this box does not offer, a raw item or byte no dialog writes\n"
    "     (without --force)\n"
    "  3  the port cannot be opened, is busy, or names no device (also when every port\n"
    "     a search found was refused); doctor: something to fix was found\n"
    "  4  the box does not answer (or no port answers the probe), went away during the\n"
    "     run, or waits in its boot loader\n"
    "  5  a settings or firmware file that cannot be read or written, or is refused\n"
    "  6  a write failed (also when the box went away during it), a loaded setting\n"
    "     reads back different, or the flash failed\n";

struct Failure {
    Exit code = Exit::Usage;
    std::string message;  // printed on stderr after "kestrowctl: "; empty when already told
};

// A step's result: a value, or the failure that ends the command.
template <class T>
class Outcome {
  public:
    Outcome(T value) : value_(std::move(value)) {}              // NOLINT: implicit by design
    Outcome(Failure failure) : failure_(std::move(failure)) {}  // NOLINT
    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    [[nodiscard]] const Failure& failure() const { return failure_; }

  private:
    std::optional<T> value_;
    Failure failure_;
};

// Options every command takes.
struct CommonOptions {
    // "COM 5", "COM5", "5" or a device path, each --port as given, else KESTROW_PORT's; none:
    // search.
    std::vector<std::string> ports;
    std::string portOrigin = "--port";  // where `ports` came from, for messages
    bool all = false;                   // --all: every port that answers the probe
    bool trace = false;
    bool json = false;
    std::string portsDir = DefaultPortsDirectory();            // where COM<n> links live
    std::string networkPortsFile = DefaultNetworkPortsFile();  // the network ports listed
    SerialTracer tracer;  // --trace: told every Read and Write; none otherwise
};

// The environment variable that names the default port.
inline constexpr const char* kPortVariable = "KESTROW_PORT";

// "kestrowctl <version>", for --version and the settings file.
[[nodiscard]] std::string ProgramVersion();

}  // namespace kestrow::cli
