// The simulated box: plays the Kestrow scaler on the master side of a pseudo-terminal, so the
// panel (or a test) opens the slave side as if it were the box's USB serial port. It runs the
// box's settings firmware and its boot loader, records every byte it receives, and misbehaves
// on request.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestrow::sim {

struct BoxConfig {
    // Running firmware.
    uint8_t portByte = 0x59;  // probe reply byte 3: input port code << 4 | output port code
    uint8_t modelByte = 0;    // probe reply byte 4
    // Not 0: a newer model, whose reply to (4,4) starts with this byte instead of 05 (true
    // gives 01).
    uint8_t newerModel = 0;
    std::string versionText = "V1.23.456";  // nine characters go out in the version reply
    bool silent = false;                    // answers nothing at all
    bool paced = false;  // bytes in both directions take their 115200 8-N-1 line time
    // Queries (group, item) that get no reply; once `silentFrom` is queried the box answers
    // nothing more until the config changes. A GenLock read counts as the query (0x49, item)
    // and the probe as (0x05, 0).
    std::set<std::pair<uint8_t, uint8_t>> unanswered;
    std::optional<std::pair<uint8_t, uint8_t>> silentFrom;
    // These two shape every reply, the boot loader's included.
    int shortReplyBytes = 0;  // > 0: every reply is cut to this many bytes
    bool garbage = false;     // replies carry the right length but random content

    // Boot loader.
    bool startInBootLoader = false;
    int nakBlock = -1;      // Send Data block k (0-based) gets 00 33 instead of 00 CC
    uint8_t status = 0x40;  // Get Status code for a good download; wrong address gives 43
    // Get Status reply byte 4; default: the status byte again.
    std::optional<uint8_t> statusLastByte;
    int vanishAtBlock = -1;   // closes the line when Send Data block k arrives
    bool bootSilent = false;  // the boot loader answers nothing

    // Late replies and a late bad status, for the tests of waits and of the final check.
    // Replies go out `replyDelayMs` after their request arrived: the replies to the queries in
    // `delayed` (named as in `unanswered`), or every reply when `delayed` is empty.
    int replyDelayMs = 0;
    std::set<std::pair<uint8_t, uint8_t>> delayed;
    // k >= 0: Get Status answers 40 until Send Data block k has arrived, `status` after it
    // (k the last block: the final Get Status of a flash write). -1: `status` throughout.
    int statusAfterBlock = -1;
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

// One request as the box understood it, for printing and for tests.
struct ReceivedFrame {
    std::vector<uint8_t> bytes;
    FrameKind kind = FrameKind::Unparsed;
    std::vector<uint8_t> reply;  // the bytes sent back (empty: no answer)
    int delayMs = 0;             // the reply went out this long after the request arrived
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

    // Closes the box's side of the line now, as if the cable were pulled.
    void Vanish();

    // Called on the box's thread for each request it understood, before its reply goes out
    // (the program prints them).
    void SetFrameObserver(std::function<void(const ReceivedFrame&)> observer);

  private:
    struct Impl;
    explicit BoxSim(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrow::sim
