// The buffer suite. Buffer ids are serial numbers, never addresses, so that a
// plug-in passing a stale or made-up id is caught instead of followed.
#include <algorithm>
#include <new>
#include <string>

#include "tools/host/FilterHost.h"

namespace vexo::filterhost {
namespace {

uintptr_t IdNumber(BufferID id) {
    return reinterpret_cast<uintptr_t>(id);
}

}  // namespace

OSErr FilterHost::AllocateBufferCallback(int32_t size, BufferID* bufferID) {
    FilterHost* host = active_;
    try {
        return host ? host->AllocateBuffer(size, bufferID) : OSErr{memFullErr};
    } catch (const std::bad_alloc&) {
        NoteRefusedForWantOfMemory(host);
        return memFullErr;
    }
}

Ptr FilterHost::LockBufferCallback(BufferID bufferID, Boolean moveHigh) {
    FilterHost* host = active_;
    try {
        return host ? host->LockBuffer(bufferID, moveHigh) : nullptr;
    } catch (const std::bad_alloc&) {
        NoteRefusedForWantOfMemory(host);
        return nullptr;
    }
}

void FilterHost::UnlockBufferCallback(BufferID bufferID) {
    FilterHost* host = active_;
    try {
        if (host) {
            host->UnlockBuffer(bufferID);
        }
    } catch (const std::bad_alloc&) {
    }
}

void FilterHost::FreeBufferCallback(BufferID bufferID) {
    FilterHost* host = active_;
    try {
        if (host) {
            host->FreeBuffer(bufferID);
        }
    } catch (const std::bad_alloc&) {
    }
}

int32_t FilterHost::BufferSpaceCallback() {
    FilterHost* host = active_;
    try {
        return host ? host->BufferSpace() : 0;
    } catch (const std::bad_alloc&) {
        NoteRefusedForWantOfMemory(host);
        return 0;
    }
}

int32_t FilterHost::FreeBufferSpace() const {
    int64_t used = 0;
    for (const auto& [id, buffer] : buffers_) {
        used += buffer.size;
    }
    return static_cast<int32_t>(std::max<int64_t>(bufferSpace_ - used, 0));
}

int32_t FilterHost::BufferSpace() {
    BufferCall call;
    call.sequence = NextSequence();
    call.op = BufferOp::Space;
    call.size = FreeBufferSpace();
    call.succeeded = true;
    bufferCalls_.push_back(call);
    return call.size;
}

OSErr FilterHost::AllocateBuffer(int32_t size, BufferID* bufferID) {
    BufferCall call;
    call.sequence = NextSequence();
    call.op = BufferOp::Allocate;
    call.size = size;
    OSErr result = noErr;
    if (++counts_.allocations == faults_.failAllocationAt) {
        call.injected = true;
        result = faults_.failureCode;
    } else if (!bufferID) {
        Misuse("allocateProc without a place for the buffer id");
        result = paramErr;
    } else if (size < 0) {
        result = paramErr;
    } else if (size > FreeBufferSpace()) {
        result = memFullErr;
    } else {
        const uintptr_t id = nextBufferId_++;
        // A zero-size buffer still has an address to lock.
        HostBuffer& buffer = buffers_[id];
        buffer.bytes.assign(static_cast<size_t>(size > 0 ? size : 1), kUnsetByte);
        buffer.size = size;
        *bufferID = reinterpret_cast<BufferID>(id);
        call.id = id;
        call.succeeded = true;
    }
    bufferCalls_.push_back(call);
    return result;
}

Ptr FilterHost::LockBuffer(BufferID bufferID, Boolean moveHigh) {
    BufferCall call;
    call.sequence = NextSequence();
    call.op = BufferOp::Lock;
    call.id = IdNumber(bufferID);
    call.moveHigh = moveHigh != 0;
    Ptr address = nullptr;
    const auto found = buffers_.find(call.id);
    if (++counts_.bufferLocks == faults_.failBufferLockAt) {
        call.injected = true;
    } else if (found == buffers_.end()) {
        Misuse("lockProc on unknown buffer " + std::to_string(call.id));
    } else {
        ++found->second.lockCount;
        address = reinterpret_cast<Ptr>(found->second.bytes.data());
        call.succeeded = true;
    }
    bufferCalls_.push_back(call);
    return address;
}

void FilterHost::UnlockBuffer(BufferID bufferID) {
    BufferCall call;
    call.sequence = NextSequence();
    call.op = BufferOp::Unlock;
    call.id = IdNumber(bufferID);
    const auto found = buffers_.find(call.id);
    if (found == buffers_.end()) {
        Misuse("unlockProc on unknown buffer " + std::to_string(call.id));
    } else {
        // Unlocking an unlocked buffer changes nothing, as with any host.
        if (found->second.lockCount > 0) {
            --found->second.lockCount;
        }
        call.succeeded = true;
    }
    bufferCalls_.push_back(call);
}

void FilterHost::FreeBuffer(BufferID bufferID) {
    BufferCall call;
    call.sequence = NextSequence();
    call.op = BufferOp::Free;
    call.id = IdNumber(bufferID);
    const auto found = buffers_.find(call.id);
    if (found == buffers_.end()) {
        Misuse("freeProc on unknown buffer " + std::to_string(call.id));
    } else {
        call.size = found->second.size;
        buffers_.erase(found);
        call.succeeded = true;
    }
    bufferCalls_.push_back(call);
}

std::vector<BufferState> FilterHost::LiveBuffers() const {
    std::vector<BufferState> live;
    for (const auto& [id, buffer] : buffers_) {
        live.push_back(*Buffer(reinterpret_cast<BufferID>(id)));
    }
    return live;
}

std::optional<BufferState> FilterHost::Buffer(BufferID bufferID) const {
    const auto found = buffers_.find(IdNumber(bufferID));
    if (found == buffers_.end()) {
        return std::nullopt;
    }
    return BufferState{found->first, found->second.size, found->second.lockCount};
}

}  // namespace vexo::filterhost
