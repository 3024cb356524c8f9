#include "SystemError.h"

#include <cstring>

namespace mavrel {

std::string systemErrorText(int err) {
    if (err == 0) {
        return "unknown error";
    }
    char text[256] = {};
    // The GNU strerror_r returns its text, which need not be in the buffer.
    return ::strerror_r(err, text, sizeof text);
}

} // namespace mavrel
