// The table of settings that a dialog can write, as plain data: the name kestrowctl and the
// settings file use, the dialog's label, the command (group, item), the range the label states
// or the choices its list offers, the offset between the shown value and the byte on the wire,
// and the dialog (template) that writes it. Beside it, the rules that make a choice list depend
// on the box (output port, input port, model) and the conversions between shown values and
// bytes, so that the dialogs and kestrowctl send exactly the same frames.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/DeviceLink.h"
#include "settings/BoxFacts.h"
#include "settings/NameTables.h"

namespace kestrow {

enum class SettingKind {
    Number,   // a signed or unsigned number; byte = shown + offset
    Choice,   // an entry of a list; what goes out is given by the list's rule
    Genlock,  // a GenLock sync delay, shown signed around zero within its period
};

// Where a choice list comes from.
enum class ChoiceRule {
    Fixed,             // `choices`, the index is sent and stored
    OutputResolution,  // by output port code; each entry carries its resolution code
    OutputMode,        // colour spaces by output port code; some entries send another value
    ClockMode,         // lock modes by input port code (template-201 System dialog)
};

// When the box offers a setting at all (the dialog shows its row).
enum class Availability {
    Always,
    AudioSource,  // port byte 0x95, 0x15 or 0x05: HDMI out fed from VGA, DVI or Component
    EdidAudio,    // input port code 5 (HDMI)
    ClockMode,    // model byte 1: the template-201 System dialog
    AutoSleep,    // a newer model whose model byte is not 1: the template-200 System dialog
};

struct SettingInfo {
    std::string_view name;   // "contrast", "h-shift", ...
    std::string_view label;  // the dialog's label text
    int dialog = 0;          // template id of the dialog that writes it
    uint8_t group = 0;       // write command; GenLock: the register written
    uint8_t item = 0;
    SettingKind kind = SettingKind::Number;
    int minimum = 0;  // Number: the range the label states, as shown
    int maximum = 0;
    int offset = 0;  // Number: byte = shown + offset
    ChoiceRule rule = ChoiceRule::Fixed;
    const NameTable* choices = nullptr;  // ChoiceRule::Fixed
    Availability availability = Availability::Always;
    uint8_t readItem = 0;    // GenLock: the register that holds the delay
    uint8_t periodItem = 0;  // GenLock: the register that holds the period
};

// Every setting, in dialog order: Output Setup, Image, Adjustment, System, GenLock.
[[nodiscard]] std::span<const SettingInfo> AllSettings();
// The setting with this name (exact, lower case), or null.
[[nodiscard]] const SettingInfo* FindSetting(std::string_view name);

// Whether the setting's dialog shows its row for this box.
[[nodiscard]] bool Available(const SettingInfo& setting, const BoxFacts& box);
// Whether the panel offers the setting on this box at all: its row is available and its dialog
// is reached. The GenLock dialog (208) opens only from the template-201 System dialog, which the
// System button opens for model byte 1.
[[nodiscard]] bool Offered(const SettingInfo& setting, const BoxFacts& box);

// The item the factory reset writes (value 1) from the System dialog that the System button
// opens for this box: 5 for a newer model's template-200 dialog, else 4. (The template-201
// dialog always writes item 4, also when it is opened for another model.)
[[nodiscard]] uint8_t FactoryResetItem(const BoxFacts& box);

// One entry of a choice list: its text, the byte Apply sends and the byte it stores.
struct Choice {
    std::string_view text;
    uint8_t sent = 0;
    uint8_t stored = 0;
};

// The list a choice setting offers for this box, in drop-down order.
[[nodiscard]] std::vector<Choice> ChoicesFor(const SettingInfo& setting, const BoxFacts& box);

// The entry whose text is `text`, the letters' case aside; else the one entry whose short form
// is `text`: a list text "SD(...)..." or "HD(...)..." without "SD(" or "HD(" and its ")", so
// "1080p60" names "HD(1080p)60". No value when nothing matches or a short form is ambiguous.
[[nodiscard]] std::optional<int> FindChoice(std::span<const Choice> list, std::string_view text);
// The short form of a list text as above ("HD(1080p)60" -> "1080p60"), or the text itself.
[[nodiscard]] std::string ShortChoiceText(std::string_view text);

// The entry a dialog selects for the stored byte, or none (the list then shows no selection).
[[nodiscard]] std::optional<int> SelectedChoice(const SettingInfo& setting, const BoxFacts& box,
                                                uint8_t stored);

// Numbers: the value shown for a byte, the value clamped to the label's range, the byte sent.
[[nodiscard]] int ShownValue(const SettingInfo& setting, uint8_t byte);
[[nodiscard]] int ClampShown(const SettingInfo& setting, int shown);
[[nodiscard]] uint8_t ByteForShown(const SettingInfo& setting, int shown);  // clamps first

// GenLock delays: a register value d in 0 .. period-1 is shown as d, or d - period above half;
// a shown value is clamped to -half .. +half and sent as itself, or period + v when negative.
struct GenlockRange {
    int minimum = 0;
    int maximum = 0;
};
[[nodiscard]] GenlockRange GenlockRangeFor(uint16_t period);
[[nodiscard]] int GenlockShown(uint16_t delay, uint16_t period);
[[nodiscard]] int ClampGenlock(int shown, uint16_t period);
[[nodiscard]] uint16_t GenlockRegisterFor(int shown, uint16_t period);  // clamps first

// Sends a setting's value as its dialog's Apply does: WriteSetting(group, item, byte) with the
// byte to send, or for a GenLock delay WriteGenlockValue(item, high, low) with the register
// value. The link's failure when the port did not open or the frame did not go out.
[[nodiscard]] Result<void> WriteSettingValue(DeviceLink& link, const SettingInfo& setting,
                                             uint16_t value);

}  // namespace kestrow
