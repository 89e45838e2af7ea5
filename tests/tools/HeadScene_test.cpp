#include "synth/HeadScene.h"

#include <cmath>
#include <memory>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include "synth/Trajectory.h"

namespace {

const CRigidMotion kRest = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950});

class HeadSceneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        scene_ = CHeadScene::Create(SceneOptions(), &error).release();
        ASSERT_NE(scene_, nullptr) << error;
    }
    static void TearDownTestSuite() {
        delete scene_;
        scene_ = nullptr;
    }
    static CHeadScene* scene_;
};

CHeadScene* HeadSceneTest::scene_ = nullptr;

// Distance along the ray (slopeX, slopeY, 1) from `origin` to the ellipsoid of `pose`, or -1 when the
// ray misses: solved here in camera coordinates, apart from the renderer's head-frame solution.
double ExpectedHit(const CRigidMotion& pose, const cv::Vec3d& axes, const cv::Vec3d& origin, double slopeX,
                   double slopeY) {
    // Points q with (q - t)^T R D^-2 R^T (q - t) = 1.
    const cv::Matx33d inverseSquares(1 / (axes[0] * axes[0]), 0, 0, 0, 1 / (axes[1] * axes[1]), 0, 0, 0,
                                     1 / (axes[2] * axes[2]));
    const cv::Matx33d form = pose.Rotation() * inverseSquares * pose.Rotation().t();
    const cv::Vec3d d(slopeX, slopeY, 1.0), w = origin - pose.Translation();
    const double a = d.dot(form * d), b = 2.0 * d.dot(form * w), c = w.dot(form * w) - 1.0;
    const double discriminant = b * b - 4 * a * c;
    if (discriminant < 0) return -1.0;
    return (-b - std::sqrt(discriminant)) / (2 * a);
}

TEST_F(HeadSceneTest, CentreRayMeetsTheHeadFrontAtTheExpectedDepth) {
    const RenderedFrame frame = scene_->Render(kRest);
    EXPECT_FLOAT_EQ(frame.z.at<float>(120, 160), 860.0f);
    EXPECT_FLOAT_EQ(frame.x.at<float>(120, 160), 0.0f);
    EXPECT_FLOAT_EQ(frame.y.at<float>(120, 160), 0.0f);
    EXPECT_EQ(frame.headMask.at<unsigned char>(120, 160), 1);
    // Below the centre the surface is farther and Y is positive: Y points down.
    EXPECT_GT(frame.y.at<float>(150, 160), 0.0f);
    EXPECT_GT(frame.z.at<float>(150, 160), 860.0f);
}

TEST_F(HeadSceneTest, EveryPixelSeesTheNearestSurfaceOnItsOwnRay) {
    const SceneOptions& o = scene_->Options();
    const StereoRig& c = o.camera;
    const CRigidMotion pose = CRigidMotion::FromRotationVector({0.2, -0.5, 0.3}, {-60, 40, 1000});
    const RenderedFrame frame = scene_->Render(pose);
    int headPixels = 0;
    for (int j = 0; j < c.height; ++j)
        for (int i = 0; i < c.width; ++i) {
            const double slopeX = (i - c.centreX) / c.focalPx, slopeY = (j - c.centreY) / c.focalPx;
            const double hit = ExpectedHit(pose, o.headSemiAxesMm, {0, 0, 0}, slopeX, slopeY);
            const double z = frame.z.at<float>(j, i);
            const bool onHead = hit > 0;
            ASSERT_EQ(frame.headMask.at<unsigned char>(j, i), onHead ? 1 : 0) << "pixel " << i << ", " << j;
            ASSERT_NEAR(z, onHead ? hit : o.backgroundDistanceMm, 1e-3) << "pixel " << i << ", " << j;
            ASSERT_NEAR(frame.x.at<float>(j, i), slopeX * z, 1e-3);
            ASSERT_NEAR(frame.y.at<float>(j, i), slopeY * z, 1e-3);
            headPixels += onHead;
        }
    EXPECT_GT(headPixels, 2000);
}

TEST_F(HeadSceneTest, RightCameraSitsOneBaselineAlongX) {
    // The plane at 1800 mm has a disparity of exactly 380 * 90 / 1800 = 19 pixels.
    const RenderedFrame frame = scene_->Render(CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 5000}));
    double largest = 0.0;
    for (int j = 0; j < 240; ++j)
        for (int i = 19; i < 320; ++i)
            largest = std::max(largest, std::abs(frame.left.at<unsigned char>(j, i) - double(frame.right.at<unsigned char>(j, i - 19))));
    EXPECT_LE(largest, 1.0);
    // The same test against a shift the other way fails, so the comparison has teeth.
    EXPECT_GT(cv::norm(frame.left.colRange(0, 301), frame.right.colRange(19, 320), cv::NORM_L1), 1e5);
}

// Mean absolute difference between frame a's head pixels and where their surface points land in b.
double WarpError(const RenderedFrame& a, const RenderedFrame& b, const CRigidMotion& motion, const StereoRig& c) {
    cv::Mat inside;
    cv::erode(a.headMask, inside, cv::Mat(), cv::Point(-1, -1), 4);
    double sum = 0.0;
    int count = 0;
    for (int j = 0; j < c.height; ++j)
        for (int i = 0; i < c.width; ++i) {
            if (!inside.at<unsigned char>(j, i)) continue;
            const cv::Vec3d p = motion.Apply({a.x.at<float>(j, i), a.y.at<float>(j, i), a.z.at<float>(j, i)});
            const cv::Point2f at(static_cast<float>(c.centreX + c.focalPx * p[0] / p[2]),
                                 static_cast<float>(c.centreY + c.focalPx * p[1] / p[2]));
            cv::Mat sample;
            cv::getRectSubPix(b.left, cv::Size(1, 1), at, sample, CV_32F);
            sum += std::abs(sample.at<float>(0, 0) - a.left.at<unsigned char>(j, i));
            ++count;
        }
    return count ? sum / count : 1e9;
}

TEST_F(HeadSceneTest, SurfacePointsKeepTheirBrightnessAsTheHeadMoves) {
    const CRigidMotion moved = CRigidMotion::FromRotationVector({0.03, 0.08, -0.05}, {12, -8, 960});
    const RenderedFrame a = scene_->Render(kRest), b = scene_->Render(moved);
    const double tracked = WarpError(a, b, RelativeMotion(kRest, moved), scene_->Options().camera);
    const double unmoved = WarpError(a, b, CRigidMotion(), scene_->Options().camera);
    EXPECT_LT(tracked, 3.0);
    EXPECT_GT(unmoved, 4.0 * tracked);
}

TEST_F(HeadSceneTest, TextureTurnsWithTheHeadExactly) {
    // A quarter turn about the optical axis maps the pixel grid and its sub-pixel samples onto
    // themselves: (i, j) goes to (cx - (j - cy), cy + (i - cx)), and the surface point with it.
    const CRigidMotion pose = CRigidMotion::FromRotationVector({0.25, -0.3, 0.1}, {10, -5, 940});
    const CRigidMotion quarterTurn = CRigidMotion::FromRotationVector({0, 0, std::acos(0.0)}, {0, 0, 0});
    const RenderedFrame a = scene_->Render(pose), b = scene_->Render(quarterTurn * pose);
    cv::Mat inside;
    cv::erode(a.headMask, inside, cv::Mat(), cv::Point(-1, -1), 2);
    int compared = 0, equal = 0;
    for (int j = 0; j < 240; ++j)
        for (int i = 40; i < 280; ++i) {
            if (!inside.at<unsigned char>(j, i)) continue;
            const int turnedColumn = 160 - (j - 120), turnedRow = 120 + (i - 160);
            const int difference = a.left.at<unsigned char>(j, i) - b.left.at<unsigned char>(turnedRow, turnedColumn);
            ASSERT_LE(std::abs(difference), 1) << "pixel " << i << ", " << j;
            ASSERT_NEAR(a.z.at<float>(j, i), b.z.at<float>(turnedRow, turnedColumn), 1e-3);
            equal += difference == 0;
            ++compared;
        }
    EXPECT_GT(compared, 2000);
    EXPECT_GT(equal, 0.99 * compared);
}

TEST_F(HeadSceneTest, StillTrajectoryRendersIdenticalFrames) {
    TrajectoryOptions still;
    still.frameCount = 5;
    std::vector<CRigidMotion> poses;
    ASSERT_TRUE(MakeTrajectory(still, poses, nullptr));
    const RenderedFrame first = scene_->Render(poses.front(), 0), last = scene_->Render(poses.back(), 4);
    for (auto pair : {std::make_pair(&first.left, &last.left), std::make_pair(&first.right, &last.right),
                      std::make_pair(&first.x, &last.x), std::make_pair(&first.y, &last.y),
                      std::make_pair(&first.z, &last.z)})
        EXPECT_EQ(cv::norm(*pair.first, *pair.second, cv::NORM_INF), 0.0);
}

TEST_F(HeadSceneTest, NoiseIsSeededPerFrameAndKeepsPointsOnTheirRays) {
    SceneOptions noisy;
    noisy.intensityNoiseSigma = 4.0;
    noisy.depthNoiseSigmaMm = 2.0;
    std::string error;
    const auto scene = CHeadScene::Create(noisy, &error);
    ASSERT_NE(scene, nullptr) << error;
    const RenderedFrame clean = scene_->Render(kRest);
    const RenderedFrame a = scene->Render(kRest, 7), again = scene->Render(kRest, 7), other = scene->Render(kRest, 8);
    EXPECT_EQ(cv::norm(a.left, again.left, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(a.z, again.z, cv::NORM_INF), 0.0);
    EXPECT_GT(cv::norm(a.left, other.left, cv::NORM_L1), 0.0);

    cv::Mat depthError = a.z - clean.z, greyError;
    cv::Mat(cv::Mat_<float>(a.left) - cv::Mat_<float>(clean.left)).copyTo(greyError);
    cv::Scalar mean, deviation;
    cv::meanStdDev(depthError, mean, deviation);
    EXPECT_NEAR(deviation[0], 2.0, 0.1);
    cv::meanStdDev(greyError, mean, deviation);
    EXPECT_NEAR(deviation[0], 4.0, 0.3);
    const StereoRig& c = noisy.camera;
    for (int j = 0; j < c.height; j += 7)
        for (int i = 0; i < c.width; i += 7) {
            ASSERT_NEAR(a.x.at<float>(j, i), (i - c.centreX) / c.focalPx * a.z.at<float>(j, i), 1e-3);
            ASSERT_NEAR(a.y.at<float>(j, i), (j - c.centreY) / c.focalPx * a.z.at<float>(j, i), 1e-3);
        }
}

TEST_F(HeadSceneTest, CascadeFindsTheFaceAtTheDefaultDistance) {
    cv::CascadeClassifier cascade("/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml");
    ASSERT_FALSE(cascade.empty());
    const RenderedFrame frame = scene_->Render(kRest);
    for (const cv::Mat* image : {&frame.left, &frame.right}) {
        std::vector<cv::Rect> faces;
        cascade.detectMultiScale(*image, faces, 1.1, 3, 0, cv::Size(20, 20));
        ASSERT_EQ(faces.size(), 1u);
        EXPECT_GE(faces[0].width, 30);
        EXPECT_LE(faces[0].width, 45);
        // On the head: the left view's head centre projects to (160, 120), the right one's 40 px left.
        const cv::Point centre = (faces[0].tl() + faces[0].br()) / 2;
        const int headColumn = image == &frame.left ? 160 : 160 - 40;
        EXPECT_NEAR(centre.x, headColumn, 8);
        EXPECT_NEAR(centre.y, 120, 10);
    }
}

TEST(HeadSceneOptions, RefusesMissingPhotographsAndImpossibleGeometry) {
    std::string error;
    SceneOptions missing;
    missing.faceImagePath = "/nonexistent/face.png";
    EXPECT_EQ(CHeadScene::Create(missing, &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/face.png"), std::string::npos);
    for (auto change : {+[](SceneOptions& o) { o.camera.focalPx = 0; }, +[](SceneOptions& o) { o.headSemiAxesMm[1] = -1; },
                        +[](SceneOptions& o) { o.camera.width = 0; }, +[](SceneOptions& o) { o.depthNoiseSigmaMm = -1; },
                        +[](SceneOptions& o) { o.backgroundDistanceMm = std::nan(""); }}) {
        SceneOptions options;
        change(options);
        error.clear();
        EXPECT_EQ(CHeadScene::Create(options, &error), nullptr);
        EXPECT_FALSE(error.empty());
    }
}

TEST(HeadSceneOptions, CameraInsideTheHeadSeesOnlyTheBackground) {
    std::string error;
    const auto scene = CHeadScene::Create(SceneOptions(), &error);
    ASSERT_NE(scene, nullptr) << error;
    const RenderedFrame frame = scene->Render(CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 10}));
    EXPECT_EQ(cv::countNonZero(frame.headMask), 0);
    EXPECT_EQ(cv::norm(frame.z, cv::NORM_INF), 1800.0);
}

}  // namespace
