// The simulated box's thread and its public face. The thread waits on the pseudo-terminal
// master and a wake-up pipe, splits what arrives into requests, answers them and records them.
#include "sim/BoxSim.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "sim/BoxState.h"
#include "sim/PtyLine.h"

namespace kestrow::sim {

struct BoxSim::Impl {
    PtyLine line;  // the fds are used by the box's thread only, once it runs

    mutable std::mutex mutex;
    mutable std::condition_variable changed;  // bytes recorded, line closed
    BoxState state;
    std::vector<uint8_t> received;
    std::vector<ReceivedFrame> frames;
    std::vector<uint8_t> pending;  // received, not yet taken as a request
    std::function<void(const ReceivedFrame&)> observer;
    std::vector<std::string> links;
    bool stop = false;
    bool vanishRequested = false;
    std::thread::id boxThread;

    // The box's thread only.
    int64_t rxFree = 0;  // when the last received byte finished arriving (paced)
    int64_t txFree = 0;  // when the last sent byte finished leaving (paced)
    std::multimap<int64_t, std::vector<uint8_t>> lateReplies;  // by when they go out

    std::thread thread;

    void Run();
    void OnBytes(std::span<const uint8_t> bytes);
    std::vector<ReceivedFrame> Parse(bool& vanish);  // under the lock
    void Send(const std::vector<uint8_t>& reply, bool paced);
    void SendLateReplies();                       // those whose time has come
    [[nodiscard]] int MsToNextLateReply() const;  // -1: none waiting
    void CloseLine();
    bool MakeLink(const std::string& path);
};

void BoxSim::Impl::Run() {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);  // paced bytes need microsecond wake-ups
#endif
    {
        std::lock_guard lock(mutex);
        boxThread = std::this_thread::get_id();
    }
    std::array<uint8_t, 4096> buffer{};
    for (;;) {
        std::array<pollfd, 2> fds{
            {{line.wakeRead.get(), POLLIN, 0}, {line.master.get(), POLLIN, 0}}};
        const nfds_t count = line.master.valid() ? 2 : 1;
        const int ready = poll(fds.data(), count, MsToNextLateReply());
        if (ready < 0 && errno != EINTR) {
            break;
        }
        SendLateReplies();
        if (ready <= 0) {
            continue;
        }
        if (fds[0].revents != 0) {
            line.DrainWake();
            bool vanish = false;
            {
                std::lock_guard lock(mutex);
                if (stop) {
                    break;
                }
                vanish = vanishRequested;
            }
            if (vanish) {
                CloseLine();
            }
        }
        if (count == 2 && line.master.valid() && fds[1].revents != 0) {
            const ssize_t n = ::read(line.master.get(), buffer.data(), buffer.size());
            if (n > 0) {
                OnBytes({buffer.data(), static_cast<size_t>(n)});
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                CloseLine();  // the line is gone
            }
        }
    }
}

void BoxSim::Impl::OnBytes(std::span<const uint8_t> bytes) {
    bool paced = false;
    {
        std::lock_guard lock(mutex);
        paced = state.config.paced;
    }
    if (paced) {
        // The bytes are taken in only when the last of them would have finished arriving.
        rxFree = std::max(NowNs(), rxFree) + LineTimeNs(static_cast<int64_t>(bytes.size()));
        SleepUntilNs(rxFree);
    }
    const int64_t arrived = NowNs();
    std::vector<ReceivedFrame> done;
    bool vanish = false;
    std::function<void(const ReceivedFrame&)> notify;
    {
        std::lock_guard lock(mutex);
        received.insert(received.end(), bytes.begin(), bytes.end());
        pending.insert(pending.end(), bytes.begin(), bytes.end());
        done = Parse(vanish);
        frames.insert(frames.end(), done.begin(), done.end());
        paced = state.config.paced;
        notify = observer;
    }
    changed.notify_all();
    // The observer runs before the reply goes out, so a host holding a reply knows that the
    // observer has seen its request.
    for (const ReceivedFrame& frame : done) {
        if (notify) {
            notify(frame);
        }
        if (frame.delayMs > 0 && !frame.reply.empty()) {
            lateReplies.emplace(arrived + int64_t{frame.delayMs} * 1'000'000, frame.reply);
        } else {
            Send(frame.reply, paced);
        }
    }
    if (vanish) {
        CloseLine();
    }
}

std::vector<ReceivedFrame> BoxSim::Impl::Parse(bool& vanish) {
    std::vector<ReceivedFrame> out;
    size_t pos = 0;
    while (pos < pending.size()) {
        const std::span<const uint8_t> rest(pending.data() + pos, pending.size() - pos);
        const Split split = state.bootLoader ? SplitBootLoader(rest) : SplitFirmware(rest);
        if (split.kind == Split::More) {
            break;
        }
        if (split.kind == Split::Junk) {
            // Skipped bytes in a row make one entry.
            if (out.empty() || out.back().kind != FrameKind::Unparsed) {
                out.push_back({{}, FrameKind::Unparsed, {}});
            }
            out.back().bytes.push_back(rest[0]);
            ++pos;
            continue;
        }
        const auto request = rest.first(split.length);
        Handled handled =
            state.bootLoader ? HandleBootLoader(state, request) : HandleFirmware(state, request);
        pos += split.length;
        const bool late = state.config.delayed.empty() || handled.delayedQuery;
        out.push_back({{request.begin(), request.end()},
                       handled.kind,
                       ShapeReply(state, std::move(handled.reply)),
                       late ? state.config.replyDelayMs : 0});
        if (handled.vanish) {
            vanish = true;
            pos = pending.size();
            break;
        }
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(pos));
    return out;
}

void BoxSim::Impl::Send(const std::vector<uint8_t>& reply, bool paced) {
    if (reply.empty() || !line.master.valid()) {
        return;
    }
    if (!paced) {
        line.WriteAll(reply);
        return;
    }
    // Each byte goes out when it would have finished crossing the line; absolute deadlines
    // keep late wake-ups from adding up.
    const int64_t start = std::max(NowNs(), txFree);
    for (size_t i = 0; i < reply.size(); ++i) {
        SleepUntilNs(start + LineTimeNs(static_cast<int64_t>(i + 1)));
        line.WriteAll({&reply[i], 1});
    }
    txFree = start + LineTimeNs(static_cast<int64_t>(reply.size()));
}

void BoxSim::Impl::SendLateReplies() {
    bool paced = false;
    {
        std::lock_guard lock(mutex);
        paced = state.config.paced;
    }
    while (!lateReplies.empty() && lateReplies.begin()->first <= NowNs()) {
        Send(lateReplies.begin()->second, paced);
        lateReplies.erase(lateReplies.begin());
    }
}

int BoxSim::Impl::MsToNextLateReply() const {
    if (lateReplies.empty()) {
        return -1;
    }
    const int64_t ns = std::max<int64_t>(lateReplies.begin()->first - NowNs(), 0);
    return static_cast<int>((ns + 999'999) / 1'000'000);  // not before it is due
}

void BoxSim::Impl::CloseLine() {
    line.Close();
    lateReplies.clear();
    {
        std::lock_guard lock(mutex);
        state.lineClosed = true;
        vanishRequested = false;
        pending.clear();
    }
    changed.notify_all();
}

bool BoxSim::Impl::MakeLink(const std::string& path) {
    struct stat linkInfo {};
    if (lstat(path.c_str(), &linkInfo) == 0) {
        struct stat target {};
        const bool dangling = S_ISLNK(linkInfo.st_mode) && stat(path.c_str(), &target) != 0;
        if (!dangling || unlink(path.c_str()) != 0) {
            return false;
        }
    }
    if (symlink(line.slavePath.c_str(), path.c_str()) != 0) {
        return false;
    }
    std::lock_guard lock(mutex);
    links.push_back(path);
    return true;
}

std::unique_ptr<BoxSim> BoxSim::Start(const BoxConfig& config) {
    auto line = PtyLine::Open();
    if (!line) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->line = std::move(*line);
    impl->state.config = config;
    impl->state.bootLoader = config.startInBootLoader;
    ResetMemory(impl->state);
    try {
        impl->thread = std::thread([raw = impl.get()] { raw->Run(); });
    } catch (const std::system_error&) {
        return nullptr;
    }
    return std::unique_ptr<BoxSim>(new BoxSim(std::move(impl)));
}

BoxSim::BoxSim(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

BoxSim::~BoxSim() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stop = true;
    }
    impl_->line.Wake();
    if (impl_->thread.joinable()) {
        impl_->thread.join();
    }
    // Remove only links that still point at this box.
    for (const std::string& path : impl_->links) {
        std::error_code ec;
        if (std::filesystem::read_symlink(path, ec) == impl_->line.slavePath) {
            std::filesystem::remove(path, ec);
        }
    }
}

std::string BoxSim::slavePath() const {
    return impl_->line.slavePath;
}

bool BoxSim::LinkAs(const std::string& portsDir, int comNumber) {
    std::error_code ec;
    std::filesystem::create_directories(portsDir, ec);
    if (comNumber < 0 || comNumber > 255 || !std::filesystem::is_directory(portsDir, ec)) {
        return false;
    }
    return impl_->MakeLink(portsDir + "/COM" + std::to_string(comNumber));
}

std::optional<int> BoxSim::LinkAsFreeNumber(const std::string& portsDir, int first) {
    for (int n = std::max(first, 0); n <= 255; ++n) {
        if (LinkAs(portsDir, n)) {
            return n;
        }
    }
    return std::nullopt;
}

void BoxSim::SetConfig(const BoxConfig& config) {
    std::lock_guard lock(impl_->mutex);
    impl_->state.config = config;
    impl_->state.silenced = false;
}

BoxConfig BoxSim::config() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state.config;
}

std::vector<uint8_t> BoxSim::received() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

std::vector<ReceivedFrame> BoxSim::frames() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->frames;
}

void BoxSim::ClearReceived() {
    std::lock_guard lock(impl_->mutex);
    impl_->received.clear();
    impl_->frames.clear();
}

bool BoxSim::WaitForReceived(size_t count, int timeoutMs) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                   [&] { return impl_->received.size() >= count; });
}

uint8_t BoxSim::setting(uint8_t group, uint8_t item) const {
    std::lock_guard lock(impl_->mutex);
    if (group < 1 || group > kGroups || item >= kItems) {
        return 0;
    }
    return impl_->state.settings[group - 1u][item];
}

void BoxSim::SetSetting(uint8_t group, uint8_t item, uint8_t value) {
    std::lock_guard lock(impl_->mutex);
    if (group >= 1 && group <= kGroups && item < kItems) {
        impl_->state.settings[group - 1u][item] = value;
    }
}

uint16_t BoxSim::genlock(uint8_t item) const {
    std::lock_guard lock(impl_->mutex);
    return item < kGenlockItems ? impl_->state.genlock[item] : uint16_t{0};
}

void BoxSim::SetGenlock(uint8_t item, uint16_t value) {
    std::lock_guard lock(impl_->mutex);
    if (item < kGenlockItems) {
        impl_->state.genlock[item] = value;
    }
}

std::vector<uint8_t> BoxSim::flash() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state.flash;
}

uint32_t BoxSim::downloadAddress() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state.downloadAddress;
}

uint32_t BoxSim::downloadSize() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state.downloadSize;
}

bool BoxSim::inBootLoader() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state.bootLoader;
}

int BoxSim::resetCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state.resets;
}

void BoxSim::Vanish() {
    std::unique_lock lock(impl_->mutex);
    if (impl_->state.lineClosed) {
        return;
    }
    if (std::this_thread::get_id() == impl_->boxThread) {
        lock.unlock();
        impl_->CloseLine();  // from the frame observer
        return;
    }
    impl_->vanishRequested = true;
    impl_->line.Wake();
    impl_->changed.wait(lock, [&] { return impl_->state.lineClosed; });
}

void BoxSim::SetFrameObserver(std::function<void(const ReceivedFrame&)> observer) {
    std::lock_guard lock(impl_->mutex);
    impl_->observer = std::move(observer);
}

}  // namespace kestrow::sim
