// The row body four columns at a time with SSE2, which every 64-bit x86 processor has. SSE2 has
// no gather, so the lanes' samples are read one by one.

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "correction/LaneRowBody.h"
#include "correction/RowKernels.h"

namespace {

struct Sse2Lanes {
    using F = __m128;
    using I = __m128i;
    static constexpr int kLanes = 4;
    static constexpr int kAllLanes = 0xF;

    static F Load(const float* from) { return _mm_loadu_ps(from); }
    static void StoreF(float* to, F v) { _mm_storeu_ps(to, v); }
    static F Set(float v) { return _mm_set1_ps(v); }
    static I SetI(int32_t v) { return _mm_set1_epi32(v); }
    static F ColumnPositions(int32_t first) {
        return _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(first), _mm_setr_epi32(0, 1, 2, 3)));
    }
    static F Add(F a, F b) { return _mm_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm_mul_ps(a, b); }
    static F Sqrt(F a) { return _mm_sqrt_ps(a); }
    static F Negate(F a) { return _mm_xor_ps(a, _mm_set1_ps(-0.0f)); }
    // Unordered, as the plain != is: a lane that is not a number counts as different.
    static F NotEqual(F a, F b) { return _mm_cmpneq_ps(a, b); }
    static F Greater(F a, F b) { return _mm_cmpgt_ps(a, b); }
    static F GreaterEqual(F a, F b) { return _mm_cmpge_ps(a, b); }
    static F Select(F mask, F yes, F no) {
        return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
    }
    // a < b ? a : b and a > b ? a : b, lane by lane.
    static F Min(F a, F b) { return _mm_min_ps(a, b); }
    static F Max(F a, F b) { return _mm_max_ps(a, b); }
    static F ClampToSide(F position, F last) {
        const F pulled = Select(Greater(position, last), last, position);
        return Select(GreaterEqual(position, _mm_setzero_ps()), pulled, _mm_setzero_ps());
    }

    static I Truncate(F a) { return _mm_cvttps_epi32(a); }
    static F ToFloat(I a) { return _mm_cvtepi32_ps(a); }
    static I AsMask(F mask) { return _mm_castps_si128(mask); }
    static I AddI(I a, I b) { return _mm_add_epi32(a, b); }
    static I AndI(I a, I b) { return _mm_and_si128(a, b); }
    static I GreaterI(I a, I b) { return _mm_cmpgt_epi32(a, b); }
    static I SelectI(I mask, I yes, I no) {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    }
    static I ShiftRight(I a, int bits) { return _mm_srl_epi32(a, _mm_cvtsi32_si128(bits)); }
    static int MaskBits(I mask) { return _mm_movemask_ps(_mm_castsi128_ps(mask)); }

    // Aligned to the vector's size.
    static void StoreI(int32_t* to, I v) { _mm_store_si128(reinterpret_cast<__m128i*>(to), v); }
    // The vector of word(0) .. word(3).
    template <typename Word>
    static I FromLanes(const Word& word) {
        return _mm_setr_epi32(word(0), word(1), word(2), word(3));
    }

    // The lanes hold 0 .. 255 or 0 .. 65535 here.
    static void Store(uint8_t* out, I samples) {
        const I bytes = _mm_packus_epi16(_mm_packs_epi32(samples, samples), samples);
        const int32_t four = _mm_cvtsi128_si32(bytes);
        std::memcpy(out, &four, sizeof(four));
    }
    static void Store(uint16_t* out, I samples) {
        // SSE2 packs 32-bit lanes only with signed saturation: shift the range down and back.
        const I shifted = _mm_sub_epi32(samples, _mm_set1_epi32(32768));
        const I packed = _mm_xor_si128(_mm_packs_epi32(shifted, shifted), _mm_set1_epi16(-32768));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    }
};

}  // namespace

void ResampleRowBlock8Sse2(const ResampleLineJob<uint8_t>& job, int32_t begin, int32_t end) {
    lanes::ResampleRowBlock<Sse2Lanes, EightBitSamples>(job, begin, end);
}

void ResampleRowBlock16Sse2(const ResampleLineJob<uint16_t>& job, int32_t begin, int32_t end) {
    lanes::ResampleRowBlock<Sse2Lanes, SixteenBitSamples>(job, begin, end);
}

void TransformCoordinatesSse2(const VexoInternalParams& lens, const RunGeometry& geometry,
                              float* longPos, float* shortPos, int32_t count) {
    lanes::TransformCoordinatesBatch<Sse2Lanes>(lens, geometry, longPos, shortPos, count);
}
