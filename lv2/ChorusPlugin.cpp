// The chorus as an LV2 plugin, in two forms: mono (one input, one output) and
// stereo (two inputs, two outputs), the stereo one following the library's rule
// for a two-channel file: the left input is chorused onto both outputs, the right
// input is read and dropped.
//
// The signal path is the library's own (setUpChorus, processBlock and the shared
// limiter table); this file maps the host's float buffers to the 16-bit values
// that the engine takes and back, and keeps the real-time rules of a plugin:
// instantiate allocates everything, activate resets without allocating, and run
// allocates nothing, takes no lock and makes no system call.
#include "ChorusState.h"
#include "LimiterTable.h"
#include "MavrelWAVChorus.h"

#include <lv2/core/lv2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr const char* kMonoUri = "urn:mavrelwavchorus:mono";
constexpr const char* kStereoUri = "urn:mavrelwavchorus:stereo";

// The host's buffers go through the engine in chunks of at most this many
// frames, through scratch buffers of the instance: the engine needs its input and
// output apart, and a host may hand the same buffer for both.
constexpr std::size_t kChunkFrames = 256;

// A host value to the 16-bit value the engine takes: x times 32768, truncated
// toward zero like every conversion of the signal path, and clipped to the 16-bit
// range; NaN counts as silence. A 16-bit source read as floats (s / 32768, as
// libsndfile reads it) gives back exactly s, since that product is exact.
std::int16_t toSixteenBits(float x) {
    float v = x * 32768.0F;
    v = v == v ? v : 0.0F;
    v = std::clamp(v, -32768.0F, 32767.0F);
    return static_cast<std::int16_t>(static_cast<std::int32_t>(v));
}

// A 16-bit output to the host: v / 32767, so that a host that writes 16-bit PCM
// with a scale of 32767 (libsndfile's, rounded to the nearest) writes exactly v.
float fromSixteenBits(std::int16_t v) {
    return static_cast<float>(v) / 32767.0F;
}

// The same over n values. With SSE2 (every x86-64), eight at a time with the
// instructions made for it: the truncating conversion, which gives INT32_MIN
// beyond its range, and the saturating pack to 16 bits, which clips; written out
// because the compiler builds the clip and the narrowing from shuffles. Values
// left over (fewer than eight) go through the functions above, and so do all of
// them on other processors.
void toSixteenBits(const float* x, std::int16_t* s, std::size_t n) {
    std::size_t k = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(32768.0F);
    const __m128 highest = _mm_set1_ps(32767.0F);
    const auto convert = [&](const float* from) {
        const __m128 v = _mm_mul_ps(_mm_loadu_ps(from), scale);
        // NaN to 0, then the top clipped; the bottom is clipped by the pack.
        return _mm_cvttps_epi32(_mm_min_ps(_mm_and_ps(v, _mm_cmpord_ps(v, v)), highest));
    };
    for (; k + 8 <= n; k += 8) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(s + k),
                         _mm_packs_epi32(convert(x + k), convert(x + k + 4)));
    }
#endif
    for (; k < n; ++k) {
        s[k] = toSixteenBits(x[k]);
    }
}

void fromSixteenBits(const std::int16_t* s, float* y, std::size_t n) {
    std::size_t k = 0;
#if defined(__SSE2__)
    const __m128 divisor = _mm_set1_ps(32767.0F);
    for (; k + 8 <= n; k += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k));
        // Each 16-bit value into the top half of a 32-bit one, then shifted down
        // with its sign.
        const __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
        const __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
        _mm_storeu_ps(y + k, _mm_div_ps(_mm_cvtepi32_ps(low), divisor));
        _mm_storeu_ps(y + k + 4, _mm_div_ps(_mm_cvtepi32_ps(high), divisor));
    }
#endif
    for (; k < n; ++k) {
        y[k] = fromSixteenBits(s[k]);
    }
}

struct Chorus {
    mavrel::ChorusState state;
    // The state as set up: activate copies it back into state, which has the
    // same sizes, so that a reset allocates nothing.
    mavrel::ChorusState initial;
    bool stereo = false;
    const float* in = nullptr; // the left input in stereo
    float* out = nullptr;      // the left output in stereo
    float* outRight = nullptr;
    std::array<std::int16_t, kChunkFrames> inValues{};
    std::array<std::int16_t, kChunkFrames> outValues{};
};

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char*,
                       const LV2_Feature* const*) {
    // The library's rates: whole numbers of 1 to WAVCHORUS_MAX_RATE Hz (the
    // oscillator's cycle is 10 x the rate in frames).
    if (!(rate >= 1.0 && rate <= WAVCHORUS_MAX_RATE) || rate != std::floor(rate)) {
        return nullptr;
    }
    auto* chorus = new (std::nothrow) Chorus;
    if (chorus == nullptr) {
        return nullptr;
    }
    try {
        chorus->initial = mavrel::setUpChorus(static_cast<std::int32_t>(rate));
        chorus->state = chorus->initial;
    } catch (const std::bad_alloc&) {
        delete chorus;
        return nullptr;
    }
    chorus->stereo = std::strcmp(descriptor->URI, kStereoUri) == 0;
    // Every entry of the process's limiter table, computed here once rather than
    // as run() first meets each mix: run() then does the same work whatever the
    // signal. Entries already filled are kept.
    for (std::int32_t mix = mavrel::kMixMin; mix <= mavrel::kMixMax; ++mix) {
        static_cast<void>(mavrel::limitMix(mix));
    }
    return chorus;
}

// Mono: 0 in, 1 out. Stereo: 0 and 1 in (the right input is never read), 2
// and 3 out.
void connectPort(LV2_Handle instance, std::uint32_t port, void* data) {
    auto* chorus = static_cast<Chorus*>(instance);
    if (port == 0) {
        chorus->in = static_cast<const float*>(data);
    } else if (port == (chorus->stereo ? 2U : 1U)) {
        chorus->out = static_cast<float*>(data);
    } else if (chorus->stereo && port == 3) {
        chorus->outRight = static_cast<float*>(data);
    }
}

// The state as at the start of a file: an empty ring, the oscillator at phase 0.
void activate(LV2_Handle instance) {
    auto* chorus = static_cast<Chorus*>(instance);
    chorus->state = chorus->initial;
}

void run(LV2_Handle instance, std::uint32_t frames) {
    auto* chorus = static_cast<Chorus*>(instance);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min<std::size_t>(kChunkFrames, frames - done);
        // The chunk's inputs are all read before any output of it is written, so
        // an output may share its buffer with an input.
        toSixteenBits(chorus->in + done, chorus->inValues.data(), n);
        mavrel::processBlock(chorus->state, chorus->inValues.data(), chorus->outValues.data(), n);
        fromSixteenBits(chorus->outValues.data(), chorus->out + done, n);
        if (chorus->stereo) {
            fromSixteenBits(chorus->outValues.data(), chorus->outRight + done, n);
        }
        done += n;
    }
}

void cleanup(LV2_Handle instance) {
    delete static_cast<Chorus*>(instance);
}

const void* extensionData(const char*) {
    return nullptr;
}

constexpr LV2_Descriptor kDescriptors[] = {
    {kMonoUri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData},
    {kStereoUri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData},
};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index < std::size(kDescriptors) ? &kDescriptors[index] : nullptr;
}
