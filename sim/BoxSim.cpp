// The simulated box's thread and its public face. The thread waits on the pseudo-terminal
// master and a wake-up pipe, splits what arrives into requests, answers them and records them.
#include "sim/BoxSim.h"

#include <poll.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "sim/BoxImpl.h"

namespace kestrow::sim {

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
            StartSync();
        }
        if (count == 2 && line.master.valid() && fds[1].revents != 0) {
            const ssize_t n = ::read(line.master.get(), buffer.data(), buffer.size());
            if (n > 0) {
                Take({buffer.data(), static_cast<size_t>(n)});
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
        if (state.bootLoader && !pending.empty() &&
            arrived - pendingNs.back() > int64_t{kBootLoaderReceiveTimeoutMs} * 1'000'000) {
            // The boot loader starts afresh on a packet left unfinished for a while (a host
            // that went away mid-packet), as a UART boot loader's receive time-out does.
            ReceivedFrame& stale = frames.emplace_back();
            stale.bytes = pending;
            stale.arrivedNs = pendingNs.front();
            pending.clear();
            pendingNs.clear();
        }
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
            Send(frame.reply, paced, firstId + i, paced ? rxFree : arrived);
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

void BoxSim::Impl::Send(const std::vector<uint8_t>& reply, bool paced, uint64_t id,
                        int64_t readyNs) {
    if (reply.empty() || !line.master.valid()) {
        return;
    }
    if (!paced) {
        line.WriteAll(reply);
    } else {
        // Each byte goes out when it would have finished crossing the line; absolute deadlines
        // keep late wake-ups from adding up. The first starts when the box was ready to send,
        // not when this thread woke from the wait for the request: a box's UART answers at once,
        // and the thread's own lateness (a tenth of a millisecond, several under load) would
        // otherwise add to every exchange.
        const int64_t start = std::max(readyNs, txFree);
        for (size_t i = 0; i < reply.size(); ++i) {
            SleepUntilNs(start + LineTimeNs(static_cast<int64_t>(i + 1)));
            line.WriteAll({&reply[i], 1});
        }
        txFree = start + LineTimeNs(static_cast<int64_t>(reply.size()));
    }
    // When the last byte really left: a wake-up of this thread that came late is the box's
    // delay, not the host's.
    const int64_t left = NowNs();
    std::lock_guard lock(mutex);
    if (id >= framesCleared && id - framesCleared < frames.size()) {
        frames[id - framesCleared].repliedNs = left;
    }
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
        Send(late.bytes, paced, late.id, lateReplies.begin()->first);
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
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    std::unique_lock lock(impl_->mutex);
    const uint64_t ticket = ++impl_->syncAsked;
    impl_->line.Wake();
    impl_->changed.wait_until(lock, deadline, [&] { return impl_->syncDone >= ticket; });
    const auto quiet = [&] { return !impl_->state.lineClosed && impl_->lateWaiting == 0; };
    impl_->changed.wait_until(lock, deadline, [&] {
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
