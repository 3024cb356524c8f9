// The text of the progress line: files done of the total, bytes, the time taken
// and the time left.
#pragma once

#include <cstdint>
#include <string>

namespace wavchorus_cli {

struct ProgressCounts {
    std::uint64_t filesDone = 0;
    std::uint64_t filesTotal = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0; // 0 when not known
};

// For example "wavchorus: 12/500 files, 4.1 MB of 17.0 MB, 0:02 elapsed, 0:06 left",
// cut to at most width - 1 characters (the last column would wrap the line on
// some terminals). The time left follows from the bytes done in the time taken;
// "--:--" until there is something to go by.
std::string progressLine(const ProgressCounts& counts, double elapsedSeconds, int width);

} // namespace wavchorus_cli
