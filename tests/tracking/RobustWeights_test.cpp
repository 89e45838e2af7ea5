#include "tracking/RobustWeights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tracking/TrackerParameters.h"

namespace {

TEST(RobustWeights, ScaleIsTheMedianAbsoluteResidualInGaussianUnitsAndNeverBelowTheFloor) {
    std::vector<float> scratch;
    const std::vector<float> residuals = {-3.0f, 1.0f, -2.0f, 100.0f, 0.5f};  // one gross outlier
    EXPECT_FLOAT_EQ(CRobustWeights::Scale(residuals, 0.1f, scratch), CRobustWeights::kMadToSigma * 2.0f);
    EXPECT_EQ(residuals[0], -3.0f);  // the caller's residuals stay as they were
    EXPECT_EQ(CRobustWeights::Scale(residuals, 10.0f, scratch), 10.0f);
    EXPECT_EQ(CRobustWeights::Scale({}, 0.25f, scratch), 0.25f);
    EXPECT_EQ(CRobustWeights::Scale({0.0f, 0.0f, 0.0f, 7.0f}, 0.5f, scratch), 0.5f);  // a perfect fit
}

TEST(RobustWeights, HuberDampsAndTukeyDropsLargeResidualsWhileNoneKeepsAll) {
    const CRobustWeights none(CTrackerParameters::ROBUST_NONE), huber(CTrackerParameters::ROBUST_HUBER),
        tukey(CTrackerParameters::ROBUST_TUKEY);
    for (const float r : {0.0f, 1.0f, -3.0f, 50.0f}) EXPECT_EQ(none.Weight(r), 1.0f) << r;

    EXPECT_EQ(huber.Weight(1.0f), 1.0f);
    EXPECT_FLOAT_EQ(huber.Weight(-2.69f), 0.5f);  // the influence stays at the tuning constant
    EXPECT_GT(huber.Weight(100.0f), 0.0f);

    EXPECT_EQ(tukey.Weight(0.0f), 1.0f);
    EXPECT_NEAR(tukey.Weight(CRobustWeights::kTukeyTuning / 2.0f), 0.5625f, 1e-6f);
    EXPECT_EQ(tukey.Weight(-CRobustWeights::kTukeyTuning), 0.0f);
    EXPECT_EQ(tukey.Weight(std::nanf("")), 0.0f);
    EXPECT_GT(tukey.Weight(1.0f), tukey.Weight(2.0f));

    EXPECT_TRUE(CRobustWeights::Keeps(4.0f));
    EXPECT_FALSE(CRobustWeights::Keeps(-5.0f));
    EXPECT_FALSE(CRobustWeights::Keeps(std::nanf("")));
}

}  // namespace
