#include "synth/IncrementErrors.h"

#include <gtest/gtest.h>

#include "support/Turns.h"

namespace {

// A head turning 2 degrees a frame about Y and 1 about X, tracked with the turn `error(k)`
// after the k-th increment.
template <typename Error>
std::vector<TrackedFrameResult> TrackedTurn(int frames, Error error) {
    std::vector<TrackedFrameResult> results;
    CRigidMotion truth, estimated;
    for (int k = 0; k < frames; ++k) {
        if (k > 0) {
            const cv::Vec3d step(1.0, 2.0, 0.0);
            truth = TurnDegrees(step) * truth;
            estimated = TurnDegrees(error(k)) * TurnDegrees(step) * estimated;
        }
        TrackedFrameResult r;
        r.index = 10 + k;
        r.truth = truth;
        r.estimated = estimated;
        results.push_back(r);
    }
    return results;
}

TEST(IncrementErrors, TellADriftFromErrorsThatCancel) {
    // The same size each pair: once of one sign throughout, once alternating.
    const IncrementErrors drift = MeasureIncrements(TrackedTurn(41, [](int) { return cv::Vec3d(0.01, 0.0, -0.02); }));
    EXPECT_EQ(drift.pairs, 40);
    EXPECT_NEAR(drift.meanDeg[0], 0.01, 2e-4);
    EXPECT_NEAR(drift.meanDeg[2], -0.02, 4e-4);
    EXPECT_NEAR(drift.rmsDeg[0], 0.01, 2e-4);
    EXPECT_NEAR(drift.meanDeg[1], 0.0, 2e-4);

    const IncrementErrors wander =
        MeasureIncrements(TrackedTurn(41, [](int k) { return cv::Vec3d(0.0, k % 2 ? 0.03 : -0.03, 0.0); }));
    EXPECT_NEAR(wander.meanDeg[1], 0.0, 1e-3);
    EXPECT_NEAR(wander.rmsDeg[1], 0.03, 1e-3);
    EXPECT_NEAR(wander.rmsDeg[0], 0.0, 1e-4);
}

TEST(IncrementErrors, SkipTheGapsWhereTrackingStopped) {
    std::vector<TrackedFrameResult> results = TrackedTurn(6, [](int) { return cv::Vec3d(0.0, 0.0, 0.0); });
    // Frames 13 and 14 untracked: no pair spans the gap, whatever the poses on either side.
    results.erase(results.begin() + 3, results.begin() + 5);
    results.back().estimated = TurnDegrees({0.0, 30.0, 0.0});
    const IncrementErrors errors = MeasureIncrements(results);
    EXPECT_EQ(errors.pairs, 2);
    EXPECT_NEAR(errors.rmsDeg[1], 0.0, 1e-9);
    EXPECT_EQ(MeasureIncrements({}).pairs, 0);
}

}  // namespace
