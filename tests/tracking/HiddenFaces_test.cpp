#include "tracking/HiddenFaces.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/TrackingFixtures.h"
#include "synth/HeadScene.h"
#include "synth/TrackingRun.h"
#include "tracking/IterativeEstimator.h"
#include "tracking/Pose.h"

namespace {

MotionLoss Pair(int matched, int hidden, bool estimated = true) {
    MotionLoss loss;
    loss.estimated = estimated;
    loss.matchedRows = matched;
    loss.hiddenRows = hidden;
    return loss;
}

// A frame is hidden by what its least hidden pair found: a keyframe far off in pose hides part
// of the head behind itself, the frame before does not; a hand hides the face from every pair.
TEST(HiddenFaces, AFrameIsHiddenOnlyWhenEvenItsLeastHiddenPairFoundItSo) {
    CHiddenFaces faces;
    faces.Record(10, {Pair(900, 300), Pair(2000, 10)});    // a far keyframe and the frame before
    faces.Record(11, {Pair(1200, 800), Pair(1500, 500)});  // a hand over a third of the face
    faces.Record(12, {Pair(0, 0), Pair(50, 950, false)});  // nothing estimated: nothing known
    faces.Record(13, {Pair(1900, 100)});                   // exactly the share allowed
    EXPECT_FALSE(faces.Hidden(10));
    EXPECT_TRUE(faces.Hidden(11));
    EXPECT_FALSE(faces.Hidden(12));
    EXPECT_FALSE(faces.Hidden(13));
    EXPECT_FALSE(faces.Hidden(99));  // never recorded
    faces.Forget(12);                // frames the source no longer keeps
    faces.Record(10, {Pair(100, 900)});
    faces.Forget(11);
    EXPECT_FALSE(faces.Hidden(10));
    faces.Record(14, {Pair(100, 900)});
    EXPECT_TRUE(faces.Hidden(14));
    faces.Clear();
    EXPECT_FALSE(faces.Hidden(14));
}

// Of a step's pairs, those that found much of the face hidden have no say while a clear one
// counts; when every pair found it hidden (a hand), they all keep theirs.
TEST(HiddenFaces, HiddenPairsGiveWayToClearOnesOnly) {
    std::vector<double> coefficients = {1.0, 0.5, 0.0, 2.0};
    CHiddenFaces::LeaveOutHiddenPairs({Pair(900, 300), Pair(2000, 10), Pair(2000, 0), Pair(100, 100, false)},
                                      coefficients);
    EXPECT_EQ(coefficients, (std::vector<double>{0.0, 0.5, 0.0, 2.0}));
    // The only clear pair is already left out: it makes no other give way.
    coefficients = {1.0, 0.0};
    CHiddenFaces::LeaveOutHiddenPairs({Pair(900, 300), Pair(2000, 10)}, coefficients);
    EXPECT_EQ(coefficients, (std::vector<double>{1.0, 0.0}));
    coefficients = {1.0, 1.0};
    CHiddenFaces::LeaveOutHiddenPairs({Pair(900, 300), Pair(1500, 500)}, coefficients);
    EXPECT_EQ(coefficients, (std::vector<double>{1.0, 1.0}));
}

// The rendered head at rest, 950 mm away, as the frame a session found it in.
struct FoundFace {
    RenderedFrame frame;
    FaceArea face;
    std::unique_ptr<CTrackedFrame> origin;
};

FoundFace FindFace(const SceneOptions& options, unsigned frameIndex) {
    FoundFace found;
    const auto scene = CHeadScene::Create(options, nullptr);
    if (!scene) return found;
    const CRigidMotion rest = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950});
    found.frame = scene->Render(rest, frameIndex);
    const FaceRegion r = InitialiserRegion(found.frame, StereoRig(), rest);
    const CDepthMaskRegion region(r.left, r.right, r.top, r.bottom, r.minDepth, r.maxDepth);
    found.origin = MakeTrackedFrame(found.frame, region, 1, 380.0f);
    found.face.box = cv::Rect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    found.face.minDepth = r.minDepth;
    found.face.maxDepth = r.maxDepth;
    return found;
}

// The face's front as the session found it, where a reference's pose puts it: the rendered head
// at 950 mm has the tip of its nose at 837 mm, its front at the image centre at 860 mm.
TEST(HiddenFaces, NothingOfTheFaceLiesNearerThanItsNoseWhereverThePoseTakesIt) {
    const FoundFace found = FindFace(SceneOptions(), 0);
    ASSERT_NE(found.origin, nullptr);
    CHiddenFaces faces;
    EXPECT_EQ(faces.NearestFaceDepth(nullptr, 50.0f), -1.0f);  // no session yet
    ASSERT_TRUE(faces.StartSession(*found.origin, found.face, 50.0f));
    const float nearest = faces.NearestFaceDepth(nullptr, 50.0f);
    EXPECT_GT(nearest, 837.0f - 50.0f);  // the nose's tip itself stays
    EXPECT_LT(nearest, 860.0f - 50.0f);
    EXPECT_EQ(faces.FoundHiddenShare(), 0.0f);
    // 100 mm further away: the face's centre moves with the pose, its reach in front stays.
    const CPose away(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 100.0f);
    EXPECT_NEAR(faces.NearestFaceDepth(&away, 50.0f), nearest + 100.0f, 1e-3);
    const CPose invalid(std::nanf(""), 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(faces.NearestFaceDepth(&invalid, 50.0f), -1.0f);
}

// A hand resting beside the face, 200 mm in front of the head centre, in the region the session
// starts with: the face's front is still its nose, not the hand.
TEST(HiddenFaces, AHandInTheFoundRegionIsNotTakenForTheFacesFront) {
    SceneOptions options;
    options.hand = HandPass{0, 20, 30, 60.0};  // resting from frame 11 on, its centre 60 mm right
    const FoundFace found = FindFace(options, 20);
    ASSERT_NE(found.origin, nullptr);
    const cv::Rect& box = found.face.box;
    ASSERT_GT(cv::countNonZero(found.frame.z(box) == 750.0f), box.area() / 8);  // the hand is in it
    CHiddenFaces faces;
    ASSERT_TRUE(faces.StartSession(*found.origin, found.face, 50.0f));
    const float nearest = faces.NearestFaceDepth(nullptr, 50.0f);
    EXPECT_GT(nearest, 837.0f - 50.0f);
    EXPECT_LT(nearest, 860.0f - 50.0f);
    // More of the region's points are the hand's than the face's: a session found so is lost.
    EXPECT_GT(faces.FoundHiddenShare(), 0.5f);
}

}  // namespace
