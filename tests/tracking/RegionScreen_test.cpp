#include "tracking/RegionScreen.h"

#include <cmath>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "image/DepthMaskRegion.h"
#include "image/Image.h"
#include "image/ImageROI.h"
#include "support/TrackingFixtures.h"
#include "tracking/TrackedFrame.h"
#include "tracking/TrackerZBCCE.h"

namespace {

// A textured plane whose texture is shifted by `shift` pixels: frames of a moving face.
std::unique_ptr<CTrackedFrame> Textured(int shift, int index, int seed = 1) {
    const CDepthMaskRegion region(0, 320, 0, 240, -1.0f, -1.0f);
    const auto texture = [shift, seed](int col, int row) {
        const int x = col + shift;
        return static_cast<int>(128 + 60 * std::sin(0.21 * x + seed) * std::cos(0.17 * row) +
                                40 * std::sin(0.05 * x * seed + 0.3 * row));
    };
    return MakeTrackedFrame(PlaneFrame(320, 240, 1000.0f, 380.0f, texture), region, index, 380.0f);
}

float Distance(const CTrackedFrame& stored, const CTrackedFrame& current, const cv::Rect& box) {
    const CImageROI region(box.x, box.y, box.width, box.height, 0);
    return CTrackerZBCCE::RegionIntensityDistance(stored.GetIntensity(), current.GetIntensity(), region);
}

// Boxes on and off the blocks' grid: the bound never exceeds the distance it stands for, is
// none for the same frame, and is most of it for a face moved by a few pixels.
TEST(RegionScreen, BoundsEachStoredFramesRegionDistanceFromBelow) {
    const auto current = Textured(0, 10);
    for (const cv::Rect box : {cv::Rect(96, 64, 120, 112), cv::Rect(101, 59, 117, 109), cv::Rect(-20, 200, 100, 80)}) {
        CRegionScreen screen;
        ASSERT_TRUE(screen.Start(current->GetIntensity(), box));
        EXPECT_EQ(screen.LowerBound(*current), 0.0);
        for (const int shift : {1, 3, 6, 12}) {
            const auto stored = Textured(shift, shift);
            const double bound = screen.LowerBound(*stored);
            const float distance = Distance(*stored, *current, box);
            EXPECT_LE(bound, distance) << box << " shift " << shift;
            if (shift >= 3 && box.x >= 0) {
                EXPECT_GT(bound, 0.3 * distance) << box << " shift " << shift;
            }
        }
        screen.Finish();
    }
}

// A frame's sums serve it for as long as it is asked for; a frame made after a reset with the
// same index (very likely at the deleted one's address) gets its own; frames not asked for in a
// step are forgotten.
TEST(RegionScreen, KeepsAFramesSumsForThatFrameAlone) {
    const cv::Rect box(96, 64, 120, 112);
    const auto current = Textured(0, 10);
    auto stored = Textured(6, 4);
    CRegionScreen screen;
    ASSERT_TRUE(screen.Start(current->GetIntensity(), box));
    const double first = screen.LowerBound(*stored);
    screen.Finish();
    ASSERT_TRUE(screen.Start(current->GetIntensity(), box));
    EXPECT_EQ(screen.LowerBound(*stored), first);
    EXPECT_EQ(screen.Kept(), 1u);

    stored.reset();
    const auto again = Textured(0, 4, 2);  // the same index, other pixels
    CRegionScreen fresh;
    ASSERT_TRUE(fresh.Start(current->GetIntensity(), box));
    EXPECT_EQ(screen.LowerBound(*again), fresh.LowerBound(*again));
    EXPECT_NE(screen.LowerBound(*again), first);
    EXPECT_LE(screen.LowerBound(*again), Distance(*again, *current, box));
    screen.Finish();
    EXPECT_EQ(screen.Kept(), 2u);  // the deleted frame was asked for in this step
    ASSERT_TRUE(screen.Start(current->GetIntensity(), box));
    screen.Finish();
    EXPECT_EQ(screen.Kept(), 0u);

    // Nothing to screen with: no whole block in the region, or no float image.
    EXPECT_FALSE(screen.Start(current->GetIntensity(), cv::Rect(3, 3, 6, 30)));
    EXPECT_EQ(screen.LowerBound(*again), 0.0);
    EXPECT_FALSE(screen.Start(nullptr, box));
    CImage bytes(320, 240, IPL_DEPTH_8U, 1, 0);
    bytes.Allocate();
    EXPECT_FALSE(screen.Start(&bytes, box));
}

}  // namespace
