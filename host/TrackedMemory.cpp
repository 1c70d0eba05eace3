#include "host/TrackedMemory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "host/HostGlobals.h"

AllocationList gAllocationList = {nullptr, nullptr};
TrackedHeap gTrackedHeap = {
    [](std::size_t count, std::size_t size) { return std::calloc(count, size); },
    [](void* block) { std::free(block); },
};

namespace {

// The suite to allocate from, or null. A suite missing any of the four procedures
// is treated as no suite at all: a buffer that could not be unlocked or freed again
// is better not taken.
const BufferProcs* AllocationSuite() {
    if (gFilterRecord == nullptr) {
        return nullptr;
    }
    const BufferProcs* suite = gFilterRecord->bufferProcs;
    if (suite == nullptr || suite->allocateProc == nullptr || suite->lockProc == nullptr ||
        suite->unlockProc == nullptr || suite->freeProc == nullptr) {
        return nullptr;
    }
    return suite;
}

// A host block goes back through the suite of the record of the releasing call. If
// that record no longer offers the procedures, the buffer is left to the host, which
// owns it, rather than calling through a null pointer.
void ReleaseHostBuffer(BufferID bufferID) {
    const BufferProcs* suite = gFilterRecord != nullptr ? gFilterRecord->bufferProcs : nullptr;
    if (suite == nullptr) {
        return;
    }
    if (suite->unlockProc != nullptr) {
        suite->unlockProc(bufferID);
    }
    if (suite->freeProc != nullptr) {
        suite->freeProc(bufferID);
    }
}

void ReleaseBlock(void* block, BufferID bufferID, int32_t fromHeap) {
    if (fromHeap == 1) {
        gTrackedHeap.release(block);
    } else {
        ReleaseHostBuffer(bufferID);
    }
}

// A locked, zero-filled host buffer, or null when the host cannot deliver one; a
// buffer that cannot be locked is given back at once.
Ptr LockedHostBuffer(const BufferProcs& suite, uint32_t size, BufferID* bufferID) {
    const OSErr allocated = suite.allocateProc(static_cast<int32_t>(size), bufferID);
    MergeHostResult(allocated);
    if (allocated != noErr) {
        return nullptr;
    }
    Ptr block = suite.lockProc(*bufferID, true);
    if (block == nullptr) {
        suite.freeProc(*bufferID);
        MergeHostResult(memFullErr);
        return nullptr;
    }
    if (size != 0) {
        std::memset(block, 0, size);
    }
    return block;
}

}  // namespace

void* AllocateTrackedMemory(uint32_t size) {
    BufferID bufferID = nullptr;
    const BufferProcs* suite = AllocationSuite();
    // The host takes sizes as signed 32-bit counts; a larger one would reach it as
    // a negative size, so such a block comes from the heap.
    if (suite != nullptr && size <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        if (Ptr block = LockedHostBuffer(*suite, size, &bufferID)) {
            if (TrackAllocation(block, bufferID, 0) != 0) {
                ReleaseHostBuffer(bufferID);
                MergeHostResult(memFullErr);
                return nullptr;
            }
            return block;
        }
    }
    // calloc of 0 bytes may answer null, which would read as a failure.
    void* block = gTrackedHeap.allocateZeroed(std::max<uint32_t>(size, 1), 1);
    if (block == nullptr) {
        MergeHostResult(memFullErr);
        return nullptr;
    }
    if (TrackAllocation(block, bufferID, 1) != 0) {
        gTrackedHeap.release(block);
        MergeHostResult(memFullErr);
        return nullptr;
    }
    return block;
}

int16_t TrackAllocation(void* block, BufferID bufferID, int32_t fromHeap) {
    auto* record = new (std::nothrow) AllocationRecord{};
    if (record == nullptr) {
        return memFullErr;
    }
    record->block = block;
    record->bufferID = bufferID;
    record->fromHeap = fromHeap;
    if (gAllocationList.tail != nullptr) {
        gAllocationList.tail->next = record;
        record->prev = gAllocationList.tail;
    } else {
        gAllocationList.head = record;
    }
    gAllocationList.tail = record;
    return 0;
}

int16_t UntrackAllocation(void* block, BufferID* bufferID, int32_t* fromHeap) {
    AllocationRecord* record = gAllocationList.head;
    while (record != nullptr && record->block != block) {
        record = record->next;
    }
    if (record == nullptr) {
        return -1;
    }
    *bufferID = record->bufferID;
    *fromHeap = record->fromHeap;
    if (record == gAllocationList.head) {
        gAllocationList.head = record->next;
    }
    if (record->prev != nullptr) {
        record->prev->next = record->next;
    }
    if (record->next != nullptr) {
        record->next->prev = record->prev;
    }
    if (record == gAllocationList.tail) {
        gAllocationList.tail = record->prev;
    }
    delete record;
    return 0;
}

void FreeTrackedMemory(void* block) {
    if (block == nullptr) {
        return;
    }
    BufferID bufferID = nullptr;
    int32_t fromHeap = 0;
    if (UntrackAllocation(block, &bufferID, &fromHeap) != 0) {
        return;
    }
    ReleaseBlock(block, bufferID, fromHeap);
}

void FreeAllAllocations() {
    while (gAllocationList.tail != nullptr) {
        void* block = gAllocationList.tail->block;
        BufferID bufferID = nullptr;
        int32_t fromHeap = 0;
        UntrackAllocation(block, &bufferID, &fromHeap);
        ReleaseBlock(block, bufferID, fromHeap);
    }
}
