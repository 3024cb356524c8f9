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
// that only the main thread takes a stop signal, and give each worker a
// StopWaitsForThread for as long as it calls the library. The library holds the
// signals only in its own thread while it names a finished output; a stop taken
// on the main thread then parks every worker (with a real-time signal of its own, which that
// holding delays until the output is in place) before it ends the process, so no worker is cut
// between the link and the rename. No later file is started: the parked workers never return.
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

// Where the stop line goes: stderr, or, while the progress display has taken
// stderr over (to pass on what is written there), the terminal's own descriptor,
// which it gives here; -1 gives stderr back. Written straight to the terminal,
// the line cannot be lost in the display's pipe as the process ends. While a
// progress line is on show the stop line clears it first.
void setStopLineTerminal(int fd);
void setProgressLineShown(bool shown);

// While it lives, a stop ends the process only once the calling thread is
// parked outside the library's naming of an output (POSIX; nothing to do on
// Windows). Up to 1024 threads at once, as many as -j allows; a thread beyond
// that is not waited for.
class StopWaitsForThread {
  public:
    StopWaitsForThread();
    StopWaitsForThread(const StopWaitsForThread&) = delete;
    StopWaitsForThread& operator=(const StopWaitsForThread&) = delete;
    ~StopWaitsForThread();

  private:
    int slot_ = -1;
};

} // namespace wavchorus_cli
