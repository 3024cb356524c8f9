// The progress line on a terminal. While it is shown, the command line takes
// over stderr, and stdout when it is the terminal too, and passes on what is
// written there (the library's reports and messages, our own) line by line,
// clearing the progress line before and drawing it again after, so that
// nothing is written into the middle of it.
#pragma once

#include "ProgressLine.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace wavchorus_cli {

class ProgressDisplay {
  public:
    using Sample = std::function<ProgressCounts()>;

    // Shows nothing, and takes over nothing, unless stderr is a terminal. The
    // line appears `delay` after the start and is redrawn a few times a second
    // from what sample() gives.
    ProgressDisplay(std::chrono::milliseconds delay, Sample sample);
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;
    // stop()
    ~ProgressDisplay();

    // Clears the line, gives stdout and stderr back and passes on what is left.
    void stop();

  private:
    struct Relay {
        int fd = -1;       // 1 or 2
        int original = -1; // where fd led before
        int pipe = -1;     // the read end that fd now leads to
        std::thread thread;
    };

    void tick();
    void relay(Relay& r);
    void erase();
    void draw();
    bool takeOver(Relay& r, int fd);
    void giveBack(Relay& r);

    Sample sample_;
    std::chrono::milliseconds delay_;
    std::chrono::steady_clock::time_point start_;
    int terminal_ = -1; // stderr as it was: where the line is drawn
    Relay relays_[2];
    std::thread ticker_;
    std::mutex mutex_; // the terminal: a line drawn, cleared or passed on
    std::condition_variable wake_;
    bool stopping_ = false;
    std::size_t shownWidth_ = 0; // characters of the line now on the terminal
    bool active_ = false;
};

} // namespace wavchorus_cli
