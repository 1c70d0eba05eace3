#include <gtest/gtest.h>

#include <climits>
#include <cstddef>

#include "framework/CARect.h"

namespace {

TEST(CARect, FieldsAreDeclaredRightLeftTopBottom) {
    static_assert(offsetof(CARect, right) == 0);
    static_assert(offsetof(CARect, left) == 4);
    static_assert(offsetof(CARect, top) == 8);
    static_assert(offsetof(CARect, bottom) == 12);
    static_assert(sizeof(CARect) == 16);

    CARect sized(10, 20);
    EXPECT_EQ(sized.left, 0);
    EXPECT_EQ(sized.top, 0);
    EXPECT_EQ(sized.right, 10);
    EXPECT_EQ(sized.bottom, 20);

    CARect placed(5, 15, 100, 120);  // left, right, top, bottom
    EXPECT_EQ(placed.left, 5);
    EXPECT_EQ(placed.right, 15);
    EXPECT_EQ(placed.top, 100);
    EXPECT_EQ(placed.bottom, 120);

    CARect empty;
    EXPECT_EQ(empty.size(), 0);
    EXPECT_EQ(empty.left | empty.right | empty.top | empty.bottom, 0);
}

struct ComparisonCase {
    const char* name;
    CARect a;
    CARect b;
    int equal, notEqual, greater, greaterEqual, less, lessEqual;
};

class CARectComparison : public testing::TestWithParam<ComparisonCase> {};

TEST_P(CARectComparison, ComparesExtentNotPosition) {
    ComparisonCase c = GetParam();
    EXPECT_EQ(c.a == c.b, c.equal);
    EXPECT_EQ(c.a != c.b, c.notEqual);
    EXPECT_EQ(c.a > c.b, c.greater);
    EXPECT_EQ(c.a >= c.b, c.greaterEqual);
    EXPECT_EQ(c.a < c.b, c.less);
    EXPECT_EQ(c.a <= c.b, c.lessEqual);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CARectComparison,
    testing::Values(
        ComparisonCase{"SameExtentElsewhere", CARect(10, 20), CARect(5, 15, 100, 120), 1, 0, 0, 1, 0, 1},
        ComparisonCase{"EqualAreaOtherShape", CARect(2, 50), CARect(10, 10), 0, 1, 0, 1, 0, 1},
        ComparisonCase{"InvertedIsSmallerThanEmpty", CARect(5, 2, 0, 10), CARect(), 0, 1, 0, 0, 1, 1},
        ComparisonCase{"Larger", CARect(11, 10), CARect(10, 10), 0, 1, 1, 1, 0, 0}),
    [](const testing::TestParamInfo<ComparisonCase>& info) { return info.param.name; });

TEST(CARect, InvertedRectHasNegativeExtent) {
    CARect inverted(5, 2, 0, 10);
    EXPECT_EQ(inverted.width(), -3);
    EXPECT_EQ(inverted.height(), 10);
    EXPECT_EQ(inverted.size(), -30);
}

TEST(CARect, SizeWrapsIn32BitsForExtremeEdges) {
    EXPECT_EQ(CARect(65536, 65536).size(), 0);
    EXPECT_EQ(CARect(65536, 65537).size(), 65536);
    CARect widest(INT_MIN, INT_MAX, 0, 1);
    EXPECT_EQ(widest.width(), -1);
    EXPECT_EQ(widest.size(), -1);
}

TEST(CARect, AssignmentAndCopyTakeAllEdges) {
    CARect source(1, 2, 3, 4);
    CARect target(9, 9);
    CARect& result = (target = source);
    EXPECT_EQ(&result, &target);
    CARect copy(source);
    for (const CARect* r : {&target, &copy}) {
        EXPECT_EQ(r->left, 1);
        EXPECT_EQ(r->right, 2);
        EXPECT_EQ(r->top, 3);
        EXPECT_EQ(r->bottom, 4);
    }
}

}  // namespace
