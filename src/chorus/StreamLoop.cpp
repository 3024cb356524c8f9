#include "StreamLoop.h"

#include <algorithm>
#include <array>
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
// A file's first mebibyte goes in blocks of at most 64 KB. An allocator keeps
// blocks that small from one call to the next, where it gives larger ones back
// to the system when they are freed: a second of stereo in one block of 176 KB,
// and its output in another, cost a host that calls file after file more in
// fresh pages than the chorus of that second. A longer file goes on in full-size
// blocks, which need fewer system calls.
constexpr std::size_t kSmallBlockValues = std::size_t{32} * 1024;
constexpr std::uint64_t kSmallBlocksBytes = std::uint64_t{1} << 20;
// Room in front of an output block's values, where the output header goes out
// with the first block in one write: a second write into the file's first page
// costs a short call as much as a tenth of its chorus. 64 bytes, so the values
// stay as aligned as the block itself.
constexpr std::size_t kHeaderRoomValues = 32;
static_assert(kHeaderRoomValues * sizeof(std::int16_t) >= kHeaderBytes);

// The first block holds what the header declares and one value more, so that the
// first read of a short file that holds what it declares already meets its end.
std::size_t firstBlockValues(const WaveInfo& info) {
    const std::size_t declared = info.dataBytes / 2;
    const std::size_t values = std::clamp(declared + 2, kLeastBlockValues, kSmallBlockValues);
    return values + values % 2;
}

// A block, left uninitialised: its pages are touched only as far as the input
// fills it.
struct Block {
    explicit Block(std::size_t n, std::size_t room = 0)
        : storage(new std::int16_t[room + n]), values(storage.get() + room) {}
    std::unique_ptr<std::int16_t[]> storage;
    std::int16_t* values; // after the room asked for
};

// The chorus reads a block and writes its output to a block of its own, with
// room for the header in front: a value's tap may lie earlier in the same block.
struct Blocks {
    explicit Blocks(std::size_t n) : size(n), in(n), out(n, kHeaderRoomValues) {}
    std::size_t size; // values in each
    Block in;
    Block out;
};

// Writes the output, its header with the first values.
class Output {
  public:
    // The output is expected to come to its header and the data it declares, as
    // it does for an input that holds what it declares.
    Output(OutputFile& file, const WaveInfo& info) : file_(file), header_(makeOutputHeader(info)) {
        file_.expectSize(kHeaderBytes + outputDataBytes(info));
    }
    // values: a block's, with the room in front of them for the header.
    bool write(std::int16_t* values, std::size_t n, int& err) {
        auto* from = reinterpret_cast<std::uint8_t*>(values);
        std::size_t bytes = n * sizeof(std::int16_t);
        if (!headerWritten_) {
            from -= kHeaderBytes;
            bytes += kHeaderBytes;
            std::memcpy(from, header_.data(), kHeaderBytes);
        }
        if (!file_.write(from, bytes, err)) {
            return false;
        }
        headerWritten_ = true;
        return true;
    }

    // Whether the header went out: only a failed first write leaves it unwritten.
    bool headerWritten() const { return headerWritten_; }

  private:
    OutputFile& file_;
    std::array<std::uint8_t, kHeaderBytes> header_;
    bool headerWritten_ = false;
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

} // namespace

LoopStatus runStreamLoop(InputFile& in, OutputFile& out, const WaveInfo& info, ChorusState& state,
                         int& err) {
    const bool stereo = info.channels == 2;
    // The oscillator steps once a frame for one or two channels, once a value
    // for more: a stream declared longer than its cycle keeps the cycle's runs.
    const std::uint64_t steps = stereo ? info.sampleNumber : info.dataBytes / 2;
    if (steps > static_cast<std::uint64_t>(state.sweep.wrap)) {
        keepDelayRuns(state);
    }
    Blocks blocks(firstBlockValues(info));
    Output output(out, info);
    // Counts frames for one or two channels, values for more. 64 bits, so that
    // even an input of many gigabytes cannot wrap it.
    std::uint64_t i = 0;
    for (;;) {
        std::int16_t* block = blocks.in.values;
        std::int16_t* outBlock = blocks.out.values;
        const std::size_t blockBytes = blocks.size * sizeof(std::int16_t);
        const std::ptrdiff_t got = in.read(block, blockBytes, err);
        if (got < 0) {
            return LoopStatus::readFailed;
        }
        const bool ended = static_cast<std::size_t>(got) < blockBytes;
        // A last odd byte is not a value.
        const auto bytes = static_cast<std::size_t>(got);
        const std::size_t values = bytes / 2;
        swapToNative(block, values);
        std::size_t outValues = 0;
        if (stereo) {
            const std::size_t frames = values / 2;
            processFrames(state, block, outBlock, frames);
            i += frames;
            outValues = 2 * frames;
        } else {
            processBlock(state, block, outBlock, values);
            i += values;
            outValues = values;
        }
        if (ended && stereo) {
            // A frame with its first value alone is chorused and written once. A
            // missing frame before the declared count is silence, written once.
            // Either way the loop ends there, as the frame's second value is missing.
            const bool firstValue = values > outValues;
            if (firstValue || i < info.sampleNumber) {
                if (!firstValue) {
                    block[outValues] = 0;
                }
                processBlock(state, block + outValues, outBlock + outValues, 1);
                ++outValues;
            }
        }
        swapToNative(outBlock, outValues);
        if (!output.write(outBlock, outValues, err)) {
            return output.headerWritten() ? LoopStatus::writeFailed : LoopStatus::headerWriteFailed;
        }
        if (ended) {
            break;
        }
        // A file that proves longer goes on in small blocks to its first
        // mebibyte, and in full-size blocks after it. i counts frames for one or
        // two channels, values for more.
        const std::size_t next =
            i * (stereo ? 4U : 2U) < kSmallBlocksBytes ? kSmallBlockValues : kFullBlockValues;
        if (blocks.size < next) {
            if (next == kFullBlockValues) {
                // A long file: the system is asked once to read further ahead,
                // so that it reads the next block while this one goes through
                // the chorus.
                in.willReadOnward();
            }
            blocks = Blocks(next);
        }
    }
    if (!stereo) {
        // Silence stands in for missing values up to the declared count, in
        // full-size blocks when it takes more than one.
        if (i < info.sampleNumber) {
            if (info.sampleNumber - i > blocks.size && blocks.size < kFullBlockValues) {
                blocks = Blocks(kFullBlockValues);
            }
            std::fill_n(blocks.in.values, blocks.size, std::int16_t{0});
        }
        while (i < info.sampleNumber) {
            const auto m = static_cast<std::size_t>(
                std::min<std::uint64_t>(blocks.size, info.sampleNumber - i));
            processBlock(state, blocks.in.values, blocks.out.values, m);
            swapToNative(blocks.out.values, m);
            if (!output.write(blocks.out.values, m, err)) {
                return LoopStatus::writeFailed;
            }
            i += m;
        }
    }
    return LoopStatus::ok;
}

} // namespace mavrel
