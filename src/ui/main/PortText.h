// The port typed into the port selector's edit field: "COM n", "COMn" or "n" with n in 0..255
// (blanks around it and the letters' case do not matter), a device path, or a network port's
// URL (rfc2217://HOST:PORT, socket://HOST:PORT). Anything else names no port.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "ports/PortNaming.h"

namespace kestrow {

[[nodiscard]] std::optional<ComPort> ParsePortName(const QString& text,
                                                   const std::string& portsDir);

}  // namespace kestrow
