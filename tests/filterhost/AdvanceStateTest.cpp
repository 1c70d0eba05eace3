#include <gtest/gtest.h>

#include <cstring>

#include "tests/filterhost/FilterHostTestSupport.h"

namespace vexo::filterhost {
namespace {

using testing::DistinctImage;
using testing::Get;
using testing::Request;
using testing::SetTileSample;
using testing::Side;
using testing::TileSample;

struct ServeCase {
    int planes, bits;
    Side side;
    int32_t rowPadding;
    int32_t expectedPadding;  // 16-bit rows keep their samples aligned
};

TEST(FilterHostAdvanceState, ServesTheRectAndPlanesInterleavedInPaddedRows) {
    const ServeCase cases[] = {
        {3, 8, {{2, 3, 7, 9}, 0, 2}, 10, 10},       {3, 8, {{0, 0, 12, 20}, 1, 1}, 0, 0},
        {3, 8, {{5, 1, 6, 2}, 2, 2}, 7, 7},         {4, 16, {{1, 4, 11, 19}, 1, 3}, 10, 10},
        {4, 16, {{0, 0, 12, 20}, 0, 3}, 7, 8},      {16, 8, {{3, 3, 9, 9}, 5, 15}, 3, 3},
        {16, 16, {{11, 19, 12, 20}, 15, 15}, 1, 2},
    };
    for (const ServeCase& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.planes << " planes @" << c.bits << ", planes " << c.side.loPlane << ".."
                     << c.side.hiPlane << ", padding " << c.rowPadding);
        FilterHost host(DistinctImage(20, 12, c.planes, c.bits));
        host.SetRowPadding(c.rowPadding);
        ASSERT_EQ(Request(host, c.side, c.side), noErr);

        const FilterRecord& r = *host.Record();
        const int planes = c.side.hiPlane - c.side.loPlane + 1;
        const int bytes = c.bits / 8;
        const int32_t width = c.side.rect.Width();
        EXPECT_EQ(r.inRowBytes, width * planes * bytes + c.expectedPadding);
        EXPECT_EQ(r.outRowBytes, r.inRowBytes);
        EXPECT_EQ(r.inColumnBytes, planes * bytes);
        EXPECT_EQ(r.inPlaneBytes, bytes);
        ASSERT_NE(Get(r.inData), nullptr);
        ASSERT_NE(Get(r.outData), nullptr);
        EXPECT_NE(Get(r.inData), Get(r.outData));
        for (int32_t y = 0; y < c.side.rect.Height(); ++y) {
            for (int32_t x = 0; x < width; ++x) {
                for (int p = 0; p < planes; ++p) {
                    const uint16_t expected = host.Image().Sample(
                        c.side.loPlane + p, c.side.rect.left + x, c.side.rect.top + y);
                    ASSERT_EQ(TileSample(r.inData, r.inRowBytes, c.bits, planes, x, y, p), expected)
                        << "at " << x << "," << y << " plane " << p;
                    // Output starts as the image, as a plug-in that writes part of it expects.
                    ASSERT_EQ(TileSample(r.outData, r.outRowBytes, c.bits, planes, x, y, p),
                              expected);
                }
            }
        }
    }
}

TEST(FilterHostAdvanceState, ServesOnlyTheSidesAskedFor) {
    FilterHost host(DistinctImage(10, 10, 3, 8));
    const Side some{{0, 0, 4, 4}, 0, 2};
    ASSERT_EQ(Request(host, some, {}), noErr);
    EXPECT_NE(Get(host.Record()->inData), nullptr);
    EXPECT_EQ(Get(host.Record()->outData), nullptr);
    EXPECT_EQ(host.Record()->outRowBytes, 0);

    ASSERT_EQ(Request(host, {}, some), noErr);
    EXPECT_EQ(Get(host.Record()->inData), nullptr);
    EXPECT_EQ(host.Record()->inRowBytes, 0);
    EXPECT_NE(Get(host.Record()->outData), nullptr);

    ASSERT_EQ(Request(host, {}, {}), noErr);
    EXPECT_EQ(Get(host.Record()->inData), nullptr);
    EXPECT_EQ(Get(host.Record()->outData), nullptr);
    EXPECT_FALSE(host.RecordRequestsData());
}

// The record's depth is what the plug-in is told; the samples stay the image's.
TEST(FilterHostAdvanceState, TheDepthFieldDoesNotChangeTheSamplesServed) {
    for (const int32_t depth : {0, 1, 8, 16, 32}) {
        SCOPED_TRACE(depth);
        FilterHost host(DistinctImage(6, 6, 1, 8));
        host.SetRowPadding(0);
        host.SetDepth(depth);
        ASSERT_EQ(Request(host, {{0, 0, 6, 6}, 0, 0}, {}), noErr);
        EXPECT_EQ(host.Record()->inRowBytes, 6);
        EXPECT_EQ(TileSample(host.Record()->inData, 6, 8, 1, 5, 5, 0),
                  host.Image().Sample(0, 5, 5));
    }
}

TEST(FilterHostAdvanceState, OutputGoesIntoTheImageAtTheNextRequestWithinItsRectAndPlanes) {
    for (const int bits : {8, 16}) {
        SCOPED_TRACE(bits);
        FilterHost host(DistinctImage(10, 8, 3, bits));
        const HostImage before = host.Image();
        const Side out{{2, 3, 5, 7}, 1, 2};
        ASSERT_EQ(Request(host, {}, out), noErr);
        const FilterRecord& r = *host.Record();
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t x = 0; x < 4; ++x) {
                SetTileSample(r.outData, r.outRowBytes, bits, 2, x, y, 0, 200 + x);
                SetTileSample(r.outData, r.outRowBytes, bits, 2, x, y, 1, 100 + y);
            }
        }
        EXPECT_TRUE(host.Image() == before) << "written before the next request";
        EXPECT_TRUE(host.HasPendingOutput());

        ASSERT_EQ(Request(host, {{0, 0, 1, 1}, 0, 0}, {}), noErr);
        EXPECT_FALSE(host.HasPendingOutput());
        for (int p = 0; p < 3; ++p) {
            for (int32_t y = 0; y < 8; ++y) {
                for (int32_t x = 0; x < 10; ++x) {
                    const bool inside = x >= 3 && x < 7 && y >= 2 && y < 5;
                    uint16_t expected = before.Sample(p, x, y);
                    if (inside && p == 1) {
                        expected = static_cast<uint16_t>(200 + x - 3);
                    } else if (inside && p == 2) {
                        expected = static_cast<uint16_t>(100 + y - 2);
                    }
                    ASSERT_EQ(host.Image().Sample(p, x, y), expected)
                        << "at " << x << "," << y << " plane " << p;
                }
            }
        }
        EXPECT_TRUE(host.Misuses().empty());
    }
}

TEST(FilterHostAdvanceState, CommitOutputWritesBackOnDemandAndOnlyOnce) {
    FilterHost host(DistinctImage(4, 4, 1, 8));
    ASSERT_EQ(Request(host, {}, {{0, 0, 4, 4}, 0, 0}), noErr);
    auto* out = static_cast<unsigned char*>(host.Record()->outData);
    out[0] = 42;
    host.CommitOutput();
    EXPECT_EQ(host.Image().Sample(0, 0, 0), 42);
    EXPECT_EQ(Get(host.Record()->outData), nullptr);
    host.Image().SetSample(0, 0, 0, 7);
    host.CommitOutput();
    EXPECT_EQ(host.Image().Sample(0, 0, 0), 7);
}

TEST(FilterHostAdvanceState, RefusesRequestsNoHostCouldServe) {
    struct Case {
        const char* name;
        Side in, out;
        Fixed inputRate = 0x10000;
        int16_t inputPadding = plugInWantsErrorOnBoundsException;
        bool noPaddingSupport = false;
    };
    const Case cases[] = {
        {"input past the right edge", {{0, 0, 4, 11}, 0, 0}, {}},
        {"output past the bottom edge", {}, {{0, 0, 9, 4}, 0, 0}},
        {"negative top", {{-1, 0, 4, 4}, 0, 0}, {}},
        {"negative left", {}, {{0, -2, 4, 4}, 0, 0}},
        {"inverted input rect", {{4, 0, 2, 4}, 0, 0}, {}},
        {"inverted output rect", {}, {{0, 4, 4, 2}, 0, 0}},
        {"planes reversed", {{0, 0, 4, 4}, 2, 1}, {}},
        {"plane beyond the image", {}, {{0, 0, 4, 4}, 2, 3}},
        {"negative plane", {{0, 0, 4, 4}, -1, 0}, {}},
        {"sampled input", {{0, 0, 4, 4}, 0, 0}, {}, 0x8000},
        {"padding value out of range", {{0, 0, 9, 4}, 0, 0}, {}, 0x10000, 256},
        {"padding beyond the image without support", {{0, 0, 9, 4}, 0, 0}, {}, 0x10000, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FilterHost host(DistinctImage(10, 8, 3, 8));
        host.SetFaults({.noPaddingSupport = c.noPaddingSupport});
        host.Record()->inputRate = c.inputRate;
        host.Record()->inputPadding = c.inputPadding;
        EXPECT_EQ(Request(host, c.in, c.out), paramErr);
        EXPECT_EQ(Get(host.Record()->inData), nullptr);
        EXPECT_EQ(Get(host.Record()->outData), nullptr);
        ASSERT_EQ(host.DataRequests().size(), 1u);
        EXPECT_EQ(host.DataRequests()[0].result, paramErr);
    }
}

TEST(FilterHostAdvanceState, RefusesATileTooLargeToHandOut) {
    FilterHost host(DistinctImage(4, 4, 16, 16));
    host.Record()->inputPadding = 0;
    EXPECT_EQ(Request(host, {{-32768, -32768, 32767, 32767}, 0, 15}, {}), memFullErr);
    EXPECT_EQ(Get(host.Record()->inData), nullptr);
}

TEST(FilterHostAdvanceState, PadsAroundTheImageAsTheRecordAsks) {
    FilterHost host(DistinctImage(4, 3, 2, 8));
    host.SetRowPadding(0);
    const Side around{{-1, -1, 4, 5}, 0, 1};  // one pixel beyond every edge

    host.Record()->inputPadding = 9;
    ASSERT_EQ(Request(host, around, {}), noErr);
    const FilterRecord& r = *host.Record();
    EXPECT_EQ(TileSample(r.inData, r.inRowBytes, 8, 2, 0, 0, 1), 9);
    EXPECT_EQ(TileSample(r.inData, r.inRowBytes, 8, 2, 5, 4, 0), 9);
    EXPECT_EQ(TileSample(r.inData, r.inRowBytes, 8, 2, 1, 1, 1), host.Image().Sample(1, 0, 0));

    host.Record()->inputPadding = plugInWantsEdgeReplication;
    ASSERT_EQ(Request(host, around, {}), noErr);
    EXPECT_EQ(TileSample(r.inData, r.inRowBytes, 8, 2, 0, 0, 1), host.Image().Sample(1, 0, 0));
    EXPECT_EQ(TileSample(r.inData, r.inRowBytes, 8, 2, 5, 4, 0), host.Image().Sample(0, 3, 2));
    EXPECT_EQ(TileSample(r.inData, r.inRowBytes, 8, 2, 5, 2, 1), host.Image().Sample(1, 3, 1));

    host.Record()->inputPadding = plugInDoesNotWantPadding;
    EXPECT_EQ(Request(host, around, {}), noErr);

    // Output beyond the image is accepted and what lies outside is dropped.
    host.Record()->outputPadding = 0;
    ASSERT_EQ(Request(host, {}, around), noErr);
    std::memset(r.outData, 77, static_cast<size_t>(r.outRowBytes) * 5);
    host.CommitOutput();
    for (int p = 0; p < 2; ++p) {
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t x = 0; x < 4; ++x) {
                EXPECT_EQ(host.Image().Sample(p, x, y), 77);
            }
        }
    }
    EXPECT_TRUE(host.Misuses().empty());
}

TEST(FilterHostAdvanceState, LogsEveryRequestAsTheRecordHeldIt) {
    FilterHost host(DistinctImage(10, 8, 3, 8));
    FilterRecord& r = *host.Record();
    r.inputPadding = 0;
    r.outputPadding = 5;
    r.maskRect = {1, 1, 2, 2};
    ASSERT_EQ(Request(host, {{0, 0, 8, 10}, 1, 1}, {{1, 2, 3, 4}, 0, 2}), noErr);
    r.inputRate = 0x20000;
    ASSERT_EQ(Request(host, {{0, 0, 8, 10}, 2, 2}, {}), paramErr);
    r.inRect = {0, 0, 1, 1};
    r.inputRate = 0x10000;
    ASSERT_EQ(host.ServeRecordRequest(), noErr);

    const auto& log = host.DataRequests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].source, RequestSource::AdvanceState);
    EXPECT_EQ(log[0].inRect, (HostRect{0, 0, 8, 10}));
    EXPECT_EQ(log[0].outRect, (HostRect{1, 2, 3, 4}));
    EXPECT_EQ(log[0].maskRect, (HostRect{1, 1, 2, 2}));
    EXPECT_EQ(log[0].inLoPlane, 1);
    EXPECT_EQ(log[0].inHiPlane, 1);
    EXPECT_EQ(log[0].outLoPlane, 0);
    EXPECT_EQ(log[0].outHiPlane, 2);
    EXPECT_EQ(log[0].inputRate, 0x10000);
    EXPECT_EQ(log[0].inputPadding, 0);
    EXPECT_EQ(log[0].outputPadding, 5);
    EXPECT_EQ(log[0].result, noErr);
    EXPECT_EQ(log[0].inRowBytes, 10 + 10);
    EXPECT_EQ(log[0].outRowBytes, 2 * 3 + 10);
    EXPECT_EQ(log[1].inputRate, 0x20000);
    EXPECT_EQ(log[1].inRowBytes, 0);
    EXPECT_EQ(log[1].inLoPlane, 2);
    EXPECT_EQ(log[1].result, paramErr);
    EXPECT_EQ(log[2].source, RequestSource::SelectorReturn);
    EXPECT_EQ(log[2].inRect, (HostRect{0, 0, 1, 1}));
    EXPECT_LT(log[0].sequence, log[1].sequence);
    EXPECT_LT(log[1].sequence, log[2].sequence);
    // The document has no mask to hand out.
    EXPECT_EQ(Get(r.maskData), nullptr);
}

TEST(FilterHostAdvanceState, WritingIntoRowPaddingIsReported) {
    FilterHost host(DistinctImage(5, 5, 3, 8));
    host.SetRowPadding(4);
    ASSERT_EQ(Request(host, {}, {{0, 0, 5, 5}, 0, 2}), noErr);
    auto* out = static_cast<unsigned char*>(host.Record()->outData);
    std::memset(out, 1, 15);  // the whole first row: fine
    EXPECT_TRUE(host.Misuses().empty());
    out[2 * host.Record()->outRowBytes + 15] = 1;  // first padding byte of row 2
    ASSERT_EQ(Request(host, {}, {}), noErr);
    ASSERT_EQ(host.Misuses().size(), 1u);
    EXPECT_NE(host.Misuses()[0].find("outData"), std::string::npos);
    EXPECT_NE(host.Misuses()[0].find("row 2"), std::string::npos);
}

TEST(FilterHostAdvanceState, FailsTheNthCallOnly) {
    FilterHost host(DistinctImage(4, 4, 3, 8));
    host.SetFaults({.failAdvanceStateAt = 2, .failureCode = -1234});
    const Side plane0{{0, 0, 4, 4}, 0, 0};
    EXPECT_EQ(Request(host, plane0, plane0), noErr);
    EXPECT_EQ(Request(host, plane0, plane0), -1234);
    EXPECT_EQ(Get(host.Record()->inData), nullptr);
    EXPECT_EQ(Get(host.Record()->outData), nullptr);
    EXPECT_EQ(Request(host, plane0, plane0), noErr);
    // The rects a selector leaves behind are not advanceState calls.
    host.SetFaults({.failAdvanceStateAt = 1});
    EXPECT_EQ(host.ServeRecordRequest(), noErr);
    EXPECT_EQ(Request(host, plane0, plane0), memFullErr);
    ASSERT_EQ(host.DataRequests().size(), 5u);
    EXPECT_EQ(host.DataRequests()[1].result, -1234);
    EXPECT_EQ(host.DataRequests()[4].result, memFullErr);
}

// A host that says yes and hands out nothing: the plug-in must not take the answer
// for data. The rects a selector leaves behind are still served.
TEST(FilterHostAdvanceState, WithheldTilesAnswerSuccessWithNullData) {
    FilterHost host(DistinctImage(4, 4, 3, 8));
    host.SetFaults({.withholdTiles = true});
    const Side plane0{{0, 0, 4, 4}, 0, 0};
    EXPECT_EQ(Request(host, plane0, plane0), noErr);
    EXPECT_EQ(Get(host.Record()->inData), nullptr);
    EXPECT_EQ(Get(host.Record()->outData), nullptr);
    ASSERT_EQ(host.DataRequests().size(), 1u);
    EXPECT_EQ(host.DataRequests()[0].result, noErr);
    EXPECT_EQ(host.DataRequests()[0].inRowBytes, 0);
    EXPECT_EQ(host.DataRequests()[0].outRowBytes, 0);

    host.Record()->inRect = {0, 0, 4, 4};
    EXPECT_EQ(host.ServeRecordRequest(), noErr);
    EXPECT_NE(Get(host.Record()->inData), nullptr);
}

TEST(FilterHostAdvanceState, FailsEveryRequestThatIncludesAPlane) {
    struct Case {
        Side in, out;
        OSErr expected;
    };
    const HostRect all{0, 0, 4, 4};
    const Case cases[] = {
        {{all, 0, 0}, {all, 0, 0}, noErr},
        {{all, 1, 1}, {all, 1, 1}, memFullErr},
        {{all, 0, 2}, {}, memFullErr},
        {{}, {all, 1, 2}, memFullErr},
        {{all, 2, 2}, {all, 2, 2}, noErr},
        // Plane ranges of a side without a rect ask for nothing.
        {{{}, 1, 1}, {all, 0, 0}, noErr},
    };
    FilterHost host(DistinctImage(4, 4, 3, 8));
    host.SetFaults({.failAdvanceStateForPlane = 1});
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "in " << c.in.loPlane << ".." << c.in.hiPlane
                                          << " out " << c.out.loPlane << ".." << c.out.hiPlane);
        EXPECT_EQ(Request(host, c.in, c.out), c.expected);
    }
}

}  // namespace
}  // namespace vexo::filterhost
