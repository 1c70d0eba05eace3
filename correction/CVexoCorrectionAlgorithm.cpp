#include "correction/CVexoCorrectionAlgorithm.h"

#include "correction/LensPresets.h"
#include "correction/PlaneDrivers.h"
#include "correction/ThreadCount.h"
#include "framework/CAImageInfo.h"

namespace {

constexpr uint32_t kWorkBlockSize = 40;

}  // namespace

// The gain and the clamp flag start at 0 like the coefficients, so that a run with a preset
// index that loads nothing works on defined values.
CVexoCorrectionAlgorithm::CVexoCorrectionAlgorithm()
    : bicubicGain(0.0f), clampToNeighbours(0), reservedFlag(true) {
    workBlock = nullptr;
}

CVexoCorrectionAlgorithm::CVexoCorrectionAlgorithm(const CVexoCorrectionAlgorithm& other) = default;

CVexoCorrectionAlgorithm& CVexoCorrectionAlgorithm::operator=(
    const CVexoCorrectionAlgorithm& other) = default;

CVexoCorrectionAlgorithm::~CVexoCorrectionAlgorithm() = default;

CAResult CVexoCorrectionAlgorithm::Init(int32_t preset) {
    // Every run takes the count afresh, so a marker created between runs applies to the next.
    gThreadCount = GetProcessorCoreCount();
    if (workBlock != nullptr) {
        FreeBuffer(workBlock);
        workBlock = nullptr;
    }
    workBlock = AllocateBuffer(kWorkBlockSize);
    if (workBlock == nullptr) {
        return CAResultOutOfMemory;
    }
    params.preset = preset;
    appliedParams = params;
    return CAResultOk;
}

CAResult CVexoCorrectionAlgorithm::Analyze(CARect&) {
    return CAResultOk;
}

CAResult CVexoCorrectionAlgorithm::Process(CARect& inRect, CARect& outRect, CAProcessType) {
    if (CAIsEightBitDepth(imageInfo.depth)) {
        return ProcessPlanes8(*this, inRect, outRect);
    }
    return ProcessPlanes16(*this, inRect, outRect);
}

int32_t CVexoCorrectionAlgorithm::Version() {
    return 1;
}

CAResult CVexoCorrectionAlgorithm::Release() {
    if (workBlock != nullptr) {
        FreeBuffer(workBlock);
        workBlock = nullptr;
    }
    return CAResultOk;
}

CAResult CVexoCorrectionAlgorithm::SetVexoInternalParameters(int32_t preset) {
    const LensPreset* lens = FindLensPreset(preset);
    if (lens == nullptr) {
        return CAResultBadParameter;
    }
    internalParams = lens->coefficients;
    bicubicGain = lens->bicubicGain;
    clampToNeighbours = lens->clampToNeighbours;
    return CAResultOk;
}
