#include "ui/main/PortText.h"

#include "device/PortNaming.h"

namespace kestrow {

std::optional<int> ParsePortText(const QString& text) {
    return ParsePortText(std::string_view(text.toStdString()));
}

}  // namespace kestrow
