// The output side of the streaming loop: blocks of 16-bit values, written in
// order. The first block is sized to what the header declares, so a short file
// takes little memory. A file that proves longer than two full-size blocks has
// its further blocks written behind the caller, on a thread of their own: the
// system's work of writing one block then overlaps the reading and chorus of the
// next. Either way the memory held is fixed: at most three full-size blocks.
#pragma once

#include "OutputFile.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace mavrel {

class BlockWriter {
  public:
    // Values in a full-size block: an even number, so a block holds whole
    // stereo frames.
    static constexpr std::size_t kFullBlockValues = std::size_t{128} * 1024;

    // firstBlockValues: even, at most kFullBlockValues.
    BlockWriter(OutputFile& out, std::size_t firstBlockValues);
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;
    // Stops the writing thread, if there is one, without writing what is left:
    // a call that ends here has failed.
    ~BlockWriter();

    // The block to fill next, of blockValues() values.
    std::int16_t* block() const { return current_; }
    std::size_t blockValues() const { return capacity_; }

    // Writes, or hands over to be written, the first `values` values of the
    // block; block() is then the one to fill next. False with err set when this
    // write or an earlier one failed.
    bool put(std::size_t values, int& err);

    // The input goes on past the block just put: the blocks after it are of full
    // size, and after the second full-size one they are written behind.
    void grow();

    // Waits until every block handed over is written. False with err set when a
    // write failed.
    bool finish(int& err);

  private:
    static constexpr int kBlocks = 3; // one being filled, two being written

    void startWritingBehind();
    void writeBehind();
    void stop(bool dropRemaining);

    OutputFile& out_;
    std::size_t capacity_;
    int fullBlocks_ = 0; // full-size blocks put so far
    std::unique_ptr<std::int16_t[]> storage_[kBlocks];
    std::int16_t* current_ = nullptr;

    // Shared with the writing thread, under mutex_.
    struct Pending {
        std::int16_t* values = nullptr;
        std::size_t count = 0;
    };
    std::mutex mutex_;
    std::condition_variable changed_;
    Pending queue_[kBlocks];
    int queueHead_ = 0;
    int queued_ = 0;
    std::int16_t* free_[kBlocks] = {};
    int freeCount_ = 0;
    bool stopping_ = false;
    bool dropRemaining_ = false;
    bool failed_ = false;
    int error_ = 0;
    std::thread thread_;
};

} // namespace mavrel
