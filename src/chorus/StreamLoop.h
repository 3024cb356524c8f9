// The streaming loop: samples from byte 44 of the input to its end, through the
// chorus, to the output after its header.
#pragma once

#include "ChorusState.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "WaveFormat.h"

namespace mavrel {

// headerWriteFailed: the first write, which carries the output header, failed.
enum class LoopStatus { ok, readFailed, writeFailed, headerWriteFailed };

// The input must stand at byte 44. The output gets the canonical header for
// info and then the samples: the header goes out with the first block. One or
// two channels go frame by frame, the first value of a frame through the chorus
// and its result written for each channel. Three or more channels go through the
// chorus as one stream of values. Missing input up to the declared frame count
// is replaced by silence.
// Works in blocks: the first sized to what the header declares, up to 64 KB;
// then 64 KB ones to the first mebibyte, and 256 KiB ones after it. Each is
// chorused into an output block of its size: the memory the loop takes is small
// for a short file and does not grow with a long one.
LoopStatus runStreamLoop(InputFile& in, OutputFile& out, const WaveInfo& info, ChorusState& state,
                         int& err);

} // namespace mavrel
