#include "platform/svs/svs.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "support/StereoPairs.h"

namespace {

using test_support::DisparityAt;
using test_support::RightOfPlane;
using test_support::ShiftedLeft;
using test_support::Texture;
using test_support::ValidWindow;

// Disparity errors, in pixels, over the valid window read through the layout, for a textured
// surface seen with disparity d(x, y) = d0 + slopeX * x + slopeY * y at left pixel (x, y); a pixel
// without a match gives an error of 99. Entries past the last pixel must hold no match.
std::vector<double> LayoutErrors(const svsParameterBlock& b, double d0, double slopeX = 0, double slopeY = 0) {
    const cv::Mat left = Texture(320, 240, 11);
    const cv::Mat right = RightOfPlane(left, d0, slopeX, slopeY, b.offsetY);
    std::vector<std::int16_t> out(320 * 240, 1234);
    EXPECT_EQ(svsCalcStereo(out.data(), left.data, right.data, &b), 0);
    const cv::Rect window = ValidWindow(b);
    std::vector<double> errors;
    for (int j = window.y; j < window.y + window.height; ++j) {
        for (int i = window.x; i < window.x + window.width; ++i) {
            const double d = DisparityAt(b, out, i, j);
            errors.push_back(d < 0 ? 99.0 : d - (d0 + slopeX * i + slopeY * j));
        }
    }
    const int unused = window.y * 320 + window.x;
    EXPECT_TRUE(std::all_of(out.end() - unused, out.end(), [](std::int16_t d) { return d < 0; }));
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

// Across the whole width, the columns beside the valid window are matched too: on the left where
// their match lies inside the right image, on the right all of them; stored where the layout
// says, with both matchers, the left-right check and an offset.
TEST(SvsCalcStereo, AcrossTheWholeWidthTheColumnsBesideTheValidWindowGetTheirDisparity) {
    for (int matcher : {SVS_MATCHER_BLOCK, SVS_MATCHER_SEMI_GLOBAL}) {
        svsParameterBlock block = svsDefaultParameters();
        block.matching.matcher = matcher;
        block.matching.leftRightCheck = 1;
        const int narrow = ValidWindow(block).width;
        block.matching.fullWidth = 1;
        const cv::Rect window = ValidWindow(block);
        ASSERT_GT(window.width, narrow + 90);
        // The first 12 columns see what the right camera does not.
        const double seen = double(window.width - (12 - window.x)) / window.width;
        EXPECT_GT(ShareWithin(LayoutErrors(block, 12.25), 0.5), 0.97 * seen) << matcher;
        EXPECT_NEAR(Median(LayoutErrors(block, 10, 0.1, 0.0)), 0.0, 0.06) << matcher;
        block.offsetX = -8;
        EXPECT_GT(ShareWithin(LayoutErrors(block, 30.0), 0.5), 0.9) << matcher;
    }
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

// Every matching step at the far end of its range, on a pair with depth edges and a blank band
// that matches nothing: the steps that look beyond a pixel stay inside the images (the sanitizer
// build checks), and what comes out is a disparity that was asked for or none.
TEST(SvsCalcStereo, EveryMatchingStepAtItsLimitsStaysInsideTheImages) {
    cv::Mat left = Texture(320, 240, 12), right = ShiftedLeft(left, 20.0);
    const cv::Mat box = Texture(80, 100, 13);
    box.copyTo(left(cv::Rect(60, 40, 80, 100)));
    box.copyTo(right(cv::Rect(60 - 56, 40, 80, 100)));
    left(cv::Rect(200, 150, 120, 90)).setTo(128);
    const std::pair<int, int> settings[] = {{SVS_MATCHER_BLOCK, 0}, {SVS_MATCHER_SEMI_GLOBAL, 0}, {SVS_MATCHER_SEMI_GLOBAL, 1}};
    for (const auto& [matcher, fullWidth] : settings) {
        svsParameterBlock b = svsDefaultParameters();
        b.matching.matcher = matcher;
        b.matching.fullWidth = fullWidth;
        b.corrWindowWidth = b.corrWindowHeight = 15;
        b.numDisparities = 64;
        b.matching.leftRightCheck = 0;
        b.matching.subpixelWindow = 15;
        b.matching.edgeMargin = 16;
        b.matching.edgeJump = 1;
        b.matching.recheckMargin = 16;
        b.matching.recheckJump = 1;
        b.matching.paths = 8;
        std::vector<std::int16_t> out(320 * 240, 1234);
        ASSERT_EQ(svsCalcStereo(out.data(), left.data, right.data, &b), 0) << matcher;
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::int16_t d) { return d < 16 * 64; })) << matcher;
    }
}

// Two cameras matched on two threads at once, each with its own settings (and each pair's two
// views on two more), come out as each does alone on one processor: a matcher shared between
// threads took the other camera's settings (or its buffers) halfway through.
TEST(SvsCalcStereo, TwoCamerasMatchedAtOnceGiveWhatEachGivesAlone) {
    const cv::Mat left = Texture(320, 240, 14);
    const cv::Mat right = RightOfPlane(left, 12.0, 0.02, 0.0);
    svsParameterBlock blocks[2] = {svsDefaultParameters(), svsDefaultParameters()};
    for (svsParameterBlock& b : blocks) {
        b.matching.matcher = SVS_MATCHER_SEMI_GLOBAL;
        b.matching.leftRightCheck = 1;
    }
    blocks[0].corrWindowWidth = blocks[0].corrWindowHeight = 5;
    blocks[1].corrWindowWidth = blocks[1].corrWindowHeight = 9;
    blocks[1].numDisparities = 64;
    blocks[1].matching.fullWidth = 1;
    std::vector<std::int16_t> alone[2];
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    for (int k = 0; k < 2; ++k) {
        alone[k].resize(320 * 240);
        EXPECT_EQ(svsCalcStereo(alone[k].data(), left.data, right.data, &blocks[k]), 0);
    }
    cv::setNumThreads(threads);
    ASSERT_NE(alone[0], alone[1]);
    cv::setNumThreads(std::max(threads, 2));
    int differing[2] = {0, 0};
    std::thread cameras[2];
    for (int k = 0; k < 2; ++k)
        cameras[k] = std::thread([&, k] {
            std::vector<std::int16_t> out(320 * 240);
            for (int round = 0; round < 12; ++round)
                if (svsCalcStereo(out.data(), left.data, right.data, &blocks[k]) != 0 || out != alone[k]) ++differing[k];
        });
    for (std::thread& camera : cameras) camera.join();
    cv::setNumThreads(threads);
    EXPECT_EQ(differing[0], 0);
    EXPECT_EQ(differing[1], 0);
}

}  // namespace
