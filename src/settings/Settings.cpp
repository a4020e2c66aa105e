#include "settings/Settings.h"

#include <algorithm>
#include <array>

#include "device/Protocol.h"

namespace kestrow {
namespace {

using namespace protocol;
constexpr uint8_t kOut = kGroupOutput;
constexpr uint8_t kImg = kGroupImage;
constexpr uint8_t kAdj = kGroupAdjustment;
constexpr uint8_t kSys = kGroupSystem;

constexpr SettingInfo Base(std::string_view name, std::string_view label, int dialog, uint8_t group,
                           uint8_t item, SettingKind kind) {
    SettingInfo s;
    s.name = name;
    s.label = label;
    s.dialog = dialog;
    s.group = group;
    s.item = item;
    s.kind = kind;
    return s;
}

constexpr SettingInfo NumberSetting(std::string_view name, std::string_view label, int dialog,
                                    uint8_t group, uint8_t item, int minimum, int maximum,
                                    int offset = 0) {
    SettingInfo s = Base(name, label, dialog, group, item, SettingKind::Number);
    s.minimum = minimum;
    s.maximum = maximum;
    s.offset = offset;
    return s;
}

constexpr SettingInfo ChoiceSetting(std::string_view name, std::string_view label, int dialog,
                                    uint8_t group, uint8_t item, ChoiceRule rule,
                                    const NameTable* choices = nullptr,
                                    Availability availability = Availability::Always) {
    SettingInfo s = Base(name, label, dialog, group, item, SettingKind::Choice);
    s.rule = rule;
    s.choices = choices;
    s.availability = availability;
    return s;
}

// GenLock sync delays (template 208): written to register `item`, read from `readItem`, within
// the period read from `periodItem`.
constexpr SettingInfo GenlockSetting(std::string_view name, std::string_view label, uint8_t item,
                                     uint8_t readItem, uint8_t periodItem) {
    SettingInfo s = Base(name, label, 208, kGenlock, item, SettingKind::Genlock);
    s.readItem = readItem;
    s.periodItem = periodItem;
    return s;
}

using R = ChoiceRule;
using A = Availability;

constexpr std::array kAll{
    // Output Setup (template 204), group 1.
    ChoiceSetting("output-resolution", "Output Resolution", 204, kOut, kItemOutputResolution,
                  R::OutputResolution),
    ChoiceSetting("output-mode", "Output Mode", 204, kOut, 2, R::OutputMode),
    ChoiceSetting("default-pattern", "Default Pattern", 204, kOut, 3, R::Fixed, &TestPatternList),
    ChoiceSetting("audio-source", "Audio Source", 204, kOut, 4, R::Fixed, &AudioSourceList,
                  A::AudioSource),
    ChoiceSetting("edid-audio-ch", "EDID Audio Ch#", 204, kOut, 5, R::Fixed, &EdidAudioChannelList,
                  A::EdidAudio),
    // Image (template 203), group 2.
    NumberSetting("contrast", "Contrast (0~255)", 203, kImg, 1, 0, 255),
    NumberSetting("brightness", "Brightness (0~255)", 203, kImg, 2, 0, 255),
    NumberSetting("saturation", "Saturation (0~255)", 203, kImg, 3, 0, 255),
    NumberSetting("hue", "Hue (0~255)", 203, kImg, 4, 0, 255),
    ChoiceSetting("bw-extension", "B/W Extension", 203, kImg, 5, R::Fixed, &OffOnList),
    ChoiceSetting("color-tone", "Color Tone", 203, kImg, 6, R::Fixed, &ColourToneList),
    ChoiceSetting("edge-enhance", "Edge Enhance", 203, kImg, 7, R::Fixed, &EdgeEnhanceList),
    NumberSetting("sharpness", "Sharpness (0~127)", 203, kImg, 8, 0, 127),
    // Adjustment (template 205), group 3: the signed values travel with an offset.
    NumberSetting("under-over-scan", "Under/Over Scan -50%~50%", 205, kAdj, 1, -50, 50, 50),
    ChoiceSetting("aspect-ratio", "Aspect Ratio", 205, kAdj, 2, R::Fixed, &AspectRatioList),
    ChoiceSetting("h-mirror", "H-Mirror", 205, kAdj, 3, R::Fixed, &OffOnList),
    ChoiceSetting("v-mirror", "V-Mirror", 205, kAdj, 4, R::Fixed, &OffOnList),
    NumberSetting("h-shift", "H-Shift (-100~100)", 205, kAdj, 5, -100, 100, 100),
    NumberSetting("v-shift", "V-Shift (-50~50)", 205, kAdj, 6, -50, 50, 50),
    // System: (4,2) is the clock mode of the template-201 dialog and the auto-sleep time of a
    // newer model's template-200 dialog.
    ChoiceSetting("clock-mode", "Clock Mode", 201, kSys, kItemSystemSetting, R::ClockMode, nullptr,
                  A::ClockMode),
    ChoiceSetting("auto-sleep", "Auto-Sleep Mode", 200, kSys, kItemSystemSetting, R::Fixed,
                  &AutoSleepList, A::AutoSleep),
    // GenLock sync delays (template 208).
    GenlockSetting("genlock-h", "H-Sync Delay", kGenlockHDelay, kGenlockHDelayRead,
                   kGenlockHPeriod),
    GenlockSetting("genlock-v", "V-Sync Delay", kGenlockVDelay, kGenlockVDelayRead,
                   kGenlockVPeriod),
};

// The resolution code of each entry of the Output Resolution list, by output port code. The
// SDI list's "Bypass" sends 36 like the VGA and Component lists.
constexpr std::array<uint8_t, 19> kSdiCodes{0,  1,  2,  3,  4,  5,  6,  7,  8, 9,
                                            10, 11, 12, 13, 14, 15, 16, 17, 36};
constexpr std::array<uint8_t, 22> kVgaCodes{4,  12, 18, 19, 20, 21, 22, 23, 24, 25, 26,
                                            27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37};
constexpr std::array<uint8_t, 17> kComponentCodes{0,  1,  4,  5,  6,  7,  8,  9, 10,
                                                  11, 12, 13, 14, 15, 16, 17, 36};

constexpr uint8_t kComponent = 0;
constexpr uint8_t kDvi = 1;
constexpr uint8_t kSdi = 3;
constexpr uint8_t kVga = 9;

uint8_t OutputCode(const BoxFacts& box) {
    return static_cast<uint8_t>(box.portByte & 0x0F);
}

std::vector<Choice> FromCodes(NameTable texts, std::span<const uint8_t> codes) {
    std::vector<Choice> out;
    for (size_t i = 0; i < texts.size() && i < codes.size(); ++i) {
        out.push_back({texts[i], codes[i], codes[i]});
    }
    return out;
}

std::vector<Choice> Indexed(std::span<const std::string_view> texts) {
    std::vector<Choice> out;
    for (size_t i = 0; i < texts.size(); ++i) {
        out.push_back({texts[i], static_cast<uint8_t>(i), static_cast<uint8_t>(i)});
    }
    return out;
}

std::vector<Choice> Resolutions(uint8_t output) {
    switch (output) {
        case kSdi:
            return FromCodes(OutputResolutionListSdi, kSdiCodes);
        case kVga:
            return FromCodes(OutputResolutionListVga, kVgaCodes);
        case kComponent:
            return FromCodes(OutputResolutionListComponent, kComponentCodes);
        default:
            return Indexed(OutputResolutionListFull);
    }
}

// Colour spaces: DVI offers RGB alone, SDI YCbCr422 alone (sent as 2), VGA RGB and YCbCr422
// (the second sent as 2, stored as its index 1), every other output all three.
std::vector<Choice> ColourSpaces(uint8_t output) {
    switch (output) {
        case kDvi:
            return {{ColourSpaceListRgb[0], 0, 0}};
        case kSdi:
            return {{ColourSpaceListYcc422[0], 2, 0}};
        case kVga:
            return {{ColourSpaceListRgbYcc422[0], 0, 0}, {ColourSpaceListRgbYcc422[1], 2, 1}};
        default:
            return Indexed(ColourSpaceList);
    }
}

}  // namespace

std::span<const SettingInfo> AllSettings() {
    return kAll;
}

const SettingInfo* FindSetting(std::string_view name) {
    const auto* it = std::find_if(kAll.begin(), kAll.end(),
                                  [name](const SettingInfo& s) { return s.name == name; });
    return it == kAll.end() ? nullptr : &*it;
}

bool Available(const SettingInfo& setting, const BoxFacts& box) {
    switch (setting.availability) {
        case Availability::Always:
            return true;
        case Availability::AudioSource:
            return box.portByte == 0x95 || box.portByte == 0x15 || box.portByte == 0x05;
        case Availability::EdidAudio:
            return box.portByte >> 4 == 5;
        case Availability::ClockMode:
            return box.modelByte == 1;
        case Availability::AutoSleep:
            return box.modelByte != 1 && box.newerModel;
    }
    return false;
}

bool Offered(const SettingInfo& setting, const BoxFacts& box) {
    constexpr int kGenlockDialog = 208;
    return Available(setting, box) && (setting.dialog != kGenlockDialog || box.modelByte == 1);
}

uint8_t FactoryResetItem(const BoxFacts& box) {
    return box.modelByte != 1 && box.newerModel ? kItemFactoryResetNewer : kItemFactoryReset;
}

std::vector<Choice> ChoicesFor(const SettingInfo& setting, const BoxFacts& box) {
    switch (setting.rule) {
        case ChoiceRule::Fixed:
            return setting.choices != nullptr ? Indexed(*setting.choices) : std::vector<Choice>{};
        case ChoiceRule::OutputResolution:
            return Resolutions(OutputCode(box));
        case ChoiceRule::OutputMode:
            return ColourSpaces(OutputCode(box));
        case ChoiceRule::ClockMode: {
            const std::vector<std::string_view> modes =
                LockModeListByInput(static_cast<uint8_t>(box.portByte >> 4));
            return Indexed(modes);
        }
    }
    return {};
}

std::string ShortChoiceText(std::string_view text) {
    const bool prefixed = text.starts_with("SD(") || text.starts_with("HD(");
    const size_t close = text.find(')');
    if (!prefixed || close == std::string_view::npos) {
        return std::string(text);
    }
    return std::string(text.substr(3, close - 3)) + std::string(text.substr(close + 1));
}

std::optional<int> FindChoice(std::span<const Choice> list, std::string_view text) {
    const auto same = [](std::string_view a, std::string_view b) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(),
                          [&lower](char x, char y) { return lower(x) == lower(y); });
    };
    for (size_t i = 0; i < list.size(); ++i) {
        if (same(list[i].text, text)) {
            return static_cast<int>(i);
        }
    }
    std::optional<int> found;
    for (size_t i = 0; i < list.size(); ++i) {
        if (same(ShortChoiceText(list[i].text), text)) {
            if (found) {
                return std::nullopt;
            }
            found = static_cast<int>(i);
        }
    }
    return found;
}

std::optional<int> SelectedChoice(const SettingInfo& setting, const BoxFacts& box, uint8_t stored) {
    const std::vector<Choice> list = ChoicesFor(setting, box);
    if (setting.rule == ChoiceRule::OutputMode) {
        const uint8_t output = OutputCode(box);
        if (output == kDvi || output == kSdi) {
            return 0;  // the one entry, whatever the byte holds
        }
        if (output == kVga) {
            return stored != 0 ? 1 : 0;
        }
    }
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].stored == stored) {
            return static_cast<int>(i);
        }
    }
    if (setting.rule == ChoiceRule::OutputResolution && OutputCode(box) == kComponent) {
        return static_cast<int>(list.size()) - 1;  // a code the list lacks shows "Bypass"
    }
    return std::nullopt;
}

int ShownValue(const SettingInfo& setting, uint8_t byte) {
    return int{byte} - setting.offset;
}

int ClampShown(const SettingInfo& setting, int shown) {
    return std::clamp(shown, setting.minimum, setting.maximum);
}

uint8_t ByteForShown(const SettingInfo& setting, int shown) {
    return static_cast<uint8_t>(ClampShown(setting, shown) + setting.offset);
}

GenlockRange GenlockRangeFor(uint16_t period) {
    const int half = period / 2;
    return {-half, half};
}

int GenlockShown(uint16_t delay, uint16_t period) {
    const int half = period / 2;
    return delay > half ? int{delay} - int{period} : int{delay};
}

int ClampGenlock(int shown, uint16_t period) {
    const GenlockRange range = GenlockRangeFor(period);
    return std::clamp(shown, range.minimum, range.maximum);
}

uint16_t GenlockRegisterFor(int shown, uint16_t period) {
    const int v = ClampGenlock(shown, period);
    return static_cast<uint16_t>(v < 0 ? v + int{period} : v);
}

Result<void> WriteSettingValue(DeviceLink& link, const SettingInfo& setting, uint16_t value) {
    if (setting.kind == SettingKind::Genlock) {
        return link.WriteGenlockValue(setting.item, static_cast<uint8_t>(value >> 8),
                                      static_cast<uint8_t>(value & 0xFF));
    }
    return link.WriteSetting(setting.group, setting.item, static_cast<uint8_t>(value));
}

}  // namespace kestrow
