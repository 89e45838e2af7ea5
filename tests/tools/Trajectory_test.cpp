#include "synth/Trajectory.h"

#include <gtest/gtest.h>

#include "synth/HeadScene.h"

namespace {

const double kTwentyDegrees = 0.3490658503988659;

std::vector<CRigidMotion> Make(const std::string& name, int frames = 120, int still = 8) {
    TrajectoryOptions options;
    options.name = name;
    options.frameCount = frames;
    options.stillFrames = still;
    std::vector<CRigidMotion> poses;
    EXPECT_TRUE(MakeTrajectory(options, poses, nullptr)) << name;
    return poses;
}

double Distance(const CRigidMotion& a, const CRigidMotion& b) {
    return cv::norm(a.Rotation() - b.Rotation(), cv::NORM_INF) + cv::norm(a.Translation() - b.Translation());
}

TEST(Trajectory, EveryTrajectoryStartsStillMovesAndEndsAtRest) {
    const CRigidMotion rest = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950});
    for (const std::string& name : TrajectoryNames()) {
        const std::vector<CRigidMotion> poses = Make(name);
        ASSERT_EQ(poses.size(), 120u);
        for (int k = 0; k < 8; ++k) EXPECT_EQ(Distance(poses[k], rest), 0.0) << name << " " << k;
        EXPECT_LT(Distance(poses.back(), rest), 1e-9) << name;
        EXPECT_EQ(Distance(poses[8], rest) > 0.0, name != "still") << name;
    }
}

TEST(Trajectory, SinusoidsTurnAboutTheirAxisThroughTheHeadCentreOrSwingTheCentre) {
    // s runs from 0 at the last still frame (7) to 1 at the last one: the sine peaks at frame 35.
    const struct {
        const char* name;
        cv::Vec3d rotation, translation;
    } peaks[] = {{"yaw", {0, kTwentyDegrees, 0}, {0, 0, 950}},
                 {"pitch", {kTwentyDegrees, 0, 0}, {0, 0, 950}},
                 {"roll", {0, 0, kTwentyDegrees}, {0, 0, 950}},
                 {"translate", {0, 0, 0}, {100, 50, 1100}},
                 {"leave", {0, 0, 0}, {325, 0, 950}},
                 {"tour", {0, kTwentyDegrees, 0}, {60, 20, 1030}}};
    for (const auto& peak : peaks) {
        const std::vector<CRigidMotion> poses = Make(peak.name);
        EXPECT_LT(cv::norm(poses[35].RotationVector() - peak.rotation), 1e-9) << peak.name;
        EXPECT_LT(cv::norm(poses[35].Translation() - peak.translation), 1e-9) << peak.name;
    }
    EXPECT_LT(cv::norm(Make("translate")[63].Translation() - cv::Vec3d(0, 0, 950)), 1e-9);
}

TEST(Trajectory, RandomMotionIsSeededSmoothBoundedAndReturns) {
    TrajectoryOptions options;
    options.name = "random";
    std::vector<CRigidMotion> a, again, other;
    ASSERT_TRUE(MakeTrajectory(options, a, nullptr) && MakeTrajectory(options, again, nullptr));
    options.seed = 2;
    ASSERT_TRUE(MakeTrajectory(options, other, nullptr));
    double differs = 0.0;
    for (std::size_t k = 1; k < a.size(); ++k) {
        EXPECT_EQ(Distance(a[k], again[k]), 0.0);
        differs = std::max(differs, Distance(a[k], other[k]));
        const cv::Vec3d r = a[k].RotationVector(), t = a[k].Translation() - cv::Vec3d(0, 0, 950);
        EXPECT_LE(cv::norm(r, cv::NORM_INF), options.amplitudeRad + 1e-12);
        EXPECT_TRUE(std::abs(t[0]) <= 60 && std::abs(t[1]) <= 40 && std::abs(t[2]) <= 80) << t;
        // Steps well within what a frame-to-frame tracker accepts.
        EXPECT_LT(RelativeMotion(a[k - 1], a[k]).RotationAngle(), 0.05);
        EXPECT_LT(cv::norm(a[k].Translation() - a[k - 1].Translation()), 12.0);
    }
    EXPECT_GT(differs, 0.1);
}

TEST(Trajectory, LeaveTakesTheHeadOutOfBothImagesAndBack) {
    const std::vector<CRigidMotion> poses = Make("leave");
    const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
    ASSERT_NE(scene, nullptr);
    const RenderedFrame gone = scene->Render(poses[63]);
    const RenderedFrame empty = scene->Render(CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 1e5}));
    EXPECT_EQ(cv::norm(gone.left, empty.left, cv::NORM_INF) + cv::norm(gone.right, empty.right, cv::NORM_INF), 0.0);
    EXPECT_GT(cv::countNonZero(scene->Render(poses[17]).headMask), 1000);
    EXPECT_GT(cv::countNonZero(scene->Render(poses[109]).headMask), 1000);
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
    EXPECT_EQ(Make("yaw", 3, 10)[2].RotationAngle(), 0.0);  // all still: nothing to move
}

}  // namespace
