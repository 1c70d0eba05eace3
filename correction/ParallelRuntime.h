#pragma once

// Readies the OpenMP runtime under the row loops for a run, on the host's thread before the
// run's first parallel region: how long a worker spins for the next row before it sleeps.
// With LLVM's runtime, which the Windows plug-in carries privately, the first call also
// starts that runtime so that another copy in the process (a host's, another plug-in's)
// neither stops it nor is stopped by it. With a runtime the plug-in shares with its host
// it changes nothing: the host's process-wide settings are the host's.
void PrepareParallelRuntime();
