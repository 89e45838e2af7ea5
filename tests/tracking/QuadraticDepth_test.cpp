#include "tracking/QuadraticDepth.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/TrackingFixtures.h"
#include "tracking/FramePyramid.h"
#include "tracking/TrackerParameters.h"

namespace {

constexpr float kFocal = 300.0f;
constexpr int kWidth = 96, kHeight = 80;
constexpr float kCurvature = 0.2f;  // mm per squared pixel: a cap 22 pixels across its rim at 1100

float CapDepth(int col, int row) {
    const float dx = static_cast<float>(col - kWidth / 2), dy = static_cast<float>(row - kHeight / 2);
    return 1000.0f + kCurvature * (dx * dx + dy * dy);
}

// A cap whose depth is quadratic in the image, in front of a wall at 2000, with a 3 x 3 hole.
RenderedFrame Cap() {
    RenderedFrame frame = PlaneFrame(kWidth, kHeight, 1000.0f, kFocal,
                                     [](int col, int row) { return 120.0f + 60.0f * std::sin(0.5f * col + 0.3f * row); });
    for (int row = 0; row < kHeight; ++row)
        for (int col = 0; col < kWidth; ++col) {
            float depth = CapDepth(col, row);
            if (depth > 1100.0f) depth = 2000.0f;
            frame.x.at<float>(row, col) *= depth / 1000.0f;
            frame.y.at<float>(row, col) *= depth / 1000.0f;
            frame.z.at<float>(row, col) = depth;
        }
    for (cv::Mat* image : {&frame.x, &frame.y, &frame.z}) (*image)(cv::Rect(52, 36, 3, 3)).setTo(0.0f);
    return frame;
}

bool InCap(int col, int row) {
    const bool hole = col >= 52 && col <= 54 && row >= 36 && row <= 38;
    return !hole && CapDepth(col, row) <= 1090.0f;
}

// Whether every pixel within the fit's reach has the cap's own depth (the frame's mask may leave
// out a pixel or two of the rim).
bool WholeWindowInCap(int col, int row) {
    for (int dy = -quadratic_depth::kReach; dy <= quadratic_depth::kReach; ++dy)
        for (int dx = -quadratic_depth::kReach; dx <= quadratic_depth::kReach; ++dx)
            if (!InCap(col + dx, row + dy)) return false;
    return true;
}

// Largest error against the cap over the usable pixels, and how many there are; with
// `wholeWindows`, only those whose window holds no hole and no wall.
float LargestError(const PyramidLevel& level, bool wholeWindows, int& count) {
    float largest = 0.0f;
    count = 0;
    for (int row = 0; row < level.usable.rows; ++row)
        for (int col = 0; col < level.usable.cols; ++col) {
            if (!level.usable.at<unsigned char>(row, col)) continue;
            const int frameCol = level.origin.x + col, frameRow = level.origin.y + row;
            if (wholeWindows && !WholeWindowInCap(frameCol, frameRow)) continue;
            ++count;
            largest = std::max(largest, std::fabs(level.depth.at<float>(row, col) - CapDepth(frameCol, frameRow)));
        }
    return largest;
}

}  // namespace

// A Gaussian lifts a curved surface by half its variance times the Laplacian (0.31 mm here); the
// quadratic fit keeps it, and a hole next to a row is filled rather than read as depth 0.
TEST(QuadraticDepth, TheFinestLevelKeepsACurvedSurfacesDepth) {
    const CDepthMaskRegion region{0, kWidth, 0, kHeight, 900.0f, 1100.0f};
    const auto frame = MakeTrackedFrame(Cap(), region, 1, kFocal);
    CFramePyramid plain, quadratic;
    const cv::Rect window(0, 0, kWidth, kHeight);
    ASSERT_TRUE(plain.Build(*frame, window, 2, CTrackerParameters::DOUBLE, 2, -1.0f, -1.0f,
                            CTrackerParameters::DEPTH_PLAIN));
    ASSERT_TRUE(quadratic.Build(*frame, window, 2, CTrackerParameters::DOUBLE, 2, -1.0f, -1.0f,
                                CTrackerParameters::DEPTH_QUADRATIC));
    int count = 0;
    EXPECT_GT(LargestError(plain.Level(0), true, count), 0.2f);
    EXPECT_LT(LargestError(quadratic.Level(0), true, count), 0.01f);
    EXPECT_GT(count, 500);
    // Next to the hole the fill is a local mean, a little off the cap, nowhere near zero depth.
    EXPECT_LT(LargestError(quadratic.Level(0), false, count), 2.0f);
    // The coarser level is as without the fit: it only gives the finer one a start.
    EXPECT_EQ(cv::norm(plain.Level(1).depth, quadratic.Level(1).depth, cv::NORM_INF), 0.0);
}
