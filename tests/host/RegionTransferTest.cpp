#include "host/RegionTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/CAImageBuffer.h"
#include "tests/host/HostCall.h"
#include "tests/host/HostSide.h"
#include "tests/host/TransferScaling.h"
#include "tools/host/FilterHost.h"

namespace {

using vexo::filterhost::DataRequest;
using vexo::filterhost::FilterHost;
using vexo::filterhost::HostFaults;
using vexo::filterhost::HostImage;
using vexo::filterhost::HostRect;
using vexo::testing::Convert;
using vexo::testing::ReadScale;
using vexo::testing::WriteScale;

// The region of every test: columns 2-5 of rows 1-3 of a 7 x 5 image.
CARect Region() {
    return CARect(2, 6, 1, 4);
}
const HostRect kRegion{1, 2, 4, 6};
constexpr int kWidth = 4;
constexpr int kHeight = 3;
constexpr int kImageWidth = 7;
constexpr int kImageHeight = 5;
constexpr int kImagePlanes = 4;

struct Selector {
    int32_t value;
    int16_t firstPlane;
    int16_t lastPlane;
    CAImageLayout bufferLayout;
};

const Selector kSelectors[] = {{5, 0, 0, CAImageSinglePlane},
                               {7, 2, 2, CAImageSinglePlane},
                               {8, 3, 3, CAImageSinglePlane},
                               {15, 0, 2, CAImageInterleaved},
                               {16, 0, 2, CAImagePlanar}};

// Sample k (0 for the first plane) at row y, column x of the caller's buffer.
std::size_t BufferIndex(CAImageLayout layout, int k, int y, int x) {
    switch (layout) {
        case CAImageInterleaved:
            return static_cast<std::size_t>(y * 3 * kWidth + x * 3 + k);
        case CAImagePlanar:
            return static_cast<std::size_t>(k * kHeight * kWidth + y * kWidth + x);
        default:
            return static_cast<std::size_t>(y * kWidth + x);
    }
}

std::size_t BufferSamples(const Selector& s) {
    return static_cast<std::size_t>(s.lastPlane - s.firstPlane + 1) * kWidth * kHeight;
}

// Samples of either width, viewed as numbers: a caller's buffer or the pixels of
// an in-memory image.
struct Samples {
    int bits;
    std::vector<uint8_t> narrow;
    std::vector<uint16_t> wide;

    Samples(int bits, std::size_t samples, uint16_t fill) : bits(bits) {
        if (bits == 8) {
            narrow.assign(samples, static_cast<uint8_t>(fill));
        } else {
            wide.assign(samples, fill);
        }
    }
    void* Data() { return bits == 8 ? static_cast<void*>(narrow.data()) : wide.data(); }
    std::size_t Size() const { return bits == 8 ? narrow.size() : wide.size(); }
    uint32_t At(std::size_t i) const { return bits == 8 ? narrow[i] : wide[i]; }
    void Set(std::size_t i, uint32_t v) {
        if (bits == 8) {
            narrow[i] = static_cast<uint8_t>(v);
        } else {
            wide[i] = static_cast<uint16_t>(v);
        }
    }
    std::vector<uint32_t> Values() const {
        std::vector<uint32_t> values;
        for (std::size_t i = 0; i < Size(); ++i) {
            values.push_back(At(i));
        }
        return values;
    }
};

HostImage SpreadImage(int bits) {
    HostImage image(kImageWidth, kImageHeight, kImagePlanes, bits);
    const uint32_t top = bits == 8 ? 256 : 32769;
    image.Fill([&](int p, int32_t x, int32_t y) { return (p * 7001 + y * 3001 + x * 1009) % top; });
    image.SetSample(1, 3, 2, static_cast<uint16_t>(top - 1));  // the top of the host's range
    return image;
}

// A filter host over the image, the call's globals pointing at it, and an adapter
// side whose caller asks for samples of the buffer's depth.
struct HostRig {
    FilterHost host;
    HostCall call{host};
    HostSide side;

    HostRig(HostImage image, int bufferBits) : host(std::move(image)) {
        side.imageInfo.depth = bufferBits;
    }
};

struct HostCase {
    int hostBits;
    int bufferBits;
    Selector selector;

    std::string Name() const {
        return "host " + std::to_string(hostBits) + "-bit, buffer " + std::to_string(bufferBits) +
               "-bit, selector " + std::to_string(selector.value);
    }
};

std::vector<HostCase> HostCases() {
    std::vector<HostCase> cases;
    for (int hostBits : {8, 16}) {
        for (int bufferBits : {8, 16}) {
            for (const Selector& s : kSelectors) {
                cases.push_back({hostBits, bufferBits, s});
            }
        }
    }
    return cases;
}

TEST(RegionTransferHost, GetDataFillsTheBufferFromOneRequest) {
    for (const HostCase& c : HostCases()) {
        SCOPED_TRACE(c.Name());
        HostRig rig(SpreadImage(c.hostBits), c.bufferBits);
        Samples buffer(c.bufferBits, BufferSamples(c.selector), 0xEE);
        CARect region = Region();

        ASSERT_EQ(rig.side.GetData(nullptr, region, buffer.Data(),
                                   static_cast<CAChannelsType>(c.selector.value)),
                  CAResultOk);

        ASSERT_EQ(rig.host.DataRequests().size(), 1u);
        const DataRequest& r = rig.host.DataRequests()[0];
        EXPECT_EQ(r.inRect, kRegion);
        EXPECT_EQ(r.outRect, HostRect{});
        EXPECT_EQ(r.inLoPlane, c.selector.firstPlane);
        EXPECT_EQ(r.inHiPlane, c.selector.lastPlane);
        EXPECT_EQ(r.inputRate, 0x10000);

        Samples expected(c.bufferBits, BufferSamples(c.selector), 0);
        const float scale = ReadScale(c.hostBits, c.bufferBits);
        const uint32_t maximum = c.bufferBits == 8 ? 0xFFu : 0xFFFFu;
        for (int k = 0; k <= c.selector.lastPlane - c.selector.firstPlane; ++k) {
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    const uint32_t v =
                        rig.host.Image().Sample(c.selector.firstPlane + k, 2 + x, 1 + y);
                    expected.Set(BufferIndex(c.selector.bufferLayout, k, y, x),
                                 Convert(v, scale, maximum));
                }
            }
        }
        EXPECT_EQ(buffer.Values(), expected.Values());
    }
}

TEST(RegionTransferHost, PutDataWritesTheBufferIntoTheRegion) {
    for (const HostCase& c : HostCases()) {
        SCOPED_TRACE(c.Name());
        HostRig rig(SpreadImage(c.hostBits), c.bufferBits);
        // Buffer values the host can take back: from an 8-bit host a 16-bit buffer
        // holds 0-255.
        const uint32_t top = c.bufferBits == 8 || c.hostBits == 8 ? 256 : 65536;
        Samples buffer(c.bufferBits, BufferSamples(c.selector), 0);
        for (std::size_t i = 0; i < BufferSamples(c.selector); ++i) {
            buffer.Set(i, (i * 7919 + 3) % top);
        }
        buffer.Set(0, top - 1);
        HostImage expected = rig.host.Image();
        CARect region = Region();

        ASSERT_EQ(rig.side.PutData(nullptr, region, buffer.Data(),
                                   static_cast<CAChannelsType>(c.selector.value)),
                  CAResultOk);
        rig.host.CommitOutput();

        ASSERT_EQ(rig.host.DataRequests().size(), 1u);
        const DataRequest& r = rig.host.DataRequests()[0];
        EXPECT_EQ(r.inRect, HostRect{});
        EXPECT_EQ(r.outRect, kRegion);
        EXPECT_EQ(r.outLoPlane, c.selector.firstPlane);
        EXPECT_EQ(r.outHiPlane, c.selector.lastPlane);

        const float scale = WriteScale(c.hostBits, c.bufferBits);
        const uint32_t maximum = c.hostBits == 8 ? 0xFFu : 0xFFFFu;
        for (int k = 0; k <= c.selector.lastPlane - c.selector.firstPlane; ++k) {
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    const uint32_t b = buffer.At(BufferIndex(c.selector.bufferLayout, k, y, x));
                    expected.SetSample(c.selector.firstPlane + k, 2 + x, 1 + y,
                                       static_cast<uint16_t>(Convert(b, scale, maximum)));
                }
            }
        }
        EXPECT_TRUE(rig.host.Image() == expected);
        EXPECT_TRUE(rig.host.Misuses().empty());
    }
}

// The ends of each range: 32768 reads as the buffer's maximum, and the maximum
// writes back as 32768.
TEST(RegionTransferHost, SixteenBitHostRangeEndsMeetTheBufferRangeEnds) {
    for (int bufferBits : {8, 16}) {
        SCOPED_TRACE(std::to_string(bufferBits) + "-bit buffer");
        HostImage image(1, 1, 1, 16);
        image.SetSample(0, 0, 0, 32768);
        HostRig rig(image, bufferBits);
        Samples buffer(bufferBits, 1, 0);
        CARect pixel(1, 1);
        ASSERT_EQ(rig.side.GetData(nullptr, pixel, buffer.Data(), static_cast<CAChannelsType>(0)),
                  0);
        EXPECT_EQ(buffer.At(0), bufferBits == 8 ? 255u : 65535u);

        rig.host.Image().SetSample(0, 0, 0, 0);
        ASSERT_EQ(rig.side.PutData(nullptr, pixel, buffer.Data(), static_cast<CAChannelsType>(0)),
                  0);
        rig.host.CommitOutput();
        EXPECT_EQ(rig.host.Image().Sample(0, 0, 0), 32768);
    }
}

class RegionTransferFailures : public ::testing::Test {
protected:
    FilterHost host{SpreadImage(8)};
    HostCall call{host};
    HostSide side;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(3 * kWidth * kHeight, 0xEE);
};

TEST_F(RegionTransferFailures, RefusedSelectorsMakeNoRequest) {
    for (int32_t selector : {3, 4, 17, -1}) {
        SCOPED_TRACE("selector " + std::to_string(selector));
        *gResult = 5;
        CARect region = Region();
        const auto channels = static_cast<CAChannelsType>(selector);
        EXPECT_EQ(side.GetData(nullptr, region, buffer.data(), channels), CAResultDataUnavailable);
        EXPECT_EQ(side.PutData(nullptr, region, buffer.data(), channels), CAResultDataUnavailable);
        EXPECT_TRUE(host.DataRequests().empty());
        EXPECT_EQ(*gResult, 5);
        EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0xEE));
    }
}

TEST_F(RegionTransferFailures, FailedRequestCopiesNothing) {
    struct Case {
        const char* name;
        HostFaults faults;
        int16_t resultWord;
    };
    HostFaults refuses;
    refuses.failAdvanceStateForPlane = 0;
    refuses.failureCode = -1;
    HostFaults noAdvanceState;
    noAdvanceState.noAdvanceState = true;
    HostFaults noTiles;
    noTiles.withholdTiles = true;
    const Case cases[] = {{"advanceState fails", refuses, -1},
                          {"record without advanceState", noAdvanceState, filterBadParameters},
                          {"advanceState succeeds without a tile", noTiles, filterBadParameters}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.SetFaults(c.faults);
        const HostImage before = host.Image();
        CARect region = Region();
        *gResult = noErr;
        EXPECT_EQ(side.GetData(nullptr, region, buffer.data(), CAChannelsInterleaved),
                  CAResultDataUnavailable);
        EXPECT_EQ(*gResult, c.resultWord);
        EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0xEE));

        std::vector<uint8_t> zeros(buffer.size(), 0);
        *gResult = noErr;
        EXPECT_EQ(side.PutData(nullptr, region, zeros.data(), CAChannelsInterleaved),
                  CAResultDataUnavailable);
        EXPECT_EQ(*gResult, c.resultWord);
        host.CommitOutput();
        EXPECT_TRUE(host.Image() == before);
    }
}

TEST_F(RegionTransferFailures, NullBufferStillRequestsAndSucceeds) {
    CARect region = Region();
    EXPECT_EQ(side.GetData(nullptr, region, nullptr, CAChannelsInterleaved), CAResultOk);
    EXPECT_EQ(side.PutData(nullptr, region, nullptr, CAChannelsInterleaved), CAResultOk);
    EXPECT_EQ(host.DataRequests().size(), 2u);
}

// In-memory images: a 7 x 5 image of three planes (the interleaved one has only
// three), of either depth, in each of the three layouts.
struct MemoryImage {
    CAImageLayout layout;
    Samples samples;
    CAImageBuffer record;

    MemoryImage(CAImageLayout layout, int bits)
        : layout(layout), samples(bits, SampleCount(layout), 0) {
        const uint32_t top = bits == 8 ? 256 : 65536;
        for (std::size_t i = 0; i < samples.Size(); ++i) {
            samples.Set(i, (i * 40503u + 7u) % top);
        }
        record.data = samples.Data();
        record.depth = static_cast<uint8_t>(bits);
        record.layout = layout;
        record.rect = Rect{0, 0, kImageHeight, kImageWidth};
    }

    std::size_t Index(int plane, int x, int y) const {
        switch (layout) {
            case CAImageInterleaved:
                return static_cast<std::size_t>((y * kImageWidth + x) * 3 + plane);
            case CAImagePlanar:
                return static_cast<std::size_t>((plane * kImageHeight + y) * kImageWidth + x);
            default:
                return static_cast<std::size_t>(y * kImageWidth + x);
        }
    }

    static std::size_t SampleCount(CAImageLayout layout) {
        const std::size_t planes = layout == CAImageSinglePlane ? 1 : kImagePlanes - 1;
        return planes * kImageWidth * kImageHeight;
    }
};

float MemoryScale(int fromBits, int toBits) {
    if (fromBits == toBits) {
        return 1.0f;
    }
    return fromBits == 16 ? 255.0f / 65535.0f : 257.0f;
}

TEST(RegionTransferMemory, CopiesWithTheImageArgumentAndNeverCallsTheHost) {
    const CAImageLayout layouts[] = {CAImageInterleaved, CAImagePlanar, CAImageSinglePlane};
    const Selector selectors[] = {kSelectors[0], kSelectors[1], kSelectors[3], kSelectors[4]};
    for (CAImageLayout layout : layouts) {
        for (int imageBits : {8, 16}) {
            for (int bufferBits : {8, 16}) {
                for (const Selector& s : selectors) {
                    for (TransferDirection direction : {TransferRead, TransferWrite}) {
                        SCOPED_TRACE("layout " + std::to_string(layout) + ", image " +
                                     std::to_string(imageBits) + "-bit, buffer " +
                                     std::to_string(bufferBits) + "-bit, selector " +
                                     std::to_string(s.value) +
                                     (direction == TransferRead ? ", read" : ", write"));
                        HostRig rig(SpreadImage(8), bufferBits);
                        // The attached image only chooses the path; the copy is made
                        // with the image that the caller names.
                        CAImageBuffer decoy{nullptr, 8, CAImageSinglePlane, Rect{}};
                        (direction == TransferRead ? rig.side.imageInfo.sourceImage
                                                   : rig.side.imageInfo.destinationImage) = &decoy;
                        MemoryImage image(layout, imageBits);
                        MemoryImage expectedImage = image;
                        Samples buffer(bufferBits, BufferSamples(s), 0);
                        for (std::size_t i = 0; i < BufferSamples(s); ++i) {
                            buffer.Set(i, (i * 977 + 5) % (bufferBits == 8 ? 256 : 65536));
                        }
                        Samples expectedBuffer = buffer;
                        CARect region = Region();
                        const auto channels = static_cast<CAChannelsType>(s.value);

                        const CAResult result =
                            direction == TransferRead
                                ? rig.side.GetData(&image.record, region, buffer.Data(), channels)
                                : rig.side.PutData(&image.record, region, buffer.Data(), channels);

                        EXPECT_TRUE(rig.host.DataRequests().empty());
                        if (layout == CAImageSinglePlane && s.bufferLayout != CAImageSinglePlane) {
                            EXPECT_EQ(result, CAResultDataUnavailable);
                            EXPECT_EQ(buffer.Values(), expectedBuffer.Values());
                            EXPECT_EQ(image.samples.Values(), expectedImage.samples.Values());
                            continue;
                        }
                        ASSERT_EQ(result, CAResultOk);
                        const int planes = s.lastPlane - s.firstPlane + 1;
                        for (int k = 0; k < planes; ++k) {
                            for (int y = 0; y < kHeight; ++y) {
                                for (int x = 0; x < kWidth; ++x) {
                                    const std::size_t b = BufferIndex(s.bufferLayout, k, y, x);
                                    // Planes 0-2 of the selected range, numbered from 0
                                    // in a planar image as in an interleaved one.
                                    const int plane =
                                        s.bufferLayout == CAImageSinglePlane ? s.firstPlane : k;
                                    const std::size_t m = image.Index(plane, 2 + x, 1 + y);
                                    if (direction == TransferRead) {
                                        expectedBuffer.Set(
                                            b, Convert(image.samples.At(m),
                                                       MemoryScale(imageBits, bufferBits),
                                                       bufferBits == 8 ? 0xFFu : 0xFFFFu));
                                    } else {
                                        expectedImage.samples.Set(
                                            m, Convert(buffer.At(b),
                                                       MemoryScale(bufferBits, imageBits),
                                                       imageBits == 8 ? 0xFFu : 0xFFFFu));
                                    }
                                }
                            }
                        }
                        EXPECT_EQ(buffer.Values(), expectedBuffer.Values());
                        EXPECT_EQ(image.samples.Values(), expectedImage.samples.Values());
                    }
                }
            }
        }
    }
}

// Requests an in-memory image cannot serve: refused rather than copied from
// outside the image or with a layout code that means something else.
TEST(RegionTransferMemory, RequestsTheImageCannotServeAreRefused) {
    struct Case {
        const char* name;
        CAImageLayout layout;
        int32_t selector;
        bool withImage;
        CAResult expected;
    };
    const Case cases[] = {
        {"no image given", CAImagePlanar, 5, false, CAResultDataUnavailable},
        {"unknown layout", static_cast<CAImageLayout>(3), 5, true, CAResultDataUnavailable},
        {"unknown layout, three planes", static_cast<CAImageLayout>(3), 15, true,
         CAResultDataUnavailable},
        {"plane 3 of an interleaved image", CAImageInterleaved, 8, true, CAResultDataUnavailable},
        {"plane 3 of a planar image", CAImagePlanar, 8, true, CAResultOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostSide side;
        std::vector<uint8_t> pixels(kImagePlanes * kImageWidth * kImageHeight, 9);
        CAImageBuffer image{pixels.data(), 8, c.layout, Rect{0, 0, kImageHeight, kImageWidth}};
        side.imageInfo.sourceImage = &image;
        std::vector<uint8_t> buffer(3 * kWidth * kHeight, 0);
        CARect region = Region();
        EXPECT_EQ(side.GetData(c.withImage ? &image : nullptr, region, buffer.data(),
                               static_cast<CAChannelsType>(c.selector)),
                  c.expected);
        const bool copied = buffer[0] == 9;
        EXPECT_EQ(copied, c.expected == CAResultOk);
    }
}

}  // namespace
