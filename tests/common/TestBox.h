// Test helpers shared by the test areas: a simulated box linked as a COM port in a private
// ports directory, and a serial reporter that records instead of showing message boxes.
#pragma once

#include <QByteArray>
#include <QTemporaryDir>

#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "BoxSim.h"
#include "PortNaming.h"
#include "SerialTypes.h"

namespace kestrow::test {

class RecordingReporter {
  public:
    RecordingReporter() {
        SetSerialReporter([this](const SerialReport& r) {
            std::lock_guard lock(mutex_);
            reports_.push_back(r);
        });
    }
    ~RecordingReporter() { SetSerialReporter({}); }
    RecordingReporter(const RecordingReporter&) = delete;
    RecordingReporter& operator=(const RecordingReporter&) = delete;

    [[nodiscard]] std::vector<std::string> texts() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& r : reports_) {
            out.push_back(r.text);
        }
        return out;
    }
    [[nodiscard]] std::vector<SerialReport> reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        reports_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<SerialReport> reports_;
};

// A private ports directory, made the process's ports directory while the object lives.
class PortsDir {
  public:
    PortsDir() { SetPortsDirectoryOverride(path()); }
    ~PortsDir() { SetPortsDirectoryOverride({}); }
    PortsDir(const PortsDir&) = delete;
    PortsDir& operator=(const PortsDir&) = delete;
    [[nodiscard]] std::string path() const { return dir_.path().toStdString(); }

  private:
    QTemporaryDir dir_;
};

// Starts a simulated box and links it as COM<number> in `ports`; null box on failure.
inline std::unique_ptr<sim::BoxSim> StartLinkedBox(const PortsDir& ports, int number,
                                                   const sim::BoxConfig& config = {}) {
    auto box = sim::BoxSim::Start(config);
    if (box && !box->LinkAs(ports.path(), number)) {
        box.reset();
    }
    return box;
}

// Bytes in lower-case hex without separators, and everything a box received so far in hex:
// frames on the wire compare as one string.
inline QByteArray HexBytes(std::span<const uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()))
        .toHex();
}
inline QByteArray WireHex(const sim::BoxSim& box) {
    return HexBytes(box.received());
}

}  // namespace kestrow::test
