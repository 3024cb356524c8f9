// A path as the command line has it: the text given (UTF-8), the file system's
// form of it, and the form the library takes.
#pragma once

#include "MavrelWAVChorus.h"

#include <filesystem>
#include <optional>
#include <string>

namespace wavchorus_cli {

struct CliPath {
    std::string shown; // as given, for messages
    std::filesystem::path native;
    std::basic_string<WAVChorusChar> forLibrary;
};

// Nothing when the text is not valid UTF-8, which the library cannot take.
std::optional<CliPath> cliPath(const std::string& utf8);

// The last component of a path, without trailing separators ("a/b.wav/" gives
// "b.wav"); "" when it has none ("/", "", "C:\"), as for "." and "..".
std::string fileNameOf(const std::string& path);

// dir and name joined by the system's separator.
std::string joinPath(const std::string& dir, const std::string& name);

} // namespace wavchorus_cli
