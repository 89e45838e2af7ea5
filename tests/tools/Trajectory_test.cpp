#include "synth/Trajectory.h"

#include <gtest/gtest.h>

#include "synth/HeadScene.h"
#include "synth/WaypointProfile.h"

namespace {

const double kTwentyDegrees = 0.3490658503988659;

// A timed trajectory with a change to its defaults, as many frames as it needs.
template <typename Change>
std::vector<CRigidMotion> MakeTimed(const std::string& name, Change change) {
    TrajectoryOptions options;
    options.name = name;
    change(options);
    options.frameCount = TimedFrameCount(options);
    std::vector<CRigidMotion> poses;
    EXPECT_TRUE(MakeTrajectory(options, poses, nullptr)) << name;
    return poses;
}

std::vector<CRigidMotion> Make(const std::string& name, int frames = 120, int still = 8) {
    TrajectoryOptions options;
    options.name = name;
    options.stillFrames = still;
    options.frameCount = std::max(frames, TimedFrameCount(options));
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
        ASSERT_GE(poses.size(), 120u);
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
        EXPECT_LE(cv::norm(r, cv::NORM_INF), DefaultAmplitudeRad("random") + 1e-12);
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

// Largest frame-to-frame rotation (degrees) and image motion of the head centre (pixels), and the
// root mean square of the rotations.
struct PeakSpeed {
    double degreesPerFrame = 0.0;
    double pixelsPerFrame = 0.0;
    double rmsDegreesPerFrame = 0.0;
};

PeakSpeed Peak(const std::vector<CRigidMotion>& poses, double focalPx) {
    PeakSpeed peak;
    for (std::size_t k = 1; k < poses.size(); ++k) {
        const double degrees = RelativeMotion(poses[k - 1], poses[k]).RotationAngle() * 180.0 / M_PI;
        peak.degreesPerFrame = std::max(peak.degreesPerFrame, degrees);
        peak.rmsDegreesPerFrame += degrees * degrees / (poses.size() - 1);
        const cv::Vec3d a = poses[k - 1].Translation(), b = poses[k].Translation();
        const cv::Vec2d pa(focalPx * a[0] / a[2], focalPx * a[1] / a[2]), pb(focalPx * b[0] / b[2], focalPx * b[1] / b[2]);
        peak.pixelsPerFrame = std::max(peak.pixelsPerFrame, cv::norm(pb - pa));
    }
    return peak;
}

TEST(Trajectory, WaypointMovesStartAndStopAtRestAndPeakAtTheGivenSpeed) {
    const CWaypointProfile profile(10.0, {{30.0, 0.5}, {0.0, 0.25}}, 100.0);
    // 20 units at a peak of 100 per second take pi / 10 s; 30 units take 3 pi / 20 s.
    EXPECT_NEAR(profile.Duration(), M_PI / 10 + 0.5 + 3 * M_PI / 20 + 0.25, 1e-12);
    EXPECT_EQ(profile.Value(-1.0), 10.0);
    EXPECT_NEAR(profile.Value(M_PI / 20), 20.0, 1e-9);  // half way at half time
    EXPECT_EQ(profile.Value(M_PI / 10 + 0.4), 30.0);     // holding
    EXPECT_EQ(profile.Value(100.0), 0.0);
    double peak = 0.0;
    const double dt = 1e-5;
    for (double t = -0.1; t < profile.Duration() + 0.1; t += dt)
        peak = std::max(peak, std::abs(profile.Value(t + dt) - profile.Value(t)) / dt);
    EXPECT_NEAR(peak, 100.0, 0.01);
    EXPECT_NEAR(std::abs(profile.Value(dt) - profile.Value(0.0)) / dt, 0.0, 0.01);
}

TEST(Trajectory, QuickMotionsReachThePeakSpeedsOfRealHeads) {
    // At 30 frames a second, 950 mm and a focal length of 380 pixels.
    const std::vector<CRigidMotion> glance = Make("glance");
    EXPECT_NEAR(Peak(glance, 380).degreesPerFrame, 6.0, 0.1);
    double widest = 0.0;
    for (const CRigidMotion& pose : glance) widest = std::max(widest, pose.RotationAngle() * 180.0 / M_PI);
    EXPECT_NEAR(widest, 40.0, 1e-9);
    // A nod turns about X only and a tilt about Z only, as fast as the glance.
    const char* const axes[] = {"nod", "tilt"};
    for (int k = 0; k < 2; ++k) {
        const std::vector<CRigidMotion> turn = Make(axes[k]);
        EXPECT_NEAR(Peak(turn, 380).degreesPerFrame, 6.0, 0.1) << axes[k];
        double widestTurn = 0.0, offAxis = 0.0;
        for (const CRigidMotion& pose : turn) {
            const cv::Vec3d r = pose.RotationVector() * (180.0 / M_PI);
            widestTurn = std::max(widestTurn, std::abs(r[k == 0 ? 0 : 2]));
            offAxis = std::max({offAxis, std::abs(r[1]), std::abs(r[k == 0 ? 2 : 0])});
        }
        EXPECT_NEAR(widestTurn, 25.0, 1e-6) << axes[k];
        EXPECT_EQ(offAxis, 0.0) << axes[k];
    }
    EXPECT_NEAR(Peak(Make("sway"), 380).pixelsPerFrame, 8.67, 0.1);
    EXPECT_EQ(Peak(Make("sway"), 380).degreesPerFrame, 0.0);
    // The same motion is slower in pixels further away or with a shorter focal length.
    const auto farSway = MakeTimed("sway", [](TrajectoryOptions& o) { o.distanceMm = 1200; });
    EXPECT_NEAR(Peak(farSway, 300).pixelsPerFrame, 8.67 * 950 / 1200 * 300 / 380, 0.1);
    // Three times the harmonics: about three times the steps of the random motion (the window
    // that starts and stops it shapes the rest).
    TrajectoryOptions random;
    random.frameCount = 300;
    std::vector<CRigidMotion> slow, fast;
    random.name = "random";
    ASSERT_TRUE(MakeTrajectory(random, slow, nullptr));
    random.name = "fastrandom";
    ASSERT_TRUE(MakeTrajectory(random, fast, nullptr));
    const double ratio = std::sqrt(Peak(fast, 380).rmsDegreesPerFrame / Peak(slow, 380).rmsDegreesPerFrame);
    EXPECT_TRUE(ratio > 2.5 && ratio < 4.0) << ratio;
    // A frame rate twice as high halves the steps.
    const auto smooth = MakeTimed("glance", [](TrajectoryOptions& o) { o.framesPerSecond = 60; });
    EXPECT_NEAR(Peak(smooth, 380).degreesPerFrame, 3.0, 0.05);
}

TEST(Trajectory, QuickLeaveGoesOutOfViewFastAndComesBackToRest) {
    const std::vector<CRigidMotion> poses = Make("quickleave");
    EXPECT_GT(Peak(poses, 380).pixelsPerFrame, 15.0);
    // Out of both images at the widest rig of the sweeps (1200 mm, focal 300).
    SceneOptions options;
    options.camera.focalPx = 300;
    const auto scene = CHeadScene::Create(options, nullptr);
    ASSERT_NE(scene, nullptr);
    std::vector<CRigidMotion> farPoses = MakeTimed("quickleave", [](TrajectoryOptions& o) { o.distanceMm = 1200; });
    int gone = 0;
    for (const CRigidMotion& pose : farPoses) gone += cv::countNonZero(scene->Render(pose).headMask) == 0;
    EXPECT_GE(gone, 10);
    // The last 1.5 s (45 frames) at rest.
    for (std::size_t k = farPoses.size() - 45; k < farPoses.size(); ++k)
        EXPECT_LT(cv::norm(farPoses[k].Translation() - cv::Vec3d(0, 0, 1200)), 1e-9) << k;
    TrajectoryOptions shortOne;
    shortOne.name = "quickleave";
    shortOne.frameCount = TimedFrameCount(shortOne) - 1;
    std::string error;
    EXPECT_FALSE(MakeTrajectory(shortOne, farPoses, &error));
    EXPECT_NE(error.find("needs at least"), std::string::npos);
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
