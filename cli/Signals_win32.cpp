// The stop handler on Windows: the console calls it on a thread of its own for
// Ctrl-C, Ctrl-Break and the console's closing. It writes its line and ends the
// process at once with TerminateProcess, which, unlike ExitProcess, runs no
// library's detach code that could wait for a lock held by the stopped threads.
// The system then closes every handle, and with it deletes the output in
// progress, which is marked for deletion until it is complete.
#include "Signals.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <io.h>

namespace wavchorus_cli {
namespace {

struct StopEvent {
    DWORD event;
    UINT status; // 128 + the signal it stands for
    const char* line;
    DWORD length;
};

template <DWORD N> constexpr StopEvent stop(DWORD event, UINT status, const char (&line)[N]) {
    return StopEvent{event, status, line, N - 1};
}

constexpr StopEvent kStopEvents[] = {
    stop(CTRL_C_EVENT, 128 + 2, "wavchorus: stopped by Ctrl-C\r\n"),          // SIGINT
    stop(CTRL_BREAK_EVENT, 128 + 21, "wavchorus: stopped by Ctrl-Break\r\n"), // SIGBREAK
    stop(CTRL_CLOSE_EVENT, 128 + 1, "wavchorus: stopped: the console was closed\r\n"),
    stop(CTRL_LOGOFF_EVENT, 128 + 15, "wavchorus: stopped: the user logs off\r\n"),
    stop(CTRL_SHUTDOWN_EVENT, 128 + 15, "wavchorus: stopped: the system shuts down\r\n"),
};

std::atomic<int> stopLineFd{-1};
std::atomic<bool> progressLineShown{false};

BOOL WINAPI onStopEvent(DWORD event) {
    const int terminal = stopLineFd.load();
    HANDLE to = ::GetStdHandle(STD_ERROR_HANDLE);
    if (terminal >= 0) {
        to = reinterpret_cast<HANDLE>(::_get_osfhandle(terminal));
    }
    for (const StopEvent& e : kStopEvents) {
        if (e.event == event) {
            DWORD written = 0;
            if (terminal >= 0 && progressLineShown.load()) {
                (void)::WriteFile(to, "\r\033[K", 4, &written, nullptr);
            }
            (void)::WriteFile(to, e.line, e.length, &written, nullptr);
            (void)::TerminateProcess(::GetCurrentProcess(), e.status);
        }
    }
    return FALSE;
}

} // namespace

void installStopHandlers() {
    (void)::SetConsoleCtrlHandler(onStopEvent, TRUE);
}

void setStopLineTerminal(int fd) {
    stopLineFd.store(fd);
}

void setProgressLineShown(bool shown) {
    progressLineShown.store(shown);
}

StopSignalsHeld::StopSignalsHeld() = default;

StopSignalsHeld::~StopSignalsHeld() = default;

// The console's handler ends the process at once: a worker terminated between
// clearing its output's deletion mark and the rename leaves that complete file
// under its temporary name.
StopWaitsForThread::StopWaitsForThread() = default;

StopWaitsForThread::~StopWaitsForThread() = default;

} // namespace wavchorus_cli
