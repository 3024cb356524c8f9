// wavchorus.exe: the command-line host of the chorus library on Windows. The
// arguments come as UTF-16 (wmain), so that any file name reaches the library
// exactly; they are handled as UTF-8 and given back to the library as UTF-16.
#include "CommandLine.h"
#include "Console.h"
#include "Messages.h"
#include "PathConversion.h"
#include "Signals.h"

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    // Before anything opens a file: a closed standard descriptor would be taken
    // by it, and the reports, warnings or audio of stdout and stderr written
    // into that file, or a pipe of ours read as standard input.
    if (!wavchorus_cli::console::openClosedStandardDescriptors()) {
        return 1;
    }
    // Ctrl-C, Ctrl-Break and the closing of the console end the program with one
    // line; the output in progress leaves nothing behind.
    wavchorus_cli::installStopHandlers();
    std::vector<std::string> args;
    for (int k = 1; k < argc; ++k) {
        std::optional<std::string> utf8 = mavrel::utf16ToUtf8(std::wstring_view(argv[k]));
        if (!utf8) {
            return wavchorus_cli::usageError("argument " + std::to_string(k) +
                                             " is not valid UTF-16 (an unpaired surrogate)");
        }
        args.push_back(std::move(*utf8));
    }
    return wavchorus_cli::runCommandLine(args);
}
