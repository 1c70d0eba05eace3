#pragma once

// Our declaration of the part of the host's published filter plug-in interface that
// the plug-in uses. Field order, types and packing follow the published 64-bit
// Windows layout, so that a real host's record is read at the right offsets; the
// static_asserts below pin every offset the plug-in reads or writes. Fields the
// plug-in never touches are declared with their published types where they matter
// for the layout, or as reserved bytes of the right size.

#include <cstddef>
#include <cstdint>


using Boolean = unsigned char;
using OSErr = int16_t;
using OSType = uint32_t;
using Fixed = int32_t;  // 16.16 fixed point
using Ptr = char*;
using Handle = char**;
using BufferID = struct BufferOpaque*;

// Four-character codes are read as big-endian numbers: 'wtch' is 0x77746368.
constexpr OSType MakeOSType(const char (&code)[5]) {
    return (static_cast<OSType>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<OSType>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<OSType>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<OSType>(static_cast<unsigned char>(code[3]));
}

// Selectors of PluginMain.
enum : int16_t {
    filterSelectorAbout = 0,
    filterSelectorParameters = 1,
    filterSelectorPrepare = 2,
    filterSelectorStart = 3,
    filterSelectorContinue = 4,
    filterSelectorFinish = 5,
};

// Host result codes.
enum : OSErr {
    noErr = 0,
    memFullErr = -108,
    userCanceledErr = -128,
    filterBadParameters = -30100,
};

// What the host hands the filter: a flat image, a floating selection or a layer.
enum : int16_t {
    filterCaseFlatImageNoSelection = 1,
    filterCaseFlatImageWithSelection = 2,
    filterCaseFloatingSelection = 3,
    filterCaseEditableTransparencyNoSelection = 4,
    filterCaseEditableTransparencyWithSelection = 5,
    filterCaseProtectedTransparencyNoSelection = 6,
    filterCaseProtectedTransparencyWithSelection = 7,
};

constexpr OSType propWatchSuspension = MakeOSType("wtch");

struct Point {
    int16_t v;
    int16_t h;
};

struct Rect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

using TestAbortProc = Boolean (*)();
using ProgressProc = void (*)(int32_t done, int32_t total);
using AdvanceStateProc = OSErr (*)();

using AllocateBufferProc = OSErr (*)(int32_t size, BufferID* bufferID);
using LockBufferProc = Ptr (*)(BufferID bufferID, Boolean moveHigh);
using UnlockBufferProc = void (*)(BufferID bufferID);
using FreeBufferProc = void (*)(BufferID bufferID);
using BufferSpaceProc = int32_t (*)();

using NewPIHandleProc = Handle (*)(int32_t size);
using DisposePIHandleProc = void (*)(Handle handle);
using GetPIHandleSizeProc = int32_t (*)(Handle handle);
using SetPIHandleSizeProc = OSErr (*)(Handle handle, int32_t newSize);
using LockPIHandleProc = Ptr (*)(Handle handle, Boolean moveHigh);
using UnlockPIHandleProc = void (*)(Handle handle);

using GetPropertyProc = OSErr (*)(OSType signature, OSType key, int32_t index,
                                  intptr_t* simpleProperty, Handle* complexProperty);
using SetPropertyProc = OSErr (*)(OSType signature, OSType key, int32_t index,
                                  intptr_t simpleProperty, Handle complexProperty);

// The callback suites are naturally aligned.
struct BufferProcs {
    int16_t bufferProcsVersion;
    int16_t numBufferProcs;
    AllocateBufferProc allocateProc;
    LockBufferProc lockProc;
    UnlockBufferProc unlockProc;
    FreeBufferProc freeProc;
    BufferSpaceProc spaceProc;
};

struct HandleProcs {
    int16_t handleProcsVersion;
    int16_t numHandleProcs;
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    SetPIHandleSizeProc setSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;
};

struct PropertyProcs {
    int16_t propertyProcsVersion;
    int16_t numPropertyProcs;
    GetPropertyProc getPropertyProc;
    SetPropertyProc setPropertyProc;
};

// On Windows the first member is the host's main window.
struct PlatformData {
    intptr_t hwnd;
};

// The record of the about selector.
struct AboutRecord {
    void* platformData;  // PlatformData*
    void* sSPBasic;
    void* plugInRef;
    char reserved[244];
};

#pragma pack(push, 4)

struct RGBColor {
    uint16_t red;
    uint16_t green;
    uint16_t blue;
};

struct FilterRecord {
    int32_t serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;
    Point imageSize;
    int16_t planes;
    Rect filterRect;
    RGBColor background;
    RGBColor foreground;
    int32_t maxSpace;
    int32_t bufferSpace;
    Rect inRect;
    int16_t inLoPlane;
    int16_t inHiPlane;
    Rect outRect;
    int16_t outLoPlane;
    int16_t outHiPlane;
    void* inData;
    int32_t inRowBytes;
    void* outData;
    int32_t outRowBytes;
    Boolean isFloating;
    Boolean haveMask;
    Boolean autoMask;
    Rect maskRect;
    void* maskData;
    int32_t maskRowBytes;
    unsigned char backColor[4];
    unsigned char foreColor[4];
    OSType hostSig;
    void* hostProc;
    int16_t imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point floatCoord;
    Point wholeSize;
    Fixed monitor[10];  // gamma, primaries, white point, ambient
    void* platformData;
    BufferProcs* bufferProcs;
    void* resourceProcs;
    void* processEvent;
    void* displayPixels;
    HandleProcs* handleProcs;
    Boolean supportsDummyChannels;
    Boolean supportsAlternateLayouts;
    int16_t wantLayout;
    int16_t filterCase;
    int16_t dummyPlaneValue;
    void* premiereHook;
    AdvanceStateProc advanceState;
    Boolean supportsAbsolute;
    Boolean wantsAbsolute;
    void* getPropertyObsolete;
    Boolean cannotUndo;
    Boolean supportsPadding;
    int16_t inputPadding;
    int16_t outputPadding;
    int16_t maskPadding;
    char samplingSupport;
    char reservedByte;
    Fixed inputRate;
    Fixed maskRate;
    void* colorServices;
    int16_t inLayerPlanes;
    int16_t inTransparencyMask;
    int16_t inLayerMasks;
    int16_t inInvertedLayerMasks;
    int16_t inNonLayerPlanes;
    int16_t outLayerPlanes;
    int16_t outTransparencyMask;
    int16_t outLayerMasks;
    int16_t outInvertedLayerMasks;
    int16_t outNonLayerPlanes;
    int16_t absLayerPlanes;
    int16_t absTransparencyMask;
    int16_t absLayerMasks;
    int16_t absInvertedLayerMasks;
    int16_t absNonLayerPlanes;
    int16_t inPreDummyPlanes;
    int16_t inPostDummyPlanes;
    int16_t outPreDummyPlanes;
    int16_t outPostDummyPlanes;
    int32_t inColumnBytes;
    int32_t inPlaneBytes;
    int32_t outColumnBytes;
    int32_t outPlaneBytes;
    void* imageServicesProcs;
    PropertyProcs* propertyProcs;
    int16_t inTileHeight;
    int16_t inTileWidth;
    Point inTileOrigin;
    int16_t absTileHeight;
    int16_t absTileWidth;
    Point absTileOrigin;
    int16_t outTileHeight;
    int16_t outTileWidth;
    Point outTileOrigin;
    int16_t maskTileHeight;
    int16_t maskTileWidth;
    Point maskTileOrigin;
    void* descriptorParameters;
    void* errorString;
    void* channelPortProcs;
    void* documentInfo;
    void* sSPBasic;
    void* plugInRef;
    int32_t depth;
    // The current published record continues to 608 bytes; the plug-in reads no
    // field beyond depth, and a host always passes the whole record.
};

#pragma pack(pop)

static_assert(sizeof(void*) == 8, "the plug-in interface is declared for 64-bit code");
static_assert(sizeof(Rect) == 8 && sizeof(Point) == 4);
static_assert(alignof(FilterRecord) == 4);
static_assert(offsetof(FilterRecord, serialNumber) == 0);
static_assert(offsetof(FilterRecord, abortProc) == 4);
static_assert(offsetof(FilterRecord, progressProc) == 12);
static_assert(offsetof(FilterRecord, parameters) == 20);
static_assert(offsetof(FilterRecord, imageSize) == 28);
static_assert(offsetof(FilterRecord, planes) == 32);
static_assert(offsetof(FilterRecord, filterRect) == 34);
static_assert(offsetof(FilterRecord, maxSpace) == 56);
static_assert(offsetof(FilterRecord, bufferSpace) == 60);
static_assert(offsetof(FilterRecord, inRect) == 64);
static_assert(offsetof(FilterRecord, inLoPlane) == 72);
static_assert(offsetof(FilterRecord, inHiPlane) == 74);
static_assert(offsetof(FilterRecord, outRect) == 76);
static_assert(offsetof(FilterRecord, outLoPlane) == 84);
static_assert(offsetof(FilterRecord, outHiPlane) == 86);
static_assert(offsetof(FilterRecord, inData) == 88);
static_assert(offsetof(FilterRecord, inRowBytes) == 96);
static_assert(offsetof(FilterRecord, outData) == 100);
static_assert(offsetof(FilterRecord, outRowBytes) == 108);
static_assert(offsetof(FilterRecord, haveMask) == 113);
static_assert(offsetof(FilterRecord, maskRect) == 116);
static_assert(offsetof(FilterRecord, maskData) == 124);
static_assert(offsetof(FilterRecord, hostSig) == 144);
static_assert(offsetof(FilterRecord, imageMode) == 156);
static_assert(offsetof(FilterRecord, wholeSize) == 172);
static_assert(offsetof(FilterRecord, platformData) == 216);
static_assert(offsetof(FilterRecord, bufferProcs) == 224);
static_assert(offsetof(FilterRecord, handleProcs) == 256);
static_assert(offsetof(FilterRecord, filterCase) == 268);
static_assert(offsetof(FilterRecord, advanceState) == 280);
static_assert(offsetof(FilterRecord, supportsPadding) == 301);
static_assert(offsetof(FilterRecord, inputPadding) == 302);
static_assert(offsetof(FilterRecord, outputPadding) == 304);
static_assert(offsetof(FilterRecord, inputRate) == 312);
static_assert(offsetof(FilterRecord, outLayerPlanes) == 338);
static_assert(offsetof(FilterRecord, inColumnBytes) == 368);
static_assert(offsetof(FilterRecord, propertyProcs) == 392);
static_assert(offsetof(FilterRecord, sSPBasic) == 464);
static_assert(offsetof(FilterRecord, depth) == 480);
static_assert(offsetof(BufferProcs, allocateProc) == 8 && offsetof(BufferProcs, lockProc) == 16 &&
              offsetof(BufferProcs, unlockProc) == 24 && offsetof(BufferProcs, freeProc) == 32 &&
              offsetof(BufferProcs, spaceProc) == 40);
static_assert(offsetof(HandleProcs, newProc) == 8 && offsetof(HandleProcs, disposeProc) == 16 &&
              offsetof(HandleProcs, getSizeProc) == 24 && offsetof(HandleProcs, setSizeProc) == 32 &&
              offsetof(HandleProcs, lockProc) == 40 && offsetof(HandleProcs, unlockProc) == 48);
static_assert(offsetof(PropertyProcs, getPropertyProc) == 8 &&
              offsetof(PropertyProcs, setPropertyProc) == 16);
static_assert(propWatchSuspension == 0x77746368);
