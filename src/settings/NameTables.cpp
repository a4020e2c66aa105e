#include "settings/NameTables.h"

#include <array>

namespace kestrow {
namespace {

using namespace std::string_view_literals;

constexpr std::array kVideoPorts{"Component"sv, "DVI"sv,  "N/A"sv, "SDI"sv, "N/A"sv, "HDMI"sv,
                                 "N/A"sv,       "1CAT"sv, "N/A"sv, "VGA"sv, ""sv};

constexpr std::array kOutputResolutions{
    "SD(480i)60"sv,   "SD(576i)50"sv,  "SD(480p)60"sv,   "SD(576p)50"sv,   "HD(720p)60"sv,
    "HD(720p)59"sv,   "HD(720p)50"sv,  "HD(720p)30"sv,   "HD(720p)25"sv,   "HD(1080i)60"sv,
    "HD(1080i)59"sv,  "HD(1080i)50"sv, "HD(1080p)60"sv,  "HD(1080p)59"sv,  "HD(1080p)50"sv,
    "HD(1080p)30"sv,  "HD(1080p)25"sv, "HD(1080p)24"sv,  "640x480p60"sv,   "640x480p75"sv,
    "800x600p60"sv,   "800x600p75"sv,  "1024x768p60"sv,  "1024x768p75"sv,  "1280x1024p60"sv,
    "1280x1024p75"sv, "1360x768p60"sv, "1366x768p60"sv,  "1400x1050p60"sv, "1600x1200p60"sv,
    "1440x900p60"sv,  "1440x900p75"sv, "1680x1050p60"sv, "1680x1050pRB"sv, "1920x1080pRB"sv,
    "1920x1200pRB"sv, "Bypass"sv,      "Auto-Detect"sv};

constexpr std::array kInputTimings{
    "SD(480i)60"sv,    "SD(576i)50"sv,    "SD(480p)60"sv,    "SD(576p)50"sv,    "HD(720p)60"sv,
    "HD(720p)50"sv,    "HD(1080i)60"sv,   "HD(1080i)50"sv,   "HD(1080p)60"sv,   "HD(1080p)50"sv,
    "640x480p60"sv,    "800x600p60"sv,    "1024x768p60"sv,   "1280x1024p60"sv,  "1280x720p60"sv,
    "1280x960p60"sv,   "1360x768p60"sv,   "1440x900p60"sv,   "640x480p72"sv,    "640x480p75"sv,
    "800x600p56"sv,    "800x600p72"sv,    "800x600p75"sv,    "1024x768p70"sv,   "1024x768p75"sv,
    "1152x864p75"sv,   "1280x800p60"sv,   "1600x1200p60"sv,  "1280x1024p75"sv,  "1024x768p85"sv,
    "800x600p85"sv,    "1920x1200p60"sv,  "1280x768p60"sv,   "640x350p85"sv,    "640x400p85"sv,
    "720x400p85"sv,    "640x480p85"sv,    "800x600p120"sv,   "848x480p60"sv,    "1024x768i43"sv,
    "1024x768p120"sv,  "1280x768p60"sv,   "1280x768p75"sv,   "1280x768p85"sv,   "1280x768p120"sv,
    "1280x800p60"sv,   "1280x800p75"sv,   "1280x800p85"sv,   "1280x800p120"sv,  "1280x960p85"sv,
    "1280x960p120"sv,  "1280x1024p85"sv,  "1280x1024p120"sv, "1360x768p120"sv,  "1366x768p60"sv,
    "1366x768p60"sv,   "1400x1050p60"sv,  "1400x1050p60"sv,  "1400x1050p75"sv,  "1400x1050p85"sv,
    "1400x1050p120"sv, "1440x900p60"sv,   "1440x900p75"sv,   "1440x900p85"sv,   "1440x900p120"sv,
    "1600x900p60"sv,   "1600x1200p65"sv,  "1600x1200p70"sv,  "1600x1200p75"sv,  "1600x1200p85"sv,
    "1600x1200p120"sv, "1680x1050p60"sv,  "1680x1050p60"sv,  "1680x1050p75"sv,  "1680x1050p85"sv,
    "1680x1050p120"sv, "1792x1344p60"sv,  "1792x1344p75"sv,  "1792x1344p120"sv, "1856x1392p60"sv,
    "1856x1392p75"sv,  "1856x1392p120"sv, "1920x1200p60"sv,  "1920x1200p75"sv,  "1920x1200p85"sv,
    "1920x1200p120"sv, "1920x1440p60"sv,  "1920x1440p75"sv,  "1920x1440p120"sv, "2048x1152p60"sv,
    "2560x1600p60"sv,  "2560x1600p60"sv,  "2560x1600p75"sv,  "2560x1600p85"sv,  "2560x1600p120"sv,
    "1440x480i60"sv,   "1440x240p60"sv,   "2880x480i60"sv,   "2880x240p60"sv,   "1440x480p60"sv,
    "2880x480p60"sv,   "1440x576i50"sv,   "1440x288p50"sv,   "2880x576i50"sv,   "2800x288p50"sv,
    "1440x576p50"sv,   "2880x576p50"sv,   "HD(1080p)30"sv,   "HD(1080p)25"sv,   "HD(1080p)24"sv,
    "HD(720p)30"sv,    "HD(720p)25"sv,    "720x400p50"sv,    "720x400p70"sv,    "Out Of Range"sv,
    "HDCP Content"sv,  "NO-SYNC"sv};

static_assert(kVideoPorts.size() == 11);
static_assert(kOutputResolutions.size() == 38);
static_assert(kInputTimings.size() == 117);

// An option list made of output resolution names picked by code.
template <size_t N>
constexpr std::array<std::string_view, N> PickResolutions(const std::array<int, N>& codes) {
    std::array<std::string_view, N> out{};
    for (size_t i = 0; i < N; ++i) {
        out[i] = kOutputResolutions[static_cast<size_t>(codes[i])];
    }
    return out;
}

constexpr int kBypass = 36;
constexpr int kAutoDetect = 37;

constexpr auto kListSdi =
    PickResolutions<19>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, kBypass});
constexpr auto kListVga =
    PickResolutions<22>({4,  12, 18, 19, 20, 21, 22, 23, 24, 25,      26,
                         27, 28, 29, 30, 31, 32, 33, 34, 35, kBypass, kAutoDetect});
constexpr auto kListComponent =
    PickResolutions<17>({0, 1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, kBypass});

constexpr std::array kColourSpace{"RGB"sv, "YCbCr444"sv, "YCbCr422"sv};
constexpr std::array kColourSpaceRgb{"RGB"sv};
constexpr std::array kColourSpaceYcc422{"YCbCr422"sv};
constexpr std::array kColourSpaceRgbYcc422{"RGB"sv, "YCbCr422"sv};
constexpr std::array kTestPattern{"Disable"sv, "White"sv,   "Cross"sv,   "Hatch"sv,
                                  "Color"sv,   "Gray"sv,    "Window"sv,  "H-Ramp"sv,
                                  "W-HRamp"sv, "W-VRamp"sv, "Diagonal"sv};
constexpr std::array kAudioSource{"SPDIF"sv, "Analog"sv};
constexpr std::array kEdidAudioChannel{"2Ch"sv, "7.1Ch"sv};
constexpr std::array kLockModeFixed{"Free-Run"sv, "Lock to VGA"sv, "Lock to GenLock"sv,
                                    "FrameLock B(Genlock)"sv};
constexpr std::array kAutoSleep{"Off"sv, "1 min"sv, "2 min"sv, "3 min"sv, "4 min"sv, "5 min"sv};
constexpr std::array kOffOn{"Off"sv, "On"sv};
constexpr std::array kColourTone{"Off"sv, "Skin"sv, "Green"sv};
constexpr std::array kEdgeEnhance{"Typ"sv, "Mid"sv, "Max"sv, "Off"sv};
constexpr std::array kAspectRatio{"4:3"sv, "16:9"sv};
constexpr std::array kNoiseLevel{"Off"sv, "Typ"sv, "Strong"sv};
constexpr std::array kOnOff{"On"sv, "Off"sv};
constexpr std::array kDeinterlaceMode{"Adapt"sv, "Intra"sv, "Inter"sv};
constexpr std::array kEdgeAngle{"All"sv, "Off"sv, "45"sv, "26"sv};
constexpr std::array kFilmMode{"All"sv, "Off"sv, "3:2"sv, "2:2"sv};
constexpr std::array kInterArea{"On"sv, "Off"sv, "Adj"sv};

// Lock entry by input port code; empty where the port has none.
constexpr std::array kLockByInput{"Lock To YPbPr"sv,
                                  "Lock To DVI"sv,
                                  ""sv,
                                  "Lock To SDI"sv,
                                  ""sv,
                                  "Lock To HDMI"sv,
                                  ""sv,
                                  ""sv,
                                  ""sv,
                                  "Lock To VGA"sv};

}  // namespace

const NameTable VideoPortNames{kVideoPorts};
const NameTable OutputResolutionNames{kOutputResolutions};
const NameTable InputTimingNames{kInputTimings};

const NameTable OutputResolutionListFull{kOutputResolutions};
const NameTable OutputResolutionListSdi{kListSdi};
const NameTable OutputResolutionListVga{kListVga};
const NameTable OutputResolutionListComponent{kListComponent};
const NameTable ColourSpaceList{kColourSpace};
const NameTable ColourSpaceListRgb{kColourSpaceRgb};
const NameTable ColourSpaceListYcc422{kColourSpaceYcc422};
const NameTable ColourSpaceListRgbYcc422{kColourSpaceRgbYcc422};
const NameTable TestPatternList{kTestPattern};
const NameTable AudioSourceList{kAudioSource};
const NameTable EdidAudioChannelList{kEdidAudioChannel};
const NameTable LockModeListFixed{kLockModeFixed};
const NameTable AutoSleepList{kAutoSleep};
const NameTable OffOnList{kOffOn};
const NameTable ColourToneList{kColourTone};
const NameTable EdgeEnhanceList{kEdgeEnhance};
const NameTable AspectRatioList{kAspectRatio};
const NameTable NoiseLevelList{kNoiseLevel};
const NameTable OnOffList{kOnOff};
const NameTable DeinterlaceModeList{kDeinterlaceMode};
const NameTable EdgeAngleList{kEdgeAngle};
const NameTable FilmModeList{kFilmMode};
const NameTable InterAreaList{kInterArea};

std::string_view LookupName(NameTable table, unsigned code) {
    return code < table.size() ? table[code] : std::string_view{};
}

std::vector<std::string_view> LockModeListByInput(uint8_t inputPortCode) {
    std::vector<std::string_view> list{"Free-Run"};
    const std::string_view lock = LookupName(kLockByInput, inputPortCode);
    if (!lock.empty()) {
        list.push_back(lock);
    }
    list.push_back("FrameLock B(Genlock)");
    return list;
}

}  // namespace kestrow
