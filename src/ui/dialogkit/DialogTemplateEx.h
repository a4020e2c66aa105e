// A DialogTemplate as the Windows dialog manager reads it from memory: one DLGTEMPLATEEX (the
// caption, the size in dialog units, the font) followed by one DLGITEMTEMPLATEEX per control,
// each on a 4-byte boundary, texts in UTF-16. CreateDialogIndirectParamW and
// DialogBoxIndirectParamW take the result as it is. Plain C++, so that the bytes are checked on
// every platform (WindowsMapping.h gives the styles).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ui/dialogkit/DialogTemplate.h"

namespace kestrow::ui::win {

// UTF-8 to UTF-16, as the caller's platform converts it.
using Utf16Converter = std::u16string (*)(std::string_view utf8);

// The template's bytes in 32-bit words: the storage is 4-byte aligned, as the dialog manager
// needs it. Unused bytes at the end are zero.
[[nodiscard]] std::vector<uint32_t> BuildDialogTemplateEx(const DialogTemplate& t,
                                                          Utf16Converter utf16);

// The id a control has in the template: its own, or 0xFFFF (the resource compilers' IDC_STATIC,
// -1 in 16 bits) for a control without one.
[[nodiscard]] uint32_t TemplateItemId(int id);

}  // namespace kestrow::ui::win
