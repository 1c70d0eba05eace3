#include "tools/host/ExitDuringRun.h"

#include <limits.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/host/RemovalOnSignal.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

// What the armed guard runs before our line; null while the plug-in is not running.
std::atomic<const std::function<void()>*> gBeforeOurLine{nullptr};

// The exit may come when memory is what ran out: nothing below takes any from the heap.
struct Verdict {
    ExitCode code;
    char message[256];
};

// A stack size as OpenMP's settings give it: a number, then B, K, M or G (K when
// there is none). 0 for a value that is none.
size_t ParseStackSize(const char* text) {
    char* end = nullptr;
    const unsigned long long number = std::strtoull(text, &end, 10);
    if (end == text) {
        return 0;
    }
    while (std::isspace(static_cast<unsigned char>(*end))) {
        ++end;
    }
    int shift = 10;
    switch (std::toupper(static_cast<unsigned char>(*end))) {
        case 'B':
            shift = 0;
            break;
        case 'M':
            shift = 20;
            break;
        case 'G':
            shift = 30;
            break;
        default:
            break;
    }
    return number > (SIZE_MAX >> shift) ? 0 : static_cast<size_t>(number) << shift;
}

// The stack that the runtime gives each of its threads: the user's setting, as
// the runtime reads it, or the system's default for a new thread.
size_t RuntimeStackSize() {
    for (const char* setting : {"OMP_STACKSIZE", "GOMP_STACKSIZE"}) {
        if (const char* value = std::getenv(setting)) {
            if (const size_t size = ParseStackSize(value)) {
                return size;
            }
        }
    }
    pthread_attr_t defaults;
    size_t size = 0;
    if (pthread_getattr_default_np(&defaults) == 0) {
        pthread_attr_getstacksize(&defaults, &size);
        pthread_attr_destroy(&defaults);
    }
    return size;
}

bool AddressSpaceHolds(size_t bytes) {
    void* block =
        mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED) {
        return false;
    }
    munmap(block, bytes);
    return true;
}

// 0 when the system starts a thread of the smallest stack, its error otherwise.
int RefusalOfAThread() {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return EAGAIN;
    }
    pthread_attr_setstacksize(&attributes, PTHREAD_STACK_MIN);
    pthread_t thread;
    const int error = pthread_create(
        &thread, &attributes, [](void*) -> void* { return nullptr; }, nullptr);
    pthread_attr_destroy(&attributes);
    if (error == 0) {
        pthread_join(thread, nullptr);
    }
    return error;
}

// Whether the threads are refused now, as they were when the runtime gave up: the
// process is as the runtime left it, its threads until then still there.
bool ThreadsRefused(Verdict& verdict) {
    const size_t stack = RuntimeStackSize();
    if (stack > 0 && !AddressSpaceHolds(stack)) {
        verdict.code = kExitOutOfMemory;
        std::snprintf(verdict.message, sizeof verdict.message,
                      "not enough memory for the threads the correction runs on (each takes %zu "
                      "MiB of address space for its stack)",
                      (stack + (size_t{1} << 20) - 1) >> 20);
        return true;
    }
    const int error = RefusalOfAThread();
    if (error == 0) {
        return false;
    }
    verdict.code = kExitThreadsRefused;
    rlimit processes{};
    // The limit binds no privileged user.
    if (error == EAGAIN && geteuid() != 0 && getrlimit(RLIMIT_NPROC, &processes) == 0 &&
        processes.rlim_cur != RLIM_INFINITY) {
        std::snprintf(verdict.message, sizeof verdict.message,
                      "the system refused the threads the correction runs on: its user is at "
                      "its limit of processes and threads (ulimit -u: %llu)",
                      static_cast<unsigned long long>(processes.rlim_cur));
    } else {
        std::snprintf(verdict.message, sizeof verdict.message,
                      "the system refused the threads the correction runs on: %s",
                      std::strerror(error));
    }
    return true;
}

Verdict Judge(int status) {
    Verdict verdict{};
    if (!ThreadsRefused(verdict)) {
        verdict.code = kExitPluginFailed;
        std::snprintf(verdict.message, sizeof verdict.message,
                      "the plug-in ended the process in the middle of its run (exit status %d)",
                      status);
    }
    return verdict;
}

void WriteAll(const char* text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = write(STDERR_FILENO, text, left);
        if (written <= 0) {
            return;
        }
        text += written;
        left -= static_cast<size_t>(written);
    }
}

void OnExit(int status, void*) {
    const std::function<void()>* beforeOurLine = gBeforeOurLine.exchange(nullptr);
    if (beforeOurLine == nullptr) {
        return;  // the tool's own exit, or one outside the run
    }
    RemoveWatchedFiles();
    const Verdict verdict = Judge(status);
    (*beforeOurLine)();
    std::fflush(stderr);
    char line[sizeof verdict.message + 16];
    std::snprintf(line, sizeof line, "vexo-host: %s\n", verdict.message);
    WriteAll(line);
    // Not the exit's status, and none of the exit handlers still to come: the
    // plug-in's own would run while its threads still work.
    _exit(verdict.code);
}

}  // namespace

ExitDuringRun::ExitDuringRun(std::function<void()> beforeOurLine)
    : beforeOurLine_(std::move(beforeOurLine)) {
    // Registered once the plug-in is loaded, so that it runs before the plug-in's
    // own exit handlers, which were registered as it loaded.
    [[maybe_unused]] static const bool registered = (on_exit(&OnExit, nullptr), true);
    gBeforeOurLine.store(&beforeOurLine_);
}

ExitDuringRun::~ExitDuringRun() {
    gBeforeOurLine.store(nullptr);
}

}  // namespace vexo::hosttool
