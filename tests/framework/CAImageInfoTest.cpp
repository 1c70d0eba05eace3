#include <gtest/gtest.h>

#include "framework/CAAlgorithmBase.h"
#include "framework/CAImageInfo.h"

namespace {

TEST(CAImageInfo, DefaultsDescribeAnEmptyThreePlaneEightBitImage) {
    CAImageInfo info;
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.channels, 3);
    EXPECT_EQ(info.depth, 8);
    EXPECT_EQ(info.reserved0, 0);
    EXPECT_EQ(info.reserved1, 4);
    EXPECT_EQ(info.sourceImage, nullptr);
    EXPECT_EQ(info.destinationImage, nullptr);
}

TEST(CAImageInfo, AssignmentCopiesAllEightFieldsAndBothPointers) {
    auto* source = reinterpret_cast<CAImageBuffer*>(0x1000);
    auto* destination = reinterpret_cast<CAImageBuffer*>(0x2000);
    CAImageInfo from;
    from.width = 640;
    from.height = 480;
    from.channels = 4;
    from.depth = 16;
    from.reserved0 = 7;
    from.reserved1 = 9;
    from.sourceImage = source;
    from.destinationImage = destination;

    CAAlgorithmBase a;
    a.imageInfo = from;
    a.workBlock = &from;
    CAAlgorithmBase b;
    b = a;
    EXPECT_EQ(b.workBlock, &from);
    const CAImageInfo& to = b.imageInfo;
    EXPECT_EQ(to.width, 640);
    EXPECT_EQ(to.height, 480);
    EXPECT_EQ(to.channels, 4);
    EXPECT_EQ(to.depth, 16);
    EXPECT_EQ(to.reserved0, 7);
    EXPECT_EQ(to.reserved1, 9);
    EXPECT_EQ(to.sourceImage, source);
    EXPECT_EQ(to.destinationImage, destination);
}

TEST(CAImageInfo, OnlyDepthEightSelectsEightBitSamples) {
    EXPECT_TRUE(CAIsEightBitDepth(8));
    for (int depth : {0, 1, 12, 16, 32, -8}) {
        EXPECT_FALSE(CAIsEightBitDepth(depth)) << depth;
    }
}

}  // namespace
