// What the command line needs to know of a file while the library reads it.
#pragma once

#include "FileIdentity.h"

#include <cstdint>
#include <optional>

namespace wavchorus_cli {

using mavrel::FileIdentity;

// How far the process has read the regular file with this identity through a
// descriptor of its own (the library's), or nothing where the system cannot
// tell (only Linux can).
std::optional<std::uint64_t> readPositionOf(const FileIdentity& file);

} // namespace wavchorus_cli
