// libFuzzer target: writes the fuzzer's bytes to a file in a private temporary
// directory, runs the whole WAVChorus call on it, and checks what a caller relies
// on: the result code that the header calls for, the exact output header and
// size on success, and on failure no output and no temporary file left.
#include "ExpectedOutput.h"
#include "MavrelWAVChorus.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#if __has_include(<sanitizer/common_interface_defs.h>)
#include <sanitizer/common_interface_defs.h>
#define MAVREL_FUZZ_HAVE_SANITIZER 1
#endif

namespace {

// A header that declares more frames than the file holds is padded with silence
// up to the declared count: up to 4 GiB of output for a 44-byte file. That is the
// required behaviour, and the hostile-header tests follow it through a pipe; here
// it would spend the run writing silence. So when the padding would exceed this
// many values, the harness clears the two high bytes of the declared data size
// (bytes 42-43, leaving at most 32 Ki values) before writing the file. Every other byte reaches the
// library as the fuzzer made it, and the per-input -timeout still catches a real hang.
constexpr std::uint64_t kMaxPaddedValues = 1U << 15U;

struct Scratch {
    std::string dir;
    std::string in;
    std::string out;
    std::u16string in16;
    std::u16string out16;
};

// The fuzzer's one piece of process state: where it writes its files.
Scratch* gScratch = nullptr;

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "wavchorus_fuzz: broken promise: %s\n", what);
#ifdef MAVREL_FUZZ_HAVE_SANITIZER
    // stderr is closed under -close_fd_mask; the sanitizers' report still gets out.
    const std::string summary = std::string("wavchorus_fuzz: broken promise: ") + what;
    __sanitizer_report_error_summary(summary.c_str());
#endif
    std::abort();
}

std::u16string widen(const std::string& s) {
    return {s.begin(), s.end()};
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        violated("cannot write the input file (harness)");
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            violated("cannot write the input file (harness)");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        violated("cannot close the input file (harness)");
    }
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bytes.clear();
    std::array<std::uint8_t, 65536> block{};
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0) {
            violated("cannot read a file back (harness)");
        }
        if (n == 0) {
            break;
        }
        bytes.insert(bytes.end(), block.begin(), block.begin() + n);
    }
    ::close(fd);
    return true;
}

std::set<std::string> entries(const std::string& dir) {
    std::set<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        violated("cannot list the scratch directory (harness)");
    }
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") {
            names.insert(name);
        }
    }
    ::closedir(d);
    return names;
}

// The result that the input's header calls for, checked in the library's order.
std::int32_t expectedResult(const std::vector<std::uint8_t>& file) {
    if (file.size() < 44) {
        return WAVCHORUS_ERR_SHORT_HEADER;
    }
    const mavrel_fuzz::DeclaredFormat f = mavrel_fuzz::declaredFormat(file.data());
    if (f.channels == 0) {
        return WAVCHORUS_ERR_BAD_CHANNELS;
    }
    const auto rate = static_cast<std::int32_t>(f.sampleRate);
    if (rate <= 0 || rate > WAVCHORUS_MAX_RATE) {
        return WAVCHORUS_ERR_BAD_RATE;
    }
    return WAVCHORUS_OK;
}

std::vector<std::uint8_t> boundedInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> file(data, data + size);
    if (size < 44) {
        return file;
    }
    const mavrel_fuzz::DeclaredFormat f = mavrel_fuzz::declaredFormat(file.data());
    const std::uint64_t held = (size - 44) / 2;
    if (mavrel_fuzz::expectedOutputValues(f, size) > held + kMaxPaddedValues) {
        file[42] = 0;
        file[43] = 0;
    }
    return file;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/wavchorus_fuzz.XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) {
        std::perror("wavchorus_fuzz: mkdtemp");
        std::exit(1);
    }
    gScratch = new Scratch{templ, templ + "/in.wav", templ + "/out.wav", {}, {}};
    gScratch->in16 = widen(gScratch->in);
    gScratch->out16 = widen(gScratch->out);
    std::atexit([] {
        ::unlink(gScratch->in.c_str());
        ::unlink(gScratch->out.c_str());
        ::rmdir(gScratch->dir.c_str());
        delete gScratch;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Scratch& s = *gScratch;
    const std::vector<std::uint8_t> file = boundedInput(data, size);
    writeFile(s.in, file);

    const std::int32_t result = WAVChorus(s.in16.c_str(), s.out16.c_str());
    if (result != expectedResult(file)) {
        violated("the result is not the one the header calls for");
    }

    std::vector<std::uint8_t> back;
    if (!readFile(s.in, back) || back != file) {
        violated("the input was changed");
    }
    std::vector<std::uint8_t> out;
    const bool haveOutput = readFile(s.out, out);
    const std::set<std::string> names = entries(s.dir);
    if (result != WAVCHORUS_OK) {
        if (haveOutput) {
            violated("a failed call left an output");
        }
        if (names != std::set<std::string>{"in.wav"}) {
            violated("a failed call left a file behind");
        }
    } else {
        if (!haveOutput) {
            violated("a successful call left no output");
        }
        if (names != std::set<std::string>{"in.wav", "out.wav"}) {
            violated("a successful call left a temporary file");
        }
        const mavrel_fuzz::DeclaredFormat f = mavrel_fuzz::declaredFormat(file.data());
        const std::array<std::uint8_t, 44> header = mavrel_fuzz::expectedOutputHeader(f);
        if (out.size() < 44 || std::memcmp(out.data(), header.data(), header.size()) != 0) {
            violated("the output header is not the canonical one for the input");
        }
        if (out.size() != 44 + 2 * mavrel_fuzz::expectedOutputValues(f, file.size())) {
            violated("the output does not hold the expected number of values");
        }
        ::unlink(s.out.c_str());
    }
    return 0;
}
