// The client side of a Telnet session that carries a serial line (RFC 854/855, BINARY of
// RFC 856, COM-PORT-OPTION of RFC 2217), without any socket: received bytes go in, device data
// and the replies the negotiation needs come out; data to send goes in, escaped bytes come out.
// The network port feeds it what the socket gave and sends what it answers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestrow::telnet {

inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kOptionBinary = 0;
inline constexpr uint8_t kOptionEcho = 1;
inline constexpr uint8_t kOptionSga = 3;
inline constexpr uint8_t kOptionComPort = 44;

// COM-PORT-OPTION commands from client to server; the server acknowledges each with the same
// command plus 100 and the value it applied.
enum class ComCommand : uint8_t {
    SetBaudrate = 1,
    SetDatasize = 2,
    SetParity = 3,
    SetStopsize = 4,
    SetControl = 5,
    PurgeData = 12,
};
inline constexpr uint8_t kServerOffset = 100;
inline constexpr uint8_t kParityNone = 1;
inline constexpr uint8_t kParityOdd = 2;
inline constexpr uint8_t kParityEven = 3;
inline constexpr uint8_t kStopsizeOne = 1;
inline constexpr uint8_t kStopsizeTwo = 2;
inline constexpr uint8_t kControlNoFlow = 1;
inline constexpr uint8_t kPurgeReceive = 1;

// Whether an option is on, per side: "local" is this client, "remote" the server.
struct OptionState {
    bool local = false;
    bool remote = false;
};

class Session {
  public:
    // What the client says first: WILL BINARY, DO BINARY, WILL SGA, DO SGA, WILL
    // COM-PORT-OPTION. Records them as asked, so that the server's agreement is not answered
    // again.
    [[nodiscard]] std::vector<uint8_t> Greeting();

    // Takes bytes as they came from the server, in any split (a command may end in the next
    // call). Device data (0xFF undoubled) is appended to `data`; answers to the server's
    // WILL/WONT/DO/DONT are appended to `replies`. Options other than BINARY, SGA and
    // COM-PORT-OPTION are refused (DONT/WONT); an option's state changes only answer once
    // (no loop of answers to answers, RFC 854's rule). COM-PORT-OPTION subnegotiations from the
    // server are recorded as acknowledgements; other subnegotiations and commands (NOP, GA,
    // DM, ...) are dropped. A subnegotiation longer than 64 bytes is cut, never grown without
    // bound.
    void Receive(std::span<const uint8_t> in, std::vector<uint8_t>& data,
                 std::vector<uint8_t>& replies);

    // Appends `in` to `out` with every 0xFF doubled.
    static void Escape(std::span<const uint8_t> in, std::vector<uint8_t>& out);

    // IAC SB 44 <command> <value, 0xFF doubled> IAC SE.
    [[nodiscard]] static std::vector<uint8_t> ComPortCommand(ComCommand command,
                                                             std::span<const uint8_t> value);

    [[nodiscard]] OptionState Option(uint8_t option) const;
    // The server said DONT COM-PORT-OPTION or WONT to it: it will not take line settings.
    [[nodiscard]] bool ComPortRefused() const { return comPortRefused_; }

    // The value of the last acknowledgement of `command` (the server's command + 100), no value
    // while none came since the last Forget.
    [[nodiscard]] std::optional<std::vector<uint8_t>> Acknowledged(ComCommand command) const;
    void ForgetAcknowledgements();

  private:
    enum class State : uint8_t { Data, Iac, Verb, Sub, SubIac };
    // The subnegotiation kept: option, command and value, at most this many bytes.
    static constexpr size_t kMaxSubnegotiation = 64;

    // The byte after an IAC outside a subnegotiation.
    void Command(uint8_t command);
    void Negotiate(uint8_t verb, uint8_t option, std::vector<uint8_t>& replies);
    void EndSubnegotiation();

    State state_ = State::Data;
    uint8_t verb_ = 0;
    std::vector<uint8_t> sub_;
    std::array<OptionState, 256> options_{};
    // What the client asked for and has no answer to yet (Greeting), per side.
    std::array<OptionState, 256> asked_{};
    // Refusals already sent for an option the client never uses, per side: sent once only.
    std::array<OptionState, 256> refused_{};
    bool comPortRefused_ = false;
    std::array<std::optional<std::vector<uint8_t>>, 256> acks_{};
};

}  // namespace kestrow::telnet
