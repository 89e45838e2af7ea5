#include "tracking/RegionFollower.h"

#include <gtest/gtest.h>

#include "support/TrackingFixtures.h"
#include "tracking/Pose.h"

namespace {

constexpr float kFocal = 380.0f;

// A plane 1000 mm away whose face box is centred on the image centre, so its centre is on the
// optical axis and a move along X by d shows as f d / Z columns.
struct Found {
    Found()
        : frame(MakeTrackedFrame(PlaneFrame(320, 240, 1000.0f, kFocal, [](int, int) { return 128; }),
                                 CDepthMaskRegion(100, 220, 60, 180, 800.0f, 1200.0f), 1, kFocal)) {
        face.box = cv::Rect(100, 60, 120, 120);
        face.minDepth = 800.0f;
        face.maxDepth = 1200.0f;
        projection = PixelProjection::FromScales(frame->GetScaleX(), frame->GetScaleY(), kFocal, true);
    }
    std::unique_ptr<CTrackedFrame> frame;
    FaceArea face;
    PixelProjection projection;
};

}  // namespace

TEST(RegionFollower, TheRegionMovesWithTheFacesCentreAndItsDepthBoundsWithItsDepth) {
    Found found;
    CRegionFollower follower;
    FaceArea next;
    EXPECT_FALSE(follower.Follow(CPose(), found.projection, 320, 240, next));  // not started
    ASSERT_TRUE(follower.Start(*found.frame, found.face));

    ASSERT_TRUE(follower.Follow(CPose(0, 0, 0, 50, -25, 0), found.projection, 320, 240, next));
    EXPECT_EQ(next.box, cv::Rect(119, 50, 120, 120));  // 50 mm right, 25 up: 19 columns, 9.5 rows
    EXPECT_EQ(std::make_pair(next.minDepth, next.maxDepth), std::make_pair(800.0f, 1200.0f));

    // Depth bounds move in steps of a fiftieth of the distance (20 mm here).
    ASSERT_TRUE(follower.Follow(CPose(0, 0, 0, 0, 0, 155), found.projection, 320, 240, next));
    EXPECT_EQ(next.box, found.face.box);
    EXPECT_EQ(std::make_pair(next.minDepth, next.maxDepth), std::make_pair(960.0f, 1360.0f));

    // Near the image's edge the region is cut to the image; beyond sight, or behind the camera,
    // it is not followed.
    ASSERT_TRUE(follower.Follow(CPose(0, 0, 0, 300, 0, 0), found.projection, 320, 240, next));
    EXPECT_EQ(next.box, cv::Rect(214, 60, 106, 120));  // 114 columns right, cut at 320
    EXPECT_FALSE(follower.Follow(CPose(0, 0, 0, 2000, 0, 0), found.projection, 320, 240, next));
    EXPECT_FALSE(follower.Follow(CPose(0, 0, 0, 0, 0, -2000), found.projection, 320, 240, next));
}

TEST(RegionFollower, AFaceWithoutDepthIsNotFollowed) {
    Found found;
    found.face.minDepth = 1500.0f;  // the plane lies outside the bounds
    found.face.maxDepth = 1800.0f;
    CRegionFollower follower;
    EXPECT_FALSE(follower.Start(*found.frame, found.face));
    EXPECT_FALSE(follower.Started());
}
