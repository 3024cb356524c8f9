#include "WideMix.h"

#include "LimiterTable.h"

#include <algorithm>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define MAVREL_WIDE_MIX 1
#include <immintrin.h>
#endif

namespace mavrel {

#if defined(MAVREL_WIDE_MIX)

namespace {

// A 32-bit gather at an entry's address reads the entry and the next one (the
// table has one spare entry at its end for the last): the low half is the entry.
static_assert(sizeof(LimiterEntry) == 2 && kLimiterEntriesRead == kMixValues + 1);

// Eight values as 32-bit integers: consecutive ones, or the first of each of
// eight stereo frames (the product with 1 and 0 of each pair, summed).
template <std::size_t Stride>
__attribute__((target("avx2"))) __m256i eightValues(const std::int16_t* p) {
    if constexpr (Stride == 1) {
        return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    } else {
        return _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                                 _mm256_set1_epi32(1));
    }
}

// Eight mixes from dry and tap, written to out; gives the lanes whose entries are
// not yet computed. spread: each 32-bit lane's entry into both its halves
// (stereo), or the eight entries into the low 8 bytes of each 128-bit half (mono).
template <std::size_t DryStride, std::size_t TapStride>
__attribute__((target("avx2"))) inline __m256i mixEight(const std::int16_t* dry,
                                                        const std::int16_t* tap, std::int16_t* out,
                                                        const int* centre, __m256i spread) {
    const __m256i mix = _mm256_add_epi32(eightValues<DryStride>(dry), eightValues<TapStride>(tap));
    const __m256i entries = _mm256_i32gather_epi32(centre, mix, 2);
    // Each entry is its output + 32768 (flipping the top bit gives the output),
    // or 0 while it is not yet computed.
    const __m256i v = _mm256_xor_si256(_mm256_shuffle_epi8(entries, spread),
                                       _mm256_set1_epi16(static_cast<short>(0x8000)));
    if constexpr (DryStride == 2) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
    } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm256_castsi256_si128(_mm256_permute4x64_epi64(v, 0x08)));
    }
    return _mm256_cmpeq_epi32(_mm256_and_si256(entries, _mm256_set1_epi32(0xFFFF)),
                              _mm256_setzero_si256());
}

// Computes the entries missing among the count mixes from k on.
template <std::size_t DryStride, std::size_t TapStride>
void fillMissing(const std::int16_t* dry, const std::int16_t* tap, std::int16_t* out, std::size_t k,
                 std::size_t count) {
    for (std::size_t j = k; j < k + count; ++j) {
        // The flipped 0 of an entry not yet computed: no mix outputs -32768.
        if (out[DryStride * j] == static_cast<std::int16_t>(-32768)) {
            const std::int16_t filled =
                fillLimiterEntry(static_cast<std::int32_t>(dry[DryStride * j]) +
                                 static_cast<std::int32_t>(tap[TapStride * j]));
            for (std::size_t c = 0; c < DryStride; ++c) {
                out[DryStride * j + c] = filled;
            }
        }
    }
}

template <std::size_t DryStride, std::size_t TapStride>
__attribute__((target("avx2"))) std::size_t
mixEights(const std::int16_t* dry, const std::int16_t* tap, std::int16_t* out, std::size_t n) {
    // The table indexed by the mix itself: its middle entry is the mix 0.
    const auto* centre = reinterpret_cast<const int*>(limiterEntries() - kMixMin);
    const __m256i spread =
        DryStride == 2 ? _mm256_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13, 0, 1,
                                          0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13)
                       : _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1,
                                          0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    // Sixteen at a time, then eight: the loop's own work shared by two gathers.
    const std::size_t whole = n - n % 8;
    for (std::size_t k = 0; k < whole; k += 16) {
        const std::size_t count = std::min<std::size_t>(16, whole - k);
        __m256i missing = mixEight<DryStride, TapStride>(dry + DryStride * k, tap + TapStride * k,
                                                         out + DryStride * k, centre, spread);
        if (count == 16) {
            const std::size_t h = k + 8;
            missing = _mm256_or_si256(
                missing, mixEight<DryStride, TapStride>(dry + DryStride * h, tap + TapStride * h,
                                                        out + DryStride * h, centre, spread));
        }
        if (_mm256_testz_si256(missing, missing) == 0) [[unlikely]] {
            fillMissing<DryStride, TapStride>(dry, tap, out, k, count);
        }
    }
    // The last few: the eight that end at n, over outputs already written,
    // which they write again with the same values.
    if (whole != n && n >= 8) {
        const std::size_t k = n - 8;
        const __m256i missing = mixEight<DryStride, TapStride>(
            dry + DryStride * k, tap + TapStride * k, out + DryStride * k, centre, spread);
        if (_mm256_testz_si256(missing, missing) == 0) [[unlikely]] {
            fillMissing<DryStride, TapStride>(dry, tap, out, k, 8);
        }
        return n;
    }
    return whole;
}

} // namespace

bool wideMixAvailable() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}

template <std::size_t DryStride, std::size_t TapStride>
std::size_t mixWide(const std::int16_t* dry, const std::int16_t* tap, std::int16_t* out,
                    std::size_t n) {
    return mixEights<DryStride, TapStride>(dry, tap, out, n);
}

#else

bool wideMixAvailable() {
    return false;
}

template <std::size_t DryStride, std::size_t TapStride>
std::size_t mixWide(const std::int16_t*, const std::int16_t*, std::int16_t*, std::size_t) {
    return 0;
}

#endif

template std::size_t mixWide<1, 1>(const std::int16_t*, const std::int16_t*, std::int16_t*,
                                   std::size_t);
template std::size_t mixWide<2, 1>(const std::int16_t*, const std::int16_t*, std::int16_t*,
                                   std::size_t);
template std::size_t mixWide<2, 2>(const std::int16_t*, const std::int16_t*, std::int16_t*,
                                   std::size_t);

} // namespace mavrel
