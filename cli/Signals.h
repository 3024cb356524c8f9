// How wavchorus ends when it is asked to stop: SIGINT (Ctrl-C), SIGTERM and
// SIGHUP on POSIX systems; Ctrl-C, Ctrl-Break and the closing of the console on
// Windows.
//
// The handler writes one line on stderr, for example "wavchorus: stopped by
// SIGINT", and ends the process on the spot. On POSIX systems it ends as killed
// by the signal, which a shell reports as status 128 + the signal (130, 143,
// 129) and which stops a shell loop that runs wavchorus; on Windows it exits
// with that status (Ctrl-Break 149, as SIGBREAK). Nothing more runs: no buffer
// is flushed, no later file is started. That is what keeps the outputs clean,
// together with the library's way of writing them:
//   - the output in progress has no name yet (an unnamed file on Linux, one
//     marked for deletion on Windows) and disappears with the process;
//   - an output already finished stays; an earlier output that was about to be
//     replaced stays as it was;
//   - while the library gives a finished output its name, it holds the signals
//     in its thread, so a stop that arrives then takes effect just after.
//
// A batch on worker threads: create the workers inside a StopSignalsHeld, so
// that only the main thread takes a stop signal and the workers never run the
// handler, and keep them from starting new files once the process ends (the
// handler's immediate exit does that by itself).
#pragma once

#if !defined(_WIN32)
#include <csignal>
#endif

namespace wavchorus_cli {

// Call once, early in main, before any thread is created. A signal that is
// ignored when the program starts (SIGHUP under nohup, SIGINT for a background
// job of a shell without job control) stays ignored.
void installStopHandlers();

// Holds the stop signals in the calling thread while it lives and restores the
// thread's earlier mask when it ends; threads created meanwhile start with them
// held. Nothing to hold on Windows, where the console's handler runs on a thread
// of its own.
class StopSignalsHeld {
  public:
    StopSignalsHeld();
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;
    ~StopSignalsHeld();

  private:
#if !defined(_WIN32)
    sigset_t previous_{};
    bool held_ = false;
#endif
};

} // namespace wavchorus_cli
