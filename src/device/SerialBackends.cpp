// The one place where a port's form chooses its transport.
#include "device/NetworkBackend.h"
#ifdef _WIN32
#include "device/SerialWin32Backend.h"
#else
#include "device/SerialPosixDetail.h"
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
