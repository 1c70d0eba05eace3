#include "correction/ParallelRuntime.h"

#include <omp.h>

#include "platform/Platform.h"

// Set by the build where the plug-in links a copy of LLVM's runtime of its own. Any other
// runtime, LLVM's among them, is shared with the host, whose settings are its own.
#if defined(VEXO_PRIVATE_OPENMP_RUNTIME)

#if !defined(KMP_VERSION_MAJOR)
#error "the private OpenMP runtime is LLVM's: its header declares the blocktime calls"
#endif

#include <cstdio>

#include "platform/Environment.h"

namespace {

// Long enough that the workers are still spinning when the next row starts, after the host's
// progress report (a row takes microseconds): a worker that went to sleep costs a wake-up
// per row, which makes a quiet run some twenty times slower even on condition variables.
// Short enough that on a machine whose cores other programs also use, waiting workers soon
// give their cores back: beside four other busy threads, a run with the runtime's default of
// 200 ms took half as long again as with this, or more. Set explicitly, it also holds on
// hybrid processors, where the runtime's own default is not to spin at all.
constexpr int kSpinMilliseconds = 5;

// Every copy of this runtime registers itself in the process environment, under a name of
// the process's, and stops the process when it finds another live copy registered there. The
// copies never share a thread or a lock, so they can live side by side: ours starts with that
// variable hidden and then puts it back as it was, so that neither copy sees the other and
// the environment is left as the host had it.
// A registration is an address, a number and a file name; one that does not fit is left
// alone.
void StartBesideOtherCopies() {
    namespace platform = vexo::platform;
    char name[48];
    std::snprintf(name, sizeof(name), "__KMP_REGISTERED_LIB_%u",
                  static_cast<unsigned>(platform::CurrentProcessId()));
    char registered[1024];
    const platform::EnvironmentRead found =
        platform::ReadEnvironmentValue(name, registered, sizeof(registered));
    if (found == platform::EnvironmentRead::Found) {
        platform::SetEnvironmentValue(name, nullptr);
    }
    // The first call into the runtime starts it.
    kmp_set_blocktime(kSpinMilliseconds);
    if (found != platform::EnvironmentRead::TooLong) {
        platform::SetEnvironmentValue(name, found == platform::EnvironmentRead::Found ? registered
                                                                                      : nullptr);
    }
}

}  // namespace

void PrepareParallelRuntime() {
    // Once per process. A host may make its first runs on two threads at once: the second
    // waits here until the first has started the runtime, rather than reading the registration
    // while the first has it hidden and then putting back what it read.
    [[maybe_unused]] static const bool started = (StartBesideOtherCopies(), true);
    // The spin time belongs to the calling thread's teams; a host may call from a new thread.
    kmp_set_blocktime(kSpinMilliseconds);
}

namespace {

// Every core busy: a wake-up per row costs far less than a slice lost per row.
void LetWorkersSleepBetweenRows() {
    kmp_set_blocktime(0);
}

}  // namespace

#else

void PrepareParallelRuntime() {}

namespace {

// A shared runtime's waiting is the host's to set.
void LetWorkersSleepBetweenRows() {}

}  // namespace

#endif

namespace {

// Rows are measured in windows of this many; two windows in a row that each took longer than
// this mean the rows crawl. A quiet row takes microseconds; with every core busy with other
// programs, rows take milliseconds each (a scheduler slice lost per row), while with half of
// them busy the rows only stall now and then, and spinning still wins. The line between them is
// wide, so a coarse clock is enough.
constexpr int32_t kPaceWindowRows = 128;
constexpr uint32_t kCrawlingWindowMs = 256;
constexpr int32_t kCrawlingWindowsToSleep = 2;

}  // namespace

RowPace::RowPace() : windowStart_(vexo::platform::TickCount()) {}

void RowPace::RowDone() {
    if (sleeping_ || ++rowsInWindow_ < kPaceWindowRows) {
        return;
    }
    const uint32_t now = vexo::platform::TickCount();
    crawlingWindows_ = now - windowStart_ > kCrawlingWindowMs ? crawlingWindows_ + 1 : 0;
    if (crawlingWindows_ == kCrawlingWindowsToSleep) {
        LetWorkersSleepBetweenRows();
        sleeping_ = true;
    }
    windowStart_ = now;
    rowsInWindow_ = 0;
}
