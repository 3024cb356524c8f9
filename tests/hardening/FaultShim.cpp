// Loaded with LD_PRELOAD into the command-line host. It makes steps of writing
// an output fail where no resource limit reaches, records the steps, and sends
// the process a signal at any one of them.
//   MAVREL_FAULT=close     close() of a regular file open for writing closes it,
//                          then reports EIO (as a network file system does when
//                          the data cannot be stored)
//   MAVREL_FAULT=rename    rename() fails with EIO
//   MAVREL_FAULT=tmpfile   an unnamed file (open with O_TMPFILE) is refused with
//                          EOPNOTSUPP, as by a file system that has none
//   (several faults: MAVREL_FAULT=tmpfile,rename)
//   MAVREL_STEP_LOG=FILE   appends one line per step to FILE:
//                            create-unnamed DIR | create-named PATH | open PATH
//                            write | datasync | sync | dirsync DIR
//                            link FROM TO | close | rename FROM TO | unlink PATH
//                          (write, datasync, sync and close: regular files open
//                          for writing only; open: an existing file opened for
//                          writing)
//   MAVREL_SIGNAL_AT="N SIG"  just before step N (from 1), the process sends
//                          itself signal number SIG, as another process would;
//                          "N SIG half": when step N is a write, half of it is
//                          written first, as by a kill in the middle of a write;
//                          "N SIG wait": the step goes on only 200 ms after the
//                          signal, time for another thread to take it
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

template <typename Fn> Fn next(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

using Write = ssize_t (*)(int, const void*, size_t);
using Open = int (*)(const char*, int, ...);

Write realWrite() {
    static const Write real = next<Write>("write");
    return real;
}

bool faultIs(const char* what) {
    const char* fault = std::getenv("MAVREL_FAULT");
    if (fault == nullptr) {
        return false;
    }
    const std::string list = std::string(",") + fault + ",";
    return list.find(std::string(",") + what + ",") != std::string::npos;
}

struct SignalAt {
    long step = 0;
    int signal = 0;
    bool half = false;
    bool wait = false;
};

SignalAt signalAt() {
    SignalAt at;
    if (const char* text = std::getenv("MAVREL_SIGNAL_AT")) {
        char* end = nullptr;
        at.step = std::strtol(text, &end, 10);
        at.signal = static_cast<int>(std::strtol(end, &end, 10));
        at.half = std::strstr(end, "half") != nullptr;
        at.wait = std::strstr(end, "wait") != nullptr;
    }
    return at;
}

int stepLog() {
    static const int fd = [] {
        const char* path = std::getenv("MAVREL_STEP_LOG");
        static const Open realOpen = next<Open>("open");
        return path == nullptr ? -1
                               : realOpen(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    }();
    return fd;
}

std::atomic<long> stepsTaken{0};

const SignalAt& signalAtStep() {
    static const SignalAt at = signalAt();
    return at;
}

// One step: the signal, if this is its step, then the line in the log. A write
// whose signal comes halfway says so instead of taking it.
bool step(const std::string& line, bool canHalve = false) {
    const SignalAt& at = signalAtStep();
    const long n = ++stepsTaken;
    const bool halve = n == at.step && at.half && canHalve;
    if (n == at.step && !halve) {
        ::kill(::getpid(), at.signal);
        if (at.wait) {
            ::usleep(200000);
        }
    }
    if (stepLog() >= 0) {
        const std::string text = line + "\n";
        (void)!realWrite()(stepLog(), text.data(), text.size());
    }
    return halve;
}

bool isWrittenRegularFile(int fd) {
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    return fd != stepLog() && flags >= 0 && (flags & O_ACCMODE) != O_RDONLY &&
           ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string pathOf(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const ssize_t n = ::readlink(link, path, sizeof path);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : "?";
}

int openAndRecord(const char* name, const char* path, int flags, mode_t mode) {
    const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    const bool writing = (flags & O_ACCMODE) != O_RDONLY;
    if (writing && unnamed) {
        step(std::string("create-unnamed ") + path);
        if (faultIs("tmpfile")) {
            errno = EOPNOTSUPP;
            return -1;
        }
    } else if (writing && (flags & O_CREAT) != 0) {
        step(std::string("create-named ") + path);
    } else if (writing) {
        step(std::string("open ") + path);
    }
    static const Open realOpen = next<Open>("open");
    static const Open realOpen64 = next<Open>("open64");
    return (std::strcmp(name, "open64") == 0 ? realOpen64 : realOpen)(path, flags, mode);
}

mode_t modeArgument(int flags, va_list args) {
    const bool needsMode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    return needsMode ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return openAndRecord("open", path, flags, mode);
}

extern "C" __attribute__((visibility("default"))) int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return openAndRecord("open64", path, flags, mode);
}

extern "C" __attribute__((visibility("default"))) ssize_t write(int fd, const void* data,
                                                                size_t n) {
    if (isWrittenRegularFile(fd) && step("write", true) && n > 1) {
        // A short write, which the caller completes after the signal.
        const ssize_t put = realWrite()(fd, data, n / 2);
        ::kill(::getpid(), signalAtStep().signal);
        return put;
    }
    return realWrite()(fd, data, n);
}

extern "C" __attribute__((visibility("default"))) int fdatasync(int fd) {
    using Sync = int (*)(int);
    static const Sync real = next<Sync>("fdatasync");
    step(isDirectory(fd) ? "dirsync " + pathOf(fd) : std::string("datasync"));
    return real(fd);
}

extern "C" __attribute__((visibility("default"))) int fsync(int fd) {
    using Sync = int (*)(int);
    static const Sync real = next<Sync>("fsync");
    step(isDirectory(fd) ? "dirsync " + pathOf(fd) : std::string("sync"));
    return real(fd);
}

extern "C" __attribute__((visibility("default"))) int linkat(int fromDir, const char* from,
                                                             int toDir, const char* to, int flags) {
    using Link = int (*)(int, const char*, int, const char*, int);
    static const Link real = next<Link>("linkat");
    step(std::string("link ") + from + " " + to);
    return real(fromDir, from, toDir, to, flags);
}

extern "C" __attribute__((visibility("default"))) int close(int fd) {
    using Close = int (*)(int);
    static const Close realClose = next<Close>("close");
    if (isWrittenRegularFile(fd)) {
        step("close");
        if (faultIs("close")) {
            (void)realClose(fd);
            errno = EIO;
            return -1;
        }
    }
    return realClose(fd);
}

extern "C" __attribute__((visibility("default"))) int rename(const char* from, const char* to) {
    using Rename = int (*)(const char*, const char*);
    static const Rename realRename = next<Rename>("rename");
    step(std::string("rename ") + from + " " + to);
    if (faultIs("rename")) {
        errno = EIO;
        return -1;
    }
    return realRename(from, to);
}

extern "C" __attribute__((visibility("default"))) int unlink(const char* path) {
    using Unlink = int (*)(const char*);
    static const Unlink real = next<Unlink>("unlink");
    step(std::string("unlink ") + path);
    return real(path);
}
