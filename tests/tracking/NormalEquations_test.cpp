#include "tracking/NormalEquations.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Rows J x + r = 0 built from a known x: the weighted solve gives x back.
TEST(NormalEquations, SolvesAWeightedSystemBuiltFromAKnownIncrement) {
    const double truth[6] = {0.5, -1.0, 2.0, 0.01, -0.02, 0.03};
    CNormalEquations equations;
    for (int k = 0; k < 40; ++k) {
        float row[6];
        double predicted = 0.0;
        for (int j = 0; j < 6; ++j) {
            row[j] = static_cast<float>(std::sin(1.3 * k * (j + 1) + 0.7 * j) * (j < 3 ? 1.0 : 100.0));
            predicted += row[j] * truth[j];
        }
        equations.Add(row, static_cast<float>(-predicted), 1.0f + static_cast<float>(k % 3));
    }
    EXPECT_EQ(equations.Rows(), 40);
    double x[6];
    ASSERT_TRUE(equations.Solve(x));
    for (int j = 0; j < 6; ++j) EXPECT_NEAR(x[j], truth[j], 1e-5 * (1.0 + std::fabs(truth[j]))) << j;
}

TEST(NormalEquations, AnUnseenMotionGetsNoStepAndNoRowsNoSolution) {
    CNormalEquations equations;
    double x[6];
    EXPECT_FALSE(equations.Solve(x));
    // Rows that never involve tz (brightness rows of the weak-perspective model).
    for (int k = 0; k < 12; ++k) {
        const float row[6] = {1.0f + k, 0.5f * k, 0.0f, std::cos(static_cast<float>(k)), 2.0f, -1.0f * k};
        equations.Add(row, 0.25f * k - 1.0f, 1.0f);
    }
    ASSERT_TRUE(equations.Solve(x));
    EXPECT_NEAR(x[2], 0.0, 1e-9);
    equations.Reset();
    EXPECT_EQ(equations.Rows(), 0);
    EXPECT_FALSE(equations.Solve(x));
}

// An excess the rows cannot carry is halved until every direction keeps at least half its
// curvature; one they can is taken whole, gradient included; one that never fits is refused.
TEST(NormalEquations, AnExcessIsTakenOffOnlyAsFarAsTheSystemStaysPositiveDefinite) {
    const auto identity = [](float weight, float residual) {
        CNormalEquations equations;
        for (int j = 0; j < 6; ++j) {
            float row[6] = {0, 0, 0, 0, 0, 0};
            row[j] = 1.0f;
            equations.Add(row, residual, weight);
        }
        return equations;
    };
    const cv::Matx66d eye = cv::Matx66d::eye();
    const cv::Vec6d none = cv::Vec6d::all(0.0), ones = cv::Vec6d::all(1.0);
    // H = I, g = 1: the plain solution is -1 along every axis.
    CNormalEquations small = identity(1.0f, 1.0f);
    ASSERT_TRUE(small.Subtract(0.2 * eye, 0.1 * ones, 0.5));
    double x[6];
    ASSERT_TRUE(small.Solve(x));
    for (int j = 0; j < 6; ++j) EXPECT_NEAR(x[j], -0.9 / 0.8, 1e-9) << j;  // the whole of it

    // Three times the curvature: an eighth of it (0.375) is the first that leaves more than half.
    CNormalEquations large = identity(1.0f, 1.0f);
    ASSERT_TRUE(large.Subtract(3.0 * eye, none, 0.5));
    ASSERT_TRUE(large.Solve(x));
    for (int j = 0; j < 6; ++j) EXPECT_NEAR(x[j], -1.0 / 0.625, 1e-9) << j;

    CNormalEquations refused = identity(1.0f, 1.0f);
    EXPECT_FALSE(refused.Subtract(1000.0 * eye, ones, 0.5));
    EXPECT_FALSE(CNormalEquations().Subtract(0.1 * eye, none, 0.5));  // nothing to take it from
    cv::Matx66d broken = 0.1 * eye;
    broken(2, 3) = broken(3, 2) = std::nan("");
    EXPECT_FALSE(refused.Subtract(broken, none, 0.5));
    EXPECT_FALSE(refused.Subtract(0.1 * eye, cv::Vec6d::all(HUGE_VAL), 0.5));
    ASSERT_TRUE(refused.Solve(x));
    for (int j = 0; j < 6; ++j) EXPECT_NEAR(x[j], -1.0, 1e-9) << j;  // left as it was
}

}  // namespace
