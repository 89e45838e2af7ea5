#include "tracking/CandidateAgreement.h"

#include <gtest/gtest.h>

#include <cmath>

#include <opencv2/calib3d.hpp>

namespace {

constexpr double kDeg = M_PI / 180.0;

cv::Matx33d Turn(double yawDeg, double rollDeg = 0.0) {
    cv::Matx33d rotation;
    cv::Rodrigues(cv::Vec3d(0.0, yawDeg * kDeg, rollDeg * kDeg), rotation);
    return rotation;
}

}  // namespace

TEST(CandidateAgreement, AWrongMinimumIsLeftOutWhereverItStandsAndTwoAreTrusted) {
    EXPECT_NEAR(RotationAngleBetween(Turn(10.0), Turn(-20.0)), 30.0 * kDeg, 1e-9);
    // The outlier first: the medoid is not simply the first candidate.
    EXPECT_EQ(AgreeingCandidates({Turn(-17.0, 30.0), Turn(-35.0), Turn(-34.6), Turn(-35.3)}, 5.0 * kDeg),
              (std::vector<bool>{false, true, true, true}));
    EXPECT_EQ(AgreeingCandidates({Turn(-35.0), Turn(-34.0), Turn(-33.0)}, 5.0 * kDeg),
              (std::vector<bool>{true, true, true}));
    // Two apart: no majority says which is wrong.
    EXPECT_EQ(AgreeingCandidates({Turn(0.0), Turn(40.0)}, 5.0 * kDeg), (std::vector<bool>{true, true}));
}
