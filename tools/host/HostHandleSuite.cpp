// The handle suite. A Handle is the address of a master pointer that the host
// owns; the block behind it moves when it is resized, as on any host, so a
// plug-in must lock a handle to keep an address.
#include <algorithm>
#include <cstdio>
#include <new>
#include <string>

#include "tools/host/FilterHost.h"

namespace vexo::filterhost {
namespace {

std::string Describe(Handle handle) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", static_cast<void*>(handle));
    return text;
}

}  // namespace

Handle FilterHost::NewHandleCallback(int32_t size) {
    FilterHost* host = active_;
    try {
        return host ? host->NewHandle(size) : nullptr;
    } catch (const std::bad_alloc&) {
        NoteRefusedForWantOfMemory(host);
        return nullptr;
    }
}

void FilterHost::DisposeHandleCallback(Handle handle) {
    FilterHost* host = active_;
    try {
        if (host) {
            host->DisposeHandle(handle);
        }
    } catch (const std::bad_alloc&) {
    }
}

int32_t FilterHost::GetHandleSizeCallback(Handle handle) {
    FilterHost* host = active_;
    try {
        return host ? host->GetHandleSize(handle) : 0;
    } catch (const std::bad_alloc&) {
        NoteRefusedForWantOfMemory(host);
        return 0;
    }
}

OSErr FilterHost::SetHandleSizeCallback(Handle handle, int32_t newSize) {
    FilterHost* host = active_;
    try {
        return host ? host->SetHandleSize(handle, newSize) : OSErr{memFullErr};
    } catch (const std::bad_alloc&) {
        NoteRefusedForWantOfMemory(host);
        return memFullErr;
    }
}

Ptr FilterHost::LockHandleCallback(Handle handle, Boolean moveHigh) {
    FilterHost* host = active_;
    try {
        return host ? host->LockHandle(handle, moveHigh) : nullptr;
    } catch (const std::bad_alloc&) {
        NoteRefusedForWantOfMemory(host);
        return nullptr;
    }
}

void FilterHost::UnlockHandleCallback(Handle handle) {
    FilterHost* host = active_;
    try {
        if (host) {
            host->UnlockHandle(handle);
        }
    } catch (const std::bad_alloc&) {
    }
}

Handle FilterHost::NewHandle(int32_t size) {
    HandleCall call;
    call.sequence = NextSequence();
    call.op = HandleOp::New;
    call.size = size;
    if (++counts_.handleCreations == faults_.failHandleCreationAt) {
        call.injected = true;
    } else if (size >= 0) {
        auto block = std::make_unique<HostHandle>();
        // A zero-size block still has an address.
        block->bytes.assign(static_cast<size_t>(size > 0 ? size : 1),
                            static_cast<char>(kUnsetByte));
        block->master = block->bytes.data();
        block->size = size;
        call.handle = &block->master;
        handles_.emplace(call.handle, std::move(block));
        call.succeeded = true;
    }
    handleCalls_.push_back(call);
    return call.handle;
}

void FilterHost::DisposeHandle(Handle handle) {
    HandleCall call;
    call.sequence = NextSequence();
    call.op = HandleOp::Dispose;
    call.handle = handle;
    const auto found = handles_.find(handle);
    if (found == handles_.end()) {
        Misuse("disposeProc on unknown handle " + Describe(handle));
    } else {
        call.size = found->second->size;
        handles_.erase(found);
        call.succeeded = true;
    }
    handleCalls_.push_back(call);
}

int32_t FilterHost::GetHandleSize(Handle handle) {
    HandleCall call;
    call.sequence = NextSequence();
    call.op = HandleOp::GetSize;
    call.handle = handle;
    const auto found = handles_.find(handle);
    if (found == handles_.end()) {
        Misuse("getSizeProc on unknown handle " + Describe(handle));
    } else {
        call.size = found->second->size;
        call.succeeded = true;
    }
    handleCalls_.push_back(call);
    return call.size;
}

OSErr FilterHost::SetHandleSize(Handle handle, int32_t newSize) {
    HandleCall call;
    call.sequence = NextSequence();
    call.op = HandleOp::SetSize;
    call.handle = handle;
    call.size = newSize;
    OSErr result = noErr;
    const auto found = handles_.find(handle);
    if (++counts_.handleResizes == faults_.failHandleResizeAt) {
        call.injected = true;
        result = faults_.failureCode;
    } else if (found == handles_.end()) {
        Misuse("setSizeProc on unknown handle " + Describe(handle));
        result = paramErr;
    } else if (newSize < 0) {
        result = paramErr;
    } else if (found->second->lockCount > 0) {
        // A locked block cannot move, and this host always moves a resized one.
        result = memFullErr;
    } else {
        HostHandle& block = *found->second;
        std::vector<char> bytes(static_cast<size_t>(newSize > 0 ? newSize : 1),
                                static_cast<char>(kUnsetByte));
        std::copy_n(block.bytes.begin(), std::min(bytes.size(), block.bytes.size()), bytes.begin());
        block.bytes.swap(bytes);
        block.master = block.bytes.data();
        block.size = newSize;
    }
    call.succeeded = result == noErr;
    handleCalls_.push_back(call);
    return result;
}

Ptr FilterHost::LockHandle(Handle handle, Boolean moveHigh) {
    HandleCall call;
    call.sequence = NextSequence();
    call.op = HandleOp::Lock;
    call.handle = handle;
    call.moveHigh = moveHigh != 0;
    Ptr address = nullptr;
    const auto found = handles_.find(handle);
    if (++counts_.handleLocks == faults_.failHandleLockAt) {
        call.injected = true;
    } else if (found == handles_.end()) {
        Misuse("lockProc on unknown handle " + Describe(handle));
    } else {
        ++found->second->lockCount;
        address = found->second->master;
        call.size = found->second->size;
        call.succeeded = true;
    }
    handleCalls_.push_back(call);
    return address;
}

void FilterHost::UnlockHandle(Handle handle) {
    HandleCall call;
    call.sequence = NextSequence();
    call.op = HandleOp::Unlock;
    call.handle = handle;
    const auto found = handles_.find(handle);
    if (found == handles_.end()) {
        Misuse("unlockProc on unknown handle " + Describe(handle));
    } else {
        // Unlocking an unlocked handle changes nothing, as with any host.
        if (found->second->lockCount > 0) {
            --found->second->lockCount;
        }
        call.succeeded = true;
    }
    handleCalls_.push_back(call);
}

std::vector<HandleState> FilterHost::LiveHandles() const {
    std::vector<HandleState> live;
    for (const auto& [handle, block] : handles_) {
        live.push_back({handle, block->size, block->lockCount});
    }
    return live;
}

std::optional<HandleState> FilterHost::HandleInfo(Handle handle) const {
    const auto found = handles_.find(handle);
    if (found == handles_.end()) {
        return std::nullopt;
    }
    return HandleState{handle, found->second->size, found->second->lockCount};
}

}  // namespace vexo::filterhost
