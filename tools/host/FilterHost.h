#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/HostFilterInterface.h"
#include "tools/host/HostFaults.h"
#include "tools/host/HostImage.h"
#include "tools/host/HostLog.h"

namespace vexo::filterhost {

// Real hosts pass the whole record of the current published version, which runs
// on past the last field our declaration names.
constexpr size_t kPublishedFilterRecordSize = 608;
static_assert(sizeof(FilterRecord) <= kPublishedFilterRecordSize);

// Our signature in the record's hostSig.
constexpr OSType kHostSignature = MakeOSType("VxTH");

// The published padding requests of inputPadding and outputPadding; 0..255 asks
// for that value around the image.
enum : int16_t {
    plugInWantsEdgeReplication = -1,
    plugInDoesNotWantPadding = -2,
    plugInWantsErrorOnBoundsException = -3,
};

// The published image modes that our record reports.
enum : int16_t {
    plugInModeGrayScale = 1,
    plugInModeRGBColor = 3,
    plugInModeCMYKColor = 4,
    plugInModeMultichannel = 7,
    plugInModeLabColor = 9,
    plugInModeGray16 = 10,
    plugInModeRGB48 = 11,
    plugInModeLab48 = 12,
    plugInModeCMYK64 = 13,
    plugInModeDeepMultichannel = 14,
};

// getPropertyProc's answer for a property the host does not know.
constexpr OSErr errPlugInPropertyUndefined = -30901;
// Our answer to a call whose arguments make no sense: a malformed data request,
// a negative size.
constexpr OSErr paramErr = -50;

// The largest tile our host hands out; larger requests get memFullErr.
constexpr int64_t kMaxTileBytes = int64_t{1} << 31;

// Bytes that a plug-in should never read as data: fresh buffers and handles, and
// the padding after each row of a tile, hold them.
constexpr std::byte kUnsetByte{0xA5};

struct BufferState {
    uintptr_t id = 0;
    int32_t size = 0;
    int32_t lockCount = 0;
};

struct HandleState {
    Handle handle = nullptr;
    int32_t size = 0;
    int32_t lockCount = 0;
};

// Plays the host's part of the filter interface over one image: a complete
// FilterRecord, advanceState serving interleaved tiles, the buffer, handle and
// property suites, progress and abort, with every call logged and every callback
// able to fail on request.
//
// In a test:
//     FilterHost host(HostImage(64, 48, 3, 8));
//     host.SetFaults({.failAllocationAt = 2});
//     gFilterRecord = host.Record();  // or PluginSession(host, entry).Run()
//     ... EXPECT_TRUE(host.LiveBuffers().empty()); host.DataRequests() ...
//
// Not thread-safe: the plug-in calls the host on the host's thread only.
//
// The interface's callbacks are plain C functions without a context argument, so
// they reach the host through one process-wide pointer: only one FilterHost may
// exist at a time (a second constructor throws std::logic_error), and callbacks
// made while none exists fail.
class FilterHost {
public:
    explicit FilterHost(HostImage image);
    ~FilterHost();
    FilterHost(const FilterHost&) = delete;
    FilterHost& operator=(const FilterHost&) = delete;

    static FilterHost* Active();

    // What a host hands to PluginMain: the record, the data slot that it keeps for
    // the filter between calls, and the result word.
    FilterRecord* Record() { return record_; }
    intptr_t* DataSlot() { return &dataSlot_; }
    int16_t* ResultWord() { return &result_; }

    HostImage& Image() { return image_; }
    const HostImage& Image() const { return image_; }

    // Record settings beyond the defaults, which describe a flat image with no
    // selection: filterRect is the whole image, depth the image's sample size.
    void SetFilterRect(const HostRect& rect);
    void SetDepth(int32_t depth);  // only what the record says; the tiles keep the image's samples
    void SetFilterCase(int16_t filterCase);
    // A layer: filterCase (3 or more), the layer's colour planes and its
    // transparency planes, all among the image's planes; the rest are non-layer
    // planes. Throws std::invalid_argument for more planes than the image has.
    void SetLayer(int16_t filterCase, int16_t layerPlanes, int16_t transparencyPlanes);
    void SetImageMode(int16_t mode);
    // Extra bytes after every tile row, so that row strides are wider than rows;
    // rounded up to even for 16-bit images. Default 10.
    void SetRowPadding(int32_t bytes);
    void SetBufferSpace(int32_t bytes);  // spaceProc's answer

    // Told of every progress report as it arrives, after it is logged: what a
    // host's progress bar shows. It runs inside the plug-in's call and must not throw.
    void SetProgressObserver(std::function<void(int32_t done, int32_t total)> observer) {
        progressObserver_ = std::move(observer);
    }

    // Replaces the fault switches, resets the call counts they refer to, and
    // updates the record's suites and callbacks to match.
    void SetFaults(const HostFaults& faults);
    const HostFaults& Faults() const { return faults_; }

    // Properties that getPropertyProc answers (simple values); setPropertyProc
    // stores here too.
    void SetProperty(OSType key, int32_t index, intptr_t value);
    std::optional<intptr_t> Property(OSType key, int32_t index = 0) const;

    // Data. A tile handed out for output is written into the image at the next
    // request, or when CommitOutput is called: whichever comes first.
    void CommitOutput();
    bool HasPendingOutput() const { return output_.has_value(); }
    // Whether the record's inRect, outRect or maskRect asks for data.
    bool RecordRequestsData() const;
    // Serves the rects left in the record, as a host does when start or continue returns.
    OSErr ServeRecordRequest();
    // Writes back pending output and frees both tiles, as a host does when a run ends.
    void ReleaseTiles();

    // Logs.
    const std::vector<DataRequest>& DataRequests() const { return dataRequests_; }
    const std::vector<BufferCall>& BufferCalls() const { return bufferCalls_; }
    const std::vector<HandleCall>& HandleCalls() const { return handleCalls_; }
    const std::vector<PropertyCall>& PropertyCalls() const { return propertyCalls_; }
    const std::vector<ProgressCall>& ProgressCalls() const { return progressCalls_; }
    std::vector<std::pair<int32_t, int32_t>> ProgressReports() const;  // (done, total)
    int32_t AbortCalls() const { return abortCalls_; }
    // Calls a real host could crash on (unknown buffer ids or handles, writes into
    // a tile's row padding), each described in a line.
    const std::vector<std::string>& Misuses() const { return misuses_; }
    // Whether the host has refused the plug-in a buffer, handle, tile or answer because
    // the system had no memory for it: what tells a plug-in's memFullErr that ran out of
    // memory from one that reports any other failure with the same code.
    bool RefusedForWantOfMemory() const { return refusedForWantOfMemory_; }
    void ClearLogs();
    uint64_t NextSequence() { return ++sequence_; }

    // Bookkeeping.
    std::vector<BufferState> LiveBuffers() const;
    std::optional<BufferState> Buffer(BufferID id) const;
    std::vector<HandleState> LiveHandles() const;
    std::optional<HandleState> HandleInfo(Handle handle) const;

private:
    struct HostBuffer {
        std::vector<std::byte> bytes;
        int32_t size = 0;
        int32_t lockCount = 0;
    };
    struct HostHandle {
        char* master = nullptr;  // the Handle is the address of this pointer
        std::vector<char> bytes;
        int32_t size = 0;
        int32_t lockCount = 0;
    };
    // An interleaved tile of planes loPlane..hiPlane over rect, rowBytes apart.
    struct Tile {
        HostRect rect;
        int16_t loPlane = 0;
        int16_t hiPlane = 0;
        int32_t rowBytes = 0;
        int32_t payloadBytes = 0;  // bytes of pixels in a row; the rest is row padding
        std::vector<std::byte> bytes;
    };
    struct Counts {
        int32_t allocations = 0;
        int32_t bufferLocks = 0;
        int32_t handleCreations = 0;
        int32_t handleLocks = 0;
        int32_t handleResizes = 0;
        int32_t propertyCalls = 0;
        int32_t advanceStates = 0;
    };

    void ApplyFaultsToRecord();
    // In a callback's catch of std::bad_alloc, whose refusal the plug-in is about to get.
    static void NoteRefusedForWantOfMemory(FilterHost* host) {
        if (host) {
            host->refusedForWantOfMemory_ = true;
        }
    }
    void Misuse(std::string what);

    // Data requests.
    OSErr TakeRequest(RequestSource source);
    OSErr CheckRequest(const DataRequest& request) const;
    OSErr CheckSide(const HostRect& rect, int16_t loPlane, int16_t hiPlane, int16_t padding) const;
    bool InjectAdvanceStateFault(const DataRequest& request);
    Tile MakeTile(const HostRect& rect, int16_t loPlane, int16_t hiPlane, int16_t padding) const;
    void CheckRowPadding(const Tile& tile, const char* which);
    void PublishTiles();

    // Callbacks, as the plug-in sees them.
    static Boolean AbortCallback();
    static void ProgressCallback(int32_t done, int32_t total);
    static OSErr AdvanceStateCallback();
    static OSErr AllocateBufferCallback(int32_t size, BufferID* bufferID);
    static Ptr LockBufferCallback(BufferID bufferID, Boolean moveHigh);
    static void UnlockBufferCallback(BufferID bufferID);
    static void FreeBufferCallback(BufferID bufferID);
    static int32_t BufferSpaceCallback();
    static Handle NewHandleCallback(int32_t size);
    static void DisposeHandleCallback(Handle handle);
    static int32_t GetHandleSizeCallback(Handle handle);
    static OSErr SetHandleSizeCallback(Handle handle, int32_t newSize);
    static Ptr LockHandleCallback(Handle handle, Boolean moveHigh);
    static void UnlockHandleCallback(Handle handle);
    static OSErr GetPropertyCallback(OSType signature, OSType key, int32_t index,
                                     intptr_t* simpleProperty, Handle* complexProperty);
    static OSErr SetPropertyCallback(OSType signature, OSType key, int32_t index,
                                     intptr_t simpleProperty, Handle complexProperty);

    // The same, on this host.
    OSErr AllocateBuffer(int32_t size, BufferID* bufferID);
    Ptr LockBuffer(BufferID bufferID, Boolean moveHigh);
    int32_t BufferSpace();
    int32_t FreeBufferSpace() const;
    void UnlockBuffer(BufferID bufferID);
    void FreeBuffer(BufferID bufferID);
    Handle NewHandle(int32_t size);
    void DisposeHandle(Handle handle);
    int32_t GetHandleSize(Handle handle);
    OSErr SetHandleSize(Handle handle, int32_t newSize);
    Ptr LockHandle(Handle handle, Boolean moveHigh);
    void UnlockHandle(Handle handle);
    OSErr AnswerProperty(OSType signature, OSType key, int32_t index, intptr_t* simpleProperty,
                         Handle* complexProperty);
    OSErr StoreProperty(OSType signature, OSType key, int32_t index, intptr_t simpleProperty,
                        Handle complexProperty);

    static FilterHost* active_;

    HostImage image_;
    // The whole published record, zeroed, 8-byte aligned; record_ points into it.
    std::array<uint64_t, kPublishedFilterRecordSize / sizeof(uint64_t)> recordStorage_{};
    FilterRecord* record_;
    intptr_t dataSlot_ = 0;
    int16_t result_ = 0;
    PlatformData platformData_{};
    BufferProcs bufferProcs_{};
    HandleProcs handleProcs_{};
    PropertyProcs propertyProcs_{};

    int32_t rowPadding_ = 10;
    int32_t bufferSpace_;
    HostFaults faults_;
    Counts counts_;
    uint64_t sequence_ = 0;

    std::map<uintptr_t, HostBuffer> buffers_;
    uintptr_t nextBufferId_ = 1;
    std::map<Handle, std::unique_ptr<HostHandle>> handles_;
    std::map<std::pair<OSType, int32_t>, intptr_t> properties_;

    std::optional<Tile> input_;
    std::optional<Tile> output_;

    std::vector<DataRequest> dataRequests_;
    std::vector<BufferCall> bufferCalls_;
    std::vector<HandleCall> handleCalls_;
    std::vector<PropertyCall> propertyCalls_;
    std::vector<ProgressCall> progressCalls_;
    int32_t abortCalls_ = 0;
    std::vector<std::string> misuses_;
    bool refusedForWantOfMemory_ = false;
    std::function<void(int32_t, int32_t)> progressObserver_;
};

}  // namespace vexo::filterhost
