#include "ProgressDisplay.h"

#include "Console.h"
#include "Signals.h"
#include "Threads.h"

#include <cstdio>

namespace wavchorus_cli {

constexpr auto kRedraw = std::chrono::milliseconds(200);

ProgressDisplay::ProgressDisplay(std::chrono::milliseconds delay, Sample sample)
    : sample_(std::move(sample)), delay_(delay), start_(std::chrono::steady_clock::now()) {
    if (!console::canRedrawLine(2)) {
        return;
    }
    terminal_ = console::duplicate(2);
    if (terminal_ < 0) {
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    setStopLineTerminal(terminal_);
    active_ = takeOver(relays_[1], 2);
    if (active_ && console::isTerminal(1)) {
        (void)takeOver(relays_[0], 1);
    }
    if (!active_) {
        setStopLineTerminal(-1);
        console::closeDescriptor(terminal_);
        terminal_ = -1;
        return;
    }
    ticker_ = startHelperThread([this] { tick(); });
}

ProgressDisplay::~ProgressDisplay() {
    stop();
}

bool ProgressDisplay::takeOver(Relay& r, int fd) {
    int fds[2];
    if (!console::makePipe(fds)) {
        return false;
    }
    r.original = console::duplicate(fd);
    if (r.original < 0 || !console::redirect(fd, fds[1])) {
        console::closeDescriptor(r.original);
        console::closeDescriptor(fds[0]);
        console::closeDescriptor(fds[1]);
        r.original = -1;
        return false;
    }
    // fd is now the pipe's only write end: the pipe ends when fd is given back.
    console::closeDescriptor(fds[1]);
    r.fd = fd;
    r.pipe = fds[0];
    r.thread = startHelperThread([this, &r] { relay(r); });
    return true;
}

void ProgressDisplay::giveBack(Relay& r) {
    if (r.fd < 0) {
        return;
    }
    (void)console::redirect(r.fd, r.original);
    r.thread.join();
    console::closeDescriptor(r.original);
    console::closeDescriptor(r.pipe);
    r.fd = -1;
}

void ProgressDisplay::stop() {
    if (!active_) {
        return;
    }
    active_ = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    ticker_.join();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        erase();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    giveBack(relays_[0]);
    giveBack(relays_[1]);
    setStopLineTerminal(-1);
    console::closeDescriptor(terminal_);
    terminal_ = -1;
}

void ProgressDisplay::tick() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (wake_.wait_for(lock, delay_, [this] { return stopping_; })) {
        return;
    }
    do {
        draw();
    } while (!wake_.wait_for(lock, kRedraw, [this] { return stopping_; }));
}

void ProgressDisplay::relay(Relay& r) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const std::ptrdiff_t got = console::readSome(r.pipe, buffer, sizeof buffer);
        if (got > 0) {
            pending.append(buffer, static_cast<std::size_t>(got));
        }
        // Whole lines, as they come; at the end whatever is left.
        const std::size_t newline = pending.rfind('\n');
        std::size_t end = newline == std::string::npos ? 0 : newline + 1;
        if (got <= 0) {
            end = pending.size();
        }
        if (end > 0) {
            const std::lock_guard<std::mutex> lock(mutex_);
            const bool redraw = shownWidth_ > 0;
            erase();
            (void)console::writeAll(r.original, pending.data(), end);
            if (redraw) {
                draw();
            }
            pending.erase(0, end);
        }
        if (got <= 0) {
            return;
        }
    }
}

// With the terminal's lock held.
void ProgressDisplay::erase() {
    if (shownWidth_ == 0) {
        return;
    }
    const std::string clear = console::clearLine(shownWidth_);
    (void)console::writeAll(terminal_, clear.data(), clear.size());
    shownWidth_ = 0;
    setProgressLineShown(0);
}

// With the terminal's lock held.
void ProgressDisplay::draw() {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const int width = console::terminalWidth(terminal_);
    const std::string line = progressLine(sample_(), elapsed, width > 0 ? width : 80);
    const std::string text = console::clearLine(shownWidth_) + line;
    (void)console::writeAll(terminal_, text.data(), text.size());
    shownWidth_ = line.size();
    setProgressLineShown(shownWidth_);
}

} // namespace wavchorus_cli
