#include "platform/svs/svs.h"

#include <gtest/gtest.h>

namespace {

TEST(SvsReconstruct3DFast, DepthIsFocalTimesBaselineOverTheTrueDisparityWithYDown) {
    svsParameterBlock block = svsDefaultParameters();
    block.pixelWidth = 0.01;
    block.leftFocal = 3.8;  // 380 pixels
    block.leftCenterX = 158;
    block.rightCenterX = 162;  // a point at infinity has disparity 158 - 162 = -4
    block.leftCenterY = 118;
    block.baseline = 90;
    float x = 0, y = 0, z = 0;
    ASSERT_EQ(svsReconstruct3DFast(&x, &y, &z, 200.0f, 100.0f, 36.0f * 16, &block), 0);
    EXPECT_NEAR(z, 380.0 * 90 / 40, 1e-3);
    EXPECT_NEAR(x, (200 - 160) * z / 380.0, 1e-3);
    EXPECT_NEAR(y, (100 - 118) * z / 380.0, 1e-3);  // above the centre is negative
    block.decimation = 2;                            // focal and centre halve
    block.offsetX = -8;                              // the search starts at 8 pixels
    ASSERT_EQ(svsReconstruct3DFast(&x, &y, &z, 100.0f, 59.0f, 11.0f * 16, &block), 0);
    EXPECT_NEAR(z, 190.0 * 90 / 21, 1e-3);
    EXPECT_NEAR(x, (100 - 80) * z / 190.0, 1e-3);
    EXPECT_NEAR(y, 0.0, 1e-4);
    // No point at or behind infinity, and none from a bad block.
    block.offsetX = 0;
    EXPECT_EQ(svsReconstruct3DFast(&x, &y, &z, 10.0f, 10.0f, -2.0f * 16, &block), -1);
    EXPECT_EQ(x + y + z, 0.0f);
    block.binning = 0;
    z = 1;
    EXPECT_EQ(svsReconstruct3DFast(&x, &y, &z, 10.0f, 10.0f, 320.0f, &block), -1);
    EXPECT_EQ(z, 0.0f);
    EXPECT_EQ(svsReconstruct3DFast(nullptr, &y, &z, 10.0f, 10.0f, 320.0f, &block), -1);
}

}  // namespace
