#include "HardeningSupport.h"

#include "MavrelWAVChorus.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <linux/capability.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace hardening {
namespace {

void put(Bytes& b, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// What a child does before its work: limits, signals, environment, permissions.
bool setUpChild(const ChildSetup& setup) {
    std::signal(SIGPIPE, SIG_IGN);
    for (const int stop : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(stop, SIG_DFL);
    }
    for (const int ignored : setup.ignoredSignals) {
        std::signal(ignored, SIG_IGN);
    }
    if (setup.fileSizeLimit >= 0) {
        std::signal(SIGXFSZ, setup.ignoreFileSizeSignal ? SIG_IGN : SIG_DFL);
        const auto limit = static_cast<rlim_t>(setup.fileSizeLimit);
        const rlimit r{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &r) != 0) {
            return false;
        }
    }
    for (const std::string& kv : setup.env) {
        const auto eq = kv.find('=');
        if (::setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1) != 0) {
            return false;
        }
    }
    return !setup.obeyPermissions || dropPermissionOverride();
}

constexpr int kPermissionCaps[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};

} // namespace

Bytes wavHeader(std::uint16_t channels, std::uint32_t rate, std::uint32_t dataBytes) {
    Bytes h(44, 0);
    std::memcpy(&h[0], "RIFF", 4);
    put(h, 4, std::uint64_t{dataBytes} + 36, 4);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    put(h, 16, 16, 4);
    put(h, 20, 1, 2);
    put(h, 22, channels, 2);
    put(h, 24, rate, 4);
    put(h, 28, std::uint64_t{channels} * rate * 2, 4);
    put(h, 32, std::uint64_t{channels} * 2, 2);
    put(h, 34, 16, 2);
    std::memcpy(&h[36], "data", 4);
    put(h, 40, dataBytes, 4);
    return h;
}

std::vector<std::int16_t> testSignal(std::size_t values, unsigned seed) {
    std::vector<std::int16_t> v(values);
    for (std::size_t i = 0; i < values; ++i) {
        const double phase = 0.013 * static_cast<double>(i) + 0.7 * seed;
        v[i] = static_cast<std::int16_t>(std::lround(24000.0 * std::sin(phase)));
        if ((i + seed) % 97 == 0) {
            v[i] = (i % 2 == 0) ? std::int16_t{32767} : std::int16_t{-32768};
        }
    }
    return v;
}

void appendValues(Bytes& b, const std::vector<std::int16_t>& values) {
    for (const std::int16_t s : values) {
        const auto u = static_cast<std::uint16_t>(s);
        b.push_back(static_cast<std::uint8_t>(u));
        b.push_back(static_cast<std::uint8_t>(u >> 8U));
    }
}

Bytes wavFile(std::uint16_t channels, std::uint32_t rate, const std::vector<std::int16_t>& values) {
    Bytes b = wavHeader(channels, rate, static_cast<std::uint32_t>(2 * values.size()));
    appendValues(b, values);
    return b;
}

std::vector<std::int16_t> samplesOf(const Bytes& file) {
    std::vector<std::int16_t> v;
    for (std::size_t at = 44; at + 1 < file.size(); at += 2) {
        v.push_back(static_cast<std::int16_t>(le16(file, at)));
    }
    return v;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

unsigned fileMode(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        throw std::runtime_error("cannot stat " + path);
    }
    return st.st_mode & 07777U;
}

ScratchDir::ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/wavchorus-hardening.XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = templ;
}

ScratchDir::~ScratchDir() {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Directories made read-only by a test are opened up again first.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::remove_all(path_, ec);
}

std::set<std::string> ScratchDir::entries() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

bool dropPermissionOverride() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    for (const int cap : kPermissionCaps) {
        // Out of the bounding set, so that a program executed as root does not get
        // it back; this needs CAP_SETPCAP, which a process without the
        // capability to drop need not have.
        (void)::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
        const auto bit = 1U << static_cast<unsigned>(cap);
        data[0].effective &= ~bit;
        data[0].permitted &= ~bit;
        data[0].inheritable &= ~bit;
    }
    if (::syscall(SYS_capset, &header, data) != 0) {
        return false;
    }
    for (const int cap : kPermissionCaps) {
        if (::geteuid() == 0 && ::prctl(PR_CAPBSET_READ, cap, 0, 0, 0) != 0) {
            return false;
        }
    }
    return true;
}

int inChild(const ChildSetup& setup, const std::function<int()>& fn) {
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ::_exit(setUpChild(setup) ? fn() : kSetupUnavailable);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("waitpid failed");
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int wavChorusInChild(const ChildSetup& setup, const std::string& in, const std::string& out) {
    const std::u16string in16 = toU16(in);
    const std::u16string out16 = toU16(out);
    const int status = inChild(setup, [&] {
        const std::int32_t r = WAVChorus(in16.c_str(), out16.c_str());
        if (r == WAVCHORUS_OK) {
            return 0;
        }
        return r < 0 && r > -100 ? static_cast<int>(-r) : 100;
    });
    if (status < 0) {
        return kChildKilled;
    }
    if (status == 0) {
        return WAVCHORUS_OK;
    }
    if (status == kSetupUnavailable) {
        return kSetupUnavailable;
    }
    return status > 0 && status < 100 ? -status : 1000 + status;
}

CliProcess startCli(const ChildSetup& setup, const std::string& in, const std::string& out) {
    return startCli(setup, std::vector<std::string>{in, out});
}

CliProcess startCli(const ChildSetup& setup, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("wavchorus"));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        if (!setUpChild(setup)) {
            ::_exit(kSetupUnavailable);
        }
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull < 0 || ::dup2(devNull, 1) < 0 || ::dup2(fds[1], 2) < 0) {
            ::_exit(kSetupUnavailable);
        }
        if (!setup.standardInput.empty()) {
            const int input = ::open(setup.standardInput.c_str(), O_RDONLY);
            if (input < 0 || ::dup2(input, 0) < 0) {
                ::_exit(kSetupUnavailable);
            }
        }
        ::execv(WAVCHORUS_CLI, argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    return CliProcess{pid, fds[0]};
}

CliResult finishCli(CliProcess& p) {
    CliResult result;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(p.errFd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        result.err.append(buf, static_cast<std::size_t>(n));
    }
    ::close(p.errFd);
    p.errFd = -1;
    int status = 0;
    while (::waitpid(p.pid, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("waitpid failed");
        }
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}

CliResult runCli(const ChildSetup& setup, const std::string& in, const std::string& out) {
    CliProcess p = startCli(setup, in, out);
    return finishCli(p);
}

CliResult runCli(const ChildSetup& setup, const std::vector<std::string>& args) {
    CliProcess p = startCli(setup, args);
    return finishCli(p);
}

} // namespace hardening
