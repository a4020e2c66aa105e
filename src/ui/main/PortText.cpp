#include "ui/main/PortText.h"

namespace kestrow {

std::optional<ComPort> ParsePortName(const QString& text, const std::string& portsDir) {
    return ParsePortName(std::string_view(text.toStdString()), portsDir);
}

}  // namespace kestrow
