// The skin's picture table. Captioned buttons share one SVG face (skin/button.svg) with their
// size, colours and caption filled in; the background, the search key and the icon are files.
#include "ui/skin/Pictures.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <utility>

#include "ui/skin/SkinFiles.h"

namespace kestrow::ui {

namespace {

enum class Face { Normal, Pressed, Running, File };

struct PictureEntry {
    int id;
    Face face;
    std::string_view caption;  // Face::File: the file's name in res/skin
    int w;
    int h;
};

struct FaceColours {
    const char* top;
    const char* bottom;
    const char* edge;
    const char* ink;
};

constexpr FaceColours kNormal{"#4a4f57", "#2e3238", "#16191d", "#e6e9ee"};
constexpr FaceColours kPressed{"#3b9bff", "#1565c0", "#0d47a1", "#ffffff"};
constexpr FaceColours kRunning{"#3ad36a", "#1f8f3d", "#14652a", "#ffffff"};

// Sizes are those of the controls the pictures sit on, in pixels.
constexpr std::array kPictures{
    PictureEntry{128, Face::File, "kestrow.svg", 64, 64},
    PictureEntry{136, Face::File, "background.svg", 800, 500},
    PictureEntry{137, Face::Normal, "480p60", 101, 54},
    PictureEntry{138, Face::Normal, "720p60", 101, 54},
    PictureEntry{139, Face::Normal, "1080i60", 101, 54},
    PictureEntry{140, Face::Normal, "1080p60", 101, 54},
    PictureEntry{141, Face::Normal, "Adjustment", 178, 46},
    PictureEntry{142, Face::Normal, "Aspect Ratio", 101, 54},
    PictureEntry{143, Face::Normal, "Blank", 101, 54},
    PictureEntry{146, Face::Normal, "Freeze", 101, 54},
    PictureEntry{147, Face::Normal, "Image", 178, 46},
    PictureEntry{149, Face::Normal, "Output Setup", 180, 46},
    PictureEntry{150, Face::Normal, "Refresh", 122, 22},
    PictureEntry{152, Face::Normal, "System", 178, 46},
    PictureEntry{154, Face::Pressed, "480p60", 101, 54},
    PictureEntry{155, Face::Pressed, "720p60", 101, 54},
    PictureEntry{156, Face::Pressed, "1080i60", 101, 54},
    PictureEntry{157, Face::Pressed, "1080p60", 101, 54},
    PictureEntry{158, Face::Pressed, "Aspect Ratio", 101, 54},
    PictureEntry{159, Face::Pressed, "Blank", 101, 54},
    PictureEntry{160, Face::Pressed, "Freeze", 101, 54},
    PictureEntry{161, Face::Running, "Refresh", 122, 22},
    PictureEntry{162, Face::File, "search.svg", 29, 28},
};

const PictureEntry* Find(int id) {
    const auto* it = std::find_if(kPictures.begin(), kPictures.end(),
                                  [id](const PictureEntry& e) { return e.id == id; });
    return it == kPictures.end() ? nullptr : &*it;
}

// Two decimals with a point, whatever the locale.
std::string Num(double v) {
    std::array<char, 32> text{};
    const auto [end, error] =
        std::to_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed, 2);
    return error == std::errc() ? std::string(text.data(), end) : std::string("0");
}

// The caption as SVG text: the five characters XML gives a meaning escaped.
std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void ReplaceAll(std::string& text, std::string_view field, const std::string& value) {
    for (size_t at = text.find(field); at != std::string::npos;
         at = text.find(field, at + value.size())) {
        text.replace(at, field.size(), value);
    }
}

std::string ButtonSvg(const PictureEntry& e) {
    const FaceColours& c =
        e.face == Face::Pressed ? kPressed : (e.face == Face::Running ? kRunning : kNormal);
    const double w = e.w;
    const double h = e.h;
    // Large enough to read, small enough to fit the face with a margin.
    const double fontSize =
        std::min({h * 0.55, 16.0, (w - 14.0) / (0.66 * static_cast<double>(e.caption.size()))});
    std::string svg(SkinFile("button.svg"));
    const std::pair<std::string_view, std::string> fields[] = {
        {"@W@", std::to_string(e.w)},
        {"@H@", std::to_string(e.h)},
        {"@IW@", Num(w - 1.5)},
        {"@IH@", Num(h - 1.5)},
        {"@HW@", Num(w - 5.0)},
        {"@R@", Num(std::min(6.0, h / 4.0))},
        {"@TOP@", c.top},
        {"@BOTTOM@", c.bottom},
        {"@EDGE@", c.edge},
        {"@INK@", c.ink},
        {"@CX@", Num(w / 2.0)},
        {"@BASE@", Num(h / 2.0 + fontSize * 0.36)},
        {"@FS@", Num(fontSize)},
        {"@CAPTION@", Escaped(e.caption)},
    };
    for (const auto& [field, value] : fields) {
        ReplaceAll(svg, field, value);
    }
    return svg;
}

}  // namespace

std::vector<PictureSize> PictureSizes() {
    std::vector<PictureSize> sizes;
    for (const PictureEntry& e : kPictures) {
        sizes.push_back({e.id, e.w, e.h});
    }
    return sizes;
}

std::string PictureSvg(int id) {
    const PictureEntry* e = Find(id);
    if (e == nullptr) {
        return {};
    }
    return e->face == Face::File ? std::string(SkinFile(e->caption)) : ButtonSvg(*e);
}

}  // namespace kestrow::ui
