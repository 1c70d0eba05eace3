#include "host/Progress.h"

#include <cstdint>
#include <limits>

#include "host/HostGlobals.h"

ProgressState gProgressState = {false, 0, 0};

namespace {

// A record without progressProc gets no reports; the counts move on regardless.
void Report(int32_t done, int32_t total) {
    if (!gProgressState.enabled || gFilterRecord == nullptr ||
        gFilterRecord->progressProc == nullptr) {
        return;
    }
    gFilterRecord->progressProc(done, total);
}

int32_t WrappingSum(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

void Finish() {
    ProgressState& state = gProgressState;
    if (state.done > state.total) {
        return;
    }
    // Counted in 64 bits so that a total at the top of the range still ends.
    for (int64_t i = state.done; i <= state.total; ++i) {
        Report(static_cast<int32_t>(i), state.total);
    }
    // done passes the total so that a second finish reports nothing; at the very
    // top of the range it can only stop there.
    state.done = state.total == std::numeric_limits<int32_t>::max() ? state.total : state.total + 1;
}

}  // namespace

void UpdateProgress(ProgressOp op, int32_t n) {
    ProgressState& state = gProgressState;
    switch (op) {
        case ProgressOpEnable:
            state.enabled = true;
            break;
        case ProgressOpDisable:
            state.enabled = false;
            break;
        case ProgressOpBegin:
            state.done = 0;
            state.total = n;
            Report(state.done, state.total);
            break;
        case ProgressOpStep:
            if (state.enabled && state.done < state.total) {
                ++state.done;
                Report(state.done, state.total);
            }
            break;
        case ProgressOpSetDone:
            state.done = n;
            Report(state.done, state.total);
            break;
        case ProgressOpFinish:
            Finish();
            break;
        case ProgressOpAddTotal:
            state.total = WrappingSum(state.total, n);
            Report(state.done, state.total);
            break;
    }
}

void ReportHostProgress(CAProgressStage stage, int32_t count) {
    switch (stage) {
        case CAProgressStart:
            UpdateProgress(ProgressOpBegin, count);
            break;
        case CAProgressStep:
            // Steps past the total, or while reporting is off, change nothing, so the
            // repetition stops there: any count is safe, however large.
            for (int32_t i = 0; i < count; ++i) {
                if (!gProgressState.enabled || gProgressState.done >= gProgressState.total) {
                    break;
                }
                UpdateProgress(ProgressOpStep);
            }
            break;
        case CAProgressEnd:
            UpdateProgress(ProgressOpFinish);
            break;
    }
}
