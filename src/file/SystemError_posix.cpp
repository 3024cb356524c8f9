#include "SystemError.h"

#include <cstring>

namespace mavrel {
namespace {

// strerror_r comes in two forms: the XSI one (POSIX; musl, the BSDs, and glibc
// in strict modes) returns an int and fills the buffer; the GNU one returns the
// text, which need not be in the buffer. Overloads on its result take either.
[[maybe_unused]] const char* errorText(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* errorText(const char* result, const char* /*buffer*/) {
    return result;
}

} // namespace

std::string systemErrorText(int err) {
    if (err == 0) {
        return "unknown error";
    }
    char text[256] = {};
    const char* found = errorText(::strerror_r(err, text, sizeof text), text);
    if (found == nullptr || *found == '\0') {
        return "error " + std::to_string(err);
    }
    return found;
}

} // namespace mavrel
