#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include "host/HostFilterInterface.h"
#include "host/TrackedMemory.h"
#include "plugin/PluginMain.h"
#include "platform/Platform.h"
#include "tests/AddressSanitizer.h"
#include "tools/host/FilterHost.h"
#include "tools/host/PluginSession.h"

// What a run of a large image costs in memory beyond the host's own image and
// tiles: the plug-in's own allocations are counted while the start selector runs,
// leaving out those our host makes inside its callbacks.
namespace {

std::atomic<bool> gCounting{false};
std::atomic<int> gInHost{0};
std::atomic<int64_t> gNewCalls{0};
std::atomic<int64_t> gNewBytes{0};
std::atomic<int64_t> gHeapBlocks{0};

void* CountedAllocation(std::size_t size) {
    if (gCounting.load() && gInHost.load() == 0) {
        ++gNewCalls;
        gNewBytes += static_cast<int64_t>(size);
    }
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = CountedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = CountedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocation(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using vexo::filterhost::BufferOp;
using vexo::filterhost::FilterHost;
using vexo::filterhost::HostImage;
using vexo::filterhost::PluginSession;

// Every callback of our host, wrapped so that what it allocates is not counted.
struct HostScope {
    HostScope() { ++gInHost; }
    ~HostScope() { --gInHost; }
};

AdvanceStateProc gAdvanceState;
ProgressProc gProgress;
TestAbortProc gAbort;
BufferProcs gBuffers;
HandleProcs gHandles;
PropertyProcs gProperties;
BufferProcs gWrappedBuffers;
HandleProcs gWrappedHandles;
PropertyProcs gWrappedProperties;

void WrapHostCallbacks(FilterRecord& record) {
    gAdvanceState = record.advanceState;
    gProgress = record.progressProc;
    gAbort = record.abortProc;
    gBuffers = *record.bufferProcs;
    gHandles = *record.handleProcs;
    gProperties = *record.propertyProcs;
    record.advanceState = [] { HostScope s; return gAdvanceState(); };
    record.progressProc = [](int32_t done, int32_t total) { HostScope s; gProgress(done, total); };
    record.abortProc = [] { HostScope s; return gAbort(); };
    gWrappedBuffers = gBuffers;
    gWrappedBuffers.allocateProc = [](int32_t size, BufferID* id) {
        HostScope s;
        return gBuffers.allocateProc(size, id);
    };
    gWrappedBuffers.lockProc = [](BufferID id, Boolean high) { HostScope s; return gBuffers.lockProc(id, high); };
    gWrappedBuffers.unlockProc = [](BufferID id) { HostScope s; gBuffers.unlockProc(id); };
    gWrappedBuffers.freeProc = [](BufferID id) { HostScope s; gBuffers.freeProc(id); };
    gWrappedBuffers.spaceProc = [] { HostScope s; return gBuffers.spaceProc(); };
    gWrappedHandles = gHandles;
    gWrappedHandles.newProc = [](int32_t size) { HostScope s; return gHandles.newProc(size); };
    gWrappedHandles.disposeProc = [](Handle h) { HostScope s; gHandles.disposeProc(h); };
    gWrappedHandles.getSizeProc = [](Handle h) { HostScope s; return gHandles.getSizeProc(h); };
    gWrappedHandles.setSizeProc = [](Handle h, int32_t n) { HostScope s; return gHandles.setSizeProc(h, n); };
    gWrappedHandles.lockProc = [](Handle h, Boolean high) { HostScope s; return gHandles.lockProc(h, high); };
    gWrappedHandles.unlockProc = [](Handle h) { HostScope s; gHandles.unlockProc(h); };
    gWrappedProperties = gProperties;
    gWrappedProperties.getPropertyProc = [](OSType sig, OSType key, int32_t index, intptr_t* simple,
                                            Handle* complex) {
        HostScope s;
        return gProperties.getPropertyProc(sig, key, index, simple, complex);
    };
    gWrappedProperties.setPropertyProc = [](OSType sig, OSType key, int32_t index, intptr_t simple,
                                            Handle complex) {
        HostScope s;
        return gProperties.setPropertyProc(sig, key, index, simple, complex);
    };
    record.bufferProcs = &gWrappedBuffers;
    record.handleProcs = &gWrappedHandles;
    record.propertyProcs = &gWrappedProperties;
}

// Peak and current resident memory of this process in kB, where the system says.
struct Resident {
    int64_t currentKb = -1;
    int64_t peakKb = -1;
};

Resident ReadResident() {
    Resident r;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) r.currentKb = std::atoll(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0) r.peakKb = std::atoll(line.c_str() + 6);
    }
    return r;
}

bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear);
}

constexpr bool kSanitized = vexo::testbuild::kBuiltWithAddressSanitizer;

// Only Linux gives a resettable peak; under Wine /proc describes the emulator.
#if defined(__linux__)
constexpr bool kLinux = true;
#else
constexpr bool kLinux = false;
#endif

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int kPlanes = 3;

// One start selector over the large image, and what it cost.
class RunMemory : public ::testing::Test {
protected:
    void Start();

    int64_t hostBlocks_ = 0;
    int64_t hostBlockBytes_ = 0;
    bool peakReset_ = false;
    Resident before_;
    Resident after_;
};

void RunMemory::Start() {
    gNewCalls = 0;
    gNewBytes = 0;
    gHeapBlocks = 0;
    // One thread: the count is the same for any number, and a busy machine's row
    // barriers would only make the run slow.
    // Stubs that allocate nothing themselves, and no real one-second pause.
    vexo::platform::ScopedServices services;
    services->queryPhysicalCores = [] {
        return vexo::platform::CoreQueryResult{vexo::platform::CoreQueryStatus::Ok, 1};
    };
    services->pathExists = [](const char*) { return false; };
    services->sleepMilliseconds = [](uint32_t) {};

    HostImage image(kWidth, kHeight, kPlanes, 8);
    image.Fill([](int p, int32_t x, int32_t y) { return (x + 2 * y + 40 * p) % 256; });
    FilterHost host(std::move(image));
    host.SetRowPadding(0);
    WrapHostCallbacks(*host.Record());
    const TrackedHeap savedHeap = gTrackedHeap;
    gTrackedHeap.allocateZeroed = [](std::size_t count, std::size_t size) {
        ++gHeapBlocks;
        return std::calloc(count, size);
    };

    // Only what PluginMain itself does counts, not the session's own bookkeeping.
    PluginSession session(host, [](int16_t selector, void* record, intptr_t* data, int16_t* result) {
        gCounting = selector == filterSelectorStart;
        PluginMain(selector, record, data, result);
        gCounting = false;
    });
    ASSERT_EQ(session.Call(filterSelectorParameters), noErr);
    ASSERT_EQ(session.Call(filterSelectorPrepare), noErr);
    const size_t bufferCallsBefore = host.BufferCalls().size();

    peakReset_ = ResetPeakResident();
    before_ = ReadResident();
    const OSErr started = session.Call(filterSelectorStart);
    after_ = ReadResident();
    gTrackedHeap = savedHeap;

    ASSERT_EQ(started, noErr);
    for (size_t i = bufferCallsBefore; i < host.BufferCalls().size(); ++i) {
        const auto& call = host.BufferCalls()[i];
        if (call.op == BufferOp::Allocate) {
            ++hostBlocks_;
            hostBlockBytes_ += call.size;
        }
    }
}

TEST_F(RunMemory, ALargeRunAllocatesOnlyItsObjectItsWorkingBlockAndOneListRecord) {
    ASSERT_NO_FATAL_FAILURE(Start());
    // The correction object and the list record of its one 40-byte working block; no
    // allocation per plane, row or pixel.
    EXPECT_EQ(hostBlocks_, 1);
    EXPECT_EQ(hostBlockBytes_, 40);
    EXPECT_EQ(gHeapBlocks.load(), 0);
    EXPECT_EQ(gNewCalls.load(), 2) << gNewBytes.load() << " bytes";
    EXPECT_EQ(gAllocationList.head, nullptr) << "the block went back when the run ended";
    std::printf(
        "plug-in allocations during start: %lld operator new (%lld bytes), %lld host "
        "buffer (%lld bytes), %lld heap blocks\n",
        static_cast<long long>(gNewCalls.load()), static_cast<long long>(gNewBytes.load()),
        static_cast<long long>(hostBlocks_), static_cast<long long>(hostBlockBytes_),
        static_cast<long long>(gHeapBlocks.load()));
}

TEST_F(RunMemory, ALargeRunKeepsAFewMegabytesResidentBeyondTheHostsImageAndTiles) {
    if (kSanitized) {
        GTEST_SKIP() << "AddressSanitizer's shadow memory and quarantine count as resident";
    }
    if (!kLinux) {
        GTEST_SKIP() << "Windows cannot reset a peak working set; under Wine it is the emulator's";
    }
    ASSERT_NO_FATAL_FAILURE(Start());
    if (!peakReset_ || before_.peakKb < 0) {
        GTEST_SKIP() << "this system does not let the peak resident figure be read and reset";
    }
    // The host's two tiles of one plane, input and output, are the host's.
    const int64_t tileKb = 2 * int64_t{kWidth} * kHeight / 1024;
    const int64_t beyondKb = after_.peakKb - before_.currentKb - tileKb;
    std::printf(
        "resident before start %lld kB, peak during start %lld kB, host tiles %lld kB: "
        "%lld kB beyond the host's image and tiles\n",
        static_cast<long long>(before_.currentKb), static_cast<long long>(after_.peakKb),
        static_cast<long long>(tileKb), static_cast<long long>(beyondKb));
    EXPECT_LT(beyondKb, 8 * 1024) << "a few megabytes at most";
}

}  // namespace
