#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "host/RegionTransfer.h"
#include "tests/host/HostCall.h"
#include "tests/host/HostSide.h"
#include "tools/host/FilterHost.h"

namespace {

using vexo::filterhost::FilterHost;
using vexo::filterhost::HostImage;

HostImage Image() {
    HostImage image(6, 4, 3, 8);
    image.Fill([](int p, int32_t x, int32_t y) { return p * 50 + y * 10 + x; });
    return image;
}

// An empty region asks the host for nothing, and the host rightly hands out no tile
// for it: that is a success with nothing to copy, not a host that failed to deliver,
// whether the caller's buffer is null or not.
TEST(RegionTransferEmptyRegion, SucceedsAndCopiesNothing) {
    for (TransferDirection direction : {TransferRead, TransferWrite}) {
        SCOPED_TRACE(direction == TransferRead ? "read" : "write");
        FilterHost host(Image());
        HostCall call(host);
        const HostImage before = host.Image();
        std::vector<uint8_t> buffer(3 * 2 * 2, 0xEE);
        const Rect hostRect{1, 2, 1, 4};  // no rows
        const Rect bufferRect{0, 0, 2, 2};
        const Rect bufferRegion{0, 0, 0, 2};
        *gResult = 5;

        EXPECT_EQ(TransferHostRegion8(&hostRect, &bufferRect, &bufferRegion, 0, 2, direction,
                                      CAImageInterleaved,
                                      direction == TransferRead ? buffer.data() : nullptr,
                                      direction == TransferWrite ? buffer.data() : nullptr),
                  noErr);
        EXPECT_EQ(*gResult, noErr);
        EXPECT_EQ(host.DataRequests().size(), 1u);
        host.CommitOutput();
        EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0xEE));
        EXPECT_TRUE(host.Image() == before);
    }
}

// Through the adapter: an empty region with a buffer is answered as the in-memory
// path answers it.
TEST(RegionTransferEmptyRegion, GetDataAndPutDataSucceed) {
    FilterHost host(Image());
    HostCall call(host);
    HostSide side;
    side.imageInfo.depth = 8;
    std::vector<uint8_t> buffer(4, 0xEE);
    CARect region(2, 2, 1, 3);  // no columns
    EXPECT_EQ(side.GetData(nullptr, region, buffer.data(), CAChannelsInterleaved), CAResultOk);
    EXPECT_EQ(side.PutData(nullptr, region, buffer.data(), CAChannelsInterleaved), CAResultOk);
    EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0xEE));
}

}  // namespace
