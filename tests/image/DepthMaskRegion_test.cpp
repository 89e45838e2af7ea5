#include "image/DepthMaskRegion.h"

#include <climits>
#include <tuple>

#include <gtest/gtest.h>

namespace {

std::tuple<int, int, int, int> Rectangle(const CImageROI& region) {
    return {region.GetXOffset(), region.GetYOffset(), region.GetWidth(), region.GetHeight()};
}

TEST(DepthMaskRegion, IsBuiltFromItsEdgesAndClampedAsANewRectangle) {
    const CDepthMaskRegion region(100, 220, 40, 200, 0.5f, 1.2f);
    EXPECT_EQ(Rectangle(region), std::make_tuple(100, 40, 120, 160));
    EXPECT_EQ(std::make_tuple(region.GetMinDepth(), region.GetMaxDepth()), std::make_tuple(0.5f, 1.2f));
    EXPECT_EQ(CDepthMaskRegion(region).GetIplROI(), region.GetIplROI());  // copies share the rectangle

    const CDepthMaskRegion pastCorner(300, 350, -20, 30, 0.5f, 2.0f);
    const CDepthMaskRegion inside = pastCorner.ClampedTo(320, 240);
    EXPECT_NE(inside.GetIplROI(), pastCorner.GetIplROI());
    EXPECT_EQ(Rectangle(inside), std::make_tuple(300, 0, 20, 30));
    EXPECT_EQ(inside.GetMinDepth(), 0.5f);
    EXPECT_EQ(Rectangle(CDepthMaskRegion(-1000, 5000, -9, 5000, -1, -1).ClampedTo(320, 240)),
              std::make_tuple(0, 0, 320, 240));
    EXPECT_TRUE(CDepthMaskRegion(400, 500, 10, 20, -1, -1).ClampedTo(320, 240).IsEmpty());
    EXPECT_TRUE(CDepthMaskRegion(50, 10, 10, 20, -1, -1).ClampedTo(320, 240).IsEmpty());  // right before left
    EXPECT_LE(CDepthMaskRegion(INT_MIN, INT_MAX, INT_MIN, INT_MAX, -1, -1).ClampedTo(320, 240).GetWidth(), 320);
}

}  // namespace
