#pragma once

#include <cstdint>

#include "framework/CARect.h"
#include "host/HostFilterInterface.h"

// What every data request through advanceState has in common.

// The host's rect takes the low 16 bits of each edge, unchecked: edges must lie in
// the 16-bit range.
Rect ToHostRect(const CARect& rect);

// The record's depth 0 means 8 bits; any depth but 0 and 8 means 16-bit samples.
bool IsEightBitHostDepth(int32_t depth);

// Sets the request fields of the record: inputRate 1.0, both plane ranges, the in,
// out and mask rects cleared and then the requested ones set, with the padding of a
// requested side set to 0 where the host supports padding. A null rect requests
// nothing on its side.
void PrepareHostRequest(FilterRecord& record, const Rect* inRect, const Rect* outRect,
                        int16_t firstPlane, int16_t lastPlane);

// The answer given for a host that cannot deliver the data: a record without
// advanceState, or a request answered with success but without its tile. The
// request fails as if the host had refused it.
constexpr OSErr kNoAdvanceStateError = filterBadParameters;

// Calls advanceState and stores its answer in the result word, success included.
OSErr CallAdvanceState(FilterRecord& record);
