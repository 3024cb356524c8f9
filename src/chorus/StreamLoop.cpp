#include "StreamLoop.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

namespace mavrel {
namespace {

// The input is read, and the output written, in blocks of at most this many
// 16-bit values: an even number, so a block holds whole stereo frames. The
// output of a block takes the place of its input, value for value.
constexpr std::size_t kFullBlockValues = std::size_t{128} * 1024;
// The least first block: a header that declares little may be followed by more.
constexpr std::size_t kLeastBlockValues = 2048;
// Values go through the chorus in chunks that stay in the first-level cache.
constexpr std::size_t kChunkValues = 4096;
// Written data whose writeback to storage is asked for once it comes to this much.
constexpr std::size_t kWritebackBytes = std::size_t{4} * 1024 * 1024;

// The first block holds what the header declares and one value more, so that the
// first read of a file that holds what it declares already meets its end. A file
// that proves longer goes on in full-size blocks.
std::size_t firstBlockValues(const WaveInfo& info) {
    const std::size_t declared = info.dataBytes / 2;
    const std::size_t values = std::clamp(declared + 2, kLeastBlockValues, kFullBlockValues);
    return values + values % 2;
}

// The block, left uninitialised: its pages are touched only as far as the input
// fills it.
struct Block {
    explicit Block(std::size_t n) : size(n), values(new std::int16_t[n]) {}
    std::size_t size;
    std::unique_ptr<std::int16_t[]> values;
};

// Writes the output, and asks for the writeback of a long one as it goes, so
// that it goes to storage while the call goes on rather than all at once when it
// takes its place.
class Output {
  public:
    explicit Output(OutputFile& file) : file_(file) {}
    bool write(const std::int16_t* values, std::size_t n, int& err) {
        const std::size_t bytes = n * sizeof(std::int16_t);
        if (!file_.write(values, bytes, err)) {
            return false;
        }
        unsent_ += bytes;
        if (unsent_ >= kWritebackBytes) {
            file_.startWriteback();
            unsent_ = 0;
        }
        return true;
    }

  private:
    OutputFile& file_;
    std::size_t unsent_ = 0;
};

// The chorus's own scratch: the first values of each stereo frame, and the
// chorused values before they take the place of their input.
struct Scratch {
    explicit Scratch(std::size_t values)
        : size(values), dry(new std::int16_t[values]), wet(new std::int16_t[values]) {}
    std::size_t size;
    std::unique_ptr<std::int16_t[]> dry;
    std::unique_ptr<std::int16_t[]> wet;
};

// The file's values are little-endian; on a big-endian machine the bytes of each
// value are swapped after reading and before writing.
void swapToNative(std::int16_t* v, std::size_t n) {
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t k = 0; k < n; ++k) {
            const auto u = static_cast<std::uint16_t>(v[k]);
            v[k] = static_cast<std::int16_t>(static_cast<std::uint16_t>(u << 8U | u >> 8U));
        }
    }
}

// Choruses n values in place.
void chorusValues(std::int16_t* values, std::size_t n, ChorusState& state, Scratch& scratch) {
    for (std::size_t done = 0; done < n;) {
        const std::size_t m = std::min(scratch.size, n - done);
        processBlock(state, values + done, scratch.wet.get(), m);
        std::memcpy(values + done, scratch.wet.get(), m * sizeof(std::int16_t));
        done += m;
    }
}

// Choruses n stereo frames in place: the first value of each frame goes through
// the chorus, and its result is written over both.
void chorusFrames(std::int16_t* frames, std::size_t n, ChorusState& state, Scratch& scratch) {
    std::int16_t* dry = scratch.dry.get();
    std::int16_t* wet = scratch.wet.get();
    for (std::size_t done = 0; done < n;) {
        const std::size_t m = std::min(scratch.size, n - done);
        std::int16_t* p = frames + 2 * done;
        for (std::size_t k = 0; k < m; ++k) {
            dry[k] = p[2 * k];
        }
        processBlock(state, dry, wet, m);
        for (std::size_t k = 0; k < m; ++k) {
            p[2 * k] = wet[k];
            p[2 * k + 1] = wet[k];
        }
        done += m;
    }
}

} // namespace

LoopStatus runStreamLoop(InputFile& in, OutputFile& out, const WaveInfo& info, ChorusState& state,
                         int& err) {
    const bool stereo = info.channels == 2;
    Block current(firstBlockValues(info));
    Scratch scratch(std::min(kChunkValues, current.size));
    Output output(out);
    // Counts frames for one or two channels, values for more. 64 bits, so that
    // even an input of many gigabytes cannot wrap it.
    std::uint64_t i = 0;
    for (;;) {
        std::int16_t* block = current.values.get();
        const std::size_t blockBytes = current.size * sizeof(std::int16_t);
        const std::ptrdiff_t got = in.read(block, blockBytes, err);
        if (got < 0) {
            return LoopStatus::readFailed;
        }
        // A last odd byte is not a value.
        const auto bytes = static_cast<std::size_t>(got);
        const std::size_t values = bytes / 2;
        swapToNative(block, values);
        std::size_t outValues = 0;
        if (stereo) {
            const std::size_t frames = values / 2;
            chorusFrames(block, frames, state, scratch);
            i += frames;
            outValues = 2 * frames;
        } else {
            chorusValues(block, values, state, scratch);
            i += values;
            outValues = values;
        }
        const bool ended = bytes < blockBytes;
        if (ended && stereo) {
            // A frame with its first value alone is chorused and written once. A
            // missing frame before the declared count is silence, written once.
            // Either way the loop ends there, as the frame's second value is missing.
            const bool firstValue = values > outValues;
            if (firstValue || i < info.sampleNumber) {
                if (!firstValue) {
                    block[outValues] = 0;
                }
                chorusValues(block + outValues, 1, state, scratch);
                ++outValues;
            }
        }
        swapToNative(block, outValues);
        if (!output.write(block, outValues, err)) {
            return LoopStatus::writeFailed;
        }
        if (ended) {
            break;
        }
        if (current.size < kFullBlockValues) {
            current = Block(kFullBlockValues);
        }
    }
    if (!stereo) {
        // Silence stands in for missing values up to the declared count.
        while (i < info.sampleNumber) {
            std::int16_t* block = current.values.get();
            const auto m = static_cast<std::size_t>(
                std::min<std::uint64_t>(current.size, info.sampleNumber - i));
            std::fill_n(block, m, std::int16_t{0});
            chorusValues(block, m, state, scratch);
            swapToNative(block, m);
            if (!output.write(block, m, err)) {
                return LoopStatus::writeFailed;
            }
            i += m;
        }
    }
    return LoopStatus::ok;
}

} // namespace mavrel
