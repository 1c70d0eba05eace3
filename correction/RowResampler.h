#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "correction/RunGeometry.h"
#include "correction/VexoInternalParams.h"

// The work of one output sample: map it back into the source, sample there bilinearly with the
// bicubic bump, round and clamp. Written once over the sample type; the traits hold what differs.
// Nothing here knows about threads: the driver runs the row body over a row's columns in
// parallel, and every call only reads shared values and writes its own output sample.

struct EightBitSamples {
    using Sample = uint8_t;
    static constexpr float kUpperClamp = 255.0f;
};

// The clamp is 65535, not the host's 16-bit maximum of 32768: the bilinear value never leaves the
// input's range, but a bump overshoot above 32768 reaches the output as it is.
struct SixteenBitSamples {
    using Sample = uint16_t;
    static constexpr float kUpperClamp = 65535.0f;
};

// The integer part of a non-negative value below 2^20: a source position inside the image or a
// rounded sample. The rule for it: widen v to double, add 2^20, and take the low 20 bits of the
// sum's upper 32-bit word. The sum lies in [2^20, 2^21), so its exponent is fixed and those 20
// bits are the sum's integer part less 2^20: v's integer part, unless the addition rounds up
// across an integer. It cannot. Near 2^20 a double resolves 2^-32; a float of 1 or more is a
// multiple of 2^-23 and is added exactly, and a float below 1 is at most 1 - 2^-24, itself a
// multiple of 2^-32, so its sum rounds to no more than 2^20 + 1 - 2^-24. Truncation therefore
// gives the same integer, without the detour through a double.
inline int32_t IntegerPart(float v) {
    return static_cast<int32_t>(v);
}

// Rounds half up and clamps to the sample range. A value that is not a number stores 0.
template <typename Traits>
typename Traits::Sample RoundAndClampToSampleRange(float value) {
    using Sample = typename Traits::Sample;
    const float rounded = value + 0.5f;
    if (rounded > Traits::kUpperClamp) {
        return static_cast<Sample>(Traits::kUpperClamp);
    }
    if (rounded >= 0.0f) {
        return static_cast<Sample>(IntegerPart(rounded));
    }
    return 0;
}

// One plane of source samples; offsets are taken in pointer width.
template <typename Sample>
struct SourcePlane {
    const Sample* data;  // sample (0, 0)
    int32_t rowStride;   // in samples, not bytes
    int32_t width;
    int32_t height;
};

// The value at source position (xs, ys), which must lie inside the plane: bilinear from the
// four samples around it, plus the bicubic bump where the 4 x 4 block around them lies inside
// the plane, optionally clamped into the range of the four samples. Not yet rounded.
template <typename Sample>
float SampleSourcePlane(const SourcePlane<Sample>& plane, const VexoInternalParams& lens, float xs,
                        float ys, float gain, int32_t clampToNeighbours) {
    const int32_t cx = IntegerPart(xs);
    const int32_t cy = IntegerPart(ys);
    const float fx = xs - static_cast<float>(cx);
    const float fy = ys - static_cast<float>(cy);
    const ptrdiff_t stride = plane.rowStride;
    const Sample* at = plane.data + static_cast<ptrdiff_t>(cy) * stride + cx;
    const auto sample = [at, stride](int32_t dx, int32_t dy) {
        return static_cast<float>(at[dy * stride + dx]);
    };

    const float p = sample(0, 0);
    float right = p;
    float below = p;
    float diag = p;
    // On the last column or row neither axis is interpolated: the value is P.
    if (cx + 1 < plane.width && cy + 1 < plane.height) {
        right = sample(1, 0);
        below = sample(0, 1);
        diag = sample(1, 1);
    }
    float value = ((1.0f - fy) * (1.0f - fx)) * p + ((1.0f - fy) * fx) * right +
                  ((1.0f - fx) * fy) * below + (fy * fx) * diag;

    if (cy - 1 >= 0 && cy + 2 <= plane.height - 1 && cx - 1 >= 0 && cx + 2 <= plane.width - 1) {
        value = lens.ApplyBicubicBump(value, fx, fy, sample(1, -1), sample(2, 0), sample(2, 1),
                                      sample(1, 2), sample(0, 2), sample(-1, 1), sample(-1, 0),
                                      sample(0, -1), gain);
    }
    if (clampToNeighbours != 0) {
        value = std::min(value, std::max({p, right, below, diag}));
        value = std::max(value, std::min({p, right, below, diag}));
    }
    return value;
}

// What every column of one output row shares; read-only while the row runs.
template <typename Sample>
struct ResampleLineJob {
    Sample* outputRow;  // column 0 of output row y
    int32_t y;
    SourcePlane<Sample> source;  // the image's width and height, never swapped
    RunGeometry geometry;
    const VexoInternalParams* internalParams;
    float bicubicGain;
    int32_t clampToNeighbours;
};

// Computes and stores output sample `column` of the job's row.
template <typename Traits>
void ResampleLineParallelBody(const ResampleLineJob<typename Traits::Sample>& job, int32_t column) {
    // A private copy per column: the workers share nothing that anyone writes.
    const VexoInternalParams lens = *job.internalParams;
    const RunGeometry& g = job.geometry;
    float xs = static_cast<float>(column);
    float ys = static_cast<float>(job.y);
    // The long-side position goes first, so a tall image hands over its row there.
    float* longPos = g.transposed ? &ys : &xs;
    float* shortPos = g.transposed ? &xs : &ys;
    lens.TransformCoordinates(longPos, shortPos, g.scale, g.radius, g.invRadius, g.longSide,
                              g.shortSide);
    const float value =
        SampleSourcePlane(job.source, lens, xs, ys, job.bicubicGain, job.clampToNeighbours);
    job.outputRow[column] = RoundAndClampToSampleRange<Traits>(value);
}

inline void ResampleLine8ParallelBody(const ResampleLineJob<uint8_t>& job, int32_t column) {
    ResampleLineParallelBody<EightBitSamples>(job, column);
}

inline void ResampleLine16ParallelBody(const ResampleLineJob<uint16_t>& job, int32_t column) {
    ResampleLineParallelBody<SixteenBitSamples>(job, column);
}
