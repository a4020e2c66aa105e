#include "firmware/FirmwareImage.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "firmware/FirmwareTexts.h"

namespace kestrow {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file for binary reading. Anything else (a folder, a FIFO that would block,
// a device) counts as a file that cannot be opened.
File OpenRegularFile(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), ec) || ec) {
        return nullptr;
    }
    return File(std::fopen(path.c_str(), "rb"));
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

enum RecordType : unsigned {
    kData = 0x00,
    kEndOfFile = 0x01,
    kExtendedSegment = 0x02,
    kStartSegment = 0x03,
    kExtendedLinear = 0x04,
    kStartLinear = 0x05,
};

}  // namespace

std::optional<std::uint64_t> FirmwareFileSize(const std::string& path) {
    const File f = OpenRegularFile(path);
    if (!f) {
        return std::nullopt;
    }
    return SizeOf(f.get());
}

std::string FileSizeText(std::uint64_t bytes) {
    const int shown = static_cast<int>(std::min<std::uint64_t>(bytes, INT_MAX));
    char text[32];
    std::snprintf(text, sizeof text, firmware_text::kFileSizeFormat, shown);
    return text;
}

LoadResult LoadFirmwareFile(FirmwareImage& image) {
    const File f = OpenRegularFile(image.path);
    if (!f) {
        return {LoadStatus::CouldNotOpen, 0};
    }
    const auto size = SizeOf(f.get());
    if (!size) {
        return {LoadStatus::CouldNotOpen, 0};
    }
    image.data.clear();
    image.data.shrink_to_fit();
    if (*size <= kMinFirmwareFileBytes) {
        return {LoadStatus::TooSmall, *size};
    }
    if (*size > kMaxFirmwareFileBytes) {
        return {LoadStatus::TooLarge, *size};
    }
    image.data.resize(static_cast<std::size_t>(*size));
    if (std::fread(image.data.data(), 1, image.data.size(), f.get()) != image.data.size()) {
        image.data.clear();
        return {LoadStatus::CouldNotOpen, 0};
    }
    return {LoadStatus::Loaded, *size};
}

bool HexToBinary(std::span<const std::uint8_t> text, std::vector<std::uint8_t>& image) {
    image.clear();
    const std::uint8_t* p = text.data();
    const std::uint8_t* const end = p + text.size();
    std::uint64_t base = 0;
    std::array<std::uint8_t, 255> scratch{};
    for (;;) {
        while (p != end && kSpace[*p]) {
            ++p;
        }
        // The text ended before an end-of-file record, or a record does not start with ':'.
        if (p == end || *p != ':' || end - p < 11) {
            return false;
        }
        const unsigned count = Pair(p + 1);
        const unsigned high = Pair(p + 3);
        const unsigned low = Pair(p + 5);
        const unsigned type = Pair(p + 7);
        if (((count | high | low | type) & ~0xFFu) != 0) {
            return false;  // a non-hex digit in the record's fields
        }
        const unsigned offset = (high << 8) | low;
        const std::size_t recordChars = 11 + 2 * std::size_t{count};
        if (static_cast<std::size_t>(end - p) < recordChars) {
            return false;
        }
        const std::uint8_t* const after = p + recordChars;
        if (after != end && !kSpace[*after]) {
            return false;  // more characters than the count says
        }
        unsigned sum = count + (offset >> 8) + (offset & 0xFF) + type;
        const std::uint8_t* const dataChars = p + 9;
        std::uint8_t* dst = scratch.data();
        if (type == kData) {
            // Also a record without data extends the image to its address.
            const std::uint64_t last = base + offset + count;
            if (last > kMaxImageBytes) {
                return false;
            }
            if (last > image.size()) {
                image.resize(static_cast<std::size_t>(last));
            }
            if (count > 0) {
                dst = image.data() + (base + offset);
            }
        }
        if (!Decode(dataChars, count, dst, sum)) {
            return false;
        }
        const unsigned checksum = Pair(dataChars + 2 * count);
        if ((checksum & ~0xFFu) != 0 || ((sum + checksum) & 0xFFu) != 0) {
            return false;
        }
        switch (type) {
            case kEndOfFile:
                return true;
            case kExtendedSegment:
            case kExtendedLinear: {
                if (count != 2) {
                    return false;
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

bool ConvertHexToBinary(FirmwareImage& image) {
    std::vector<std::uint8_t> converted;
    if (!HexToBinary(image.data, converted)) {
        image.data.clear();
        image.data.shrink_to_fit();
        return false;
    }
    image.data = std::move(converted);
    return true;
}

bool StripFirmwareHeader(FirmwareImage& image) {
    auto& d = image.data;
    if (d.size() < kFirmwareHeaderSize) {
        return false;
    }
    const bool magic =
        std::memcmp(d.data(), "CPUM", 4) == 0 && std::memcmp(d.data() + 5, "FW", 2) == 0;
    const char digit = static_cast<char>(d[4]);
    if (!magic || (digit != '3' && digit != '4')) {
        return false;
    }
    std::copy_n(d.begin(), kFirmwareHeaderSize, image.header.begin());
    d.erase(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(kFirmwareHeaderSize));
    image.targetDigit = digit;
    return true;
}

bool FirmwareSizesValid(std::uint64_t fileSize, std::size_t imageSize) {
    return fileSize > kMinFirmwareFileBytes && fileSize <= kMaxFirmwareFileBytes &&
           imageSize >= kFirmwareHeaderSize + kMinProgramBytes && imageSize <= kMaxImageBytes;
}

PrepareResult PrepareFirmware(FirmwareImage& image) {
    const LoadResult load = LoadFirmwareFile(image);
    if (load.status == LoadStatus::CouldNotOpen) {
        return {PrepareOutcome::CouldNotOpen, std::nullopt};
    }
    if (load.status != LoadStatus::Loaded) {
        return {PrepareOutcome::NotCorrect, load.fileSize};
    }
    if (LooksLikeHex(image) && !ConvertHexToBinary(image)) {
        return {PrepareOutcome::ConvertFailed, load.fileSize};
    }
    if (!FirmwareSizesValid(load.fileSize, image.data.size()) || !StripFirmwareHeader(image)) {
        return {PrepareOutcome::NotCorrect, load.fileSize};
    }
    return {PrepareOutcome::Ready, load.fileSize};
}

}  // namespace kestrow
