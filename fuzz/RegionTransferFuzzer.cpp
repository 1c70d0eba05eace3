#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "host/CAImageBuffer.h"
#include "host/HostFilterInterface.h"
#include "host/HostGlobals.h"
#include "host/RegionTransfer.h"
#include "tests/host/TransferScaling.h"
#include "tools/host/FilterHost.h"

// TransferHostRegion8 and TransferHostRegion16 through our filter host: random image
// sizes, planes and depths, host rects inside the image, buffers of either sample
// width in the three layouts the callers use, with the region anywhere inside the
// buffer, null buffers, and advanceState failing or missing. Each result is checked
// against a plain loop over the host's image. Every buffer is exactly as large as
// its extent, so a sample read or written outside it is an AddressSanitizer report.
namespace {

using vexo::filterhost::DataRequest;
using vexo::filterhost::FilterHost;
using vexo::filterhost::HostFaults;
using vexo::filterhost::HostImage;
using vexo::filterhost::HostRect;
using vexo::testing::Convert;
using vexo::testing::ReadScale;
using vexo::testing::WriteScale;

// The planes and buffer layout of one channel selector, as the callers map them:
// one plane 0-9 into a single-plane buffer, or planes 0-2 interleaved or planar.
struct Selector {
    int16_t firstPlane;
    int16_t lastPlane;
    CAImageLayout layout;
};

Selector PickSelector(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            return {0, 2, CAImageInterleaved};
        case 1:
            return {0, 2, CAImagePlanar};
        default: {
            const auto plane = in.ConsumeIntegralInRange<int16_t>(0, 9);
            return {plane, plane, CAImageSinglePlane};
        }
    }
}

int32_t Width(const Rect& r) {
    return int32_t{r.right} - r.left;
}
int32_t Height(const Rect& r) {
    return int32_t{r.bottom} - r.top;
}

// Sample k (0 for the first plane) at row y, column x of a buffer of extent w x h.
size_t BufferIndex(CAImageLayout layout, int32_t w, int32_t h, int k, int32_t y, int32_t x) {
    switch (layout) {
        case CAImageInterleaved:
            return static_cast<size_t>((y * w + x) * 3 + k);
        case CAImagePlanar:
            return static_cast<size_t>((k * h + y) * w + x);
        default:
            return static_cast<size_t>(y * w + x);
    }
}

// The result word before each call: no code the host or the transfer gives.
constexpr int16_t kUnsetResult = 7;

uint32_t Mix(uint32_t seed, size_t i) {
    return (seed + static_cast<uint32_t>(i) * 2654435761u) >> 9;
}

void CheckImage(const HostImage& actual, const HostImage& expected, const char* what) {
    if (actual == expected) {
        return;
    }
    for (int p = 0; p < expected.Planes(); ++p) {
        for (int32_t y = 0; y < expected.Height(); ++y) {
            for (int32_t x = 0; x < expected.Width(); ++x) {
                VEXO_FUZZ_CHECK(actual.Sample(p, x, y) == expected.Sample(p, x, y),
                                "%s: host plane %d at (%d, %d) is %u, not %u", what, p, x, y,
                                unsigned{actual.Sample(p, x, y)},
                                unsigned{expected.Sample(p, x, y)});
            }
        }
    }
}

template <typename Buffer>
void CheckBuffer(const std::vector<Buffer>& actual, const std::vector<Buffer>& expected,
                 const char* what) {
    for (size_t i = 0; i < expected.size(); ++i) {
        VEXO_FUZZ_CHECK(actual[i] == expected[i], "%s: buffer sample %zu is %u, not %u", what, i,
                        unsigned{actual[i]}, unsigned{expected[i]});
    }
}

HostFaults PickFaults(FuzzedDataProvider& in) {
    HostFaults faults;
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:  // this call: the counts start again at SetFaults
            faults.failAdvanceStateAt = 1;
            break;
        case 1:
            faults.failAdvanceStateForPlane = in.ConsumeIntegralInRange<int32_t>(0, 5);
            break;
        case 2:
            faults.noAdvanceState = true;
            break;
        default:
            break;
    }
    const auto code = in.ConsumeIntegral<int16_t>();
    faults.failureCode = code != noErr && code != kUnsetResult ? code : memFullErr;
    return faults;
}

template <typename Buffer>
void FuzzTransfer(FuzzedDataProvider& in, FilterHost& host) {
    constexpr int bufferBits = sizeof(Buffer) * 8;
    const int hostBits = host.Image().BitsPerSample();
    const Selector s = PickSelector(in);
    const int planes = s.lastPlane - s.firstPlane + 1;
    const auto direction = in.ConsumeBool() ? TransferWrite : TransferRead;

    // A host rect inside the image; the buffer's region has its size and lies
    // anywhere in the buffer, which starts at 0, 0 as the callers' buffers do.
    const auto imageW = static_cast<int16_t>(host.Image().Width());
    const auto imageH = static_cast<int16_t>(host.Image().Height());
    const auto top = in.ConsumeIntegralInRange<int16_t>(0, imageH);
    const auto left = in.ConsumeIntegralInRange<int16_t>(0, imageW);
    const auto bottom = in.ConsumeIntegralInRange<int16_t>(top, imageH);
    const auto right = in.ConsumeIntegralInRange<int16_t>(left, imageW);
    const Rect hostRect{top, left, bottom, right};
    const auto regionTop = in.ConsumeIntegralInRange<int16_t>(0, 3);
    const auto regionLeft = in.ConsumeIntegralInRange<int16_t>(0, 3);
    const auto rowsBelow = in.ConsumeIntegralInRange<int16_t>(0, 3);
    const auto columnsRight = in.ConsumeIntegralInRange<int16_t>(0, 3);
    const auto regionBottom = static_cast<int16_t>(regionTop + Height(hostRect));
    const auto regionRight = static_cast<int16_t>(regionLeft + Width(hostRect));
    const Rect bufferRegion{regionTop, regionLeft, regionBottom, regionRight};
    const Rect bufferRect{0, 0, static_cast<int16_t>(regionBottom + rowsBelow),
                          static_cast<int16_t>(regionRight + columnsRight)};
    const int32_t bufferW = Width(bufferRect);
    const int32_t bufferH = Height(bufferRect);

    const uint32_t seed = in.ConsumeIntegral<uint32_t>();
    std::vector<Buffer> buffer(static_cast<size_t>(planes) * bufferW * bufferH);
    for (size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<Buffer>(Mix(seed, i));
    }
    const bool nullBuffer = in.ConsumeIntegralInRange<int>(0, 7) == 0;
    Buffer* data = nullBuffer || buffer.empty() ? nullptr : buffer.data();

    const HostFaults faults = PickFaults(in);
    const bool noRecord = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    host.SetFaults(faults);
    const std::vector<Buffer> bufferBefore = buffer;
    const HostImage imageBefore = host.Image();
    const size_t requestsBefore = host.DataRequests().size();
    *gResult = kUnsetResult;

    if (noRecord) {
        gFilterRecord = nullptr;
    }
    Buffer* readBuffer = direction == TransferRead ? data : nullptr;
    const Buffer* writeBuffer = direction == TransferWrite ? data : nullptr;
    int16_t result;
    if constexpr (sizeof(Buffer) == 1) {
        result = TransferHostRegion8(&hostRect, &bufferRect, &bufferRegion, s.firstPlane,
                                     s.lastPlane, direction, s.layout, readBuffer, writeBuffer);
    } else {
        result = TransferHostRegion16(&hostRect, &bufferRect, &bufferRegion, s.firstPlane,
                                      s.lastPlane, direction, s.layout, readBuffer, writeBuffer);
    }
    gFilterRecord = host.Record();
    host.CommitOutput();

    // The host's answer is the one the transfer must give: without a record or
    // without advanceState no request is made and the request counts as refused.
    const size_t requests = host.DataRequests().size() - requestsBefore;
    OSErr expectedResult = filterBadParameters;
    if (noRecord || faults.noAdvanceState) {
        VEXO_FUZZ_CHECK(requests == 0, "%zu requests without advanceState", requests);
    } else {
        VEXO_FUZZ_CHECK(requests == 1, "%zu requests for one transfer", requests);
        const DataRequest& r = host.DataRequests().back();
        const HostRect asked = HostRect::From(hostRect);
        const bool read = direction == TransferRead;
        VEXO_FUZZ_CHECK(r.inRect == (read ? asked : HostRect{}) &&
                            r.outRect == (read ? HostRect{} : asked) && r.maskRect == HostRect{},
                        "the request names other rects");
        VEXO_FUZZ_CHECK((read ? r.inLoPlane : r.outLoPlane) == s.firstPlane &&
                            (read ? r.inHiPlane : r.outHiPlane) == s.lastPlane,
                        "the request names other planes");
        expectedResult = r.result;
    }
    VEXO_FUZZ_CHECK(result == expectedResult,
                    "returned %d where the host answered %d, rect (%d, %d, %d, %d), buffer %s",
                    result, expectedResult, hostRect.top, hostRect.left, hostRect.bottom,
                    hostRect.right, data != nullptr ? "given" : "null");
    VEXO_FUZZ_CHECK(*gResult == result, "result word %d after returning %d", *gResult, result);

    std::vector<Buffer> expectedBuffer = bufferBefore;
    HostImage expectedImage = imageBefore;
    if (result == noErr && data != nullptr) {
        const HostImage& image = imageBefore;
        for (int k = 0; k < planes; ++k) {
            for (int32_t y = 0; y < Height(hostRect); ++y) {
                for (int32_t x = 0; x < Width(hostRect); ++x) {
                    const size_t b = BufferIndex(s.layout, bufferW, bufferH, k,
                                                 bufferRegion.top + y, bufferRegion.left + x);
                    const int plane = s.firstPlane + k;
                    const int32_t hx = hostRect.left + x;
                    const int32_t hy = hostRect.top + y;
                    if (direction == TransferRead) {
                        expectedBuffer[b] = static_cast<Buffer>(
                            Convert(image.Sample(plane, hx, hy), ReadScale(hostBits, bufferBits),
                                    bufferBits == 8 ? 0xFFu : 0xFFFFu));
                    } else {
                        expectedImage.SetSample(plane, hx, hy,
                                                static_cast<uint16_t>(Convert(
                                                    buffer[b], WriteScale(hostBits, bufferBits),
                                                    hostBits == 8 ? 0xFFu : 0xFFFFu)));
                    }
                }
            }
        }
    }
    CheckBuffer(buffer, expectedBuffer, direction == TransferRead ? "read" : "write");
    CheckImage(host.Image(), expectedImage, direction == TransferRead ? "read" : "write");
    for (const std::string& misuse : host.Misuses()) {
        VEXO_FUZZ_CHECK(false, "host misuse: %s", misuse.c_str());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int32_t width = in.ConsumeIntegralInRange<int32_t>(1, 64);
    const int32_t height = in.ConsumeIntegralInRange<int32_t>(1, 64);
    const int planes = in.ConsumeIntegralInRange<int>(1, 5);
    const int bits = in.ConsumeBool() ? 16 : 8;
    HostImage image(width, height, planes, bits);
    const uint32_t seed = in.ConsumeIntegral<uint32_t>();
    const uint32_t top = bits == 8 ? 256 : 32769;  // the host's range ends at 32768
    image.Fill([&](int p, int32_t x, int32_t y) {
        return Mix(seed, (static_cast<size_t>(p) * 64 + y) * 64 + x) % top;
    });

    FilterHost host(std::move(image));
    // The record's depth 0 also means 8 bits.
    if (bits == 8 && in.ConsumeIntegralInRange<int>(0, 3) == 0) {
        host.SetDepth(0);
    }
    host.SetRowPadding(in.ConsumeIntegralInRange<int32_t>(0, 33));
    gFilterRecord = host.Record();
    gDataHandle = host.DataSlot();
    gResult = host.ResultWord();

    for (int i = 0; i < 8 && in.remaining_bytes() > 0; ++i) {
        if (in.ConsumeBool()) {
            FuzzTransfer<uint8_t>(in, host);
        } else {
            FuzzTransfer<uint16_t>(in, host);
        }
    }
    host.ReleaseTiles();
    for (const std::string& misuse : host.Misuses()) {
        VEXO_FUZZ_CHECK(false, "host misuse: %s", misuse.c_str());
    }
    gFilterRecord = nullptr;
    gDataHandle = nullptr;
    gResult = nullptr;
    return 0;
}
