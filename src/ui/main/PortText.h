// The COM port typed into the port selector's edit field: "COM n", "COMn" or "n" with n in
// 0..255 (blanks around it and the letters' case do not matter). Anything else names no port.
#pragma once

#include <QString>
#include <optional>

namespace kestrow {

[[nodiscard]] std::optional<int> ParsePortText(const QString& text);

}  // namespace kestrow
