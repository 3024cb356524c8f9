// Loaded with LD_PRELOAD into the command-line host to make the last two steps
// of writing an output fail, which no resource limit reaches:
//   MAVREL_FAULT=close    close() of a regular file open for writing closes it,
//                         then reports EIO (as a network file system does when
//                         the data cannot be stored)
//   MAVREL_FAULT=rename   rename() fails with EIO
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool faultIs(const char* what) {
    const char* fault = std::getenv("MAVREL_FAULT");
    return fault != nullptr && std::strcmp(fault, what) == 0;
}

template <typename Fn> Fn next(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

bool isWrittenRegularFile(int fd) {
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY && ::fstat(fd, &st) == 0 &&
           S_ISREG(st.st_mode);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int close(int fd) {
    using Close = int (*)(int);
    static const Close realClose = next<Close>("close");
    if (faultIs("close") && isWrittenRegularFile(fd)) {
        (void)realClose(fd);
        errno = EIO;
        return -1;
    }
    return realClose(fd);
}

extern "C" __attribute__((visibility("default"))) int rename(const char* from, const char* to) {
    using Rename = int (*)(const char*, const char*);
    static const Rename realRename = next<Rename>("rename");
    if (faultIs("rename")) {
        errno = EIO;
        return -1;
    }
    return realRename(from, to);
}
