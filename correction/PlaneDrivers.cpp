#include "correction/PlaneDrivers.h"

#include <cstddef>
#include <cstdint>

#include "correction/RowResampler.h"
#include "correction/RunGeometry.h"
#include "correction/ThreadCount.h"
#include "framework/CATypes.h"
#include "platform/Platform.h"

namespace {

// Single-plane data requests reach planes 0 to 9 only.
constexpr int32_t kMaxPlanes = 10;
constexpr uint32_t kPauseAfterRunMs = 1000;

template <typename Sample>
using RowBody = void (*)(const ResampleLineJob<Sample>&, int32_t);

// The one parallel loop of the correction: the columns of one output row, in contiguous blocks
// of a static schedule, on `threads` threads for this loop alone. Every sample depends only on
// its own column, so the output is the same for any thread count.
template <typename Sample, RowBody<Sample> Body>
void ResampleRowInParallel(const ResampleLineJob<Sample>& job, int32_t threads) {
    const int32_t width = job.source.width;
#pragma omp parallel for schedule(static) num_threads(threads)
    for (int32_t column = 0; column < width; ++column) {
        Body(job, column);
    }
}

// The run's total of progress steps; the product wraps in 32 bits instead of overflowing.
int32_t WrappingProduct(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

}  // namespace

// One Process: preset, geometry and fit once, then every plane row by row.
struct CorrectionRun {
    template <typename Sample, RowBody<Sample> Body>
    static CAResult ProcessPlanes(CVexoCorrectionAlgorithm& algorithm, CARect& inRect,
                                  CARect& outRect);
};

template <typename Sample, RowBody<Sample> Body>
CAResult CorrectionRun::ProcessPlanes(CVexoCorrectionAlgorithm& algorithm, CARect& inRect,
                                      CARect& outRect) {
    if (inRect != outRect) {
        return CAResultBadParameter;
    }
    const int32_t width = algorithm.imageInfo.width;
    const int32_t height = algorithm.imageInfo.height;
    const int32_t channels = algorithm.imageInfo.channels;

    // An index without a preset loads nothing; the run goes on with the values held.
    algorithm.SetVexoInternalParameters(algorithm.params.preset);
    VexoInternalParams& lens = algorithm.internalParams;
    const RunGeometry geometry = ComputeRunGeometry(width, height, lens.RR);
    algorithm.DetermineHorizontalAndVerticalScaleFactors(lens.HS, lens.VS, lens.V3, geometry.scale,
                                                         geometry.radius, geometry.invRadius,
                                                         geometry.longSide, geometry.shortSide);

    algorithm.ReportProgress(CAProgressStart, WrappingProduct(channels, height));
    for (int32_t plane = 0; plane < channels; ++plane) {
        if (plane >= kMaxPlanes) {
            return CAResultDataUnavailable;
        }
        void* inData = nullptr;
        int32_t inRowBytes = 0;
        void* outData = nullptr;
        int32_t outRowBytes = 0;
        const auto selector = static_cast<CAChannelsType>(CAChannelsSinglePlaneBase + plane);
        if (algorithm.GetDataRef(inRect, &inData, &inRowBytes, outRect, &outData, &outRowBytes,
                                 selector) != CAResultOk) {
            return CAResultDataUnavailable;
        }

        ResampleLineJob<Sample> job{};
        job.source = {static_cast<const Sample*>(inData), inRowBytes, width, height};
        job.geometry = geometry;
        job.internalParams = &algorithm.internalParams;
        job.bicubicGain = algorithm.bicubicGain;
        job.clampToNeighbours = algorithm.clampToNeighbours;
        for (int32_t y = 0; y < height; ++y) {
            job.outputRow = static_cast<Sample*>(outData) + static_cast<ptrdiff_t>(y) * outRowBytes;
            job.y = y;
            ResampleRowInParallel<Sample, Body>(job, gThreadCount);
            // On the host's thread, after the row's workers have joined.
            algorithm.ReportProgress(CAProgressStep, 1);
        }
    }
    algorithm.ReportProgress(CAProgressEnd, 0);
    // The workers of the last loop settle before the host gets control back and may unload us.
    vexo::platform::SleepMilliseconds(kPauseAfterRunMs);
    return CAResultOk;
}

CAResult ProcessPlanes8(CVexoCorrectionAlgorithm& algorithm, CARect& inRect, CARect& outRect) {
    return CorrectionRun::ProcessPlanes<uint8_t, ResampleLine8ParallelBody>(algorithm, inRect,
                                                                            outRect);
}

CAResult ProcessPlanes16(CVexoCorrectionAlgorithm& algorithm, CARect& inRect, CARect& outRect) {
    return CorrectionRun::ProcessPlanes<uint16_t, ResampleLine16ParallelBody>(algorithm, inRect,
                                                                              outRect);
}
