// The independent model of the chorus applied to one stream of values, as a
// mono file at the given rate passes through it.
#pragma once

#include <cstdint>
#include <vector>

namespace hardening {

std::vector<std::int16_t> modelChorus(std::int32_t sampleRate, const std::vector<std::int16_t>& in);

} // namespace hardening
