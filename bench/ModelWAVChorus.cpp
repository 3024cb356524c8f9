// The benchmark's baseline: WAVChorus computed by the test suite's straightforward
// model of the chorus (tests/support/ReferenceChorus.h), value by value with a
// sine and an arctangent each, behind the same checks, files and report as the
// library's entry point. Only the file layer and the header's refusals are the
// library's own, so that both builds read, refuse and replace files alike.
#include "InputFile.h"
#include "MavrelWAVChorus.h"
#include "OutputFile.h"
#include "PathConversion.h"
#include "ReferenceChorus.h"
#include "SystemError.h"
#include "WaveFormat.h"

#include <array>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

using mavrel::InputFile;
using mavrel::OutputFile;
using testing_support::ReferenceFormat;

std::int32_t fail(std::int32_t code, const char* what, const std::string& path,
                  const std::string& why) {
    std::fprintf(stderr, "WAVChorus: %s \"%s\": %s\n", what, path.c_str(), why.c_str());
    return code;
}

// 16-bit little-endian values through buffers of 64 KiB, read and written as the
// model's loop asks for them.
class ValueReader {
  public:
    explicit ValueReader(InputFile& in) : in_(in) {}
    bool next(std::int16_t& v) {
        if (len_ - pos_ < 2) {
            if (ended_) {
                return false;
            }
            const std::size_t left = len_ - pos_;
            if (left != 0) {
                buf_[0] = buf_[pos_];
            }
            const std::ptrdiff_t got = in_.read(buf_.data() + left, buf_.size() - left, err);
            failed = got < 0;
            const std::size_t bytes = failed ? 0 : static_cast<std::size_t>(got);
            ended_ = failed || bytes < buf_.size() - left;
            len_ = left + bytes;
            pos_ = 0;
            if (len_ < 2) {
                return false;
            }
        }
        v = static_cast<std::int16_t>(buf_[pos_] | buf_[pos_ + 1] << 8U);
        pos_ += 2;
        return true;
    }
    bool failed = false;
    int err = 0;

  private:
    InputFile& in_;
    std::vector<std::uint8_t> buf_ = std::vector<std::uint8_t>(64 * 1024);
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool ended_ = false;
};

class ValueWriter {
  public:
    explicit ValueWriter(OutputFile& out) : out_(out) {}
    bool put(std::int16_t v) {
        if (len_ == buf_.size() && !flush()) {
            return false;
        }
        const auto u = static_cast<std::uint16_t>(v);
        buf_[len_] = static_cast<std::uint8_t>(u);
        buf_[len_ + 1] = static_cast<std::uint8_t>(u >> 8U);
        len_ += 2;
        return true;
    }
    bool flush() {
        const bool ok = out_.write(buf_.data(), len_, err);
        len_ = 0;
        return ok;
    }
    int err = 0;

  private:
    OutputFile& out_;
    std::vector<std::uint8_t> buf_ = std::vector<std::uint8_t>(64 * 1024);
    std::size_t len_ = 0;
};

std::int32_t runWAVChorus(const char16_t* inputPath, const char16_t* outputPath) {
    if (inputPath == nullptr || outputPath == nullptr) {
        std::fprintf(stderr, "WAVChorus: the %s path is NULL\n",
                     inputPath == nullptr ? "input" : "output");
        return WAVCHORUS_ERR_NULL_PATH;
    }
    const std::optional<std::string> inName = mavrel::utf16ToUtf8(inputPath);
    const std::optional<std::string> outName = mavrel::utf16ToUtf8(outputPath);
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
        return fail(WAVCHORUS_ERR_OPEN_INPUT, "cannot open input", *inName,
                    mavrel::systemErrorText(err));
    case InputFile::OpenStatus::notFileOrPipe:
        return fail(WAVCHORUS_ERR_INPUT_NOT_FILE, "cannot read input", *inName,
                    "neither a regular file nor a pipe");
    }
    std::array<std::uint8_t, 44> header{};
    const std::ptrdiff_t got = in.read(header.data(), header.size(), err);
    if (got < 0) {
        return fail(WAVCHORUS_ERR_READ, "cannot read input", *inName, mavrel::systemErrorText(err));
    }
    if (const std::optional<mavrel::HeaderRefusal> refusal =
            mavrel::headerRefusal(header.data(), static_cast<std::size_t>(got))) {
        return fail(refusal->code, "cannot read input", *inName, refusal->reason);
    }
    const ReferenceFormat f = testing_support::referenceFormat(header.data());
    std::fputs(testing_support::referenceInputReport(f).c_str(), stdout);

    OutputFile out;
    if (!out.create(*outName, err, in.identity())) {
        return fail(WAVCHORUS_ERR_CREATE_OUTPUT, "cannot create output", *outName,
                    mavrel::systemErrorText(err));
    }
    const testing_support::Bytes outHeader = testing_support::referenceHeader(f);
    if (!out.write(outHeader.data(), outHeader.size(), err)) {
        return fail(WAVCHORUS_ERR_WRITE, "cannot write output", *outName,
                    mavrel::systemErrorText(err));
    }
    std::fputs(testing_support::referenceOutputReport(f).c_str(), stdout);
    std::fflush(stdout);

    ValueReader reader(in);
    ValueWriter writer(out);
    const bool written = testing_support::referenceLoop(
        f.channels, f.sampleRate, f.frames, [&](std::int16_t& v) { return reader.next(v); },
        // A failed read ends the loop rather than pad silence after it.
        [&](std::int16_t v) { return !reader.failed && writer.put(v); });
    if (reader.failed) {
        return fail(WAVCHORUS_ERR_READ, "cannot read input", *inName,
                    mavrel::systemErrorText(reader.err));
    }
    if (!written || !writer.flush()) {
        return fail(WAVCHORUS_ERR_WRITE, "cannot write output", *outName,
                    mavrel::systemErrorText(writer.err));
    }
    in.close();
    if (!out.commit(err)) {
        return fail(WAVCHORUS_ERR_WRITE, "cannot write output", *outName,
                    mavrel::systemErrorText(err));
    }
    return WAVCHORUS_OK;
}

} // namespace

extern "C" MAVREL_WAV_CHORUS_API std::int32_t WAVCHORUS_CALL
WAVChorus(const WAVChorusChar* inputPath, const WAVChorusChar* outputPath) {
    try {
        return runWAVChorus(inputPath, outputPath);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "WAVChorus: out of memory\n");
        return WAVCHORUS_ERR_NO_MEMORY;
    }
}
