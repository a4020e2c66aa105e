// A Win32 HANDLE that closes itself (CloseHandle) when it goes: events, files, COM ports. No
// Windows header here; a HANDLE is a void*.
#pragma once

#include <memory>

namespace kestrow {

struct HandleCloser {
    void operator()(void* handle) const;
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace kestrow
