// The stop handler on Windows: the console calls it on a thread of its own for
// Ctrl-C, Ctrl-Break and the console's closing. It writes its line and ends the
// process at once with TerminateProcess, which, unlike ExitProcess, runs no
// library's detach code that could wait for a lock held by the stopped threads.
// The system then closes every handle, and with it deletes the output in
// progress, which is marked for deletion until it is complete.
#include "Signals.h"

#include "Console.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <io.h>
#include <string>

namespace wavchorus_cli {
namespace {

struct StopEvent {
    DWORD event;
    UINT status; // 128 + the signal it stands for
    const char* line;
};

constexpr StopEvent kStopEvents[] = {
    {CTRL_C_EVENT, 128 + 2, "wavchorus: stopped by Ctrl-C\r\n"},          // SIGINT
    {CTRL_BREAK_EVENT, 128 + 21, "wavchorus: stopped by Ctrl-Break\r\n"}, // SIGBREAK
    {CTRL_CLOSE_EVENT, 128 + 1, "wavchorus: stopped: the console was closed\r\n"},
    {CTRL_LOGOFF_EVENT, 128 + 15, "wavchorus: stopped: the user logs off\r\n"},
    {CTRL_SHUTDOWN_EVENT, 128 + 15, "wavchorus: stopped: the system shuts down\r\n"},
};

std::atomic<int> stopLineFd{-1};
std::atomic<std::size_t> progressWidth{0};

BOOL WINAPI onStopEvent(DWORD event) {
    const int terminal = stopLineFd.load();
    HANDLE to = ::GetStdHandle(STD_ERROR_HANDLE);
    if (terminal >= 0) {
        to = reinterpret_cast<HANDLE>(::_get_osfhandle(terminal));
    }
    for (const StopEvent& e : kStopEvents) {
        if (e.event == event) {
            // The console takes no escape sequences: the progress line is
            // cleared with blanks, as the display clears it.
            std::string text;
            if (terminal >= 0 && progressWidth.load() > 0) {
                text = console::clearLine(progressWidth.load());
            }
            text += e.line;
            DWORD written = 0;
            (void)::WriteFile(to, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
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

void setProgressLineShown(std::size_t width) {
    progressWidth.store(width);
}

StopWaitsForThread::StopWaitsForThread() = default;

StopWaitsForThread::~StopWaitsForThread() = default;

} // namespace wavchorus_cli
