#include "firmware/FirmwareImage.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "base/Utf8Paths.h"
#include "firmware/FirmwareTexts.h"

namespace kestrow {
namespace {

using File = UniqueFile;

// Opens a regular file for binary reading. Anything else (a folder, a FIFO that would block,
// a device) counts as a file that cannot be opened.
File OpenRegularFile(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(PathFromUtf8(path), ec) || ec) {
        return nullptr;
    }
    return OpenFile(path, "rb");
}

// Size of an open file, taken from the file itself.
std::optional<std::uint64_t> SizeOf(std::FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) {
        return std::nullopt;
    }
    const long size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size);
}

// Hex digit values; anything that is not a digit has bit 8 set so that one OR over a record's
// decoded pairs tells whether a bad character occurred.
constexpr std::uint16_t kBad = 0x100;
constexpr std::array<std::uint16_t, 256> MakeHexTable() {
    std::array<std::uint16_t, 256> t{};
    for (auto& v : t) {
        v = kBad;
    }
    for (int c = 0; c < 10; ++c) {
        t[static_cast<std::size_t>('0' + c)] = static_cast<std::uint16_t>(c);
    }
    for (int c = 0; c < 6; ++c) {
        t[static_cast<std::size_t>('A' + c)] = static_cast<std::uint16_t>(10 + c);
        t[static_cast<std::size_t>('a' + c)] = static_cast<std::uint16_t>(10 + c);
    }
    return t;
}
constexpr std::array<std::uint16_t, 256> kHex = MakeHexTable();

constexpr std::array<bool, 256> MakeSpaceTable() {
    std::array<bool, 256> t{};
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        t[static_cast<unsigned char>(c)] = true;
    }
    return t;
}
constexpr std::array<bool, 256> kSpace = MakeSpaceTable();

// Two hex characters to a value 0..255, or a value with bits above 0xFF set.
inline unsigned Pair(const std::uint8_t* s) {
    return (static_cast<unsigned>(kHex[s[0]]) << 4) | kHex[s[1]];
}

// Decodes n bytes from 2n characters into dst, adding them to sum. False on a bad digit.
inline bool Decode(const std::uint8_t* src, std::size_t n, std::uint8_t* dst, unsigned& sum) {
    unsigned bad = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned v = Pair(src + 2 * i);
        bad |= v;
        dst[i] = static_cast<std::uint8_t>(v);
        sum += v;
    }
    return (bad & ~0xFFu) == 0;
}

// A byte as the reason shows it: 'G', or 0x07 when it does not print.
std::string Shown(std::uint8_t c) {
    char text[8];
    std::snprintf(text, sizeof text, c >= 0x20 && c < 0x7F ? "'%c'" : "0x%02X", c);
    return text;
}

// Bytes as text for the header's reasons: "CPUX", with \xNN for bytes that do not print.
std::string Quoted(const std::uint8_t* bytes, std::size_t n) {
    std::string out = "\"";
    for (std::size_t i = 0; i < n; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", bytes[i]);
        out += bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '"'
                   ? std::string(1, static_cast<char>(bytes[i]))
                   : std::string(hex);
    }
    return out + "\"";
}

// The first character of [from, to) that is no hex digit.
std::uint8_t FirstNonHex(const std::uint8_t* from, const std::uint8_t* to) {
    const auto* bad = std::find_if(from, to, [](std::uint8_t c) { return kHex[c] == kBad; });
    return bad != to ? *bad : std::uint8_t{0};
}

Error Malformed(std::string why) {
    return {.kind = ErrorKind::Malformed, .detail = std::move(why)};
}

Error Invalid(std::string why) {
    return {.kind = ErrorKind::Invalid, .detail = std::move(why)};
}

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

enum RecordType : unsigned {
    kData = 0x00,
    kEndOfFile = 0x01,
    kExtendedSegment = 0x02,
    kStartSegment = 0x03,
    kExtendedLinear = 0x04,
    kStartLinear = 0x05,
};

}  // namespace

Result<std::uint64_t> FirmwareFileSize(const std::string& path) {
    const File f = OpenRegularFile(path);
    const std::optional<std::uint64_t> size = f ? SizeOf(f.get()) : std::nullopt;
    if (!size) {
        return Error{.kind = ErrorKind::File, .path = path};
    }
    return *size;
}

std::string FileSizeText(std::uint64_t bytes) {
    const int shown = static_cast<int>(std::min<std::uint64_t>(bytes, INT_MAX));
    char text[32];
    std::snprintf(text, sizeof text, firmware_text::kFileSizeFormat, shown);
    return text;
}

Result<void> LoadFirmwareFile(FirmwareImage& image) {
    image.fileSize.reset();
    const Error cannotOpen{.kind = ErrorKind::File, .path = image.path};
    const File f = OpenRegularFile(image.path);
    if (!f) {
        return cannotOpen;
    }
    const auto size = SizeOf(f.get());
    if (!size) {
        return cannotOpen;
    }
    image.data.clear();
    image.data.shrink_to_fit();
    image.fileSize = size;
    if (*size <= kMinFirmwareFileBytes || *size > kMaxFirmwareFileBytes) {
        return CheckFirmwareSizes(*size, 0);
    }
    image.data.resize(static_cast<std::size_t>(*size));
    if (std::fread(image.data.data(), 1, image.data.size(), f.get()) != image.data.size()) {
        image.data.clear();
        image.fileSize.reset();
        return cannotOpen;
    }
    return {};
}

Result<void> HexToBinary(std::span<const std::uint8_t> text, std::vector<std::uint8_t>& image) {
    image.clear();
    const std::uint8_t* p = text.data();
    const std::uint8_t* const end = p + text.size();
    // The line is counted only for a fault, so the conversion itself stays one pass.
    const auto fault = [&text, &p](const std::string& what) {
        const auto line = 1 + std::count(text.data(), p, std::uint8_t{'\n'});
        return Malformed("line " + std::to_string(line) + ": " + what);
    };
    std::uint64_t base = 0;
    std::array<std::uint8_t, 255> scratch{};
    for (;;) {
        while (p != end && kSpace[*p]) {
            ++p;
        }
        if (p == end) {
            return Malformed("no end-of-file record (:00000001FF) before the text ends");
        }
        if (*p != ':') {
            return fault("a record starts with ':', not with " + Shown(*p));
        }
        if (end - p < 11) {
            return fault("the record is cut short");
        }
        const unsigned count = Pair(p + 1);
        const unsigned high = Pair(p + 3);
        const unsigned low = Pair(p + 5);
        const unsigned type = Pair(p + 7);
        if (((count | high | low | type) & ~0xFFu) != 0) {
            const std::uint8_t c = FirstNonHex(p + 1, p + 9);
            return fault(kSpace[c] ? "the record is cut short" : Shown(c) + " is not a hex digit");
        }
        const unsigned offset = (high << 8) | low;
        const std::size_t recordChars = 11 + 2 * std::size_t{count};
        // A digit that is no hex digit; white space there means the record ended early.
        const auto badDigit = [&fault, count](const std::uint8_t* from, const std::uint8_t* to) {
            const std::uint8_t c = FirstNonHex(from, to);
            return fault(kSpace[c] ? "the count says " + std::to_string(count) +
                                         " data bytes; the record is shorter"
                                   : Shown(c) + " is not a hex digit");
        };
        if (static_cast<std::size_t>(end - p) < recordChars) {
            return fault("the count says " + std::to_string(count) +
                         " data bytes; the record is shorter");
        }
        const std::uint8_t* const after = p + recordChars;
        unsigned sum = count + (offset >> 8) + (offset & 0xFF) + type;
        const std::uint8_t* const dataChars = p + 9;
        std::uint8_t* dst = scratch.data();
        if (type == kData) {
            // Also a record without data extends the image to its address.
            const std::uint64_t last = base + offset + count;
            if (last > kMaxImageBytes) {
                return fault("the data ends at byte " + std::to_string(last) +
                             ", past the largest image of " + std::to_string(kMaxImageBytes) +
                             " bytes");
            }
            if (last > image.size()) {
                image.resize(static_cast<std::size_t>(last));
            }
            if (count > 0) {
                dst = image.data() + (base + offset);
            }
        }
        if (!Decode(dataChars, count, dst, sum)) {
            return badDigit(dataChars, dataChars + 2 * count);
        }
        const std::uint8_t* const checksumChars = dataChars + 2 * count;
        const unsigned checksum = Pair(checksumChars);
        if ((checksum & ~0xFFu) != 0) {
            return badDigit(checksumChars, checksumChars + 2);
        }
        if (((sum + checksum) & 0xFFu) != 0) {
            return fault("checksum " + Hex2(checksum) + ", expected " +
                         Hex2(0x100u - (sum & 0xFFu)));
        }
        if (after != end && !kSpace[*after]) {
            return fault("characters after the checksum; the count says " + std::to_string(count) +
                         " data bytes");
        }
        switch (type) {
            case kEndOfFile:
                return {};
            case kExtendedSegment:
            case kExtendedLinear: {
                if (count != 2) {
                    return fault("an address record holds 2 bytes, this one " +
                                 std::to_string(count));
                }
                const std::uint64_t value = (std::uint64_t{scratch[0]} << 8) | scratch[1];
                base = type == kExtendedLinear ? value << 16 : value << 4;
                break;
            }
            default:  // data (already stored), start addresses and unknown types
                break;
        }
        p = after;
    }
}

bool LooksLikeHex(const FirmwareImage& image) {
    return !image.data.empty() && image.data.front() == ':';
}

Result<void> ConvertHexToBinary(FirmwareImage& image) {
    std::vector<std::uint8_t> converted;
    if (Result<void> done = HexToBinary(image.data, converted); !done) {
        image.data.clear();
        image.data.shrink_to_fit();
        return done;
    }
    image.data = std::move(converted);
    return {};
}

Result<void> StripFirmwareHeader(FirmwareImage& image) {
    auto& d = image.data;
    if (d.size() < kFirmwareHeaderSize) {
        return Invalid("the image has " + std::to_string(d.size()) + " bytes, fewer than the " +
                       std::to_string(kFirmwareHeaderSize) + "-byte header");
    }
    if (std::memcmp(d.data(), "CPUM", 4) != 0) {
        return Invalid("the header starts " + Quoted(d.data(), 4) + ", not \"CPUM\"");
    }
    const char digit = static_cast<char>(d[4]);
    if (digit != '3' && digit != '4') {
        return Invalid("the header's target digit (byte 5) is " + Shown(d[4]) + ", not '3' or '4'");
    }
    if (std::memcmp(d.data() + 5, "FW", 2) != 0) {
        return Invalid("the header's bytes 6 and 7 are " + Quoted(d.data() + 5, 2) +
                       ", not \"FW\"");
    }
    std::copy_n(d.begin(), kFirmwareHeaderSize, image.header.begin());
    d.erase(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(kFirmwareHeaderSize));
    image.targetDigit = digit;
    return {};
}

Result<void> CheckFirmwareSizes(std::uint64_t fileSize, std::size_t imageSize) {
    if (fileSize <= kMinFirmwareFileBytes) {
        return Invalid("the file has " + std::to_string(fileSize) +
                       " bytes; a firmware file has more than " +
                       std::to_string(kMinFirmwareFileBytes));
    }
    if (fileSize > kMaxFirmwareFileBytes) {
        return Invalid("the file has " + std::to_string(fileSize) + " bytes; at most " +
                       std::to_string(kMaxFirmwareFileBytes) + " are read");
    }
    if (imageSize < kFirmwareHeaderSize + kMinProgramBytes || imageSize > kMaxImageBytes) {
        const std::string program =
            imageSize < kFirmwareHeaderSize
                ? "the image has " + std::to_string(imageSize) + " bytes, fewer than its " +
                      std::to_string(kFirmwareHeaderSize) + "-byte header"
                : "the program has " + std::to_string(imageSize - kFirmwareHeaderSize) +
                      " bytes after the " + std::to_string(kFirmwareHeaderSize) + "-byte header";
        return Invalid(program + "; the boot loader writes " + std::to_string(kMinProgramBytes) +
                       " to " + std::to_string(kMaxProgramBytes));
    }
    return {};
}

Result<void> PrepareFirmware(FirmwareImage& image) {
    if (Result<void> loaded = LoadFirmwareFile(image); !loaded) {
        return loaded;
    }
    if (LooksLikeHex(image)) {
        if (Result<void> converted = ConvertHexToBinary(image); !converted) {
            return converted;
        }
    }
    if (Result<void> sizes = CheckFirmwareSizes(*image.fileSize, image.data.size()); !sizes) {
        return sizes;
    }
    return StripFirmwareHeader(image);
}

}  // namespace kestrow
