// The simulated box's side of the line: a pseudo-terminal master, the slave kept open so the
// master never sees a hang-up, a wake-up pipe for the box's thread, and 115200 8-N-1 pacing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kestrow::sim {

// Owns one file descriptor.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

  private:
    int fd_ = -1;
};

// Monotonic clock in nanoseconds, and an absolute-time sleep on it.
[[nodiscard]] int64_t NowNs();
void SleepUntilNs(int64_t deadline);
// Line time of `bytes` bytes at 115200 baud, ten bits a byte.
[[nodiscard]] int64_t LineTimeNs(int64_t bytes);

struct PtyLine {
    UniqueFd master;
    UniqueFd slave;
    std::string slavePath;
    UniqueFd wakeRead;
    UniqueFd wakeWrite;

    // Opens the pair (raw, 115200, master non-blocking) and the wake-up pipe.
    [[nodiscard]] static std::optional<PtyLine> Open();
    // A new pair in place of a closed one (the adapter plugged in again); the pipe stays.
    [[nodiscard]] bool Reopen();

    void Wake() const;
    void DrainWake() const;
    // Writes all bytes unless the line is gone or the other side stopped reading for a while.
    void WriteAll(std::span<const uint8_t> bytes) const;
    // Writes bytes into the line from the host's side, behind whatever the host wrote before;
    // false when they did not all go in.
    [[nodiscard]] bool WriteAsHost(std::span<const uint8_t> bytes) const;
    void Close();  // closes master and slave: the cable is pulled
};

}  // namespace kestrow::sim
