// The acceptance table's verdicts: which bound each run is held to and what it is told it misses.
#include "evaluation/Acceptance.h"

#include <gtest/gtest.h>

namespace {

RunRow Row(const std::string& trajectory, const std::string& mode, double rotationRms, double headCentreRms,
           double rotationEnd = 0.0, double rotationMax = 0.0) {
    RunRow row;
    row.trajectory = trajectory;
    row.mode = mode;
    row.path = "xyz";
    row.errors.rotationDeg.count = 10;
    row.errors.rotationDeg.rms = rotationRms;
    row.errors.rotationDeg.last = rotationEnd;
    row.errors.rotationDeg.max = std::max(rotationMax, rotationRms);
    row.errors.headCentreMm.rms = headCentreRms;
    return row;
}

TEST(Acceptance, EachRunIsHeldToTheBoundsOfItsConditionTrajectoryAndMode) {
    // Noise-free 0.5 deg / 3 mm; with stereo-like noise 1 deg / 5 mm.
    EXPECT_EQ(Shortfall(Row("yaw", "previous", 0.45, 2.9), false), "");
    EXPECT_EQ(Shortfall(Row("yaw", "previous", 0.6, 2.9), false), "rot rms 0.60 > 0.5");
    EXPECT_EQ(Shortfall(Row("yaw", "previous", 0.6, 4.0), true), "");
    EXPECT_EQ(Shortfall(Row("yaw", "previous", 1.2, 6.0), true), "rot rms 1.20 > 1.0; hc rms 6.0 > 5");
    // The random motion back at its start, and the still head, in a keyframe mode only.
    EXPECT_EQ(Shortfall(Row("random", "previous", 0.4, 1.0, 0.7), false), "");
    EXPECT_EQ(Shortfall(Row("random", "intensity", 0.4, 1.0, 0.7), false), "rot end 0.70 > 0.5");
    EXPECT_EQ(Shortfall(Row("still", "covariance", 0.1, 1.0, 0.1, 0.25), true), "rot max 0.25 >= 0.2");
    EXPECT_EQ(Shortfall(Row("still", "previous", 0.1, 1.0, 0.1, 0.25), true), "");
    RunRow nothing = Row("yaw", "previous", 0, 0);
    nothing.errors.rotationDeg.count = 0;
    EXPECT_EQ(Shortfall(nothing, false), "nothing tracked");
}

TEST(Acceptance, TheLeavingHeadMayNeitherBeTrackedWrongNorComeBackLate) {
    HostRow row;
    row.returnFrame = 80;
    row.summary.framesToRestart = 10;
    // Never followed before it left: the run shows nothing.
    EXPECT_EQ(HostShortfall(row), "nothing tracked");
    row.summary.tracked.Add(0.7, 0.0, 4.0);
    EXPECT_EQ(HostShortfall(row), "");
    row.summary.tracked.wrongPoses = 4;
    row.summary.framesToRestart = 14;
    EXPECT_EQ(HostShortfall(row), "4 tracked > 3 deg; restart 14 > 10 frames");
    row.summary.tracked.wrongPoses = 0;
    row.summary.framesToRestart = -1;
    EXPECT_EQ(HostShortfall(row), "no restart after the return");
    row.returnFrame = -1;  // the head never left
    EXPECT_EQ(HostShortfall(row), "");
    // A head found while it moved is held to the runs' bounds as well.
    EXPECT_EQ(HostShortfall(row, true, false), "rot rms 0.70 > 0.5; hc rms 4.0 > 3");
    EXPECT_EQ(HostShortfall(row, true, true), "");
}

TEST(Acceptance, TheTrackerBeatsThePeersOnlyWhenBothErrorsAreBelowEachPeersOnTheSamePath) {
    RunRow icp = Row("yaw", "-", 0.8, 0.6), rgbd = Row("yaw", "-", 5.0, 30.0), live = Row("yaw", "-", 0.1, 0.1);
    icp.estimator = "icp";
    rgbd.estimator = "rgbd";
    live.estimator = "icp";
    live.path = "live";
    const std::vector<RunRow> peers = {icp, rgbd, live};
    EXPECT_EQ(PeerComparison(Row("yaw", "previous", 0.5, 0.5), peers), "beats peers");
    EXPECT_EQ(PeerComparison(Row("yaw", "previous", 0.3, 6.0), peers), "peer better: icp 0.80 deg 0.6 mm");
    EXPECT_EQ(PeerComparison(Row("yaw", "previous", 0.3, 6.0), {}), "");
}

TEST(Acceptance, TheNoisyConditionAddsIntensityNoiseAndStereoLikeDepthWithHoles) {
    SequenceCase clean, noisy, noholes;
    ApplyCondition("clean", clean);
    ApplyCondition("noisy", noisy);
    ApplyCondition("noholes", noholes);
    EXPECT_EQ(noholes.scene.stereo.disparityNoisePx, 0.1);
    EXPECT_EQ(noholes.scene.stereo.dropout + noholes.scene.stereo.textureThreshold, 0.0);
    EXPECT_EQ(clean.noise, 0.0);
    EXPECT_FALSE(clean.scene.stereo.Any());
    EXPECT_EQ(noisy.noise, 2.0);
    EXPECT_EQ(noisy.scene.stereo.disparityNoisePx, 0.1);
    EXPECT_GT(noisy.scene.stereo.dropout, 0.0);
    EXPECT_NEAR(noisy.DepthNoiseSigmaMm(), 950.0 * 950.0 * 0.1 / (380 * 90), 1e-9);
}

}  // namespace
