#include "serial/TelnetSession.h"

namespace kestrow::telnet {
namespace {

// The options this client uses, in both directions.
bool Supported(uint8_t option) {
    return option == kOptionBinary || option == kOptionSga || option == kOptionComPort;
}

void Put(std::vector<uint8_t>& out, uint8_t verb, uint8_t option) {
    out.insert(out.end(), {kIac, verb, option});
}

}  // namespace

std::vector<uint8_t> Session::Greeting() {
    std::vector<uint8_t> out;
    for (const uint8_t option : {kOptionBinary, kOptionSga}) {
        Put(out, kWill, option);
        Put(out, kDo, option);
        asked_[option] = {true, true};
    }
    Put(out, kWill, kOptionComPort);
    asked_[kOptionComPort].local = true;
    return out;
}

void Session::Receive(std::span<const uint8_t> in, std::vector<uint8_t>& data,
                      std::vector<uint8_t>& replies) {
    for (const uint8_t byte : in) {
        switch (state_) {
            case State::Data:
                if (byte == kIac) {
                    state_ = State::Iac;
                } else {
                    data.push_back(byte);
                }
                break;
            case State::Iac:
                if (byte == kIac) {
                    data.push_back(kIac);
                    state_ = State::Data;
                } else {
                    Command(byte);
                }
                break;
            case State::Verb:
                Negotiate(verb_, byte, replies);
                state_ = State::Data;
                break;
            case State::Sub:
                if (byte == kIac) {
                    state_ = State::SubIac;
                } else if (sub_.size() < kMaxSubnegotiation) {
                    sub_.push_back(byte);
                }
                break;
            case State::SubIac:
                if (byte == kIac) {
                    if (sub_.size() < kMaxSubnegotiation) {
                        sub_.push_back(kIac);
                    }
                    state_ = State::Sub;
                } else if (byte == kSe) {
                    EndSubnegotiation();
                    state_ = State::Data;
                } else {
                    // IAC and neither IAC nor SE: the SE was left off or a command came inside the
                    // subnegotiation. Its partial value is dropped and the byte taken as a command,
                    // so that a lost SE does not swallow the negotiation that follows.
                    sub_.clear();
                    Command(byte);
                }
                break;
        }
    }
}

void Session::Command(uint8_t command) {
    if (command == kWill || command == kWont || command == kDo || command == kDont) {
        verb_ = command;
        state_ = State::Verb;
    } else if (command == kSb) {
        sub_.clear();
        state_ = State::Sub;
    } else {
        state_ = State::Data;  // SE outside SB, NOP, DM, BRK, IP, AO, AYT, EC, EL, GA, unknown
    }
}

void Session::Negotiate(uint8_t verb, uint8_t option, std::vector<uint8_t>& replies) {
    // WILL and WONT are about the server's side, DO and DONT about this client's.
    const bool remoteSide = verb == kWill || verb == kWont;
    const bool enable = verb == kWill || verb == kDo;
    bool OptionState::*side = remoteSide ? &OptionState::remote : &OptionState::local;
    bool& on = options_[option].*side;
    bool& asked = asked_[option].*side;
    const uint8_t agree = remoteSide ? kDo : kWill;
    const uint8_t refuse = remoteSide ? kDont : kWont;

    if (!enable) {
        if (option == kOptionComPort) {
            comPortRefused_ = true;
        }
        asked = false;  // the refusal of what this client asked needs no answer
        if (on) {
            on = false;
            Put(replies, refuse, option);
        }
        return;  // an option already off is never answered (RFC 854)
    }
    if (!Supported(option)) {
        bool& refused = refused_[option].*side;
        if (!refused) {
            refused = true;
            Put(replies, refuse, option);
        }
        return;
    }
    if (on) {
        return;  // already in that state
    }
    on = true;
    if (asked) {
        asked = false;  // the agreement to what this client asked
    } else {
        Put(replies, agree, option);
    }
}

void Session::EndSubnegotiation() {
    if (sub_.size() >= 2 && sub_[0] == kOptionComPort && sub_[1] >= kServerOffset) {
        acks_[static_cast<size_t>(sub_[1] - kServerOffset)].emplace(sub_.begin() + 2, sub_.end());
    }
    sub_.clear();
}

void Session::Escape(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
    for (const uint8_t byte : in) {
        out.push_back(byte);
        if (byte == kIac) {
            out.push_back(kIac);
        }
    }
}

std::vector<uint8_t> Session::ComPortCommand(ComCommand command, std::span<const uint8_t> value) {
    std::vector<uint8_t> out{kIac, kSb, kOptionComPort, static_cast<uint8_t>(command)};
    Escape(value, out);
    out.insert(out.end(), {kIac, kSe});
    return out;
}

OptionState Session::Option(uint8_t option) const {
    return options_[option];
}

std::optional<std::vector<uint8_t>> Session::Acknowledged(ComCommand command) const {
    return acks_[static_cast<uint8_t>(command)];
}

void Session::ForgetAcknowledgements() {
    acks_.fill(std::nullopt);
}

}  // namespace kestrow::telnet
