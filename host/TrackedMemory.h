#pragma once

#include <cstddef>
#include <cstdint>

#include "host/HostFilterInterface.h"

// Working memory of the host adapter: from a host buffer when the current record
// offers the buffer suite and the host delivers, otherwise from the heap. Every
// block handed out is listed until it is given back, so that the entry can free
// whatever a run left behind (FreeAllAllocations, on the finish selector and after
// any failed call). Host errors go into the result word, never into a return value.

struct AllocationRecord {
    AllocationRecord* next;  // the next newer record; null at the tail
    AllocationRecord* prev;  // the next older record; null at the head
    void* block;             // never null
    BufferID bufferID;       // the host buffer holding the block, when fromHeap is 0
    int32_t fromHeap;        // 1: from the heap; 0: from a host buffer
};

// Doubly linked in allocation order, oldest at the head. A block is listed once.
struct AllocationList {
    AllocationRecord* head;
    AllocationRecord* tail;
};

extern AllocationList gAllocationList;

// The heap behind the fallback: calloc and free. Tests replace them to watch heap
// releases or to make the heap fail too, and put them back afterwards.
struct TrackedHeap {
    void* (*allocateZeroed)(std::size_t count, std::size_t size);
    void (*release)(void* block);
};

extern TrackedHeap gTrackedHeap;

// A zero-filled block of size bytes, listed; null when neither the host nor the
// heap has the memory. A host that refuses leaves its code OR-ed into the result
// word, a buffer that cannot be locked leaves memFullErr there, and the block then
// comes from the heap; a heap failure adds memFullErr.
void* AllocateTrackedMemory(uint32_t size);

// Appends a record for the block: 0, or memFullErr when no record can be had (the
// block is then not listed).
int16_t TrackAllocation(void* block, BufferID bufferID, int32_t fromHeap);

// Takes the block off the list: 0 with its bufferID and fromHeap stored, or -1 when
// it is not listed (nothing is written).
int16_t UntrackAllocation(void* block, BufferID* bufferID, int32_t* fromHeap);

// Gives back a block that AllocateTrackedMemory handed out: off the list first,
// then to its source. Null and blocks not on the list are ignored.
void FreeTrackedMemory(void* block);

// Releases every listed block, newest first.
void FreeAllAllocations();
