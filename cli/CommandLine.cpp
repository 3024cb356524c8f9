#include "CommandLine.h"

#include "Batch.h"
#include "Decode.h"
#include "Messages.h"
#include "Options.h"
#include "Signals.h"
#include "SingleFile.h"
#include "VersionInfo.h"

#include <cstdio>

namespace wavchorus_cli {
namespace {

void printUsage() {
    std::printf("Usage: wavchorus [OPTION]... IN.wav OUT.wav\n"
                "  or:  wavchorus [OPTION]... -t DIR IN.wav...\n"
                "Apply a fixed chorus to the 16-bit PCM WAV file IN.wav and write it to OUT.wav,\n"
                "or, in the second form, each IN.wav to DIR under its own file name.\n"
                "\n"
                "The chorus is one delay tap of 25 ms, swept by 10 ms with a 0.1 Hz sine,\n"
                "added to the dry signal and soft-limited. A stereo file's first channel\n"
                "is chorused and written to both channels. OUT.wav may name IN.wav.\n"
                "\n"
                "A file in another layout or format (24-bit, float, RF64, AIFF, FLAC, Ogg,\n"
                "Opus, MP3, ...) is decoded to 16-bit PCM first%s. OUT's extension picks\n"
                "its container: .wav (or none), .flac, .aiff, .aif, .ogg, .opus or .mp3.\n"
                "\n"
                "IN.wav '-' is standard input and OUT.wav '-' standard output; the report\n"
                "then goes to standard error. A pipe or FIFO is read once, to its end.\n"
                "\n"
                "  -t, --target-directory=DIR  write each IN.wav to DIR under its own file name\n"
                "  -j, --jobs=N        chorus N files at once (default: the number of\n"
                "                        processors)\n"
                "  -q, --quiet         do not print the report of each file\n"
                "      --raw           read each input at the library's fixed offsets, as a\n"
                "                        host of the library does, decoding nothing\n"
                "      --no-progress   do not show the progress line on a terminal\n"
                "      --help          display this help and exit\n"
                "      --version       output version information and exit\n"
                "\n"
                "On a terminal a progress line on standard error shows the files done, the\n"
                "bytes, the time taken and the time left: for many files, and for standard\n"
                "input or a FIFO that takes longer than a second.\n"
                "\n"
                "Exit status: 0 when every file was written, 1 if any failed (each failure is\n"
                "named on standard error, and the other files are still done), 2 for a usage\n"
                "error, found before any file is touched.\n",
                canDecode() ? ""
                            : " (not in this build, made without libsndfile: it refuses\n"
                              "such files, and writes WAV only)");
    if (const std::string missing = missingFormats(); !missing.empty()) {
        std::printf("\nThis build's libsndfile lacks %s, in and out.\n", missing.c_str());
    }
}

} // namespace

int runCommandLine(const std::vector<std::string>& args) {
    const ParsedOptions parsed = parseOptions(args);
    if (!parsed.usageError.empty()) {
        return usageError(parsed.usageError);
    }
    const Options& options = parsed.options;
    if (options.help) {
        printUsage();
        return 0;
    }
    if (options.version) {
        std::printf("wavchorus (MavrelWAVChorus) %s\n", MAVREL_VERSION);
        return 0;
    }
    // A stop waits until this thread, which calls the library for a single
    // file, is past naming an output.
    const StopWaitsForThread waited;
    return options.targetDirectory ? runBatch(options) : runSingleFile(options);
}

} // namespace wavchorus_cli
