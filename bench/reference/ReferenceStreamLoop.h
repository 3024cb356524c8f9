// The straightforward streaming loop, kept for the benchmark: samples from byte 44
// of the input to its end, one value at a time through the reference chorus.
#pragma once

#include "InputFile.h"
#include "OutputFile.h"
#include "ReferenceChorusState.h"
#include "WaveHeader.h"

namespace mavrel::reference {

enum class LoopStatus { ok, readFailed, writeFailed };

// The input must stand at byte 44. One or two channels go frame by frame, the
// first value of a frame through the chorus and its result written for each
// channel. Three or more channels go through the chorus as one stream of values.
// Missing input up to the declared frame count is replaced by silence.
LoopStatus runStreamLoop(InputFile& in, OutputFile& out, const WaveInfo& info, ChorusState& state,
                         int& err);

} // namespace mavrel::reference
