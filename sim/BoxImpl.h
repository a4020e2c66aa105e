// The simulated box's inside, shared by its thread (BoxSim.cpp) and its line (BoxLine.cpp).
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "sim/BoxSim.h"
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
    uint64_t syncAsked = 0;  // WaitForQuiet's requests to take in what the host wrote
    uint64_t syncDone = 0;
    std::thread::id boxThread;

    // The box's thread only.
    int64_t rxFree = 0;  // when the last received byte finished arriving (paced)
    int64_t txFree = 0;  // when the last sent byte finished leaving (paced)
    std::multimap<int64_t, LateReply> lateReplies;  // by when they go out
    // A sync in flight: the marker the box wrote into the line behind the host's bytes, and the
    // bytes held back while it may be arriving.
    std::vector<uint8_t> marker;
    std::vector<uint8_t> inbox;
    uint64_t markers = 0;

    std::thread thread;

    // BoxSim.cpp: the thread, requests and replies.
    void Run();
    void OnBytes(std::span<const uint8_t> bytes);
    // Under the lock: the requests in `pending`, handled. `closeMs` is set to the LineClosed
    // fault's detail when one struck (the line then closes after the replies before it).
    std::vector<ReceivedFrame> Parse(std::optional<int>& closeMs);
    // Paced, the reply's bytes leave one line time apart from `readyNs` on (when the request's
    // last byte finished arriving, or a late reply fell due), or from when the last reply left.
    void Send(const std::vector<uint8_t>& reply, bool paced, uint64_t id, int64_t readyNs);
    void SendLateReplies();                   // those whose time has come
    [[nodiscard]] int MsToNextEvent() const;  // a late reply or the line's return; -1: none

    // BoxLine.cpp: the line closed and back, the COM links, syncs.
    void CloseLine(int backAfterMs);  // -1: for good
    void ReopenIfDue();
    bool PlaceLink(const std::string& path);  // under the lock
    void RemoveLinks();                       // under the lock
    // When a sync is asked for, writes a marker into the line behind what the host wrote.
    void StartSync();
    // Bytes read from the line: passed to OnBytes, but for a sync's marker, which ends it.
    void Take(std::span<const uint8_t> bytes);
    void EndSync();
};

}  // namespace kestrow::sim
