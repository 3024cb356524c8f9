#include "ReferenceStreamLoop.h"

#include <cstdint>
#include <vector>

namespace mavrel::reference {
namespace {

constexpr std::size_t kBlockBytes = 64 * 1024;

// Hands out 16-bit little-endian values from blocks of the input. A last odd
// byte is not a value.
class ValueReader {
  public:
    explicit ValueReader(InputFile& in) : in_(in) {}

    // 1 with a value, 0 when no whole value is left, -1 on a read error.
    int next(std::int16_t& v, int& err) {
        if (len_ - pos_ < 2) {
            if (ended_) {
                return 0;
            }
            const std::size_t left = len_ - pos_;
            if (left != 0) {
                buf_[0] = buf_[pos_];
            }
            const std::ptrdiff_t got = in_.read(buf_.data() + left, buf_.size() - left, err);
            if (got < 0) {
                return -1;
            }
            ended_ = static_cast<std::size_t>(got) < buf_.size() - left;
            len_ = left + static_cast<std::size_t>(got);
            pos_ = 0;
            if (len_ < 2) {
                return 0;
            }
        }
        v = static_cast<std::int16_t>(buf_[pos_] | buf_[pos_ + 1] << 8U);
        pos_ += 2;
        return 1;
    }

  private:
    InputFile& in_;
    std::vector<std::uint8_t> buf_ = std::vector<std::uint8_t>(kBlockBytes);
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool ended_ = false;
};

class ValueWriter {
  public:
    explicit ValueWriter(OutputFile& out) : out_(out) {}

    bool put(std::int16_t v, int& err) {
        if (len_ == buf_.size()) {
            if (!flush(err)) {
                return false;
            }
        }
        const auto u = static_cast<std::uint16_t>(v);
        buf_[len_] = static_cast<std::uint8_t>(u);
        buf_[len_ + 1] = static_cast<std::uint8_t>(u >> 8U);
        len_ += 2;
        return true;
    }

    bool flush(int& err) {
        const bool ok = out_.write(buf_.data(), len_, err);
        len_ = 0;
        return ok;
    }

  private:
    OutputFile& out_;
    std::vector<std::uint8_t> buf_ = std::vector<std::uint8_t>(kBlockBytes);
    std::size_t len_ = 0;
};

} // namespace

LoopStatus runStreamLoop(InputFile& in, OutputFile& out, const WaveInfo& info, ChorusState& state,
                         int& err) {
    ValueReader reader(in);
    ValueWriter writer(out);
    // Counts frames for one or two channels, values for more. 64 bits, so that
    // even an input of many gigabytes cannot wrap it.
    std::uint64_t i = 0;
    for (;;) {
        std::int16_t s = 0;
        const int got = reader.next(s, err);
        if (got < 0) {
            return LoopStatus::readFailed;
        }
        if (got == 0) {
            if (i >= info.sampleNumber) {
                break;
            }
            s = 0;
        }
        const std::int16_t v = processValue(state, s);
        if (!writer.put(v, err)) {
            return LoopStatus::writeFailed;
        }
        if (info.channels == 2) {
            // The second channel is read and dropped; the first's result stands
            // for both.
            std::int16_t second = 0;
            const int gotSecond = reader.next(second, err);
            if (gotSecond < 0) {
                return LoopStatus::readFailed;
            }
            if (gotSecond == 0) {
                break;
            }
            if (!writer.put(v, err)) {
                return LoopStatus::writeFailed;
            }
        }
        advanceRing(state);
        ++i;
    }
    return writer.flush(err) ? LoopStatus::ok : LoopStatus::writeFailed;
}

} // namespace mavrel::reference
