#include "synth/MotionBlur.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace {

const double kDeg = CV_PI / 180.0;
const double kSlideMm = 15.0;

// A head sliding sideways 15 mm a frame (6 pixels) while turning 2 degrees a frame.
std::vector<CRigidMotion> Sliding(int frames) {
    std::vector<CRigidMotion> poses;
    for (int k = 0; k < frames; ++k)
        poses.push_back(CRigidMotion::FromRotationVector({0, 2.0 * k * kDeg, 0}, {kSlideMm * k, 0, 950}));
    return poses;
}

double GradientEnergy(const cv::Mat& image) {
    cv::Mat gx;
    cv::Sobel(image, gx, CV_32F, 1, 0);
    return cv::norm(gx, cv::NORM_L2SQR);
}

TEST(ShutterPoses, SpanTheShutterCentredOnTheFrameAndStayStillAtTheEnds) {
    const std::vector<CRigidMotion> poses = Sliding(5);
    EXPECT_TRUE(ShutterPoses(poses, 2, 0.0).empty());
    const std::vector<CRigidMotion> open = ShutterPoses(poses, 2, 0.5);
    ASSERT_EQ(open.size(), static_cast<std::size_t>(kShutterSamples));
    // Half a frame's motion, centred on frame 2, sampled at the middles of its eighths.
    const double step = 0.5 / kShutterSamples;
    EXPECT_NEAR(open.front().Translation()[0], kSlideMm * (2.0 - 0.25 + step / 2), 1e-9);
    EXPECT_NEAR(open.back().Translation()[0], kSlideMm * (2.0 + 0.25 - step / 2), 1e-9);
    EXPECT_NEAR(open.back().RotationAngle() / kDeg, 4.0 + 2.0 * (0.25 - step / 2), 1e-9);
    double meanX = 0.0;
    for (const CRigidMotion& pose : open) meanX += pose.Translation()[0] / open.size();
    EXPECT_NEAR(meanX, 2.0 * kSlideMm, 1e-9);
    // Past the last frame the head is still: the later half of the shutter holds the last pose.
    const std::vector<CRigidMotion> last = ShutterPoses(poses, 4, 0.5);
    EXPECT_NEAR(last.back().Translation()[0], 4.0 * kSlideMm, 1e-9);
    EXPECT_LT(last.front().Translation()[0], 4.0 * kSlideMm);
}

TEST(ShutterPoses, TurnAlongTheShortestArcBetweenFrames) {
    // 170 to -170 degrees of yaw: the head passes through 180, not back through 0.
    const std::vector<CRigidMotion> poses = {CRigidMotion::FromRotationVector({0, 170 * kDeg, 0}, {0, 0, 950}),
                                             CRigidMotion::FromRotationVector({0, -170 * kDeg, 0}, {0, 0, 950})};
    for (const CRigidMotion& pose : ShutterPoses(poses, 1, 1.0))
        EXPECT_GT(pose.RotationAngle() / kDeg, 169.0);
}

TEST(MotionBlur, BlursTheMovingHeadAndKeepsTheFrameInstantsDepth) {
    SceneOptions options;
    std::string error;
    const auto sharpScene = CHeadScene::Create(options, &error);
    options.shutterShare = 1.0;
    const auto blurredScene = CHeadScene::Create(options, &error);
    ASSERT_TRUE(sharpScene && blurredScene) << error;
    const std::vector<CRigidMotion> poses = Sliding(4);
    const RenderedFrame sharp = RenderSequenceFrame(*sharpScene, poses, 2, 2);
    const RenderedFrame blurred = RenderSequenceFrame(*blurredScene, poses, 2, 2);
    EXPECT_EQ(cv::norm(sharp.z, blurred.z, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(sharp.headMask, blurred.headMask, cv::NORM_INF), 0.0);
    const cv::Rect face(110, 60, 100, 120);
    // The blur smooths the face's texture in both cameras...
    EXPECT_LT(GradientEnergy(blurred.left(face)), 0.85 * GradientEnergy(sharp.left(face)));
    EXPECT_LT(GradientEnergy(blurred.right(face)), 0.85 * GradientEnergy(sharp.right(face)));
    // ...but the blurred face stays where the sharp one is.
    cv::Mat sharpF, blurredF;
    sharp.left(face).convertTo(sharpF, CV_32F);
    blurred.left(face).convertTo(blurredF, CV_32F);
    EXPECT_LT(cv::mean(cv::abs(sharpF - blurredF))[0], 12.0);
    // A still head is not blurred.
    const std::vector<CRigidMotion> still(3, poses[0]);
    EXPECT_EQ(cv::norm(RenderSequenceFrame(*sharpScene, still, 1, 1).left,
                       RenderSequenceFrame(*blurredScene, still, 1, 1).left, cv::NORM_INF),
              0.0);
}

TEST(MotionBlur, RefusesAShutterBeyondTheFrameInterval) {
    SceneOptions options;
    options.shutterShare = 1.5;
    std::string error;
    EXPECT_EQ(CHeadScene::Create(options, &error), nullptr);
    EXPECT_NE(error.find("shutter"), std::string::npos);
}

}  // namespace
