// POSIX: a new thread takes the signal mask of the thread that creates it, so
// the mask is set around its creation.
#include "Threads.h"

#include <csignal>
#include <pthread.h>

namespace wavchorus_cli {

std::thread startHelperThread(std::function<void()> fn, PipeSignal pipeSignal) {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGHUP);
    if (pipeSignal == PipeSignal::block) {
        sigaddset(&blocked, SIGPIPE);
    }
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    struct Restore {
        sigset_t mask;
        ~Restore() { ::pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } restore{previous};
    return std::thread(std::move(fn));
}

} // namespace wavchorus_cli
