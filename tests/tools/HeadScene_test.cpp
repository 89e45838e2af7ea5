#include "synth/HeadScene.h"

#include <cmath>

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
    static void TearDownTestSuite() { delete scene_; }
    static CHeadScene* scene_;
};

CHeadScene* HeadSceneTest::scene_ = nullptr;

// Distance along the ray (slopeX, slopeY, 1) from the left camera to the ellipsoid, or -1 when the
// ray misses; solved in camera coordinates, apart from the renderer's head-frame solution.
double ExpectedHit(const CRigidMotion& pose, const cv::Vec3d& axes, double slopeX, double slopeY) {
    const cv::Matx33d inverseSquares = cv::Matx33d::diag({1 / (axes[0] * axes[0]), 1 / (axes[1] * axes[1]),
                                                          1 / (axes[2] * axes[2])});
    const cv::Matx33d form = pose.Rotation() * inverseSquares * pose.Rotation().t();
    const cv::Vec3d d(slopeX, slopeY, 1.0), w = -pose.Translation();
    const double a = d.dot(form * d), b = 2.0 * d.dot(form * w), c = w.dot(form * w) - 1.0;
    const double discriminant = b * b - 4 * a * c;
    return discriminant < 0 ? -1.0 : (-b - std::sqrt(discriminant)) / (2 * a);
}

TEST_F(HeadSceneTest, EveryPixelSeesTheNearestSurfaceOnItsOwnRay) {
    const SceneOptions& o = scene_->Options();
    const StereoRig& c = o.camera;
    for (const CRigidMotion& pose : {kRest, CRigidMotion::FromRotationVector({0.2, -0.5, 0.3}, {-60, 40, 1000})}) {
        const RenderedFrame frame = scene_->Render(pose);
        for (int j = 0; j < c.height; ++j)
            for (int i = 0; i < c.width; ++i) {
                const double slopeX = (i - c.centreX) / c.focalPx, slopeY = (j - c.centreY) / c.focalPx;
                const double hit = ExpectedHit(pose, o.headSemiAxesMm, slopeX, slopeY);
                const double z = frame.z.at<float>(j, i);
                ASSERT_EQ(frame.headMask.at<unsigned char>(j, i), hit > 0 ? 1 : 0) << i << ", " << j;
                ASSERT_NEAR(z, hit > 0 ? hit : o.backgroundDistanceMm, 1e-3) << i << ", " << j;
                ASSERT_NEAR(frame.x.at<float>(j, i), slopeX * z, 1e-3);
                ASSERT_NEAR(frame.y.at<float>(j, i), slopeY * z, 1e-3);  // Y down
            }
        EXPECT_GT(cv::countNonZero(frame.headMask), 2000);
    }
    EXPECT_FLOAT_EQ(scene_->Render(kRest).z.at<float>(120, 160), 860.0f);  // the face's front
}

TEST_F(HeadSceneTest, RightCameraSitsOneBaselineAlongX) {
    // With the head hidden behind it, the plane at 1800 mm shifts by exactly 380 * 90 / 1800 = 19 px.
    const RenderedFrame frame = scene_->Render(CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 5000}));
    EXPECT_LE(cv::norm(frame.left.colRange(19, 320), frame.right.colRange(0, 301), cv::NORM_INF), 1.0);
    EXPECT_GT(cv::norm(frame.left.colRange(0, 301), frame.right.colRange(19, 320), cv::NORM_INF), 50.0);
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
            const int column = 160 - (j - 120), row = 120 + (i - 160);
            const int difference = a.left.at<unsigned char>(j, i) - b.left.at<unsigned char>(row, column);
            ASSERT_LE(std::abs(difference), 1) << i << ", " << j;
            ASSERT_NEAR(a.z.at<float>(j, i), b.z.at<float>(row, column), 1e-3);
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
    EXPECT_EQ(cv::norm(first.left, last.left, cv::NORM_INF) + cv::norm(first.right, last.right, cv::NORM_INF) +
                  cv::norm(first.x, last.x, cv::NORM_INF) + cv::norm(first.y, last.y, cv::NORM_INF) +
                  cv::norm(first.z, last.z, cv::NORM_INF),
              0.0);
}

TEST_F(HeadSceneTest, NoiseIsSeededPerFrameAndKeepsPointsOnTheirRays) {
    SceneOptions noisy;
    noisy.intensityNoiseSigma = 4.0;
    noisy.depthNoiseSigmaMm = 2.0;
    const auto scene = CHeadScene::Create(noisy, nullptr);
    ASSERT_NE(scene, nullptr);
    const RenderedFrame clean = scene_->Render(kRest);
    const RenderedFrame a = scene->Render(kRest, 7), again = scene->Render(kRest, 7), other = scene->Render(kRest, 8);
    EXPECT_EQ(cv::norm(a.left, again.left, cv::NORM_INF) + cv::norm(a.z, again.z, cv::NORM_INF), 0.0);
    EXPECT_GT(cv::norm(a.left, other.left, cv::NORM_L1), 0.0);
    cv::Scalar mean, deviation;
    cv::meanStdDev(a.z - clean.z, mean, deviation);
    EXPECT_NEAR(deviation[0], 2.0, 0.1);
    cv::meanStdDev(cv::Mat_<float>(a.left) - cv::Mat_<float>(clean.left), mean, deviation);
    EXPECT_NEAR(deviation[0], 4.0, 0.3);
    cv::Mat slopeX(1, 320, CV_32F);
    for (int i = 0; i < 320; ++i) slopeX.at<float>(i) = (i - 160.0f) / 380.0f;
    EXPECT_LT(cv::norm(a.x, a.z.mul(cv::repeat(slopeX, 240, 1)), cv::NORM_INF), 1e-3);
}

TEST_F(HeadSceneTest, CascadeFindsTheFaceAtTheDefaultDistance) {
    cv::CascadeClassifier cascade("/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml");
    ASSERT_FALSE(cascade.empty());
    const RenderedFrame frame = scene_->Render(kRest);
    // The head centre projects to column 160 in the left view, 40 px further left in the right one.
    for (const auto& [image, headColumn] : {std::make_pair(&frame.left, 160), std::make_pair(&frame.right, 120)}) {
        std::vector<cv::Rect> faces;
        cascade.detectMultiScale(*image, faces, 1.1, 3, 0, cv::Size(20, 20));
        ASSERT_EQ(faces.size(), 1u);
        EXPECT_GE(faces[0].width, 30);
        EXPECT_LE(faces[0].width, 45);
        EXPECT_NEAR(faces[0].x + faces[0].width / 2, headColumn, 8);
        EXPECT_NEAR(faces[0].y + faces[0].height / 2, 120, 10);
    }
}

TEST(HeadSceneOptions, RefusesMissingPhotographsAndImpossibleGeometry) {
    std::string error;
    SceneOptions missing;
    missing.faceImagePath = "/nonexistent/face.png";
    EXPECT_EQ(CHeadScene::Create(missing, &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/face.png"), std::string::npos);
    for (auto change : {+[](SceneOptions& o) { o.camera.focalPx = 0; }, +[](SceneOptions& o) { o.headSemiAxesMm[1] = -1; },
                        +[](SceneOptions& o) { o.depthNoiseSigmaMm = -1; },
                        +[](SceneOptions& o) { o.backgroundDistanceMm = std::nan(""); }}) {
        SceneOptions options;
        change(options);
        EXPECT_EQ(CHeadScene::Create(options, nullptr), nullptr);
    }
}

}  // namespace
