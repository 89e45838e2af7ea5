#include "synth/AxisErrors.h"

#include <cmath>

#include <gtest/gtest.h>

#include "support/Turns.h"

namespace {

// A nod to `peak` degrees and back, tracked as `read(true angle, k)` about each axis.
template <typename Read>
std::vector<TrackedFrameResult> TrackedNod(double peak, Read read) {
    std::vector<TrackedFrameResult> results;
    for (int k = 0; k < 60; ++k) {
        const double angle = peak * std::sin(k * 0.2);
        TrackedFrameResult r;
        r.index = k;
        r.truth = TurnDegrees({angle, 0.0, 0.0});
        r.estimated = TurnDegrees(read(angle, k));
        results.push_back(r);
    }
    return results;
}

TEST(AxisErrors, TellAGainAndCrosstalkFromNoise) {
    // Read 2 per cent short, with half a per cent of it as a turn aside, and a jitter about Z.
    const AxisErrors e = MeasureAxisErrors(TrackedNod(-15.0, [](double a, int k) {
        return cv::Vec3d(0.98 * a, 0.005 * a, k % 2 ? 0.05 : -0.05);
    }));
    EXPECT_EQ(e.frames, 60);
    EXPECT_EQ(e.mainAxis, 0);
    EXPECT_NEAR(e.slope[0], -0.02, 1e-3);
    EXPECT_NEAR(e.slope[1], 0.005, 2e-4);
    EXPECT_NEAR(e.restRmsDeg[0], 0.0, 0.01);
    EXPECT_NEAR(e.rmsDeg[2], 0.05, 2e-3);
    EXPECT_NEAR(e.restRmsDeg[2], 0.05, 3e-3);
    EXPECT_LT(std::abs(e.slope[2]), 1e-3);
}

TEST(AxisErrors, RunsThatNeverTurnAreAllRest) {
    const AxisErrors still = MeasureAxisErrors(TrackedNod(0.0, [](double, int) { return cv::Vec3d(0.0, 0.1, 0.0); }));
    EXPECT_NEAR(still.slope[1], 0.0, 1e-12);
    EXPECT_NEAR(still.restRmsDeg[1], 0.1, 1e-6);
    EXPECT_EQ(MeasureAxisErrors({}).frames, 0);
}

}  // namespace
