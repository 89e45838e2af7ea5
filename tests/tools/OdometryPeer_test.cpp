// OpenCV's odometry used as the tracker's peer: units, axes and the direction of the motion it
// returns, checked on rendered heads with known motions; its frames taken from the stereo source.
#include "peer/OdometryPeer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "acquisition/StereoSource.h"
#include "evaluation/CaseRuns.h"
#include "evaluation/SequenceCase.h"
#include "synth/HeadScene.h"

namespace {

namespace fs = std::filesystem;

const cv::Vec3d kHeadCentre(0, 0, 950);

PeerFrame Frame(const RenderedFrame& rendered) {
    PeerFrame frame;
    frame.image = rendered.left;
    rendered.z.convertTo(frame.depth, CV_32F, 0.001);
    frame.mask = rendered.headMask;
    return frame;
}

// The head turned by rotationDeg about its centre and moved by translationMm.
CRigidMotion Moved(const cv::Vec3d& rotationDeg, const cv::Vec3d& translationMm) {
    const CRigidMotion step = CRigidMotion::FromRotationVector(rotationDeg * CV_PI / 180.0, {0, 0, 0});
    return CRigidMotion(step.Rotation(), kHeadCentre + translationMm);
}

TEST(OdometryPeer, RecoversAKnownRenderedMotionInMillimetresFromTheFirstFrameToTheSecond) {
    const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
    ASSERT_NE(scene, nullptr);
    const CRigidMotion rest = Moved({0, 0, 0}, {0, 0, 0});
    const auto peer = COdometryPeer::Create("rgbdicp", PeerCamera(), 500, 1500);
    ASSERT_NE(peer, nullptr);
    const PeerFrame a = Frame(scene->Render(rest));
    // A turn, a move down (+Y) and away, and both: each recovered where it puts the head centre.
    const struct {
        cv::Vec3d rotationDeg, translationMm;
    } motions[] = {{{0, 3, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 6, 10}}, {{2, -2, 1}, {4, -3, 8}}};
    for (const auto& m : motions) {
        const CRigidMotion truth = RelativeMotion(rest, Moved(m.rotationDeg, m.translationMm));
        const PeerFrame b = Frame(scene->Render(Moved(m.rotationDeg, m.translationMm)));
        CRigidMotion forward, backward;
        ASSERT_TRUE(peer->Estimate(a, b, forward));
        ASSERT_TRUE(peer->Estimate(b, a, backward));
        EXPECT_LT(RelativeMotion(truth, forward).RotationAngle() * 180 / CV_PI, 0.5) << m.rotationDeg;
        EXPECT_LT(cv::norm(forward.Apply(kHeadCentre) - truth.Apply(kHeadCentre)), 1.5) << m.translationMm;
        // From the second frame to the first: the inverse motion.
        EXPECT_LT(RelativeMotion(truth.Inverse(), backward).RotationAngle() * 180 / CV_PI, 0.5) << m.rotationDeg;
        EXPECT_LT(cv::norm(backward.Apply(truth.Apply(kHeadCentre)) - kHeadCentre), 1.5) << m.translationMm;
    }
    // Chained over the three frames rest, half way and the whole turn.
    const CRigidMotion whole = Moved({0, 4, 0}, {6, 0, 0});
    peer->Start(a);
    EXPECT_TRUE(peer->Step(Frame(scene->Render(Moved({0, 2, 0}, {3, 0, 0})))));
    EXPECT_TRUE(peer->Step(Frame(scene->Render(whole))));
    // (chained the wrong way round it would be 8 degrees off)
    EXPECT_LT(RelativeMotion(RelativeMotion(rest, whole), peer->Pose()).RotationAngle() * 180 / CV_PI, 2.0);
    EXPECT_EQ(peer->FailedPairs(), 0);
    EXPECT_GT(peer->LastSeconds(), 0.0);
    // Nothing to match: a failed pair, the pose kept.
    const CRigidMotion before = peer->Pose();
    PeerFrame empty = a;
    empty.mask = cv::Mat::zeros(a.mask.size(), CV_8U);
    EXPECT_FALSE(peer->Step(empty));
    EXPECT_EQ(peer->FailedPairs(), 1);
    EXPECT_EQ(cv::norm(peer->Pose().Translation() - before.Translation()), 0.0);
    EXPECT_EQ(COdometryPeer::Create("orb", PeerCamera(), 0, 0), nullptr);
}

TEST(OdometryPeer, TakesTheSourcesFrameInGreyLevelsAndMetresInsideTheFaceRegion) {
    const std::string folder = (fs::temp_directory_path() / ("vantorel_peer_" + std::to_string(::getpid()))).string();
    SequenceCase sequence;
    sequence.trajectory = "still";
    sequence.frames = 4;
    sequence.stillFrames = 2;
    WrittenCase written;
    std::string error;
    ASSERT_TRUE(WriteSequenceCase(sequence, folder, written, &error)) << error;
    std::istringstream param("CAMERA_TYPE: FILES\nCONFIG_FILENAME: " + written.folder + "/camera-xyz.cfg\n");
    CStereoSource source(&param);
    const FaceRegion& r = written.region;
    source.SetRegion(r.left, r.right, r.top, r.bottom, r.minDepth, r.maxDepth);
    ASSERT_TRUE(source.GrabImage());
    const PeerFrame frame = PeerFrameFromSource(source);
    const RenderedFrame rendered =
        CHeadScene::Create(sequence.Scene(), nullptr)->Render(CRigidMotion::FromRotationVector({0, 0, 0}, kHeadCentre));
    EXPECT_EQ(cv::norm(frame.image, rendered.left, cv::NORM_INF), 0.0);
    EXPECT_LT(cv::norm(frame.depth * 1000.0, rendered.z, cv::NORM_INF), 1e-3);
    const cv::Rect inside(r.left, r.top, r.right - r.left, r.bottom - r.top);
    cv::Mat outside = frame.mask.clone();
    outside(inside).setTo(0);
    EXPECT_EQ(cv::countNonZero(outside), 0);
    // Inside: the face, not the wall behind it.
    EXPECT_GT(cv::countNonZero(frame.mask), 2000);
    cv::Mat wall;
    cv::compare(rendered.z, r.maxDepth, wall, cv::CMP_GE);
    EXPECT_EQ(cv::countNonZero(frame.mask & wall), 0);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

TEST(OdometryPeer, RidesAlongATrackingRunOnEveryPathAndIsMeasuredInTheRunsAxes) {
    const std::string folder = (fs::temp_directory_path() / ("vantorel_peerrun_" + std::to_string(::getpid()))).string();
    SequenceCase sequence;
    sequence.trajectory = "pitch";
    sequence.frames = 40;
    sequence.stillFrames = 4;
    sequence.paths = {"xyz", "disparity"};
    WrittenCase written;
    std::string error;
    ASSERT_TRUE(WriteSequenceCase(sequence, folder, written, &error)) << error;
    EvaluationOptions options;
    options.modes = {"previous"};
    options.peers = {"rgbdicp"};
    std::vector<RunRow> rows;
    ASSERT_TRUE(RunSequenceCase(sequence, written, options, rows, &error)) << error;
    ASSERT_EQ(rows.size(), 4u);
    for (const RunRow& row : rows) {
        EXPECT_EQ(row.errors.rotationDeg.count, 36) << row.path << " " << row.estimator;
        // The nod reaches 20 degrees (RMS 14): measured in axes whose Y points the other way it would
        // be 28 degrees RMS off. (On a smooth head a nod is hard to see in depth: a generous bound.)
        EXPECT_LT(row.errors.rotationDeg.rms, 6.0) << row.path << " " << row.estimator;
    }
    EXPECT_EQ(rows[1].estimator, "rgbdicp");
    EXPECT_EQ(rows[3].path, "disparity");
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

}  // namespace
