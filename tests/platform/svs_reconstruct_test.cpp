#include "platform/svs/svs.h"

#include <gtest/gtest.h>

namespace {

svsParameterBlock Calibrated() {
    svsParameterBlock block = svsDefaultParameters();
    block.pixelWidth = 0.01;
    block.leftFocal = 3.8;  // 380 pixels
    block.leftCenterX = 158;
    block.rightCenterX = 162;
    block.leftCenterY = 118;
    block.baseline = 90;
    return block;
}

TEST(SvsReconstruct3DFast, DepthIsFocalTimesBaselineOverDisparityWithYDown) {
    const svsParameterBlock block = Calibrated();
    float x = 0, y = 0, z = 0;
    ASSERT_EQ(svsReconstruct3DFast(&x, &y, &z, 200.0f, 100.0f, 36.0f * 16, &block), 0);
    EXPECT_NEAR(z, 380.0 * 90 / 36, 1e-3);
    EXPECT_NEAR(x, (200 - 160) * z / 380.0, 1e-3);
    EXPECT_NEAR(y, (100 - 118) * z / 380.0, 1e-3);  // above the centre is negative
    ASSERT_EQ(svsReconstruct3DFast(&x, &y, &z, 160.0f, 118.0f, 1.0f, &block), 0);
    EXPECT_NEAR(z, 380.0 * 90 * 16, 1e-1);  // a sixteenth of a pixel
    EXPECT_FLOAT_EQ(x, 0.0f);
    EXPECT_FLOAT_EQ(y, 0.0f);
}

TEST(SvsReconstruct3DFast, SubsamplingDividesFocalAndCentre) {
    svsParameterBlock block = Calibrated();
    block.decimation = 2;
    float x = 0, y = 0, z = 0;
    ASSERT_EQ(svsReconstruct3DFast(&x, &y, &z, 100.0f, 59.0f, 19.0f * 16, &block), 0);
    EXPECT_NEAR(z, 190.0 * 90 / 19, 1e-3);
    EXPECT_NEAR(x, (100 - 80) * z / 190.0, 1e-3);
    EXPECT_NEAR(y, 0.0, 1e-4);
}

TEST(SvsReconstruct3DFast, TheHoropterOffsetIsPartOfTheDisparity) {
    svsParameterBlock block = Calibrated();
    block.offsetX = -8;
    float x = 0, y = 0, z = 0;
    ASSERT_EQ(svsReconstruct3DFast(&x, &y, &z, 160.0f, 118.0f, 42.0f * 16, &block), 0);
    EXPECT_NEAR(z, 380.0 * 90 / 50, 1e-3);
}

TEST(SvsReconstruct3DFast, NoPointForDisparitiesAtOrBelowZeroOrBadArguments) {
    svsParameterBlock block = Calibrated();
    float x = 1, y = 1, z = 1;
    EXPECT_EQ(svsReconstruct3DFast(&x, &y, &z, 10.0f, 10.0f, 0.0f, &block), -1);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 0.0f);
    EXPECT_EQ(z, 0.0f);
    block.offsetX = 2;  // a search disparity of 1 pixel is -1 pixel
    z = 1;
    EXPECT_EQ(svsReconstruct3DFast(&x, &y, &z, 10.0f, 10.0f, 16.0f, &block), -1);
    EXPECT_EQ(z, 0.0f);
    EXPECT_EQ(svsReconstruct3DFast(nullptr, &y, &z, 10.0f, 10.0f, 16.0f, &block), -1);
    z = 1;
    EXPECT_EQ(svsReconstruct3DFast(&x, &y, &z, 10.0f, 10.0f, 16.0f, nullptr), -1);
    EXPECT_EQ(z, 0.0f);
    block = Calibrated();
    block.binning = 0;
    EXPECT_EQ(svsReconstruct3DFast(&x, &y, &z, 10.0f, 10.0f, 16.0f, &block), -1);
}

}  // namespace
