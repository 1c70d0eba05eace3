#include "tools/host/FilterHost.h"

#include <new>
#include <stdexcept>
#include <utility>

namespace vexo::filterhost {

FilterHost* FilterHost::active_ = nullptr;

namespace {

int16_t DefaultImageMode(int planes, int bitsPerSample) {
    const bool deep = bitsPerSample == 16;
    switch (planes) {
        case 1:
            return deep ? plugInModeGray16 : plugInModeGrayScale;
        case 3:
            return deep ? plugInModeRGB48 : plugInModeRGBColor;
        case 4:
            return deep ? plugInModeCMYK64 : plugInModeCMYKColor;
        default:
            return deep ? plugInModeDeepMultichannel : plugInModeMultichannel;
    }
}

}  // namespace

FilterHost::FilterHost(HostImage image)
    : image_(std::move(image)),
      record_(new (recordStorage_.data()) FilterRecord{}),
      bufferSpace_(1 << 30) {
    if (active_) {
        throw std::logic_error("only one FilterHost may exist at a time");
    }
    const auto width = static_cast<int16_t>(image_.Width());
    const auto height = static_cast<int16_t>(image_.Height());
    const auto planes = static_cast<int16_t>(image_.Planes());

    FilterRecord& r = *record_;
    r.imageSize = {height, width};
    r.wholeSize = {height, width};
    r.planes = planes;
    r.filterRect = {0, 0, height, width};
    r.background = {0xFFFF, 0xFFFF, 0xFFFF};
    r.foreground = {0, 0, 0};
    r.backColor[0] = r.backColor[1] = r.backColor[2] = r.backColor[3] = 0xFF;
    r.maxSpace = bufferSpace_;
    r.hostSig = kHostSignature;
    r.imageMode = DefaultImageMode(image_.Planes(), image_.BitsPerSample());
    r.imageHRes = r.imageVRes = 72 << 16;
    r.platformData = &platformData_;
    r.filterCase = filterCaseFlatImageNoSelection;
    r.inputPadding = r.outputPadding = r.maskPadding = plugInWantsErrorOnBoundsException;
    r.samplingSupport = 0;  // no sampling: inputRate must stay 1.0
    r.inputRate = r.maskRate = 0x10000;
    r.inNonLayerPlanes = r.outNonLayerPlanes = r.absNonLayerPlanes = planes;
    // The whole image is one tile.
    r.inTileHeight = r.outTileHeight = r.absTileHeight = r.maskTileHeight = height;
    r.inTileWidth = r.outTileWidth = r.absTileWidth = r.maskTileWidth = width;
    r.depth = image_.BitsPerSample();

    bufferProcs_ = {2,
                    5,
                    &AllocateBufferCallback,
                    &LockBufferCallback,
                    &UnlockBufferCallback,
                    &FreeBufferCallback,
                    &BufferSpaceCallback};
    handleProcs_ = {1,
                    6,
                    &NewHandleCallback,
                    &DisposeHandleCallback,
                    &GetHandleSizeCallback,
                    &SetHandleSizeCallback,
                    &LockHandleCallback,
                    &UnlockHandleCallback};
    propertyProcs_ = {1, 2, &GetPropertyCallback, &SetPropertyCallback};
    ApplyFaultsToRecord();
    active_ = this;
}

FilterHost::~FilterHost() {
    if (active_ == this) {
        active_ = nullptr;
    }
}

FilterHost* FilterHost::Active() {
    return active_;
}

void FilterHost::SetFilterRect(const HostRect& rect) {
    record_->filterRect = rect.ToRect();
}

void FilterHost::SetDepth(int32_t depth) {
    record_->depth = depth;
}

void FilterHost::SetFilterCase(int16_t filterCase) {
    record_->filterCase = filterCase;
}

void FilterHost::SetLayer(int16_t filterCase, int16_t layerPlanes, int16_t transparencyPlanes) {
    const int nonLayer = image_.Planes() - layerPlanes - transparencyPlanes;
    if (filterCase < filterCaseFloatingSelection || layerPlanes < 0 || transparencyPlanes < 0 ||
        nonLayer < 0) {
        throw std::invalid_argument("a layer's planes must lie among the image's");
    }
    FilterRecord& r = *record_;
    r.filterCase = filterCase;
    r.inLayerPlanes = r.outLayerPlanes = r.absLayerPlanes = layerPlanes;
    r.inTransparencyMask = r.outTransparencyMask = r.absTransparencyMask = transparencyPlanes;
    r.inNonLayerPlanes = r.outNonLayerPlanes = r.absNonLayerPlanes = static_cast<int16_t>(nonLayer);
}

void FilterHost::SetImageMode(int16_t mode) {
    record_->imageMode = mode;
}

void FilterHost::SetRowPadding(int32_t bytes) {
    if (bytes < 0) {
        throw std::invalid_argument("row padding cannot be negative");
    }
    rowPadding_ = bytes;
}

void FilterHost::SetBufferSpace(int32_t bytes) {
    bufferSpace_ = bytes;
}

void FilterHost::SetFaults(const HostFaults& faults) {
    faults_ = faults;
    counts_ = {};
    ApplyFaultsToRecord();
}

void FilterHost::ApplyFaultsToRecord() {
    FilterRecord& r = *record_;
    r.abortProc = faults_.noAbortProc ? nullptr : &AbortCallback;
    r.progressProc = faults_.noProgressProc ? nullptr : &ProgressCallback;
    r.advanceState = faults_.noAdvanceState ? nullptr : &AdvanceStateCallback;
    r.bufferProcs = faults_.noBufferSuite ? nullptr : &bufferProcs_;
    r.handleProcs = faults_.noHandleSuite ? nullptr : &handleProcs_;
    r.propertyProcs = faults_.noPropertySuite ? nullptr : &propertyProcs_;
    r.supportsPadding = faults_.noPaddingSupport ? 0 : 1;
}

void FilterHost::Misuse(std::string what) {
    misuses_.push_back(std::move(what));
}

std::vector<std::pair<int32_t, int32_t>> FilterHost::ProgressReports() const {
    std::vector<std::pair<int32_t, int32_t>> reports;
    reports.reserve(progressCalls_.size());
    for (const ProgressCall& call : progressCalls_) {
        reports.emplace_back(call.done, call.total);
    }
    return reports;
}

void FilterHost::ClearLogs() {
    dataRequests_.clear();
    bufferCalls_.clear();
    handleCalls_.clear();
    propertyCalls_.clear();
    progressCalls_.clear();
    abortCalls_ = 0;
    misuses_.clear();
}

Boolean FilterHost::AbortCallback() {
    FilterHost* host = active_;
    if (!host) {
        return 0;
    }
    ++host->abortCalls_;
    return host->faults_.abortRequested ? 1 : 0;
}

void FilterHost::ProgressCallback(int32_t done, int32_t total) {
    FilterHost* host = active_;
    if (!host) {
        return;
    }
    try {
        host->progressCalls_.push_back({host->NextSequence(), done, total});
    } catch (const std::bad_alloc&) {
    }
    if (host->progressObserver_) {
        host->progressObserver_(done, total);
    }
}

}  // namespace vexo::filterhost
