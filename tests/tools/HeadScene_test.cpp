#include "synth/HeadScene.h"

#include <cmath>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>
#include <unistd.h>

#include "init/FaceDetection.h"
#include "support/FaceTestData.h"
#include "support/HeadGeometry.h"
#include "synth/Trajectory.h"

namespace {

const CRigidMotion kRest = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950});

std::unique_ptr<CHeadScene> SceneWith(void (*change)(SceneOptions&)) {
    SceneOptions options;
    change(options);
    std::string error;
    auto scene = CHeadScene::Create(options, &error);
    EXPECT_NE(scene, nullptr) << error;
    return scene;
}

class HeadSceneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scene_ = CHeadScene::Create(SceneOptions(), nullptr).release();
        ASSERT_NE(scene_, nullptr);
    }
    static void TearDownTestSuite() { delete scene_; }
    static CHeadScene* scene_;  // the default: the relief head, unshaded
};

CHeadScene* HeadSceneTest::scene_ = nullptr;

TEST(EllipsoidHead, EveryPixelSeesTheNearestSurfaceOnItsOwnRay) {
    const auto scene = SceneWith([](SceneOptions& o) { o.head = HeadShape::kEllipsoid; });
    ASSERT_NE(scene, nullptr);
    const SceneOptions& o = scene->Options();
    const StereoRig& c = o.camera;
    for (const CRigidMotion& pose : {kRest, CRigidMotion::FromRotationVector({0.2, -0.5, 0.3}, {-60, 40, 1000})}) {
        const RenderedFrame frame = scene->Render(pose);
        for (int j = 0; j < c.height; ++j)
            for (int i = 0; i < c.width; ++i) {
                const double slopeX = (i - c.centreX) / c.focalPx, slopeY = (j - c.centreY) / c.focalPx;
                const double hit = headtest::EllipsoidHit(pose, o.headSemiAxesMm, slopeX, slopeY);
                const double z = frame.z.at<float>(j, i);
                ASSERT_EQ(frame.headMask.at<unsigned char>(j, i), hit > 0 ? 1 : 0) << i << ", " << j;
                ASSERT_NEAR(z, hit > 0 ? hit : o.backgroundDistanceMm, 1e-3) << i << ", " << j;
                ASSERT_NEAR(frame.x.at<float>(j, i), slopeX * z, 1e-3);
                ASSERT_NEAR(frame.y.at<float>(j, i), slopeY * z, 1e-3);  // Y down
            }
        EXPECT_GT(cv::countNonZero(frame.headMask), 2000);
    }
    EXPECT_FLOAT_EQ(scene->Render(kRest).z.at<float>(120, 160), 860.0f);  // the face's front
}

TEST_F(HeadSceneTest, RightCameraSitsOneBaselineAlongX) {
    // With the head hidden behind it, the plane at 1800 mm shifts by exactly 380 * 90 / 1800 = 19 px.
    const RenderedFrame frame = scene_->Render(CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 5000}));
    EXPECT_LE(cv::norm(frame.left.colRange(19, 320), frame.right.colRange(0, 301), cv::NORM_INF), 1.0);
    EXPECT_GT(cv::norm(frame.left.colRange(0, 301), frame.right.colRange(19, 320), cv::NORM_INF), 50.0);
}

TEST(MismatchedRightCamera, TakesItsExposureAndSitsItsRowsLower) {
    const RenderedFrame alike = SceneWith([](SceneOptions&) {})->Render(kRest);
    const RenderedFrame exposed = SceneWith([](SceneOptions& o) { o.right = {1.25, -20.0, 0.0}; })->Render(kRest);
    cv::Mat expected;
    alike.right.convertTo(expected, CV_8U, 1.25, -20.0);
    EXPECT_LE(cv::norm(exposed.right, expected, cv::NORM_INF), 1.0);
    EXPECT_EQ(cv::norm(exposed.left, alike.left, cv::NORM_INF), 0.0);
    // Two whole rows down: row j + 2 shows what row j showed.
    const RenderedFrame lowered = SceneWith([](SceneOptions& o) { o.right = {1.0, 0.0, 2.0}; })->Render(kRest);
    EXPECT_LE(cv::norm(lowered.right.rowRange(2, 240), alike.right.rowRange(0, 238), cv::NORM_INF), 1.0);
    EXPECT_GT(cv::norm(lowered.right, alike.right, cv::NORM_INF), 50.0);
    SceneOptions refused;
    refused.right.gain = 0.0;
    EXPECT_EQ(CHeadScene::Create(refused, nullptr), nullptr);
}

TEST(SwingingExposure, ScalesBothCamerasAlikeFrameByFrame) {
    const auto steady = SceneWith([](SceneOptions&) {});
    const auto swinging = SceneWith([](SceneOptions& o) { o.exposureSwing = 0.2; });
    // Frame 0 at the swing's centre, frame 22 near its top (sin(2 pi 22 / 90) = 0.9997).
    for (const unsigned frame : {0u, 22u}) {
        const RenderedFrame a = steady->Render(kRest, frame), b = swinging->Render(kRest, frame);
        const double gain = frame == 0 ? 1.0 : 1.0 + 0.2 * std::sin(2.0 * M_PI * 22.0 / 90.0);
        for (const auto& [plain, swung] : {std::make_pair(a.left, b.left), std::make_pair(a.right, b.right)}) {
            cv::Mat expected;
            plain.convertTo(expected, CV_8U, gain);
            EXPECT_LE(cv::norm(swung, expected, cv::NORM_INF), 1.0) << frame;
        }
    }
}

TEST(SkinTone, ScalesTheHeadsGreyLevelsAboutMidGreyAndLeavesTheWall) {
    const auto plain = SceneWith([](SceneOptions&) {});
    const auto dark = SceneWith([](SceneOptions& o) { o.skin = SkinTone{0.5, 70.0}; });
    const RenderedFrame a = plain->Render(kRest), b = dark->Render(kRest);
    cv::Mat expected;
    a.left.convertTo(expected, CV_32F, 0.5, 70.0 - 0.5 * 128.0);
    cv::Mat toned;
    b.left.convertTo(toned, CV_32F);
    // Rounding and the pixels the head's outline shares with the wall aside.
    cv::Mat inside, near;
    cv::erode(a.headMask, inside, cv::Mat(), cv::Point(-1, -1), 1);
    cv::dilate(a.headMask, near, cv::Mat(), cv::Point(-1, -1), 1);
    EXPECT_LE(cv::norm(toned, expected, cv::NORM_INF, inside), 1.0);
    EXPECT_EQ(cv::norm(a.left, b.left, cv::NORM_INF, near == 0), 0.0);
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

TEST(ShadedHead, StillTrajectoryRendersIdenticalFrames) {
    const auto scene = SceneWith([](SceneOptions& o) { o.lighting.strength = 0.4; });
    ASSERT_NE(scene, nullptr);
    TrajectoryOptions still;
    still.frameCount = 5;
    std::vector<CRigidMotion> poses;
    ASSERT_TRUE(MakeTrajectory(still, poses, nullptr));
    const RenderedFrame first = scene->Render(poses.front(), 0), last = scene->Render(poses.back(), 4);
    EXPECT_EQ(cv::norm(first.left, last.left, cv::NORM_INF) + cv::norm(first.right, last.right, cv::NORM_INF) +
                  cv::norm(first.x, last.x, cv::NORM_INF) + cv::norm(first.y, last.y, cv::NORM_INF) +
                  cv::norm(first.z, last.z, cv::NORM_INF),
              0.0);
}

TEST(ShadedHead, TurningTowardsTheLampBrightensTheLitSide) {
    // A lamp well to the camera's left; the shading is the ratio of the shaded to the unshaded image.
    const auto lit = SceneWith([](SceneOptions& o) {
        o.lighting.strength = 0.3;
        o.lighting.direction = {-1.0, 0.0, -0.4};
    });
    const auto plain = SceneWith([](SceneOptions&) {});
    ASSERT_TRUE(lit && plain);
    // Mean shading over the face's left and right cheeks (head x 15 to 45 mm from the middle).
    auto cheeks = [&](const CRigidMotion& pose) {
        const RenderedFrame shaded = lit->Render(pose), flat = plain->Render(pose);
        double sum[2] = {0, 0};
        int count[2] = {0, 0};
        for (int j = 0; j < 240; ++j)
            for (int i = 0; i < 320; ++i) {
                const int grey = flat.left.at<unsigned char>(j, i);
                if (!shaded.headMask.at<unsigned char>(j, i) || grey < 40 || grey > 160) continue;
                const cv::Vec3d p = pose.Inverse().Apply(
                    {shaded.x.at<float>(j, i), shaded.y.at<float>(j, i), shaded.z.at<float>(j, i)});
                if (std::abs(p[0]) < 15.0 || std::abs(p[0]) > 45.0 || std::abs(p[1]) > 30.0 || p[2] > -40.0) continue;
                const int side = p[0] < 0 ? 0 : 1;
                sum[side] += shaded.left.at<unsigned char>(j, i) / static_cast<double>(grey);
                ++count[side];
            }
        EXPECT_GT(count[0], 20);
        EXPECT_GT(count[1], 20);
        return cv::Vec2d(sum[0] / count[0], sum[1] / count[1]);
    };
    const cv::Vec2d frontal = cheeks(kRest);
    // Positive yaw turns the face's normal towards -X, the lamp's side.
    const cv::Vec2d turned = cheeks(CRigidMotion::FromRotationVector({0, 0.35, 0}, {0, 0, 950}));
    EXPECT_GT(frontal[0], frontal[1] + 0.1);  // the lit cheek is the brighter one
    EXPECT_GT(turned[0], frontal[0] + 0.05);
    EXPECT_GT(turned[1], frontal[1] + 0.05);
}

TEST(ShadedHead, BothCascadesFindTheFaceFrom800To1100Mm) {
    cv::CascadeClassifier cascade("/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml");
    ASSERT_FALSE(cascade.empty());
    facedetect::ScaledFeatures features;
    std::vector<int> counts;
    std::vector<double> thresholds;
    int stages = 0;
    ::testing::internal::CaptureStdout();
    const int loaded = facedetect::ReadClassifier(facetest::ClassifierPath(), 4, 1.0, features, counts, thresholds, stages);
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(loaded, 1);
    const auto scene = SceneWith([](SceneOptions& o) { o.lighting.strength = 0.4; });
    ASSERT_NE(scene, nullptr);
    for (const double distance : {800.0, 950.0, 1100.0}) {
        const RenderedFrame frame =
            scene->Render(CRigidMotion::FromRotationVector({0, 0.1, 0}, {20, -10, distance}));
        // The face box's centre lies about 5 mm below the head centre.
        const cv::Point2d face(160 + 380 * 20 / distance, 120 + 380 * -5 / distance);
        std::vector<cv::Rect> faces;
        cascade.detectMultiScale(frame.left, faces, 1.1, 3, 0, cv::Size(20, 20));
        ASSERT_EQ(faces.size(), 1u) << distance;
        EXPECT_NEAR(faces[0].x + faces[0].width / 2.0, face.x, 8) << distance;
        EXPECT_NEAR(faces[0].y + faces[0].height / 2.0, face.y, 10) << distance;
        std::vector<facedetect::FaceDetection> found(facedetect::kMaxDetections);
        ::testing::internal::CaptureStdout();
        const int n = facedetect::DetectFaces(frame.left.data, frame.left.rows, frame.left.cols, 4, 1.0, found.data(),
                                              features, counts, thresholds, stages);
        ::testing::internal::GetCapturedStdout();
        int near = 0;
        for (int k = 0; k < n; ++k)
            near += found[k].hits >= 3 && std::abs((found[k].x1 + found[k].x2) / 2 - face.x) < 8 &&
                    std::abs((found[k].y1 + found[k].y2) / 2 - face.y) < 10;
        EXPECT_EQ(near, 1) << distance;
    }
}

// A head 700 mm from a 500-pixel lens shows a face larger than the four default window sizes.
TEST(ShadedHead, AFaceCloseToALongLensNeedsMoreWindowSizes) {
    const auto scene = SceneWith([](SceneOptions& o) {
        o.lighting.strength = 0.4;
        o.camera.focalPx = 500.0;
    });
    ASSERT_NE(scene, nullptr);
    const RenderedFrame frame = scene->Render(CRigidMotion::FromRotationVector({0, 0.1, 0}, {0, 0, 700}));
    const auto facesFound = [&](int windowSizes) {
        facedetect::ScaledFeatures features;
        std::vector<int> counts;
        std::vector<double> thresholds;
        int stages = 0;
        std::vector<facedetect::FaceDetection> found(facedetect::kMaxDetections);
        ::testing::internal::CaptureStdout();
        const int loaded = facedetect::ReadClassifier(facetest::ClassifierPath(), windowSizes, 1.0, features, counts,
                                                      thresholds, stages);
        const int n = loaded == 1 ? facedetect::DetectFaces(frame.left.data, frame.left.rows, frame.left.cols,
                                                            windowSizes, 1.0, found.data(), features, counts,
                                                            thresholds, stages)
                                  : -1;
        ::testing::internal::GetCapturedStdout();
        facedetect::FreeClassifier(features, counts, thresholds, windowSizes);
        int near = 0;
        for (int k = 0; k < n; ++k)
            near += found[k].hits >= 3 && std::abs((found[k].x1 + found[k].x2) / 2 - 160) < 12 &&
                    std::abs((found[k].y1 + found[k].y2) / 2 - 120) < 15;
        return near;
    };
    EXPECT_EQ(facesFound(4), 0);
    EXPECT_EQ(facesFound(7), 1);
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

TEST_F(HeadSceneTest, StereoDepthNoiseGrowsWithTheSquareOfTheDistance) {
    const auto scene = SceneWith([](SceneOptions& o) { o.stereo.disparityNoisePx = 0.25; });
    ASSERT_NE(scene, nullptr);
    const RenderedFrame clean = scene_->Render(kRest), noisy = scene->Render(kRest, 3);
    EXPECT_EQ(cv::norm(noisy.z, scene->Render(kRest, 3).z, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(noisy.left, clean.left, cv::NORM_INF), 0.0);
    // The error over Z^2 / (focal baseline) is the disparity noise, on the head (about 870 mm)
    // and on the wall (1800 mm) alike.
    cv::Mat normalised = (noisy.z - clean.z) / clean.z.mul(clean.z) * (380.0 * 90.0);
    for (const cv::Mat& where : {clean.headMask, cv::Mat(clean.headMask == 0)}) {
        cv::Scalar mean, deviation;
        cv::meanStdDev(normalised, mean, deviation, where);
        EXPECT_NEAR(deviation[0], 0.25, 0.015);
        EXPECT_NEAR(mean[0], 0.0, 0.01);
    }
    cv::Mat slopeY(240, 1, CV_32F);
    for (int j = 0; j < 240; ++j) slopeY.at<float>(j) = (j - 120.0f) / 380.0f;
    EXPECT_LT(cv::norm(noisy.y, noisy.z.mul(cv::repeat(slopeY, 1, 320)), cv::NORM_INF), 1e-3);
}

TEST_F(HeadSceneTest, StereoHolesHaveNoDepthWhereTextureIsWeakOrAtRandom) {
    // A wall of one grey: no matcher finds anything on it, while the face keeps its texture.
    const std::string flat = (std::filesystem::temp_directory_path() /
                              ("vantorel_flat_" + std::to_string(::getpid()) + ".png")).string();
    ASSERT_TRUE(cv::imwrite(flat, cv::Mat(64, 64, CV_8U, cv::Scalar(120))));
    SceneOptions options;
    options.backgroundImagePath = flat;
    options.stereo.textureThreshold = 2.0;
    const auto textured = CHeadScene::Create(options, nullptr);
    options.stereo.textureThreshold = 0.0;
    options.stereo.dropout = 0.1;
    const auto random = CHeadScene::Create(options, nullptr);
    std::filesystem::remove(flat);
    ASSERT_TRUE(textured && random);
    for (const RenderedFrame& frame : {textured->Render(kRest), random->Render(kRest)}) {
        const cv::Mat holes = frame.z == 0.0f;
        EXPECT_EQ(cv::countNonZero(holes), cv::countNonZero((frame.x == 0.0f) & (frame.y == 0.0f) & holes));
        EXPECT_EQ(cv::countNonZero(frame.headMask), cv::countNonZero(scene_->Render(kRest).headMask));
    }
    const RenderedFrame weak = textured->Render(kRest);
    cv::Mat wall, face;
    cv::erode(weak.headMask == 0, wall, cv::Mat(), cv::Point(-1, -1), 8);
    EXPECT_EQ(cv::countNonZero(wall & (weak.z != 0.0f)), 0);  // the wall far from the head
    cv::erode(weak.headMask, face, cv::Mat(), cv::Point(-1, -1), 8);
    EXPECT_LT(cv::countNonZero(face & (weak.z == 0.0f)), 0.1 * cv::countNonZero(face));
    const RenderedFrame dropped = random->Render(kRest, 5);
    EXPECT_NEAR(cv::countNonZero(dropped.z == 0.0f) / (320.0 * 240.0), 0.1, 0.006);
    EXPECT_GT(cv::norm(dropped.z, random->Render(kRest, 6).z, cv::NORM_INF), 0.0);  // drawn per frame
}

TEST(PassingHand, HidesTheFaceInBothCamerasAtItsOwnDepthOnlyWhileItPasses) {
    // Frames 10 to 30; half way (frame 20) the hand's centre crosses the optical axis at the
    // head's height, 200 mm in front of the head centre: 750 mm, a disparity of 380 * 90 / 750.
    const auto scene = SceneWith([](SceneOptions& o) { o.hand = HandPass{10, 20}; });
    const auto plain = SceneWith([](SceneOptions&) {});
    const RenderedFrame before = scene->Render(kRest, 9), during = scene->Render(kRest, 20);
    const RenderedFrame after = scene->Render(kRest, 31), bare = plain->Render(kRest, 20);
    for (const RenderedFrame* clear : {&before, &after}) {
        EXPECT_EQ(cv::norm(clear->left, bare.left, cv::NORM_INF), 0.0);
        EXPECT_EQ(cv::norm(clear->z, bare.z, cv::NORM_INF), 0.0);
    }
    EXPECT_FLOAT_EQ(during.z.at<float>(120, 160), 750.0f);
    EXPECT_EQ(during.headMask.at<unsigned char>(120, 160), 0);
    EXPECT_NEAR(during.x.at<float>(120, 170), 10.0 * 750.0 / 380.0, 1e-3);
    // 50 mm across: 25 pixels either side of the centre at 750 mm; the head shows beyond.
    EXPECT_EQ(during.headMask.at<unsigned char>(120, 160 + 30), 1);
    const double disparity = 380.0 * 90.0 / 750.0;  // 45.6 pixels
    const int shift = static_cast<int>(std::lround(disparity));
    const cv::Rect palm(150, 100, 20, 40);
    cv::Mat difference;
    cv::absdiff(during.left(palm), during.right(palm - cv::Point(shift, 0)), difference);
    EXPECT_LT(cv::mean(difference)[0], 6.0);  // the same skin, one disparity over
    SceneOptions refused;
    refused.hand = HandPass{0, 0};
    EXPECT_EQ(CHeadScene::Create(refused, nullptr), nullptr);
}

TEST(PassingHand, RestsOnItsWayWhereItIsToldAndGoesOnAfterwards) {
    // Crossing in 20 frames from frame 10, resting 15 frames with its centre 40 mm right of the axis.
    const auto scene = SceneWith([](SceneOptions& o) { o.hand = HandPass{10, 20, 15, 40.0}; });
    const auto plain = SceneWith([](SceneOptions&) {});
    const RenderedFrame bare = plain->Render(kRest, 0);
    // It arrives a little after half way (frame 20 crosses the axis) and stays until 15 frames later.
    const RenderedFrame arrived = scene->Render(kRest, 22), resting = scene->Render(kRest, 35);
    EXPECT_EQ(cv::norm(arrived.left, resting.left, cv::NORM_INF), 0.0);
    const int centreColumn = static_cast<int>(std::lround(160.0 + 40.0 * 380.0 / 750.0));
    EXPECT_FLOAT_EQ(resting.z.at<float>(120, centreColumn), 750.0f);
    EXPECT_EQ(resting.headMask.at<unsigned char>(120, centreColumn - 35), 1);  // 25 pixels across
    EXPECT_GT(cv::norm(scene->Render(kRest, 40).left, resting.left, cv::NORM_INF), 0.0);  // moving on
    EXPECT_EQ(cv::norm(scene->Render(kRest, 46).left, bare.left, cv::NORM_INF), 0.0);       // gone
    EXPECT_GT(cv::norm(scene->Render(kRest, 44).left, bare.left, cv::NORM_INF), 0.0);
}

TEST(HeadSceneOptions, RefusesMissingPhotographsAndImpossibleGeometry) {
    std::string error;
    SceneOptions missing;
    missing.faceImagePath = "/nonexistent/face.png";
    EXPECT_EQ(CHeadScene::Create(missing, &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/face.png"), std::string::npos);
    for (auto change : {+[](SceneOptions& o) { o.camera.focalPx = 0; }, +[](SceneOptions& o) { o.headSemiAxesMm[1] = -1; },
                        +[](SceneOptions& o) { o.depthNoiseSigmaMm = -1; },
                        +[](SceneOptions& o) { o.backgroundDistanceMm = std::nan(""); },
                        +[](SceneOptions& o) { o.lighting.strength = 1.5; },
                        +[](SceneOptions& o) { o.lighting.direction = {0, 0, 1}; },  // behind the head
                        +[](SceneOptions& o) { o.stereo.dropout = 2; },
                        +[](SceneOptions& o) { o.stereo.textureWindow = 4; },
                        +[](SceneOptions& o) { o.skin.contrast = 0; },
                        +[](SceneOptions& o) { o.face.mouthPx = o.face.leftEyePx; },
                        +[](SceneOptions& o) { o.face.rightEyePx = o.face.leftEyePx; },
                        +[](SceneOptions& o) { o.face.photoPxPerMm = 0.3; },  // the face outgrows the head
                        +[](SceneOptions& o) { o.headSemiAxesMm = {40, 50, 40}; }}) {
        SceneOptions options;
        change(options);
        EXPECT_EQ(CHeadScene::Create(options, nullptr), nullptr);
    }
    SceneOptions smallHead;
    smallHead.headSemiAxesMm = {40, 50, 40};
    smallHead.head = HeadShape::kEllipsoid;  // no relief to fit
    EXPECT_NE(CHeadScene::Create(smallHead, nullptr), nullptr);
}

}  // namespace
