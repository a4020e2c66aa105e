#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "base/UniqueHandleWin32.h"

namespace kestrow {

void HandleCloser::operator()(void* handle) const {
    CloseHandle(handle);
}

}  // namespace kestrow
