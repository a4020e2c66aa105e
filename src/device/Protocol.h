// The box's settings protocol in numbers, each named once: the frame's sync bytes, the opcodes,
// the groups of settings, the items with a meaning of their own, the GenLock registers and the
// shape of a reply. The settings table (settings/Settings.cpp) holds the items of the ordinary
// settings as data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrow::protocol {

// Every request: its length, the two sync bytes, the opcode, the operands, the checksum.
inline constexpr uint8_t kSync1 = 0x6C;
inline constexpr uint8_t kSync2 = 0x93;  // the complement of kSync1

// Opcodes.
inline constexpr uint8_t kWriteSetting = 0x00;  // group, item, value
inline constexpr uint8_t kReadSetting = 0x01;   // group, item
inline constexpr uint8_t kProbe = 0x05;         // no operands
inline constexpr uint8_t kGenlock = 0x49;       // register; to write it also high and low byte

// The reply to a read and to the probe: 5 bytes, byte 0 the reply's length 05, the value in
// byte 3 (a GenLock register's 16 bits in bytes 3 and 4, high byte first). The probe's reply
// carries the port byte and the model byte there.
inline constexpr size_t kReplyBytes = 5;
inline constexpr uint8_t kReplyLength = 0x05;
inline constexpr size_t kReplyValue = 3;
inline constexpr size_t kReplyPortByte = 3;
inline constexpr size_t kReplyModelByte = 4;

// The groups of settings, by the dialog that writes them.
inline constexpr uint8_t kGroupOutput = 1;
inline constexpr uint8_t kGroupImage = 2;
inline constexpr uint8_t kGroupAdjustment = 3;
inline constexpr uint8_t kGroupSystem = 4;

// An item of the Output group with a meaning of its own.
inline constexpr uint8_t kItemOutputResolution = 1;

// The items of the System group. Several serve more than one purpose, by direction and by the
// box's generation (an older model answers the model question with a reply of length 05).
inline constexpr uint8_t kItemInputTiming = 1;  // read: the input port and timing
// The clock mode (model byte 1), a newer model's auto-sleep time; an older model's system
// setting A.
inline constexpr uint8_t kItemSystemSetting = 2;
// Read: an older model's version text; a newer model's system setting A.
inline constexpr uint8_t kItemVersionOlder = 3;
inline constexpr uint8_t kItemSettingNewer = 3;
// Read: the model question and a newer model's version text.
inline constexpr uint8_t kItemModelQuestion = 4;
inline constexpr uint8_t kItemVersionNewer = 4;
// Written with kFactoryResetValue: the factory reset, item 5 from a newer model's dialog.
inline constexpr uint8_t kItemFactoryReset = 4;
inline constexpr uint8_t kItemFactoryResetNewer = 5;
inline constexpr uint8_t kFactoryResetValue = 1;

// The GenLock registers (opcode kGenlock): the sync delays are written to one register, read
// from another, within the period a third holds.
inline constexpr uint8_t kGenlockHDelay = 0;
inline constexpr uint8_t kGenlockVDelay = 1;
inline constexpr uint8_t kGenlockHDelayRead = 2;
inline constexpr uint8_t kGenlockVDelayRead = 3;
inline constexpr uint8_t kGenlockHPeriod = 4;
inline constexpr uint8_t kGenlockVPeriod = 5;

}  // namespace kestrow::protocol
