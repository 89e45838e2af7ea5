#include "tracking/BrightnessModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(BrightnessModel, FitsTheExposuresGainAndLeavesWhatDoesNotFollowIt) {
    std::vector<float> reference, current;
    for (int k = 0; k < 400; ++k) {
        const float level = 0.002f + 0.006f * static_cast<float>((k * 37) % 100) / 100.0f;
        reference.push_back(level);
        // A tenth of the pixels (a highlight, a hand) follow nothing.
        current.push_back(k % 10 == 0 ? 0.0098f : 1.15f * level + 2e-5f * std::sin(static_cast<float>(k)));
    }
    CBrightnessModel model;
    model.Fit(reference, current);
    EXPECT_NEAR(model.Gain(), 1.15f, 0.005f);
    // Too few pairs, or a gain no exposure makes, leave the fit as it was.
    model.Fit({0.001f, 0.002f}, {0.003f, 0.001f});
    EXPECT_NEAR(model.Gain(), 1.15f, 0.005f);
    std::vector<float> dark;
    for (const float level : reference) dark.push_back(0.2f * level);
    model.Fit(reference, dark);
    EXPECT_NEAR(model.Gain(), 1.15f, 0.005f);
    model.Fit(std::vector<float>(100, 0.0f), std::vector<float>(100, 0.001f));
    EXPECT_NEAR(model.Gain(), 1.15f, 0.005f);
    model.Reset();
    EXPECT_EQ(model.Gain(), 1.0f);
}

// A pair's later fits start from its last gain: the exposure they then meet may be far from it.
TEST(BrightnessModel, ALaterFitFollowsAGainFarFromTheLastOne) {
    std::vector<float> reference, bright, dim;
    for (int k = 0; k < 400; ++k) {
        const float level = 0.002f + 0.006f * static_cast<float>((k * 37) % 100) / 100.0f;
        reference.push_back(level);
        bright.push_back(1.3f * level);
        dim.push_back(k % 10 == 0 ? 0.0098f : 0.8f * level + 2e-5f * std::cos(static_cast<float>(k)));
    }
    CBrightnessModel model;
    model.Fit(reference, bright);
    EXPECT_NEAR(model.Gain(), 1.3f, 0.005f);
    model.Fit(reference, dim);
    EXPECT_NEAR(model.Gain(), 0.8f, 0.005f);
}

}  // namespace
