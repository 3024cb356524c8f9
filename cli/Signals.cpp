// The stop handlers on POSIX systems: one write, then the signal's own default
// action, all safe in a signal handler.
#include "Signals.h"

#include <atomic>
#include <ctime>
#include <pthread.h>
#include <unistd.h>

namespace wavchorus_cli {
namespace {

struct StopSignal {
    int number;
    const char* line;
    unsigned long length;
};

template <unsigned long N> constexpr StopSignal stop(int number, const char (&line)[N]) {
    return StopSignal{number, line, N - 1};
}

constexpr StopSignal kStopSignals[] = {
    stop(SIGINT, "wavchorus: stopped by SIGINT\n"),
    stop(SIGTERM, "wavchorus: stopped by SIGTERM\n"),
    stop(SIGHUP, "wavchorus: stopped by SIGHUP\n"),
};

sigset_t stopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const StopSignal& s : kStopSignals) {
        sigaddset(&set, s.number);
    }
    return set;
}

// The threads a stop waits for, which its handler must reach: the one state of
// the program that is shared with a signal handler, and so a process-wide
// table of lock-free atomics. A slot is free (0), being taken (1) or holds a
// live thread (2).
constexpr int kSlots = 1024;
struct WaitedThread {
    std::atomic<int> state{0};
    pthread_t thread{};
};
WaitedThread waitedThreads[kSlots];
std::atomic<bool> stopping{false};
std::atomic<int> parkedThreads{0};
// The longest a stop waits for the threads to park, in milliseconds: a rename
// that takes longer is left to finish as the process ends.
constexpr int kParkWaitMs = 10000;

[[noreturn]] void parkForever() {
    ++parkedThreads;
    for (;;) {
        ::pause();
    }
}

// The signal that parks a thread: one that nobody else sends, so that a stray
// signal (SIGUSR1 from a user who wants a status line, as dd gives) cannot park
// a thread for ever; SIGUSR1 and SIGUSR2 keep their default action. A real-time
// signal past the first few, which threading libraries may take for themselves.
// A system without real-time signals has only SIGUSR1 left.
int parkSignal() {
#if defined(SIGRTMIN)
    return SIGRTMIN + 4;
#else
    return SIGUSR1;
#endif
}
// Taken once before any handler runs: SIGRTMIN is a call on some C libraries.
std::atomic<int> parkSignalNumber{0};

extern "C" void onParkSignal(int /*number*/) {
    parkForever();
}

// Parks every thread that a stop waits for but the calling one, and returns once
// they are parked. A thread inside the library's naming of an output holds the
// park signal until the output is in place.
void parkWaitedThreads() {
    stopping.store(true);
    const pthread_t self = ::pthread_self();
    int sent = 0;
    for (WaitedThread& w : waitedThreads) {
        if (w.state.load() == 2 && ::pthread_equal(w.thread, self) == 0 &&
            ::pthread_kill(w.thread, parkSignalNumber.load()) == 0) {
            ++sent;
        }
    }
    const timespec millisecond{0, 1000000};
    for (int waited = 0; parkedThreads.load() < sent && waited < kParkWaitMs; ++waited) {
        (void)::nanosleep(&millisecond, nullptr);
    }
}

sigset_t parkSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, parkSignalNumber.load());
    return set;
}

std::atomic<int> stopLineFd{-1};
std::atomic<bool> progressLineShown{false};

extern "C" void onStopSignal(int number) {
    const int terminal = stopLineFd.load();
    const int fd = terminal >= 0 ? terminal : STDERR_FILENO;
    if (terminal >= 0 && progressLineShown.load()) {
        // Back to the start of the line, and erase it (ECMA-48 EL).
        (void)!::write(fd, "\r\033[K", 4);
    }
    for (const StopSignal& s : kStopSignals) {
        if (s.number == number) {
            // Nothing can be done if stderr is gone; the status still tells.
            (void)!::write(fd, s.line, s.length);
        }
    }
    parkWaitedThreads();
    // The process ends as killed by the signal (SA_RESETHAND has put back the
    // default action), not by exiting with 128 + the signal itself: a shell
    // reports the same status either way, but only for a process killed by
    // SIGINT does it stop the loop or script that ran it. The signal is blocked
    // while its handler runs, so it is raised, then let through.
    (void)::raise(number);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    (void)::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::_exit(128 + number);
}

} // namespace

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESETHAND;
    // A second stop signal waits while the first one's handler runs.
    action.sa_mask = stopSignalSet();
    for (const StopSignal& s : kStopSignals) {
        struct sigaction before {};
        if (::sigaction(s.number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) {
            continue;
        }
        (void)::sigaction(s.number, &action, nullptr);
    }
    struct sigaction park {};
    park.sa_handler = onParkSignal;
    park.sa_mask = stopSignalSet();
    parkSignalNumber.store(parkSignal());
    (void)::sigaction(parkSignalNumber.load(), &park, nullptr);
}

void setStopLineTerminal(int fd) {
    stopLineFd.store(fd);
}

void setProgressLineShown(bool shown) {
    progressLineShown.store(shown);
}

StopSignalsHeld::StopSignalsHeld() {
    const sigset_t set = stopSignalSet();
    held_ = ::pthread_sigmask(SIG_BLOCK, &set, &previous_) == 0;
}

StopSignalsHeld::~StopSignalsHeld() {
    if (held_) {
        (void)::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
}

StopWaitsForThread::StopWaitsForThread() {
    for (int k = 0; k < kSlots; ++k) {
        int expected = 0;
        if (waitedThreads[k].state.compare_exchange_strong(expected, 1)) {
            waitedThreads[k].thread = ::pthread_self();
            waitedThreads[k].state.store(2);
            slot_ = k;
            return;
        }
    }
}

StopWaitsForThread::~StopWaitsForThread() {
    if (slot_ < 0) {
        return;
    }
    // A park signal sent from here on stays pending; a stop that has begun
    // counts on this thread all the same, so it parks here.
    const sigset_t park = parkSignalSet();
    sigset_t previous;
    (void)::pthread_sigmask(SIG_BLOCK, &park, &previous);
    waitedThreads[slot_].state.store(0);
    if (stopping.load()) {
        parkForever();
    }
    (void)::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

} // namespace wavchorus_cli
