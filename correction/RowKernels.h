#pragma once

#include <cstdint>

#include "correction/RowResampler.h"

// The row bodies that the drivers run over one thread's block of a row's columns. The plain one
// is the reference: it calls ResampleLine8ParallelBody or ResampleLine16ParallelBody per column.
// The others compute several columns at once, each lane exactly what the plain body computes for
// its column, so every choice writes the same bytes.
enum class RowKernel : int32_t {
    Plain = 0,
    Sse2 = 1,  // four columns at a time; every 64-bit x86 processor has it
    Avx2 = 2,  // eight columns at a time
};

// Whether this processor can run the kernel.
bool RowKernelAvailable(RowKernel kernel);

// The kernel that the next run uses: the fastest one the processor has, unless one is pinned.
// The drivers ask once per run.
RowKernel RowKernelForRun();

// Pins the kernel of the runs that follow, so that tests and benchmarks can compare them. A
// kernel the processor lacks is not pinned. UnpinRowKernel returns to the fastest.
bool PinRowKernel(RowKernel kernel);
void UnpinRowKernel();

// Computes and stores output samples [begin, end) of the job's row.
using RowBlock8 = void (*)(const ResampleLineJob<uint8_t>& job, int32_t begin, int32_t end);
using RowBlock16 = void (*)(const ResampleLineJob<uint16_t>& job, int32_t begin, int32_t end);

RowBlock8 RowBlockBody8(RowKernel kernel);
RowBlock16 RowBlockBody16(RowKernel kernel);

// The instruction-set kernels, defined in their own files.
void ResampleRowBlock8Sse2(const ResampleLineJob<uint8_t>& job, int32_t begin, int32_t end);
void ResampleRowBlock16Sse2(const ResampleLineJob<uint16_t>& job, int32_t begin, int32_t end);
void ResampleRowBlock8Avx2(const ResampleLineJob<uint8_t>& job, int32_t begin, int32_t end);
void ResampleRowBlock16Avx2(const ResampleLineJob<uint16_t>& job, int32_t begin, int32_t end);

// TransformCoordinates of the kernel's lanes over `count` positions, each pair in place, for the
// tests that hold the lanes to the plain transform bit for bit. count is a multiple of 8.
void TransformCoordinatesInLanes(RowKernel kernel, const VexoInternalParams& lens,
                                 const RunGeometry& geometry, float* longPos, float* shortPos,
                                 int32_t count);
void TransformCoordinatesSse2(const VexoInternalParams& lens, const RunGeometry& geometry,
                              float* longPos, float* shortPos, int32_t count);
void TransformCoordinatesAvx2(const VexoInternalParams& lens, const RunGeometry& geometry,
                              float* longPos, float* shortPos, int32_t count);
