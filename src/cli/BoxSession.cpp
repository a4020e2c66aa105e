#include "cli/BoxSession.h"

#include "cli/Ports.h"

namespace kestrow::cli {

Outcome<std::unique_ptr<BoxSession>> OpenSession(const CommonOptions& options,
                                                 const ComPort& port) {
    auto session = std::make_unique<BoxSession>(port, options);
    const auto box = IdentifyBox(session->link, options);
    if (!box) {
        return box.failure();
    }
    session->box = *box;
    return session;
}

std::optional<Failure> NotOpening(const ComPort& target) {
    SerialPort port;
    if (Result<void> opened = OpenBoxPort(port, target); !opened) {
        return NotOpened(target, opened.error());
    }
    port.Close();
    return std::nullopt;
}

}  // namespace kestrow::cli
