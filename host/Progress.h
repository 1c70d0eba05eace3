#pragma once

#include <cstdint>

#include "framework/CATypes.h"

// The host's progress display, driven through the current record's progressProc.
// Report-only: a cancel request from the host does not stop a run.

struct ProgressState {
    bool enabled;   // reports reach the host only while this is set
    int32_t total;  // steps of the current report
    int32_t done;   // steps counted as done; the first argument of each report
};

// One per loaded library, all zero (reporting off) at load.
extern ProgressState gProgressState;

enum ProgressOp : int32_t {
    ProgressOpEnable = 0,
    ProgressOpDisable = 1,
    ProgressOpBegin = 2,     // n: the new total; done restarts at 0
    ProgressOpStep = 3,      // one step, while enabled and short of the total
    ProgressOpSetDone = 4,   // n: the new done count
    ProgressOpFinish = 5,    // reports every remaining step up to and including the total
    ProgressOpAddTotal = 6,  // n: steps added to the total
};

// n is read only by the operations that take it. Unknown operations are ignored.
// Each report is progressProc(done, total), made only while reporting is on.
void UpdateProgress(ProgressOp op, int32_t n = 0);

// The algorithm's progress stages on UpdateProgress: start begins a report of count
// steps, step advances count steps (none for 0 or less), end finishes the report.
// Other stages are ignored.
void ReportHostProgress(CAProgressStage stage, int32_t count);
