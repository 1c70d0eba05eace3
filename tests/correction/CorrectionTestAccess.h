#pragma once

#include <cstdint>

#include "correction/CVexoCorrectionAlgorithm.h"
#include "correction/RunGeometry.h"

// The two private operations of the correction, for unit tests.
struct CVexoCorrectionAlgorithmTestAccess {
    static CAResult SetVexoInternalParameters(CVexoCorrectionAlgorithm& algorithm, int32_t preset) {
        return algorithm.SetVexoInternalParameters(preset);
    }

    static void DetermineHorizontalAndVerticalScaleFactors(CVexoCorrectionAlgorithm& algorithm,
                                                           const RunGeometry& geometry) {
        const VexoInternalParams& lens = algorithm.internalParams;
        algorithm.DetermineHorizontalAndVerticalScaleFactors(
            lens.HS, lens.VS, lens.V3, geometry.scale, geometry.radius, geometry.invRadius,
            geometry.longSide, geometry.shortSide);
    }

    // What a Process does before its first plane: load params.preset and fit to the image.
    static RunGeometry LoadAndFit(CVexoCorrectionAlgorithm& algorithm, int32_t width,
                                  int32_t height) {
        SetVexoInternalParameters(algorithm, algorithm.params.preset);
        const RunGeometry geometry = ComputeRunGeometry(width, height, algorithm.internalParams.RR);
        DetermineHorizontalAndVerticalScaleFactors(algorithm, geometry);
        return geometry;
    }
};
