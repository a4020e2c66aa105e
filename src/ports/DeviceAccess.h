// Who may open a device, for the words when a port is refused (the panel's message box,
// kestrowctl's line and its doctor): on POSIX the device's group against the user's groups, and
// the command that lets the user in. On Windows a COM port has no permissions to speak of: a
// refusal means that another program holds it (DeviceAccessWin32.cpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"

namespace kestrow {

// The user a check is about; CurrentUser() for the running process, others in tests.
struct Identity {
    unsigned uid = 0;
    std::vector<unsigned> groups;  // the process's groups: effective and supplementary
    std::string name;              // the login name, for /etc/group's member lists
};
[[nodiscard]] Identity CurrentUser();

struct DeviceAccess {
    std::string device;          // the device itself, links followed
    std::string group;           // its group's name (or number)
    unsigned mode = 0;           // its permission bits
    bool mayOpen = false;        // read and write for this user by owner, group or others
    bool inGroup = false;        // the user's process has the group
    bool listedInGroup = false;  // /etc/group lists the user in it: a new login brings it
    bool usb = false;            // it has USB ids, for which doctor prints a udev rule
};

// What stat says about `device` for `user`; none when it cannot be examined.
[[nodiscard]] std::optional<DeviceAccess> ExamineAccess(const std::string& device,
                                                        const Identity& user);

// Why the user may not open the device ("/dev/ttyUSB0 belongs to group dialout, which you are
// not in") and the command that changes it ("sudo usermod -aG dialout $USER, then log out and
// in again"); no command where there is nothing to change.
struct Advice {
    std::string why;
    std::string fix;
};
[[nodiscard]] Advice AccessAdvice(const DeviceAccess& access);

// The advice for the running user after the open of a device failed (`error.path`): on POSIX
// only for a permission refusal of a device that can be examined; on Windows for a COM port
// another program holds and for one that does not exist, each naming the Win32 call and the
// system's text. None otherwise (a network port's failure among them).
[[nodiscard]] std::optional<Advice> RefusalAdvice(const Error& error);

}  // namespace kestrow
