#include "correction/RunGeometry.h"

#include <cmath>

RunGeometry ComputeRunGeometry(int32_t width, int32_t height, float radiusRatio) {
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    RunGeometry geometry{};
    geometry.transposed = h > w;
    geometry.longSide = geometry.transposed ? h : w;
    geometry.shortSide = geometry.transposed ? w : h;
    const float diagonal =
        std::sqrt(geometry.shortSide * geometry.shortSide + geometry.longSide * geometry.longSide);
    geometry.radius = (diagonal * 0.5f) * radiusRatio;
    geometry.invRadius = 1.0f / geometry.radius;
    geometry.scale = (geometry.radius * 2.0f) / (geometry.shortSide - 1.0f);
    return geometry;
}
