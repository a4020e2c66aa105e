// The skin's pictures by number: 128 the icon, 136 the main window's background, 137-162 the
// picture buttons. Every picture is SVG text, rendered at the size it is shown.
#pragma once

#include <QByteArray>
#include <QSize>

namespace kestrow::ui {

// The SVG text of picture `id`; empty for an unknown id.
[[nodiscard]] QByteArray PictureSvg(int id);
// The picture's own size in pixels; empty for an unknown id.
[[nodiscard]] QSize PictureSize(int id);

}  // namespace kestrow::ui
