// Warnings for inputs that the library accepts but is likely to mishandle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wavchorus_cli {

// What the command line can tell about an input before the library runs.
// Empty when the file cannot be read: the library then reports why.
std::vector<std::string> headerWarnings(const std::string& path);

// The parts of the 44 bytes that differ from the canonical 16-bit PCM layout,
// e.g. "format 3", "32 bits", "no \"data\" at byte 36". Empty when canonical.
std::vector<std::string> canonicalLayoutFindings(const std::uint8_t (&header)[44]);

} // namespace wavchorus_cli
