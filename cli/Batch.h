// wavchorus -t DIR IN.wav...: many files in one process, each to DIR under its
// own file name, on worker threads.
#pragma once

#include "Options.h"

namespace wavchorus_cli {

// The exit status: 0 when every file was written, 1 when any failed (the others
// are still done), 2 for a usage error, found before any file is touched.
int runBatch(const Options& options);

} // namespace wavchorus_cli
