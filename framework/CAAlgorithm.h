#pragma once

#include <cstdint>

#include "framework/CAAlgorithmBase.h"
#include "framework/CARect.h"
#include "framework/CAResult.h"
#include "framework/CATypes.h"
#include "framework/Export.h"

// No class of the framework has a virtual destructor: objects are destroyed through
// their most-derived type.

// What the host side calls on an algorithm. The owner keeps the order: fill
// imageInfo, Init, Analyze, Process, Release (on every path), destroy.
class VEXO_EXPORT CAAlgorithmInterface : public virtual CAAlgorithmBase {
public:
    virtual CAResult Init(int32_t preset) = 0;
    virtual CAResult Analyze(CARect& rect) = 0;
    virtual CAResult Process(CARect& inRect, CARect& outRect, CAProcessType type) = 0;
    virtual int32_t Version() = 0;  // a version number, not a result code
    virtual CAResult Release() = 0;

protected:
    CAAlgorithmInterface();
    CAAlgorithmInterface(const CAAlgorithmInterface& other) = default;
    CAAlgorithmInterface& operator=(const CAAlgorithmInterface& other);
};

// What an algorithm calls on its host, always on the thread that called Init,
// Process or Release, never from parallel workers.
class VEXO_EXPORT CAHostInterface : public virtual CAAlgorithmBase {
public:
    // A zero-filled block of at least size bytes, or null.
    virtual void* AllocateBuffer(uint32_t size) = 0;
    // Ignores null and blocks that AllocateBuffer did not hand out.
    virtual void FreeBuffer(void* block) = 0;
    virtual void ReportProgress(CAProgressStage stage, int32_t count) = 0;
    virtual CAResult GetData(CAImageBuffer* image, CARect& region, void* buffer,
                             CAChannelsType channels) = 0;
    virtual CAResult PutData(CAImageBuffer* image, CARect& region, void* buffer,
                             CAChannelsType channels) = 0;
    virtual int32_t ReservedOperation() = 0;
    // Direct access to the image: strides are counted in samples, not bytes.
    // The default returns CAResultNotImplemented and stores nothing.
    virtual CAResult GetDataRef(CARect& inRect, void** inData, int32_t* inRowBytes,
                                CARect& outRect, void** outData, int32_t* outRowBytes,
                                CAChannelsType channels);

protected:
    CAHostInterface();
    CAHostInterface(const CAHostInterface& other) = default;
    CAHostInterface& operator=(const CAHostInterface& other);
};

// The base of every algorithm: both interfaces over the one shared base.
class VEXO_EXPORT CAAlgorithm : public CAAlgorithmInterface, public CAHostInterface {
protected:
    CAAlgorithm();
    CAAlgorithm(const CAAlgorithm& other) = default;
    CAAlgorithm& operator=(const CAAlgorithm& other);

    // Linear interpolation in a table of count entries over [0, 1]. Values at or
    // outside the ends take the end entries unclamped; an interpolated result is
    // clamped at 0.
    static void ApplyLUT(float* value, float* table, int16_t count);
};
