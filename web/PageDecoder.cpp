// The page's decoder module: a sound file in the module's file system decoded
// to the library's canonical 16-bit WAV, by the command line's own reader
// (wavchorus_reader, through libsndfile), so that the page and wavchorus give the
// library the same bytes for the same file. The worker loads it only for a
// file that is not in the library's own layout.
#include "Decode.h"
#include "DecodeParts.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// What the call tells the worker, on stdout, one line each: the description of
// what was converted, or the reason the file could not be decoded.
void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace

// 1: decoded into outputPath (the description said); 0: no sound file that this
// module decodes (the reason said); 2: the file is in the library's own layout
// and goes to it as it is; -1: the output could not be written.
extern "C" int PageDecodeToCanonical(const char* inputPath, const char* outputPath) {
    using namespace wavchorus_cli;
    const auto first = firstBytesOf(inputPath);
    std::error_code failed;
    const std::uint64_t size = std::filesystem::file_size(inputPath, failed);
    if (!first || failed || inLibraryLayout(*first, size)) {
        return 2;
    }
    SF_INFO info{};
    SoundReader reader;
    std::string error;
    if (!reader.take(sf_open(inputPath, SFM_READ, &info), info, error)) {
        say(error);
        return 0;
    }
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(outputPath, "wb"));
    if (!out) {
        say("the decoded file could not be made");
        return -1;
    }
    bool written = std::fwrite(reader.header().data(), 1, reader.header().size(), out.get()) ==
                   reader.header().size();
    std::span<const std::uint8_t> bytes;
    while (written && reader.next(bytes, error)) {
        written = std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size();
    }
    if (!error.empty()) {
        say(error);
        return 0;
    }
    if (!written || std::fclose(out.release()) != 0) {
        say("the decoded file could not be written");
        return -1;
    }
    say(reader.description());
    return 1;
}
