#include "init/FaceDetector.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "support/FaceTestData.h"

using facedetect::FaceDetection;

namespace {

// Points the detector at a classifier for the life of one test.
class ClassifierSetting {
public:
    explicit ClassifierSetting(const std::string& path) {
        const char* old = std::getenv("VANTOREL_CLASSIFIER");
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        if (path.empty()) {
            unsetenv("VANTOREL_CLASSIFIER");
        } else {
            setenv("VANTOREL_CLASSIFIER", path.c_str(), 1);
        }
    }
    ~ClassifierSetting() {
        if (hadOld_) {
            setenv("VANTOREL_CLASSIFIER", old_.c_str(), 1);
        } else {
            unsetenv("VANTOREL_CLASSIFIER");
        }
    }

private:
    bool hadOld_ = false;
    std::string old_;
};

std::unique_ptr<CImage> GreyImage(const cv::Mat& pixels) {
    auto image = std::make_unique<CImage>(pixels.cols, pixels.rows, IPL_DEPTH_8U, 1, 0);
    image->Allocate();
    pixels.copyTo(iplFullView(image->GetIplImage()));
    return image;
}

std::unique_ptr<CFaceDetector> QuietDetector() {
    ::testing::internal::CaptureStdout();
    auto detector = std::make_unique<CFaceDetector>();
    ::testing::internal::GetCapturedStdout();
    return detector;
}

int QuietDetect(CFaceDetector& detector, CImage& image, int draw) {
    ::testing::internal::CaptureStdout();
    const int n = detector.Detect(image, draw);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(n == 0 || printed == "num_scales = 4\n") << printed;
    return n;
}

std::filesystem::path TestFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto folder = std::filesystem::temp_directory_path() / ("vantorel_detector_" + std::string(info->name()));
    std::filesystem::create_directories(folder);
    return folder;
}

TEST(FaceDetector, FindsTheFaceWithTheClassifierTheEnvironmentNames) {
    ClassifierSetting setting(facetest::ClassifierPath());
    auto detector = QuietDetector();
    ASSERT_TRUE(detector->HasClassifier());
    EXPECT_EQ(detector->GetClassifierPath(), facetest::ClassifierPath());

    const cv::Mat frame = facetest::AstronautFrame(0.4, 60, 20);
    auto image = GreyImage(frame);
    const int n = QuietDetect(*detector, *image, 0);
    ASSERT_GE(n, 1);
    EXPECT_EQ(detector->GetNDetections(), n);

    // The same detections as the plain scan over the same pixels.
    facedetect::ScaledFeatures features;
    std::vector<int> counts;
    std::vector<double> thresholds;
    int nStages = 0;
    ::testing::internal::CaptureStdout();
    facedetect::ReadClassifier(facetest::ClassifierPath(), 4, 1.0, features, counts, thresholds, nStages);
    std::vector<FaceDetection> expected(facedetect::kMaxDetections);
    ASSERT_EQ(facedetect::DetectFaces(frame.data, frame.rows, frame.cols, 4, 1.0, expected.data(), features, counts,
                                      thresholds, nStages),
              n);
    ::testing::internal::GetCapturedStdout();
    int strong = 0;
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(detector->GetDetection(i).x1, expected[i].x1);
        EXPECT_EQ(detector->GetDetection(i).y2, expected[i].y2);
        EXPECT_EQ(detector->GetDetection(i).hits, expected[i].hits);
        strong += expected[i].hits >= 3;
    }
    EXPECT_EQ(strong, 1);
    EXPECT_EQ(detector->GetDetection(-1).hits, 0);
    EXPECT_EQ(detector->GetDetection(1000).hits, 0);

    // Rows padded in memory read as the same picture.
    const cv::Mat narrow = frame(cv::Rect(0, 0, 317, 240)).clone();
    auto padded = GreyImage(narrow);
    ASSERT_NE(padded->GetWidthStep(), 317);
    const int narrowCount = QuietDetect(*detector, *padded, 0);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(facedetect::DetectFaces(narrow.data, narrow.rows, narrow.cols, 4, 1.0, expected.data(), features, counts,
                                      thresholds, nStages),
              narrowCount);
    ::testing::internal::GetCapturedStdout();
}

TEST(FaceDetector, OutlinesItsDetectionsOnlyWhenAsked) {
    ClassifierSetting setting(facetest::ClassifierPath());
    auto detector = QuietDetector();
    const cv::Mat frame = facetest::AstronautFrame(0.4, 60, 20);
    auto image = GreyImage(frame);
    QuietDetect(*detector, *image, 0);
    EXPECT_EQ(cv::norm(iplFullView(image->GetIplImage()), frame, cv::NORM_INF), 0.0);

    const int n = QuietDetect(*detector, *image, 1);
    ASSERT_GE(n, 1);
    const cv::Mat drawn = iplFullView(image->GetIplImage());
    for (int i = 0; i < n; ++i) {
        const FaceDetection& d = detector->GetDetection(i);
        const int x = static_cast<int>(d.x1), y = static_cast<int>(d.y1);
        EXPECT_EQ(drawn.at<unsigned char>(y, x), 255);
        EXPECT_EQ(drawn.at<unsigned char>(static_cast<int>(d.y2), static_cast<int>(d.x2)), 255);
    }
}

TEST(FaceDetector, FindsNoFaceWithoutItsClassifier) {
    const auto folder = TestFolder();
    const cv::Mat frame = facetest::AstronautFrame(0.4, 60, 20);
    {
        ClassifierSetting setting("");
        ::testing::internal::CaptureStdout();
        CFaceDetector detector;
        EXPECT_EQ(::testing::internal::GetCapturedStdout(),
                  "Cannot open file E:\\Classifier\\Classifier.txt to read.\n");
        EXPECT_FALSE(detector.HasClassifier());
        auto image = GreyImage(frame);
        EXPECT_EQ(QuietDetect(detector, *image, 1), 0);
    }
    {
        std::ofstream(folder / "Classifier.txt") << "2 " << (folder / "Stage.txt").string() << " Gone.txt\n";
        std::filesystem::copy_file(std::filesystem::path(facetest::ClassifierPath()).parent_path() /
                                       "FrontalFaceStage00.txt",
                                   folder / "Stage.txt", std::filesystem::copy_options::overwrite_existing);
        ClassifierSetting setting((folder / "Classifier.txt").string());
        ::testing::internal::CaptureStdout();
        CFaceDetector detector;
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Cannot open file Gone.txt to rad.\n");
        EXPECT_FALSE(detector.HasClassifier());
        auto image = GreyImage(frame);
        EXPECT_EQ(QuietDetect(detector, *image, 0), 0);
    }
    std::filesystem::remove_all(folder);
}

TEST(FaceDetector, AClassifierOfNoStagesAcceptsEveryWindow) {
    const auto folder = TestFolder();
    std::ofstream(folder / "Classifier.txt") << "0\n";
    ClassifierSetting setting((folder / "Classifier.txt").string());
    auto detector = QuietDetector();
    EXPECT_TRUE(detector->HasClassifier());
    auto image = GreyImage(cv::Mat(240, 320, CV_8UC1, cv::Scalar(7)));
    const int n = QuietDetect(*detector, *image, 0);
    int hits = 0;
    for (int i = 0; i < n; ++i) hits += detector->GetDetection(i).hits;
    EXPECT_EQ(hits, 1000);
    std::filesystem::remove_all(folder);
}

TEST(FaceDetector, ScansOnlyEightBitGreyImagesWithPixels) {
    ClassifierSetting setting(facetest::ClassifierPath());
    auto detector = QuietDetector();
    CImage colour(320, 240, IPL_DEPTH_8U, 3, 0);
    colour.Allocate();
    colour.Set(100);
    CImage depth(320, 240, IPL_DEPTH_32F, 1, 0);
    depth.Allocate();
    depth.Set(100);
    CImage headerOnly(320, 240, IPL_DEPTH_8U, 1, 0);
    CImage noHeader(320, 240, IPL_DEPTH_8U, 2, 0);
    for (CImage* image : {&colour, &depth, &headerOnly, &noHeader}) EXPECT_EQ(QuietDetect(*detector, *image, 1), 0);
    EXPECT_EQ(detector->GetNDetections(), 0);
}

}  // namespace
