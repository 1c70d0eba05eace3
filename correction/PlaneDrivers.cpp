#include "correction/PlaneDrivers.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include <omp.h>

#include "correction/ParallelRuntime.h"
#include "correction/RowKernels.h"
#include "correction/RowResampler.h"
#include "correction/RunGeometry.h"
#include "correction/ThreadCount.h"
#include "framework/CATypes.h"
#include "platform/Platform.h"

RowRegionObserver gRowRegionObserver = nullptr;

namespace {

// Planes are requested one at a time, and those requests reach no further.
constexpr int32_t kMaxPlanes = kCASinglePlaneCount;
constexpr uint32_t kPauseAfterRunMs = 1000;

template <typename Sample>
using RowBlock = void (*)(const ResampleLineJob<Sample>&, int32_t, int32_t);

// The columns [begin, end) of `count` that a static schedule without chunk size gives to thread
// `thread` of `threads`: contiguous blocks, the first count % threads of them one column longer.
struct ColumnBlock {
    int32_t begin;
    int32_t end;
};

ColumnBlock StaticScheduleBlock(int32_t count, int32_t thread, int32_t threads) {
    int32_t size = count / threads;
    int32_t extra = count % threads;
    if (thread < extra) {
        ++size;
        extra = 0;
    }
    const int32_t begin = size * thread + extra;
    return {begin, begin + size};
}

// The one parallel loop of the correction: the columns of one output row, in the contiguous
// blocks of a static schedule, on `threads` threads for this loop alone. Each thread hands its
// whole block to the row body, so that a vector body sees whole runs of columns. Every sample
// depends only on its own column, so the output is the same for any thread count.
template <typename Sample>
void ResampleRowInParallel(const ResampleLineJob<Sample>& job, RowBlock<Sample> body,
                           int32_t threads) {
    // A row of no columns still runs its region, as every row does; every block is then empty.
    const int32_t width = std::max(job.source.width, 0);
#pragma omp parallel num_threads(threads)
    {
        const ColumnBlock block =
            StaticScheduleBlock(width, omp_get_thread_num(), omp_get_num_threads());
        if (gRowRegionObserver) {
            gRowRegionObserver(job.y, block.begin, block.end);
        }
        body(job, block.begin, block.end);
    }
}

// The run's total of progress steps; the product wraps in 32 bits instead of overflowing.
int32_t WrappingProduct(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

}  // namespace

// One Process: preset, geometry and fit once, then every plane row by row.
struct CorrectionRun {
    template <typename Sample>
    static CAResult ProcessPlanes(CVexoCorrectionAlgorithm& algorithm, CARect& inRect,
                                  CARect& outRect, RowBlock<Sample> body);
};

template <typename Sample>
CAResult CorrectionRun::ProcessPlanes(CVexoCorrectionAlgorithm& algorithm, CARect& inRect,
                                      CARect& outRect, RowBlock<Sample> body) {
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

    PrepareParallelRuntime();
    RowPace pace;
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
            ResampleRowInParallel<Sample>(job, body, gThreadCount);
            // On the host's thread, after the row's workers have joined.
            algorithm.ReportProgress(CAProgressStep, 1);
            pace.RowDone();
        }
    }
    algorithm.ReportProgress(CAProgressEnd, 0);
    // The workers of the last loop settle before the host gets control back and may unload us.
    vexo::platform::SleepMilliseconds(kPauseAfterRunMs);
    return CAResultOk;
}

CAResult ProcessPlanes8(CVexoCorrectionAlgorithm& algorithm, CARect& inRect, CARect& outRect) {
    // The row body is chosen once per run, by what the processor has.
    return CorrectionRun::ProcessPlanes<uint8_t>(algorithm, inRect, outRect,
                                                 RowBlockBody8(RowKernelForRun()));
}

CAResult ProcessPlanes16(CVexoCorrectionAlgorithm& algorithm, CARect& inRect, CARect& outRect) {
    return CorrectionRun::ProcessPlanes<uint16_t>(algorithm, inRect, outRect,
                                                  RowBlockBody16(RowKernelForRun()));
}
