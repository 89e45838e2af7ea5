#include "tracking/PyramidPasses.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include <opencv2/core.hpp>

namespace {

constexpr float kFar = 1e20f;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Bit for bit: NaN where NaN, and the same bits elsewhere.
::testing::AssertionResult SameBits(const cv::Mat& expected, const cv::Mat& actual) {
    if (expected.size() != actual.size() || expected.type() != actual.type())
        return ::testing::AssertionFailure() << "size or type differs";
    const std::size_t rowBytes = expected.cols * expected.elemSize();
    for (int row = 0; row < expected.rows; ++row)
        if (std::memcmp(expected.ptr(row), actual.ptr(row), rowBytes) != 0)
            return ::testing::AssertionFailure() << "row " << row << " differs";
    return ::testing::AssertionSuccess();
}

// Depth, coordinates and intensity with every kind of broken value among ordinary ones.
struct BrokenFrame {
    cv::Mat intensity, depth, x, y, mask;
    BrokenFrame() {
        cv::RNG random(7);
        const cv::Size size(37, 29);  // odd, so that no loop may assume a multiple of a vector
        intensity.create(size, CV_32F);
        depth.create(size, CV_32F);
        x.create(size, CV_32F);
        y.create(size, CV_32F);
        mask.create(size, CV_8U);
        random.fill(intensity, cv::RNG::UNIFORM, 0.0, 0.01);
        random.fill(depth, cv::RNG::UNIFORM, 400.0, 1800.0);
        random.fill(x, cv::RNG::UNIFORM, -300.0, 300.0);
        random.fill(y, cv::RNG::UNIFORM, -300.0, 300.0);
        random.fill(mask, cv::RNG::UNIFORM, 0, 3);  // 0, 1 or 2: set means not zero
        const float broken[] = {0.0f, -0.0f, -5.0f, kNaN, kInf, -kInf, 3e20f, 1e-30f};
        for (int k = 0; k < 160; ++k) {
            const int row = random.uniform(0, size.height), col = random.uniform(0, size.width);
            const float value = broken[random.uniform(0, 8)];
            switch (random.uniform(0, 4)) {
                case 0: depth.at<float>(row, col) = value; break;
                case 1: x.at<float>(row, col) = value; break;
                case 2: y.at<float>(row, col) = value; break;
                default: intensity.at<float>(row, col) = value; break;
            }
        }
    }
};

void KeepWhere(cv::Mat& inside, const cv::Mat& values, double bound, int comparison) {
    cv::Mat kept;
    cv::compare(values, bound, kept, comparison);
    cv::bitwise_and(inside, kept, inside);
}

// The same selection written as whole-image OpenCV calls.
void SelectWithOpenCV(const BrokenFrame& in, float minDepth, float maxDepth, cv::Mat outputs[6]) {
    cv::Mat& inside = outputs[0];
    cv::Mat rayX, rayY, magnitude, outside;
    cv::divide(in.x, in.depth, rayX);
    cv::divide(in.y, in.depth, rayY);
    cv::compare(in.mask, 0, inside, cv::CMP_NE);
    KeepWhere(inside, in.depth, 0.0, cv::CMP_GT);
    KeepWhere(inside, in.depth, kFar, cv::CMP_LT);
    for (const cv::Mat* ray : {&rayX, &rayY}) {
        cv::absdiff(*ray, cv::Scalar::all(0.0), magnitude);
        KeepWhere(inside, magnitude, kFar, cv::CMP_LT);
    }
    if (minDepth != -1.0f) KeepWhere(inside, in.depth, minDepth, cv::CMP_GT);
    if (maxDepth != -1.0f) KeepWhere(inside, in.depth, maxDepth, cv::CMP_LT);
    inside.convertTo(outputs[1], CV_32F, 1.0 / 255.0);
    in.intensity.copyTo(outputs[2]);
    cv::patchNaNs(outputs[2], 0.0);
    in.depth.copyTo(outputs[3]);
    outputs[4] = rayX;
    outputs[5] = rayY;
    cv::bitwise_not(inside, outside);
    for (int k = 3; k < 6; ++k) outputs[k].setTo(0.0f, outside);
}

TEST(PyramidPasses, FirstLevelSelectionMatchesTheOpenCVChainOnBrokenData) {
    const BrokenFrame frame;
    const float bounds[][2] = {{-1.0f, -1.0f}, {600.0f, 1500.0f}, {-1.0f, 1000.0f}, {900.0f, -1.0f}};
    for (const auto& bound : bounds) {
        cv::Mat expected[6], actual[6];
        SelectWithOpenCV(frame, bound[0], bound[1], expected);
        // Views into the larger images, as a window of the frame is.
        const cv::Rect window(3, 2, 30, 25);
        const pyramid_passes::FirstLevel out{&actual[0], &actual[1], &actual[2], &actual[3], &actual[4], &actual[5]};
        pyramid_passes::SelectFirstLevel(frame.intensity(window), frame.depth(window), frame.x(window),
                                         frame.y(window), frame.mask(window), bound[0], bound[1], kFar, out);
        for (int k = 0; k < 6; ++k) EXPECT_TRUE(SameBits(expected[k](window), actual[k])) << "output " << k;
        EXPECT_GT(cv::countNonZero(actual[0]), 0);
        EXPECT_LT(cv::countNonZero(actual[0]), window.area());
    }
}

TEST(PyramidPasses, DivisionByTheWeightsMatchesTheOpenCVChain) {
    cv::RNG random(3);
    cv::Mat weighted(23, 41, CV_32F), weights(23, 41, CV_32F);
    random.fill(weighted, cv::RNG::UNIFORM, -2.0, 2.0);
    random.fill(weights, cv::RNG::UNIFORM, 0.0, 1.0);
    weights.row(4).setTo(0.0f);
    weights.col(7).setTo(1e-6f);  // exactly the least weight: no division
    weights.col(8).setTo(1.5e-6f);
    weighted.at<float>(10, 10) = kNaN;
    weighted.at<float>(11, 11) = kInf;
    const float least = 1e-6f;
    cv::Mat floor, expected, zero;
    cv::max(weights, least, floor);
    cv::divide(weighted, floor, expected);
    cv::compare(weights, least, zero, cv::CMP_LE);
    expected.setTo(0.0f, zero);
    cv::Mat actual(2, 2, CV_8U);  // a buffer of the wrong shape is remade
    pyramid_passes::DivideByWeights(weighted, weights, least, actual);
    EXPECT_TRUE(SameBits(expected, actual));
    EXPECT_EQ(actual.at<float>(4, 0), 0.0f);
}

TEST(PyramidPasses, InsideFromShareAndUsablePixelsMatchTheOpenCVChain) {
    cv::RNG random(5);
    cv::Mat halved(19, 27, CV_32F);
    random.fill(halved, cv::RNG::UNIFORM, 0.0, 1.0);
    halved.at<float>(3, 3) = 0.5f;  // on the share: inside
    cv::Mat inside, weights, expectedInside, expectedWeights;
    pyramid_passes::InsideFromShare(halved, 0.5f, inside, weights);
    cv::compare(halved, 0.5, expectedInside, cv::CMP_GE);
    expectedInside.convertTo(expectedWeights, CV_32F, 1.0 / 255.0);
    EXPECT_TRUE(SameBits(expectedInside, inside));
    EXPECT_TRUE(SameBits(expectedWeights, weights));

    cv::Mat silhouette, supported;
    cv::compare(halved, 0.3, silhouette, cv::CMP_GE);
    cv::compare(halved, 0.7, supported, cv::CMP_LT);
    for (const int edge : {0, 3, 9, 10}) {
        cv::Mat expected, border = cv::Mat::zeros(inside.size(), CV_8U);
        cv::bitwise_and(inside, silhouette, expected);
        cv::bitwise_and(expected, supported, expected);
        const cv::Rect interior(edge, edge, inside.cols - 2 * edge, inside.rows - 2 * edge);
        if (interior.width > 0 && interior.height > 0) border(interior).setTo(255);
        cv::bitwise_and(expected, border, expected);
        cv::min(expected, 1, expected);
        cv::Mat usable;
        pyramid_passes::UsablePixels(inside, silhouette, supported, edge, usable);
        EXPECT_TRUE(SameBits(expected, usable)) << "edge " << edge;
        EXPECT_EQ(cv::countNonZero(usable) == 0, edge >= 10) << "edge " << edge;
    }
}

}  // namespace
