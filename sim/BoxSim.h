// The simulated box: plays the Kestrow scaler on the master side of a pseudo-terminal, so the
// panel (or a test) opens the slave side as if it were the box's USB serial port. It runs the
// box's settings firmware and its boot loader, records every byte it receives, and misbehaves
// on request: faults named one by one, or drawn at random from a seed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrow::sim {

// What the box did to a reply, or in its place. At most one fault strikes a request.
enum class Fault : uint8_t {
    None,
    Dropped,     // the reply was not sent
    LostByte,    // one byte was left out (detail: its position), the rest sent
    Cut,         // only the first `detail` bytes were sent
    Late,        // sent `detail` ms after the request arrived
    Garbled,     // sent with its length but random content
    LineClosed,  // the request was acted on, then the line closed without a reply (detail: ms
                 // until the same COM link is back, -1 never)
    Restarted,   // a Send Data block: the boot loader restarted into the running firmware
                 // instead of writing it
    Nak,         // a Send Data block answered 00 33 and not written
    BadStatus,   // Get Status answered the code `detail` instead of its own
};
inline constexpr size_t kFaultKinds = 10;

// "drop", "lose-byte", "cut", "late", "garble", "close", "restart", "nak", "bad-status"; "none".
[[nodiscard]] std::string_view FaultName(Fault fault);
[[nodiscard]] std::optional<Fault> FaultNamed(std::string_view name);

// When a fault strikes: with `probability` at each request it can apply to, and at the chosen
// frame numbers (requests counted from 0 since the box started or its config last changed).
// Restarted and Nak apply to Send Data blocks, BadStatus to Get Status, LineClosed to every
// request, the others to every request that has a reply.
struct FaultRule {
    double probability = 0;
    std::set<int> atFrames;
};

// The faults a box plays, reproducible: one draw from `seed`'s generator for each request, so
// the same requests in the same order meet the same faults.
struct FaultPlan {
    uint64_t seed = 1;
    std::array<FaultRule, kFaultKinds> rules{};  // by Fault; probabilities add up to 1 at most
    int cutBytes = -1;         // bytes a cut reply keeps; -1: 1 to length - 1 at random
    int lateMs = 2000;         // how long after its request a late reply goes out
    int backAfterMs = 1000;    // a closed line comes back this long after; -1: never
    uint8_t badStatus = 0x41;  // the code of a bad status

    FaultRule& operator[](Fault fault) { return rules[static_cast<size_t>(fault)]; }
    const FaultRule& operator[](Fault fault) const { return rules[static_cast<size_t>(fault)]; }
};

// The boot loader drops a packet left unfinished for this long and starts afresh.
inline constexpr int kBootLoaderReceiveTimeoutMs = 200;

struct BoxConfig {  // every member initialized: a test may name only the ones it sets
    // Running firmware.
    uint8_t portByte = 0x59;  // probe reply byte 3: input port code << 4 | output port code
    uint8_t modelByte = 0;    // probe reply byte 4
    // Not 0: a newer model, whose reply to (4,4) starts with this byte instead of 05 (true
    // gives 01).
    uint8_t newerModel = 0;
    std::string versionText = "V1.23.456";  // nine characters go out in the version reply
    bool silent = false;                    // answers nothing at all
    bool paced = false;  // bytes in both directions take their 115200 8-N-1 line time
    // Queries (group, item) whose reply is dropped; once `silentFrom` is queried the box answers
    // nothing more until the config changes. A GenLock read counts as the query (0x49, item)
    // and the probe as (0x05, 0).
    std::set<std::pair<uint8_t, uint8_t>> unanswered{};
    std::optional<std::pair<uint8_t, uint8_t>> silentFrom{};
    // These two shape every reply, the boot loader's included.
    int shortReplyBytes = 0;  // > 0: every reply is cut to this many bytes
    bool garbage = false;     // replies carry the right length but random content (when not cut)

    // Boot loader.
    bool startInBootLoader = false;
    int nakBlock = -1;      // Send Data block k (0-based) gets 00 33 instead of 00 CC
    uint8_t status = 0x40;  // Get Status code for a good download; wrong address gives 43
    // Get Status reply byte 4; default: the status byte again.
    std::optional<uint8_t> statusLastByte{};
    int vanishAtBlock = -1;   // closes the line for good when Send Data block k arrives
    bool bootSilent = false;  // the boot loader answers nothing

    // Late replies and a late bad status, for the tests of waits and of the final check.
    // Replies go out `replyDelayMs` after their request arrived: the replies to the queries in
    // `delayed` (named as in `unanswered`), or every reply when `delayed` is empty.
    int replyDelayMs = 0;
    std::set<std::pair<uint8_t, uint8_t>> delayed{};
    // k >= 0: Get Status answers 40 until Send Data block k has arrived, `status` after it
    // (k the last block: the final Get Status of a flash write). -1: `status` throughout.
    int statusAfterBlock = -1;

    // Faults at random or at chosen requests. The settings above take precedence: a reply they
    // already shape meets no other fault.
    FaultPlan faults{};
};

// What the box made of a run of received bytes.
enum class FrameKind {
    Settings,     // a settings frame of the running firmware (n, 6C, 93, opcode, ..., checksum)
    BootPacket,   // a boot loader packet (length, checksum, command, payload)
    BadChecksum,  // a whole frame or packet whose checksum is wrong
    HostAck,      // the single CC the host sends to the boot loader
    BootRequest,  // 88 99 06 FE
    Unparsed,     // bytes the box skipped while looking for the start of a request
};

// One request as the box understood it, for printing, for tests and for an oracle that must
// tell a reply the box spoiled from one the host mishandled.
struct ReceivedFrame {
    std::vector<uint8_t> bytes;
    FrameKind kind = FrameKind::Unparsed;
    std::vector<uint8_t> reply;     // the bytes sent back (empty: no answer)
    int number = -1;                // frame number as FaultRule counts them; -1 for skipped bytes
    Fault fault = Fault::None;      // what the box did to the reply
    int faultDetail = 0;            // see Fault
    std::vector<uint8_t> intended;  // the reply before the fault (empty without one)
    // Steady clock (CLOCK_MONOTONIC) in ns: when the request's first byte arrived, and when the
    // reply's last byte left (0: nothing went out).
    int64_t arrivedNs = 0;
    int64_t repliedNs = 0;
};

class BoxSim {
  public:
    // Opens a pseudo-terminal and starts the box's thread. Null when no pseudo-terminal could
    // be had.
    [[nodiscard]] static std::unique_ptr<BoxSim> Start(const BoxConfig& config);
    ~BoxSim();  // stops the thread, closes the pseudo-terminal, removes the link it made
    BoxSim(const BoxSim&) = delete;
    BoxSim& operator=(const BoxSim&) = delete;

    // The slave side's device path (/dev/pts/N).
    [[nodiscard]] std::string slavePath() const;
    // Links the slave as <portsDir>/COM<n>; false when the link could not be made.
    [[nodiscard]] bool LinkAs(const std::string& portsDir, int comNumber);
    // Links as the lowest free COM number from `first` up; the number, or no value.
    [[nodiscard]] std::optional<int> LinkAsFreeNumber(const std::string& portsDir, int first = 200);

    void SetConfig(const BoxConfig& config);
    [[nodiscard]] BoxConfig config() const;

    // Every byte received, in order, and the same split into requests.
    [[nodiscard]] std::vector<uint8_t> received() const;
    [[nodiscard]] std::vector<ReceivedFrame> frames() const;
    void ClearReceived();
    // Blocks (up to timeoutMs) until at least `count` bytes were received.
    bool WaitForReceived(size_t count, int timeoutMs) const;
    // Blocks (up to timeoutMs) until the box has taken in every byte the host wrote before the
    // call, its line is open and no late reply waits to go out; true then. A line closed for
    // good gives false.
    bool WaitForQuiet(int timeoutMs) const;

    // Settings memory: groups 1..4, items 0..15. GenLock registers 0..5.
    [[nodiscard]] uint8_t setting(uint8_t group, uint8_t item) const;
    void SetSetting(uint8_t group, uint8_t item, uint8_t value);
    [[nodiscard]] uint16_t genlock(uint8_t item) const;
    void SetGenlock(uint8_t item, uint16_t value);

    // Boot loader state: the flash image written by Send Data since the last Download,
    // the Download's address and size, and whether the boot loader is running.
    [[nodiscard]] std::vector<uint8_t> flash() const;
    [[nodiscard]] uint32_t downloadAddress() const;
    [[nodiscard]] uint32_t downloadSize() const;
    [[nodiscard]] bool inBootLoader() const;
    [[nodiscard]] int resetCount() const;

    // Closes the box's side of the line now and removes its COM links, as if the cable were
    // pulled. A line closed by the fault LineClosed comes back later under the same links, on a
    // new pseudo-terminal, with memory and flash kept.
    void Vanish();
    [[nodiscard]] bool lineOpen() const;

    // Called on the box's thread for each request it understood, before its reply goes out
    // (the program prints them).
    void SetFrameObserver(std::function<void(const ReceivedFrame&)> observer);

  private:
    struct Impl;
    explicit BoxSim(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrow::sim
