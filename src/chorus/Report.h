// The console report: eight lines of text, with one empty line between the
// input's half and the output's half.
#pragma once

#include "WaveHeader.h"

namespace mavrel {

void printInputReport(const WaveInfo& info);
void printOutputReport(const WaveInfo& info);

} // namespace mavrel
