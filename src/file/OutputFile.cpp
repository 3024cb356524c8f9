#include "OutputFile.h"

#include "Writeback.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace mavrel {
namespace {

// A symlink is followed to the file it names, as a plain create would, so the
// link survives and its target receives the output.
std::string resolveTarget(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : path;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string randomSuffix() {
    std::uint64_t bits = 0;
    // getentropy is POSIX (glibc, musl, the BSDs, emscripten). The name need not
    // be secret, only unlikely to be taken: O_EXCL settles any clash.
    if (::getentropy(&bits, sizeof bits) != 0) {
        bits = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ULL ^
               reinterpret_cast<std::uintptr_t>(&bits);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    return text;
}

} // namespace

OutputFile::~OutputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
    }
}

bool OutputFile::create(const std::string& path, int& err) {
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ < 0) {
            err = errno;
            return false;
        }
        return true;
    }

    target_ = exists ? resolveTarget(path) : path;
    const std::string prefix = directoryOf(target_) + "/." + baseNameOf(target_) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = prefix + randomSuffix() + ".tmp";
        // Mode 0666 lets the umask and the directory's default ACL apply, exactly as
        // for a plain create.
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            tempPath_ = std::move(candidate);
            break;
        }
        if (errno != EEXIST) {
            err = errno;
            return false;
        }
    }
    if (fd_ < 0) {
        err = EEXIST;
        return false;
    }
    if (exists) {
        // The replacement keeps the permissions (and, where allowed, the owner) of
        // the file it replaces.
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            (void)::fchown(fd_, st.st_uid, st.st_gid);
        }
        if (::fchmod(fd_, st.st_mode & 07777) != 0) {
            err = errno;
            return false;
        }
    }
    return true;
}

bool OutputFile::write(const void* data, std::size_t n, int& err) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const ssize_t put = ::write(fd_, p, n);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            err = errno;
            return false;
        }
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

void OutputFile::startWriteback() {
    startWritingBack(fd_);
}

bool OutputFile::commit(int& err) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        err = errno;
        return false;
    }
    if (tempPath_.empty()) {
        return true;
    }
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        err = errno;
        return false;
    }
    tempPath_.clear();
    return true;
}

} // namespace mavrel
