// A plug-in of a few lines that inverts the image, for testing our host across a
// real library boundary. It has two entry points: PluginMain fetches each plane
// through advanceState during start, as the real plug-in does, and
// PluginMainByRows asks for one row at a time through the rects it leaves in
// the record, so that the host's continue loop runs. Both use the buffer,
// handle and property suites once, so that every suite is called across the
// boundary.
#include <cstdint>
#include <cstring>

#include "host/HostFilterInterface.h"

#if defined(_WIN32)
#define TEST_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define TEST_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

intptr_t gAboutWindow = -1;

bool Deep(const FilterRecord* r) {
    return r->depth == 16;
}

// Inverts the tiles the host handed out: every plane of the request.
void InvertTiles(FilterRecord* r) {
    const int planes = r->outHiPlane - r->outLoPlane + 1;
    const int width = r->outRect.right - r->outRect.left;
    const int height = r->outRect.bottom - r->outRect.top;
    const auto* in = static_cast<const unsigned char*>(r->inData);
    auto* out = static_cast<unsigned char*>(r->outData);
    for (int y = 0; y < height; ++y) {
        for (int i = 0; i < width * planes; ++i) {
            if (Deep(r)) {
                const auto* from = reinterpret_cast<const uint16_t*>(in + y * r->inRowBytes);
                auto* to = reinterpret_cast<uint16_t*>(out + y * r->outRowBytes);
                to[i] = static_cast<uint16_t>(32768 - from[i]);
            } else {
                out[y * r->outRowBytes + i] =
                    static_cast<unsigned char>(255 - in[y * r->inRowBytes + i]);
            }
        }
    }
}

void Ask(FilterRecord* r, Rect rect, int16_t loPlane, int16_t hiPlane) {
    r->inRect = r->outRect = rect;
    r->maskRect = Rect{};
    r->inLoPlane = r->outLoPlane = loPlane;
    r->inHiPlane = r->outHiPlane = hiPlane;
    r->inputRate = 0x10000;
    if (r->supportsPadding) {
        r->inputPadding = r->outputPadding = 0;
    }
}

void AskForNothing(FilterRecord* r) {
    r->inRect = r->outRect = r->maskRect = Rect{};
}

// A scratch block from the host, used and given back.
OSErr UseScratchBuffer(FilterRecord* r) {
    BufferID id = nullptr;
    if (const OSErr e = r->bufferProcs->allocateProc(64, &id)) {
        return e;
    }
    Ptr block = r->bufferProcs->lockProc(id, true);
    if (block) {
        std::memset(block, 0, 64);
        r->bufferProcs->unlockProc(id);
    }
    r->bufferProcs->freeProc(id);
    return block ? OSErr{noErr} : OSErr{memFullErr};
}

OSErr Prepare(FilterRecord* r, intptr_t* data) {
    if (*data) {
        return noErr;
    }
    Handle h = r->handleProcs->newProc(4);
    if (!h) {
        return memFullErr;
    }
    Ptr block = r->handleProcs->lockProc(h, true);
    if (block) {
        const int16_t facts[2] = {r->planes, static_cast<int16_t>(r->depth)};
        std::memcpy(block, facts, sizeof facts);
        r->handleProcs->unlockProc(h);
    }
    *data = reinterpret_cast<intptr_t>(h);
    return noErr;
}

void Finish(FilterRecord* r, intptr_t* data) {
    if (*data) {
        r->handleProcs->disposeProc(reinterpret_cast<Handle>(*data));
        *data = 0;
    }
}

OSErr StartByAdvanceState(FilterRecord* r) {
    if (const OSErr e = UseScratchBuffer(r)) {
        return e;
    }
    r->propertyProcs->setPropertyProc(r->hostSig, propWatchSuspension, 0, 0, nullptr);
    for (int16_t plane = 0; plane < r->planes; ++plane) {
        Ask(r, r->filterRect, plane, plane);
        if (const OSErr e = r->advanceState()) {
            AskForNothing(r);
            return e;
        }
        InvertTiles(r);
        if (r->progressProc) {
            r->progressProc(plane + 1, r->planes);
        }
    }
    AskForNothing(r);
    return noErr;
}

Rect Row(const FilterRecord* r, int16_t top) {
    return {top, r->filterRect.left, static_cast<int16_t>(top + 1), r->filterRect.right};
}

}  // namespace

TEST_PLUGIN_EXPORT void PluginMain(int16_t selector, void* record, intptr_t* data,
                                   int16_t* result) {
    auto* r = static_cast<FilterRecord*>(record);
    switch (selector) {
        case filterSelectorAbout:
            gAboutWindow =
                static_cast<PlatformData*>(static_cast<AboutRecord*>(record)->platformData)->hwnd;
            break;
        case filterSelectorParameters:
            break;
        case filterSelectorPrepare:
            *result = Prepare(r, data);
            break;
        case filterSelectorStart:
            *result = StartByAdvanceState(r);
            break;
        case filterSelectorContinue:
            AskForNothing(r);
            break;
        case filterSelectorFinish:
            Finish(r, data);
            break;
        default:
            *result = filterBadParameters;
    }
}

TEST_PLUGIN_EXPORT void PluginMainByRows(int16_t selector, void* record, intptr_t* data,
                                         int16_t* result) {
    auto* r = static_cast<FilterRecord*>(record);
    switch (selector) {
        case filterSelectorStart:
            Ask(r, Row(r, r->filterRect.top), 0, static_cast<int16_t>(r->planes - 1));
            break;
        case filterSelectorContinue: {
            InvertTiles(r);
            const auto next = static_cast<int16_t>(r->outRect.top + 1);
            if (next < r->filterRect.bottom) {
                Ask(r, Row(r, next), 0, static_cast<int16_t>(r->planes - 1));
            } else {
                AskForNothing(r);
            }
            break;
        }
        default:
            PluginMain(selector, record, data, result);
    }
}

// The window that the last about call was given.
TEST_PLUGIN_EXPORT intptr_t LastAboutWindow() {
    return gAboutWindow;
}
