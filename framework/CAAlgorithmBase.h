#pragma once

#include "framework/CAImageInfo.h"
#include "framework/Export.h"

// The one virtual base of both algorithm interfaces: whichever side of an object
// reads the image description or the working block sees the same ones.
class VEXO_EXPORT CAAlgorithmBase {
public:
    CAImageInfo imageInfo;
    void* workBlock;  // owned by the algorithm between Init and Release

    CAAlgorithmBase();
    CAAlgorithmBase(const CAAlgorithmBase& other);
    CAAlgorithmBase& operator=(const CAAlgorithmBase& other);
};
