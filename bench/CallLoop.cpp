// call_loop: what one call costs a host that calls WAVChorus file after file in
// one process, side by side with the floor of that work in the same process.
//
//   call_loop [--calls N] [--warmup N] --results FILE INPUT OUTDIR [NAME=LIBRARY]...
//
// Each round runs, in an order that turns from round to round:
//   - floor: the least any program must do to replace an output atomically with
//     a file of the same size: open and read INPUT (in 256 KiB blocks, into a
//     buffer the host keeps), write it to a new temporary file beside the
//     output, close it and rename it over the output;
//   - one call of WAVChorus from each LIBRARY (opened with dlopen), writing over
//     OUTDIR/NAME.wav.
// FILE gets one line per entry: name, median wall time of a call, median CPU
// time of a call (the thread's, kernel included), both in seconds, tab-separated.
// The libraries' reports go to stdout; send it to /dev/null.
#include "MavrelWAVChorus.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using ChorusFunction = std::int32_t (*)(const WAVChorusChar*, const WAVChorusChar*);

struct Entry {
    std::string name;
    ChorusFunction call = nullptr; // null for the floor
    std::u16string output;
    std::vector<double> wall;
    std::vector<double> cpu;
};

double seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Paths here are ASCII: the bench's own temporary directory.
std::u16string widen(const std::string& s) {
    return {s.begin(), s.end()};
}

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "call_loop: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

void copyReplacing(const std::string& input, const std::string& output, std::vector<char>& buf) {
    const std::string temp = output + ".tmp";
    const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        die("open " + input);
    }
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        die("create " + temp);
    }
    for (;;) {
        const ssize_t got = ::read(in, buf.data(), buf.size());
        if (got < 0) {
            die("read " + input);
        }
        if (got == 0) {
            break;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buf.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                die("write " + temp);
            }
            done += put;
        }
    }
    ::close(in);
    if (::close(out) != 0) {
        die("close " + temp);
    }
    if (::rename(temp.c_str(), output.c_str()) != 0) {
        die("rename " + temp);
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

int usage() {
    std::fprintf(stderr, "Usage: call_loop [--calls N] [--warmup N] --results FILE INPUT OUTDIR "
                         "[NAME=LIBRARY]...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    long calls = 1000;
    long warmup = 20;
    std::string results;
    std::vector<std::string> rest;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if ((arg == "--calls" || arg == "--warmup" || arg == "--results") && k + 1 < argc) {
            const std::string value = argv[++k];
            if (arg == "--results") {
                results = value;
            } else {
                (arg == "--calls" ? calls : warmup) = std::strtol(value.c_str(), nullptr, 10);
            }
        } else {
            rest.push_back(arg);
        }
    }
    if (rest.size() < 2 || results.empty() || calls < 1 || warmup < 0) {
        return usage();
    }
    const std::string input = rest[0];
    const std::string outDir = rest[1];

    std::vector<Entry> entries(1);
    entries[0].name = "floor";
    for (std::size_t k = 2; k < rest.size(); ++k) {
        const auto eq = rest[k].find('=');
        if (eq == std::string::npos) {
            return usage();
        }
        Entry e;
        e.name = rest[k].substr(0, eq);
        const std::string library = rest[k].substr(eq + 1);
        void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            std::fprintf(stderr, "call_loop: %s\n", ::dlerror());
            return 1;
        }
        e.call = reinterpret_cast<ChorusFunction>(::dlsym(handle, "WAVChorus"));
        if (e.call == nullptr) {
            std::fprintf(stderr, "call_loop: %s has no WAVChorus\n", library.c_str());
            return 1;
        }
        e.output = widen(outDir + "/" + e.name + ".wav");
        entries.push_back(std::move(e));
    }

    const std::u16string input16 = widen(input);
    const std::string floorOutput = outDir + "/floor.wav";
    std::vector<char> buffer(256 * 1024);
    for (long round = 0; round < warmup + calls; ++round) {
        for (std::size_t j = 0; j < entries.size(); ++j) {
            Entry& e = entries[(j + static_cast<std::size_t>(round)) % entries.size()];
            const double wall0 = seconds(CLOCK_MONOTONIC);
            const double cpu0 = seconds(CLOCK_THREAD_CPUTIME_ID);
            if (e.call == nullptr) {
                copyReplacing(input, floorOutput, buffer);
            } else if (e.call(input16.c_str(), e.output.c_str()) != WAVCHORUS_OK) {
                std::fprintf(stderr, "call_loop: %s failed\n", e.name.c_str());
                return 1;
            }
            const double cpu1 = seconds(CLOCK_THREAD_CPUTIME_ID);
            const double wall1 = seconds(CLOCK_MONOTONIC);
            if (round >= warmup) {
                e.wall.push_back(wall1 - wall0);
                e.cpu.push_back(cpu1 - cpu0);
            }
        }
    }

    std::FILE* f = std::fopen(results.c_str(), "w");
    if (f == nullptr) {
        die("create " + results);
    }
    for (const Entry& e : entries) {
        std::fprintf(f, "%s\t%.9f\t%.9f\n", e.name.c_str(), median(e.wall), median(e.cpu));
    }
    if (std::fclose(f) != 0) {
        die("write " + results);
    }
    return 0;
}
