#include <gtest/gtest.h>

#include <cstddef>
#include <stdexcept>

#include "tests/filterhost/FilterHostTestSupport.h"

namespace vexo::filterhost {
namespace {

using testing::Get;

TEST(FilterHostRecord, DescribesAFlatImageWithoutSelection) {
    struct Case {
        int32_t width, height;
        int planes, bits;
        int16_t imageMode;
    };
    const Case cases[] = {
        {40, 30, 1, 8, plugInModeGrayScale}, {40, 30, 3, 8, plugInModeRGBColor},
        {7, 90, 4, 8, plugInModeCMYKColor},  {5, 5, 12, 8, plugInModeMultichannel},
        {40, 30, 1, 16, plugInModeGray16},   {40, 30, 3, 16, plugInModeRGB48},
        {1, 1, 4, 16, plugInModeCMYK64},     {3, 2, 16, 16, plugInModeDeepMultichannel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.width << "x" << c.height << "x" << c.planes << "@" << c.bits);
        FilterHost host(HostImage(c.width, c.height, c.planes, c.bits));
        const FilterRecord& r = *host.Record();
        EXPECT_EQ(r.imageSize.h, c.width);
        EXPECT_EQ(r.imageSize.v, c.height);
        EXPECT_EQ(r.wholeSize.h, c.width);
        EXPECT_EQ(r.wholeSize.v, c.height);
        EXPECT_EQ(r.planes, c.planes);
        EXPECT_EQ(HostRect::From(r.filterRect),
                  (HostRect{0, 0, static_cast<int16_t>(c.height), static_cast<int16_t>(c.width)}));
        EXPECT_EQ(r.depth, c.bits);
        EXPECT_EQ(r.imageMode, c.imageMode);
        EXPECT_EQ(r.filterCase, filterCaseFlatImageNoSelection);
        EXPECT_EQ(r.hostSig, kHostSignature);
        EXPECT_EQ(r.inNonLayerPlanes, c.planes);
        EXPECT_EQ(r.outLayerPlanes, 0);
        EXPECT_EQ(r.inputRate, 0x10000);
        EXPECT_TRUE(r.supportsPadding);
        EXPECT_GT(r.maxSpace, 0);
        EXPECT_EQ(r.bufferSpace, 0);
        EXPECT_EQ(Get(r.parameters), nullptr);
        ASSERT_NE(Get(r.platformData), nullptr);
        EXPECT_EQ(static_cast<const PlatformData*>(r.platformData)->hwnd, 0);
        ASSERT_NE(Get(r.bufferProcs), nullptr);
        ASSERT_NE(Get(r.handleProcs), nullptr);
        ASSERT_NE(Get(r.propertyProcs), nullptr);
        EXPECT_TRUE(r.abortProc && r.progressProc && r.advanceState);
        EXPECT_TRUE(r.bufferProcs->allocateProc && r.bufferProcs->lockProc &&
                    r.bufferProcs->unlockProc && r.bufferProcs->freeProc &&
                    r.bufferProcs->spaceProc);
        EXPECT_TRUE(r.handleProcs->newProc && r.handleProcs->disposeProc &&
                    r.handleProcs->getSizeProc && r.handleProcs->setSizeProc &&
                    r.handleProcs->lockProc && r.handleProcs->unlockProc);
        EXPECT_TRUE(r.propertyProcs->getPropertyProc && r.propertyProcs->setPropertyProc);
        EXPECT_EQ(host.DataRequests().size(), 0u);
        EXPECT_EQ(*host.DataSlot(), 0);
        EXPECT_EQ(*host.ResultWord(), 0);
    }
}

// Plug-ins built against a newer interface read fields past depth.
TEST(FilterHostRecord, SpansThePublishedSizeZeroedBeyondTheDeclaredFields) {
    FilterHost host(HostImage(8, 8, 3, 8));
    const auto* bytes = reinterpret_cast<const unsigned char*>(host.Record());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % 8, 0u);
    for (size_t at = sizeof(FilterRecord); at < kPublishedFilterRecordSize; ++at) {
        ASSERT_EQ(bytes[at], 0) << "byte " << at;
    }
}

TEST(FilterHostRecord, SettersReachTheRecord) {
    FilterHost host(HostImage(100, 50, 3, 8));
    host.SetFilterRect({10, 20, 34, 44});
    host.SetDepth(0);
    host.SetFilterCase(filterCaseFloatingSelection);
    host.SetImageMode(plugInModeLabColor);
    const FilterRecord& r = *host.Record();
    EXPECT_EQ(HostRect::From(r.filterRect), (HostRect{10, 20, 34, 44}));
    EXPECT_EQ(r.depth, 0);
    EXPECT_EQ(r.filterCase, filterCaseFloatingSelection);
    EXPECT_EQ(r.imageMode, plugInModeLabColor);
    EXPECT_EQ(HostRect::From(r.inRect), HostRect{});
}

TEST(FilterHostRecord, DescribesALayerAmongTheImagesPlanes) {
    FilterHost host(HostImage(8, 8, 4, 8));
    host.SetLayer(filterCaseEditableTransparencyNoSelection, 3, 1);
    const FilterRecord& r = *host.Record();
    EXPECT_EQ(r.filterCase, filterCaseEditableTransparencyNoSelection);
    EXPECT_EQ(r.planes, 4);
    EXPECT_EQ(r.inLayerPlanes, 3);
    EXPECT_EQ(r.outLayerPlanes, 3);
    EXPECT_EQ(r.outTransparencyMask, 1);
    EXPECT_EQ(r.outNonLayerPlanes, 0);
    EXPECT_THROW(host.SetLayer(filterCaseFloatingSelection, 4, 1), std::invalid_argument);
    EXPECT_THROW(host.SetLayer(filterCaseFlatImageWithSelection, 3, 0), std::invalid_argument);
    host.SetLayer(filterCaseFloatingSelection, 1, 0);
    EXPECT_EQ(r.outNonLayerPlanes, 3);
}

TEST(FilterHostRecord, FaultSwitchesTakeSuitesAndCallbacksAway) {
    FilterHost host(HostImage(4, 4, 1, 8));
    host.SetFaults({.noBufferSuite = true,
                    .noHandleSuite = true,
                    .noPropertySuite = true,
                    .noProgressProc = true,
                    .noAbortProc = true,
                    .noAdvanceState = true,
                    .noPaddingSupport = true});
    const FilterRecord& r = *host.Record();
    EXPECT_EQ(Get(r.bufferProcs), nullptr);
    EXPECT_EQ(Get(r.handleProcs), nullptr);
    EXPECT_EQ(Get(r.propertyProcs), nullptr);
    EXPECT_EQ(Get(r.progressProc), nullptr);
    EXPECT_EQ(Get(r.abortProc), nullptr);
    EXPECT_EQ(Get(r.advanceState), nullptr);
    EXPECT_FALSE(r.supportsPadding);

    host.SetFaults({});
    EXPECT_NE(Get(r.bufferProcs), nullptr);
    EXPECT_NE(Get(r.handleProcs), nullptr);
    EXPECT_NE(Get(r.propertyProcs), nullptr);
    EXPECT_NE(Get(r.progressProc), nullptr);
    EXPECT_NE(Get(r.advanceState), nullptr);
    EXPECT_TRUE(r.supportsPadding);
}

TEST(FilterHost, OnlyOneIsActiveAndCallbacksFailWithoutOne) {
    BufferProcs buffers{};
    HandleProcs handles{};
    AdvanceStateProc advance = nullptr;
    {
        FilterHost host(HostImage(4, 4, 1, 8));
        EXPECT_EQ(FilterHost::Active(), &host);
        EXPECT_THROW({ FilterHost second(HostImage(4, 4, 1, 8)); }, std::logic_error);
        EXPECT_EQ(FilterHost::Active(), &host);
        buffers = *host.Record()->bufferProcs;
        handles = *host.Record()->handleProcs;
        advance = host.Record()->advanceState;
    }
    EXPECT_EQ(FilterHost::Active(), nullptr);
    BufferID id = nullptr;
    EXPECT_NE(buffers.allocateProc(16, &id), noErr);
    EXPECT_EQ(id, nullptr);
    EXPECT_EQ(handles.newProc(16), nullptr);
    EXPECT_NE(advance(), noErr);

    FilterHost next(HostImage(4, 4, 1, 8));
    EXPECT_EQ(FilterHost::Active(), &next);
}

TEST(FilterHostImage, RefusesWhatNoHostDocumentHolds) {
    struct Case {
        int32_t width, height;
        int planes, bits;
    };
    const Case bad[] = {{-1, 4, 1, 8},    {4, -1, 1, 8}, {32768, 4, 1, 8},
                        {4, 32768, 1, 8}, {4, 4, 0, 8},  {4, 4, 17, 8},
                        {4, 4, 3, 0},     {4, 4, 3, 12}, {4, 4, 3, 32}};
    for (const Case& c : bad) {
        SCOPED_TRACE(::testing::Message()
                     << c.width << "x" << c.height << "x" << c.planes << "@" << c.bits);
        EXPECT_THROW(HostImage(c.width, c.height, c.planes, c.bits), std::invalid_argument);
    }
    EXPECT_NO_THROW(HostImage(0, 0, 1, 8));
    EXPECT_NO_THROW(HostImage(32767, 1, 16, 16));

    HostImage eight(2, 2, 1, 8);
    EXPECT_THROW(eight.SetSample(0, 0, 0, 256), std::invalid_argument);
    EXPECT_THROW(eight.Sample(1, 0, 0), std::out_of_range);
    EXPECT_THROW(eight.Sample(0, 2, 0), std::out_of_range);
    // The plug-in's 16-bit results may overshoot the host's 32768.
    HostImage sixteen(2, 2, 1, 16);
    sixteen.SetSample(0, 1, 1, 65535);
    EXPECT_EQ(sixteen.Sample(0, 1, 1), 65535);
    EXPECT_EQ(sixteen.PlaneSamples<uint16_t>(0)[3], 65535);
}

}  // namespace
}  // namespace vexo::filterhost
