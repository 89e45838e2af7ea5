#include "init/InitParameters.h"

#include <sstream>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

namespace {

TEST(InitParameters, ReadsEveryKeyKeepsTheLastValueAndSkipsComments) {
    std::istringstream in(
        "# detection\nMAX_DISTANCE_CORNER: 4.5 MIN_CORNER_MATCHES: 2 NB_DETECT_BEFORE_INIT: 5\n"
        "THRESHOLD_NB_HIT: 4 THRESHOLD_NB_HIT_KEEP: 2 THRESHOLD_TIME: -2 THRESHOLD_PIXEL_MASK: 350.5 stray tokens\n"
        "SIZE_FACE_X: 50 SIZE_FACE_Y: 70 20 SIZE_FACE_Z: 350 250 # SIZE_FACE_X: 99\n"
        "TOP_LEFT_MASK: 30 15 BOTTOM_RIGHT_MASK: 290 220 MIN_DEPTH_MASK: 500 MAX_DEPTH_MASK: 1500\n"
        "MAX_ROTATION: 0.25 MAX_TRANSLATION: 150 MAX_ROTATION: 0.3 WINDOW_SIZES: 7 MIN_BACKGROUND_GAP: 150\n"
        "MIN_FACE_DEPTH_SHARE: 0.5\n");
    CInitParameters p;
    p.Read(&in);
    EXPECT_EQ(p.maxDistanceCorner, 4.5f);
    EXPECT_EQ(p.minCornerMatches, 2);
    EXPECT_EQ(p.nbDetectBeforeInit, 5);
    EXPECT_EQ(p.thresholdNbHit, 4);
    EXPECT_EQ(p.thresholdNbHitKeep, 2);
    EXPECT_EQ(p.thresholdTime, -2);
    EXPECT_EQ(p.thresholdPixelMask, 350.5);
    EXPECT_EQ(p.sizeFaceX, 50);
    EXPECT_EQ(p.sizeFaceYAbove, 70);
    EXPECT_EQ(p.sizeFaceYBelow, 20);
    EXPECT_EQ(p.sizeFaceZFront, 350.0f);
    EXPECT_EQ(p.sizeFaceZBehind, 250.0f);
    EXPECT_EQ(p.topLeftMaskX, 30);
    EXPECT_EQ(p.topLeftMaskY, 15);
    EXPECT_EQ(p.bottomRightMaskX, 290);
    EXPECT_EQ(p.bottomRightMaskY, 220);
    EXPECT_EQ(p.minDepthMask, 500.0f);
    EXPECT_EQ(p.maxDepthMask, 1500.0f);
    EXPECT_EQ(p.maxRotation, 0.3f);
    EXPECT_EQ(p.maxTranslation, 150.0f);
    EXPECT_EQ(p.windowSizes, 7);
    EXPECT_EQ(p.minBackgroundGap, 150.0f);
    EXPECT_EQ(p.minFaceDepthShare, 0.5f);
    EXPECT_EQ(CInitParameters().minBackgroundGap, 0.0f);  // every candidate taken, as before
    EXPECT_EQ(CInitParameters().minFaceDepthShare, 0.0f);
}

TEST(InitParameters, AValueThatDoesNotParseEndsTheReading) {
    std::istringstream in("SIZE_FACE_Y: 70 below MAX_ROTATION: 0.5");
    CInitParameters p;
    p.Read(&in);
    EXPECT_EQ(p.sizeFaceYAbove, 70);
    EXPECT_EQ(p.sizeFaceYBelow, 30);
    EXPECT_EQ(p.maxRotation, 0.32f);
}

TEST(InitParameters, RefusesValuesThatCannotWorkAndKeepsThePreviousOnes) {
    std::istringstream in("SIZE_FACE_X: 2147483000 SIZE_FACE_Y: 70 -5 SIZE_FACE_Z: -1 250 MIN_CORNER_MATCHES: 5\n"
                          "MAX_DISTANCE_CORNER: -1 MAX_ROTATION: -0.1 MAX_TRANSLATION: -3 MIN_DEPTH_MASK: 2000\n"
                          "TOP_LEFT_MASK: 300 10 WINDOW_SIZES: 17 WINDOW_SIZES: 0 MIN_BACKGROUND_GAP: -1\n"
                          "MIN_FACE_DEPTH_SHARE: 1.5");
    CInitParameters p;
    ::testing::internal::CaptureStderr();
    p.Read(&in);
    const std::string said = ::testing::internal::GetCapturedStderr();
    const CInitParameters defaults;
    EXPECT_EQ(std::make_tuple(p.sizeFaceX, p.sizeFaceYAbove, p.sizeFaceYBelow, p.sizeFaceZFront, p.sizeFaceZBehind),
              std::make_tuple(60, 70, 30, 400.0f, 250.0f));
    EXPECT_EQ(std::make_tuple(p.minCornerMatches, p.maxDistanceCorner, p.maxRotation, p.maxTranslation),
              std::make_tuple(3, 6.0f, 0.32f, 200.0f));
    EXPECT_EQ(p.windowSizes, 4);
    EXPECT_EQ(p.minBackgroundGap, 0.0f);
    EXPECT_EQ(p.minFaceDepthShare, 0.0f);
    // Bounds that leave nothing between them go back to their defaults, both of them.
    EXPECT_EQ(std::make_tuple(p.minDepthMask, p.maxDepthMask, p.topLeftMaskX, p.bottomRightMaskX),
              std::make_tuple(defaults.minDepthMask, defaults.maxDepthMask, 25, 295));
    for (const char* line : {"ParamInit.cfg: SIZE_FACE_X: 2147483000 refused", "ParamInit.cfg: SIZE_FACE_Y: -5 refused",
                             "ParamInit.cfg: SIZE_FACE_Z: -1 refused", "ParamInit.cfg: MIN_CORNER_MATCHES: 5 refused",
                             "ParamInit.cfg: MAX_DISTANCE_CORNER: -1 refused", "ParamInit.cfg: MAX_ROTATION: -0.1 refused",
                             "ParamInit.cfg: MAX_TRANSLATION: -3 refused", "ParamInit.cfg: MIN_DEPTH_MASK: 2000 refused",
                             "ParamInit.cfg: TOP_LEFT_MASK: 300 10 refused", "ParamInit.cfg: WINDOW_SIZES: 17 refused",
                             "ParamInit.cfg: WINDOW_SIZES: 0 refused", "ParamInit.cfg: MIN_BACKGROUND_GAP: -1 refused",
                             "ParamInit.cfg: MIN_FACE_DEPTH_SHARE: 1.5 refused"})
        EXPECT_NE(said.find(line), std::string::npos) << line << " in\n" << said;
}

}  // namespace
