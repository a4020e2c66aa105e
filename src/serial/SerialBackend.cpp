// The one place where a port's form chooses its transport.
#include "serial/NetworkBackend.h"
#ifdef _WIN32
#include "serial/ComBackendWin32.h"
#else
#include "serial/TtyBackendPosix.h"
#endif

namespace kestrow::detail {

std::unique_ptr<SerialBackend> MakeBackend(PortForm form) {
    if (form != PortForm::Device) {
        return std::make_unique<NetworkBackend>(form);
    }
#ifdef _WIN32
    return std::make_unique<win32::ComBackend>();
#else
    return std::make_unique<posix::TtyBackend>();
#endif
}

}  // namespace kestrow::detail
