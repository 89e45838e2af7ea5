#include "acquisition/StereoSourceParameters.h"

#include <sstream>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "common/ConfigReader.h"

namespace {

TEST(StereoSourceParameters, ReadsEveryKeywordByTheTokenRules) {
    std::istringstream in(
        "# MAX_FRAMES: 1\nCAMERA_TYPE: FILES CAMERA_TYPE: KINECT CONFIG_FILENAME: rec.cfg PRECOMPUTED_POSES_FILENAME: "
        "p.txt NB_LEVEL: 3 NB_FRAME_BY_LEVEL: 4 SCALE_NUMERATOR: 1 SCALE_DENOMINATOR: 3 junk 5 TOP_LEFT_MASK: 10 20 "
        "BOTTOM_RIGHT_MASK: 110 220 MAX_FRAMES: 7 MAX_FRAMES: 9 MIN_DEPTH_MASK: 0.5 MAX_DEPTH_MASK: 1.25 "
        "PROJECTION: PERSPECTIVE PROJECTION: ortho TOP_LEFT_MASK: 3 y MAX_FRAMES: 2");
    CStereoSourceParameters p;
    p.Read(&in);
    EXPECT_EQ(std::make_tuple(p.cameraType, p.configFilename, p.precomputedPosesFilename, p.projection),
              std::make_tuple(2, std::string("rec.cfg"), std::string("p.txt"), 2));
    EXPECT_EQ(std::make_tuple(p.nbLevel, p.nbFrameByLevel, p.scaleNumerator, p.scaleDenominator, p.maxFrames),
              std::make_tuple(3, 4, 1, 3, 9));
    // The reading stopped at "y": the second TOP_LEFT_MASK kept only its x.
    EXPECT_EQ(std::make_tuple(p.topLeftMaskX, p.topLeftMaskY, p.bottomRightMaskX, p.bottomRightMaskY),
              std::make_tuple(3, 20, 110, 220));
    EXPECT_EQ(std::make_tuple(p.minDepthMask, p.maxDepthMask), std::make_tuple(0.5f, 1.25f));
}

TEST(StereoSourceParameters, RefusesMoreFramesThanItsCeilingAndTakesTheCameraFileFromItsFolder) {
    std::istringstream in("MAX_FRAMES: 50 MAX_FRAMES: 5000 CONFIG_FILENAME: camera.cfg");
    CConfigReader::SetOrigin(in, "/cfg/Param.cfg");
    CStereoSourceParameters p;
    ::testing::internal::CaptureStderr();
    p.Read(&in);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(p.maxFrames, 50);
    EXPECT_NE(said.find("/cfg/Param.cfg: MAX_FRAMES: 5000 refused (at most 500 frames"), std::string::npos) << said;
    EXPECT_NE(said.find("keeping 50"), std::string::npos) << said;
    EXPECT_EQ(p.configFilename, "/cfg/camera.cfg");
}

}  // namespace
