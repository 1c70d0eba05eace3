// The row body eight columns at a time with AVX2. Only the functions of this file are compiled
// for AVX2, through the target pragma (clang's attribute pragma), and they run only after the
// processor said it has AVX2: the plug-in itself still runs on any 64-bit x86 processor. FMA
// stays off: a fused multiply-add would round differently from the plain code.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "correction/RowKernels.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "correction/LaneRowBody.h"

namespace {

struct Avx2Lanes {
    using F = __m256;
    using I = __m256i;
    static constexpr int kLanes = 8;
    static constexpr int kAllLanes = 0xFF;

    static F Load(const float* from) { return _mm256_loadu_ps(from); }
    static void StoreF(float* to, F v) { _mm256_storeu_ps(to, v); }
    static F Set(float v) { return _mm256_set1_ps(v); }
    static I SetI(int32_t v) { return _mm256_set1_epi32(v); }
    static F ColumnPositions(int32_t first) {
        const I ramp = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        return _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(first), ramp));
    }
    static F Add(F a, F b) { return _mm256_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm256_mul_ps(a, b); }
    static F Sqrt(F a) { return _mm256_sqrt_ps(a); }
    static F Negate(F a) { return _mm256_xor_ps(a, _mm256_set1_ps(-0.0f)); }
    // Unordered, as the plain != is: a lane that is not a number counts as different.
    static F NotEqual(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_NEQ_UQ); }
    static F Greater(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static F GreaterEqual(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    static F Select(F mask, F yes, F no) { return _mm256_blendv_ps(no, yes, mask); }
    // a < b ? a : b and a > b ? a : b, lane by lane.
    static F Min(F a, F b) { return _mm256_min_ps(a, b); }
    static F Max(F a, F b) { return _mm256_max_ps(a, b); }
    static F ClampToSide(F position, F last) {
        const F pulled = Select(Greater(position, last), last, position);
        return Select(GreaterEqual(position, _mm256_setzero_ps()), pulled, _mm256_setzero_ps());
    }

    static I Truncate(F a) { return _mm256_cvttps_epi32(a); }
    static F ToFloat(I a) { return _mm256_cvtepi32_ps(a); }
    static I AsMask(F mask) { return _mm256_castps_si256(mask); }
    static I AddI(I a, I b) { return _mm256_add_epi32(a, b); }
    static I AndI(I a, I b) { return _mm256_and_si256(a, b); }
    static I GreaterI(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
    static I SelectI(I mask, I yes, I no) { return _mm256_blendv_epi8(no, yes, mask); }
    static I ShiftRight(I a, int bits) { return _mm256_srl_epi32(a, _mm_cvtsi32_si128(bits)); }
    static int MaskBits(I mask) { return _mm256_movemask_ps(_mm256_castsi256_ps(mask)); }

    // Aligned to the vector's size.
    static void StoreI(int32_t* to, I v) { _mm256_store_si256(reinterpret_cast<__m256i*>(to), v); }
    // The vector of word(0) .. word(7).
    template <typename Word>
    static I FromLanes(const Word& word) {
        return _mm256_setr_epi32(word(0), word(1), word(2), word(3), word(4), word(5), word(6),
                                 word(7));
    }

    // The lanes hold 0 .. 255 or 0 .. 65535 here.
    static void Store(uint8_t* out, I samples) {
        const I words = _mm256_packus_epi32(samples, samples);
        const I bytes = _mm256_packus_epi16(words, words);
        const int32_t low = _mm_cvtsi128_si32(_mm256_castsi256_si128(bytes));
        const int32_t high = _mm_cvtsi128_si32(_mm256_extracti128_si256(bytes, 1));
        std::memcpy(out, &low, sizeof(low));
        std::memcpy(out + 4, &high, sizeof(high));
    }
    static void Store(uint16_t* out, I samples) {
        // Packing works within each 128-bit half; the permute joins the two halves' results.
        const I words = _mm256_permute4x64_epi64(_mm256_packus_epi32(samples, samples), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(words));
    }
};

}  // namespace

void ResampleRowBlock8Avx2(const ResampleLineJob<uint8_t>& job, int32_t begin, int32_t end) {
    lanes::ResampleRowBlock<Avx2Lanes, EightBitSamples>(job, begin, end);
}

void ResampleRowBlock16Avx2(const ResampleLineJob<uint16_t>& job, int32_t begin, int32_t end) {
    lanes::ResampleRowBlock<Avx2Lanes, SixteenBitSamples>(job, begin, end);
}

void TransformCoordinatesAvx2(const VexoInternalParams& lens, const RunGeometry& geometry,
                              float* longPos, float* shortPos, int32_t count) {
    lanes::TransformCoordinatesBatch<Avx2Lanes>(lens, geometry, longPos, shortPos, count);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
