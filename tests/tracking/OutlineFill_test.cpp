#include "tracking/OutlineFill.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/TrackingFixtures.h"
#include "tracking/FramePyramid.h"
#include "tracking/TrackerParameters.h"

namespace {

constexpr float kFocal = 300.0f;
constexpr int kWidth = 96, kHeight = 80;
constexpr int kHoleStart = 60, kHoleEnd = 66;  // columns without depth; the wall beyond
constexpr int kRow = 40;

RenderedFrame FaceBesideAHole() {
    const auto texture = [](int col, int row) { return 120.0f + 60.0f * std::sin(0.5f * col + 0.3f * row); };
    RenderedFrame frame = PlaneFrame(kWidth, kHeight, 1000.0f, kFocal, texture);
    for (cv::Mat* image : {&frame.x, &frame.y, &frame.z}) {
        (*image)(cv::Rect(kHoleStart, 0, kHoleEnd - kHoleStart, kHeight)).setTo(0.0f);
        (*image)(cv::Rect(kHoleEnd, 0, kWidth - kHoleEnd, kHeight)) *= 2.0f;
    }
    return frame;
}

bool Usable(const PyramidLevel& level, int col) {
    return level.usable.at<unsigned char>(kRow - level.origin.y, col - level.origin.x) != 0;
}

}  // namespace

// The face's last columns before a hole lose their rows to the erosion; filled, the hole gives
// them back for brightness, with the rays a pinhole gives there, while depth rows keep to the
// measured face and a hole beyond the reach stays out.
TEST(OutlineFill, RowsBesideAHoleComeBackWithoutItsDepth) {
    const CDepthMaskRegion region{0, kWidth, 0, kHeight, 900.0f, 1100.0f};
    const auto frame = MakeTrackedFrame(FaceBesideAHole(), region, 1, kFocal);
    const cv::Rect window(0, 0, kWidth, kHeight);
    CFramePyramid plain, filled;
    ASSERT_TRUE(plain.Build(*frame, window, 2, CTrackerParameters::DOUBLE, 2, 900.0f, 1100.0f));
    ASSERT_TRUE(filled.Build(*frame, window, 2, CTrackerParameters::DOUBLE, 2, 900.0f, 1100.0f,
                             CTrackerParameters::DEPTH_PLAIN, 0, 2));
    const PyramidLevel& before = plain.Level(0);
    const PyramidLevel& after = filled.Level(0);
    EXPECT_FALSE(Usable(before, kHoleStart - 2));
    EXPECT_TRUE(Usable(after, kHoleStart - 2));
    EXPECT_TRUE(Usable(after, kHoleStart - 1));
    EXPECT_TRUE(before.depthWeight.empty());
    ASSERT_FALSE(after.depthWeight.empty());
    const auto depthWeight = [&](int col) {
        return after.depthWeight.at<float>(kRow - after.origin.y, col - after.origin.x);
    };
    EXPECT_EQ(depthWeight(kHoleStart - 2), 0.0f);
    EXPECT_EQ(depthWeight(40), 1.0f);

    for (int col = kHoleStart; col < kHoleStart + 2; ++col) {
        const int c = col - after.origin.x, r = kRow - after.origin.y;
        EXPECT_NEAR(after.rayX.at<float>(r, c), (col - kWidth / 2.0f) / kFocal, 1e-5f) << col;
        EXPECT_NEAR(after.rayY.at<float>(r, c), (kRow - kHeight / 2.0f) / kFocal, 1e-5f) << col;
        EXPECT_NEAR(after.depth.at<float>(r, c), 1000.0f, 0.1f) << col;
    }
    EXPECT_EQ(after.rayX.at<float>(kRow - after.origin.y, kHoleStart + 2 - after.origin.x), 0.0f);
    // Where no hole touches the face, nothing changes.
    EXPECT_EQ(cv::norm(before.intensityGradX.colRange(0, 40), after.intensityGradX.colRange(0, 40), cv::NORM_INF), 0.0);
}
