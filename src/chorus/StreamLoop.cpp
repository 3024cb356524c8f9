#include "StreamLoop.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

namespace mavrel {
namespace {

// The input is read, and the output written, in blocks of this many 16-bit
// values: an even number, so a block holds whole stereo frames. The output of a
// block takes the place of its input, value for value.
constexpr std::size_t kBlockValues = std::size_t{128} * 1024;
constexpr std::size_t kBlockBytes = kBlockValues * 2;
// Values go through the chorus in chunks that stay in the first-level cache.
constexpr std::size_t kChunkValues = 4096;

// The working memory of one call, the same for every file. Left uninitialised:
// the block's pages are touched only as far as the input fills it, so a short
// file does not pay for the whole block.
struct Scratch {
    std::unique_ptr<std::int16_t[]> block{new std::int16_t[kBlockValues]};
    std::unique_ptr<std::int16_t[]> dry{new std::int16_t[kChunkValues]};
    std::unique_ptr<std::int16_t[]> wet{new std::int16_t[kChunkValues]};
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
        const std::size_t m = std::min(kChunkValues, n - done);
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
        const std::size_t m = std::min(kChunkValues, n - done);
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
    Scratch scratch;
    std::int16_t* block = scratch.block.get();
    // Counts frames for one or two channels, values for more. 64 bits, so that
    // even an input of many gigabytes cannot wrap it.
    std::uint64_t i = 0;
    for (;;) {
        const std::ptrdiff_t got = in.read(block, kBlockBytes, err);
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
        const bool ended = bytes < kBlockBytes;
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
        if (!out.write(block, outValues * 2, err)) {
            return LoopStatus::writeFailed;
        }
        if (ended) {
            break;
        }
    }
    if (!stereo) {
        // Silence stands in for missing values up to the declared count.
        while (i < info.sampleNumber) {
            const auto m = static_cast<std::size_t>(
                std::min<std::uint64_t>(kBlockValues, info.sampleNumber - i));
            std::fill_n(block, m, std::int16_t{0});
            chorusValues(block, m, state, scratch);
            swapToNative(block, m);
            if (!out.write(block, m * 2, err)) {
                return LoopStatus::writeFailed;
            }
            i += m;
        }
    }
    return LoopStatus::ok;
}

} // namespace mavrel
