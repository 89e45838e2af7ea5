#include "init/FaceDetector.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "support/FaceTestData.h"

using facedetect::FaceDetection;

namespace {

// A detector loading the classifier at path (none: the variable unset), quietly. The variable is
// put back as it was: later tests in this process look for the build's classifier through it.
std::unique_ptr<CFaceDetector> DetectorFor(const std::string& path, std::string* messages = nullptr) {
    const char* was = std::getenv("VANTOREL_CLASSIFIER");
    const std::optional<std::string> before = was ? std::optional<std::string>(was) : std::nullopt;
    if (path.empty()) {
        unsetenv("VANTOREL_CLASSIFIER");
    } else {
        setenv("VANTOREL_CLASSIFIER", path.c_str(), 1);
    }
    ::testing::internal::CaptureStdout();
    auto detector = std::make_unique<CFaceDetector>();
    const std::string printed = ::testing::internal::GetCapturedStdout();
    if (messages) *messages = printed;
    if (before) {
        setenv("VANTOREL_CLASSIFIER", before->c_str(), 1);
    } else {
        unsetenv("VANTOREL_CLASSIFIER");
    }
    return detector;
}

int QuietDetect(CFaceDetector& detector, CImage& image, int draw) {
    ::testing::internal::CaptureStdout();
    const int n = detector.Detect(image, draw);
    ::testing::internal::GetCapturedStdout();
    return n;
}

TEST(FaceDetector, FindsWhatThePlainScanFindsAndOutlinesItWhenAsked) {
    const std::string classifier = facetest::ClassifierPath();
    auto detector = DetectorFor(classifier);
    ASSERT_TRUE(detector->HasClassifier());
    EXPECT_EQ(detector->GetClassifierPath(), classifier);

    // 317 pixels wide: the image's rows are padded in memory, the plain scan's are not.
    const cv::Mat pixels = facetest::AstronautFrame(0.4, 60, 20)(cv::Rect(0, 0, 317, 240)).clone();
    auto image = facetest::ImageOf(pixels);
    ::testing::internal::CaptureStdout();
    const int n = detector->Detect(*image, 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "num_scales = 4\n");
    EXPECT_EQ(cv::norm(iplFullView(image->GetIplImage()), pixels, cv::NORM_INF), 0.0);  // untouched
    facedetect::ScaledFeatures features;
    std::vector<int> counts;
    std::vector<double> thresholds;
    int nStages = 0;
    std::vector<FaceDetection> expected(facedetect::kMaxDetections);
    ::testing::internal::CaptureStdout();
    facedetect::ReadClassifier(classifier, 4, 1.0, features, counts, thresholds, nStages);
    ASSERT_EQ(facedetect::DetectFaces(pixels.data, pixels.rows, pixels.cols, 4, 1.0, expected.data(), features,
                                      counts, thresholds, nStages),
              n);
    ::testing::internal::GetCapturedStdout();
    ASSERT_GE(n, 1);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(detector->GetDetection(i).x1, expected[i].x1);
        EXPECT_EQ(detector->GetDetection(i).hits, expected[i].hits);
    }
    EXPECT_EQ(detector->GetDetection(1000).hits, 0);

    EXPECT_EQ(QuietDetect(*detector, *image, 1), n);
    const cv::Mat drawn = iplFullView(image->GetIplImage());
    for (int i = 0; i < n; ++i) {
        const FaceDetection& d = detector->GetDetection(i);
        EXPECT_EQ(drawn.at<unsigned char>(static_cast<int>(d.y1), static_cast<int>(d.x1)), 255);
        EXPECT_EQ(drawn.at<unsigned char>(static_cast<int>(d.y2), static_cast<int>(d.x2)), 255);
    }
}

TEST(FaceDetector, FindsNoFaceWithoutItsClassifier) {
    std::string messages;
    auto detector = DetectorFor("", &messages);
    EXPECT_EQ(messages, "Cannot open file E:\\Classifier\\Classifier.txt to read.\n");
    EXPECT_FALSE(detector->HasClassifier());
    auto image = facetest::ImageOf(facetest::AstronautFrame(0.4, 60, 20));
    const auto saidOverThreeFrames = [&](CFaceDetector& d) {
        std::string said;
        for (int frame = 0; frame < 3; ++frame) {
            ::testing::internal::CaptureStdout();
            EXPECT_EQ(d.Detect(*image, 1), 0);
            said += ::testing::internal::GetCapturedStdout();
        }
        return said;
    };
    // A classifier that is not there was reported where it was looked for: nothing more.
    EXPECT_EQ(saidOverThreeFrames(*detector), "");
    // One that is there but refused is said again at the first search, once.
    facetest::TempFolder folder("vantorel_refused_classifier");
    const std::string refused = folder.Write("Classifier.txt", "2000000000 Stage.txt\n");
    auto refusing = DetectorFor(refused, &messages);
    EXPECT_NE(messages.find("refused"), std::string::npos) << messages;
    EXPECT_EQ(saidOverThreeFrames(*refusing),
              "Error: face detection finds nothing: the classifier " + refused + " did not load\n");
}

TEST(FaceDetector, ScansOnlyEightBitGreyImagesWithPixels) {
    auto detector = DetectorFor(facetest::ClassifierPath());
    CImage colour(320, 240, IPL_DEPTH_8U, 3, 0);
    colour.Allocate();
    auto depth = facetest::ImageOf(cv::Mat(240, 320, CV_32FC1, cv::Scalar(100)));
    CImage headerOnly(320, 240, IPL_DEPTH_8U, 1, 0);
    CImage noHeader(320, 240, IPL_DEPTH_8U, 2, 0);
    for (CImage* image : {&colour, depth.get(), &headerOnly, &noHeader}) EXPECT_EQ(QuietDetect(*detector, *image, 1), 0);
}

}  // namespace
