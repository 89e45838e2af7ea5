#include "acquisition/StereoSourceParameters.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

CStereoSourceParameters ReadParameters(const std::string& text) {
    std::istringstream in(text);
    CStereoSourceParameters parameters;
    parameters.Read(&in);
    return parameters;
}

TEST(StereoSourceParameters, ReadsEveryKeyword) {
    const CStereoSourceParameters p = ReadParameters(
        "CAMERA_TYPE: FILES CONFIG_FILENAME: rec.cfg PRECOMPUTED_POSES_FILENAME: poses.txt NB_LEVEL: 3\n"
        "NB_FRAME_BY_LEVEL: 4 SCALE_NUMERATOR: 1 SCALE_DENOMINATOR: 3 TOP_LEFT_MASK: 10 20\n"
        "BOTTOM_RIGHT_MASK: 110 220 MAX_FRAMES: 7 MIN_DEPTH_MASK: 0.5 MAX_DEPTH_MASK: 1.25 PROJECTION: PERSPECTIVE");
    EXPECT_EQ(p.cameraType, CStereoSourceParameters::CAMERA_FILES);
    EXPECT_EQ(p.configFilename, "rec.cfg");
    EXPECT_EQ(p.precomputedPosesFilename, "poses.txt");
    EXPECT_EQ(p.nbLevel, 3);
    EXPECT_EQ(p.nbFrameByLevel, 4);
    EXPECT_EQ(p.scaleNumerator, 1);
    EXPECT_EQ(p.scaleDenominator, 3);
    EXPECT_EQ(p.topLeftMaskX, 10);
    EXPECT_EQ(p.topLeftMaskY, 20);
    EXPECT_EQ(p.bottomRightMaskX, 110);
    EXPECT_EQ(p.bottomRightMaskY, 220);
    EXPECT_EQ(p.maxFrames, 7);
    EXPECT_FLOAT_EQ(p.minDepthMask, 0.5f);
    EXPECT_FLOAT_EQ(p.maxDepthMask, 1.25f);
    EXPECT_EQ(p.projection, CStereoSourceParameters::PROJECTION_PERSPECTIVE);
}

TEST(StereoSourceParameters, CameraAndConfigFileAloneLeaveTheOtherDefaults) {
    const CStereoSourceParameters p = ReadParameters("CAMERA_TYPE: FILES\nCONFIG_FILENAME: rec.cfg\n");
    EXPECT_EQ(p.cameraType, CStereoSourceParameters::CAMERA_FILES);
    EXPECT_EQ(p.maxFrames, 100);
    EXPECT_EQ(p.topLeftMaskX, -1);
    EXPECT_EQ(p.bottomRightMaskY, -1);
    EXPECT_FLOAT_EQ(p.minDepthMask, -1.0f);
    EXPECT_EQ(p.projection, CStereoSourceParameters::PROJECTION_ORTHOGONAL);
}

TEST(StereoSourceParameters, FollowsTheTokenRules) {
    const CStereoSourceParameters p = ReadParameters(
        "# MAX_FRAMES: 1\nCAMERA_TYPE: TRICLOPS CAMERA_TYPE: KINECT PROJECTION: ortho junk 5 MAX_FRAMES: 4 "
        "MAX_FRAMES: 9 TOP_LEFT_MASK: 3 y MAX_FRAMES: 2");
    EXPECT_EQ(p.cameraType, CStereoSourceParameters::CAMERA_TRICLOPS);
    EXPECT_EQ(p.projection, CStereoSourceParameters::PROJECTION_ORTHOGONAL);
    EXPECT_EQ(p.maxFrames, 9);
    EXPECT_EQ(p.topLeftMaskX, 3);
    EXPECT_EQ(p.topLeftMaskY, -1);  // the reading stopped here
}

TEST(StereoSourceParameters, ANullStreamKeepsTheDefaults) {
    CStereoSourceParameters p;
    p.Read(nullptr);
    EXPECT_EQ(p.cameraType, CStereoSourceParameters::CAMERA_SRI);
    EXPECT_EQ(p.maxFrames, 100);
}

}  // namespace
