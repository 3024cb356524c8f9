// POSIX: signals are delivered to any thread that does not block them, so the
// mask is set before the thread is started (pthread_sigmask), and the thread
// inherits it from its first instruction on.
#include "ThreadSignals.h"

#include <csignal>
#include <initializer_list>
#include <pthread.h>

namespace mavrel {

AsyncSignalsHeld::AsyncSignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    // Raised by the thread's own write or fault: left to the host's disposition,
    // as for the caller's own writes.
    for (const int own : {SIGXFSZ, SIGPIPE, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) {
        sigdelset(&all, own);
    }
    held_ = ::pthread_sigmask(SIG_BLOCK, &all, &saved_) == 0;
}

AsyncSignalsHeld::~AsyncSignalsHeld() {
    if (held_) {
        ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
    }
}

} // namespace mavrel
