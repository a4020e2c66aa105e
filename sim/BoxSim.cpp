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
    struct LateReply {
        std::vector<uint8_t> bytes;
        uint64_t id = 0;  // the frame it answers
    };

    PtyLine line;  // the fds are used by the box's thread only, once it runs

    mutable std::mutex mutex;
    mutable std::condition_variable changed;  // bytes recorded, line closed or back, reply sent
    BoxState state;
    std::string slavePath;  // the line's slave now (it changes when a closed line comes back)
    std::vector<uint8_t> received;
    std::vector<ReceivedFrame> frames;
    uint64_t framesCleared = 0;      // frames removed by ClearReceived: ids of frames[i] follow it
    std::vector<uint8_t> pending;    // received, not yet taken as a request
    std::vector<int64_t> pendingNs;  // when each pending byte arrived
    std::function<void(const ReceivedFrame&)> observer;
    std::vector<std::string> links;
    bool stop = false;
    bool vanishRequested = false;
    size_t lateWaiting = 0;  // late replies not sent yet
    int64_t reopenAt = 0;    // a closed line comes back at this time; 0: it does not
    std::thread::id boxThread;

    // The box's thread only.
    int64_t rxFree = 0;  // when the last received byte finished arriving (paced)
    int64_t txFree = 0;  // when the last sent byte finished leaving (paced)
    std::multimap<int64_t, LateReply> lateReplies;  // by when they go out

    std::thread thread;

    void Run();
    void OnBytes(std::span<const uint8_t> bytes);
    // Under the lock: the requests in `pending`, handled. `closeMs` is set to the LineClosed
    // fault's detail when one struck (the line then closes after the replies before it).
    std::vector<ReceivedFrame> Parse(std::optional<int>& closeMs);
    void Send(const std::vector<uint8_t>& reply, bool paced, uint64_t id);
    void SendLateReplies();                   // those whose time has come
    [[nodiscard]] int MsToNextEvent() const;  // a late reply or the line's return; -1: none
    void CloseLine(int backAfterMs);          // -1: for good
    void ReopenIfDue();
    bool PlaceLink(const std::string& path);  // under the lock
    void RemoveLinks();                       // under the lock
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
        const int ready = poll(fds.data(), count, MsToNextEvent());
        if (ready < 0 && errno != EINTR) {
            break;
        }
        SendLateReplies();
        ReopenIfDue();
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
                CloseLine(-1);
            }
        }
        if (count == 2 && line.master.valid() && fds[1].revents != 0) {
            const ssize_t n = ::read(line.master.get(), buffer.data(), buffer.size());
            if (n > 0) {
                OnBytes({buffer.data(), static_cast<size_t>(n)});
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                CloseLine(-1);  // the line is gone
            }
        }
    }
}

void BoxSim::Impl::OnBytes(std::span<const uint8_t> bytes) {
    const int64_t arrived = NowNs();
    bool paced = false;
    {
        std::lock_guard lock(mutex);
        paced = state.config.paced;
    }
    if (paced) {
        // The bytes are taken in only when the last of them would have finished arriving.
        rxFree = std::max(arrived, rxFree) + LineTimeNs(static_cast<int64_t>(bytes.size()));
        SleepUntilNs(rxFree);
    }
    std::vector<ReceivedFrame> done;
    uint64_t firstId = 0;
    std::optional<int> closeMs;
    std::function<void(const ReceivedFrame&)> notify;
    {
        std::lock_guard lock(mutex);
        received.insert(received.end(), bytes.begin(), bytes.end());
        pending.insert(pending.end(), bytes.begin(), bytes.end());
        pendingNs.insert(pendingNs.end(), bytes.size(), arrived);
        firstId = framesCleared + frames.size();
        done = Parse(closeMs);
        frames.insert(frames.end(), done.begin(), done.end());
        paced = state.config.paced;
        notify = observer;
    }
    changed.notify_all();
    // The observer runs before the reply goes out, so a host holding a reply knows that the
    // observer has seen its request.
    for (size_t i = 0; i < done.size(); ++i) {
        const ReceivedFrame& frame = done[i];
        if (notify) {
            notify(frame);
        }
        if (frame.fault == Fault::Late && !frame.reply.empty()) {
            const int64_t due = frame.arrivedNs + int64_t{frame.faultDetail} * 1'000'000;
            lateReplies.emplace(due, LateReply{frame.reply, firstId + i});
            std::lock_guard lock(mutex);
            ++lateWaiting;
        } else {
            Send(frame.reply, paced, firstId + i);
        }
    }
    if (closeMs) {
        CloseLine(*closeMs);
    }
}

std::vector<ReceivedFrame> BoxSim::Impl::Parse(std::optional<int>& closeMs) {
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
                out.push_back({});
                out.back().arrivedNs = pendingNs[pos];
            }
            out.back().bytes.push_back(rest[0]);
            ++pos;
            continue;
        }
        const auto request = rest.first(split.length);
        const int number = state.frameNumber++;
        const Fault drawn = DrawFault(state, number);
        Handled handled = state.bootLoader ? HandleBootLoader(state, request, drawn)
                                           : HandleFirmware(state, request);
        ShapeReply(state, handled, drawn);
        ReceivedFrame& frame = out.emplace_back();
        frame.bytes.assign(request.begin(), request.end());
        frame.kind = handled.kind;
        frame.reply = std::move(handled.reply);
        frame.number = number;
        frame.fault = handled.fault;
        frame.faultDetail = handled.detail;
        frame.intended = std::move(handled.intended);
        frame.arrivedNs = pendingNs[pos];
        pos += split.length;
        if (handled.fault == Fault::LineClosed) {
            closeMs = handled.detail;
            pos = pending.size();  // what followed it is lost with the line
            break;
        }
    }
    const auto taken = static_cast<std::ptrdiff_t>(pos);
    pending.erase(pending.begin(), pending.begin() + taken);
    pendingNs.erase(pendingNs.begin(), pendingNs.begin() + taken);
    return out;
}

void BoxSim::Impl::Send(const std::vector<uint8_t>& reply, bool paced, uint64_t id) {
    if (reply.empty() || !line.master.valid()) {
        return;
    }
    // Each paced byte goes out when it would have finished crossing the line; absolute
    // deadlines keep late wake-ups from adding up.
    const int64_t start = paced ? std::max(NowNs(), txFree) : NowNs();
    const int64_t last = paced ? start + LineTimeNs(static_cast<int64_t>(reply.size())) : start;
    {
        std::lock_guard lock(mutex);
        if (id >= framesCleared && id - framesCleared < frames.size()) {
            frames[id - framesCleared].repliedNs = last;
        }
    }
    if (!paced) {
        line.WriteAll(reply);
        return;
    }
    for (size_t i = 0; i < reply.size(); ++i) {
        SleepUntilNs(start + LineTimeNs(static_cast<int64_t>(i + 1)));
        line.WriteAll({&reply[i], 1});
    }
    txFree = last;
}

void BoxSim::Impl::SendLateReplies() {
    bool paced = false;
    {
        std::lock_guard lock(mutex);
        paced = state.config.paced;
    }
    bool sent = false;
    while (!lateReplies.empty() && lateReplies.begin()->first <= NowNs()) {
        const LateReply& late = lateReplies.begin()->second;
        Send(late.bytes, paced, late.id);
        lateReplies.erase(lateReplies.begin());
        std::lock_guard lock(mutex);
        --lateWaiting;
        sent = true;
    }
    if (sent) {
        changed.notify_all();
    }
}

int BoxSim::Impl::MsToNextEvent() const {
    int64_t next = lateReplies.empty() ? 0 : lateReplies.begin()->first;
    {
        std::lock_guard lock(mutex);
        if (reopenAt != 0 && (next == 0 || reopenAt < next)) {
            next = reopenAt;
        }
    }
    if (next == 0) {
        return -1;
    }
    const int64_t ns = std::max<int64_t>(next - NowNs(), 0);
    return static_cast<int>((ns + 999'999) / 1'000'000);  // not before it is due
}

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

std::unique_ptr<BoxSim> BoxSim::Start(const BoxConfig& config) {
    auto line = PtyLine::Open();
    if (!line) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->line = std::move(*line);
    impl->slavePath = impl->line.slavePath;
    impl->state.config = config;
    impl->state.bootLoader = config.startInBootLoader;
    ResetMemory(impl->state);
    ResetFaults(impl->state);
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
    std::lock_guard lock(impl_->mutex);
    impl_->RemoveLinks();  // only those that still point at this box
}

std::string BoxSim::slavePath() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->slavePath;
}

bool BoxSim::LinkAs(const std::string& portsDir, int comNumber) {
    std::error_code ec;
    std::filesystem::create_directories(portsDir, ec);
    if (comNumber < 0 || comNumber > 255 || !std::filesystem::is_directory(portsDir, ec)) {
        return false;
    }
    const std::string path = portsDir + "/COM" + std::to_string(comNumber);
    std::lock_guard lock(impl_->mutex);
    if (!impl_->PlaceLink(path)) {
        return false;
    }
    impl_->links.push_back(path);
    return true;
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
    ResetFaults(impl_->state);
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
    impl_->framesCleared += impl_->frames.size();
    impl_->frames.clear();
}

bool BoxSim::WaitForReceived(size_t count, int timeoutMs) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                   [&] { return impl_->received.size() >= count; });
}

bool BoxSim::WaitForQuiet(int timeoutMs) const {
    std::unique_lock lock(impl_->mutex);
    const auto quiet = [&] { return !impl_->state.lineClosed && impl_->lateWaiting == 0; };
    impl_->changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), [&] {
        return quiet() || (impl_->state.lineClosed && impl_->reopenAt == 0);
    });
    return quiet();
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
        impl_->reopenAt = 0;  // for good
        return;
    }
    if (std::this_thread::get_id() == impl_->boxThread) {
        lock.unlock();
        impl_->CloseLine(-1);  // from the frame observer
        return;
    }
    impl_->vanishRequested = true;
    impl_->line.Wake();
    impl_->changed.wait(lock, [&] { return impl_->state.lineClosed; });
}

bool BoxSim::lineOpen() const {
    std::lock_guard lock(impl_->mutex);
    return !impl_->state.lineClosed;
}

void BoxSim::SetFrameObserver(std::function<void(const ReceivedFrame&)> observer) {
    std::lock_guard lock(impl_->mutex);
    impl_->observer = std::move(observer);
}

}  // namespace kestrow::sim
