#include "init/TrackerInitializer.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "support/FaceTestData.h"
#include "tracking/Pose.h"

using facedetect::FaceDetection;

namespace {

std::unique_ptr<CImage> Image8(const cv::Mat& pixels) {
    auto image = std::make_unique<CImage>(pixels.cols, pixels.rows, IPL_DEPTH_8U, 1, 0);
    image->Allocate();
    pixels.copyTo(iplFullView(image->GetIplImage()));
    return image;
}

std::unique_ptr<CImage> DepthImage(float depth, int width = 320, int height = 240) {
    auto image = std::make_unique<CImage>(width, height, IPL_DEPTH_32F, 1, 0);
    image->Allocate();
    iplFullView(image->GetIplImage()).setTo(depth);
    return image;
}

// One frame as the host hands it over: grey pixels, a depth image and an 8-bit mask.
struct Frame {
    std::unique_ptr<CImage> intensity;
    std::unique_ptr<CImage> depth;
    std::unique_ptr<CImage> mask;

    explicit Frame(const cv::Mat& grey, float depthValue = 1000.0f, int maskValue = 255)
        : intensity(Image8(grey)),
          depth(DepthImage(depthValue, grey.cols, grey.rows)),
          mask(Image8(cv::Mat(grey.rows, grey.cols, CV_8UC1, cv::Scalar(maskValue)))) {}
    Frame() : Frame(cv::Mat(240, 320, CV_8UC1, cv::Scalar(128))) {}
};

FaceDetection Box(double x1, double y1, double x2, double y2, int hits = 5) { return {x1, y1, x2, y2, hits}; }

class TrackerInitializerTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("VANTOREL_CLASSIFIER", facetest::ClassifierPath().c_str(), 1); }

    static std::unique_ptr<CTrackerInitializer> Make(const std::string& settings = "") {
        std::istringstream in(settings);
        ::testing::internal::CaptureStdout();
        auto initializer = std::make_unique<CTrackerInitializer>(&in);
        ::testing::internal::GetCapturedStdout();
        return initializer;
    }
    static int Detect(CTrackerInitializer& initializer, Frame& frame, int draw = 1) {
        ::testing::internal::CaptureStdout();
        const int result = initializer.Detect(frame.intensity.get(), frame.depth.get(), frame.mask.get(), draw);
        ::testing::internal::GetCapturedStdout();
        return result;
    }
    static int Update(CTrackerInitializer& initializer, const std::vector<FaceDetection>& detections, Frame& frame,
                      int draw = 0) {
        return initializer.Update(detections.data(), static_cast<int>(detections.size()), frame.intensity.get(),
                                  frame.depth.get(), frame.mask.get(), draw);
    }
};

TEST_F(TrackerInitializerTest, StartsTrackingInTheFourthFrameThatConfirmsTheFace) {
    auto initializer = Make();
    ASSERT_TRUE(initializer->GetDetector().HasClassifier());
    std::vector<int> results;
    for (int i = 0; i < 5; ++i) {
        Frame frame(facetest::AstronautFrame(0.4, 60 + i, 20));
        results.push_back(Detect(*initializer, frame));
    }
    EXPECT_EQ(results, (std::vector<int>{0, 0, 0, 1, 1}));
    const CFaceCandidate* face = initializer->GetSelected();
    ASSERT_NE(face, nullptr);
    const cv::Point2d centre = facetest::AstronautFaceCentre(0.4, 64, 20);
    EXPECT_NEAR(face->GetCentreX(), centre.x, 5.0);
    EXPECT_NEAR(face->GetCentreY(), centre.y, 5.0);
    EXPECT_EQ(face->GetDepth(), 1000.0f);
    EXPECT_EQ(initializer->GetMinDepth(), 600.0f);
    EXPECT_EQ(initializer->GetMaxDepth(), 1300.0f);
    EXPECT_EQ(initializer->GetRegionLeft(), static_cast<int>(face->GetCentreX() - 60));
    EXPECT_EQ(initializer->GetRegionBottom(), static_cast<int>(face->GetCentreY() + 30));
}

TEST_F(TrackerInitializerTest, OneFrameWithoutTheFaceDropsTheCandidate) {
    auto initializer = Make();
    std::vector<int> results;
    for (int i = 0; i < 7; ++i) {
        Frame frame = i == 2 ? Frame() : Frame(facetest::AstronautFrame(0.4, 60, 20));
        results.push_back(Detect(*initializer, frame));
        if (i == 2) {
            EXPECT_TRUE(initializer->GetCandidates().empty());
        }
    }
    EXPECT_EQ(results, (std::vector<int>{0, 0, 0, 0, 0, 0, 1}));
}

TEST_F(TrackerInitializerTest, KeepsFacesOnTheDepthAndPositionBoundsAndDropsThoseBeyond) {
    struct Case {
        const char* what;
        FaceDetection box;
        float depth;
        bool kept;
    };
    const Case cases[] = {
        {"nearest depth", Box(100, 100, 140, 140), 600.0f, true},
        {"nearer", Box(100, 100, 140, 140), 599.5f, false},
        {"farthest depth", Box(100, 100, 140, 140), 1600.0f, true},
        {"farther", Box(100, 100, 140, 140), 1600.5f, false},
        {"left bound", Box(5, 100, 45, 140), 1000.0f, true},  // centre x 25
        {"left of it", Box(4.5, 100, 44.5, 140), 1000.0f, false},
        {"right bound", Box(275, 100, 315, 140), 1000.0f, true},  // 295
        {"right of it", Box(275.5, 100, 315.5, 140), 1000.0f, false},
        {"top bound", Box(100, -10, 140, 30), 1000.0f, true},  // centre y 10, box cut by the image
        {"above it", Box(100, -10.5, 140, 29.5), 1000.0f, false},
        {"bottom bound", Box(100, 210, 140, 250), 1000.0f, true},  // 230
        {"below it", Box(100, 210.5, 140, 250.5), 1000.0f, false},
    };
    for (const Case& c : cases) {
        auto initializer = Make();
        Frame frame(cv::Mat(240, 320, CV_8UC1, cv::Scalar(90)), c.depth);
        Update(*initializer, {c.box}, frame);
        ASSERT_EQ(initializer->GetCandidates().size(), c.kept ? 1u : 0u) << c.what;
        if (c.kept) {
            EXPECT_EQ(initializer->GetCandidates().front()->GetDepth(), c.depth) << c.what;
        }
    }
}

TEST_F(TrackerInitializerTest, NeedsMoreThan255MaskedPixelsInTheBox) {
    for (const int masked : {255, 256}) {
        auto initializer = Make();
        Frame frame;
        cv::Mat mask = iplFullView(frame.mask->GetIplImage());
        mask.setTo(0);
        mask(cv::Rect(100, 100, 16, 16)).setTo(1);  // 256 pixels of 0/1 mask
        if (masked == 255) mask.at<unsigned char>(100, 100) = 0;
        Update(*initializer, {Box(90, 90, 130, 130)}, frame);
        EXPECT_EQ(initializer->GetCandidates().size(), masked == 255 ? 0u : 1u) << masked;
    }
}

TEST_F(TrackerInitializerTest, MergesMatchingDetectionsAndSelectsTheEarliestOfTheMostSeen) {
    auto initializer = Make("THRESHOLD_NB_HIT: 4");
    Frame frame;
    // The weak detection is ignored; the third matches the first in three coordinates.
    Update(*initializer, {Box(40, 40, 80, 80), Box(200, 40, 240, 80), Box(200, 100, 240, 140, 3)}, frame);
    Update(*initializer, {Box(46, 34, 86, 80), Box(200, 40, 240, 80)}, frame, 1);
    ASSERT_EQ(initializer->GetCandidates().size(), 2u);
    const CFaceCandidate& first = *initializer->GetCandidates().front();
    EXPECT_EQ(first.GetSeen(), 2);
    EXPECT_EQ(first.GetAge(), 0);
    EXPECT_EQ(first.GetLeft(), 46.0f);
    EXPECT_EQ(initializer->GetSelected(), &first);
    const cv::Mat drawn = iplFullView(frame.intensity->GetIplImage());
    EXPECT_EQ(drawn.at<unsigned char>(50, 46), 255);   // selected
    EXPECT_EQ(drawn.at<unsigned char>(60, 200), 200);  // the other
}

TEST_F(TrackerInitializerTest, DropsACandidateThatMissesAFrameAndHonoursTheStartCount) {
    auto initializer = Make("NB_DETECT_BEFORE_INIT: 1");
    Frame frame;
    EXPECT_EQ(Update(*initializer, {Box(40, 40, 80, 80)}, frame), 0);
    EXPECT_EQ(Update(*initializer, {Box(40, 40, 80, 80)}, frame), 1);
    EXPECT_EQ(Update(*initializer, {}, frame), 0);
    EXPECT_TRUE(initializer->GetCandidates().empty());

    // Below 0 the count is 0: success still needs a candidate.
    auto eager = Make("NB_DETECT_BEFORE_INIT: -1");
    EXPECT_EQ(Update(*eager, {}, frame), 0);
    EXPECT_EQ(Update(*eager, {Box(40, 40, 80, 80)}, frame), 1);
}

TEST_F(TrackerInitializerTest, ReportsTheFaceRegionClampedToTheImage) {
    struct Case {
        FaceDetection box;
        float depth;
        int left, right, top, bottom;
        float minDepth, maxDepth;
    };
    const Case cases[] = {
        {Box(30, 100, 70, 140), 1000.0f, 0, 110, 40, 150, 600.0f, 1300.0f},     // centre (50, 120)
        {Box(90.5, 60, 130.5, 100), 400.0f, 50, 170, 0, 110, 0.0f, 700.0f},     // centre (110.5, 80)
        {Box(275, 210, 315, 250), 1000.0f, 235, 320, 150, 240, 600.0f, 1300.0f},  // centre (295, 230)
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

TEST_F(TrackerInitializerTest, ValidatesTheMaskAndTheMotionAtTheirBounds) {
    auto initializer = Make();
    Frame frame;
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, nullptr, CPose()), 1);  // no candidate

    Update(*initializer, {Box(100, 100, 140, 140)}, frame);
    ASSERT_EQ(initializer->GetCandidates().size(), 1u);
    cv::Mat mask = iplFullView(frame.mask->GetIplImage());
    mask.setTo(0);
    mask(cv::Rect(100, 100, 20, 20)).setTo(1);  // 400: exactly the threshold
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), CPose()), 0);
    mask.at<unsigned char>(130, 130) = 1;
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), CPose()), 401);

    const CPose atLimits(0.32f, 0.0f, 0.0f, 0.0f, 200.0f, 0.0f);
    ASSERT_EQ(atLimits.RotationAngle(), 0.32f);
    ASSERT_EQ(atLimits.TranslationNorm(), 200.0f);
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), atLimits), 401);
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), CPose(0.321f, 0, 0, 0, 0, 0)), 0);
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), CPose(0, 0, 0, 0, 0, 200.01f)), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), CPose(nan, 0, 0, 0, 0, 0)), 0);
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, nullptr, CPose()), 0);

    initializer->Reset();
    EXPECT_EQ(initializer->GetSelected(), nullptr);
    EXPECT_EQ(initializer->Validate(nullptr, nullptr, frame.mask.get(), CPose()), 1);
}

TEST_F(TrackerInitializerTest, NeverStartsTrackingOnImagesItCannotUse) {
    auto initializer = Make("NB_DETECT_BEFORE_INIT: 0");
    Frame good(facetest::AstronautFrame(0.4, 60, 20));
    EXPECT_EQ(Detect(*initializer, good), 1);
    initializer->Reset();

    Frame smallMask(facetest::AstronautFrame(0.4, 60, 20));
    smallMask.mask = Image8(cv::Mat(120, 160, CV_8UC1, cv::Scalar(255)));
    Frame intDepth(facetest::AstronautFrame(0.4, 60, 20));
    intDepth.depth = Image8(cv::Mat(240, 320, CV_8UC1, cv::Scalar(100)));
    for (Frame* frame : {&smallMask, &intDepth}) {
        EXPECT_EQ(Detect(*initializer, *frame), 0);
        EXPECT_TRUE(initializer->GetCandidates().empty());
    }
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(initializer->Detect(nullptr, nullptr, nullptr, 1), 0);
    EXPECT_EQ(initializer->Detect(good.intensity.get(), nullptr, nullptr, 1), 0);
    ::testing::internal::GetCapturedStdout();
}

}  // namespace
