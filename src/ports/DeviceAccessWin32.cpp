// Who may open a port, on Windows: a COM port opens for one program at a time and has no
// permissions of its own, so a refusal ("Access is denied") means that another program holds
// it. A COM number the system does not have is told apart, with where to look it up.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <array>

#include "base/SystemError.h"
#include "base/Utf8Text.h"
#include "ports/DeviceAccess.h"

namespace kestrow {

Identity CurrentUser() {
    Identity user;
    user.uid = 1;  // no user opens every device the way root does
    std::array<wchar_t, 257> name{};
    DWORD size = static_cast<DWORD>(name.size());
    if (GetUserNameW(name.data(), &size) && size > 0) {
        user.name = Utf8FromWide(std::wstring_view(name.data(), size - 1));
    }
    return user;
}

std::optional<DeviceAccess> ExamineAccess(const std::string& /*device*/, const Identity& /*user*/) {
    return std::nullopt;  // nothing about a COM port tells who may open it
}

Advice AccessAdvice(const DeviceAccess& access) {
    return {access.device + " opens for one program at a time", {}};
}

OpenRefusal ClassifyOpenError(int error) {
    switch (static_cast<DWORD>(error)) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return OpenRefusal::InUse;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return OpenRefusal::NoDevice;
        default:
            return OpenRefusal::Other;
    }
}

std::optional<Advice> RefusalAdvice(int error, const std::string& /*path*/) {
    const std::string call = " (CreateFile: " + SystemErrorText(error) + ")";
    switch (ClassifyOpenError(error)) {
        case OpenRefusal::InUse:
            return Advice{"it is in use by another program" + call,
                          "close the program that has it open (a terminal program, the Kestrow "
                          "panel, another kestrowctl) and try again"};
        case OpenRefusal::NoDevice:
            return Advice{"this computer has no such COM port" + call,
                          "plug the box's adapter in; \"kestrowctl detect\" lists the COM ports "
                          "there are, and Device Manager (Ports) shows the number the adapter got"};
        default:
            return std::nullopt;
    }
}

}  // namespace kestrow
