#include "tools/host/RemovalOnSignal.h"

#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>

namespace vexo::hosttool {
namespace {

// Every signal whose default action ends the process, besides the real-time ones.
constexpr std::array kEndingSignals = {
    SIGHUP,  SIGINT,    SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,
    SIGUSR1, SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU,
    SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSYS,
};

// Lock-free, so that the handler may read them whichever thread it interrupts.
std::array<std::atomic<const char*>, 8> gWatched{};
static_assert(std::atomic<const char*>::is_always_lock_free);

// Room for the handler when the main thread's own stack has overflowed, as a
// plug-in that recurses without end makes it: the kernel could not otherwise
// run the handler there, and would end the process with the file left behind.
alignas(16) char gAlternateStack[64 * 1024];

// The real-time signals are numbered only at run time.
template <typename Call>
void ForEachEndingSignal(Call call) {
    for (const int signal : kEndingSignals) {
        call(signal);
    }
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
        call(signal);
    }
}

sigset_t EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    ForEachEndingSignal([&set](int signal) { sigaddset(&set, signal); });
    return set;
}

// The kernel signals a write to a pipe without a reader as if the writer's own
// process had sent SIGPIPE; kill from anywhere else names its sender.
bool FromOurOwnWrite(int signal, const siginfo_t* info) {
    return signal == SIGPIPE && info != nullptr && info->si_code == SI_USER &&
           info->si_pid == getpid();
}

// Only async-signal-safe calls here.
void RemoveWatchedAndEnd(int signal, siginfo_t* info, void*) {
    if (FromOurOwnWrite(signal, info)) {
        return;  // the write fails with EPIPE, and its writer carries on
    }
    RemoveWatchedFiles();
    // The default action, taken as soon as this handler returns and unblocks the
    // signal: for a fault, before the faulting instruction could run again. Set
    // here rather than by SA_RESETHAND, so that the same signal arriving in another
    // thread meanwhile still finds this handler, and no thread ends the process
    // before its files are gone.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigaction(signal, &standard, nullptr);
    raise(signal);
}

void RemoveWatchedAtExit() {
    RemoveWatchedFiles();
}

void ProvideAlternateStack() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) {
        return;  // someone else's is in place
    }
    stack_t ours{};
    ours.ss_sp = gAlternateStack;
    ours.ss_size = sizeof gAlternateStack;
    sigaltstack(&ours, nullptr);
}

void InstallHandler(int signal, const sigset_t& ending) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
        (current.sa_flags & SA_SIGINFO) != 0) {
        return;
    }
    struct sigaction removal {};
    removal.sa_sigaction = &RemoveWatchedAndEnd;
    removal.sa_mask = ending;
    // SA_RESTART for the one case the handler returns: our own write to a closed pipe.
    removal.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigaction(signal, &removal, nullptr);
}

void InstallOnce() {
    ProvideAlternateStack();
    const sigset_t ending = EndingSignals();
    ForEachEndingSignal([&ending](int signal) { InstallHandler(signal, ending); });
    std::atexit(&RemoveWatchedAtExit);
    std::at_quick_exit(&RemoveWatchedAtExit);
}

}  // namespace

void InstallRemovalOnSignal() {
    [[maybe_unused]] static const bool installed = (InstallOnce(), true);
}

void RemoveWatchedFiles() {
    for (const std::atomic<const char*>& slot : gWatched) {
        if (const char* path = slot.load()) {
            unlink(path);
        }
    }
}

RemovalOnSignal::RemovalOnSignal(const char* path) : slot_(-1) {
    InstallRemovalOnSignal();
    for (size_t i = 0; i < gWatched.size(); ++i) {
        const char* empty = nullptr;
        if (gWatched[i].compare_exchange_strong(empty, path)) {
            slot_ = static_cast<int>(i);
            return;
        }
    }
}

RemovalOnSignal::~RemovalOnSignal() {
    if (slot_ >= 0) {
        gWatched[static_cast<size_t>(slot_)].store(nullptr);
    }
}

EndingSignalsHeldOff::EndingSignalsHeldOff() {
    const sigset_t ending = EndingSignals();
    pthread_sigmask(SIG_BLOCK, &ending, &previous_);
}

EndingSignalsHeldOff::~EndingSignalsHeldOff() {
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace vexo::hosttool
