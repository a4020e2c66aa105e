// The skin's picture table. Captioned buttons share one SVG face (skin/button.svg) with their
// size, colours and caption filled in; the background, the search key and the icon are files.
#include <QFile>
#include <QString>
#include <algorithm>
#include <array>
#include <string_view>

#include "ui/skin/Pictures.h"

// Registers the skin's resources once, on first use (the library is static).
static bool InitSkinResources() {
    Q_INIT_RESOURCE(kestrow);
    return true;
}

namespace kestrow::ui {

namespace {

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

enum class Face { Normal, Pressed, Running, File };

struct PictureEntry {
    int id;
    Face face;
    std::string_view caption;  // Face::File: the resource path
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
    PictureEntry{128, Face::File, ":/kestrow/skin/kestrow.svg", 64, 64},
    PictureEntry{136, Face::File, ":/kestrow/skin/background.svg", 800, 500},
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
    PictureEntry{162, Face::File, ":/kestrow/skin/search.svg", 29, 28},
};

const PictureEntry* Find(int id) {
    const auto* it = std::find_if(kPictures.begin(), kPictures.end(),
                                  [id](const PictureEntry& e) { return e.id == id; });
    return it == kPictures.end() ? nullptr : &*it;
}

QByteArray ReadResource(std::string_view path) {
    static const bool kRegistered = InitSkinResources();
    (void)kRegistered;
    QFile file(Utf8(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

QString Num(double v) {
    return QString::number(v, 'f', 2);
}

QByteArray ButtonSvg(const PictureEntry& e) {
    static const QString kFace = QString::fromUtf8(ReadResource(":/kestrow/skin/button.svg"));
    const FaceColours& c =
        e.face == Face::Pressed ? kPressed : (e.face == Face::Running ? kRunning : kNormal);
    const QString caption = Utf8(e.caption);
    const double w = e.w;
    const double h = e.h;
    // Large enough to read, small enough to fit the face with a margin.
    const double fontSize =
        std::min({h * 0.55, 16.0, (w - 14.0) / (0.66 * static_cast<double>(caption.size()))});
    QString svg = kFace;
    svg.replace(QStringLiteral("@W@"), QString::number(e.w))
        .replace(QStringLiteral("@H@"), QString::number(e.h))
        .replace(QStringLiteral("@IW@"), Num(w - 1.5))
        .replace(QStringLiteral("@IH@"), Num(h - 1.5))
        .replace(QStringLiteral("@HW@"), Num(w - 5.0))
        .replace(QStringLiteral("@R@"), Num(std::min(6.0, h / 4.0)))
        .replace(QStringLiteral("@TOP@"), QLatin1String(c.top))
        .replace(QStringLiteral("@BOTTOM@"), QLatin1String(c.bottom))
        .replace(QStringLiteral("@EDGE@"), QLatin1String(c.edge))
        .replace(QStringLiteral("@INK@"), QLatin1String(c.ink))
        .replace(QStringLiteral("@CX@"), Num(w / 2.0))
        .replace(QStringLiteral("@BASE@"), Num(h / 2.0 + fontSize * 0.36))
        .replace(QStringLiteral("@FS@"), Num(fontSize))
        .replace(QStringLiteral("@CAPTION@"), caption.toHtmlEscaped());
    return svg.toUtf8();
}

}  // namespace

QByteArray PictureSvg(int id) {
    const PictureEntry* e = Find(id);
    if (e == nullptr) {
        return {};
    }
    return e->face == Face::File ? ReadResource(e->caption) : ButtonSvg(*e);
}

QSize PictureSize(int id) {
    const PictureEntry* e = Find(id);
    return e == nullptr ? QSize() : QSize(e->w, e->h);
}

}  // namespace kestrow::ui
