// The stop handlers on POSIX systems: one write, then the signal's own default
// action, all safe in a signal handler.
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
