#include "ports/DeviceAccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ports/SysFilesPosix.h"

namespace kestrow {

Identity CurrentUser() {
    Identity user;
    user.uid = ::geteuid();
    user.groups.push_back(::getegid());
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 0)));
    if (count > 0 && ::getgroups(count, groups.data()) == count) {
        user.groups.insert(user.groups.end(), groups.begin(), groups.end());
    }
    if (const passwd* pw = ::getpwuid(user.uid)) {
        user.name = pw->pw_name;
    }
    return user;
}

std::optional<DeviceAccess> ExamineAccess(const std::string& device, const Identity& user) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(device, ec);
    struct stat info {};
    if (ec || ::stat(real.c_str(), &info) != 0) {
        return std::nullopt;
    }
    DeviceAccess access;
    access.device = real.string();
    access.mode = info.st_mode & 07777;
    access.usb = !UsbIdsOf("/sys", real.filename().string()).first.empty();
    access.inGroup =
        std::find(user.groups.begin(), user.groups.end(), info.st_gid) != user.groups.end();
    access.group = std::to_string(info.st_gid);
    if (const group* g = ::getgrgid(info.st_gid)) {
        access.group = g->gr_name;
        for (char** member = g->gr_mem; member != nullptr && *member != nullptr; ++member) {
            access.listedInGroup = access.listedInGroup || user.name == *member;
        }
    }
    const auto rw = [&info](unsigned shift) { return ((info.st_mode >> shift) & 06) == 06; };
    access.mayOpen =
        user.uid == 0 || (user.uid == info.st_uid && rw(6)) || (access.inGroup && rw(3)) || rw(0);
    return access;
}

Advice AccessAdvice(const DeviceAccess& a) {
    std::array<char, 8> mode{};
    std::snprintf(mode.data(), mode.size(), "%04o", a.mode);
    const bool groupMayOpen = ((a.mode >> 3) & 06) == 06;
    if (!groupMayOpen) {
        return {a.device + " (mode " + mode.data() + ") opens for its owner only",
                "sudo chgrp dialout " + a.device + " && sudo chmod 0660 " + a.device +
                    (a.usb ? " (until it is plugged in again; \"kestrowctl doctor\" prints a "
                             "udev rule that lasts)"
                           : " (until the system starts again)")};
    }
    if (a.inGroup) {
        return {a.device + " belongs to group " + a.group + ", which you are in", {}};
    }
    if (a.listedInGroup) {
        return {a.device + " belongs to group " + a.group +
                    ", which you joined after this session began",
                "log out and in again"};
    }
    return {a.device + " belongs to group " + a.group + ", which you are not in",
            "sudo usermod -aG " + a.group + " $USER, then log out and in again"};
}

std::optional<Advice> RefusalAdvice(const Error& error) {
    if (error.kind != ErrorKind::Permission || error.path.empty()) {
        return std::nullopt;
    }
    const auto access = ExamineAccess(error.path, CurrentUser());
    return access ? std::optional<Advice>(AccessAdvice(*access)) : std::nullopt;
}

}  // namespace kestrow
