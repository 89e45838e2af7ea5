#include "init/InitParameters.h"

#include <sstream>

#include <gtest/gtest.h>

namespace {

TEST(InitParameters, KeepsTheDefaultsWithoutAStream) {
    CInitParameters params;
    params.Read(nullptr);
    EXPECT_EQ(params.maxDistanceCorner, 6.0f);
    EXPECT_EQ(params.minCornerMatches, 3);
    EXPECT_EQ(params.nbDetectBeforeInit, 3);
    EXPECT_EQ(params.thresholdNbHit, 3);
    EXPECT_EQ(params.thresholdTime, 0);
    EXPECT_EQ(params.thresholdPixelMask, 400.0);
    EXPECT_EQ(params.sizeFaceX, 60);
    EXPECT_EQ(params.sizeFaceYAbove, 80);
    EXPECT_EQ(params.sizeFaceYBelow, 30);
    EXPECT_EQ(params.sizeFaceZFront, 400.0f);
    EXPECT_EQ(params.sizeFaceZBehind, 300.0f);
    EXPECT_EQ(params.topLeftMaskX, 25);
    EXPECT_EQ(params.topLeftMaskY, 10);
    EXPECT_EQ(params.bottomRightMaskX, 295);
    EXPECT_EQ(params.bottomRightMaskY, 230);
    EXPECT_EQ(params.minDepthMask, 600.0f);
    EXPECT_EQ(params.maxDepthMask, 1600.0f);
    EXPECT_EQ(params.maxRotation, 0.32f);
    EXPECT_EQ(params.maxTranslation, 200.0f);
}

TEST(InitParameters, ReadsEveryKeyAndKeepsTheLastValue) {
    std::istringstream in(
        "# detection\nMAX_DISTANCE_CORNER: 4.5 MIN_CORNER_MATCHES: 2 NB_DETECT_BEFORE_INIT: 5\n"
        "THRESHOLD_NB_HIT: 4 THRESHOLD_TIME: -2 THRESHOLD_PIXEL_MASK: 350.5 stray tokens\n"
        "SIZE_FACE_X: 50 SIZE_FACE_Y: 70 20 SIZE_FACE_Z: 350 250 # SIZE_FACE_X: 99\n"
        "TOP_LEFT_MASK: 30 15 BOTTOM_RIGHT_MASK: 290 220 MIN_DEPTH_MASK: 500 MAX_DEPTH_MASK: 1500\n"
        "MAX_ROTATION: 0.25 MAX_TRANSLATION: 150 MAX_ROTATION: 0.3\n");
    CInitParameters params;
    params.Read(&in);
    EXPECT_EQ(params.maxDistanceCorner, 4.5f);
    EXPECT_EQ(params.minCornerMatches, 2);
    EXPECT_EQ(params.nbDetectBeforeInit, 5);
    EXPECT_EQ(params.thresholdNbHit, 4);
    EXPECT_EQ(params.thresholdTime, -2);
    EXPECT_EQ(params.thresholdPixelMask, 350.5);
    EXPECT_EQ(params.sizeFaceX, 50);
    EXPECT_EQ(params.sizeFaceYAbove, 70);
    EXPECT_EQ(params.sizeFaceYBelow, 20);
    EXPECT_EQ(params.sizeFaceZFront, 350.0f);
    EXPECT_EQ(params.sizeFaceZBehind, 250.0f);
    EXPECT_EQ(params.topLeftMaskX, 30);
    EXPECT_EQ(params.topLeftMaskY, 15);
    EXPECT_EQ(params.bottomRightMaskX, 290);
    EXPECT_EQ(params.bottomRightMaskY, 220);
    EXPECT_EQ(params.minDepthMask, 500.0f);
    EXPECT_EQ(params.maxDepthMask, 1500.0f);
    EXPECT_EQ(params.maxRotation, 0.3f);
    EXPECT_EQ(params.maxTranslation, 150.0f);
}

TEST(InitParameters, AValueThatDoesNotParseEndsTheReading) {
    std::istringstream in("SIZE_FACE_Y: 70 below MAX_ROTATION: 0.5");
    CInitParameters params;
    params.Read(&in);
    EXPECT_EQ(params.sizeFaceYAbove, 70);
    EXPECT_EQ(params.sizeFaceYBelow, 30);
    EXPECT_EQ(params.maxRotation, 0.32f);
}

}  // namespace
