// The skin's pictures by number: 128 the icon, 136 the main window's background, 137-162 the
// picture buttons. Every picture is SVG text; the windows render it at the size they show it.
#pragma once

#include <string>

namespace kestrow::ui {

// The SVG text of picture `id`; empty for an unknown id.
[[nodiscard]] std::string PictureSvg(int id);

}  // namespace kestrow::ui
