// advanceState and the rects a plug-in leaves in the record: each request is
// checked as a host would check it, then served as freshly built interleaved
// tiles whose rows are padded, so that a plug-in which confuses row length and
// row stride, or keeps using a tile after its next request, is caught.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "tools/host/FilterHost.h"

namespace vexo::filterhost {
namespace {

constexpr Fixed kUnitRate = 0x10000;

bool InsideImage(const HostRect& rect, const HostImage& image) {
    return rect.top >= 0 && rect.left >= 0 && rect.bottom <= image.Height() &&
           rect.right <= image.Width();
}

bool Inverted(const HostRect& rect) {
    return rect.bottom < rect.top || rect.right < rect.left;
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) {
    return std::max(low, std::min(value, high));
}

// Copies between the planar image and an interleaved tile, over the part of the
// tile that lies inside the image.
template <typename Sample>
void CopyImageToTile(const HostImage& image, const HostRect& rect, int loPlane, int planes,
                     int16_t padding, int32_t rowBytes, std::byte* tile) {
    const int32_t width = rect.Width();
    const int32_t height = rect.Height();
    for (int32_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<Sample*>(tile + static_cast<size_t>(y) * rowBytes);
        const int32_t imageY = rect.top + y;
        for (int32_t x = 0; x < width; ++x) {
            const int32_t imageX = rect.left + x;
            const bool inside =
                imageX >= 0 && imageX < image.Width() && imageY >= 0 && imageY < image.Height();
            for (int p = 0; p < planes; ++p) {
                Sample& sample = row[static_cast<size_t>(x) * planes + p];
                const Sample* plane = image.PlaneSamples<Sample>(loPlane + p);
                if (inside) {
                    sample = plane[static_cast<size_t>(imageY) * image.Width() + imageX];
                } else if (padding >= 0) {
                    // The value as it stands, for 16-bit samples too.
                    sample = static_cast<Sample>(padding);
                } else if (padding == plugInWantsEdgeReplication && image.Width() > 0 &&
                           image.Height() > 0) {
                    const int32_t nearX = Clamp(imageX, 0, image.Width() - 1);
                    const int32_t nearY = Clamp(imageY, 0, image.Height() - 1);
                    sample = plane[static_cast<size_t>(nearY) * image.Width() + nearX];
                }
                // Otherwise the plug-in said it needs no padding: the bytes stay unset.
            }
        }
    }
}

template <typename Sample>
void CopyTileToImage(const std::byte* tile, const HostRect& rect, int loPlane, int planes,
                     int32_t rowBytes, HostImage& image) {
    const int32_t top = std::max<int32_t>(rect.top, 0);
    const int32_t bottom = std::min<int32_t>(rect.bottom, image.Height());
    const int32_t left = std::max<int32_t>(rect.left, 0);
    const int32_t right = std::min<int32_t>(rect.right, image.Width());
    for (int32_t imageY = top; imageY < bottom; ++imageY) {
        const auto* row = reinterpret_cast<const Sample*>(
            tile + static_cast<size_t>(imageY - rect.top) * rowBytes);
        for (int32_t imageX = left; imageX < right; ++imageX) {
            for (int p = 0; p < planes; ++p) {
                Sample* plane = image.PlaneSamples<Sample>(loPlane + p);
                plane[static_cast<size_t>(imageY) * image.Width() + imageX] =
                    row[static_cast<size_t>(imageX - rect.left) * planes + p];
            }
        }
    }
}

}  // namespace

OSErr FilterHost::AdvanceStateCallback() {
    FilterHost* host = active_;
    if (!host) {
        return paramErr;
    }
    return host->TakeRequest(RequestSource::AdvanceState);
}

OSErr FilterHost::ServeRecordRequest() {
    return TakeRequest(RequestSource::SelectorReturn);
}

bool FilterHost::RecordRequestsData() const {
    return !HostRect::From(record_->inRect).Empty() || !HostRect::From(record_->outRect).Empty() ||
           !HostRect::From(record_->maskRect).Empty();
}

OSErr FilterHost::TakeRequest(RequestSource source) {
    try {
        // A new request ends the previous one: its output goes into the image and
        // neither of its tiles may be used any more.
        CommitOutput();
        if (input_) {
            CheckRowPadding(*input_, "inData");
            input_.reset();
        }

        const FilterRecord& r = *record_;
        DataRequest request;
        request.sequence = NextSequence();
        request.source = source;
        request.inRect = HostRect::From(r.inRect);
        request.outRect = HostRect::From(r.outRect);
        request.maskRect = HostRect::From(r.maskRect);
        request.inLoPlane = r.inLoPlane;
        request.inHiPlane = r.inHiPlane;
        request.outLoPlane = r.outLoPlane;
        request.outHiPlane = r.outHiPlane;
        request.inputRate = r.inputRate;
        request.inputPadding = r.inputPadding;
        request.outputPadding = r.outputPadding;

        OSErr result = noErr;
        if (source == RequestSource::AdvanceState && InjectAdvanceStateFault(request)) {
            result = faults_.failureCode;
        } else {
            result = CheckRequest(request);
        }
        // A withheld tile: the request succeeds and nothing is handed out.
        if (result == noErr && !(source == RequestSource::AdvanceState && faults_.withholdTiles)) {
            try {
                if (!request.inRect.Empty()) {
                    input_ = MakeTile(request.inRect, request.inLoPlane, request.inHiPlane,
                                      request.inputPadding);
                }
                if (!request.outRect.Empty()) {
                    output_ = MakeTile(request.outRect, request.outLoPlane, request.outHiPlane,
                                       request.outputPadding);
                }
            } catch (const std::bad_alloc&) {
                input_.reset();
                output_.reset();
                refusedForWantOfMemory_ = true;
                result = memFullErr;
            }
        }
        PublishTiles();
        request.result = result;
        request.inRowBytes = r.inRowBytes;
        request.outRowBytes = r.outRowBytes;
        dataRequests_.push_back(request);
        return result;
    } catch (const std::bad_alloc&) {
        refusedForWantOfMemory_ = true;
        return memFullErr;
    }
}

bool FilterHost::InjectAdvanceStateFault(const DataRequest& request) {
    ++counts_.advanceStates;
    if (counts_.advanceStates == faults_.failAdvanceStateAt) {
        return true;
    }
    const int32_t plane = faults_.failAdvanceStateForPlane;
    if (plane < 0) {
        return false;
    }
    const bool inputHas =
        !request.inRect.Empty() && request.inLoPlane <= plane && plane <= request.inHiPlane;
    const bool outputHas =
        !request.outRect.Empty() && request.outLoPlane <= plane && plane <= request.outHiPlane;
    return inputHas || outputHas;
}

OSErr FilterHost::CheckRequest(const DataRequest& request) const {
    if (Inverted(request.inRect) || Inverted(request.outRect) || Inverted(request.maskRect)) {
        return paramErr;
    }
    if (!request.inRect.Empty()) {
        // The record says samplingSupport 0: there is no sampled input.
        if (request.inputRate != kUnitRate) {
            return paramErr;
        }
        if (const OSErr e = CheckSide(request.inRect, request.inLoPlane, request.inHiPlane,
                                      request.inputPadding)) {
            return e;
        }
    }
    if (!request.outRect.Empty()) {
        if (const OSErr e = CheckSide(request.outRect, request.outLoPlane, request.outHiPlane,
                                      request.outputPadding)) {
            return e;
        }
    }
    // The document has no mask: a mask request is answered with maskData null.
    return noErr;
}

OSErr FilterHost::CheckSide(const HostRect& rect, int16_t loPlane, int16_t hiPlane,
                            int16_t padding) const {
    if (loPlane < 0 || hiPlane < loPlane || hiPlane >= image_.Planes()) {
        return paramErr;
    }
    if (!InsideImage(rect, image_)) {
        const bool padded =
            record_->supportsPadding && (padding >= 0 ? padding <= 255
                                                      : padding == plugInWantsEdgeReplication ||
                                                            padding == plugInDoesNotWantPadding);
        if (!padded) {
            return paramErr;
        }
    }
    const int64_t payload =
        int64_t{rect.Width()} * (hiPlane - loPlane + 1) * image_.BytesPerSample();
    const int64_t rowBytes = payload + rowPadding_ + 1;  // at most one byte of rounding
    if (rowBytes > INT32_MAX || rowBytes * rect.Height() > kMaxTileBytes) {
        return memFullErr;
    }
    return noErr;
}

FilterHost::Tile FilterHost::MakeTile(const HostRect& rect, int16_t loPlane, int16_t hiPlane,
                                      int16_t padding) const {
    Tile tile;
    tile.rect = rect;
    tile.loPlane = loPlane;
    tile.hiPlane = hiPlane;
    const int planes = hiPlane - loPlane + 1;
    const int bytesPerSample = image_.BytesPerSample();
    // 16-bit rows stay aligned to their samples.
    const int32_t rowPadding = (rowPadding_ + bytesPerSample - 1) / bytesPerSample * bytesPerSample;
    tile.payloadBytes = rect.Width() * planes * bytesPerSample;
    tile.rowBytes = tile.payloadBytes + rowPadding;
    tile.bytes.assign(static_cast<size_t>(tile.rowBytes) * static_cast<size_t>(rect.Height()),
                      kUnsetByte);
    if (bytesPerSample == 1) {
        CopyImageToTile<uint8_t>(image_, rect, loPlane, planes, padding, tile.rowBytes,
                                 tile.bytes.data());
    } else {
        CopyImageToTile<uint16_t>(image_, rect, loPlane, planes, padding, tile.rowBytes,
                                  tile.bytes.data());
    }
    return tile;
}

void FilterHost::PublishTiles() {
    FilterRecord& r = *record_;
    const int bytesPerSample = image_.BytesPerSample();
    r.inData = input_ ? input_->bytes.data() : nullptr;
    r.inRowBytes = input_ ? input_->rowBytes : 0;
    r.inColumnBytes = input_ ? (input_->hiPlane - input_->loPlane + 1) * bytesPerSample : 0;
    r.inPlaneBytes = input_ ? bytesPerSample : 0;
    r.outData = output_ ? output_->bytes.data() : nullptr;
    r.outRowBytes = output_ ? output_->rowBytes : 0;
    r.outColumnBytes = output_ ? (output_->hiPlane - output_->loPlane + 1) * bytesPerSample : 0;
    r.outPlaneBytes = output_ ? bytesPerSample : 0;
    r.maskData = nullptr;
    r.maskRowBytes = 0;
}

void FilterHost::CheckRowPadding(const Tile& tile, const char* which) {
    const int32_t rows = tile.rect.Height();
    for (int32_t y = 0; y < rows; ++y) {
        const std::byte* padding =
            tile.bytes.data() + static_cast<size_t>(y) * tile.rowBytes + tile.payloadBytes;
        const std::byte* end = padding + (tile.rowBytes - tile.payloadBytes);
        if (std::find_if(padding, end, [](std::byte b) { return b != kUnsetByte; }) != end) {
            Misuse("wrote into the row padding of " + std::string(which) + " in row " +
                   std::to_string(y));
            return;
        }
    }
}

void FilterHost::CommitOutput() {
    if (!output_) {
        return;
    }
    const Tile& tile = *output_;
    CheckRowPadding(tile, "outData");
    const int planes = tile.hiPlane - tile.loPlane + 1;
    if (image_.BytesPerSample() == 1) {
        CopyTileToImage<uint8_t>(tile.bytes.data(), tile.rect, tile.loPlane, planes, tile.rowBytes,
                                 image_);
    } else {
        CopyTileToImage<uint16_t>(tile.bytes.data(), tile.rect, tile.loPlane, planes, tile.rowBytes,
                                  image_);
    }
    output_.reset();
    record_->outData = nullptr;
    record_->outRowBytes = 0;
}

void FilterHost::ReleaseTiles() {
    CommitOutput();
    if (input_) {
        CheckRowPadding(*input_, "inData");
        input_.reset();
    }
    PublishTiles();
}

}  // namespace vexo::filterhost
