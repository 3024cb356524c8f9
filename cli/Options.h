// The command line's options and operands, as cp, mv and install take theirs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace wavchorus_cli {

// The most worker threads a batch takes.
constexpr unsigned kMaxJobs = 1024;

struct Options {
    bool help = false;
    bool version = false;
    std::optional<std::string> targetDirectory; // -t: a batch
    unsigned jobs = 0;                          // -j; 0: the number of processors
    bool quiet = false;                         // -q: no reports
    bool noProgress = false;
    bool raw = false; // --raw: every input read at the library's fixed offsets
    std::vector<std::string> operands;
};

struct ParsedOptions {
    Options options;
    std::string usageError; // empty when the arguments are well formed
};

// Reads the arguments after the program's name. Options and operands may come
// in any order until "--"; a lone "-" is an operand (standard input or output).
// Checks the options themselves and the number of operands for the mode.
ParsedOptions parseOptions(const std::vector<std::string>& args);

} // namespace wavchorus_cli
