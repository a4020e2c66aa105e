#include "ui/dialogkit/PicturesWin32.h"

#include <cstdint>

#include "ui/dialogkit/WindowsMapping.h"

namespace kestrow::ui {

PictureBitmap LoadPictureBitmap(int picture, int scalePercent) {
    const int resource = win::BitmapResourceId(picture, scalePercent);
    HANDLE image = LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(resource), IMAGE_BITMAP, 0, 0,
                              LR_CREATEDIBSECTION);
    PictureBitmap out;
    out.bitmap.reset(static_cast<HBITMAP>(image));
    DIBSECTION dib{};
    if (!out.bitmap || GetObjectW(out.bitmap.get(), sizeof dib, &dib) != sizeof dib) {
        out.bitmap.reset();
        return out;
    }
    out.width = dib.dsBm.bmWidth;
    out.height = dib.dsBm.bmHeight < 0 ? -dib.dsBm.bmHeight : dib.dsBm.bmHeight;
    out.alpha = dib.dsBm.bmBitsPixel == 32;
    if (out.alpha && dib.dsBm.bmBits != nullptr) {
        // The files hold straight alpha; AlphaBlend wants each colour already multiplied by it.
        auto* pixel = static_cast<uint8_t*>(dib.dsBm.bmBits);
        const size_t count = static_cast<size_t>(out.width) * static_cast<size_t>(out.height);
        for (size_t i = 0; i < count; ++i, pixel += 4) {
            const unsigned alpha = pixel[3];
            for (int c = 0; c < 3; ++c) {
                pixel[c] = static_cast<uint8_t>((pixel[c] * alpha + 127) / 255);
            }
        }
    }
    return out;
}

void BlendPicture(HDC dc, const RECT& target, const PictureBitmap& picture) {
    if (!picture.bitmap) {
        return;
    }
    const SelectedBitmap source(dc, picture.bitmap.get());
    if (!picture.alpha) {
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, target.left, target.top, target.right - target.left,
                   target.bottom - target.top, source.Dc(), 0, 0, picture.width, picture.height,
                   SRCCOPY);
        return;
    }
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, target.left, target.top, target.right - target.left, target.bottom - target.top,
               source.Dc(), 0, 0, picture.width, picture.height, blend);
}

UniqueIcon LoadProgramIcon(int id, int size) {
    return UniqueIcon(static_cast<HICON>(LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(id),
                                                    IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

}  // namespace kestrow::ui
