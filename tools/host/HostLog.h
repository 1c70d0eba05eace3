#pragma once

#include <cstdint>

#include "host/HostFilterInterface.h"

// What our host records of the plug-in's calls, for tests to assert on. Every
// record carries the host's running sequence number, so that the order of calls
// into different suites can be checked as well.
namespace vexo::filterhost {

// The host's Rect with a comparison, so that whole log entries compare in tests.
struct HostRect {
    int16_t top = 0;
    int16_t left = 0;
    int16_t bottom = 0;
    int16_t right = 0;

    static HostRect From(const Rect& r) { return {r.top, r.left, r.bottom, r.right}; }
    Rect ToRect() const { return {top, left, bottom, right}; }
    int32_t Width() const { return int32_t{right} - left; }
    int32_t Height() const { return int32_t{bottom} - top; }
    bool Empty() const { return Width() <= 0 || Height() <= 0; }
    friend bool operator==(const HostRect&, const HostRect&) = default;
};

// Who asked for the data: the plug-in through advanceState, or the rects that it
// left in the record when a start or continue call returned.
enum class RequestSource { AdvanceState, SelectorReturn };

// One data request as the record held it when the host took it up.
struct DataRequest {
    uint64_t sequence = 0;
    RequestSource source = RequestSource::AdvanceState;
    HostRect inRect;
    HostRect outRect;
    HostRect maskRect;
    int16_t inLoPlane = 0;
    int16_t inHiPlane = 0;
    int16_t outLoPlane = 0;
    int16_t outHiPlane = 0;
    Fixed inputRate = 0;
    int16_t inputPadding = 0;
    int16_t outputPadding = 0;
    OSErr result = noErr;
    // The strides handed out; 0 for a side not served.
    int32_t inRowBytes = 0;
    int32_t outRowBytes = 0;
};

enum class BufferOp { Allocate, Lock, Unlock, Free, Space };

struct BufferCall {
    uint64_t sequence = 0;
    BufferOp op = BufferOp::Allocate;
    uintptr_t id = 0;  // 0 for spaceProc and for a refused allocation
    int32_t size = 0;  // allocateProc's size; spaceProc's answer
    bool moveHigh = false;
    bool succeeded = false;
    bool injected = false;  // failed by a fault switch
};

enum class HandleOp { New, Dispose, GetSize, SetSize, Lock, Unlock };

struct HandleCall {
    uint64_t sequence = 0;
    HandleOp op = HandleOp::New;
    Handle handle = nullptr;  // null for a refused creation
    int32_t size = 0;         // requested, answered or newly set size
    bool moveHigh = false;
    bool succeeded = false;
    bool injected = false;
};

enum class PropertyOp { Get, Set };

struct PropertyCall {
    uint64_t sequence = 0;
    PropertyOp op = PropertyOp::Get;
    OSType signature = 0;
    OSType key = 0;
    int32_t index = 0;
    intptr_t simpleValue = 0;  // the value set, or the value answered
    Handle complexValue = nullptr;
    OSErr result = noErr;
    bool injected = false;
};

struct ProgressCall {
    uint64_t sequence = 0;
    int32_t done = 0;
    int32_t total = 0;
};

}  // namespace vexo::filterhost
