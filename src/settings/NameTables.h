// Fixed texts for the box's numeric codes, and the option lists of the settings dialogs.
// Constant data; a lookup never reads outside its table.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kestrow {

using NameTable = std::span<const std::string_view>;

extern const NameTable VideoPortNames;         // 11 entries, 4-bit port codes
extern const NameTable OutputResolutionNames;  // 38 entries, setting (1,1)
extern const NameTable InputTimingNames;       // 117 entries, setting (4,1)

// The entry for `code`, or an empty text for a code beyond the end of the table.
[[nodiscard]] std::string_view LookupName(NameTable table, unsigned code);

// Option lists, in drop-down order.
extern const NameTable OutputResolutionListFull;
extern const NameTable OutputResolutionListSdi;
extern const NameTable OutputResolutionListVga;
extern const NameTable OutputResolutionListComponent;
extern const NameTable ColourSpaceList;
extern const NameTable ColourSpaceListRgb;
extern const NameTable ColourSpaceListYcc422;
extern const NameTable ColourSpaceListRgbYcc422;
extern const NameTable TestPatternList;
extern const NameTable AudioSourceList;
extern const NameTable EdidAudioChannelList;
extern const NameTable LockModeListFixed;
extern const NameTable AutoSleepList;
extern const NameTable OffOnList;
extern const NameTable ColourToneList;
extern const NameTable EdgeEnhanceList;
extern const NameTable AspectRatioList;
extern const NameTable NoiseLevelList;
extern const NameTable OnOffList;
extern const NameTable DeinterlaceModeList;
extern const NameTable EdgeAngleList;
extern const NameTable FilmModeList;
extern const NameTable InterAreaList;

// "Free-Run", the lock entry of the input port (none for ports without one),
// "FrameLock B(Genlock)".
[[nodiscard]] std::vector<std::string_view> LockModeListByInput(uint8_t inputPortCode);

}  // namespace kestrow
