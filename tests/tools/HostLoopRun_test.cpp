// The host's own loop over a written sequence: detection, tracking, loss and a new search, read
// back step by step; and what a user of a leaving head is told.
#include "synth/HostLoopRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "evaluation/HostRuns.h"
#include "evaluation/SequenceCase.h"
#include "synth/Trajectory.h"

namespace {

namespace fs = std::filesystem;

// A trajectory written into a folder of its own (removed at the end, whatever the test's outcome)
// and run through the host's loop with the recommended configuration.
struct WrittenRun {
    explicit WrittenRun(const std::string& tag)
        : folder((fs::temp_directory_path() / ("vantorel_hostloop_" + tag + std::to_string(::getpid()))).string()) {}
    ~WrittenRun() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    // False, with the reason in error, when the run cannot be made.
    bool Run(const TrajectoryOptions& trajectory, const SequenceCase& sequence = SequenceCase()) {
        std::vector<CRigidMotion> poses;
        if (!MakeTrajectory(trajectory, poses, &error) || !WritePoses(sequence, poses, folder, written, &error))
            return false;
        HostLoopOptions options;
        options.folder = written.folder;
        options.runDirectory = folder + "/run";
        options.classifier = DefaultClassifier();
        return LoadRunConfiguration("recommended", written.folder, options.configuration, &error) &&
               RunHostLoop(options, written.truth, steps, &error);
    }

    const std::string folder;
    WrittenCase written;
    std::vector<HostStep> steps;
    std::string error;
};

TEST(HostLoopRun, DeclaresTheLossOfAHeadThatLeavesAndFindsItAgainWhenItComesBack) {
    TrajectoryOptions trajectory;
    trajectory.name = "quickleave";
    trajectory.peakMmPerSecond = 2400;  // twice the default: fewer frames to render
    trajectory.frameCount = TimedFrameCount(trajectory);
    WrittenRun run("");
    ASSERT_TRUE(run.Run(trajectory)) << run.error;
    const std::vector<HostStep>& steps = run.steps;
    const int back = run.written.ReturnFrame();
    ASSERT_GT(back, 20);

    // Every frame is seen once, in order; the first frame came with the context.
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.front().fileIndex, 2);
    EXPECT_EQ(steps.back().fileIndex, run.written.frameCount);
    for (std::size_t k = 1; k < steps.size(); ++k)
        EXPECT_EQ(steps[k].fileIndex - steps[k - 1].fileIndex, steps[k].lost ? 2 : 1) << k;

    const HostLoopSummary s = SummariseHostLoop(steps, run.written.headVisible, back);
    // Found among the still frames, and tracked exactly while the head rests.
    EXPECT_GE(s.firstFound, 4);
    EXPECT_LE(s.firstFound, trajectory.stillFrames);
    for (const HostStep& step : steps) {
        if (step.tracked && step.fileIndex <= trajectory.stillFrames) {
            EXPECT_LT(step.error.rotationDeg, 0.05);
        }
    }
    // Lost on the way out, never tracked while gone, found again after it comes back.
    EXPECT_GE(s.losses, 1);
    EXPECT_TRUE(s.lostWhileGone);
    EXPECT_EQ(s.trackedWhileGone, 0);
    EXPECT_GE(s.restarts, 1);
    EXPECT_GT(s.restartFrame, back - 10);
    EXPECT_LT(s.framesToRestart, 40);
    // The new run's poses start from its own frame.
    for (const HostStep& step : steps) {
        if (step.tracked && step.fileIndex > s.restartFrame) {
            EXPECT_EQ(step.anchor, s.restartFrame);
        }
    }
}

// The head is on its way while it is found: the frames of the search show it elsewhere, and
// keyframes taken for the run's first frame would pull every later pose to where it was then.
TEST(HostLoopRun, AHeadFoundWhileItMovesIsFollowedFromWhereItWasFound) {
    TrajectoryOptions trajectory;
    trajectory.name = "sway";
    trajectory.stillFrames = 2;
    trajectory.frameCount = TimedFrameCount(trajectory);
    WrittenRun run("moving_");
    ASSERT_TRUE(run.Run(trajectory)) << run.error;
    const HostLoopSummary s = SummariseHostLoop(run.steps, run.written.headVisible, -1);
    ASSERT_GT(s.firstFound, trajectory.stillFrames);  // found after the head set off
    ASSERT_GT(s.tracked.headCentreMm.count, 30);
    EXPECT_LT(s.tracked.headCentreMm.rms, 2.0);  // 35 mm with the search's frames as keyframes
    EXPECT_EQ(s.tracked.wrongPoses, 0);
}

// A face 60 cm from the camera, as at a laptop: its nose is nearer than 600 mm, where the
// depth mask used to end, and it was never found.
TEST(HostLoopRun, AHeadNearTheCameraIsFoundAndFollowed) {
    SequenceCase near;
    near.distanceMm = 600.0;
    near.focalPx = 300.0;
    TrajectoryOptions trajectory;
    trajectory.name = "yaw";
    trajectory.distanceMm = near.distanceMm;
    trajectory.frameCount = 30;
    WrittenRun run("near_");
    ASSERT_TRUE(run.Run(trajectory, near)) << run.error;
    const HostLoopSummary s = SummariseHostLoop(run.steps, run.written.headVisible, -1);
    EXPECT_GE(s.firstFound, 4);
    EXPECT_LE(s.firstFound, trajectory.stillFrames);
    EXPECT_GT(s.tracked.rotationDeg.count, 20);
    EXPECT_LT(s.tracked.rotationDeg.rms, 0.5);
    EXPECT_EQ(s.tracked.wrongPoses, 0);
}

TEST(HostLoopRun, SummaryCountsWrongPosesLossesAndTheFramesUntilTrackingRestarts) {
    // Found at 3, tracked 4 to 8 (7 and 8 wrong), lost at 9 (new frame 10), the head gone from 9
    // to 14, back in view at 16, found again at 19 and tracked after.
    std::vector<HostStep> steps;
    const auto add = [&](int index, bool tracking, bool found, bool lost, double rotationDeg) {
        HostStep step;
        step.fileIndex = index;
        step.tracking = tracking;
        step.found = found;
        step.lost = lost;
        step.tracked = tracking && !found;
        step.error.rotationDeg = rotationDeg;
        steps.push_back(step);
    };
    add(2, false, false, false, 0);
    add(3, true, true, false, 0);
    for (int k = 4; k <= 8; ++k) add(k, true, false, false, k >= 7 ? 5.0 : 0.5);
    add(10, false, false, true, 0);
    for (int k = 11; k <= 18; ++k) add(k, false, false, false, 0);
    add(19, true, true, false, 0);
    add(20, true, false, false, 1.0);
    std::vector<bool> visible(20, true);
    for (int k = 9; k <= 14; ++k) visible[k - 1] = false;
    const HostLoopSummary s = SummariseHostLoop(steps, visible, 16);
    EXPECT_EQ(s.tracked.rotationDeg.count, 6);
    EXPECT_EQ(s.tracked.wrongPoses, 2);
    EXPECT_EQ(s.firstFound, 3);
    EXPECT_EQ(s.losses, 1);
    EXPECT_EQ(s.restarts, 1);
    EXPECT_EQ(s.restartFrame, 19);
    EXPECT_EQ(s.framesToRestart, 3);
    EXPECT_TRUE(s.lostWhileGone);
    EXPECT_EQ(s.trackedWhileGone, 0);

    // Tracking on through the absence: no restart, frames tracked while gone.
    for (HostStep& step : steps)
        if (step.fileIndex >= 10) step.tracking = step.tracked = true, step.lost = step.found = false;
    const HostLoopSummary on = SummariseHostLoop(steps, visible, 16);
    EXPECT_FALSE(on.lostWhileGone);
    EXPECT_EQ(on.restartFrame, -1);
    EXPECT_EQ(on.framesToRestart, -1);
    EXPECT_EQ(on.trackedWhileGone, 5);  // frames 10 to 14
}

TEST(HostLoopRun, TheFaceReturnsWhenItsWholeBoxIsBackInViewAfterTheHeadWasGone) {
    WrittenCase written;
    written.headVisible = {true, true, false, false, true, true, true};
    written.faceInView = {true, false, false, false, false, true, true};
    EXPECT_EQ(written.ReturnFrame(), 6);
    written.headVisible.assign(7, true);
    EXPECT_EQ(written.ReturnFrame(), -1);
}

}  // namespace
