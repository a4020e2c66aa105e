// Who may open a port, on Windows: a COM port opens for one program at a time and has no
// permissions of its own, so a refusal ("Access is denied") means that another program holds
// it. A COM number the system does not have is told apart, with where to look it up.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <array>

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

std::optional<Advice> RefusalAdvice(const Error& error) {
    if (error.domain != ErrorDomain::Win32) {
        return std::nullopt;  // not the COM port's own refusal
    }
    const std::string call = " (CreateFile: " + SystemErrorText(error.domain, error.code) + ")";
    switch (error.kind) {
        case ErrorKind::Busy:
            return Advice{"it is in use by another program" + call,
                          "close the program that has it open (a terminal program, the Kestrow "
                          "panel, another kestrowctl) and try again"};
        case ErrorKind::NoDevice:
            return Advice{"this computer has no such COM port" + call,
                          "plug the box's adapter in; \"kestrowctl detect\" lists the COM ports "
                          "there are, and Device Manager (Ports) shows the number the adapter got"};
        default:
            return std::nullopt;
    }
}

}  // namespace kestrow
