#include "init/TrackerInitializer.h"

#include <cstdlib>
#include <functional>
#include <limits>
#include <sstream>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/FaceTestData.h"
#include "tracking/Pose.h"

using facedetect::FaceDetection;

namespace {

// One frame as the host hands it over: grey pixels, a float depth image and an 8-bit mask.
struct Frame {
    std::unique_ptr<CImage> intensity, depth, mask;
    explicit Frame(const cv::Mat& grey = cv::Mat(240, 320, CV_8UC1, cv::Scalar(128)), float depthValue = 1000.0f)
        : intensity(facetest::ImageOf(grey)),
          depth(facetest::ImageOf(cv::Mat(grey.size(), CV_32FC1, cv::Scalar(depthValue)))),
          mask(facetest::ImageOf(cv::Mat(grey.size(), CV_8UC1, cv::Scalar(255)))) {}
    cv::Mat MaskPixels() const { return iplFullView(mask->GetIplImage()); }
};

FaceDetection Box(double x1, double y1, double x2, double y2, int hits = 5) { return {x1, y1, x2, y2, hits}; }

std::unique_ptr<CTrackerInitializer> Make(const std::string& settings = "") {
    setenv("VANTOREL_CLASSIFIER", facetest::ClassifierPath().c_str(), 1);
    std::istringstream in(settings);
    ::testing::internal::CaptureStdout();
    auto initializer = std::make_unique<CTrackerInitializer>(&in);
    ::testing::internal::GetCapturedStdout();
    return initializer;
}

int Detect(CTrackerInitializer& initializer, Frame& frame) {
    ::testing::internal::CaptureStdout();
    const int result = initializer.Detect(frame.intensity.get(), frame.depth.get(), frame.mask.get(), 1);
    ::testing::internal::GetCapturedStdout();
    return result;
}

int Update(CTrackerInitializer& initializer, const std::vector<FaceDetection>& detections, Frame& frame,
           int draw = 0) {
    return initializer.Update(detections.data(), static_cast<int>(detections.size()), frame.intensity.get(),
                              frame.depth.get(), frame.mask.get(), draw);
}

// Whether one detection stays a candidate with setting added to base, and with base alone.
std::pair<bool, bool> KeptWithAndWithout(const std::string& setting, const std::string& base,
                                         const FaceDetection& box, Frame& frame) {
    auto asked = Make(setting + " " + base), unasked = Make(base);
    Update(*asked, {box}, frame);
    Update(*unasked, {box}, frame);
    return {asked->GetCandidates().size() == 1, unasked->GetCandidates().size() == 1};
}

TEST(TrackerInitializer, StartsTrackingInTheFourthConsecutiveFrameShowingTheFace) {
    auto initializer = Make();
    std::vector<int> results;
    for (int i = 0; i < 9; ++i) {
        // The face moves a little; the third frame shows none, which drops the candidate.
        Frame frame(i == 2 ? cv::Mat(240, 320, CV_8UC1, cv::Scalar(128)) : facetest::AstronautFrame(0.4, 60 + i, 20));
        results.push_back(Detect(*initializer, frame));
        if (i == 2) {
            EXPECT_TRUE(initializer->GetCandidates().empty());
        }
    }
    EXPECT_EQ(results, (std::vector<int>{0, 0, 0, 0, 0, 0, 1, 1, 1}));
    const CFaceCandidate* face = initializer->GetSelected();
    ASSERT_NE(face, nullptr);
    EXPECT_NEAR(face->GetCentreX(), facetest::AstronautFaceCentre(0.4, 68, 20).x, 5.0);
    EXPECT_NEAR(face->GetCentreY(), facetest::AstronautFaceCentre(0.4, 68, 20).y, 5.0);
    EXPECT_EQ(face->GetDepth(), 1000.0f);
}

TEST(TrackerInitializer, KeepsFacesOnTheDepthAndPositionBoundsAndDropsThoseBeyond) {
    const std::tuple<const char*, FaceDetection, float, bool> cases[] = {
        {"nearest depth", Box(100, 100, 140, 140), 600.0f, true},
        {"nearer", Box(100, 100, 140, 140), 599.5f, false},
        {"farthest depth", Box(100, 100, 140, 140), 1600.0f, true},
        {"farther", Box(100, 100, 140, 140), 1600.5f, false},
        {"centre x 25", Box(5, 100, 45, 140), 1000.0f, true},
        {"centre x 24.5", Box(4.5, 100, 44.5, 140), 1000.0f, false},
        {"centre x 295", Box(275, 100, 315, 140), 1000.0f, true},
        {"centre x 295.5", Box(275.5, 100, 315.5, 140), 1000.0f, false},
        {"centre y 10, box cut by the image", Box(100, -10, 140, 30), 1000.0f, true},
        {"centre y 9.5", Box(100, -10.5, 140, 29.5), 1000.0f, false},
        {"centre y 230", Box(100, 210, 140, 250), 1000.0f, true},
        {"centre y 230.5", Box(100, 210.5, 140, 250.5), 1000.0f, false},
    };
    for (const auto& [what, box, depth, kept] : cases) {
        auto initializer = Make();
        Frame frame(cv::Mat(240, 320, CV_8UC1, cv::Scalar(90)), depth);
        Update(*initializer, {box}, frame);
        ASSERT_EQ(initializer->GetCandidates().size(), kept ? 1u : 0u) << what;
        if (kept) {
            EXPECT_EQ(initializer->GetCandidates().front()->GetDepth(), depth) << what;
        }
    }
    // A 0/1 mask: 255 masked pixels in the box are too few, 256 enough.
    for (const int masked : {255, 256}) {
        auto initializer = Make();
        Frame frame;
        frame.MaskPixels().setTo(0);
        frame.MaskPixels()(cv::Rect(100, 100, 16, 16)).setTo(1);
        if (masked == 255) frame.MaskPixels().at<unsigned char>(100, 100) = 0;
        Update(*initializer, {Box(90, 90, 130, 130)}, frame);
        EXPECT_EQ(initializer->GetCandidates().size(), masked == 255 ? 0u : 1u) << masked;
        // The same as a 1-bit mask.
        auto bits = std::make_unique<CImage>(320, 240, IPL_DEPTH_1U, 1, 0);
        bits->Allocate();
        bits->Set(0);
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) iplSetBit(bits->GetIplImage(), x, y, frame.MaskPixels().at<unsigned char>(y, x));
        }
        frame.mask = std::move(bits);
        initializer->Reset();
        Update(*initializer, {Box(90, 90, 130, 130)}, frame);
        ASSERT_EQ(initializer->GetCandidates().size(), masked == 255 ? 0u : 1u) << masked;
        if (masked == 256) {
            EXPECT_NEAR(initializer->GetCandidates().front()->GetDepth(), 1000.0f, 0.01f);
        }
    }
}

// A face-like pattern on a wall is no head: beside a head, at eye level, the scene lies behind it.
TEST(TrackerInitializer, TakesAFaceForAHeadOnlyWhereTheSceneBesideItLiesFarBehind) {
    const FaceDetection box = Box(120, 100, 160, 140);  // strips 60 to 80 pixels either side of x 140
    const auto wall = [](cv::Mat& depth, cv::Mat&) {  // tilted: 1035 mm at one strip, 1105 at the other
        for (int x = 0; x < depth.cols; ++x) depth.col(x).setTo(1000.0f + 0.5f * x);
    };
    const auto head = [](float besideLeft, float besideRight) {
        return [=](cv::Mat& depth, cv::Mat&) {
            depth.setTo(1800.0f);
            depth.colRange(0, 100).setTo(besideLeft);
            depth.colRange(181, 320).setTo(besideRight);
            cv::circle(depth, cv::Point(140, 120), 35, cv::Scalar(900.0f), cv::FILLED);
        };
    };
    const auto noDepthBeside = [](cv::Mat& depth, cv::Mat& mask) {
        depth.setTo(1000.0f);
        mask.colRange(0, 100).setTo(0);
        mask.colRange(181, 320).setTo(0);
    };
    const auto patternBesideHead = [&](cv::Mat& depth, cv::Mat& mask) {
        wall(depth, mask);
        mask.colRange(101, 121).setTo(0);
        depth.colRange(121, 200).setTo(700.0f);
    };
    const auto headBesideBand = [&](cv::Mat& depth, cv::Mat& mask) {
        head(1800.0f, 900.0f)(depth, mask);
        mask.colRange(60, 80).setTo(0);
    };
    const std::tuple<const char*, std::function<void(cv::Mat&, cv::Mat&)>, FaceDetection, bool> cases[] = {
        {"a pattern on a tilted wall", wall, box, false},
        {"a head before a wall", head(1800.0f, 1800.0f), box, true},
        {"a hand at its right", head(1800.0f, 900.0f), box, true},
        {"a wall 140 mm behind the face", head(1040.0f, 1040.0f), box, false},
        {"no depth beside it: nothing to tell", noDepthBeside, box, true},
        {"the left strip out of the frame, a wall at the right", wall, Box(20, 100, 60, 140), false},
        {"both strips out of the frame", wall, Box(5, 20, 315, 60), true},
        // Where a strip falls in the band a stereo camera cannot see beside a head, the strip
        // beyond it speaks for that side.
        {"a pattern at the frame's edge, a head beyond the band beside it", patternBesideHead, Box(20, 100, 60, 140),
         false},
        {"a head with a hand at its right and the band at its left", headBesideBand, box, true},
    };
    for (const auto& [what, scene, face, head] : cases) {
        Frame frame(cv::Mat(240, 320, CV_8UC1, cv::Scalar(90)));
        cv::Mat depth = iplFullView(frame.depth->GetIplImage()), mask = frame.MaskPixels();
        scene(depth, mask);
        EXPECT_EQ(KeptWithAndWithout("MIN_BACKGROUND_GAP: 150", "MIN_DEPTH_MASK: 300", face, frame),
                  std::make_pair(head, true))
            << what;
    }
}

// A box half on the head and half on the wall has a depth between them: its region would keep
// neither.
TEST(TrackerInitializer, DropsAFaceWhoseBoxMostlyLiesOutsideItsOwnDepthRange) {
    Frame frame(cv::Mat(240, 320, CV_8UC1, cv::Scalar(90)));
    cv::Mat depth = iplFullView(frame.depth->GetIplImage());
    depth.setTo(1800.0f);
    depth(cv::Rect(100, 120, 80, 80)).setTo(620.0f);  // the head below row 120
    const std::tuple<const char*, FaceDetection, bool> cases[] = {
        {"on the face", Box(120, 140, 160, 180), true},
        {"a fifth on the wall", Box(120, 112, 160, 152), true},
        {"half on the wall", Box(120, 100, 160, 140), false},
    };
    for (const auto& [what, box, kept] : cases) {
        const char* base = "MIN_DEPTH_MASK: 300 MAX_DEPTH_MASK: 2500";
        EXPECT_EQ(KeptWithAndWithout("MIN_FACE_DEPTH_SHARE: 0.5", base, box, frame), std::make_pair(kept, true))
            << what;
    }
    // A face nearer than the search's range is masked out: its box's masked depth is the wall's.
    depth(cv::Rect(100, 120, 80, 80)).setTo(300.0f);
    frame.MaskPixels()(cv::Rect(100, 120, 80, 80)).setTo(0);
    EXPECT_EQ(KeptWithAndWithout("MIN_FACE_DEPTH_SHARE: 0.5", "MIN_DEPTH_MASK: 350 MAX_DEPTH_MASK: 2500",
                                 Box(150, 140, 190, 180), frame),
              std::make_pair(false, true));
}

TEST(TrackerInitializer, MergesMatchingDetectionsAndSelectsTheEarliestOfTheMostSeen) {
    auto initializer = Make("THRESHOLD_NB_HIT: 4 NB_DETECT_BEFORE_INIT: 1");
    Frame frame;
    // The weak third detection is ignored; later the first candidate matches in all four coordinates.
    EXPECT_EQ(Update(*initializer, {Box(40, 40, 80, 80), Box(200, 40, 240, 80), Box(200, 100, 240, 140, 3)}, frame), 0);
    EXPECT_EQ(Update(*initializer, {Box(46, 34, 86, 80), Box(200, 40, 240, 80)}, frame, 1), 1);
    ASSERT_EQ(initializer->GetCandidates().size(), 2u);
    const CFaceCandidate& first = *initializer->GetCandidates().front();
    EXPECT_EQ(first.GetSeen(), 2);
    EXPECT_EQ(first.GetAge(), 0);
    EXPECT_EQ(first.GetLeft(), 46.0f);
    EXPECT_EQ(initializer->GetSelected(), &first);
    const cv::Mat drawn = iplFullView(frame.intensity->GetIplImage());
    EXPECT_EQ(drawn.at<unsigned char>(50, 46), 255);   // selected
    EXPECT_EQ(drawn.at<unsigned char>(60, 200), 200);  // the other

    EXPECT_EQ(Update(*initializer, {}, frame), 0);  // a frame without them drops both
    EXPECT_TRUE(initializer->GetCandidates().empty());
    // Below 0 the start count counts as 0: success still needs a candidate.
    auto eager = Make("NB_DETECT_BEFORE_INIT: -1");
    EXPECT_EQ(Update(*eager, {}, frame), 0);
    EXPECT_EQ(Update(*eager, {Box(40, 40, 80, 80)}, frame), 1);
}

TEST(TrackerInitializer, WeakerDetectionsKeepACandidateButStartNone) {
    // The same face found by three windows, then two, then three: unasked, the weak frame drops it
    // and tracking waits for four strong frames in a row.
    const std::vector<std::vector<FaceDetection>> frames = {
        {Box(40, 40, 80, 80, 3)}, {Box(42, 40, 82, 80, 2)}, {Box(44, 40, 84, 80, 3)}, {Box(46, 40, 86, 80, 2)}};
    for (const bool keep : {false, true}) {
        auto initializer = Make(keep ? "NB_DETECT_BEFORE_INIT: 3 THRESHOLD_NB_HIT_KEEP: 2" : "NB_DETECT_BEFORE_INIT: 3");
        Frame frame;
        std::vector<int> started;
        for (const auto& detections : frames) started.push_back(Update(*initializer, detections, frame));
        EXPECT_EQ(started, (keep ? std::vector<int>{0, 0, 0, 1} : std::vector<int>{0, 0, 0, 0})) << keep;
        ASSERT_EQ(initializer->GetCandidates().size(), keep ? 1u : 0u);
        if (keep) {
            EXPECT_EQ(initializer->GetCandidates().front()->GetLeft(), 46.0f);
        }
    }
    // A weak detection matching nothing starts nothing, and one weaker still keeps nothing.
    auto initializer = Make("THRESHOLD_NB_HIT_KEEP: 2");
    Frame frame;
    Update(*initializer, {Box(40, 40, 80, 80, 3), Box(200, 40, 240, 80, 2)}, frame);
    EXPECT_EQ(initializer->GetCandidates().size(), 1u);
    Update(*initializer, {Box(40, 40, 80, 80, 1)}, frame);
    EXPECT_TRUE(initializer->GetCandidates().empty());
}

TEST(TrackerInitializer, ReportsTheFaceRegionClampedToTheImage) {
    struct Case {
        FaceDetection box;
        float depth;
        int left, right, top, bottom;
        float minDepth, maxDepth;
    };
    const Case cases[] = {
        {Box(30, 100, 70, 140), 1000.0f, 0, 110, 40, 150, 600.0f, 1300.0f},       // centre (50, 120)
        {Box(90.5, 60, 130.5, 100), 400.0f, 50, 170, 0, 110, 0.0f, 700.0f},       // (110.5, 80)
        {Box(275, 210, 315, 250), 1000.0f, 235, 320, 150, 240, 600.0f, 1300.0f},  // (295, 230)
    };
    for (const Case& c : cases) {
        auto initializer = Make("MIN_DEPTH_MASK: 300");
        Frame frame(cv::Mat(240, 320, CV_8UC1, cv::Scalar(90)), c.depth);
        Update(*initializer, {c.box}, frame);
        ASSERT_NE(initializer->GetSelected(), nullptr);
        EXPECT_EQ(initializer->GetRegionLeft(), c.left);
        EXPECT_EQ(initializer->GetRegionRight(), c.right);
        EXPECT_EQ(initializer->GetRegionTop(), c.top);
        EXPECT_EQ(initializer->GetRegionBottom(), c.bottom);
        EXPECT_EQ(initializer->GetMinDepth(), c.minDepth);
        EXPECT_EQ(initializer->GetMaxDepth(), c.maxDepth);
    }
}

TEST(TrackerInitializer, ValidatesTheMaskAndTheMotionAtTheirBounds) {
    auto initializer = Make();
    Frame frame;
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, nullptr, CPose()), 1);  // no candidate
    Update(*initializer, {Box(100, 100, 140, 140)}, frame);
    frame.MaskPixels().setTo(0);
    frame.MaskPixels()(cv::Rect(100, 100, 20, 20)).setTo(1);  // exactly the threshold, 400
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), CPose()), 0);
    frame.MaskPixels().at<unsigned char>(130, 130) = 1;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // A pose built from a matrix has no rotation vector to measure: the tracker lends its motion
    // so when the estimate failed its loss check.
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, still[3] = {0, 0, 0};
    const std::pair<CPose, int> poses[] = {
        {CPose(0.32f, 0, 0, 0, 200.0f, 0), 401},  // both limits exactly
        {CPose(0.321f, 0, 0, 0, 0, 0), 0},
        {CPose(0, 0, 0, 0, 0, 200.01f), 0},
        {CPose(nan, 0, 0, 0, 0, 0), 0},
        {CPose(identity, still), 0},
    };
    ASSERT_EQ(poses[0].first.RotationAngle(), 0.32f);
    for (const auto& [pose, expected] : poses) {
        EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), pose), expected);
    }
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, nullptr, CPose()), 0);
    initializer->Reset();
    EXPECT_EQ(initializer->GetSelected(), nullptr);
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), CPose()), 1);
}

// A followed head carries its box along: the mask is checked where the face is now.
TEST(TrackerInitializer, ValidatesTheMaskWhereAFollowedFaceHasMoved) {
    auto initializer = Make();
    Frame frame;
    Update(*initializer, {Box(100, 100, 140, 140)}, frame);
    frame.MaskPixels().setTo(0);
    frame.MaskPixels()(cv::Rect(160, 90, 40, 40)).setTo(1);
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), CPose()), 0);
    initializer->FollowSelected(60.0f, -10.0f);
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), CPose()), 1600);
    EXPECT_EQ(initializer->GetSelected()->GetLeft(), 160.0f);
    initializer->FollowSelected(std::numeric_limits<float>::quiet_NaN(), 0.0f);  // ignored
    EXPECT_EQ(initializer->GetSelected()->GetLeft(), 160.0f);
}

TEST(TrackerInitializer, NeverStartsTrackingOnImagesItCannotUse) {
    auto initializer = Make("NB_DETECT_BEFORE_INIT: 0");
    Frame good(facetest::AstronautFrame(0.4, 60, 20));
    EXPECT_EQ(Detect(*initializer, good), 1);
    initializer->Reset();
    Frame smallMask(facetest::AstronautFrame(0.4, 60, 20));
    smallMask.mask = facetest::ImageOf(cv::Mat(120, 160, CV_8UC1, cv::Scalar(255)));
    Frame greyDepth(facetest::AstronautFrame(0.4, 60, 20));
    greyDepth.depth = facetest::ImageOf(cv::Mat(240, 320, CV_8UC1, cv::Scalar(100)));
    for (Frame* frame : {&smallMask, &greyDepth}) {
        EXPECT_EQ(Detect(*initializer, *frame), 0);
        EXPECT_TRUE(initializer->GetCandidates().empty());
    }
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(initializer->Detect(nullptr, nullptr, nullptr, 1), 0);
    EXPECT_EQ(initializer->Detect(good.intensity.get(), nullptr, nullptr, 1), 0);
    ::testing::internal::GetCapturedStdout();
}

}  // namespace
