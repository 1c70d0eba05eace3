#pragma once

#include "correction/CVexoCorrectionAlgorithm.h"
#include "framework/CARect.h"
#include "framework/CAResult.h"

// The run of one Process for 8-bit and for 16-bit samples: preset, geometry and fit once, then
// every plane row by row.
CAResult ProcessPlanes8(CVexoCorrectionAlgorithm& algorithm, CARect& inRect, CARect& outRect);
CAResult ProcessPlanes16(CVexoCorrectionAlgorithm& algorithm, CARect& inRect, CARect& outRect);
