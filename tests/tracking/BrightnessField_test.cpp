#include "tracking/BrightnessField.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Pairs {
    std::vector<float> reference, current, u, v;
};

// Grey levels over a face about 0.2 across in rays, lit by `gains`; every tenth pair (a
// highlight, a hand) follows nothing.
Pairs Lit(const CBrightnessField::Gains& gains, bool flatV = false) {
    Pairs p;
    for (int k = 0; k < 400; ++k) {
        const float u = 0.05f + 0.2f * static_cast<float>((k * 13) % 40) / 40.0f;
        const float v = flatV ? -0.02f : -0.1f + 0.2f * static_cast<float>((k * 7) % 23) / 23.0f;
        const float level = 0.002f + 0.006f * static_cast<float>((k * 37) % 100) / 100.0f;
        p.reference.push_back(level);
        p.current.push_back(k % 10 == 0 ? 0.0098f : gains.At(u, v) * level + 2e-6f * std::sin(static_cast<float>(k)));
        p.u.push_back(u);
        p.v.push_back(v);
    }
    return p;
}

TEST(BrightnessField, FitsAGainVaryingAcrossTheFaceAndLeavesWhatDoesNotFollowIt) {
    const CBrightnessField::Gains lamp{1.1f, 0.8f, -0.5f};
    const Pairs p = Lit(lamp);
    CBrightnessField field;
    field.Fit(p.reference, p.current, p.u, p.v);
    EXPECT_NEAR(field.Field().constant, 1.1f, 0.005f);
    EXPECT_NEAR(field.Field().alongX, 0.8f, 0.02f);
    EXPECT_NEAR(field.Field().alongY, -0.5f, 0.02f);

    // A face seen along one row of rays says nothing of the slope across it: none is fitted,
    // and the rest still is.
    const Pairs row = Lit(lamp, true);
    field.Reset();
    field.Fit(row.reference, row.current, row.u, row.v);
    EXPECT_EQ(field.Field().alongY, 0.0f);
    EXPECT_NEAR(field.Field().At(0.15f, -0.02f), lamp.At(0.15f, -0.02f), 0.005f);
}

TEST(BrightnessField, KeepsItsLastFitWhenThePairsCannotGiveOne) {
    const Pairs p = Lit({0.9f, 0.3f, 0.2f});
    CBrightnessField field;
    field.Fit(p.reference, p.current, p.u, p.v);
    const CBrightnessField::Gains kept = field.Field();
    // Too few pairs.
    field.Fit({0.001f, 0.002f}, {0.003f, 0.001f}, {0.0f, 0.1f}, {0.0f, 0.1f});
    EXPECT_EQ(field.Field().constant, kept.constant);
    // A gain no exposure or lamp makes somewhere on the face.
    const Pairs dark = Lit({0.6f, -2.0f, 0.0f});
    field.Fit(dark.reference, dark.current, dark.u, dark.v);
    EXPECT_EQ(field.Field().alongX, kept.alongX);
    // Nothing to divide by.
    field.Fit(std::vector<float>(100, 0.0f), std::vector<float>(100, 0.001f), p.u, p.v);
    EXPECT_EQ(field.Field().constant, kept.constant);
    field.Reset();
    EXPECT_EQ(field.Field().constant, 1.0f);
    EXPECT_EQ(field.Field().alongX, 0.0f);
}

}  // namespace
