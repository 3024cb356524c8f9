// The stop on POSIX systems. The stop signals are held in every thread and
// taken by a thread of their own (sigwait), so that what a stop does runs in
// ordinary thread context: it writes the line, parks every thread that calls
// the library (StopWaitsForThread) once that thread is outside the naming of an
// output, which the library holds the signals for, then raises the signal again
// with its default action. The one handler is the park signal's.
#include "Signals.h"

#include "Console.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace wavchorus_cli {
namespace {

struct StopSignal {
    int number;
    const char* line;
};

constexpr StopSignal kStopSignals[] = {
    {SIGINT, "wavchorus: stopped by SIGINT\n"},
    {SIGTERM, "wavchorus: stopped by SIGTERM\n"},
    {SIGHUP, "wavchorus: stopped by SIGHUP\n"},
};

// The longest a stop waits for the threads to park: a rename that takes longer
// is left to finish as the process ends.
constexpr auto kParkWait = std::chrono::seconds(10);

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

sigset_t emptySet() {
    sigset_t set;
    sigemptyset(&set);
    return set;
}

[[noreturn]] void waitForTheEnd() {
    for (;;) {
        ::pause();
    }
}

std::atomic<int> parkedThreads{0};

// Runs in a thread that a stop parks, never while the library names an output:
// the library holds the signals then.
extern "C" void onParkSignal(int /*number*/) {
    ++parkedThreads;
    waitForTheEnd();
}

// The threads a stop waits for, and whether a stop has begun.
std::mutex waitedMutex;
std::vector<pthread_t> waitedThreads;
bool stopping = false;

std::atomic<int> stopLineFd{-1};
std::atomic<std::size_t> progressWidth{0};

void writeStopLine(const StopSignal& s) {
    const int terminal = stopLineFd.load();
    std::string text;
    if (terminal >= 0 && progressWidth.load() > 0) {
        text = console::clearLine(progressWidth.load());
    }
    text += s.line;
    // Nothing can be done if stderr is gone; the status still tells.
    (void)console::writeAll(terminal >= 0 ? terminal : STDERR_FILENO, text.data(), text.size());
}

// Parks every thread that a stop waits for, and returns once they are parked.
void parkWaitedThreads() {
    int sent = 0;
    {
        const std::lock_guard<std::mutex> lock(waitedMutex);
        stopping = true;
        for (const pthread_t thread : waitedThreads) {
            sent += ::pthread_kill(thread, parkSignal()) == 0 ? 1 : 0;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + kParkWait;
    while (parkedThreads.load() < sent && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

[[noreturn]] void stop(int number) {
    // A pipe whose reader the same Ctrl-C has ended is no reason to end
    // otherwise than by the signal.
    (void)std::signal(SIGPIPE, SIG_IGN);
    for (const StopSignal& s : kStopSignals) {
        if (s.number == number) {
            writeStopLine(s);
        }
    }
    parkWaitedThreads();
    // The process ends as killed by the signal, not by exiting with 128 + the
    // signal itself: a shell reports the same status either way, but only for
    // a process killed by SIGINT does it stop the loop or script that ran it.
    // Let through in this thread alone, the signal's default action ends it.
    (void)std::signal(number, SIG_DFL);
    sigset_t only = emptySet();
    sigaddset(&only, number);
    (void)::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    (void)::raise(number);
    ::_exit(128 + number);
}

sigset_t stopSignals;
pthread_t stopThread{};
bool stopThreadRuns = false;

// The stop thread: takes the first stop signal and ends the process, or, sent
// the park signal at the end of the run, takes any stop signal that came
// before and returns when there is none.
extern "C" void* takeStops(void* /*unused*/) {
    sigset_t wanted = stopSignals;
    sigaddset(&wanted, parkSignal());
    int number = 0;
    while (::sigwait(&wanted, &number) != 0) {
    }
    if (number != parkSignal()) {
        stop(number);
    }
    sigset_t pending = emptySet();
    (void)::sigpending(&pending);
    for (const StopSignal& s : kStopSignals) {
        if (sigismember(&stopSignals, s.number) == 1 && sigismember(&pending, s.number) == 1) {
            stop(s.number);
        }
    }
    return nullptr;
}

} // namespace

void installStopHandlers() {
    struct sigaction onPark {};
    onPark.sa_handler = onParkSignal;
    (void)::sigaction(parkSignal(), &onPark, nullptr);
    sigemptyset(&stopSignals);
    for (const StopSignal& s : kStopSignals) {
        struct sigaction before {};
        if (::sigaction(s.number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) {
            continue;
        }
        sigaddset(&stopSignals, s.number);
    }
    // The stop thread starts with the park signal held too, which it takes
    // itself; this thread, and every one it creates, holds the stop signals
    // alone. Without a thread to take them, they keep their default action.
    sigset_t park = emptySet();
    sigaddset(&park, parkSignal());
    sigset_t held = stopSignals;
    sigaddset(&held, parkSignal());
    sigset_t previous;
    (void)::pthread_sigmask(SIG_BLOCK, &held, &previous);
    stopThreadRuns = ::pthread_create(&stopThread, nullptr, takeStops, nullptr) == 0;
    if (stopThreadRuns) {
        (void)::pthread_sigmask(SIG_UNBLOCK, &park, nullptr);
    } else {
        (void)::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
}

void uninstallStopHandlers() {
    if (stopThreadRuns) {
        (void)::pthread_kill(stopThread, parkSignal());
        (void)::pthread_join(stopThread, nullptr);
        stopThreadRuns = false;
    }
}

void setStopLineTerminal(int fd) {
    stopLineFd.store(fd);
}

void setProgressLineShown(std::size_t width) {
    progressWidth.store(width);
}

StopWaitsForThread::StopWaitsForThread() {
    std::unique_lock<std::mutex> lock(waitedMutex);
    if (stopping) {
        lock.unlock();
        waitForTheEnd();
    }
    waitedThreads.push_back(::pthread_self());
}

StopWaitsForThread::~StopWaitsForThread() {
    std::unique_lock<std::mutex> lock(waitedMutex);
    const pthread_t self = ::pthread_self();
    std::erase_if(waitedThreads, [self](pthread_t t) { return ::pthread_equal(t, self) != 0; });
    if (stopping) {
        // The park signal is on its way: the process ends before this thread
        // goes on.
        lock.unlock();
        waitForTheEnd();
    }
}

} // namespace wavchorus_cli
