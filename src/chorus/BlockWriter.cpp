#include "BlockWriter.h"

#include "ThreadSignals.h"

#include <system_error>

namespace mavrel {

// Left uninitialised: a block's pages are touched only as far as the input fills it.
BlockWriter::BlockWriter(OutputFile& out, std::size_t firstBlockValues)
    : out_(out), capacity_(firstBlockValues) {
    storage_[0].reset(new std::int16_t[capacity_]);
    current_ = storage_[0].get();
}

BlockWriter::~BlockWriter() {
    stop(true);
}

bool BlockWriter::put(std::size_t values, int& err) {
    if (!thread_.joinable()) {
        return out_.write(current_, values * sizeof(std::int16_t), err);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (!failed_) {
        queue_[(queueHead_ + queued_) % kBlocks] = {current_, values};
        ++queued_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return freeCount_ > 0 || failed_; });
    }
    if (failed_) {
        err = error_;
        return false;
    }
    current_ = free_[--freeCount_];
    return true;
}

void BlockWriter::grow() {
    if (capacity_ < kFullBlockValues) {
        // What the block held is written already.
        capacity_ = kFullBlockValues;
        storage_[0].reset(new std::int16_t[capacity_]);
        current_ = storage_[0].get();
        return;
    }
    if (++fullBlocks_ == 2 && !thread_.joinable()) {
        startWritingBehind();
    }
}

void BlockWriter::startWritingBehind() {
    for (int k = 1; k < kBlocks; ++k) {
        storage_[k].reset(new std::int16_t[kFullBlockValues]);
        free_[freeCount_++] = storage_[k].get();
    }
    try {
        const AsyncSignalsHeld held;
        thread_ = std::thread([this] { writeBehind(); });
    } catch (const std::system_error&) {
        // No thread to be had (a platform without threads, or none left): the
        // caller writes every block itself, as for a short file.
    }
}

void BlockWriter::writeBehind() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return queued_ > 0 || stopping_; });
        if (queued_ == 0 || dropRemaining_) {
            return;
        }
        const Pending next = queue_[queueHead_];
        bool ok = true;
        int err = 0;
        if (!failed_) {
            lock.unlock();
            ok = out_.write(next.values, next.count * sizeof(std::int16_t), err);
            lock.lock();
        }
        if (!ok) {
            failed_ = true;
            error_ = err;
        }
        queueHead_ = (queueHead_ + 1) % kBlocks;
        --queued_;
        free_[freeCount_++] = next.values;
        changed_.notify_all();
    }
}

void BlockWriter::stop(bool dropRemaining) {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        dropRemaining_ = dropRemaining;
    }
    changed_.notify_all();
    thread_.join();
}

bool BlockWriter::finish(int& err) {
    stop(false);
    if (failed_) {
        err = error_;
        return false;
    }
    return true;
}

} // namespace mavrel
