#include "PortText.h"

#include <QRegularExpression>

#include "PortNaming.h"

namespace kestrow {

std::optional<int> ParsePortText(const QString& text) {
    static const QRegularExpression kForm(QStringLiteral("^(?:COM ?)?([0-9]{1,3})$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = kForm.match(text.trimmed());
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    const int n = m.captured(1).toInt();
    if (n > kMaxComPort) {
        return std::nullopt;
    }
    return n;
}

}  // namespace kestrow
