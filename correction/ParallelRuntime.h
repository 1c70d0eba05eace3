#pragma once

#include <cstdint>

// Readies the OpenMP runtime under the row loops for a run, on the host's thread before the
// run's first parallel region: how long a worker spins for the next row before it sleeps.
// With the copy of LLVM's runtime that the Windows plug-in carries privately (the build says
// so), the first call also starts that runtime so that another copy in the process (a
// host's, another plug-in's) neither stops it nor is stopped by it; calls from several host
// threads at once are safe. With a runtime the plug-in shares with its host, LLVM's or
// another, it changes nothing: the host's process-wide settings are the host's.
void PrepareParallelRuntime();

// Watches the pace of a run's rows, on the host's thread after each row's workers have joined.
// When rows crawl, the machine's cores are taken by other programs and workers that spin for the
// next row only keep a late one from its core: they then sleep between rows for the rest of the
// run. Only the runtime the plug-in carries privately is told; a shared one is left alone.
class RowPace {
public:
    RowPace();
    void RowDone();

private:
    uint32_t windowStart_;
    int32_t rowsInWindow_ = 0;
    int32_t crawlingWindows_ = 0;
    bool sleeping_ = false;
};
