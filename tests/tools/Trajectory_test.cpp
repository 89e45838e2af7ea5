#include "synth/Trajectory.h"

#include <cmath>

#include <gtest/gtest.h>

#include "synth/HeadScene.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<CRigidMotion> Make(const std::string& name, int frames = 120) {
    TrajectoryOptions options;
    options.name = name;
    options.frameCount = frames;
    std::vector<CRigidMotion> poses;
    std::string error;
    EXPECT_TRUE(MakeTrajectory(options, poses, &error)) << error;
    return poses;
}

double Distance(const CRigidMotion& a, const CRigidMotion& b) {
    return cv::norm(a.Rotation() - b.Rotation(), cv::NORM_INF) + cv::norm(a.Translation() - b.Translation());
}

TEST(Trajectory, EveryTrajectoryStartsStillAndEndsAtRest) {
    const CRigidMotion rest = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950});
    for (const std::string& name : TrajectoryNames()) {
        const std::vector<CRigidMotion> poses = Make(name);
        ASSERT_EQ(poses.size(), 120u) << name;
        for (int k = 0; k < 8; ++k) EXPECT_EQ(Distance(poses[k], rest), 0.0) << name << " frame " << k;
        EXPECT_LT(Distance(poses.back(), rest), 1e-9) << name;
        double farthest = 0.0;
        for (const CRigidMotion& pose : poses) farthest = std::max(farthest, Distance(pose, rest));
        if (name == "still") {
            EXPECT_EQ(farthest, 0.0);
        } else {
            EXPECT_GT(farthest, 0.1) << name;
            EXPECT_GT(Distance(poses[8], rest), 0.0) << name << " must move right after the rest";
        }
    }
}

TEST(Trajectory, RotationsTurnAboutTheirAxisThroughTheHeadCentre) {
    const struct {
        const char* name;
        int axis;
    } cases[] = {{"yaw", 1}, {"pitch", 0}, {"roll", 2}};
    for (const auto& c : cases) {
        const std::vector<CRigidMotion> poses = Make(c.name);
        double largest = 0.0;
        for (const CRigidMotion& pose : poses) {
            EXPECT_EQ(pose.Translation(), cv::Vec3d(0, 0, 950)) << c.name;
            const cv::Vec3d r = pose.RotationVector();
            for (int k = 0; k < 3; ++k)
                if (k != c.axis) {
                    EXPECT_NEAR(r[k], 0.0, 1e-12) << c.name;
                }
            largest = std::max(largest, std::abs(r[c.axis]));
        }
        // 20 degrees, sampled 112 times over one period.
        EXPECT_NEAR(largest, 20.0 * kPi / 180.0, 1e-3) << c.name;
        // s runs from 0 at the last still frame (7) to 1 at the last one; at s = 1/4 the sine peaks.
        EXPECT_NEAR(poses[7 + 28].RotationVector()[c.axis], 20.0 * kPi / 180.0, 1e-9) << c.name;
    }
}

TEST(Trajectory, TranslateSwingsTheCentreByTheAmplitudes) {
    TrajectoryOptions options;
    options.name = "translate";
    options.frameCount = 41;
    options.stillFrames = 1;
    options.amplitudeMm = {30, -1, 0};  // -1: the trajectory's default of 50 mm
    std::vector<CRigidMotion> poses;
    ASSERT_TRUE(MakeTrajectory(options, poses, nullptr));
    EXPECT_LT(cv::norm(poses[10].Translation() - cv::Vec3d(30, 50, 950)), 1e-9);
    EXPECT_LT(cv::norm(poses[30].Translation() - cv::Vec3d(-30, -50, 950)), 1e-9);
    for (const CRigidMotion& pose : poses) EXPECT_EQ(pose.RotationAngle(), 0.0);
}

TEST(Trajectory, RandomMotionIsSeededSmoothBoundedAndReturns) {
    TrajectoryOptions options;
    options.name = "random";
    std::vector<CRigidMotion> a, again, other;
    ASSERT_TRUE(MakeTrajectory(options, a, nullptr));
    ASSERT_TRUE(MakeTrajectory(options, again, nullptr));
    options.seed = 2;
    ASSERT_TRUE(MakeTrajectory(options, other, nullptr));
    double differs = 0.0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        EXPECT_EQ(Distance(a[k], again[k]), 0.0);
        differs = std::max(differs, Distance(a[k], other[k]));
        const cv::Vec3d r = a[k].RotationVector(), t = a[k].Translation() - cv::Vec3d(0, 0, 950);
        for (int axis = 0; axis < 3; ++axis) EXPECT_LE(std::abs(r[axis]), options.amplitudeRad + 1e-12);
        EXPECT_LE(std::abs(t[0]), 60.0);
        EXPECT_LE(std::abs(t[1]), 40.0);
        EXPECT_LE(std::abs(t[2]), 80.0);
        if (k > 0) {
            // Small steps: well within what a frame-to-frame tracker accepts.
            const CRigidMotion step = RelativeMotion(a[k - 1], a[k]);
            EXPECT_LT(step.RotationAngle(), 0.05);
            EXPECT_LT(cv::norm(a[k].Translation() - a[k - 1].Translation()), 12.0);
        }
    }
    EXPECT_GT(differs, 0.1);
}

TEST(Trajectory, LeaveTakesTheHeadOutOfBothImagesAndBack) {
    const std::vector<CRigidMotion> poses = Make("leave");
    std::string error;
    const auto scene = CHeadScene::Create(SceneOptions(), &error);
    ASSERT_NE(scene, nullptr) << error;
    const RenderedFrame gone = scene->Render(poses[7 + 56]);
    EXPECT_NEAR(poses[7 + 56].Translation()[0], 650.0, 1e-9);
    EXPECT_EQ(cv::countNonZero(gone.headMask), 0);
    // Nothing of the head shows in the right image either: it equals the empty scene's.
    const RenderedFrame empty = scene->Render(CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 1e5}));
    EXPECT_EQ(cv::norm(gone.right, empty.right, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(gone.left, empty.left, cv::NORM_INF), 0.0);
    EXPECT_GT(cv::countNonZero(scene->Render(poses[7 + 10]).headMask), 1000);
}

TEST(Trajectory, RefusesUnknownNamesAndEmptySequences) {
    std::vector<CRigidMotion> poses;
    std::string error;
    TrajectoryOptions options;
    options.name = "spin";
    EXPECT_FALSE(MakeTrajectory(options, poses, &error));
    EXPECT_NE(error.find("spin"), std::string::npos);
    options.name = "yaw";
    options.frameCount = 0;
    EXPECT_FALSE(MakeTrajectory(options, poses, &error));
    options.frameCount = 3;
    options.stillFrames = 10;  // all still: nothing to move
    ASSERT_TRUE(MakeTrajectory(options, poses, &error));
    EXPECT_EQ(poses.size(), 3u);
    EXPECT_EQ(poses[2].RotationAngle(), 0.0);
}

}  // namespace
