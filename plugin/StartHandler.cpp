#include "plugin/StartHandler.h"

#include <new>

#include "framework/CARect.h"
#include "host/HostFilterInterface.h"
#include "host/HostGlobals.h"
#include "host/PIVexoCorrectionAlgorithm.h"
#include "host/Progress.h"
#include "platform/Platform.h"
#include "plugin/FilterRecordRules.h"
#include "plugin/LibraryLifetime.h"

PIVexoCorrectionAlgorithm* gCorrectionAlgorithm = nullptr;

namespace {

constexpr int32_t kMinimumSide = 24;
constexpr int32_t kCorrectionPreset = 2;

constexpr char kTooSmallText[] =
    "Image (or selection) must be at least 24x24.  Use your imaging application to increase "
    "the image size (or select a larger area).";
constexpr char kTooSmallCaption[] = "Pellion Plug-In - ERROR";

void DeleteCorrection() {
    gCorrectionAlgorithm->Release();
    delete gCorrectionAlgorithm;
    gCorrectionAlgorithm = nullptr;
}

void FillImageInfo(CAImageInfo& info, const FilterRecord& record) {
    info.width = record.wholeSize.h;
    info.height = record.wholeSize.v;
    info.channels = FilteredPlaneCount(record);
    info.depth = record.depth == 0 ? 8 : record.depth;
    info.reserved0 = 0;
    info.reserved1 = 0;
    info.sourceImage = nullptr;
    info.destinationImage = nullptr;
}

// The run reads 8-bit or 16-bit samples only. Taking any other sample size for 16 bits
// would read a 1-bit bitmap's rows far past their ends, and a 32-bit image's as noise.
bool ReadableDepth(int32_t depth) {
    return depth == 0 || depth == 8 || depth == 16;
}

bool TooSmall(int32_t width, int32_t height) {
    return width < kMinimumSide || height < kMinimumSide;
}

void FinishProgress() {
    UpdateProgress(ProgressOpFinish);
    UpdateProgress(ProgressOpDisable);
}

}  // namespace

void DoStart() {
    *gResult = noErr;
    FilterRecord& record = *gFilterRecord;
    const Rect& selection = record.filterRect;
    // The whole image is what gets corrected, so it must meet the minimum too: a
    // record whose image is smaller than its selection would otherwise reach the
    // lens model with sides it cannot map.
    if (TooSmall(selection.right - selection.left, selection.bottom - selection.top) ||
        TooSmall(record.wholeSize.h, record.wholeSize.v)) {
        vexo::platform::ShowErrorMessage(kTooSmallText, kTooSmallCaption);
        *gResult = userCanceledErr;
        return;
    }

    if (!ReadableDepth(record.depth)) {
        *gResult = filterBadParameters;
        return;
    }

    gCorrectionAlgorithm = new (std::nothrow) PIVexoCorrectionAlgorithm();
    if (!gCorrectionAlgorithm) {
        *gResult = memFullErr;
        return;
    }
    PIVexoCorrectionAlgorithm& correction = *gCorrectionAlgorithm;
    FillImageInfo(correction.imageInfo, record);

    // The working block is never read, so a run goes on without it. But Init keeps
    // the constructor's preset when it gets no block, and the run must still apply the
    // built-in lens rather than quietly correct with another one.
    if (correction.Init(kCorrectionPreset) != CAResultOk) {
        correction.params.preset = kCorrectionPreset;
    }
    // A host that refused the block has left its own code in the result word; the run
    // does not need the block, so that code must not reach the host as the run's.
    *gResult = noErr;
    CARect whole(correction.imageInfo.width, correction.imageInfo.height);
    if (correction.Analyze(whole) != CAResultOk) {
        DeleteCorrection();
        *gResult = memFullErr;
        return;
    }

    if (record.propertyProcs && record.propertyProcs->setPropertyProc) {
        record.propertyProcs->setPropertyProc(record.hostSig, propWatchSuspension, 0, 0, nullptr);
    }

    UpdateProgress(ProgressOpEnable);
    CARect copy(whole);
    if (correction.Process(whole, copy, CAProcessWholeImage) != CAResultOk) {
        FinishProgress();
        DeleteCorrection();
        *gResult = memFullErr;
        return;
    }
    gLastRunEnd = vexo::platform::TickCount();
    DeleteCorrection();
    FinishProgress();
    ClearRequestRects(record);
}
