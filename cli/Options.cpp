#include "Options.h"

#include <charconv>

namespace wavchorus_cli {
namespace {

std::optional<unsigned> jobCount(const std::string& text) {
    unsigned n = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, n);
    if (text.empty() || ec != std::errc() || ptr != end || n == 0 || n > kMaxJobs) {
        return std::nullopt;
    }
    return n;
}

// Checks what the parsed options ask for, once all are read.
std::string modeError(const Options& o) {
    if (o.help || o.version) {
        return "";
    }
    if (o.targetDirectory) {
        if (o.operands.empty()) {
            return "missing input files after the target directory";
        }
        for (const std::string& in : o.operands) {
            if (in == "-") {
                return "standard input ('-') cannot be one of the files of a batch";
            }
        }
        return "";
    }
    if (o.operands.size() < 2) {
        return o.operands.empty() ? "missing input and output files" : "missing output file";
    }
    if (o.operands.size() > 2) {
        return "extra operand '" + o.operands[2] + "' (use -t DIR for many files)";
    }
    return "";
}

} // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    Options& o = parsed.options;
    std::string& error = parsed.usageError;

    const auto setTarget = [&](const std::string& dir) {
        if (o.targetDirectory) {
            error = "multiple target directories given";
        }
        o.targetDirectory = dir;
    };
    const auto setJobs = [&](const std::string& text) {
        const std::optional<unsigned> n = jobCount(text);
        if (!n) {
            error = "invalid number of jobs '" + text + "': give a whole number from 1 to " +
                    std::to_string(kMaxJobs);
        }
        o.jobs = n.value_or(0);
    };

    bool optionsEnded = false;
    for (std::size_t k = 0; k < args.size() && error.empty(); ++k) {
        const std::string& arg = args[k];
        const bool hasNext = k + 1 < args.size();
        if (optionsEnded || arg == "-" || arg.size() < 2 || arg[0] != '-') {
            o.operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg.compare(0, 2, "--") == 0) {
            const std::size_t eq = arg.find('=');
            const std::string name = arg.substr(0, eq);
            const bool inlineValue = eq != std::string::npos;
            const bool takesValue = name == "--target-directory" || name == "--jobs";
            if (takesValue && !inlineValue && !hasNext) {
                error = "option '" + name + "' requires an argument";
                break;
            }
            if (!takesValue && inlineValue) {
                error = "option '" + name + "' doesn't allow an argument";
                break;
            }
            const std::string value = !takesValue   ? ""
                                      : inlineValue ? arg.substr(eq + 1)
                                                    : args[++k];
            if (name == "--help") {
                o.help = true;
            } else if (name == "--version") {
                o.version = true;
            } else if (name == "--quiet") {
                o.quiet = true;
            } else if (name == "--no-progress") {
                o.noProgress = true;
            } else if (name == "--raw") {
                o.raw = true;
            } else if (name == "--target-directory") {
                setTarget(value);
            } else if (name == "--jobs") {
                setJobs(value);
            } else {
                error = "unrecognized option '" + arg + "'";
            }
        } else {
            // One or more short options: -q, or -t DIR and -j N with their value
            // joined (-tDIR) or as the next argument.
            for (std::size_t c = 1; c < arg.size() && error.empty(); ++c) {
                const char letter = arg[c];
                if (letter == 'q') {
                    o.quiet = true;
                    continue;
                }
                if (letter != 't' && letter != 'j') {
                    error = std::string("invalid option -- '") + letter + "'";
                    break;
                }
                std::string value = arg.substr(c + 1);
                if (value.empty()) {
                    if (!hasNext) {
                        error = std::string("option requires an argument -- '") + letter + "'";
                        break;
                    }
                    value = args[++k];
                }
                if (letter == 't') {
                    setTarget(value);
                } else {
                    setJobs(value);
                }
                break;
            }
        }
    }
    if (error.empty()) {
        error = modeError(o);
    }
    return parsed;
}

} // namespace wavchorus_cli
