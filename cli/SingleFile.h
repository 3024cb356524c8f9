// wavchorus IN OUT: one file, or standard input or output as "-".
#pragma once

#include "Options.h"

namespace wavchorus_cli {

// The exit status: 0 written, 1 failed, 2 a usage error.
int runSingleFile(const Options& options);

} // namespace wavchorus_cli
