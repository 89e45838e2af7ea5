// Sub-pixel refinement (SUBPIXEL_WINDOW) seen through svsCalcStereo.
#include "platform/svs/svs.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "support/StereoPairs.h"

namespace {

using test_support::DisparityAt;
using test_support::RightOfPlane;
using test_support::Texture;
using test_support::ValidWindow;

struct Errors {
    double mean = 0.0;      // signed, pixels
    double absolute = 0.0;  // mean of the absolute errors
};

// Errors over the matched pixels of the valid window, of a textured plane seen with disparity
// d0 + slopeX x; the right image brighter by `brighter` grey levels.
Errors MatchErrors(const svsParameterBlock& b, double d0, double slopeX = 0.0, double brighter = 0.0) {
    const cv::Mat left = Texture(320, 240, 3);
    cv::Mat right = RightOfPlane(left, d0, slopeX, 0.0);
    right.convertTo(right, CV_8U, 1.0, brighter);
    std::vector<std::int16_t> out(320 * 240);
    EXPECT_EQ(svsCalcStereo(out.data(), left.data, right.data, &b), 0);
    const cv::Rect window = ValidWindow(b);
    Errors errors;
    int count = 0;
    for (int y = window.y + 8; y < window.br().y - 8; ++y)
        for (int x = window.x + 8; x < window.br().x - 8; ++x) {
            const double d = DisparityAt(b, out, x, y);
            if (d < 0) continue;
            const double error = d - (d0 + slopeX * x);
            errors.mean += error;
            errors.absolute += std::fabs(error);
            ++count;
        }
    EXPECT_GT(count, 0.9 * (window.width - 16) * (window.height - 16));
    errors.mean /= count;
    errors.absolute /= count;
    return errors;
}

// Interpolating between whole-pixel costs draws disparities towards whole pixels by up to a tenth
// of a pixel, by an amount that depends on the fraction; refined, no fraction is favoured.
TEST(SvsSubpixel, NoFractionOfAPixelIsFavouredByEitherMatcher) {
    for (int matcher : {SVS_MATCHER_BLOCK, SVS_MATCHER_SEMI_GLOBAL}) {
        svsParameterBlock b = svsDefaultParameters();
        b.matching.matcher = matcher;
        if (matcher == SVS_MATCHER_SEMI_GLOBAL) {
            b.corrWindowWidth = b.corrWindowHeight = 5;
            b.matching.smoothnessSmall = 50;
            b.matching.smoothnessLarge = 200;
        }
        b.matching.subpixelWindow = 7;
        for (double fraction = 0.0; fraction < 1.0; fraction += 0.125)
            EXPECT_NEAR(MatchErrors(b, 20.0 + fraction).mean, 0.0, 0.035) << matcher << " " << fraction;
    }
}

TEST(SvsSubpixel, SlantedSurfacesAndABrighterRightCameraStayUnbiased) {
    svsParameterBlock b = svsDefaultParameters();
    b.matching.subpixelWindow = 7;
    EXPECT_NEAR(MatchErrors(b, 12.4, 0.05).mean, 0.0, 0.035);
    // A brightness offset would pull each window by its own amount: the errors would spread.
    const Errors brighter = MatchErrors(b, 20.4, 0.0, 12.0);
    EXPECT_NEAR(brighter.mean, 0.0, 0.035);
    EXPECT_LT(brighter.absolute, 0.05);
}

// A wall at disparity 10.4 and, in front of it, a box at 30 that the right camera sees 40 grey
// levels brighter (a highlight, a different exposure of a nearer surface): with EDGE_RECHECK, the
// refinement of the wall beside the box keeps to the wall, its brightness offset included.
TEST(SvsSubpixel, TheWallBesideANearerBoxIsRefinedFromTheWallAlone) {
    const cv::Rect box(140, 60, 60, 120);
    const cv::Mat wall = Texture(320, 240, 7), front = Texture(320, 240, 8);
    cv::Mat left = wall.clone(), right = RightOfPlane(wall, 10.4, 0.0, 0.0);
    front(box).copyTo(left(box));
    cv::Mat seen;
    front(box).convertTo(seen, CV_8U, 1.0, 40.0);
    seen.copyTo(right(box - cv::Point(30, 0)));
    const auto besideBox = [&](int x, int y) {
        const bool beside = y >= box.y && y < box.br().y && x >= box.br().x + 2 && x < box.br().x + 8;
        const bool aboveOrBelow = x >= box.x + 8 && x < box.br().x - 8 &&
                                  ((y >= box.br().y + 2 && y < box.br().y + 8) || (y < box.y - 2 && y >= box.y - 8));
        return beside || aboveOrBelow;
    };
    svsParameterBlock b = svsDefaultParameters();
    b.matching.matcher = SVS_MATCHER_SEMI_GLOBAL;
    b.corrWindowWidth = b.corrWindowHeight = 5;
    b.matching.leftRightCheck = 1;
    b.matching.subpixelWindow = 5;
    const auto wallError = [&](bool recheck) {
        b.matching.recheckMargin = recheck ? 3 : 0;
        b.matching.recheckJump = 2;
        std::vector<std::int16_t> out(320 * 240);
        EXPECT_EQ(svsCalcStereo(out.data(), left.data, right.data, &b), 0);
        double sum = 0.0;
        int count = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) {
                const double d = besideBox(x, y) ? DisparityAt(b, out, x, y) : -1.0;
                if (d < 0 || std::fabs(d - 10.4) > 1.0) continue;
                sum += std::fabs(d - 10.4);
                ++count;
            }
        EXPECT_GT(count, 500);
        return sum / count;
    };
    const double pulled = wallError(false), ownSurface = wallError(true);
    // Pulled by the box, the refinement leaves the wall worse than the matcher's own interpolation
    // (0.13 pixel here).
    EXPECT_GT(pulled, 0.14);
    EXPECT_LT(ownSurface, 0.09);
}

}  // namespace
