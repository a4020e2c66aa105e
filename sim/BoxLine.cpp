// The box's line: closed (for good, or to come back under the same COM links on a new
// pseudo-terminal), its links, and syncs: a marker the box writes into the line from the host's
// side arrives behind every byte the host wrote before, so once it is back the box has taken
// them all in.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "sim/BoxImpl.h"

namespace kestrow::sim {
namespace {

constexpr size_t kMarkerBytes = 16;

uint64_t Mix(uint64_t x) {  // splitmix64
    x += 0x9E3779B97F4A7C15u;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

}  // namespace

void BoxSim::Impl::CloseLine(int backAfterMs) {
    // Recorded and unlinked first: whoever sees the hang-up finds the box closed.
    {
        std::lock_guard lock(mutex);
        state.lineClosed = true;
        vanishRequested = false;
        pending.clear();
        pendingNs.clear();
        lateWaiting = 0;
        RemoveLinks();
        reopenAt = backAfterMs >= 0 ? NowNs() + int64_t{backAfterMs} * 1'000'000 : 0;
    }
    line.Close();
    lateReplies.clear();
    changed.notify_all();
    if (!marker.empty()) {
        EndSync();  // what the host wrote is gone with the line
    }
}

void BoxSim::Impl::ReopenIfDue() {
    {
        std::lock_guard lock(mutex);
        if (reopenAt == 0 || NowNs() < reopenAt) {
            return;
        }
        reopenAt = 0;
    }
    const bool opened = line.Reopen();
    {
        std::lock_guard lock(mutex);
        if (opened) {
            slavePath = line.slavePath;
            for (const std::string& path : links) {
                (void)PlaceLink(path);
            }
            state.lineClosed = false;
        }
    }
    changed.notify_all();
}

bool BoxSim::Impl::PlaceLink(const std::string& path) {
    struct stat linkInfo {};
    if (lstat(path.c_str(), &linkInfo) == 0) {
        struct stat target {};
        const bool dangling = S_ISLNK(linkInfo.st_mode) && stat(path.c_str(), &target) != 0;
        if (!dangling || unlink(path.c_str()) != 0) {
            return false;
        }
    }
    return symlink(slavePath.c_str(), path.c_str()) == 0;
}

void BoxSim::Impl::RemoveLinks() {
    for (const std::string& path : links) {
        std::error_code ec;
        if (std::filesystem::read_symlink(path, ec) == slavePath) {
            std::filesystem::remove(path, ec);
        }
    }
}

void BoxSim::Impl::StartSync() {
    {
        std::lock_guard lock(mutex);
        if (syncDone >= syncAsked || !marker.empty()) {
            return;
        }
    }
    // Bytes no host sends in a row: the box's own start time and a count, mixed.
    for (size_t i = 0; i < kMarkerBytes; i += 8) {
        const uint64_t word = Mix(static_cast<uint64_t>(NowNs()) ^ Mix(++markers));
        for (size_t b = 0; b < 8; ++b) {
            marker.push_back(static_cast<uint8_t>(word >> (8 * b)));
        }
    }
    if (!line.master.valid() || !line.WriteAsHost(marker)) {
        EndSync();  // nothing the host wrote can still arrive, or no way to tell
    }
}

void BoxSim::Impl::Take(std::span<const uint8_t> bytes) {
    if (marker.empty()) {
        OnBytes(bytes);
        return;
    }
    inbox.insert(inbox.end(), bytes.begin(), bytes.end());
    const auto found = std::search(inbox.begin(), inbox.end(), marker.begin(), marker.end());
    if (found == inbox.end()) {
        // Hold back what may be the marker's start.
        const size_t keep = std::min(inbox.size(), marker.size() - 1);
        const std::vector<uint8_t> before(inbox.begin(), inbox.end() - std::ptrdiff_t(keep));
        inbox.erase(inbox.begin(), inbox.end() - std::ptrdiff_t(keep));
        if (!before.empty()) {
            OnBytes(before);
        }
        return;
    }
    const std::vector<uint8_t> before(inbox.begin(), found);
    const std::vector<uint8_t> after(found + std::ptrdiff_t(marker.size()), inbox.end());
    if (!before.empty()) {
        OnBytes(before);
    }
    EndSync();
    if (!after.empty()) {
        OnBytes(after);
    }
}

void BoxSim::Impl::EndSync() {
    marker.clear();
    inbox.clear();
    {
        std::lock_guard lock(mutex);
        syncDone = syncAsked;
    }
    changed.notify_all();
}

}  // namespace kestrow::sim
