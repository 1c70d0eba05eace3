#pragma once

#include <cstdint>

#include "correction/CAVexoCorrectionParams.h"
#include "correction/VexoInternalParams.h"
#include "framework/CAAlgorithm.h"
#include "framework/Export.h"

// The fisheye correction as a framework algorithm. One Process corrects the whole image: it
// loads the lens preset, fits the scale factors to the image's sides, and resamples every plane
// row by row, the columns of a row in parallel, reading and writing the buffers that GetDataRef
// hands out. The host services stay pure: a host binding derives from this class.
class VEXO_EXPORT CVexoCorrectionAlgorithm : public CAAlgorithm {
public:
    VexoInternalParams internalParams;     // loaded by every Process, then refined by the fit
    CAVexoCorrectionParams params;         // preset (set by Init) and the strengths the fit applies
    float bicubicGain;                     // weight of the bicubic bump
    int32_t clampToNeighbours;             // non-zero: each sample within its four bilinear samples
    bool reservedFlag;                     // copied with the object; nothing reads it
    CAVexoCorrectionParams appliedParams;  // what the last successful Init took

    CVexoCorrectionAlgorithm();
    CVexoCorrectionAlgorithm(const CVexoCorrectionAlgorithm& other);
    CVexoCorrectionAlgorithm& operator=(const CVexoCorrectionAlgorithm& other);
    // Gives nothing back: the derived host services are gone by now, so the owner calls Release
    // first. A block still held stays with the host binding's own bookkeeping.
    ~CVexoCorrectionAlgorithm();

    // Takes the thread count and a 40-byte working block, then the preset. Without memory it
    // returns CAResultOutOfMemory and keeps the previous preset; a run does not need the block.
    CAResult Init(int32_t preset) override;
    CAResult Analyze(CARect& rect) override;
    // Both rects must have the image's size. Returns CAResultBadParameter for rects of different
    // sizes, CAResultDataUnavailable when a plane cannot be had (or beyond the tenth plane).
    CAResult Process(CARect& inRect, CARect& outRect, CAProcessType type) override;
    int32_t Version() override;
    CAResult Release() override;

private:
    // Loads preset 0, 1 or 2 into the coefficients, gain and clamp flag; any other index
    // returns CAResultBadParameter and changes nothing.
    CAResult SetVexoInternalParameters(int32_t preset);

    // Fits VS and V3 to the image's sides and applies the strengths; leaves HS equal to VS.
    void DetermineHorizontalAndVerticalScaleFactors(float initialHS, float initialVS,
                                                    float initialV3, float scale, float radius,
                                                    float invRadius, float longSide,
                                                    float shortSide);

    // The run behind Process (ProcessPlanes8 and ProcessPlanes16) and the unit tests reach the
    // two private operations.
    friend struct CorrectionRun;
    friend struct CVexoCorrectionAlgorithmTestAccess;
};
