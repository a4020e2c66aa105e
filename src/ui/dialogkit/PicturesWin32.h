// The skin's pictures on Windows: rendered from their SVG at build time at each of the skin's
// scales into bitmaps (32 bits with alpha, 24 bits when opaque), built into the program as
// bitmap resources
// (WindowsMapping.h: BitmapResourceId), loaded here with their alpha premultiplied for
// AlphaBlend.
#pragma once

#include "ui/dialogkit/SupportWin32.h"

namespace kestrow::ui {

struct PictureBitmap {
    UniqueBitmap bitmap;  // a DIB section, premultiplied alpha when it has 32 bits
    int width = 0;
    int height = 0;
    bool alpha = false;  // has transparent parts (32 bits); else opaque (24 bits)
};

// Picture `picture` at `scalePercent`; an empty bitmap when the program has none.
[[nodiscard]] PictureBitmap LoadPictureBitmap(int picture, int scalePercent);

// Draws `picture` over what `dc` holds in `target`, stretched to it, its transparent parts
// letting the background through.
void BlendPicture(HDC dc, const RECT& target, const PictureBitmap& picture);

// The application's icon `id` at `size` pixels; null when the program has none. The caller
// destroys it (UniqueIcon).
struct IconDeleter {
    void operator()(HICON icon) const {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
[[nodiscard]] UniqueIcon LoadProgramIcon(int id, int size);

}  // namespace kestrow::ui
