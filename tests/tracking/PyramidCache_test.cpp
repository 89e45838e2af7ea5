#include "tracking/PyramidCache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "image/Image.h"
#include "platform/ipl/ipl.h"
#include "support/TrackingFixtures.h"

namespace {

float Texture(int col, int row) { return 100 + 40 * std::sin(0.3 * col + 0.2 * row); }

TEST(PyramidCache, HandsTheSamePyramidBackUntilTheFramesPixelsChangeOrTheWindowOutgrowsIt) {
    const CDepthMaskRegion region(0, 64, 0, 48, 900.0f, 1100.0f);
    const auto frame = MakeTrackedFrame(PlaneFrame(64, 48, 1000.0f, 300.0f, Texture), region, 1, 300.0f);
    const auto other = MakeTrackedFrame(PlaneFrame(64, 48, 1000.0f, 300.0f, Texture), region, 2, 300.0f);
    CPyramidCache cache;
    const PyramidSettings settings{2, 1, 0, 900.0f, 1100.0f};
    const cv::Rect window(0, 0, 64, 48);
    const CFramePyramid* first = cache.Get(*frame, window, settings, nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(cache.Get(*frame, window, settings, nullptr), first);
    EXPECT_NE(cache.Get(*other, window, settings, first), first);  // another frame, another slot
    EXPECT_EQ(cache.Get(*frame, window, settings, nullptr), first);
    // A larger window serves a smaller one; one reaching beyond it is built.
    EXPECT_EQ(cache.Get(*frame, cv::Rect(8, 8, 40, 30), settings, first), first);
    const CFramePyramid* wider = cache.Get(*frame, cv::Rect(-8, 0, 72, 48), settings, first);
    ASSERT_NE(wider, nullptr);
    EXPECT_NE(wider, first);

    // The same frame with other pixels (a frame deleted and another made at its address) is built
    // again, and `keep` is never the slot rebuilt.
    iplFullView(frame->GetDepth()->GetIplImage())(cv::Rect(22, 12, 16, 16)) += 50.0f;
    const CFramePyramid* rebuilt = cache.Get(*frame, window, settings, first);
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_NE(rebuilt, first);
    EXPECT_GT(rebuilt->Level(0).depth.at<float>(20, 30), first->Level(0).depth.at<float>(20, 30) + 5.0f);
    // A frame without a mask cannot be built.
    CStereoFrame bare;
    EXPECT_EQ(cache.Get(bare, window, settings, nullptr), nullptr);
}

// Five keyframe pairs a step, with the frames of the steps before coming back: sixteen frames
// asked for in turn are all still held, each built once.
TEST(PyramidCache, HoldsSixteenFramesAtOnce) {
    const CDepthMaskRegion region(0, 64, 0, 48, 900.0f, 1100.0f);
    std::vector<std::unique_ptr<CTrackedFrame>> frames;
    for (int k = 0; k < 16; ++k)
        frames.push_back(MakeTrackedFrame(
            PlaneFrame(64, 48, 1000.0f, 300.0f, [k](int col, int row) { return Texture(col + k, row); }), region,
            k + 1, 300.0f));
    CPyramidCache cache;
    const PyramidSettings settings{2, 1, 0, 900.0f, 1100.0f};
    const cv::Rect window(0, 0, 64, 48);
    std::vector<const CFramePyramid*> first;
    std::vector<long> builds;
    for (const auto& frame : frames) {
        first.push_back(cache.Get(*frame, window, settings, nullptr));
        ASSERT_NE(first.back(), nullptr);
        builds.push_back(first.back()->Builds());
    }
    for (std::size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(cache.Get(*frames[k], window, settings, nullptr), first[k]) << k;
        EXPECT_EQ(first[k]->Builds(), builds[k]) << k;
    }
    // A seventeenth takes the place of the one unused longest.
    const auto extra = MakeTrackedFrame(PlaneFrame(64, 48, 1000.0f, 300.0f, Texture), region, 17, 300.0f);
    EXPECT_EQ(cache.Get(*extra, window, settings, nullptr), first[0]);
}

}  // namespace
