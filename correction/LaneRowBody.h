#pragma once

// The row body over several columns at once, written once over a lane type V (the instruction
// set's vector operations) and included only by the file of each instruction set. Everything
// here is a template over V, so the instances of different instruction sets never share a symbol.
//
// Each lane computes exactly what RowResampler.h computes for its column: the same operations in
// the same order and grouping, in single precision, with no fused multiply-add. Where the plain
// code skips a term, a lane computes it and keeps its old value unless the plain code would have
// taken the new one, so even the sign of a zero is the plain code's. Columns whose 4 x 4 block
// does not lie inside the image (and the columns of a block too short for a whole vector) go to
// the plain body itself.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "correction/RowResampler.h"
#include "correction/RunGeometry.h"
#include "correction/VexoInternalParams.h"

namespace lanes {

// The steps of one group of lanes are inlined into the row loop: called, they pass their
// vectors through memory, which costs more than their work.
#define VEXO_LANE_STEP [[gnu::always_inline]] inline

// VexoInternalParams::TransformCoordinates on every lane; see there for the steps.
template <typename V>
VEXO_LANE_STEP void TransformCoordinates(const VexoInternalParams& lens, typename V::F& longPos,
                          typename V::F& shortPos, const RunGeometry& g) {
    using F = typename V::F;
    const F zero = V::Set(0.0f);
    const F one = V::Set(1.0f);
    const F scale = V::Set(g.scale);

    const float lastLong = g.longSide - 1.0f;
    const float lastShort = g.shortSide - 1.0f;
    const float cL = lastLong * 0.5f;
    const float cS = lastShort * 0.5f;

    const F invRadius = V::Set(g.invRadius);
    F u = V::Mul(V::Mul(V::Sub(longPos, V::Set(cL)), invRadius), V::Set(lens.HS));
    F v = V::Mul(V::Negate(V::Mul(V::Sub(shortPos, V::Set(cS)), invRadius)), V::Set(lens.VS));
    const F u0Squared = V::Mul(u, u);

    // A coefficient is the same on every lane, so its test stays a branch; a variable's test is
    // a lane mask.
    if (lens.H3 != 0.0f) {
        const F bent = V::Sub(v, V::Mul(V::Mul(V::Mul(v, v), v), V::Set(lens.H3)));
        v = V::Select(V::NotEqual(v, zero), bent, v);
    }
    if (lens.HC != 0.0f) {
        const F bent = V::Sub(v, V::Mul(V::Mul(u0Squared, v), V::Set(lens.HC)));
        v = V::Select(V::NotEqual(u, zero), bent, v);
    }
    if (lens.H5 != 0.0f) {
        const F a = V::Mul(v, scale);
        const F a2 = V::Mul(a, a);
        const F a3 = V::Mul(a2, a);
        const F a5 = V::Mul(V::Mul(a2, a2), a);
        const F bent = V::Add(v, V::Mul(V::Sub(a5, a3), V::Set(lens.H5)));
        v = V::Select(V::NotEqual(a, one), bent, v);
    }
    if (lens.HC3 != 0.0f) {
        const F b = V::Mul(v, scale);
        const F cubic = V::Sub(V::Mul(V::Mul(b, b), b), b);
        const F bent = V::Add(v, V::Mul(V::Mul(cubic, u0Squared), V::Set(lens.HC3)));
        v = V::Select(V::NotEqual(b, one), bent, v);
    }
    if (lens.V3 != 0.0f) {
        u = V::Sub(u, V::Mul(V::Mul(u0Squared, u), V::Set(lens.V3)));
    }
    if (lens.V5 != 0.0f) {
        const F s = V::Mul(u, u);
        u = V::Add(u, V::Mul(V::Sub(V::Mul(V::Mul(s, s), u), V::Mul(s, u)), V::Set(lens.V5)));
    }

    const F q = V::Mul(v, v);
    const F vNonZero = V::NotEqual(v, zero);
    if (lens.VC3 != 0.0f || lens.VCQ3 != 0.0f) {
        F d = zero;
        if (lens.VC3 != 0.0f) {
            d = V::Select(vNonZero, V::Mul(V::Set(lens.VC3), q), zero);
        }
        if (lens.VCQ3 != 0.0f) {
            d = V::Select(vNonZero, V::Add(d, V::Mul(V::Mul(q, q), V::Set(lens.VCQ3))), d);
        }
        const F bent = V::Add(u, V::Mul(V::Sub(V::Mul(V::Mul(u, u), u), u), d));
        u = V::Select(V::NotEqual(d, zero), bent, u);
    }

    if (lens.Twist != 0.0f) {
        const F twist = V::Set(lens.Twist);
        const F turned = V::Sub(u, V::Mul(V::Sub(one, V::Mul(u, u)), V::Mul(twist, v)));
        u = V::Select(vNonZero, turned, u);
        const F edge = V::Sub(one, V::Mul(V::Mul(q, scale), scale));
        const F shifted = V::Add(v, V::Mul(edge, V::Mul(twist, u)));
        v = V::Select(V::NotEqual(u, zero), shifted, v);
    }

    // The root of a lane whose w is not positive is computed but never taken.
    const F w = V::Sub(one, V::Mul(v, v));
    u = V::Select(V::Greater(w, zero), V::Mul(u, V::Sqrt(w)), zero);

    const F radius = V::Set(g.radius);
    longPos = V::ClampToSide(V::Add(V::Mul(u, radius), V::Set(cL)), V::Set(lastLong));
    shortPos = V::ClampToSide(V::Sub(V::Set(cS), V::Mul(v, radius)), V::Set(lastShort));
}

// TransformCoordinates over whole groups of lanes of two position arrays, in place; a
// tail shorter than one group is left as it is.
template <typename V>
void TransformCoordinatesBatch(const VexoInternalParams& lens, const RunGeometry& geometry,
                               float* longPos, float* shortPos, int32_t count) {
    for (int32_t k = 0; k + V::kLanes <= count; k += V::kLanes) {
        typename V::F x = V::Load(longPos + k);
        typename V::F y = V::Load(shortPos + k);
        TransformCoordinates<V>(lens, x, y, geometry);
        V::StoreF(longPos + k, x);
        V::StoreF(shortPos + k, y);
    }
}

// The four bilinear samples and the eight ring samples of each lane's 4 x 4 block.
template <typename V>
struct BlockSamples {
    typename V::F p, right, below, diag;
    typename V::F aboveRight, rightUpper, rightLower, belowRight;
    typename V::F belowLeft, leftLower, leftUpper, aboveLeft;
};

// Sample k (0 = the lowest address) of the 32-bit words that V::Gather read.
template <typename V, typename Sample>
VEXO_LANE_STEP typename V::F SampleOfWord(typename V::I words, int k) {
    constexpr int bits = 8 * static_cast<int>(sizeof(Sample));
    constexpr int32_t mask = (int32_t{1} << bits) - 1;
    return V::ToFloat(V::AndI(V::ShiftRight(words, bits * k), V::SetI(mask)));
}

// The 32-bit word at `at`, which need not be aligned.
template <typename Sample>
int32_t WordAt(const Sample* at) {
    int32_t word;
    std::memcpy(&word, at, sizeof(word));
    return word;
}

// Each lane's sample (cx - 1, cy - 1), the top left corner of its 4 x 4 block, for plain loads:
// one load per lane and word is faster than a gather instruction on the processors measured, and
// the offsets stay in pointer width.
template <typename V, typename Sample>
struct BlockCorners {
    const Sample* at[V::kLanes];
    ptrdiff_t stride;

    BlockCorners(const SourcePlane<Sample>& plane, typename V::I cx, typename V::I cy)
        : stride(plane.rowStride) {
        alignas(32) int32_t columns[V::kLanes];
        alignas(32) int32_t rows[V::kLanes];
        V::StoreI(columns, cx);
        V::StoreI(rows, cy);
        for (int lane = 0; lane < V::kLanes; ++lane) {
            at[lane] = plane.data + static_cast<ptrdiff_t>(rows[lane] - 1) * stride +
                       (columns[lane] - 1);
        }
    }

    // The word of each lane at `row` rows and `column` samples from its corner.
    typename V::I Words(int32_t row, int32_t column) const {
        const ptrdiff_t offset = row * stride + column;
        return V::FromLanes([this, offset](int lane) { return WordAt(at[lane] + offset); });
    }
};

// Sample `column` of a block row, counted from the block's left edge, from the row's words
// starting at columns 0 and 2. (A lambda would not be compiled for the file's instruction set.)
template <typename V, typename Sample>
VEXO_LANE_STEP typename V::F InnerSample(typename V::I left, typename V::I right, int column) {
    return sizeof(Sample) == 2 && column >= 2 ? SampleOfWord<V, Sample>(right, column - 2)
                                              : SampleOfWord<V, Sample>(left, column);
}

// Reads the blocks at columns cx - 1 .. cx + 2 and rows cy - 1 .. cy + 2, which must lie inside.
template <typename V, typename Sample>
VEXO_LANE_STEP BlockSamples<V> ReadBlocks(const SourcePlane<Sample>& plane, typename V::I cx,
                                          typename V::I cy) {
    using I = typename V::I;
    const BlockCorners<V, Sample> corners(plane, cx, cy);
    // A word holds a row's four 8-bit samples, or two 16-bit ones; the outer rows need only the
    // middle two samples, one word of either size from column 1 on.
    constexpr bool wide = sizeof(Sample) == 2;
    constexpr int32_t outerFirst = wide ? 1 : 0;
    const I above = corners.Words(0, outerFirst);
    const I hereLeft = corners.Words(1, 0);
    const I hereRight = wide ? corners.Words(1, 2) : hereLeft;
    const I nextLeft = corners.Words(2, 0);
    const I nextRight = wide ? corners.Words(2, 2) : nextLeft;
    const I after = corners.Words(3, outerFirst);
    BlockSamples<V> b;
    b.p = InnerSample<V, Sample>(hereLeft, hereRight, 1);
    b.right = InnerSample<V, Sample>(hereLeft, hereRight, 2);
    b.below = InnerSample<V, Sample>(nextLeft, nextRight, 1);
    b.diag = InnerSample<V, Sample>(nextLeft, nextRight, 2);
    b.aboveRight = SampleOfWord<V, Sample>(above, 2 - outerFirst);
    b.rightUpper = InnerSample<V, Sample>(hereLeft, hereRight, 3);
    b.rightLower = InnerSample<V, Sample>(nextLeft, nextRight, 3);
    b.belowRight = SampleOfWord<V, Sample>(after, 2 - outerFirst);
    b.belowLeft = SampleOfWord<V, Sample>(after, 1 - outerFirst);
    b.leftLower = InnerSample<V, Sample>(nextLeft, nextRight, 0);
    b.leftUpper = InnerSample<V, Sample>(hereLeft, hereRight, 0);
    b.aboveLeft = SampleOfWord<V, Sample>(above, 1 - outerFirst);
    return b;
}

// VexoInternalParams::ApplyBicubicBump on every lane.
template <typename V>
VEXO_LANE_STEP typename V::F ApplyBicubicBump(typename V::F value, typename V::F fx, typename V::F fy,
                               const BlockSamples<V>& b, float gain) {
    using F = typename V::F;
    const F one = V::Set(1.0f);
    const F t = V::Sub(one, fy);
    const F a = V::Sub(one, fx);
    const F cU = V::Mul(V::Sub(V::Mul(t, t), one), t);
    const F cV = V::Mul(V::Sub(V::Mul(fx, fx), one), fx);
    const F cW = V::Mul(V::Sub(V::Mul(fy, fy), one), fy);
    const F cB = V::Mul(V::Sub(V::Mul(a, a), one), a);

    const F wAboveRight = V::Mul(cU, fx);
    const F wRightUpper = V::Mul(cV, t);
    const F wRightLower = V::Mul(cV, fy);
    const F wBelowRight = V::Mul(cW, fx);
    const F wBelowLeft = V::Mul(cW, a);
    const F wLeftLower = V::Mul(cB, fy);
    const F wLeftUpper = V::Mul(cB, t);
    const F wAboveLeft = V::Mul(cU, a);

    F weighted = V::Mul(b.aboveRight, wAboveRight);
    weighted = V::Add(weighted, V::Mul(b.rightUpper, wRightUpper));
    weighted = V::Add(weighted, V::Mul(b.rightLower, wRightLower));
    weighted = V::Add(weighted, V::Mul(b.belowRight, wBelowRight));
    weighted = V::Add(weighted, V::Mul(b.belowLeft, wBelowLeft));
    weighted = V::Add(weighted, V::Mul(b.leftLower, wLeftLower));
    weighted = V::Add(weighted, V::Mul(b.leftUpper, wLeftUpper));
    weighted = V::Add(weighted, V::Mul(b.aboveLeft, wAboveLeft));
    F weights = V::Add(wAboveRight, wRightUpper);
    weights = V::Add(weights, wRightLower);
    weights = V::Add(weights, wBelowRight);
    weights = V::Add(weights, wBelowLeft);
    weights = V::Add(weights, wLeftLower);
    weights = V::Add(weights, wLeftUpper);
    weights = V::Add(weights, wAboveLeft);
    return V::Add(value, V::Mul(V::Set(gain), V::Sub(weighted, V::Mul(weights, value))));
}

template <typename V, typename Traits>
void ResampleRowBlock(const ResampleLineJob<typename Traits::Sample>& job, int32_t begin,
                      int32_t end) {
    using F = typename V::F;
    using I = typename V::I;
    const SourcePlane<typename Traits::Sample>& plane = job.source;
    int32_t column = begin;
    // A plane narrower or lower than a 4 x 4 block has no column with the bump.
    if (plane.width >= 4 && plane.height >= 4) {
        const VexoInternalParams lens = *job.internalParams;
        const RunGeometry& g = job.geometry;
        const F rowPosition = V::Set(static_cast<float>(job.y));
        const I lastBlockColumn = V::SetI(plane.width - 2);
        const I lastBlockRow = V::SetI(plane.height - 2);
        const I zeroI = V::SetI(0);
        const I safeCorner = V::SetI(1);
        const F zero = V::Set(0.0f);
        const F one = V::Set(1.0f);
        const F half = V::Set(0.5f);
        const F upperClamp = V::Set(Traits::kUpperClamp);
        const I upperSample = V::SetI(static_cast<int32_t>(Traits::kUpperClamp));
        for (; column + V::kLanes <= end; column += V::kLanes) {
            F xs = V::ColumnPositions(column);
            F ys = rowPosition;
            if (g.transposed) {
                TransformCoordinates<V>(lens, ys, xs, g);
            } else {
                TransformCoordinates<V>(lens, xs, ys, g);
            }
            I cx = V::Truncate(xs);
            I cy = V::Truncate(ys);
            const F fx = V::Sub(xs, V::ToFloat(cx));
            const F fy = V::Sub(ys, V::ToFloat(cy));
            // Lanes whose block lies inside: cx - 1 >= 0, cx + 2 <= width - 1, the same for cy.
            const I inside =
                V::AndI(V::AndI(V::GreaterI(cx, zeroI), V::GreaterI(lastBlockColumn, cx)),
                        V::AndI(V::GreaterI(cy, zeroI), V::GreaterI(lastBlockRow, cy)));
            const int insideLanes = V::MaskBits(inside);
            if (insideLanes == 0) {
                for (int lane = 0; lane < V::kLanes; ++lane) {
                    ResampleLineParallelBody<Traits>(job, column + lane);
                }
                continue;
            }
            // The other lanes read a block that surely lies inside and are redone below.
            cx = V::SelectI(inside, cx, safeCorner);
            cy = V::SelectI(inside, cy, safeCorner);
            const BlockSamples<V> b = ReadBlocks<V>(plane, cx, cy);

            const F gx = V::Sub(one, fx);
            const F gy = V::Sub(one, fy);
            F value = V::Mul(V::Mul(gy, gx), b.p);
            value = V::Add(value, V::Mul(V::Mul(gy, fx), b.right));
            value = V::Add(value, V::Mul(V::Mul(gx, fy), b.below));
            value = V::Add(value, V::Mul(V::Mul(fy, fx), b.diag));
            value = ApplyBicubicBump<V>(value, fx, fy, b, job.bicubicGain);
            if (job.clampToNeighbours != 0) {
                const F highest = V::Max(V::Max(V::Max(b.p, b.right), b.below), b.diag);
                const F lowest = V::Min(V::Min(V::Min(b.p, b.right), b.below), b.diag);
                // std::min(value, highest) takes highest only when it is below value, and
                // std::max(value, lowest) takes lowest only when it is above.
                value = V::Min(highest, value);
                value = V::Max(lowest, value);
            }

            const F rounded = V::Add(value, half);
            I stored =
                V::SelectI(V::AsMask(V::GreaterEqual(rounded, zero)), V::Truncate(rounded), zeroI);
            stored = V::SelectI(V::AsMask(V::Greater(rounded, upperClamp)), upperSample, stored);
            V::Store(job.outputRow + column, stored);

            if (insideLanes != V::kAllLanes) {
                for (int lane = 0; lane < V::kLanes; ++lane) {
                    if ((insideLanes & (1 << lane)) == 0) {
                        ResampleLineParallelBody<Traits>(job, column + lane);
                    }
                }
            }
        }
    }
    for (; column < end; ++column) {
        ResampleLineParallelBody<Traits>(job, column);
    }
}

}  // namespace lanes

#undef VEXO_LANE_STEP
