// A straightforward model of the chorus, written from its description: one
// stream of values through a 2000-value ring (rates up to 57,142 Hz).
#pragma once

#include <cstdint>
#include <vector>

namespace hardening {

std::vector<std::int16_t> modelChorus(std::int32_t sampleRate, const std::vector<std::int16_t>& in);

} // namespace hardening
