// The firmware file: reading it, turning Intel HEX text into a binary image, and checking and
// removing the 13-byte header ("CPUM", target digit, "FW", six unexamined bytes). Plain C++;
// every step returns a Result that the caller turns into the operator's text, and a check that
// fails says why in words (which header field, which size limit, which HEX line).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"

namespace kestrow {

inline constexpr std::size_t kFirmwareHeaderSize = 13;
// A file must be larger than this to be read at all.
inline constexpr std::uint64_t kMinFirmwareFileBytes = 256;
// Largest file read into memory; far above any real HEX file of a valid image.
inline constexpr std::uint64_t kMaxFirmwareFileBytes = 256u * 1024u * 1024u;
// Program bytes after the header: the boot loader writes at least 256, and the 16-bit progress
// range allows at most 65,535 x 76 + 75.
inline constexpr std::size_t kMinProgramBytes = 256;
inline constexpr std::size_t kMaxProgramBytes = 4'980'735;
inline constexpr std::size_t kMaxImageBytes = kFirmwareHeaderSize + kMaxProgramBytes;

struct FirmwareImage {
    std::string path;                // chosen with Load File; empty until then
    std::vector<std::uint8_t> data;  // file bytes, then the converted image, then the program
    std::array<std::uint8_t, kFirmwareHeaderSize> header{};
    char targetDigit = 0;                   // '3' or '4' once the header was accepted
    std::optional<std::uint64_t> fileSize;  // once the file was opened and its size read
};

// Size of the file at `path` for the "%d byte." display; a File failure when it cannot be
// opened.
[[nodiscard]] Result<std::uint64_t> FirmwareFileSize(const std::string& path);

// The display text for a file size ("%d byte.").
[[nodiscard]] std::string FileSizeText(std::uint64_t bytes);

// Releases the previous data and reads the file at image.path whole into image.data, with its
// size in image.fileSize. A File failure when no file was chosen or it was removed, cannot be
// read or has a read error (fileSize then none); Invalid, naming the limit, for a file of 256
// bytes or less or above kMaxFirmwareFileBytes (not read).
[[nodiscard]] Result<void> LoadFirmwareFile(FirmwareImage& image);

// Intel HEX text to a binary image starting at address 0 (gaps 0x00, later records overwrite
// earlier ones). Records are separated by any white space; every record's length, hex digits
// and checksum are checked; an end-of-file record is required; the image may not grow past
// kMaxImageBytes. `image` is replaced (its capacity is reused). The first fault fails it
// (Malformed), named with its line.
[[nodiscard]] Result<void> HexToBinary(std::span<const std::uint8_t> text,
                                       std::vector<std::uint8_t>& image);

// Converts image.data in place when it is HEX text; on failure data is released.
[[nodiscard]] Result<void> ConvertHexToBinary(FirmwareImage& image);

// True when data starts with ':' (HEX text rather than a binary image).
[[nodiscard]] bool LooksLikeHex(const FirmwareImage& image);

// Checks "CPUM", the target digit '3' or '4' and "FW"; when valid, copies the header out,
// removes it from data and sets targetDigit. Fails (Invalid, data untouched) naming the field
// otherwise.
[[nodiscard]] Result<void> StripFirmwareHeader(FirmwareImage& image);

// The size rules a file must meet before the port is opened: more than 256 bytes on disk and a
// binary image whose program (image minus header) is 256 to 4,980,735 bytes (Invalid).
[[nodiscard]] Result<void> CheckFirmwareSizes(std::uint64_t fileSize, std::size_t imageSize);

// One run's file steps in order: read, convert when HEX, check sizes, check and strip header.
// Ready when data holds the program and targetDigit is set; otherwise the failure: File ("Please
// load file first!"), Malformed ("Fail to convert the input from hex to bin!") or Invalid
// ("Firmware file is not correct!"), the last two saying why in words.
[[nodiscard]] Result<void> PrepareFirmware(FirmwareImage& image);

}  // namespace kestrow
