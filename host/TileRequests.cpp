#include "host/TileRequests.h"

#include "framework/CATypes.h"
#include "host/HostGlobals.h"
#include "host/HostRequest.h"
#include "host/PICAHostInterface.h"

namespace {

bool CoversInput(HostDataMode mode) {
    return mode == HostDataInput || mode == HostDataBoth;
}
bool CoversOutput(HostDataMode mode) {
    return mode == HostDataOutput || mode == HostDataBoth;
}

// A stride handed back counts samples of the host's width; the algorithm indexes
// 16-bit rows by it.
int32_t StrideInSamples(int32_t rowBytes, bool eightBit) {
    return eightBit ? rowBytes : rowBytes >> 1;
}

void HandBack(void* data, int32_t rowBytes, bool eightBit, void** dataOut, int32_t* rowBytesOut) {
    if (dataOut != nullptr) {
        *dataOut = data;
    }
    if (rowBytesOut != nullptr) {
        *rowBytesOut = StrideInSamples(rowBytes, eightBit);
    }
}

}  // namespace

int16_t AdvanceHostData(Rect inRect, Rect outRect, int16_t firstPlane, int16_t lastPlane,
                        HostDataMode mode, void** inData, int32_t* inRowBytes, void** outData,
                        int32_t* outRowBytes) {
    if (gFilterRecord == nullptr) {
        StoreHostResult(kNoAdvanceStateError);
        return kNoAdvanceStateError;
    }
    FilterRecord& record = *gFilterRecord;
    // The sample width is decided before the call, on the depth the request was
    // made for.
    const bool eightBit = IsEightBitHostDepth(record.depth);
    PrepareHostRequest(record, CoversInput(mode) ? &inRect : nullptr,
                       CoversOutput(mode) ? &outRect : nullptr, firstPlane, lastPlane);
    const OSErr result = CallAdvanceState(record);
    if (result != noErr) {
        return result;
    }
    if (CoversInput(mode)) {
        HandBack(record.inData, record.inRowBytes, eightBit, inData, inRowBytes);
    }
    if (CoversOutput(mode)) {
        HandBack(record.outData, record.outRowBytes, eightBit, outData, outRowBytes);
    }
    return noErr;
}

CAResult PICAHostInterface::GetDataRef(CARect& inRect, void** inData, int32_t* inRowBytes,
                                       CARect& outRect, void** outData, int32_t* outRowBytes,
                                       CAChannelsType channels) {
    int16_t firstPlane = 0;
    int16_t lastPlane = 0;
    if (!CAChannelsPlaneRange(channels, &firstPlane, &lastPlane)) {
        return CAResultDataUnavailable;
    }
    // With neither pointer given there is nowhere to hand anything back; a request
    // the caller cannot use is not made.
    if (inData == nullptr && outData == nullptr) {
        return CAResultDataUnavailable;
    }
    const HostDataMode mode = inData == nullptr    ? HostDataOutput
                              : outData == nullptr ? HostDataInput
                                                   : HostDataBoth;
    const int16_t result =
        AdvanceHostData(ToHostRect(inRect), ToHostRect(outRect), firstPlane, lastPlane, mode,
                        inData, inRowBytes, outData, outRowBytes);
    if (result != noErr) {
        return CAResultDataUnavailable;
    }
    // A host that answers success without a tile would have the run write through null.
    if ((inData != nullptr && *inData == nullptr) || (outData != nullptr && *outData == nullptr)) {
        return CAResultDataUnavailable;
    }
    return CAResultOk;
}
