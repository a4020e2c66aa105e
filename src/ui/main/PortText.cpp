#include "ui/main/PortText.h"

namespace kestrow {

std::optional<ComPort> ParsePortName(const QString& text, const std::string& portsDir) {
    const Result<ComPort> port = ParsePortName(std::string_view(text.toStdString()), portsDir);
    return port ? std::optional<ComPort>(*port) : std::nullopt;
}

}  // namespace kestrow
