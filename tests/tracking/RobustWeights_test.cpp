#include "tracking/RobustWeights.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/core.hpp>

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

// Large blocks are ranked another way than small ones: the median must be the same value, ties,
// zeros of either sign, subnormals, infinities and bucket edges included.
TEST(RobustWeights, TheScaleOfALargeBlockIsItsExactMedianMagnitude) {
    const auto median = [](std::vector<float> values) {
        for (float& value : values) value = std::fabs(value);
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    cv::RNG random(11);
    std::vector<float> scratch;
    for (const int size : {255, 256, 257, 700, 4096, 13001}) {
        for (int kind = 0; kind < 4; ++kind) {
            std::vector<float> residuals(static_cast<std::size_t>(size));
            for (float& r : residuals) {
                switch (kind) {
                    case 0: r = static_cast<float>(random.gaussian(3.0)); break;
                    case 1: r = static_cast<float>(random.uniform(-4, 5));  break;  // whole numbers: ties
                    case 2: r = random.uniform(0, 2) ? 1.0f : std::nextafter(1.0f, 2.0f); break;
                    default: {
                        const float odd[] = {0.0f, -0.0f, 1e-42f, -1e-40f, INFINITY, -INFINITY, 2.5f, -2.5f};
                        r = odd[random.uniform(0, 8)];
                    }
                }
            }
            EXPECT_EQ(CRobustWeights::Scale(residuals, 0.0f, scratch), CRobustWeights::kMadToSigma * median(residuals))
                << size << " " << kind;
        }
    }
    // A NaN among them neither crashes nor turns the floor off.
    std::vector<float> broken(2000, 1.0f);
    broken[7] = NAN;
    EXPECT_GE(CRobustWeights::Scale(broken, 0.5f, scratch), 0.5f);
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
