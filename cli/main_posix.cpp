// wavchorus: the command-line host of the chorus library (POSIX).
#include "CommandLine.h"
#include "Console.h"
#include "Signals.h"

#include <csignal>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Before anything opens a file: a closed standard descriptor would be taken
    // by it, and the reports, warnings or audio of stdout and stderr written
    // into that file, or a pipe of ours read as standard input.
    if (!wavchorus_cli::console::openClosedStandardDescriptors()) {
        return 1;
    }
    // Past a file-size limit (ulimit -f) a write is to fail with EFBIG, which the
    // library reports and cleans up after, rather than kill the process and
    // leave the temporary output file behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // SIGINT, SIGTERM and SIGHUP end the program with one line, as killed by the
    // signal; the output in progress leaves nothing behind. Installed before any
    // other thread starts, so that every thread holds them.
    wavchorus_cli::installStopHandlers();

    std::vector<std::string> args(argv + 1, argv + argc);
    const int status = wavchorus_cli::runCommandLine(args);
    wavchorus_cli::uninstallStopHandlers();
    return status;
}
