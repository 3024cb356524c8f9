// The console report of one call: eight lines of text, with one empty line
// between the input's half and the output's half. It is put together as the call
// goes and written whole, in one write, when the call ends, so that the reports
// of calls on several threads, or of several processes on one pipe, never
// interleave.
#pragma once

#include "WaveFormat.h"

#include <array>
#include <cstddef>

namespace mavrel {

struct Report {
    // Both halves take at most 200 characters, whatever the values.
    std::array<char, 256> text{};
    std::size_t length = 0;
};

// The values read from the input header, once they have been validated.
void addInputHalf(Report& report, const WaveInfo& info);
// The values written to the output header, once it has been written.
void addOutputHalf(Report& report, const WaveInfo& info);

// Writes what the report holds to stdout in one write, after anything that
// stdout already holds. Nothing when it is empty.
void emitReport(const Report& report);

} // namespace mavrel
