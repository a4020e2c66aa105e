#include <system_error>

#include "base/SystemError.h"

namespace kestrow {

std::string SystemErrorText(int error) {
    return std::generic_category().message(error);  // thread-safe, unlike strerror
}

}  // namespace kestrow
