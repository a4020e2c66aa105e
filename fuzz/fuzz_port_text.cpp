// Port names as operators type them (ParsePortText: the panel's port field, kestrowctl --port),
// as the port list's friendly names carry them (ParseComNumber), and what ResolvePort makes of
// any number. Input: byte 0 picks the ports directory (bit 0: one made here with a COM7 link,
// else the rest of the input after a NUL as a directory name), then the text.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/FakeLine.h"
#include "ports/PortNaming.h"

using namespace kestrow;
using fuzz::Check;

namespace {

// A ports directory with COM7 linked to a device that exists; removed when the run exits.
class TempPorts {
  public:
    TempPorts() {
        Check(mkdtemp(dir_.data()) != nullptr, "no temporary directory");
        Check(symlink("/dev/null", (dir_ + "/COM7").c_str()) == 0, "no COM7 link");
    }
    ~TempPorts() {
        (void)unlink((dir_ + "/COM7").c_str());
        (void)rmdir(dir_.c_str());
    }
    TempPorts(const TempPorts&) = delete;
    TempPorts& operator=(const TempPorts&) = delete;
    [[nodiscard]] const std::string& dir() const { return dir_; }

  private:
    std::string dir_ = "/tmp/kestrow-fuzz-XXXXXX";
};

const std::string& PortsDir() {
    static const TempPorts ports;
    return ports.dir();
}

void CheckResolved(int number, const std::string& dir) {
    const ComPort port = ResolvePort(number, dir);
    Check(port.number == number, "ResolvePort changed the number");
    if (number < 0 || number > kMaxComPort) {
        Check(port.path.empty(), "a device for a number outside 0..255");
        return;
    }
    Check(port.path.empty() || port.path.rfind("/dev/tty", 0) == 0 ||
              port.path == (std::filesystem::path(dir) / ("COM" + std::to_string(number))).string(),
          "a device neither a link of the directory nor of a family");
    Check(port.Name() == "COM " + std::to_string(number), "the name is not COM n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::string_view all(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string_view text = all;
    std::string dir = PortsDir();
    if ((data[0] & 1) != 0) {
        const size_t nul = all.find('\0');
        text = all.substr(0, nul);
        // A directory name ends at its first NUL, as one from the environment does.
        dir = nul == std::string_view::npos ? std::string() : std::string(all.substr(nul + 1));
        dir.resize(std::min(dir.size(), dir.find('\0')));
    }

    const std::optional<int> typed = ParsePortText(text);
    if (typed) {
        Check(*typed >= 0 && *typed <= kMaxComPort, "typed port outside 0..255");
        // What the panel's list shows names the same port again, in each of its forms.
        const std::string n = std::to_string(*typed);
        for (const std::string& form : {"COM " + n, "com" + n, n, " " + n + "\t"}) {
            Check(ParsePortText(form) == typed, "a port's own name does not name it again");
        }
        CheckResolved(*typed, dir);
    }

    const std::optional<int> listed = ParseComNumber(text);
    Check(listed.has_value() == (text.find("COM") != std::string_view::npos),
          "a friendly name's number without its COM, or lost");
    Check(!listed || *listed >= 0, "a negative port number from a friendly name");

    // Any number at all, as a caller might pass it.
    int number = 0;
    std::memcpy(&number, data, std::min(size, sizeof number));
    CheckResolved(number, dir);
    CheckResolved(listed.value_or(-1), dir);
    return 0;
}
