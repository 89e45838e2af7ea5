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

TEST(TrackingRun, MeasuresRotationInDegreesAndTranslationInMillimetres) {
    const CPose estimated(0.0f, 0.0f, 0.1f, 1, 2, 3);
    const PoseError error = ComparePose(estimated, CRigidMotion::FromRotationVector({0, 0, 0.1 - M_PI / 180}, {1, 2, 7}));
    EXPECT_NEAR(error.rotationDeg, 1.0, 1e-4);
    EXPECT_NEAR(error.translationMm, 4.0, 1e-6);
    std::vector<TrackedFrameResult> results(2);
    results[0].error = {3.0, 4.0};
    results[1].error = {4.0, 2.0};
    const TrackingErrors s = Summarise(results);
    EXPECT_EQ(std::make_tuple(s.rotationDeg.count, s.rotationDeg.max, s.rotationDeg.last, s.translationMm.max,
                              s.translationMm.last),
              std::make_tuple(2, 4.0, 4.0, 4.0, 2.0));
    EXPECT_NEAR(s.rotationDeg.rms, std::sqrt(12.5), 1e-12);
}

}  // namespace
