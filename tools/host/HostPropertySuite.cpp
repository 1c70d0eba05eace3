// The property suite: simple values only, keyed by property and index; the
// signature is recorded but not checked, since plug-ins pass the record's hostSig.
#include <new>

#include "tools/host/FilterHost.h"

namespace vexo::filterhost {

OSErr FilterHost::GetPropertyCallback(OSType signature, OSType key, int32_t index,
                                      intptr_t* simpleProperty, Handle* complexProperty) {
    FilterHost* host = active_;
    try {
        return host ? host->AnswerProperty(signature, key, index, simpleProperty, complexProperty)
                    : errPlugInPropertyUndefined;
    } catch (const std::bad_alloc&) {
        NoteRefusedForWantOfMemory(host);
        return memFullErr;
    }
}

OSErr FilterHost::SetPropertyCallback(OSType signature, OSType key, int32_t index,
                                      intptr_t simpleProperty, Handle complexProperty) {
    FilterHost* host = active_;
    try {
        return host ? host->StoreProperty(signature, key, index, simpleProperty, complexProperty)
                    : errPlugInPropertyUndefined;
    } catch (const std::bad_alloc&) {
        NoteRefusedForWantOfMemory(host);
        return memFullErr;
    }
}

void FilterHost::SetProperty(OSType key, int32_t index, intptr_t value) {
    properties_[{key, index}] = value;
}

std::optional<intptr_t> FilterHost::Property(OSType key, int32_t index) const {
    const auto found = properties_.find({key, index});
    if (found == properties_.end()) {
        return std::nullopt;
    }
    return found->second;
}

OSErr FilterHost::AnswerProperty(OSType signature, OSType key, int32_t index,
                                 intptr_t* simpleProperty, Handle* complexProperty) {
    PropertyCall call;
    call.sequence = NextSequence();
    call.op = PropertyOp::Get;
    call.signature = signature;
    call.key = key;
    call.index = index;
    const auto found = properties_.find({key, index});
    if (++counts_.propertyCalls == faults_.failPropertyAt) {
        call.injected = true;
        call.result = faults_.failureCode;
    } else if (!simpleProperty && !complexProperty) {
        Misuse("getPropertyProc without a place for the value");
        call.result = paramErr;
    } else if (found == properties_.end()) {
        call.result = errPlugInPropertyUndefined;
    } else {
        call.simpleValue = found->second;
        if (simpleProperty) {
            *simpleProperty = found->second;
        }
        if (complexProperty) {
            *complexProperty = nullptr;
        }
    }
    propertyCalls_.push_back(call);
    return call.result;
}

OSErr FilterHost::StoreProperty(OSType signature, OSType key, int32_t index,
                                intptr_t simpleProperty, Handle complexProperty) {
    PropertyCall call;
    call.sequence = NextSequence();
    call.op = PropertyOp::Set;
    call.signature = signature;
    call.key = key;
    call.index = index;
    call.simpleValue = simpleProperty;
    call.complexValue = complexProperty;
    if (++counts_.propertyCalls == faults_.failPropertyAt) {
        call.injected = true;
        call.result = faults_.failureCode;
    } else {
        properties_[{key, index}] = simpleProperty;
    }
    propertyCalls_.push_back(call);
    return call.result;
}

}  // namespace vexo::filterhost
