// The stop handlers on POSIX systems: one write, then _exit, both safe in a
// signal handler.
#include "Signals.h"

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

extern "C" void onStopSignal(int number) {
    for (const StopSignal& s : kStopSignals) {
        if (s.number == number) {
            // Nothing can be done if stderr is gone; the status still tells.
            (void)!::write(STDERR_FILENO, s.line, s.length);
        }
    }
    ::_exit(128 + number);
}

} // namespace

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    // A second stop signal waits while the first one's handler runs.
    action.sa_mask = stopSignalSet();
    for (const StopSignal& s : kStopSignals) {
        struct sigaction before {};
        if (::sigaction(s.number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) {
            continue;
        }
        (void)::sigaction(s.number, &action, nullptr);
    }
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

} // namespace wavchorus_cli
