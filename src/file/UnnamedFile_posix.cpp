// O_TMPFILE and the naming of its file through /proc are Linux's own. Other
// systems have no unnamed files: the output is always written to a named
// temporary file.
#include "UnnamedFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace mavrel {

#if defined(__linux__)
constexpr const char* kOwnDescriptors = "/proc/self/fd";

int openUnnamedFile(const std::string& directory) {
    // The finished file is named through /proc/self/fd, which needs no privilege
    // (AT_EMPTY_PATH needs CAP_DAC_READ_SEARCH). Without /proc, as in a bare
    // chroot, it could be written but never named: take the named file then.
    if (::access(kOwnDescriptors, X_OK) != 0) {
        return -1;
    }
    // Not O_EXCL, which would keep the file from ever being linked.
    return ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

bool nameUnnamedFile(int fd, const std::string& path, int& err) {
    char self[64];
    std::snprintf(self, sizeof self, "%s/%d", kOwnDescriptors, fd);
    if (::linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        err = errno;
        return false;
    }
    return true;
}
#else
int openUnnamedFile(const std::string& /*directory*/) {
    errno = EOPNOTSUPP;
    return -1;
}

bool nameUnnamedFile(int /*fd*/, const std::string& /*path*/, int& err) {
    err = EOPNOTSUPP;
    return false;
}
#endif

} // namespace mavrel
