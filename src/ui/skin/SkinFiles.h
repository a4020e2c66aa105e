// The files of res/skin, built into the program (EmbedSkin.cmake writes their table).
#pragma once

#include <string_view>

namespace kestrow::ui {

// The content of file `name` of res/skin ("button.svg"); empty for a name it does not have.
[[nodiscard]] std::string_view SkinFile(std::string_view name);

}  // namespace kestrow::ui
