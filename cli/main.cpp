// wavchorus: the command-line host of the chorus library.
#include "HeaderCheck.h"
#include "MavrelWAVChorus.h"
#include "Signals.h"
#include "Utf8.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kVersion = "1.0.0.1";

void printUsage(std::FILE* to) {
    std::fprintf(to,
                 "Usage: wavchorus [OPTION]... IN.wav OUT.wav\n"
                 "Apply a fixed chorus to the 16-bit PCM WAV file IN.wav and write it to OUT.wav.\n"
                 "\n"
                 "The chorus is one delay tap of 25 ms, swept by 10 ms with a 0.1 Hz sine,\n"
                 "added to the dry signal and soft-limited. A stereo file's first channel\n"
                 "is chorused and written to both channels. OUT.wav may name IN.wav.\n"
                 "\n"
                 "      --help     display this help and exit\n"
                 "      --version  output version information and exit\n"
                 "\n"
                 "Exit status: 0 on success, 1 if the chorus failed, 2 for a usage error.\n");
}

int usageError(const char* what) {
    std::fprintf(stderr, "wavchorus: %s\nTry 'wavchorus --help' for more information.\n", what);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // Past a file-size limit (ulimit -f) a write is to fail with EFBIG, which the
    // library reports and cleans up after, rather than kill the process and
    // leave the temporary output file behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // SIGINT, SIGTERM and SIGHUP end the program with one line, as killed by the
    // signal; the output in progress leaves nothing behind.
    wavchorus_cli::installStopHandlers();
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--help") {
            printUsage(stdout);
            return 0;
        } else if (!optionsEnded && arg == "--version") {
            std::printf("wavchorus (MavrelWAVChorus) %s\n", kVersion);
            return 0;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return usageError(("unrecognized option '" + arg + "'").c_str());
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.size() < 2) {
        return usageError(paths.empty() ? "missing input and output files" : "missing output file");
    }
    if (paths.size() > 2) {
        return usageError(("extra operand '" + paths[2] + "'").c_str());
    }

    std::u16string wide[2];
    for (int k = 0; k < 2; ++k) {
        std::optional<std::u16string> w = wavchorus_cli::utf8ToUtf16(paths[k]);
        if (!w) {
            std::fprintf(stderr,
                         "wavchorus: the %s path is not valid UTF-8, which the library cannot "
                         "take; rename the file\n",
                         k == 0 ? "input" : "output");
            return 1;
        }
        wide[k] = std::move(*w);
    }

    for (const std::string& warning : wavchorus_cli::headerWarnings(paths[0])) {
        std::fprintf(stderr, "wavchorus: warning: %s: %s\n", paths[0].c_str(), warning.c_str());
    }

    const std::int32_t result = WAVChorus(wide[0].c_str(), wide[1].c_str());
    std::fflush(stdout);
    if (result != WAVCHORUS_OK) {
        std::fprintf(stderr, "wavchorus: failed (code %d)\n", static_cast<int>(result));
        return 1;
    }
    return 0;
}
