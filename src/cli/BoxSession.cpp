#include "cli/BoxSession.h"

#include "cli/Ports.h"

namespace kestrow::cli {

Outcome<std::unique_ptr<Session>> OpenSession(const CommonOptions& options, const ComPort& port) {
    auto session = std::make_unique<Session>(port, options);
    const auto box = IdentifyBox(session->link, options);
    if (!box) {
        return box.failure();
    }
    session->box = *box;
    return session;
}

std::optional<Failure> NotOpening(const ComPort& target) {
    SerialPort port;
    if (!OpenBoxPort(port, target)) {
        return NotOpened(target, port.OpenError(), port.OpenErrorText());
    }
    port.Close();
    return std::nullopt;
}

}  // namespace kestrow::cli
