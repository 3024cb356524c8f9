// The limited mixes of a run, eight at a time, on x86 processors with AVX2: the
// sums are formed in vector registers and the limiter table is read with one
// gather for eight of them. The outputs are the table's, so they are bit for bit
// those of the plain loop in ChorusState.cpp, which does the rest everywhere else.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mavrel {

// Whether this build has the wide mix and the processor (and its system, which
// must save the vector registers) runs it.
bool wideMixAvailable();

// As mixInto in ChorusState.cpp: out[DryStride x k + c] for c < DryStride is the
// limited mix dry[DryStride x k] + tap[TapStride x k], for k below n, or below n
// rounded down to a multiple of 8 where n is less than 8. Returns that count (0
// where the wide mix is not built).
// Entries of the limiter table not yet computed are computed here.
template <std::size_t DryStride, std::size_t TapStride>
std::size_t mixWide(const std::int16_t* dry, const std::int16_t* tap, std::int16_t* out,
                    std::size_t n);

} // namespace mavrel
