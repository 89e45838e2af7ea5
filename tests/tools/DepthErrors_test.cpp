#include "synth/DepthErrors.h"

#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace {

TEST(DepthErrors, TheBandHugsTheOutlineOnBothSidesAndTheFaceIsWhatIsLeftOfTheHead) {
    cv::Mat head = cv::Mat::zeros(120, 160, CV_8U);
    cv::circle(head, {80, 60}, 30, cv::Scalar(1), cv::FILLED);
    const DepthRegions regions = MakeDepthRegions(head, 4);
    EXPECT_EQ(cv::countNonZero(regions.face & regions.band), 0);
    EXPECT_EQ(cv::countNonZero((regions.face | regions.band) & head), cv::countNonZero(head));
    EXPECT_EQ(cv::countNonZero(regions.outline != (regions.band & head)), 0);
    // A ring 4 pixels wide on each side of the circle's outline (radius 30.5 between the last head
    // and the first background pixel), and the disc of radius 26.5 inside it.
    EXPECT_NEAR(cv::countNonZero(regions.band), 8 * 2 * CV_PI * 30.5, 0.08 * 8 * 2 * CV_PI * 30.5);
    EXPECT_NEAR(cv::countNonZero(regions.face), CV_PI * 26.5 * 26.5, 0.05 * CV_PI * 26.5 * 26.5);
    EXPECT_EQ(regions.band.at<unsigned char>(60, 80 + 33), 1);  // outside, 4 pixels from the edge
    EXPECT_EQ(regions.band.at<unsigned char>(60, 80 + 35), 0);
    EXPECT_EQ(regions.face.at<unsigned char>(60, 80 + 25), 1);
}

TEST(DepthErrors, PixelsWithoutDepthCountInTheSharesButNotInTheErrors) {
    const cv::Mat truth(1, 10, CV_32F, cv::Scalar(1000.0f));
    const cv::Mat measured = (cv::Mat_<float>(1, 10) << 0, 0, 1001, 998, 1003, 1010, 1030, 960, 1000, 1000);
    const cv::Mat region = (cv::Mat_<unsigned char>(1, 10) << 1, 1, 1, 1, 1, 1, 1, 1, 1, 0);
    CDepthErrors errors;
    errors.Add(measured, truth, region);
    EXPECT_EQ(errors.Pixels(), 9);
    EXPECT_NEAR(errors.ShareWithDepth(), 7.0 / 9, 1e-9);
    EXPECT_FLOAT_EQ(errors.QuantileMm(0.5), 3.0f);  // the middle of 0 1 2 3 10 30 40
    EXPECT_FLOAT_EQ(errors.QuantileMm(1.0), 40.0f);
    EXPECT_NEAR(errors.ShareOffBy(20.0), 2.0 / 9, 1e-9);
    EXPECT_NEAR(errors.ShareNearerBy(20.0), 1.0 / 9, 1e-9);  // 960: nearer than it is
    errors.Add(measured, truth, region);  // frames add up
    EXPECT_EQ(errors.Pixels(), 18);
    EXPECT_NEAR(errors.ShareOffBy(20.0), 2.0 / 9, 1e-9);
}

// A measured relief half as deep as the true one, at another mean depth: scale 0.5 whatever the
// offset; frames at different depths each count about their own means; pixels without depth or
// outside the region say nothing.
TEST(DepthErrors, TheReliefScaleIsTheSlopeOfMeasuredAgainstTrueDepthWithinEachFrame) {
    const cv::Mat truth = (cv::Mat_<float>(1, 6) << 900, 950, 1000, 1050, 1100, 1000);
    const cv::Mat flattened = (cv::Mat_<float>(1, 6) << 980, 1005, 1030, 1055, 1080, 0);
    const cv::Mat region = (cv::Mat_<unsigned char>(1, 6) << 1, 1, 1, 1, 1, 1);
    CDepthErrors errors;
    EXPECT_EQ(errors.ReliefScale(), 0.0);
    errors.Add(flattened, truth, region);
    EXPECT_NEAR(errors.ReliefScale(), 0.5, 1e-9);
    // The same relief 400 mm further, kept whole: the pooled slope weighs both frames alike.
    errors.Add(truth + 400.0f, truth + 400.0f, (cv::Mat_<unsigned char>(1, 6) << 1, 1, 1, 1, 1, 0));
    EXPECT_NEAR(errors.ReliefScale(), 0.75, 1e-9);
}

}  // namespace
