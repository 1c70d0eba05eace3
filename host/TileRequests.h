#pragma once

#include <cstdint>

#include "host/HostFilterInterface.h"

// Which sides a tile request covers.
enum HostDataMode : int32_t {
    HostDataInput = 0,   // inRect; hands back inData and inRowBytes
    HostDataOutput = 1,  // outRect; hands back outData and outRowBytes
    HostDataBoth = 2,
};

// One advanceState request for planes firstPlane..lastPlane. Returns the host's
// answer, which is also stored in the result word; on 0 the covered sides' data
// pointers and strides are handed back, the strides in samples (a 16-bit host's
// byte strides halved). Out-parameters of sides the mode does not cover, and all of
// them after a failure, are left alone. Any other mode requests the plane ranges
// alone and hands back nothing.
int16_t AdvanceHostData(Rect inRect, Rect outRect, int16_t firstPlane, int16_t lastPlane,
                        HostDataMode mode, void** inData, int32_t* inRowBytes, void** outData,
                        int32_t* outRowBytes);
