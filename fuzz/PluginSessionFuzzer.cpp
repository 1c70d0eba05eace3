#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "host/HostFilterInterface.h"
#include "host/TrackedMemory.h"
#include "platform/Platform.h"
#include "plugin/PluginMain.h"
#include "tools/host/FilterHost.h"
#include "tools/host/PluginSession.h"

// PluginMain driven through our filter host by whatever a host could do: any order of
// selectors (unknown ones too), any record content within a small image, missing
// suites and callbacks, and any host call failing at any point. The input bytes say
// which.
namespace {

using vexo::filterhost::FilterHost;
using vexo::filterhost::HostFaults;
using vexo::filterhost::HostImage;
using vexo::filterhost::HostRect;
using vexo::filterhost::PluginSession;

// Runs stay fast: no pause after a run, one thread (the row body is the same for any
// count, and a busy machine's row barriers only slow the fuzzer down), no marker paths,
// no message boxes.
void StubServices() {
    vexo::platform::Services& services = vexo::platform::CurrentServices();
    services.sleepMilliseconds = [](uint32_t) {};
    services.queryPhysicalCores = [] {
        return vexo::platform::CoreQueryResult{vexo::platform::CoreQueryStatus::Ok, 1};
    };
    services.pathExists = [](const char*) { return false; };
    services.showErrorMessage = [](const char*, const char*) {};
    services.debugOutput = [](const char*) {};
    services.openAddress = [](void*, const char*) {};
}

bool AllowedResult(OSErr result) {
    return result == noErr || result == memFullErr || result == userCanceledErr ||
           result == filterBadParameters;
}

bool RectsEmpty(const FilterRecord& record) {
    return HostRect::From(record.inRect).Empty() && HostRect::From(record.outRect).Empty() &&
           HostRect::From(record.maskRect).Empty();
}

void CheckNothingLeft(FilterHost& host, int16_t selector) {
    VEXO_FUZZ_CHECK(gAllocationList.head == nullptr && gAllocationList.tail == nullptr,
                    "tracked memory left after selector %d", selector);
    VEXO_FUZZ_CHECK(host.LiveBuffers().empty(), "host buffers left after selector %d", selector);
    VEXO_FUZZ_CHECK(host.LiveHandles().empty(), "handles left after selector %d", selector);
    VEXO_FUZZ_CHECK(*host.DataSlot() == 0, "data slot not cleared after selector %d", selector);
    const Handle parameters = host.Record()->parameters;  // a copy: the field is packed
    VEXO_FUZZ_CHECK(parameters == nullptr, "parameter handle left after selector %d", selector);
}

int16_t PickSelector(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: return -1;
        case 1: return 6;
        case 2: return in.ConsumeIntegral<int16_t>();
        default: return in.ConsumeIntegralInRange<int16_t>(0, 5);
    }
}

int32_t PickDepth(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: return 0;
        case 1: return 1;
        case 2: return 32;
        case 3: return in.ConsumeIntegral<int32_t>();
        case 4: case 5: case 6: return 16;
        default: return 8;
    }
}

OSErr PickFailureCode(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
        case 0: return -50;  // paramErr
        case 1: return -1;
        case 2: return in.ConsumeIntegral<int16_t>();
        default: return memFullErr;
    }
}

HostFaults PickFaults(FuzzedDataProvider& in) {
    HostFaults faults;
    if (!in.ConsumeBool()) {
        return faults;
    }
    faults.failAllocationAt = in.ConsumeIntegralInRange<int32_t>(0, 3);
    faults.failBufferLockAt = in.ConsumeIntegralInRange<int32_t>(0, 3);
    faults.failHandleCreationAt = in.ConsumeIntegralInRange<int32_t>(0, 6);
    faults.failHandleLockAt = in.ConsumeIntegralInRange<int32_t>(0, 16);
    faults.failPropertyAt = in.ConsumeIntegralInRange<int32_t>(0, 3);
    faults.failAdvanceStateAt = in.ConsumeIntegralInRange<int32_t>(0, 17);
    faults.failAdvanceStateForPlane = in.ConsumeIntegralInRange<int32_t>(-1, 16);
    faults.failureCode = PickFailureCode(in);
    const uint8_t missing = in.ConsumeIntegral<uint8_t>();
    faults.noBufferSuite = missing & 0x01;
    faults.noHandleSuite = missing & 0x02;
    faults.noPropertySuite = missing & 0x04;
    faults.noProgressProc = missing & 0x08;
    faults.noAbortProc = missing & 0x10;
    faults.noAdvanceState = missing & 0x20;
    faults.noPaddingSupport = missing & 0x40;
    faults.abortRequested = missing & 0x80;
    return faults;
}

int16_t Edge(FuzzedDataProvider& in, int32_t extent) {
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
        return in.ConsumeIntegral<int16_t>();
    }
    return static_cast<int16_t>(in.ConsumeIntegralInRange<int32_t>(-4, extent + 4));
}

void DescribeRecord(FuzzedDataProvider& in, FilterHost& host) {
    const HostImage& image = host.Image();
    FilterRecord& record = *host.Record();
    if (in.ConsumeBool()) {
        // A selection, inside the image or not.
        const int16_t top = Edge(in, image.Height());
        const int16_t left = Edge(in, image.Width());
        const int16_t bottom = Edge(in, image.Height());
        const int16_t right = Edge(in, image.Width());
        host.SetFilterRect(HostRect{top, left, bottom, right});
        host.SetFilterCase(filterCaseFlatImageWithSelection);
    }
    if (in.ConsumeBool()) {
        record.planes = in.ConsumeIntegralInRange<int16_t>(0, 16);
    }
    if (in.ConsumeBool()) {
        record.filterCase = in.ConsumeIntegralInRange<int16_t>(-1, 9);
        record.outLayerPlanes = in.ConsumeIntegralInRange<int16_t>(0, 16);
    }
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
        // A host whose whole size is short of the image it serves. A larger one would
        // have our host pad the requests out to it, up to gigabytes a tile.
        record.wholeSize.h = in.ConsumeIntegralInRange<int16_t>(0, static_cast<int16_t>(image.Width()));
        record.wholeSize.v = in.ConsumeIntegralInRange<int16_t>(0, static_cast<int16_t>(image.Height()));
    }
    if (in.ConsumeBool()) {
        host.SetRowPadding(in.ConsumeIntegralInRange<int32_t>(0, 33));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StubServices();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int32_t width = in.ConsumeIntegralInRange<int32_t>(0, 160);
    const int32_t height = in.ConsumeIntegralInRange<int32_t>(0, 160);
    const int planes = in.ConsumeIntegralInRange<int>(1, 16);
    const int32_t depth = PickDepth(in);
    // The host serves the samples its record announces; for sizes it cannot serve,
    // either of its two.
    const int bits = depth == 16 ? 16 : (depth == 0 || depth == 8) ? 8 : in.ConsumeBool() ? 16 : 8;
    HostImage image(width, height, planes, bits);
    image.Fill([](int p, int32_t x, int32_t y) { return (x * 5 + y * 3 + p * 61) % 256; });

    FilterHost host(std::move(image));
    host.SetDepth(depth);
    DescribeRecord(in, host);
    host.SetFaults(PickFaults(in));
    PluginSession session(host, &PluginMain);

    const int calls = in.ConsumeIntegralInRange<int>(1, 10);
    bool finished = false;
    for (int i = 0; i < calls && in.remaining_bytes() > 0; ++i) {
        const int16_t selector = PickSelector(in);
        const OSErr result = session.Call(selector);
        VEXO_FUZZ_CHECK(AllowedResult(result), "selector %d answered %d", selector, result);
        if (selector == filterSelectorStart || selector == filterSelectorContinue ||
            result != noErr) {
            VEXO_FUZZ_CHECK(RectsEmpty(*host.Record()), "rects ask for data after selector %d",
                            selector);
        }
        if (selector == filterSelectorFinish || (selector != filterSelectorAbout && result != noErr)) {
            CheckNothingLeft(host, selector);
        }
        finished = selector == filterSelectorFinish || result != noErr;
        // The host's callbacks may fail differently from call to call; the suites it
        // offers stay, since handles and buffers go back through them.
        if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
            const HostFaults before = host.Faults();
            HostFaults next = PickFaults(in);
            next.noBufferSuite = before.noBufferSuite;
            next.noHandleSuite = before.noHandleSuite;
            host.SetFaults(next);
        }
    }
    if (!finished) {
        // The host closes the filter, as it does after every run.
        HostFaults suitesAsBefore;
        suitesAsBefore.noBufferSuite = host.Faults().noBufferSuite;
        suitesAsBefore.noHandleSuite = host.Faults().noHandleSuite;
        host.SetFaults(suitesAsBefore);
        session.Call(filterSelectorFinish);
        CheckNothingLeft(host, filterSelectorFinish);
    }
    host.ReleaseTiles();
    for (const std::string& misuse : host.Misuses()) {
        VEXO_FUZZ_CHECK(false, "host misuse: %s", misuse.c_str());
    }
    return 0;
}
