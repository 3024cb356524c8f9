#include "SingleFile.h"

#include "CliPath.h"
#include "Console.h"
#include "Decode.h"
#include "FileIdentity.h"
#include "HeaderCheck.h"
#include "Messages.h"
#include "ProgressDisplay.h"
#include "StdoutRedirect.h"
#include "Streams.h"

#include <optional>

namespace wavchorus_cli {
namespace {

// A stream may take as long as its writer does; a regular file takes a tenth
// of a second and shows no progress of its own.
constexpr auto kProgressDelay = std::chrono::seconds(1);

std::optional<CliPath> pathOrComplaint(const std::string& text, const char* which) {
    std::optional<CliPath> p = cliPath(text);
    if (!p) {
        say(std::string("the ") + which +
            " path is not valid UTF-8, which the library cannot take; rename the file");
    }
    return p;
}

// Whether OUT names the file that standard output already is (/dev/stdout,
// /dev/fd/1, the file that > or >> opened): it is then written as "-" is,
// through that descriptor, so that -q, the report and >> do to it what they do
// to "-". The null device is no stream to keep clean, and stays a plain OUT.
bool namesStandardOutput(const std::string& text) {
    const std::optional<CliPath> p = cliPath(text);
    const std::optional<mavrel::FileStatus> path = p ? mavrel::statusOf(p->native) : std::nullopt;
    const std::optional<mavrel::FileStatus> fd1 = mavrel::statusOf(1);
    const std::optional<mavrel::FileStatus> null = mavrel::statusOf("/dev/null");
    return path && fd1 && path->identity == fd1->identity &&
           !(null && null->identity == path->identity);
}

} // namespace

int runSingleFile(const Options& options) {
    const std::string& inText = options.operands[0];
    const std::string& outText = options.operands[1];
    bool fromStdin = inText == "-";
    const bool toStdout = outText == "-" || namesStandardOutput(outText);
    if (fromStdin && console::isTerminal(0)) {
        return usageError("standard input is a terminal; give IN.wav, or redirect it from a file "
                          "or a pipe");
    }
    if (toStdout && console::isTerminal(1)) {
        return usageError("standard output is a terminal, which would show the audio as text; "
                          "give OUT.wav, or redirect it to a file or a pipe");
    }
    const std::optional<Container> container = containerFor(outText);
    if (!container) {
        return usageError(unknownContainerText(outText));
    }
    std::optional<CliPath> in;
    std::optional<CliPath> out;
    if ((!fromStdin && !(in = pathOrComplaint(inText, "input"))) ||
        (!toStdout && !(out = pathOrComplaint(outText, "output")))) {
        return 1;
    }
    // IN and OUT as one file: a FIFO would wait for ever for its own data; a
    // redirected file is processed in place, by the library itself, which then
    // makes the replacement durable as for any input it replaces.
    const std::optional<mavrel::FileStatus> inStatus =
        fromStdin ? mavrel::statusOf(0) : mavrel::statusOf(in->native);
    const std::optional<mavrel::FileStatus> outStatus =
        out ? mavrel::statusOf(out->native) : std::nullopt;
    if (inStatus && outStatus && inStatus->identity == outStatus->identity) {
        if (inStatus->kind == mavrel::FileStatus::Kind::fifo) {
            return usageError("'" + outText + "' is the FIFO that the input is read from");
        }
        if (fromStdin && inStatus->kind == mavrel::FileStatus::Kind::regular) {
            if (const std::optional<std::string> self = mavrel::descriptorPath(0)) {
                in = cliPath(*self);
                fromStdin = false;
            }
        }
    }
    std::error_code ec;
    const bool fromFifo = in && std::filesystem::is_fifo(in->native, ec);
    const bool fromStream = fromStdin || fromFifo;
    const std::string inName = inText == "-" ? "standard input" : in->shown;
    const auto cannotRead = [&inName](const std::string& why) {
        say("cannot read " + inName + ": " + why);
        return 1;
    };
    // Not the library's own layout: decoded first, unless --raw asks for the
    // library's reading of it.
    DecodedInput decoded;
    bool decoding = false;
    // The decoder on the spooled stream at descriptor spool, or on IN when spool
    // is -1: 0, or 1 once the failure is said.
    const auto openDecoded = [&](int spool) {
        std::string why;
        if (!(spool >= 0 ? decoded.openDescriptor(spool, why) : decoded.open(in->native, why))) {
            return cannotRead(why);
        }
        if (!options.quiet) {
            say(inName + ": " + decoded.description());
        }
        if (const std::optional<Refusal> refusal = headerRefusal(decoded.header())) {
            return cannotRead(refusal->reason);
        }
        decoding = true;
        return 0;
    };

    InputStream inputStream;
    OutputStream outputStream;
    if (!fromStream && std::filesystem::is_regular_file(in->native, ec)) {
        const std::uint64_t inputSize = std::filesystem::file_size(in->native, ec);
        const std::optional<std::vector<std::uint8_t>> first = firstBytesOf(in->native);
        if (first && !options.raw && !inLibraryLayout(*first, inputSize)) {
            if (!canDecode()) {
                return cannotRead(cannotDecodeReason());
            }
            if (openDecoded(-1) != 0) {
                return 1;
            }
        }
    }
    // The line shows for a stream that takes longer than a second.
    std::optional<ProgressDisplay> progress;
    if (fromStream && !options.noProgress) {
        progress.emplace(kProgressDelay, [&] {
            return ProgressCounts{.filesTotal = 1,
                                  .bytesDone = inputStream.bytesPassed(),
                                  .bytesTotal = inputStream.declaredBytes()};
        });
    }

    StreamWarnings streamWarnings([&inName](const std::string& text) { warn(inName, text); });
    const auto& warnAboutInput = streamWarnings.sink();
    std::string error;
    if (fromStream) {
        if (!inputStream.open(fromFifo ? &*in : nullptr, warnAboutInput, error)) {
            return cannotRead(error);
        }
        const std::vector<std::uint8_t> header = inputStream.awaitHeader();
        if (!options.raw && !inLibraryLayout(header, std::nullopt)) {
            // Another format: spooled to its end, then decoded from there.
            streamWarnings.drop();
            const int spool = canDecode() ? spoolStream(inputStream.path(), error) : -1;
            const bool readOk = inputStream.finish(error);
            if (!canDecode()) {
                return cannotRead(cannotDecodeReason());
            }
            if (spool < 0 || !readOk) {
                return cannotRead(error);
            }
            if (openDecoded(spool) != 0) {
                return 1;
            }
        } else {
            streamWarnings.pass();
        }
        // The library would name the stream by its /dev/fd path: a refused
        // header is named here instead, and the library is not called.
        if (const std::optional<Refusal> refusal =
                decoding ? std::nullopt : headerRefusal(header)) {
            (void)inputStream.finish(error);
            cannotRead(refusal->reason);
            say("failed (code " + std::to_string(refusal->code) + ")");
            return 1;
        }
    } else if (!decoding) {
        streamWarnings.pass();
        for (const std::string& warning : headerWarnings(in->native)) {
            warnAboutInput(warning);
        }
    }
    if (toStdout && !outputStream.open(error)) {
        say("cannot write standard output: " + error);
        return 1;
    }
    // Another container, or a decoded input, whose output is to take its place
    // only once decoding has succeeded as well: written on the library's behalf.
    EncodedOutput encoded;
    const bool encoding = !toStdout && (decoding || *container != Container::wav);
    if (encoding && !encoded.open(*out, *container, fromStream ? nullptr : &*in, error)) {
        say("cannot write " + out->shown + ": " + error);
        return 1;
    }
    if (decoding && !decoded.start(error)) {
        return cannotRead(error);
    }

    const CliPath& libraryIn = decoding ? decoded.path() : fromStream ? inputStream.path() : *in;
    const CliPath& libraryOut = toStdout ? outputStream.path() : encoding ? encoded.path() : *out;
    StdoutRedirect report(options.quiet ? StdoutRedirect::To::nowhere
                          : toStdout    ? StdoutRedirect::To::toStderr
                                        : StdoutRedirect::To::unchanged);
    if (!report.ok()) {
        say("cannot redirect the report: " + console::lastErrorText());
        return 1;
    }
    const std::int32_t result =
        WAVChorus(libraryIn.forLibrary.c_str(), libraryOut.forLibrary.c_str());
    report.restore();

    std::string readError;
    std::string writeError;
    std::string decodeError;
    std::string encodeError;
    const bool readOk = inputStream.finish(readError);
    const bool decodeOk = decoded.finish(decodeError);
    const bool encodeOk = encoded.finish(result == WAVCHORUS_OK && decodeOk, encodeError);
    const bool writeOk = outputStream.finish(result == WAVCHORUS_OK, writeError);
    if (progress) {
        progress->stop();
    }
    if (result != WAVCHORUS_OK) {
        say("failed (code " + std::to_string(result) + ")");
        return 1;
    }
    if (!readOk) {
        return cannotRead(readError +
                          "; the output holds silence from there to its declared length");
    }
    if (!decodeOk) {
        return cannotRead(decodeError +
                          (toStdout ? "; the output ended there" : "; nothing was written"));
    }
    if (!writeOk) {
        say("cannot write standard output: " + writeError);
        return 1;
    }
    if (!encodeOk) {
        say("cannot write " + out->shown + ": " + encodeError);
        return 1;
    }
    return 0;
}

} // namespace wavchorus_cli
