#include "report/PoseErrors.h"

#include <cmath>
#include <fstream>

#include <gtest/gtest.h>

#include "support/FaceTestData.h"

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;

cv::Matx33d About(int axis, double degrees) {
    cv::Vec3d vector(0, 0, 0);
    vector[axis] = degrees * kRadiansPerDegree;
    return CRigidMotion::FromRotationVector(vector, {0, 0, 0}).Rotation();
}

TEST(PoseErrors, YawPitchAndRollAreRecoveredFromTheRotationTheyCompose) {
    for (double yaw : {-150.0, -20.0, 0.0, 35.0, 170.0})
        for (double pitch : {-80.0, -10.0, 0.0, 45.0})
            for (double roll : {-120.0, 0.0, 5.0}) {
                const YawPitchRoll angles = ToYawPitchRoll(About(1, yaw) * About(0, pitch) * About(2, roll));
                EXPECT_NEAR(angles.yaw, yaw, 1e-9);
                EXPECT_NEAR(angles.pitch, pitch, 1e-9);
                EXPECT_NEAR(angles.roll, roll, 1e-9);
            }
    const YawPitchRoll locked = ToYawPitchRoll(About(1, 30) * About(0, 90));
    EXPECT_NEAR(locked.yaw, 30, 1e-6);
    EXPECT_NEAR(locked.pitch, 90, 1e-6);
    EXPECT_EQ(locked.roll, 0.0);
}

// A log whose face is found in frame 3 and whose tracked poses differ from the truth by known
// amounts, against a truth that turns the head by 1 degree per frame about its centre.
TEST(PoseErrors, TrackedPosesAreComparedWithTheMotionFromTheFindingFrame) {
    CGroundTruth truth;
    for (int frame = 1; frame <= 6; ++frame)
        truth.Add(frame, CRigidMotion::FromRotationVector({0, frame * kRadiansPerDegree, 0}, {0, 0, 950}));
    const auto expected = [&](int frame) {
        CRigidMotion motion;
        EXPECT_TRUE(truth.Motion(3, frame, motion));
        return motion;
    };
    facetest::TempFolder folder("vantorel_pose_errors");
    std::ofstream out(folder.Path("log.txt"));
    out.precision(17);
    const auto write = [&](int step, int frame, int state, const char* event, const CRigidMotion& pose) {
        out << step << " " << frame << " " << state << " " << event << " 0 0 900";
        for (int i = 0; i < 3; ++i) out << " " << pose.Translation()[i];
        for (int column = 0; column < 3; ++column)
            for (int row = 0; row < 3; ++row) out << " " << pose.Rotation()(row, column);
        out << "\n";
    };
    write(1, 2, 0, "-", CRigidMotion());
    write(2, 3, 1, "found", CRigidMotion());
    write(3, 4, 1, "-", expected(4));  // exact
    const CRigidMotion off5 = expected(5);
    write(4, 5, 1, "-", CRigidMotion(About(0, 2) * off5.Rotation(), off5.Translation() + cv::Vec3d(3, 4, 0)));
    const CRigidMotion off6 = expected(6);
    write(5, 6, 1, "-", CRigidMotion(off6.Rotation(), off6.Translation() + cv::Vec3d(0, 0, 1)));
    out.close();

    CTrackLog log;
    ASSERT_TRUE(log.Read(folder.Path("log.txt"), nullptr));
    const std::vector<StepTruth> truths = TruthForSteps(log, truth, false);
    EXPECT_FALSE(truths[0].valid);
    EXPECT_TRUE(truths[1].valid);
    EXPECT_NEAR(truths[1].motion.RotationAngle(), 0.0, 1e-12);
    const TrackingErrors errors = CompareWithTruth(log, truths);
    EXPECT_EQ(errors.rotationDeg.count, 3);
    EXPECT_NEAR(errors.rotationDeg.max, 2.0, 1e-9);
    EXPECT_NEAR(errors.rotationDeg.rms, std::sqrt(4.0 / 3.0), 1e-9);
    EXPECT_NEAR(errors.rotationDeg.last, 0.0, 1e-6);
    EXPECT_NEAR(errors.translationMm.max, 5.0, 1e-9);
    EXPECT_NEAR(errors.translationMm.last, 1.0, 1e-9);

    // A tracker working with Y up is compared with the flipped truth.
    const std::vector<StepTruth> flipped = TruthForSteps(log, truth, true);
    EXPECT_NEAR(cv::norm(flipped[4].motion.Translation() - expected(6).FlippedY().Translation()), 0.0, 1e-12);
}

}  // namespace
