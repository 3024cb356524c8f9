// The exported entry point as the library had it before the fast engine, for the
// benchmark's reference build: the same checks, files and report, with the
// straightforward signal path and streaming loop.
#include "MavrelWAVChorus.h"

#include "InputFile.h"
#include "OutputFile.h"
#include "PathConversion.h"
#include "ReferenceChorusState.h"
#include "ReferenceStreamLoop.h"
#include "Report.h"
#include "WaveHeader.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>

namespace mavrel {
namespace {

const char* reasonText(int err) {
    return err != 0 ? std::strerror(err) : "unknown error";
}

std::int32_t fail(std::int32_t code, const char* what, const std::string& path, const char* why) {
    std::fprintf(stderr, "WAVChorus: %s \"%s\": %s\n", what, path.c_str(), why);
    return code;
}

std::int32_t runWAVChorus(const char16_t* inputPath, const char16_t* outputPath, Report& report) {
    if (inputPath == nullptr || outputPath == nullptr) {
        std::fprintf(stderr, "WAVChorus: the %s path is NULL\n",
                     inputPath == nullptr ? "input" : "output");
        return WAVCHORUS_ERR_NULL_PATH;
    }
    const std::optional<std::string> inName = utf16ToUtf8(inputPath);
    const std::optional<std::string> outName = utf16ToUtf8(outputPath);
    if (!inName || !outName) {
        std::fprintf(stderr, "WAVChorus: the %s path is not valid UTF-16 (unpaired surrogate)\n",
                     !inName ? "input" : "output");
        return WAVCHORUS_ERR_BAD_PATH;
    }

    int err = 0;
    InputFile in;
    switch (in.open(*inName, err)) {
    case InputFile::OpenStatus::ok:
        break;
    case InputFile::OpenStatus::cannotOpen:
        return fail(WAVCHORUS_ERR_OPEN_INPUT, "cannot open input", *inName, reasonText(err));
    case InputFile::OpenStatus::notFileOrPipe:
        return fail(WAVCHORUS_ERR_INPUT_NOT_FILE, "cannot read input", *inName,
                    "neither a regular file nor a pipe");
    }

    std::array<std::uint8_t, kHeaderBytes> header{};
    const std::ptrdiff_t got = in.read(header.data(), header.size(), err);
    if (got < 0) {
        return fail(WAVCHORUS_ERR_READ, "cannot read input", *inName, reasonText(err));
    }
    if (static_cast<std::size_t>(got) < kHeaderBytes) {
        return fail(WAVCHORUS_ERR_SHORT_HEADER, "cannot read input", *inName,
                    "shorter than the 44-byte WAV header");
    }
    const WaveInfo info = readWaveHeader(header);
    if (info.channels == 0) {
        return fail(WAVCHORUS_ERR_BAD_CHANNELS, "cannot read input", *inName,
                    "the header gives 0 channels");
    }
    if (info.sampleRate <= 0 || info.sampleRate > WAVCHORUS_MAX_RATE) {
        char why[96];
        std::snprintf(why, sizeof why, "sample rate %d Hz is outside 1 to %d Hz",
                      static_cast<int>(info.sampleRate), WAVCHORUS_MAX_RATE);
        return fail(WAVCHORUS_ERR_BAD_RATE, "cannot read input", *inName, why);
    }

    reference::ChorusState state = reference::setUpChorus(info.sampleRate);
    addInputHalf(report, info);

    OutputFile out;
    if (!out.create(*outName, err)) {
        return fail(WAVCHORUS_ERR_CREATE_OUTPUT, "cannot create output", *outName, reasonText(err));
    }
    const std::array<std::uint8_t, kHeaderBytes> outHeader = makeOutputHeader(info);
    if (!out.write(outHeader.data(), outHeader.size(), err)) {
        return fail(WAVCHORUS_ERR_WRITE, "cannot write output", *outName, reasonText(err));
    }
    addOutputHalf(report, info);

    // The input stands at byte 44: the header read took exactly those bytes.
    switch (reference::runStreamLoop(in, out, info, state, err)) {
    case reference::LoopStatus::ok:
        break;
    case reference::LoopStatus::readFailed:
        return fail(WAVCHORUS_ERR_READ, "cannot read input", *inName, reasonText(err));
    case reference::LoopStatus::writeFailed:
        return fail(WAVCHORUS_ERR_WRITE, "cannot write output", *outName, reasonText(err));
    }
    if (!out.commit(err)) {
        return fail(WAVCHORUS_ERR_WRITE, "cannot write output", *outName, reasonText(err));
    }
    return WAVCHORUS_OK;
}

} // namespace
} // namespace mavrel

extern "C" MAVREL_WAV_CHORUS_API std::int32_t WAVChorus(const WAVChorusChar* inputPath,
                                                        const WAVChorusChar* outputPath) {
    // The report goes out whole when the call ends, as the library's does.
    mavrel::Report report;
    std::int32_t result = WAVCHORUS_ERR_NO_MEMORY;
    try {
        result = mavrel::runWAVChorus(inputPath, outputPath, report);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "WAVChorus: out of memory\n");
    }
    mavrel::emitReport(report);
    return result;
}
