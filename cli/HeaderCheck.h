// Warnings for inputs that the library accepts but is likely to mishandle, and
// the inputs it refuses, in the command line's words.
#pragma once

#include "WaveFormat.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace wavchorus_cli {

// What the command line can tell about a regular file before the library runs.
// Empty when the file cannot be read: the library then reports why.
std::vector<std::string> headerWarnings(const std::filesystem::path& path);
// The same for a regular file whose size is known already.
std::vector<std::string> headerWarnings(const std::filesystem::path& path, std::uint64_t size);

// The warning for a header that is not the canonical 16-bit PCM layout.
std::optional<std::string> layoutWarning(const std::uint8_t (&header)[44]);

// The warning for an input of `bytes` bytes in all (header included) that holds
// fewer frames than its header declares. `afterwards`: said of a stream once it
// has ended, rather than of a file before it is read.
std::optional<std::string> shortfallWarning(const std::uint8_t (&header)[44], std::uint64_t bytes,
                                            bool afterwards);

// Why the library would refuse an input that begins with these bytes: its
// failure code and its reason, in its words. Nothing when it would take them.
// For a stream, whose name the library does not know, the command line says it
// itself.
using Refusal = mavrel::HeaderRefusal;
inline std::optional<Refusal> headerRefusal(const std::vector<std::uint8_t>& firstBytes) {
    return mavrel::headerRefusal(firstBytes.data(), firstBytes.size());
}

} // namespace wavchorus_cli
