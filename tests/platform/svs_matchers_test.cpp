// The matchers as the parameter block chooses them: block or semi-global, the left-right check and
// the removal of what straddles a depth edge, seen through svsCalcStereo.
#include "platform/svs/svs.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "support/StereoPairs.h"

namespace {

using test_support::DisparityAt;
using test_support::RightOfPlane;
using test_support::Texture;
using test_support::ValidWindow;

constexpr int W = 320;
constexpr int H = 240;

// A textured wall seen with disparity 10 and a textured box in front of it with disparity 30,
// covering left columns [140, 200) and rows [60, 180). The right camera sees the wall behind the
// box's left edge that the left camera does not: left columns [120, 140) of those rows have no
// true match.
struct BoxScene {
    static constexpr int kWall = 10, kBox = 30, kLeft = 140, kRight = 200, kTop = 60, kBottom = 180;
    cv::Mat left, right;

    BoxScene() {
        const cv::Mat wall = Texture(W + 64, H, 21), box = Texture(kRight - kLeft, kBottom - kTop, 22);
        left = wall(cv::Rect(0, 0, W, H)).clone();
        right = wall(cv::Rect(kWall, 0, W, H)).clone();
        const cv::Rect inLeft(kLeft, kTop, kRight - kLeft, kBottom - kTop);
        box.copyTo(left(inLeft));
        box.copyTo(right(inLeft - cv::Point(kBox, 0)));
    }
    static bool OnBox(int x, int y) { return x >= kLeft && x < kRight && y >= kTop && y < kBottom; }
    static bool Occluded(int x, int y) { return x >= kLeft - (kBox - kWall) && x < kLeft && y >= kTop && y < kBottom; }
    static double Truth(int x, int y) { return OnBox(x, y) ? kBox : kWall; }
    // Pixels how far from the box's outline, along rows and columns.
    static int FromEdge(int x, int y) {
        const int across = std::min(std::abs(x - kLeft), std::abs(x - (kRight - 1)));
        const int down = std::min(std::abs(y - kTop), std::abs(y - (kBottom - 1)));
        const bool besideRows = y >= kTop && y < kBottom, besideColumns = x >= kLeft && x < kRight;
        if (besideRows && besideColumns) return std::min(across, down);
        if (besideRows) return across;
        if (besideColumns) return down;
        return std::max(across, down);
    }
};

std::vector<std::int16_t> Match(const svsParameterBlock& b, const cv::Mat& left, const cv::Mat& right) {
    std::vector<std::int16_t> out(W * H);
    EXPECT_EQ(svsCalcStereo(out.data(), left.data, right.data, &b), 0);
    return out;
}

svsParameterBlock SemiGlobal() {
    svsParameterBlock b = svsDefaultParameters();
    b.matching.matcher = SVS_MATCHER_SEMI_GLOBAL;
    b.corrWindowWidth = b.corrWindowHeight = 5;
    return b;
}

// Over the valid window: the share of pixels matched within tolerance pixels of the truth, and
// of those with a match off by more (among the pixels `counted` selects).
template <typename Select>
std::pair<double, double> Shares(const svsParameterBlock& b, const std::vector<std::int16_t>& out, double tolerance,
                                 Select counted) {
    const cv::Rect window = ValidWindow(b);
    int pixels = 0, right = 0, wrong = 0;
    for (int y = window.y; y < window.br().y; ++y)
        for (int x = window.x; x < window.br().x; ++x) {
            if (!counted(x, y)) continue;
            ++pixels;
            const double d = DisparityAt(b, out, x, y);
            if (d < 0) continue;
            (std::fabs(d - BoxScene::Truth(x, y)) <= tolerance ? right : wrong) += 1;
        }
    return {static_cast<double>(right) / pixels, static_cast<double>(wrong) / pixels};
}

TEST(SvsMatchers, BlockAndSemiGlobalMatchingAgreeOnATexturedSlantedPlane) {
    const cv::Mat left = Texture(W, H, 5);
    const cv::Mat right = RightOfPlane(left, 14.3, 0.04, 0.03);
    const svsParameterBlock block = svsDefaultParameters();
    const auto byBlocks = Match(block, left, right);
    for (int paths : {3, 8}) {
        svsParameterBlock semiGlobal = SemiGlobal();
        semiGlobal.matching.paths = paths;
        const auto bySemiGlobal = Match(semiGlobal, left, right);
        const cv::Rect window = ValidWindow(block) & ValidWindow(semiGlobal);
        std::vector<double> differences;
        for (int y = window.y; y < window.br().y; ++y)
            for (int x = window.x; x < window.br().x; ++x) {
                const double a = DisparityAt(block, byBlocks, x, y), b = DisparityAt(semiGlobal, bySemiGlobal, x, y);
                if (a >= 0 && b >= 0) differences.push_back(std::fabs(a - b));
            }
        EXPECT_GT(differences.size(), 0.95 * window.area()) << paths;
        std::nth_element(differences.begin(), differences.begin() + differences.size() / 2, differences.end());
        EXPECT_LT(differences[differences.size() / 2], 0.1) << paths;
        std::nth_element(differences.begin(), differences.begin() + differences.size() * 99 / 100, differences.end());
        EXPECT_LT(differences[differences.size() * 99 / 100], 0.5) << paths;
    }
}

TEST(SvsMatchers, TheLeftRightCheckDropsWhatOnlyTheLeftCameraSees) {
    const BoxScene scene;
    const auto occluded = [](int x, int y) { return BoxScene::Occluded(x, y); };
    const auto seenByBoth = [](int x, int y) { return !BoxScene::Occluded(x, y) && BoxScene::FromEdge(x, y) > 6; };
    for (svsParameterBlock b : {svsDefaultParameters(), SemiGlobal()}) {
        const auto unchecked = Match(b, scene.left, scene.right);
        b.matching.leftRightCheck = 1;
        const auto checked = Match(b, scene.left, scene.right);
        // Unchecked, the block matcher finds something for much of what the right camera cannot see.
        if (b.matching.matcher == SVS_MATCHER_BLOCK) {
            EXPECT_GT(Shares(b, unchecked, 1.0, occluded).second, 0.3);
        }
        EXPECT_LT(Shares(b, checked, 1.0, occluded).second, 0.05) << b.matching.matcher;
        EXPECT_GT(Shares(b, checked, 0.5, seenByBoth).first, 0.97) << b.matching.matcher;
    }
}

TEST(SvsMatchers, DepthEdgesLoseTheirMarginOnBothSidesAndNothingElse) {
    const BoxScene scene;
    for (svsParameterBlock b : {svsDefaultParameters(), SemiGlobal()}) {
        b.matching.leftRightCheck = 1;
        b.matching.edgeMargin = 3;
        b.matching.edgeJump = 2;
        const auto out = Match(b, scene.left, scene.right);
        const cv::Rect window = ValidWindow(b);
        int nearEdge = 0, matchedNearEdge = 0;
        for (int y = window.y; y < window.br().y; ++y)
            for (int x = window.x; x < window.br().x; ++x) {
                if (BoxScene::Occluded(x, y)) continue;
                const double d = DisparityAt(b, out, x, y);
                if (BoxScene::FromEdge(x, y) < 3) {
                    ++nearEdge;
                    matchedNearEdge += d >= 0;
                }
            }
        EXPECT_LT(matchedNearEdge, 0.05 * nearEdge) << b.matching.matcher;
        // Farther in, every surface keeps its depth.
        const auto inside = [](int x, int y) { return !BoxScene::Occluded(x, y) && BoxScene::FromEdge(x, y) > 8; };
        EXPECT_GT(Shares(b, out, 0.5, inside).first, 0.97) << b.matching.matcher;
    }
}

// The wall beside the box, where a window straddling the outline drags the box's disparity.
TEST(SvsMatchers, ARecheckNearDepthEdgesGivesTheWallBackWhatTheBoxDraggedOverIt) {
    const BoxScene scene;
    const auto wallBesideBox = [](int x, int y) {
        return !BoxScene::OnBox(x, y) && !BoxScene::Occluded(x, y) && BoxScene::FromEdge(x, y) <= 3;
    };
    const auto boxOutline = [](int x, int y) { return BoxScene::OnBox(x, y) && BoxScene::FromEdge(x, y) <= 3; };
    for (svsParameterBlock b : {svsDefaultParameters(), SemiGlobal()}) {
        b.matching.leftRightCheck = 1;
        const auto plain = Match(b, scene.left, scene.right);
        b.matching.recheckMargin = 3;
        b.matching.recheckJump = 2;
        const auto rechecked = Match(b, scene.left, scene.right);
        // Without the recheck, much of that wall is matched at the box's disparity.
        EXPECT_GT(Shares(b, plain, 1.0, wallBesideBox).second, 0.05) << b.matching.matcher;
        EXPECT_LT(Shares(b, rechecked, 1.0, wallBesideBox).second, 0.015) << b.matching.matcher;
        // The box keeps its own outline, and the wall what was right.
        EXPECT_GT(Shares(b, rechecked, 1.0, boxOutline).first, Shares(b, plain, 1.0, boxOutline).first - 0.05)
            << b.matching.matcher;
        EXPECT_EQ(Shares(b, rechecked, 1.0, wallBesideBox).first, Shares(b, plain, 1.0, wallBesideBox).first)
            << b.matching.matcher;
    }
}

}  // namespace
