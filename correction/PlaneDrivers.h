#pragma once

#include <cstdint>

#include "correction/CVexoCorrectionAlgorithm.h"
#include "framework/CARect.h"
#include "framework/CAResult.h"

// The run of one Process for 8-bit and for 16-bit samples: preset, geometry and fit once, then
// every plane row by row.
CAResult ProcessPlanes8(CVexoCorrectionAlgorithm& algorithm, CARect& inRect, CARect& outRect);
CAResult ProcessPlanes16(CVexoCorrectionAlgorithm& algorithm, CARect& inRect, CARect& outRect);

// When set, called by every thread of every row's parallel region, from inside the region,
// with the row and the columns [begin, end) that the thread is about to resample. For tests
// that watch how the rows are shared out; null in the plug-in.
using RowRegionObserver = void (*)(int32_t y, int32_t begin, int32_t end);
extern RowRegionObserver gRowRegionObserver;
