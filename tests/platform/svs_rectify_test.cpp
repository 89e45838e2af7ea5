#include "platform/svs/svs.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include "support/StereoPairs.h"

namespace {

using test_support::Texture;

class SvsWarp : public ::testing::Test {
protected:
    void SetUp() override { svsParams = svsDefaultParameters(); }
    void TearDown() override { svsParams = svsDefaultParameters(); }

    // Rectification of one side: camera matrix K, no rotation, rectified camera P.
    static void SetSide(svsRectification& r, const double k[9], const double p[12]) {
        r.present = 1;
        std::memcpy(r.cameraMatrix, k, sizeof r.cameraMatrix);
        const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::memcpy(r.rotation, identity, sizeof identity);
        std::memcpy(r.projection, p, sizeof r.projection);
    }
};

TEST_F(SvsWarp, ASideWithoutRectificationPassesUnchangedAndBadArgumentsAreRefused) {
    const cv::Mat in = Texture(320, 240, 1);
    cv::Mat out(240, 320, CV_8UC1, cv::Scalar(7));
    ASSERT_EQ(svsWarpImage(out.data, in.data, 1, 0), 0);
    EXPECT_EQ(cv::norm(in, out, cv::NORM_INF), 0);
    EXPECT_EQ(svsWarpImage(nullptr, in.data, 1, 0), -1);
    EXPECT_EQ(svsWarpImage(out.data, in.data, 3, 0), -1);
    EXPECT_EQ(svsWarpImage(out.data, in.data, 1, 2), -1);
    svsParams.width = 0;
    EXPECT_EQ(svsWarpImage(out.data, in.data, 1, 0), -1);
}

TEST_F(SvsWarp, APrincipalPointMoveShiftsTheRightImageBySubsampledPixels) {
    svsParams.decimation = 2;  // the calibration is in full-resolution pixels
    const double k[9] = {800, 0, 320, 0, 800, 240, 0, 0, 1};
    const double p[12] = {800, 0, 330, 0, 0, 800, 234, 0, 0, 0, 1, 0};
    SetSide(svsParams.rectification[1], k, p);
    const cv::Mat in = Texture(320, 240, 2);
    cv::Mat left(240, 320, CV_8UC1), right(240, 320, CV_8UC1), rgba(240, 320, CV_8UC4);
    ASSERT_EQ(svsWarpImage(left.data, in.data, 1, 0), 0);
    ASSERT_EQ(svsWarpImage(right.data, in.data, 2, 0), 0);
    EXPECT_EQ(cv::norm(in, left, cv::NORM_INF), 0);
    const cv::Rect inner(10, 10, 300, 220);  // out(u, v) = in(u - 5, v + 3)
    EXPECT_EQ(cv::norm(right(inner), in(inner - cv::Point(5, -3)), cv::NORM_INF), 0);
    EXPECT_EQ(right.at<unsigned char>(100, 2), 0);  // nothing maps there
    cv::Mat colour;
    cv::cvtColor(in, colour, cv::COLOR_GRAY2RGBA);
    ASSERT_EQ(svsWarpImage(rgba.data, colour.data, 2, 1), 0);
    EXPECT_EQ(cv::norm(rgba(inner), colour(inner - cv::Point(5, -3)), cv::NORM_INF), 0);
}

TEST_F(SvsWarp, LensDistortionIsRemovedAsTheCameraModelSays) {
    const double k[9] = {300, 0, 158, 0, 300, 122, 0, 0, 1};
    const double p[12] = {280, 0, 160, 0, 0, 280, 120, 0, 0, 0, 1, 0};
    SetSide(svsParams.rectification[0], k, p);
    svsParams.rectification[0].distortionCount = 5;
    const double distortion[5] = {-0.25, 0.08, 0.001, -0.002, 0.0};
    std::memcpy(svsParams.rectification[0].distortion, distortion, sizeof distortion);
    cv::Mat ramp(240, 320, CV_8UC1);  // in(x, y) = x / 2 + 40: bilinear sampling is exact on it
    for (int x = 0; x < 320; ++x) ramp.col(x).setTo(x / 2 + 40);
    cv::Mat out(240, 320, CV_8UC1);
    ASSERT_EQ(svsWarpImage(out.data, ramp.data, 1, 0), 0);
    std::vector<cv::Point3d> rays;  // through rectified pixels (u, v)
    for (int v = 30; v < 210; v += 20)
        for (int u = 60; u < 270; u += 20) rays.push_back({(u - 160) / 280.0, (v - 120) / 280.0, 1.0});
    std::vector<cv::Point2d> sources;
    cv::projectPoints(rays, cv::Vec3d(), cv::Vec3d(), cv::Mat(3, 3, CV_64F, const_cast<double*>(k)),
                      cv::Mat(1, 5, CV_64F, const_cast<double*>(distortion)), sources);
    for (std::size_t n = 0; n < rays.size(); ++n) {
        const int u = cvRound(rays[n].x * 280 + 160), v = cvRound(rays[n].y * 280 + 120);
        EXPECT_NEAR(out.at<unsigned char>(v, u), sources[n].x / 2 + 39.75, 1.5) << u << "," << v;
    }
}

}  // namespace
