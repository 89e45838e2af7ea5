#include "synth/RigidMotion.h"

#include <gtest/gtest.h>

namespace {

TEST(RigidMotion, ProductAppliesTheRightFactorFirstAndInverseUndoes) {
    const CRigidMotion a = CRigidMotion::FromRotationVector({0, 0, 1.5707963267948966}, {1, 2, 3});
    const CRigidMotion b = CRigidMotion::FromRotationVector({0.3, 0, 0}, {-4, 0, 10});
    const cv::Vec3d p(5, -6, 7);
    EXPECT_LT(cv::norm((a * b).Apply(p) - a.Apply(b.Apply(p))), 1e-12);
    EXPECT_LT(cv::norm(a.Inverse().Apply(a.Apply(p)) - p), 1e-12);
    EXPECT_LT(cv::norm(a.Apply({1, 0, 0}) - cv::Vec3d(1, 3, 3)), 1e-12);  // a positive turn about Z takes X to Y
}

TEST(RigidMotion, FlippedYIsTheSameMotionSeenWithYUp) {
    const CRigidMotion m = CRigidMotion::FromRotationVector({0.2, 0.4, -0.1}, {10, 20, 900});
    const cv::Vec3d moved = m.Apply({3, 4, 5});
    EXPECT_LT(cv::norm(m.FlippedY().Apply({3, -4, 5}) - cv::Vec3d(moved[0], -moved[1], moved[2])), 1e-12);
}

}  // namespace
