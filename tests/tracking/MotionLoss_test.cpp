#include "tracking/MotionLoss.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "tracking/TrackerParameters.h"

namespace {

MotionLoss Good() {
    MotionLoss loss;
    loss.estimated = true;
    loss.referencePixels = 3000;
    loss.matchedRows = 2800;
    loss.brightnessScale = 0.8f;
    loss.depthScale = 1.2f;
    loss.inlierShare = 0.95f;
    loss.faceShare = 0.9f;
    loss.converged = true;
    return loss;
}

TEST(MotionLoss, ThresholdsComeFromTheTrackerSettings) {
    std::istringstream in("MIN_INLIER_SHARE: 0.7 MIN_FACE_SHARE: 0.4 MAX_RESIDUAL: 6 REQUIRE_CONVERGENCE: YES");
    const LossThresholds t = LossThresholds::From(CTrackerParameters(in));
    EXPECT_EQ(std::make_tuple(t.minInlierShare, t.minFaceShare, t.maxResidual, t.requireConvergence),
              std::make_tuple(0.7f, 0.4f, 6.0f, true));
}

TEST(MotionLoss, APairFailsOnEachThresholdAndOnNumbersThatAreNot) {
    LossThresholds t;
    t.minInlierShare = 0.5f;
    t.minFaceShare = 0.3f;
    t.maxResidual = 5.0f;
    t.requireConvergence = true;
    EXPECT_TRUE(t.Accepts(Good()));
    EXPECT_TRUE(t.Accepts(MotionLoss()));  // nothing estimated, nothing to judge

    MotionLoss loss = Good();
    loss.inlierShare = 0.49f;
    EXPECT_FALSE(t.Accepts(loss));
    loss = Good();
    loss.faceShare = 0.2f;
    EXPECT_FALSE(t.Accepts(loss));
    loss = Good();
    loss.depthScale = 5.5f;
    EXPECT_FALSE(t.Accepts(loss));
    loss = Good();
    loss.converged = false;
    EXPECT_FALSE(t.Accepts(loss));
    loss = Good();
    loss.matchedRows = 0;
    EXPECT_FALSE(t.Accepts(loss));
    loss = Good();
    loss.jumped = true;  // whatever the thresholds
    EXPECT_FALSE(LossThresholds().Accepts(loss));
    loss = Good();
    loss.faceShare = std::nanf("");
    EXPECT_FALSE(t.Accepts(loss));
    loss = Good();
    loss.brightnessScale = std::nanf("");
    EXPECT_FALSE(t.Accepts(loss));
    loss = Good();
    loss.foundHiddenShare = 0.6f;  // checked with an occlusion gap only
    EXPECT_TRUE(t.Accepts(loss));
    t.maxHiddenShare = LossThresholds::kMaxHiddenShare;
    EXPECT_FALSE(t.Accepts(loss));

    // Residuals and convergence are only checked when asked for.
    t.maxResidual = 0.0f;
    t.requireConvergence = false;
    loss = Good();
    loss.brightnessScale = 1e6f;
    loss.converged = false;
    EXPECT_TRUE(t.Accepts(loss));
}

}  // namespace
