#include "platform/svs/svs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include "support/StereoPairs.h"

namespace {

using test_support::ShiftedLeft;
using test_support::Texture;

// Window corner of the disparity layout, written out independently of the library.
int X0(const svsParameterBlock& b) {
    return (b.corrWindowWidth + b.prefilterWindowWidth + 2 * b.numDisparities - 4) / 2 + std::max(-b.offsetX, 0);
}
int Y0(const svsParameterBlock& b) {
    return (b.corrWindowHeight + b.prefilterWindowHeight - 2) / 2 + std::max(-b.offsetY, 0);
}

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

// Disparity errors, in pixels, over the valid window read through the layout, for a textured
// surface seen with disparity d(x, y) = d0 + slopeX * x + slopeY * y at left pixel (x, y); a pixel
// without a match gives an error of 99. Entries past the last pixel must hold no match.
std::vector<double> LayoutErrors(const svsParameterBlock& b, double d0, double slopeX = 0, double slopeY = 0) {
    const cv::Mat left = Texture(320, 240, 11);
    cv::Mat mapX(240, 320, CV_32F), mapY(240, 320, CV_32F), right;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {  // right(x, y + oy) = left(xl, y) with xl - d(xl, y) = x
            mapX.at<float>(y, x) = static_cast<float>((x + d0 + slopeY * (y - b.offsetY)) / (1 - slopeX));
            mapY.at<float>(y, x) = static_cast<float>(y - b.offsetY);
        }
    }
    cv::remap(left, right, mapX, mapY, cv::INTER_CUBIC, cv::BORDER_REPLICATE);
    std::vector<std::int16_t> out(320 * 240, 1234);
    EXPECT_EQ(svsCalcStereo(out.data(), left.data, right.data, &b), 0);
    const int x0 = X0(b), y0 = Y0(b);
    const int width = 320 + 4 - b.corrWindowWidth - b.prefilterWindowWidth - 2 * b.numDisparities - std::abs(b.offsetX);
    const int height = 240 + 2 - b.corrWindowHeight - b.prefilterWindowHeight - std::abs(b.offsetY);
    std::vector<double> errors;
    for (int j = y0; j < y0 + height; ++j) {
        for (int i = x0; i < x0 + width; ++i) {
            const int d = out[(j - y0) * 320 + (i - x0)];  // the searched disparity, d - offsetX
            errors.push_back(d < 0 ? 99.0 : d / 16.0 - b.offsetX - (d0 + slopeX * i + slopeY * j));
        }
    }
    EXPECT_TRUE(std::all_of(out.end() - (y0 * 320 + x0), out.end(), [](std::int16_t d) { return d < 0; }));
    return errors;
}

double ShareWithin(const std::vector<double>& errors, double bound) {
    return std::count_if(errors.begin(), errors.end(), [bound](double e) { return std::fabs(e) < bound; }) /
           double(errors.size());
}

double Median(std::vector<double> errors) {
    std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
    return errors[errors.size() / 2];
}

TEST(SvsCalcStereo, ATexturedPlaneIsMatchedOverTheWholeValidWindowWithOrWithoutOffsets) {
    svsParameterBlock block = svsDefaultParameters();
    EXPECT_GT(ShareWithin(LayoutErrors(block, 12.25), 0.5), 0.98);
    block.offsetX = -8;  // disparities 8 .. 55 are seen
    block.offsetY = 2;
    EXPECT_GT(ShareWithin(LayoutErrors(block, 50.0), 0.5), 0.97);
}

TEST(SvsCalcStereo, EachDisparityIsStoredWhereTheLayoutPutsItsPixel) {
    // On slanted planes one row or column off would move the median by 0.1 pixel or more.
    const svsParameterBlock block = svsDefaultParameters();
    EXPECT_NEAR(Median(LayoutErrors(block, 10, 0.1, 0.0)), 0.0, 0.06);
    EXPECT_NEAR(Median(LayoutErrors(block, 10, 0.0, 0.15)), 0.0, 0.06);
}

TEST(SvsCalcStereo, UnaskedDisparitiesAndBadArgumentsGiveNoMatch) {
    svsParameterBlock block = svsDefaultParameters();
    block.numDisparities = 40;  // the matcher searches 48
    const cv::Mat left = Texture(320, 240, 8);
    const cv::Mat right = ShiftedLeft(left, 44.0);
    std::vector<std::int16_t> out(320 * 240);
    auto noMatch = [&out] { return std::all_of(out.begin(), out.end(), [](std::int16_t d) { return d < 640; }); };
    ASSERT_EQ(svsCalcStereo(out.data(), left.data, right.data, &block), 0);
    EXPECT_TRUE(noMatch());
    std::fill(out.begin(), out.end(), 7777);
    EXPECT_EQ(svsCalcStereo(out.data(), nullptr, right.data, &block), -1);
    EXPECT_TRUE(noMatch());
    std::fill(out.begin(), out.end(), 7777);
    block.corrWindowWidth = 4;
    EXPECT_EQ(svsCalcStereo(out.data(), left.data, right.data, &block), -1);
    EXPECT_TRUE(noMatch());
    EXPECT_EQ(svsCalcStereo(nullptr, left.data, right.data, &block), -1);
}

}  // namespace
