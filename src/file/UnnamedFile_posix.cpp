// Systems without unnamed files (O_TMPFILE is Linux's own): the output is always
// written to a named temporary file.
#include "UnnamedFile.h"

#include <cerrno>

namespace mavrel {

int openUnnamedFile(const std::string& /*directory*/) {
    errno = EOPNOTSUPP;
    return -1;
}

bool nameUnnamedFile(int /*fd*/, const std::string& /*path*/, int& err) {
    err = EOPNOTSUPP;
    return false;
}

} // namespace mavrel
