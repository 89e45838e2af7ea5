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

TEST(CandidateAgreement, AWrongMinimumIsLeftOutWhereverItStandsAndOfTwoApartTheWorseFit) {
    EXPECT_NEAR(RotationAngleBetween(Turn(10.0), Turn(-20.0)), 30.0 * kDeg, 1e-9);
    // The outlier first: the medoid is not simply the first candidate.
    EXPECT_EQ(AgreeingCandidates({Turn(-17.0, 30.0), Turn(-35.0), Turn(-34.6), Turn(-35.3)}, 5.0 * kDeg),
              (std::vector<bool>{false, true, true, true}));
    EXPECT_EQ(AgreeingCandidates({Turn(-35.0), Turn(-34.0), Turn(-33.0)}, 5.0 * kDeg),
              (std::vector<bool>{true, true, true}));
    // Two apart: no majority says which is wrong, their fits do; without them, or when they
    // do not differ, both stay.
    EXPECT_EQ(AgreeingCandidates({Turn(0.0), Turn(40.0)}, 5.0 * kDeg), (std::vector<bool>{true, true}));
    EXPECT_EQ(AgreeingCandidates({Turn(0.6), Turn(7.0, -5.0)}, 5.0 * kDeg, {2.2f, 16.3f}),
              (std::vector<bool>{true, false}));
    EXPECT_EQ(AgreeingCandidates({Turn(7.0, -5.0), Turn(0.6)}, 5.0 * kDeg, {16.3f, 2.2f}),
              (std::vector<bool>{false, true}));
    EXPECT_EQ(AgreeingCandidates({Turn(0.0), Turn(40.0)}, 5.0 * kDeg, {3.0f, 3.0f}), (std::vector<bool>{true, true}));
    EXPECT_EQ(AgreeingCandidates({Turn(0.0), Turn(40.0)}, 5.0 * kDeg, {NAN, 3.0f}), (std::vector<bool>{true, true}));
    // Two that agree are both kept, however their fits differ.
    EXPECT_EQ(AgreeingCandidates({Turn(0.0), Turn(3.0)}, 5.0 * kDeg, {1.0f, 16.0f}), (std::vector<bool>{true, true}));
}

// The last step's best scale 0.45: a pair at 17 lost the face between the frames; one within the
// floor stays, whatever the ratio; without a step before nothing is judged.
TEST(ResidualJumped, AScaleManyTimesTheLastStepsBestIsAJump) {
    EXPECT_TRUE(ResidualJumped(17.2f, 0.45f, 10.0f, 2.0f));
    EXPECT_FALSE(ResidualJumped(4.4f, 0.45f, 10.0f, 2.0f));
    EXPECT_FALSE(ResidualJumped(1.9f, 0.01f, 10.0f, 2.0f));
    EXPECT_TRUE(ResidualJumped(NAN, 0.45f, 10.0f, 2.0f));
    EXPECT_FALSE(ResidualJumped(1e6f, 0.0f, 10.0f, 2.0f));
}

// Three pairs against one keyframe stored three times converged elsewhere together; their
// residual gives them away where their majority of rotations would not.
TEST(PoorFits, AResidualFarAboveTheBestIsLeftOutWhateverTheMajority) {
    const std::vector<bool> all(5, true);
    EXPECT_EQ(PoorFits({0.15f, 0.30f, 27.8f, 27.8f, 27.8f}, all, 10.0f, 2.0f),
              std::vector<bool>({false, false, true, true, true}));
    // Near-exact data: ten times a tiny scale is still within the noise floor.
    EXPECT_EQ(PoorFits({0.01f, 0.5f, 1.9f}, {true, true, true}, 10.0f, 2.0f), std::vector<bool>(3, false));
    // What is not counted neither sets the best nor is judged; a scale that is not a number is poor.
    EXPECT_EQ(PoorFits({0.001f, 1.0f, 30.0f, NAN}, {false, true, false, true}, 10.0f, 2.0f),
              std::vector<bool>({false, false, false, true}));
    EXPECT_EQ(PoorFits({NAN, NAN}, {true, true}, 10.0f, 2.0f), std::vector<bool>(2, false));
}
