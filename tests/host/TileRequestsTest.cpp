#include "host/TileRequests.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/host/HostCall.h"
#include "tests/host/HostSide.h"
#include "tools/host/FilterHost.h"

namespace {

using vexo::filterhost::DataRequest;
using vexo::filterhost::FilterHost;
using vexo::filterhost::HostFaults;
using vexo::filterhost::HostImage;
using vexo::filterhost::HostRect;

// GetDataRef keeps no state and reads nothing of its object; the host-side part is
// all a test needs of it (HostSide).

// Where a request's pointers and strides land; the sentinels show what was written.
struct Handed {
    void* inData = &sentinel;
    int32_t inRowBytes = -7;
    void* outData = &sentinel;
    int32_t outRowBytes = -7;
    static inline int sentinel = 0;
};

// Every sample different, up to 10 planes of 8 bits.
HostImage NumberedImage(int planes, int bits) {
    HostImage image(6, 4, planes, bits);
    image.Fill([](int plane, int32_t x, int32_t y) { return plane * 24 + y * 6 + x; });
    return image;
}

// The requested rect: columns 1-4 of rows 1-2.
CARect Region() {
    return CARect(1, 5, 1, 3);
}
const HostRect kRegion{1, 1, 3, 5};

class TileRequests : public ::testing::Test {
protected:
    FilterHost host{NumberedImage(10, 8)};
    HostCall call{host};
    HostSide side;

    CAResult Request(CAChannelsType channels, Handed& h, bool wantIn = true, bool wantOut = true) {
        CARect inRect = Region();
        CARect outRect = Region();
        return side.GetDataRef(inRect, wantIn ? &h.inData : nullptr, &h.inRowBytes, outRect,
                               wantOut ? &h.outData : nullptr, &h.outRowBytes, channels);
    }
};

TEST_F(TileRequests, EachSelectorRequestsItsPlanesOnBothSides) {
    struct Case {
        int32_t selector;
        int16_t firstPlane;
        int16_t lastPlane;
    };
    const Case cases[] = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2},  {5, 0, 0},  {6, 1, 1},
                          {7, 2, 2}, {8, 3, 3}, {14, 9, 9}, {15, 0, 2}, {16, 0, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE("selector " + std::to_string(c.selector));
        host.ClearLogs();
        *gResult = 5;
        Handed h;
        ASSERT_EQ(Request(static_cast<CAChannelsType>(c.selector), h), CAResultOk);
        ASSERT_EQ(host.DataRequests().size(), 1u);
        const DataRequest& r = host.DataRequests().back();
        EXPECT_EQ(r.inLoPlane, c.firstPlane);
        EXPECT_EQ(r.inHiPlane, c.lastPlane);
        EXPECT_EQ(r.outLoPlane, c.firstPlane);
        EXPECT_EQ(r.outHiPlane, c.lastPlane);
        EXPECT_EQ(r.inRect, kRegion);
        EXPECT_EQ(r.outRect, kRegion);
        EXPECT_EQ(r.maskRect, HostRect{});
        EXPECT_EQ(r.inputRate, 0x10000);
        EXPECT_EQ(r.inputPadding, 0);
        EXPECT_EQ(r.outputPadding, 0);
        EXPECT_EQ(*gResult, 0);  // the host's answer, stored over what was there

        const FilterRecord& record = *host.Record();
        // Copied out first: the packed record's pointers are not aligned for a reference.
        void* const inData = record.inData;
        void* const outData = record.outData;
        const int32_t inRowBytes = record.inRowBytes;
        const int32_t outRowBytes = record.outRowBytes;
        EXPECT_EQ(h.inData, inData);
        EXPECT_EQ(h.outData, outData);
        EXPECT_EQ(h.inRowBytes, inRowBytes);  // 8-bit: bytes are samples
        EXPECT_EQ(h.outRowBytes, outRowBytes);
        // The stride reaches the next row: sample (x, y) of the first requested plane.
        const int planes = c.lastPlane - c.firstPlane + 1;
        const auto* in = static_cast<const uint8_t*>(h.inData);
        EXPECT_EQ(in[1 * h.inRowBytes + 2 * planes], host.Image().Sample(c.firstPlane, 3, 2));
    }
}

TEST_F(TileRequests, OneSideAloneLeavesTheOtherRectEmpty) {
    struct Case {
        const char* name;
        bool wantIn;
        bool wantOut;
    };
    const Case cases[] = {{"input only", true, false}, {"output only", false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.ClearLogs();
        Handed h;
        ASSERT_EQ(Request(static_cast<CAChannelsType>(6), h, c.wantIn, c.wantOut), CAResultOk);
        const DataRequest& r = host.DataRequests().back();
        EXPECT_EQ(r.inRect, c.wantIn ? kRegion : HostRect{});
        EXPECT_EQ(r.outRect, c.wantOut ? kRegion : HostRect{});
        // Both plane ranges are set whichever side is asked for.
        EXPECT_EQ(r.inLoPlane, 1);
        EXPECT_EQ(r.outLoPlane, 1);
        EXPECT_EQ(r.inHiPlane, 1);
        EXPECT_EQ(r.outHiPlane, 1);
        EXPECT_EQ(h.inData != &Handed::sentinel, c.wantIn);
        EXPECT_EQ(h.inRowBytes != -7, c.wantIn);
        EXPECT_EQ(h.outData != &Handed::sentinel, c.wantOut);
        EXPECT_EQ(h.outRowBytes != -7, c.wantOut);
    }
}

TEST_F(TileRequests, EdgesTakeTheirLow16Bits) {
    Handed h;
    CARect far(65536 + 1, 65536 + 5, 65536 + 1, 65536 + 3);
    ASSERT_EQ(side.GetDataRef(far, &h.inData, &h.inRowBytes, far, &h.outData, &h.outRowBytes,
                              static_cast<CAChannelsType>(5)),
              CAResultOk);
    EXPECT_EQ(host.DataRequests().back().inRect, kRegion);
}

TEST_F(TileRequests, RefusedSelectorsMakeNoRequest) {
    for (int32_t selector : {3, 4, 17, -1}) {
        SCOPED_TRACE("selector " + std::to_string(selector));
        *gResult = 5;
        Handed h;
        EXPECT_EQ(Request(static_cast<CAChannelsType>(selector), h), CAResultDataUnavailable);
        EXPECT_TRUE(host.DataRequests().empty());
        EXPECT_EQ(*gResult, 5);
        EXPECT_EQ(h.inData, &Handed::sentinel);
        EXPECT_EQ(h.outRowBytes, -7);
    }
}

TEST_F(TileRequests, NeitherPointerGivenMakesNoRequest) {
    Handed h;
    EXPECT_EQ(Request(static_cast<CAChannelsType>(5), h, false, false), CAResultDataUnavailable);
    EXPECT_TRUE(host.DataRequests().empty());
}

TEST_F(TileRequests, FailedRequestsLeaveTheCallersPointers) {
    struct Case {
        const char* name;
        HostFaults faults;
        int16_t resultWord;
    };
    HostFaults refuses;
    refuses.failAdvanceStateAt = 1;
    HostFaults noAdvanceState;
    noAdvanceState.noAdvanceState = true;
    const Case cases[] = {{"advanceState answers -108", refuses, memFullErr},
                          {"record without advanceState", noAdvanceState, filterBadParameters}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.SetFaults(c.faults);
        Handed h;
        EXPECT_EQ(Request(static_cast<CAChannelsType>(5), h), CAResultDataUnavailable);
        EXPECT_EQ(*gResult, c.resultWord);
        EXPECT_EQ(h.inData, &Handed::sentinel);
        EXPECT_EQ(h.inRowBytes, -7);
        EXPECT_EQ(h.outData, &Handed::sentinel);
        EXPECT_EQ(h.outRowBytes, -7);
        // The request stays in the record.
        EXPECT_EQ(HostRect::From(host.Record()->inRect), kRegion);
        const Fixed inputRate = host.Record()->inputRate;
        EXPECT_EQ(inputRate, 0x10000);
    }
}

TEST_F(TileRequests, PaddingIsLeftAloneWhereTheHostHasNone) {
    HostFaults faults;
    faults.noPaddingSupport = true;
    host.SetFaults(faults);
    host.Record()->inputPadding = -3;
    host.Record()->outputPadding = -3;
    Handed h;
    ASSERT_EQ(Request(static_cast<CAChannelsType>(5), h), CAResultOk);
    EXPECT_EQ(host.DataRequests().back().inputPadding, -3);
    EXPECT_EQ(host.DataRequests().back().outputPadding, -3);
}

// An operation code outside the three still calls the host, with the plane ranges
// alone, and hands nothing back.
TEST_F(TileRequests, UnknownModeRequestsPlanesOnly) {
    Handed h;
    const Rect rect = kRegion.ToRect();
    EXPECT_EQ(AdvanceHostData(rect, rect, 4, 4, static_cast<HostDataMode>(3), &h.inData,
                              &h.inRowBytes, &h.outData, &h.outRowBytes),
              0);
    const DataRequest& r = host.DataRequests().back();
    EXPECT_EQ(r.inRect, HostRect{});
    EXPECT_EQ(r.outRect, HostRect{});
    EXPECT_EQ(r.inLoPlane, 4);
    EXPECT_EQ(h.inData, &Handed::sentinel);
    EXPECT_EQ(h.outData, &Handed::sentinel);
}

TEST(TileRequestStrides, CountSamplesOfTheHostsWidth) {
    struct Case {
        const char* name;
        int bits;
        int32_t recordDepth;
        int32_t rowPadding;
    };
    const Case cases[] = {
        {"16-bit rows of exactly the width", 16, 16, 0},
        {"16-bit rows with padding", 16, 16, 10},
        {"depth 0 counts as 8", 8, 0, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FilterHost host(NumberedImage(1, c.bits));
        HostCall call(host);
        host.SetDepth(c.recordDepth);
        host.SetRowPadding(c.rowPadding);
        HostSide side;
        Handed h;
        CARect rect = Region();
        ASSERT_EQ(side.GetDataRef(rect, &h.inData, &h.inRowBytes, rect, &h.outData, &h.outRowBytes,
                                  static_cast<CAChannelsType>(5)),
                  CAResultOk);
        const int bytesPerSample = c.bits / 8;
        const int32_t inRowBytes = host.Record()->inRowBytes;
        const int32_t outRowBytes = host.Record()->outRowBytes;
        EXPECT_EQ(h.inRowBytes, inRowBytes / bytesPerSample);
        EXPECT_EQ(h.outRowBytes, outRowBytes / bytesPerSample);
        if (c.rowPadding == 0) {
            EXPECT_EQ(h.inRowBytes, rect.width());
        }
        // Samples come as the host stores them, unscaled.
        const uint16_t expected = host.Image().Sample(0, 3, 2);
        if (c.bits == 16) {
            EXPECT_EQ(static_cast<const uint16_t*>(h.inData)[1 * h.inRowBytes + 2], expected);
        } else {
            EXPECT_EQ(static_cast<const uint8_t*>(h.inData)[1 * h.inRowBytes + 2], expected);
        }
    }
}

}  // namespace
