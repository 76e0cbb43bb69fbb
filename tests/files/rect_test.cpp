#include "platform/rect.h"

#include <gtest/gtest.h>

#include <climits>

// Overflow in a constant expression does not compile: these hold only when
// Bounds wraps its sums.
static_assert(Bounds(INT32_MAX - 5, 0, 10, 1).Right == INT32_MIN + 4);
static_assert(RectIsEmpty(Bounds(0, INT32_MAX, 1, 2)));

TEST(Rect, BoundsOfFarOffPositionsWrapToEmptyRectangles) {
    volatile int32_t far_left = INT32_MAX - 100, wide = 1818519808;
    const TRect r = Bounds(far_left, 3, wide, 4);
    EXPECT_EQ(r.Left, far_left);
    EXPECT_LT(r.Right, r.Left);
    EXPECT_TRUE(RectIsEmpty(r));
    EXPECT_FALSE(PointInRect(TPoint{far_left, 4}, r));
    EXPECT_EQ(Bounds(-5, -6, 10, 20), MakeRect(-5, -6, 5, 14));
}
