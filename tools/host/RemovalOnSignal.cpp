#include "tools/host/RemovalOnSignal.h"

#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>

namespace vexo::hosttool {
namespace {

constexpr std::array kEndingSignals = {SIGINT, SIGTERM, SIGHUP};

// Lock-free, so that the handler may read them whichever thread it interrupts.
std::array<std::atomic<const char*>, 8> gWatched{};
static_assert(std::atomic<const char*>::is_always_lock_free);

sigset_t EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kEndingSignals) {
        sigaddset(&set, signal);
    }
    return set;
}

// Only async-signal-safe calls here.
void RemoveWatchedAndEnd(int signal) {
    for (const std::atomic<const char*>& slot : gWatched) {
        if (const char* path = slot.load()) {
            unlink(path);
        }
    }
    // SA_RESETHAND has restored the default action, which the raised signal takes
    // as soon as this handler returns and unblocks it.
    raise(signal);
}

void InstallHandlers() {
    for (const int signal : kEndingSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
            (current.sa_flags & SA_SIGINFO) != 0) {
            continue;
        }
        struct sigaction removal {};
        removal.sa_handler = &RemoveWatchedAndEnd;
        removal.sa_mask = EndingSignals();
        removal.sa_flags = SA_RESETHAND;
        sigaction(signal, &removal, nullptr);
    }
}

}  // namespace

RemovalOnSignal::RemovalOnSignal(const char* path) : slot_(-1) {
    [[maybe_unused]] static const bool installed = (InstallHandlers(), true);
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
