#include "host/HostRequest.h"

#include "host/HostGlobals.h"

Rect ToHostRect(const CARect& rect) {
    return Rect{static_cast<int16_t>(rect.top), static_cast<int16_t>(rect.left),
                static_cast<int16_t>(rect.bottom), static_cast<int16_t>(rect.right)};
}

bool IsEightBitHostDepth(int32_t depth) {
    return depth == 0 || depth == 8;
}

void PrepareHostRequest(FilterRecord& record, const Rect* inRect, const Rect* outRect,
                        int16_t firstPlane, int16_t lastPlane) {
    record.inputRate = 0x10000;
    record.inLoPlane = record.outLoPlane = firstPlane;
    record.inHiPlane = record.outHiPlane = lastPlane;
    record.inRect = record.outRect = record.maskRect = Rect{0, 0, 0, 0};
    if (inRect != nullptr) {
        record.inRect = *inRect;
        if (record.supportsPadding) {
            record.inputPadding = 0;
        }
    }
    if (outRect != nullptr) {
        record.outRect = *outRect;
        if (record.supportsPadding) {
            record.outputPadding = 0;
        }
    }
}

OSErr CallAdvanceState(FilterRecord& record) {
    const OSErr result =
        record.advanceState != nullptr ? record.advanceState() : kNoAdvanceStateError;
    StoreHostResult(result);
    return result;
}
