#pragma once

#include <cstdint>

#include "host/HostFilterInterface.h"

// How the planes of an in-memory image lie in its data.
enum CAImageLayout : int32_t {
    CAImageInterleaved = 0,  // planes 0-2, three samples a pixel: rows of 3 x width samples
    CAImagePlanar = 1,       // whole planes of height x width samples, one after the other
    CAImageSinglePlane = 2,  // one plane of height x width samples
};

// An image held in memory, attached to an algorithm's image description by its
// owner and only read by the host adapter. It carries no plane count: a planar
// image must hold every plane a request names.
struct CAImageBuffer {
    void* data;     // the first sample
    uint8_t depth;  // 8: 8-bit samples (0-255); any other value 16-bit (0-65535)
    CAImageLayout layout;
    Rect rect;  // only its width and height count
};
