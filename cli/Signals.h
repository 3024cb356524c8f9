// How wavchorus ends when it is asked to stop: SIGINT (Ctrl-C), SIGTERM and
// SIGHUP on POSIX systems; Ctrl-C, Ctrl-Break and the closing of the console on
// Windows.
//
// One line goes to stderr, for example "wavchorus: stopped by SIGINT", and the
// process ends: on POSIX systems as killed by the signal, which a shell reports
// as 128 + the signal (130, 143, 129) and which stops a shell loop that runs
// wavchorus; on Windows with that status (Ctrl-Break 149, as SIGBREAK). No
// buffer is flushed and no later file is started. The outputs stay clean with
// the library's way of writing them: the output in progress has no name yet
// and disappears with the process; a finished one stays; an earlier one that
// was about to be replaced stays as it was. How each system stops is said in
// Signals_posix.cpp and Signals_win32.cpp.
#pragma once

#include <cstddef>

namespace wavchorus_cli {

// Call once, first in main, before any other thread is created: the threads
// created later hold the stop signals too. A signal that is ignored when the
// program starts (SIGHUP under nohup, SIGINT for a background job of a shell
// without job control) stays ignored.
void installStopHandlers();

#if !defined(_WIN32)
// Call last in main, once the run is done: a stop signal that came before
// still ends the process as it would have; one that comes after waits, held,
// while the process ends as it was going to.
void uninstallStopHandlers();
#endif

// Where the stop line goes: stderr, or, while the progress display has taken
// stderr over (to pass on what is written there), the terminal's own
// descriptor, which it gives here; -1 gives stderr back. Written straight to
// the terminal, the line cannot be lost in the display's pipe as the process
// ends. While a progress line of `width` characters is on show (0: none), the
// stop line clears it first.
void setStopLineTerminal(int fd);
void setProgressLineShown(std::size_t width);

// While it lives, a stop ends the process only once the calling thread is
// parked outside the library's naming of an output (POSIX; nothing to wait for
// on Windows, where a worker ended between clearing its output's deletion mark
// and the rename leaves that complete file under its temporary name).
class StopWaitsForThread {
  public:
    StopWaitsForThread();
    StopWaitsForThread(const StopWaitsForThread&) = delete;
    StopWaitsForThread& operator=(const StopWaitsForThread&) = delete;
    ~StopWaitsForThread();
};

} // namespace wavchorus_cli
