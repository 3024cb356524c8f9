#include "OutputFile.h"

#include "UnnamedFile.h"
#include "WholeIO.h"
#include "Writeback.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mavrel {
namespace {

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A symlink is followed to the file it names, as a plain create would, so the
// link survives and its target receives the output.
std::string resolveTarget(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : path;
}

// A dangling symlink is followed too, to the file it names, which the output
// then creates, as an editor does. Only a link of the calling user's own is
// followed, as the kernel allows in a shared directory such as /tmp
// (fs.protected_symlinks); another's is replaced as a plain name is. Gives path
// itself when it is no link, or when the links go round.
std::string danglingLinkTarget(const std::string& path) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || st.st_uid != ::geteuid()) {
            return at;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(at.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) {
            return path;
        }
        link.resize(static_cast<std::size_t>(n));
        if (link.front() == '/') {
            at = link;
        } else {
            at = directoryOf(at);
            at += '/';
            at += link;
        }
    }
    return path;
}

std::string randomSuffix() {
    std::uint64_t bits = 0;
    // getentropy is POSIX (glibc, musl, the BSDs, emscripten). The name need not
    // be secret, only unlikely to be taken: O_EXCL or EEXIST settles any clash.
    if (::getentropy(&bits, sizeof bits) != 0) {
        bits = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ULL ^
               reinterpret_cast<std::uintptr_t>(&bits);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    return text;
}

// The name a temporary file takes beside target: hidden, unlikely to be taken,
// and short whatever the target's name, which may itself be as long as a name
// can be (255 bytes on most file systems).
std::string temporaryName(const std::string& target) {
    return directoryOf(target) + "/.wavchorus." + randomSuffix() + ".tmp";
}

constexpr int kNameAttempts = 100;

// From the moment the complete file has a temporary name to the rename, a host's
// handler that ended the process would leave that name behind. The catchable
// signals wait in the calling thread until the rename is done (a handler then
// finds the output whole and in place). SIGKILL cannot wait: there it leaves the
// complete file under its temporary name beside the untouched output.
class SignalsHeld {
  public:
    SignalsHeld() {
        sigset_t all;
        sigfillset(&all);
        held_ = ::pthread_sigmask(SIG_BLOCK, &all, &previous_) == 0;
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
    ~SignalsHeld() {
        if (held_) {
            (void)::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        }
    }

  private:
    sigset_t previous_{};
    bool held_ = false;
};

// After a rename, the directory holds the new name; its sync makes the name
// durable.
bool syncDirectory(const std::string& directory, int& err) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return false;
    }
    // A file system that cannot sync a directory says EINVAL; its rename is then
    // as durable as it makes it, and nothing more can be done.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int syncError = errno;
    if (::close(fd) != 0 && synced) {
        err = errno;
        return false;
    }
    if (!synced) {
        err = syncError;
    }
    return synced;
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

bool OutputFile::create(const std::string& path, int& err,
                        const std::optional<FileIdentity>& input) {
    struct stat st {};
    // Only a symbolic link is resolved: resolving reads every component of the
    // path, and any other path already names the file that it replaces.
    replacing_ = ::lstat(path.c_str(), &st) == 0;
    const bool link = replacing_ && S_ISLNK(st.st_mode);
    if (link) {
        replacing_ = ::stat(path.c_str(), &st) == 0;
    }
    if (replacing_ && !S_ISREG(st.st_mode)) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ < 0) {
            err = errno;
            return false;
        }
        direct_ = true;
        return true;
    }

    if (!link) {
        target_ = path;
    } else {
        target_ = replacing_ ? resolveTarget(path) : danglingLinkTarget(path);
    }
    durable_ = replacing_ && sameFile(input, identityFrom(st));
    fd_ = openUnnamedFile(directoryOf(target_));
    unnamed_ = fd_ >= 0;
    // Whatever the refusal (EOPNOTSUPP from the file system, EISDIR from kernels
    // older than O_TMPFILE, EINVAL...), the named file is tried, and its error is
    // the one reported if it fails too.
    for (int attempt = 0; !unnamed_ && attempt < kNameAttempts; ++attempt) {
        std::string candidate = temporaryName(target_);
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
    if (replacing_) {
        // The replacement keeps the permissions (and, where allowed, the owner) of
        // the file it replaces; what the new file already has is left as it is.
        struct stat made {};
        if (::fstat(fd_, &made) != 0) {
            err = errno;
            return false;
        }
        bool setMode = (made.st_mode & 07777) != (st.st_mode & 07777);
        if (made.st_uid != st.st_uid || made.st_gid != st.st_gid) {
            (void)::fchown(fd_, st.st_uid, st.st_gid);
            // A change of owner may clear the set-user-ID and set-group-ID bits.
            setMode = true;
        }
        if (setMode && ::fchmod(fd_, st.st_mode & 07777) != 0) {
            err = errno;
            return false;
        }
    }
    return true;
}

bool OutputFile::write(const void* data, std::size_t n, int& err) {
    if (!writeWhole(fd_, data, n, err)) {
        return false;
    }
    written_ += n;
    constexpr std::uint64_t kWritebackBytes = std::uint64_t{4} << 20;
    if (written_ - writtenBack_ >= kWritebackBytes) {
        startWriteback();
    }
    return true;
}

void OutputFile::startWriteback() {
    writtenBack_ = written_;
    // An output written directly is a pipe or a device: nothing to write back.
    if (direct_) {
        return;
    }
    startWritingBack(fd_);
    if (roomRefused_) {
        return;
    }
    // Room for the next stretch, from a whole mebibyte on (the part of a block
    // that is already written, and waits for its room, is left to the writes),
    // and never past the size expected: all of it will be written.
    constexpr std::uint64_t kAlign = std::uint64_t{1} << 20;
    constexpr std::uint64_t kAhead = std::uint64_t{8} << 20;
    const std::uint64_t from = std::max(roomEnd_, (written_ + kAlign - 1) / kAlign * kAlign);
    const std::uint64_t to = std::min(expected_, (written_ + kAhead) / kAlign * kAlign);
    if (from < to) {
        // Even refused, the room may have been given in part, and the file
        // extended over it.
        roomEnd_ = to;
        roomRefused_ = !reserveRoom(fd_, from, to - from);
    }
}

void OutputFile::expectSize(std::uint64_t bytes) {
    expected_ = bytes;
}

bool OutputFile::commit(int& err) {
    const auto closeFile = [&] {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) {
            err = errno;
            return false;
        }
        return true;
    };
    const auto dropTemporary = [&] {
        (void)::unlink(tempPath_.c_str());
        tempPath_.clear();
    };
    if (direct_) {
        return closeFile();
    }
    // The room found ahead and not written to is cut off.
    if (roomEnd_ > written_ && ::ftruncate(fd_, static_cast<off_t>(written_)) != 0) {
        err = errno;
        return false;
    }
    // In place, the input's content goes with the rename: the new data is on
    // stable storage first.
    if (durable_ && ::fdatasync(fd_) != 0) {
        err = errno;
        return false;
    }
    if (unnamed_ && !replacing_) {
        // Nothing has the output's name: the complete file takes it in one step.
        if (nameUnnamedFile(fd_, target_, err)) {
            if (!closeFile()) {
                (void)::unlink(target_.c_str());
                return false;
            }
            return true;
        }
        if (err != EEXIST) {
            return false;
        }
        // A file took the name meanwhile; it is replaced like any earlier output.
    }
    {
        const SignalsHeld held;
        for (int attempt = 0; unnamed_ && tempPath_.empty(); ++attempt) {
            if (attempt == kNameAttempts) {
                err = EEXIST;
                return false;
            }
            std::string candidate = temporaryName(target_);
            if (nameUnnamedFile(fd_, candidate, err)) {
                tempPath_ = std::move(candidate);
            } else if (err != EEXIST) {
                return false;
            }
        }
        // A close that fails (as on a network file system that cannot store the
        // data) leaves the earlier output in place.
        if (!closeFile()) {
            dropTemporary();
            return false;
        }
        if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
            err = errno;
            dropTemporary();
            return false;
        }
        tempPath_.clear();
    }
    // Should this sync fail, the new output is already in place, whole; the call
    // fails all the same, as it cannot say that the name will survive a power cut.
    return !durable_ || syncDirectory(directoryOf(target_), err);
}

} // namespace mavrel
