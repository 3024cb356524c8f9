// wavchorus: the command-line host of the chorus library (POSIX).
#include "CommandLine.h"

#include <csignal>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Past a file-size limit (ulimit -f) a write is to fail with EFBIG, which the
    // library reports and cleans up after, rather than kill the process and
    // leave the temporary output file behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // The handling of SIGINT, SIGTERM and SIGHUP is installed here, on the main
    // thread, before any other thread starts: the command line's own threads
    // are started with those signals blocked.

    std::vector<std::string> args(argv + 1, argv + argc);
    return wavchorus_cli::runCommandLine(args);
}
