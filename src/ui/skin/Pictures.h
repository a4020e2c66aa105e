// The skin's pictures by number: 128 the icon, 136 the main window's background, 137-162 the
// picture buttons. Every picture is SVG text; the windows render it at the size they show it.
#pragma once

#include <string>
#include <vector>

namespace kestrow::ui {

// The SVG text of picture `id`; empty for an unknown id.
[[nodiscard]] std::string PictureSvg(int id);

// Every picture's number and its size in pixels at 100 %, in number order: what a build that
// renders the pictures ahead of time (the Windows one) renders.
struct PictureSize {
    int id = 0;
    int width = 0;
    int height = 0;
};
[[nodiscard]] std::vector<PictureSize> PictureSizes();

}  // namespace kestrow::ui
