// Test helpers shared by the test areas: a simulated box linked as a COM port in a private
// ports directory or with faults, a serial reporter that records instead of showing message
// boxes, the frames of the status refresh, a failure's kind in words, and data rows from a table
// of structs.
#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "ports/PortNaming.h"
#include "serial/SerialTypes.h"
#include "sim/BoxSim.h"
#include "sim/FaultOptions.h"

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

    [[nodiscard]] std::vector<SerialReport> reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    [[nodiscard]] std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& r : reports()) {
            out.push_back(r.text);
        }
        return out;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<SerialReport> reports_;
};

// A private ports directory; the code under test is given it, or a port resolved in it.
class PortsDir {
  public:
    [[nodiscard]] std::string path() const { return dir_.path().toStdString(); }
    // Port n as the link COM<n> in this directory, whether or not a box is linked there yet.
    [[nodiscard]] ComPort Port(int number) const {
        return {number, path() + "/COM" + std::to_string(number)};
    }
    // Discovery of this directory's links and the machine's devices.
    [[nodiscard]] DiscoveryRoots Roots() const {
        DiscoveryRoots roots;
        roots.portsDir = path();
        return roots;
    }

  private:
    QTemporaryDir dir_;
};

// A made-up machine's files below `root`, one entry each: "path=text" a file, "path>target" a
// link to root/target, "path/" a folder.
inline void MakeTree(const std::filesystem::path& root, const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
        const size_t cut = entry.find_first_of("=>");
        const std::filesystem::path path = root / entry.substr(0, cut);
        std::filesystem::create_directories(cut == std::string::npos ? path : path.parent_path());
        if (cut != std::string::npos && entry[cut] == '=') {
            std::ofstream(path) << entry.substr(cut + 1) << "\n";
        } else if (cut != std::string::npos) {
            std::filesystem::create_symlink(root / entry.substr(cut + 1), path);
        }
    }
}

// Starts a simulated box and links it as COM<number> in `ports`; null box on failure.
inline std::unique_ptr<sim::BoxSim> StartLinkedBox(const PortsDir& ports, int number,
                                                   const sim::BoxConfig& config = {}) {
    auto box = sim::BoxSim::Start(config);
    if (box && !box->LinkAs(ports.path(), number)) {
        box.reset();
    }
    return box;
}

// `config` with the faults of kestrow-boxsim's `options` ("--fault close@1 --back-after -1").
inline sim::BoxConfig WithFaults(const QString& options, sim::BoxConfig config = {}) {
    const QStringList words = options.split(' ', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i + 1 < words.size(); i += 2) {
        if (!sim::ParseFaultOption(words[i].toStdString(), words[i + 1].toStdString(),
                                   config.faults)) {
            qFatal("bad option %s %s", qPrintable(words[i]), qPrintable(words[i + 1]));
        }
    }
    return config;
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

// What the panel's status refresh may send, in order: the probe, (4,1), every setting of groups
// 1 to 3, (4,2), (4,4), then (4,2) again and (4,3) for a newer model. The first `count` frames.
inline QByteArray RefreshWire(int count) {
    const QByteArray all =
        "056c9305f7076c93010401f4076c93010101f7076c93010102f6076c93010103f5076c93010104f4"
        "076c93010105f3076c93010201f6076c93010202f5076c93010203f4076c93010204f3076c93010205f2"
        "076c93010206f1076c93010207f0076c93010208ef076c93010301f5076c93010302f4076c93010303f3"
        "076c93010304f2076c93010305f1076c93010306f0076c93010402f3076c93010404f1076c93010402f3"
        "076c93010403f2";
    return all.left(count == 0 ? 0 : 14 * count - 4);  // the probe has 5 bytes, the rest 7
}

// A failure's kind in words, so that a table names the outcome it expects.
inline QString KindWords(const Error& error) {
    static constexpr const char* kWords[] = {
        "no device", "busy",      "permission", "refused", "timed out", "open failed", "gone",
        "no answer", "bad reply", "failed",     "stopped", "file",      "malformed",   "invalid"};
    static_assert(std::size(kWords) == static_cast<size_t>(ErrorKind::Invalid) + 1);
    return kWords[static_cast<size_t>(error.kind)];
}

// A data column "row": the index of each entry of a table, tagged with its tag.
template <typename Row, size_t N>
void RowsOf(const Row (&rows)[N]) {
    QTest::addColumn<int>("row");
    for (size_t k = 0; k < N; ++k) {
        QTest::newRow(rows[k].tag) << int(k);
    }
}

}  // namespace kestrow::test
