#include "correction/RowKernels.h"

namespace {

// Set only by tests and benchmarks, on the calling thread between runs.
RowKernel gPinnedKernel = RowKernel::Plain;
bool gKernelPinned = false;

void ResampleRowBlock8Plain(const ResampleLineJob<uint8_t>& job, int32_t begin, int32_t end) {
    for (int32_t column = begin; column < end; ++column) {
        ResampleLine8ParallelBody(job, column);
    }
}

void ResampleRowBlock16Plain(const ResampleLineJob<uint16_t>& job, int32_t begin, int32_t end) {
    for (int32_t column = begin; column < end; ++column) {
        ResampleLine16ParallelBody(job, column);
    }
}

}  // namespace

bool RowKernelAvailable(RowKernel kernel) {
    switch (kernel) {
    case RowKernel::Plain:
    case RowKernel::Sse2:
        return true;
    case RowKernel::Avx2:
        return __builtin_cpu_supports("avx2");
    }
    return false;
}

RowKernel RowKernelForRun() {
    if (gKernelPinned) {
        return gPinnedKernel;
    }
    return RowKernelAvailable(RowKernel::Avx2) ? RowKernel::Avx2 : RowKernel::Sse2;
}

bool PinRowKernel(RowKernel kernel) {
    if (!RowKernelAvailable(kernel)) {
        return false;
    }
    gPinnedKernel = kernel;
    gKernelPinned = true;
    return true;
}

void UnpinRowKernel() {
    gKernelPinned = false;
}

RowBlock8 RowBlockBody8(RowKernel kernel) {
    switch (kernel) {
    case RowKernel::Sse2:
        return ResampleRowBlock8Sse2;
    case RowKernel::Avx2:
        return ResampleRowBlock8Avx2;
    case RowKernel::Plain:
        break;
    }
    return ResampleRowBlock8Plain;
}

RowBlock16 RowBlockBody16(RowKernel kernel) {
    switch (kernel) {
    case RowKernel::Sse2:
        return ResampleRowBlock16Sse2;
    case RowKernel::Avx2:
        return ResampleRowBlock16Avx2;
    case RowKernel::Plain:
        break;
    }
    return ResampleRowBlock16Plain;
}

void TransformCoordinatesInLanes(RowKernel kernel, const VexoInternalParams& lens,
                                 const RunGeometry& geometry, float* longPos, float* shortPos,
                                 int32_t count) {
    switch (kernel) {
    case RowKernel::Sse2:
        TransformCoordinatesSse2(lens, geometry, longPos, shortPos, count);
        return;
    case RowKernel::Avx2:
        TransformCoordinatesAvx2(lens, geometry, longPos, shortPos, count);
        return;
    case RowKernel::Plain:
        break;
    }
    for (int32_t k = 0; k < count; ++k) {
        lens.TransformCoordinates(&longPos[k], &shortPos[k], geometry.scale, geometry.radius,
                                  geometry.invRadius, geometry.longSide, geometry.shortSide);
    }
}
