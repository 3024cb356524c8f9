// The exported entry point: checks the call, opens the files, prints the report
// and runs the streaming loop.
#include "MavrelWAVChorus.h"

#include "ChorusState.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "PathConversion.h"
#include "Report.h"
#include "StreamLoop.h"
#include "SystemError.h"
#include "WaveFormat.h"

#include <array>
#include <cstdio>
#include <new>
#include <optional>
#include <string>

namespace mavrel {
namespace {

// The file layer takes paths as UTF-8 on every system (on Windows it opens them
// by their UTF-16 form again), and messages name them so.
std::optional<std::string> narrowPath(const WAVChorusChar* path) {
    return utf16ToUtf8(std::basic_string_view<WAVChorusChar>(path));
}
constexpr const char* kBadPathReason = "is not valid UTF-16 (unpaired surrogate)";

std::int32_t fail(std::int32_t code, const char* what, const std::string& path,
                  const std::string& why) {
    std::fprintf(stderr, "WAVChorus: %s \"%s\": %s\n", what, path.c_str(), why.c_str());
    return code;
}

std::int32_t runWAVChorus(const WAVChorusChar* inputPath, const WAVChorusChar* outputPath,
                          Report& report) {
    if (inputPath == nullptr || outputPath == nullptr) {
        std::fprintf(stderr, "WAVChorus: the %s path is NULL\n",
                     inputPath == nullptr ? "input" : "output");
        return WAVCHORUS_ERR_NULL_PATH;
    }
    const std::optional<std::string> inName = narrowPath(inputPath);
    const std::optional<std::string> outName = narrowPath(outputPath);
    if (!inName || !outName) {
        std::fprintf(stderr, "WAVChorus: the %s path %s\n", !inName ? "input" : "output",
                     kBadPathReason);
        return WAVCHORUS_ERR_BAD_PATH;
    }

    int err = 0;
    InputFile in;
    switch (in.open(*inName, err)) {
    case InputFile::OpenStatus::ok:
        break;
    case InputFile::OpenStatus::cannotOpen:
        return fail(WAVCHORUS_ERR_OPEN_INPUT, "cannot open input", *inName, systemErrorText(err));
    case InputFile::OpenStatus::notFileOrPipe:
        return fail(WAVCHORUS_ERR_INPUT_NOT_FILE, "cannot read input", *inName,
                    "neither a regular file nor a pipe");
    }

    std::array<std::uint8_t, kHeaderBytes> header{};
    const std::ptrdiff_t got = in.read(header.data(), header.size(), err);
    if (got < 0) {
        return fail(WAVCHORUS_ERR_READ, "cannot read input", *inName, systemErrorText(err));
    }
    if (const std::optional<HeaderRefusal> refusal =
            headerRefusal(header.data(), static_cast<std::size_t>(got))) {
        return fail(refusal->code, "cannot read input", *inName, refusal->reason);
    }
    const WaveInfo info = readWaveHeader(header);

    ChorusState state = setUpChorus(info.sampleRate);
    addInputHalf(report, info);

    OutputFile out;
    if (!out.create(*outName, err, in.identity())) {
        return fail(WAVCHORUS_ERR_CREATE_OUTPUT, "cannot create output", *outName,
                    systemErrorText(err));
    }
    // The input stands at byte 44: the header read took exactly those bytes.
    const LoopStatus status = runStreamLoop(in, out, info, state, err);
    // The output's half tells what its header holds, unless that could not be
    // written.
    if (status != LoopStatus::headerWriteFailed) {
        addOutputHalf(report, info);
    }
    switch (status) {
    case LoopStatus::ok:
        break;
    case LoopStatus::readFailed:
        return fail(WAVCHORUS_ERR_READ, "cannot read input", *inName, systemErrorText(err));
    case LoopStatus::writeFailed:
    case LoopStatus::headerWriteFailed:
        return fail(WAVCHORUS_ERR_WRITE, "cannot write output", *outName, systemErrorText(err));
    }
    // The input is closed before the output takes its place: the output may
    // replace the input itself.
    in.close();
    if (!out.commit(err)) {
        return fail(WAVCHORUS_ERR_WRITE, "cannot write output", *outName, systemErrorText(err));
    }
    return WAVCHORUS_OK;
}

} // namespace
} // namespace mavrel

extern "C" MAVREL_WAV_CHORUS_API std::int32_t WAVCHORUS_CALL
WAVChorus(const WAVChorusChar* inputPath, const WAVChorusChar* outputPath) {
    // The report goes out whole when the call ends, with the halves it reached.
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
