#pragma once

#include <cstdint>

#include "framework/Export.h"

// Which planes a data request covers. 0-2 and 5-7 select planes 0-2 one at a time,
// 8-14 planes 3-9, 15 planes 0-2 interleaved, 16 planes 0-2 planar; every other
// value (tested as unsigned, so negatives too) is refused.
enum CAChannelsType : int32_t {
    CAChannelsSinglePlaneBase = 5,  // 5 + plane index reaches planes 0 to 9
    CAChannelsInterleaved = 15,
    CAChannelsPlanar = 16,
};

// The planes that the single-plane selectors reach, 0 to 9: all that a consumer asking
// for one plane at a time can work on.
inline constexpr int16_t kCASinglePlaneCount = 10;

// The plane range a selector covers. Returns false for a refused selector.
VEXO_EXPORT bool CAChannelsPlaneRange(CAChannelsType channels, int16_t* firstPlane,
                                      int16_t* lastPlane);

// The kind of a Process run; the start handler passes CAProcessWholeImage.
enum CAProcessType : int32_t {
    CAProcessWholeImage = 1,
};

// The stage argument of ReportProgress.
enum CAProgressStage : int32_t {
    CAProgressStart = 0,  // count: total steps; progress restarts at 0
    CAProgressStep = 1,   // count: steps done since the last report
    CAProgressEnd = 2,    // count unused; the report is completed
};
