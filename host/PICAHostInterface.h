#pragma once

#include <cstdint>

#include "framework/CAAlgorithm.h"

// The host side of an algorithm on the host's filter interface. It carries the
// bodies of the three data operations, which work on the current filter record
// (gFilterRecord) and its result word; the adapter's own overrides call them
// directly. It adds no state: everything it touches is plug-in-wide.
class PICAHostInterface : public CAHostInterface {
public:
    // Direct access to the host's tiles, with one advanceState request. Strides come
    // back in samples; a null inData asks for the output side alone, a null outData
    // for the input side alone, and with neither there is no request. 0, or
    // CAResultDataUnavailable for a refused selector or a request the host fails
    // (its code stays in the result word).
    CAResult GetDataRef(CARect& inRect, void** inData, int32_t* inRowBytes, CARect& outRect,
                        void** outData, int32_t* outRowBytes, CAChannelsType channels) override;

    // Copies of a region, from the host's image or from the in-memory image that
    // imageInfo attaches, into the caller's buffer of imageInfo's sample width, and
    // back. 0, or CAResultDataUnavailable.
    CAResult GetData(CAImageBuffer* image, CARect& region, void* buffer,
                     CAChannelsType channels) override;
    CAResult PutData(CAImageBuffer* image, CARect& region, void* buffer,
                     CAChannelsType channels) override;

protected:
    PICAHostInterface() = default;
    PICAHostInterface(const PICAHostInterface& other) = default;
    PICAHostInterface& operator=(const PICAHostInterface& other) = default;
};
