#pragma once

// The bodies that both benchmark programs time: a whole correction run (the row loops of every
// plane, without the pause at the end) on a 6000 x 4000 image of three planes, a plain parallel
// copy of the same bytes, the design's own floor of one empty parallel region per row of every
// plane, and, when OpenCV is there, its remap of the same planes through a map of our transform.
// One pixel is one sample in each of the three planes.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "correction/CVexoCorrectionAlgorithm.h"
#include "correction/ParallelRuntime.h"
#include "correction/RowKernels.h"
#include "tests/correction/CorrectionTestAccess.h"
#include "tests/correction/InMemoryHost.h"
#include "tests/correction/StubbedServices.h"

#ifdef VEXO_BENCH_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace vexo::bench {

using vexo::testing::InMemoryHost;
using vexo::testing::StubbedServices;

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int32_t kPlanes = 3;
constexpr int64_t kPixels = int64_t{kWidth} * kHeight;

// A smooth picture, so that the centre check below can tell a working run from a broken one.
inline uint32_t Picture(int32_t plane, int32_t x, int32_t y, int32_t depth) {
    const double value = 128.0 + 100.0 * std::sin(x / 300.0 + plane) * std::cos(y / 200.0);
    return static_cast<uint32_t>(depth == 8 ? value : value * 128.0);
}

// The image is made once per depth and kept: filling it costs more than a run.
inline InMemoryHost& ImageOfDepth(int32_t depth) {
    static std::unique_ptr<InMemoryHost> images[2];
    std::unique_ptr<InMemoryHost>& image = images[depth == 8 ? 0 : 1];
    if (!image) {
        image = std::make_unique<InMemoryHost>(kWidth, kHeight, kPlanes, depth);
        image->FillInput(
            [depth](int32_t p, int32_t x, int32_t y) { return Picture(p, x, y, depth); });
    }
    return *image;
}

// The centre stays nearly in place, so there the output must show the input's value.
inline bool CentreLooksRight(const InMemoryHost& image, int32_t depth) {
    const uint32_t tolerance = depth == 8 ? 2 : 2 * 128;
    for (int32_t plane = 0; plane < kPlanes; ++plane) {
        const uint32_t in = image.InputAt(plane, kWidth / 2, kHeight / 2);
        const uint32_t out = image.OutputAt(plane, kWidth / 2, kHeight / 2);
        if ((in > out ? in - out : out - in) > tolerance) {
            return false;
        }
    }
    return true;
}

// One whole correction; the pause after the run is recorded, not slept, and the thread count
// is the one asked for.
class CorrectionCase {
public:
    CorrectionCase(int32_t depth, int32_t threads)
        : depth_(depth), image_(ImageOfDepth(depth)), services_(threads) {
        image_.Init(2);
    }
    ~CorrectionCase() { image_.Release(); }
    CorrectionCase(const CorrectionCase&) = delete;
    CorrectionCase& operator=(const CorrectionCase&) = delete;

    bool Run() {
        image_.calls.clear();
        CARect inRect(kWidth, kHeight);
        CARect outRect(kWidth, kHeight);
        return image_.Process(inRect, outRect, CAProcessWholeImage) == CAResultOk;
    }
    bool OutputLooksRight() const { return CentreLooksRight(image_, depth_); }

private:
    int32_t depth_;
    InMemoryHost& image_;
    StubbedServices services_;
};

// Every input byte of the three planes copied to the output once, row by row on all threads,
// with nothing computed.
class CopyCase {
public:
    explicit CopyCase(int32_t depth, int32_t threads)
        : rowBytes_(kWidth * (depth == 8 ? 1 : 2)),
          input_(rowBytes_ * kHeight * kPlanes, 0x5A),
          output_(input_.size(), 0),
          threads_(threads) {}

    void Run() {
        const int32_t rows = kHeight * kPlanes;
        const size_t rowBytes = rowBytes_;
        unsigned char* out = output_.data();
        const unsigned char* in = input_.data();
        PrepareParallelRuntime();
#pragma omp parallel for schedule(static) num_threads(threads_)
        for (int32_t row = 0; row < rows; ++row) {
            std::memcpy(out + row * rowBytes, in + row * rowBytes, rowBytes);
        }
    }
    bool OutputLooksRight() const { return output_.front() == 0x5A && output_.back() == 0x5A; }

private:
    size_t rowBytes_;
    std::vector<unsigned char> input_;
    std::vector<unsigned char> output_;
    int32_t threads_;
};

// As many empty parallel regions as a run has rows: the cost of the fork and join alone.
inline void EmptyRegions(int32_t threads) {
    // With the runtime settings of a correction run.
    PrepareParallelRuntime();
    for (int32_t row = 0; row < kHeight * kPlanes; ++row) {
#pragma omp parallel num_threads(threads)
        {
            // Keeps the region from being optimised away.
            asm volatile("" ::: "memory");
        }
    }
}

#ifdef VEXO_BENCH_WITH_OPENCV
// OpenCV's remap of the same three planes through a precomputed map of our own transform: the
// fitted lens of preset 2, evaluated once per pixel before the timing.
class RemapCase {
public:
    RemapCase(int32_t depth, int32_t threads, int interpolation)
        : interpolation_(interpolation), threads_(threads) {
        InMemoryHost& image = ImageOfDepth(depth);
        image.params.preset = 2;
        const RunGeometry g = CVexoCorrectionAlgorithmTestAccess::LoadAndFit(image, kWidth, kHeight);
        mapX_.create(kHeight, kWidth, CV_32FC1);
        mapY_.create(kHeight, kWidth, CV_32FC1);
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                float xs = static_cast<float>(x);
                float ys = static_cast<float>(y);
                image.internalParams.TransformCoordinates(&xs, &ys, g.scale, g.radius, g.invRadius,
                                                          g.longSide, g.shortSide);
                mapX_.at<float>(y, x) = xs;
                mapY_.at<float>(y, x) = ys;
            }
        }
        const int type = depth == 8 ? CV_8UC1 : CV_16UC1;
        const size_t sampleBytes = depth == 8 ? 1 : 2;
        CARect rect(kWidth, kHeight);
        for (int32_t plane = 0; plane < kPlanes; ++plane) {
            void* in = nullptr;
            int32_t inStride = 0;
            void* out = nullptr;
            int32_t outStride = 0;
            image.GetDataRef(rect, &in, &inStride, rect, &out, &outStride,
                             static_cast<CAChannelsType>(CAChannelsSinglePlaneBase + plane));
            sources_.emplace_back(kHeight, kWidth, type, in, inStride * sampleBytes);
            targets_.emplace_back(kHeight, kWidth, type);
        }
    }

    void Run() {
        cv::setNumThreads(threads_);
        for (int32_t plane = 0; plane < kPlanes; ++plane) {
            cv::remap(sources_[plane], targets_[plane], mapX_, mapY_, interpolation_,
                      cv::BORDER_REPLICATE);
        }
    }
    // The centre of the map points at the centre, so the output must show the input there.
    bool OutputLooksRight() const {
        for (int32_t plane = 0; plane < kPlanes; ++plane) {
            const double in = sources_[plane].depth() == CV_8U
                                  ? sources_[plane].at<uint8_t>(kHeight / 2, kWidth / 2)
                                  : sources_[plane].at<uint16_t>(kHeight / 2, kWidth / 2);
            const double out = targets_[plane].depth() == CV_8U
                                   ? targets_[plane].at<uint8_t>(kHeight / 2, kWidth / 2)
                                   : targets_[plane].at<uint16_t>(kHeight / 2, kWidth / 2);
            const double tolerance = sources_[plane].depth() == CV_8U ? 2.0 : 256.0;
            if (std::fabs(in - out) > tolerance) {
                return false;
            }
        }
        return true;
    }

private:
    int interpolation_;
    int32_t threads_;
    cv::Mat mapX_;
    cv::Mat mapY_;
    std::vector<cv::Mat> sources_;
    std::vector<cv::Mat> targets_;
};
#endif

}  // namespace vexo::bench
