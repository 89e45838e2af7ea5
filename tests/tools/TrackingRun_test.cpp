// The evaluation's stand-ins for the host: the initialiser's face region and the pose errors.
#include "synth/TrackingRun.h"

#include <gtest/gtest.h>

#include <tuple>

#include "tracking/Pose.h"

namespace {

TEST(TrackingRun, PlacesTheFaceRegionAsTheInitialiserWouldAroundTheProjectedHead) {
    RenderedFrame frame;
    frame.z = cv::Mat(240, 320, CV_32FC1, cv::Scalar(900.0f));
    const FaceRegion centred =
        InitialiserRegion(frame, StereoRig(), CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950}));
    EXPECT_EQ(std::make_tuple(centred.left, centred.right, centred.top, centred.bottom, centred.minDepth,
                              centred.maxDepth),
              std::make_tuple(100, 220, 40, 150, 500.0f, 1200.0f));
    // Near the top-left corner the left and top edges stop at 0.
    const FaceRegion corner =
        InitialiserRegion(frame, StereoRig(), CRigidMotion::FromRotationVector({0, 0, 0}, {-300, -200, 950}));
    EXPECT_EQ(std::make_tuple(corner.left, corner.top), std::make_tuple(0, 0));
}

TEST(TrackingRun, MeasuresRotationInDegreesAndTheHeadCentreInMillimetres) {
    const cv::Vec3d centre(0, 0, 950);
    const CPose estimated(0.0f, 0.0f, 0.1f, 1, 2, 3);
    const CRigidMotion truth = CRigidMotion::FromRotationVector({0, 0, 0.1 - M_PI / 180}, {1, 2, 7});
    const PoseError error = ComparePose(estimated, truth, centre);
    EXPECT_NEAR(error.rotationDeg, 1.0, 1e-4);
    EXPECT_NEAR(error.translationMm, 4.0, 1e-6);
    // An exact estimate puts the head where the truth does.
    EXPECT_NEAR(ComparePose(truth, truth, centre).headCentreMm, 0.0, 1e-9);
    // A turn about the head centre estimated as the same turn about the camera: the head is moved
    // by 2 * 950 * sin(5 degrees) along the arc's chord.
    const CRigidMotion turn = CRigidMotion::FromRotationVector({0, 10 * M_PI / 180, 0}, {0, 0, 0});
    const CRigidMotion aboutHead(turn.Rotation(), centre - turn.Rotation() * centre);
    EXPECT_NEAR(ComparePose(turn, aboutHead, centre).headCentreMm, 2 * 950 * std::sin(5 * M_PI / 180), 1e-9);
    // One degree too much about the head centre moves the head nowhere, though the translation
    // vector is 16.6 mm off: the lever arm from the camera origin.
    const CRigidMotion more = CRigidMotion::FromRotationVector({0, 11 * M_PI / 180, 0}, {0, 0, 0});
    const CRigidMotion overTurned(more.Rotation(), centre - more.Rotation() * centre);
    const PoseError lever = ComparePose(overTurned, aboutHead, centre);
    EXPECT_NEAR(lever.headCentreMm, 0.0, 1e-9);
    EXPECT_NEAR(lever.translationMm, 2 * 950 * std::sin(0.5 * M_PI / 180), 1e-9);
    EXPECT_NEAR(lever.rotationDeg, 1.0, 1e-9);
    // A translation off by (3, 4, 0) is 5 mm wherever the head is.
    const CRigidMotion shifted(aboutHead.Rotation(), aboutHead.Translation() + cv::Vec3d(3, 4, 0));
    EXPECT_NEAR(ComparePose(shifted, aboutHead, centre).headCentreMm, 5.0, 1e-9);

    std::vector<TrackedFrameResult> results(3);
    results[0].error = {3.0, 4.0, 1.0};
    results[1].error = {4.0, 2.0, 2.0};
    results[2].error = {1.0, 1.0, 2.0};
    const TrackingErrors s = Summarise(results);
    EXPECT_EQ(std::make_tuple(s.rotationDeg.count, s.rotationDeg.max, s.rotationDeg.last, s.translationMm.max,
                              s.translationMm.last, s.headCentreMm.max, s.wrongPoses),
              std::make_tuple(3, 4.0, 1.0, 4.0, 1.0, 2.0, 1));
    EXPECT_NEAR(s.rotationDeg.rms, std::sqrt(26.0 / 3), 1e-12);
    EXPECT_NEAR(s.headCentreMm.rms, std::sqrt(3.0), 1e-12);
}

}  // namespace
