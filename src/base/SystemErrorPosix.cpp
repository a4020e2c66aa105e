#include <netdb.h>

#include <system_error>

#include "base/Result.h"

namespace kestrow {

std::string SystemErrorText(ErrorDomain domain, int code) {
    switch (domain) {
        case ErrorDomain::None:
            return {};
        case ErrorDomain::Errno:
            return std::generic_category().message(code);  // thread-safe, unlike strerror
        case ErrorDomain::AddrInfo:
            return ::gai_strerror(code);
        case ErrorDomain::Win32:
        case ErrorDomain::Winsock:
            break;  // Windows' codes have no words here
    }
    return "error " + std::to_string(code);
}

}  // namespace kestrow
