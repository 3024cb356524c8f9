#include "Threads.h"

#if !defined(_WIN32)
#include <csignal>
#include <pthread.h>
#endif

namespace wavchorus_cli {

std::thread startHelperThread(std::function<void()> fn, PipeSignal pipeSignal) {
#if !defined(_WIN32)
    // A new thread takes the signal mask of the thread that creates it, so the
    // mask is set around its creation. Windows has no SIGPIPE.
    if (pipeSignal == PipeSignal::block) {
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGPIPE);
        sigset_t previous;
        ::pthread_sigmask(SIG_BLOCK, &blocked, &previous);
        struct Restore {
            sigset_t mask;
            ~Restore() { ::pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
        } restore{previous};
        return std::thread(std::move(fn));
    }
#else
    (void)pipeSignal;
#endif
    return std::thread(std::move(fn));
}

} // namespace wavchorus_cli
