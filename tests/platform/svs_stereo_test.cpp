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
    void SetUp() override { saved_ = svsParams; }
    void TearDown() override { svsParams = saved_; }

    // Rectification of one side: camera matrix K, no rotation, rectified camera P.
    static void SetSide(svsRectification& r, const double k[9], const double p[12]) {
        r.present = 1;
        std::memcpy(r.cameraMatrix, k, sizeof r.cameraMatrix);
        const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::memcpy(r.rotation, identity, sizeof identity);
        std::memcpy(r.projection, p, sizeof r.projection);
    }

    svsParameterBlock saved_{};
};

TEST_F(SvsWarp, ASideWithoutRectificationPassesUnchanged) {
    svsParams = svsDefaultParameters();
    const cv::Mat in = Texture(320, 240, 1);
    cv::Mat out(240, 320, CV_8UC1, cv::Scalar(7));
    ASSERT_EQ(svsWarpImage(out.data, in.data, 1, 0), 0);
    EXPECT_EQ(cv::norm(in, out, cv::NORM_INF), 0);
    cv::Mat rgba(240, 320, CV_8UC4), copied(240, 320, CV_8UC4);
    cv::randu(rgba, 0, 255);
    ASSERT_EQ(svsWarpImage(copied.data, rgba.data, 2, 1), 0);
    EXPECT_EQ(cv::norm(rgba, copied, cv::NORM_INF), 0);
}

TEST_F(SvsWarp, APrincipalPointMoveShiftsTheImageOnTheRightSideOnly) {
    svsParams = svsDefaultParameters();
    const double k[9] = {400, 0, 160, 0, 400, 120, 0, 0, 1};
    const double p[12] = {400, 0, 165, 0, 0, 400, 117, 0, 0, 0, 1, 0};
    SetSide(svsParams.rectification[1], k, p);
    const cv::Mat in = Texture(320, 240, 2);
    cv::Mat left(240, 320, CV_8UC1), right(240, 320, CV_8UC1);
    ASSERT_EQ(svsWarpImage(left.data, in.data, 1, 0), 0);
    ASSERT_EQ(svsWarpImage(right.data, in.data, 2, 0), 0);
    EXPECT_EQ(cv::norm(in, left, cv::NORM_INF), 0);
    // out(u, v) = in(u - 5, v + 3)
    const cv::Rect inner(10, 10, 300, 220);
    EXPECT_EQ(cv::norm(right(inner), in(inner - cv::Point(5, -3)), cv::NORM_INF), 0);
    EXPECT_EQ(right.at<unsigned char>(100, 2), 0);  // nothing maps there
}

TEST_F(SvsWarp, CalibrationInFullResolutionPixelsIsScaledBySubsampling) {
    svsParams = svsDefaultParameters();
    svsParams.decimation = 2;
    const double k[9] = {800, 0, 320, 0, 800, 240, 0, 0, 1};
    const double p[12] = {800, 0, 330, 0, 0, 800, 240, 0, 0, 0, 1, 0};
    SetSide(svsParams.rectification[0], k, p);
    const cv::Mat in = Texture(320, 240, 3);
    cv::Mat out(240, 320, CV_8UC1);
    ASSERT_EQ(svsWarpImage(out.data, in.data, 1, 0), 0);
    const cv::Rect inner(10, 10, 300, 220);
    EXPECT_EQ(cv::norm(out(inner), in(inner - cv::Point(5, 0)), cv::NORM_INF), 0);
}

TEST_F(SvsWarp, LensDistortionIsRemovedAsTheCameraModelSays) {
    svsParams = svsDefaultParameters();
    const double k[9] = {300, 0, 158, 0, 300, 122, 0, 0, 1};
    const double p[12] = {280, 0, 160, 0, 0, 280, 120, 0, 0, 0, 1, 0};
    svsRectification& r = svsParams.rectification[0];
    SetSide(r, k, p);
    r.distortionCount = 5;
    const double distortion[5] = {-0.25, 0.08, 0.001, -0.002, 0.0};
    std::memcpy(r.distortion, distortion, sizeof distortion);
    cv::Mat ramp(240, 320, CV_8UC1);  // in(x, y) = x / 2 + 40: bilinear sampling is exact on it
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) ramp.at<unsigned char>(y, x) = static_cast<unsigned char>(x / 2 + 40);
    cv::Mat out(240, 320, CV_8UC1);
    ASSERT_EQ(svsWarpImage(out.data, ramp.data, 1, 0), 0);

    const cv::Mat camera(3, 3, CV_64F, const_cast<double*>(k));
    const cv::Mat coefficients(1, 5, CV_64F, const_cast<double*>(distortion));
    int checked = 0;
    for (int v = 30; v < 210; v += 20) {
        for (int u = 30; u < 290; u += 20) {
            const std::vector<cv::Point3d> ray = {{(u - 160) / 280.0, (v - 120) / 280.0, 1.0}};
            std::vector<cv::Point2d> source;
            cv::projectPoints(ray, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), camera, coefficients, source);
            if (source[0].x < 1 || source[0].x > 318) continue;
            EXPECT_NEAR(out.at<unsigned char>(v, u), source[0].x / 2 + 39.75, 1.5) << u << "," << v;
            ++checked;
        }
    }
    EXPECT_GT(checked, 80);
}

TEST_F(SvsWarp, RefusesMissingBuffersAndUnknownSides) {
    svsParams = svsDefaultParameters();
    std::vector<unsigned char> buffer(320 * 240);
    EXPECT_EQ(svsWarpImage(nullptr, buffer.data(), 1, 0), -1);
    EXPECT_EQ(svsWarpImage(buffer.data(), nullptr, 1, 0), -1);
    EXPECT_EQ(svsWarpImage(buffer.data(), buffer.data(), 3, 0), -1);
    EXPECT_EQ(svsWarpImage(buffer.data(), buffer.data(), 1, 2), -1);
    svsParams.width = 0;
    EXPECT_EQ(svsWarpImage(buffer.data(), buffer.data(), 1, 0), -1);
}

// Disparities of a fronto-parallel textured plane, in pixels, read through the window layout.
struct PlaneResult {
    double matchedShare = 0;   // valid-window pixels with a disparity within 0.5 pixel
    double worstRowShare = 1;  // the same per row and per column of the window, lowest
    double worstColumnShare = 1;
    bool tailEmpty = true;     // entries past the last pixel hold no match
};

PlaneResult MatchPlane(const svsParameterBlock& block, double disparity) {
    const cv::Mat left = Texture(block.width, block.height, 11);
    cv::Mat right = ShiftedLeft(left, disparity);
    if (block.offsetY != 0) {  // right(x, y + oy) = left(x + d, y)
        const cv::Mat down = (cv::Mat_<double>(2, 3) << 1, 0, 0, 0, 1, block.offsetY);
        cv::warpAffine(right, right, down, right.size(), cv::INTER_NEAREST, cv::BORDER_REPLICATE);
    }
    std::vector<std::int16_t> out(block.width * block.height, 1234);
    EXPECT_EQ(svsCalcStereo(out.data(), left.data, right.data, &block), 0);
    const double search = disparity + block.offsetX;  // what the matcher reports
    const int x0 = X0(block), y0 = Y0(block);
    const int x1 = x0 + 4 + (block.width - block.corrWindowWidth - block.prefilterWindowWidth -
                             2 * block.numDisparities - std::abs(block.offsetX));
    const int y1 = y0 + 2 + (block.height - block.corrWindowHeight - block.prefilterWindowHeight - std::abs(block.offsetY));
    std::vector<int> rowHits(y1 - y0), columnHits(x1 - x0);
    int hits = 0;
    for (int j = y0; j < y1; ++j) {
        for (int i = x0; i < x1; ++i) {
            const int d = out[(j - y0) * block.width + (i - x0)];
            const bool hit = d >= 0 && std::fabs(d / 16.0 - search) < 0.5;
            hits += hit;
            rowHits[j - y0] += hit;
            columnHits[i - x0] += hit;
        }
    }
    PlaneResult result;
    result.matchedShare = hits / double((x1 - x0) * (y1 - y0));
    for (int h : rowHits) result.worstRowShare = std::min(result.worstRowShare, h / double(x1 - x0));
    for (int h : columnHits) result.worstColumnShare = std::min(result.worstColumnShare, h / double(y1 - y0));
    for (std::size_t k = out.size() - (y0 * block.width + x0); k < out.size(); ++k) result.tailEmpty &= out[k] < 0;
    return result;
}

TEST(SvsCalcStereo, ATexturedPlaneIsMatchedToASixteenthOfAPixelOverTheWholeValidWindow) {
    const svsParameterBlock block = svsDefaultParameters();
    const PlaneResult plane = MatchPlane(block, 12.25);
    EXPECT_GT(plane.matchedShare, 0.98);
    // A layout off by one row or column of the window would leave whole rows or columns unmatched.
    EXPECT_GT(plane.worstRowShare, 0.8);
    EXPECT_GT(plane.worstColumnShare, 0.8);
    EXPECT_TRUE(plane.tailEmpty);
}

// A plane whose disparity grows along one image axis: d(x, y) = 10 + slopeX * x + slopeY * y at
// left pixel (x, y). Returns the median error of the disparities read through the layout.
double SlantedPlaneMedianError(double slopeX, double slopeY) {
    const svsParameterBlock block = svsDefaultParameters();
    const cv::Mat left = Texture(320, 240, 11);
    cv::Mat mapX(240, 320, CV_32F), mapY(240, 320, CV_32F);
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {  // right(x) = left(xl) with xl - d(xl, y) = x
            mapX.at<float>(y, x) = static_cast<float>((x + 10 + slopeY * y) / (1 - slopeX));
            mapY.at<float>(y, x) = static_cast<float>(y);
        }
    }
    cv::Mat right;
    cv::remap(left, right, mapX, mapY, cv::INTER_CUBIC, cv::BORDER_REPLICATE);
    std::vector<std::int16_t> out(320 * 240);
    EXPECT_EQ(svsCalcStereo(out.data(), left.data, right.data, &block), 0);
    std::vector<double> errors;
    const int x0 = X0(block), y0 = Y0(block);
    for (int j = y0; j < y0 + 222; ++j) {
        for (int i = x0; i < x0 + 208; ++i) {
            const int d = out[(j - y0) * 320 + (i - x0)];
            if (d >= 0) errors.push_back(d / 16.0 - (10 + slopeX * i + slopeY * j));
        }
    }
    if (errors.size() < 40000) return 1e9;
    std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
    return errors[errors.size() / 2];
}

TEST(SvsCalcStereo, EachDisparityIsStoredWhereTheLayoutPutsItsPixel) {
    // One row or column off would move the median by 0.1 pixel or more.
    EXPECT_NEAR(SlantedPlaneMedianError(0.1, 0.0), 0.0, 0.06);
    EXPECT_NEAR(SlantedPlaneMedianError(0.0, 0.15), 0.0, 0.06);
}

TEST(SvsCalcStereo, SubpixelDisparitiesAreUnbiased) {
    const svsParameterBlock block = svsDefaultParameters();
    const cv::Mat left = Texture(320, 240, 5);
    for (double disparity : {20.0, 20.25, 20.5, 20.75}) {
        const cv::Mat right = ShiftedLeft(left, disparity);
        std::vector<std::int16_t> out(320 * 240);
        ASSERT_EQ(svsCalcStereo(out.data(), left.data, right.data, &block), 0);
        std::vector<std::int16_t> valid;
        for (std::int16_t d : out)
            if (d >= 0) valid.push_back(d);
        ASSERT_GT(valid.size(), 40000u);
        std::nth_element(valid.begin(), valid.begin() + valid.size() / 2, valid.end());
        EXPECT_NEAR(valid[valid.size() / 2] / 16.0, disparity, 0.15);
    }
}

TEST(SvsCalcStereo, OffsetsMoveTheSearchRangeAndTheRightImageRows) {
    svsParameterBlock block = svsDefaultParameters();
    block.offsetX = -8;  // disparities 8 .. 55 are seen
    block.offsetY = 2;
    const PlaneResult plane = MatchPlane(block, 50.0);
    EXPECT_GT(plane.matchedShare, 0.97);
    EXPECT_GT(plane.worstRowShare, 0.8);
    EXPECT_GT(plane.worstColumnShare, 0.8);
    EXPECT_TRUE(plane.tailEmpty);
}

TEST(SvsCalcStereo, DisparitiesBeyondTheAskedNumberAreNotReported) {
    svsParameterBlock block = svsDefaultParameters();
    block.numDisparities = 40;  // the matcher searches 48
    const cv::Mat left = Texture(320, 240, 8);
    const cv::Mat right = ShiftedLeft(left, 44.0);
    std::vector<std::int16_t> out(320 * 240);
    ASSERT_EQ(svsCalcStereo(out.data(), left.data, right.data, &block), 0);
    EXPECT_EQ(std::count_if(out.begin(), out.end(), [](std::int16_t d) { return d >= 16 * 40; }), 0);
}

TEST(SvsCalcStereo, BadArgumentsLeaveNoMatchEverywhere) {
    svsParameterBlock block = svsDefaultParameters();
    const cv::Mat image = Texture(320, 240, 9);
    std::vector<std::int16_t> out(320 * 240, 77);
    EXPECT_EQ(svsCalcStereo(out.data(), nullptr, image.data, &block), -1);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::int16_t d) { return d < 0; }));
    std::fill(out.begin(), out.end(), 77);
    block.corrWindowWidth = 4;
    EXPECT_EQ(svsCalcStereo(out.data(), image.data, image.data, &block), -1);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::int16_t d) { return d < 0; }));
    EXPECT_EQ(svsCalcStereo(nullptr, image.data, image.data, &block), -1);
    EXPECT_EQ(svsCalcStereo(out.data(), image.data, image.data, nullptr), -1);
}

}  // namespace
