// A thread that the library starts for its own work must not take the host's
// signals: an interrupt meant for the host's handler, or for a thread of the
// host that waits for it, goes to the host's threads as if the library had none.
#pragma once

#if !defined(_WIN32)
#include <csignal>
#endif

namespace mavrel {

// While it lives, the calling thread holds back the signals that the system
// delivers to any thread of the process; a thread started meanwhile inherits
// that and keeps it. Signals that a thread's own action raises (a write past the
// file-size limit, into a broken pipe, a fault) still go to it, as they would to
// the caller.
class AsyncSignalsHeld {
  public:
    AsyncSignalsHeld();
    AsyncSignalsHeld(const AsyncSignalsHeld&) = delete;
    AsyncSignalsHeld& operator=(const AsyncSignalsHeld&) = delete;
    ~AsyncSignalsHeld();

  private:
#if !defined(_WIN32)
    sigset_t saved_{}; // the caller's signal mask
    bool held_ = false;
#endif
};

} // namespace mavrel
