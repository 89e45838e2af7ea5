#include "report/TrackPictures.h"

#include <gtest/gtest.h>

namespace {

// X, Y, Z of a plane 1000 mm away seen by a pinhole camera (focal 380, centre 160, 120), Y down
// or up.
void PlaneSeenBy(bool yUp, cv::Mat& x, cv::Mat& y, cv::Mat& z) {
    x.create(240, 320, CV_32FC1), y.create(240, 320, CV_32FC1), z.create(240, 320, CV_32FC1);
    for (int row = 0; row < 240; ++row)
        for (int column = 0; column < 320; ++column) {
            z.at<float>(row, column) = 1000.0f;
            x.at<float>(row, column) = (column - 160.0f) * 1000.0f / 380.0f;
            y.at<float>(row, column) = (yUp ? -1.0f : 1.0f) * (row - 120.0f) * 1000.0f / 380.0f;
        }
    z.at<float>(0, 0) = std::numeric_limits<float>::quiet_NaN();  // holes are skipped
}

TEST(TrackPictures, ProjectionIsFittedToTheFramesOwnCoordinates) {
    cv::Mat x, y, z;
    PlaneSeenBy(false, x, y, z);
    const Projection down = FitProjection(x, y, z);
    ASSERT_TRUE(down.valid);
    EXPECT_NEAR(down.fx, 380, 1e-3);
    EXPECT_NEAR(down.cx, 160, 1e-3);
    EXPECT_NEAR(down.fy, 380, 1e-3);
    EXPECT_NEAR(down.cy, 120, 1e-3);
    EXPECT_FALSE(down.YUp());
    PlaneSeenBy(true, x, y, z);
    EXPECT_TRUE(FitProjection(x, y, z).YUp());
    EXPECT_FALSE(FitProjection(cv::Mat(), y, z).valid);
    EXPECT_FALSE(FitProjection(x, y, cv::Mat(240, 320, CV_32FC1, cv::Scalar(-1))).valid);
}

TEST(TrackPictures, AnnotatedFramesShowTheFaceBoxAndThePoseAxesWhereTheyProject) {
    cv::Mat x, y, z;
    PlaneSeenBy(false, x, y, z);
    FrameAnnotation a;
    a.tracking = true;
    a.faceBox = cv::Rect2d(100, 60, 40, 50);
    a.drawAxes = true;
    a.centroid = cv::Vec3d(0, 0, 1000);  // projects to (160, 120)
    a.projection = FitProjection(x, y, z);
    const cv::Mat picture = AnnotateFrame(cv::Mat(240, 320, CV_8UC1, cv::Scalar(128)), a, 2);
    ASSERT_EQ(picture.size(), cv::Size(640, 480));
    const auto green = [&](int px, int py) {
        const cv::Vec3b c = picture.at<cv::Vec3b>(py, px);
        return c[1] > 150 && c[0] < 120 && c[2] < 120;
    };
    const auto red = [&](int px, int py) {
        const cv::Vec3b c = picture.at<cv::Vec3b>(py, px);
        return c[2] > 150 && c[0] < 120 && c[1] < 120;
    };
    EXPECT_TRUE(green(200, 170)) << "left edge of the face box at x = 100, twice as large";
    EXPECT_FALSE(green(240, 170)) << "inside the box";
    // The X axis: 70 mm to the right of the centroid, 26.6 pixels, 53 in the enlarged picture.
    EXPECT_TRUE(red(345, 240));
    EXPECT_FALSE(red(300, 260));
}

}  // namespace
