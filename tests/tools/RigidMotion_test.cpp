#include "synth/RigidMotion.h"

#include <gtest/gtest.h>

namespace {

TEST(RigidMotion, ProductAppliesTheRightFactorFirst) {
    const CRigidMotion a = CRigidMotion::FromRotationVector({0, 0, 1.5707963267948966}, {1, 2, 3});
    const CRigidMotion b = CRigidMotion::FromRotationVector({0.3, 0, 0}, {-4, 0, 10});
    const cv::Vec3d p(5, -6, 7);
    EXPECT_LT(cv::norm((a * b).Apply(p) - a.Apply(b.Apply(p))), 1e-12);
    EXPECT_LT(cv::norm(a.Inverse().Apply(a.Apply(p)) - p), 1e-12);
    // A positive quarter turn about Z takes X onto Y.
    EXPECT_LT(cv::norm(a.Apply({1, 0, 0}) - cv::Vec3d(1, 3, 3)), 1e-12);
}

TEST(RigidMotion, RotationVectorRoundTripsThroughTheMatrix) {
    const cv::Vec3d r(0.1, -0.7, 0.25);
    const CRigidMotion m = CRigidMotion::FromRotationVector(r, {0, 0, 0});
    EXPECT_LT(cv::norm(m.RotationVector() - r), 1e-12);
    EXPECT_NEAR(m.RotationAngle(), cv::norm(r), 1e-12);
}

TEST(RigidMotion, FlippedYIsTheSameMotionSeenWithYUp) {
    const CRigidMotion m = CRigidMotion::FromRotationVector({0.2, 0.4, -0.1}, {10, 20, 900});
    const cv::Vec3d p(3, 4, 5);
    const cv::Vec3d moved = m.Apply(p);
    const cv::Vec3d flipped = m.FlippedY().Apply({p[0], -p[1], p[2]});
    EXPECT_LT(cv::norm(flipped - cv::Vec3d(moved[0], -moved[1], moved[2])), 1e-12);
}

}  // namespace
