#include "init/FaceDetection.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <opencv2/objdetect.hpp>

#include "support/FaceTestData.h"

using namespace facedetect;

namespace {

const char* const kCascade = "/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml";

struct Stump {
    std::vector<std::vector<double>> rects;  // x, y, width, height, weight
    double threshold;
};

// The stumps of the trained cascade, stage by stage.
std::vector<std::vector<Stump>> ReadCascade() {
    cv::FileStorage storage(kCascade, cv::FileStorage::READ);
    std::vector<std::vector<std::vector<double>>> features;
    for (const cv::FileNode& feature : storage["cascade"]["features"]) {
        features.emplace_back();
        for (const cv::FileNode& rect : feature["rects"]) {
            features.back().emplace_back();
            rect >> features.back().back();
        }
    }
    std::vector<std::vector<Stump>> stages;
    for (const cv::FileNode& stage : storage["cascade"]["stages"]) {
        stages.emplace_back();
        for (const cv::FileNode& weak : stage["weakClassifiers"]) {
            std::vector<double> internal;
            weak["internalNodes"] >> internal;
            stages.back().push_back({features[static_cast<int>(internal[2])], internal[3]});
        }
    }
    return stages;
}

TEST(ConvertedCascade, DecidesLikeTheTrainedCascadeOnPhotographs) {
    ScaledFeatures features;
    std::vector<int> counts;
    std::vector<double> thresholds;
    int nStages = 0;
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(ReadClassifier(facetest::ClassifierPath(), 1, 1.0, features, counts, thresholds, nStages), 1);
    ::testing::internal::GetCapturedStdout();
    const auto cascade = ReadCascade();
    ASSERT_EQ(static_cast<int>(cascade.size()), nStages);

    long contrasted = 0, contrastedAgreeing = 0;
    for (const cv::Mat& frame : {facetest::AstronautFrame(0.3, 40, 10), facetest::FaceFreeFrame("gravel.png", true),
                                 facetest::FaceFreeFrame("brick.png", false)}) {
        cv::Mat sums, squares;  // OpenCV's tables, one leading row and column of zeros
        cv::integral(frame, sums, squares, CV_64F, CV_64F);
        auto rectSum = [](const cv::Mat& t, double x, double y, double w, double h) {
            const int x0 = static_cast<int>(x), y0 = static_cast<int>(y), x1 = x0 + static_cast<int>(w),
                      y1 = y0 + static_cast<int>(h);
            return t.at<double>(y1, x1) - t.at<double>(y0, x1) - t.at<double>(y1, x0) + t.at<double>(y0, x0);
        };
        IntegralImage ours;
        ours.width = frame.cols;
        ours.height = frame.rows;
        AllocateIntegralImage(ours);
        ComputeIntegralImage(frame.data, ours);
        long stumps = 0, stumpsAgreeing = 0;
        for (int y = 1; y < frame.rows - 25; y += 2) {
            for (int x = 1; x < frame.cols - 25; x += 2) {
                // The cascade normalises by 484 x the deviation of the inner 22 x 22 window.
                const double inner = rectSum(sums, x + 1, y + 1, 22, 22);
                const double spread = 484 * rectSum(squares, x + 1, y + 1, 22, 22) - inner * inner;
                const double cascadeNorm = spread > 0 ? 1 / std::sqrt(spread) : 1;
                const double mean = rectSum(sums, x, y, 24, 24) / 576;
                const double variance = rectSum(squares, x, y, 24, 24) / 576 - mean * mean;
                const double norm = std::sqrt(4000 / (variance + 100));
                for (int s = 0; s < nStages; ++s) {
                    for (int f = 0; f < counts[s]; ++f) {
                        const Stump& stump = cascade[s][f];
                        double value = 0;
                        for (const auto& r : stump.rects) value += r[4] * rectSum(sums, x + r[0], y + r[1], r[2], r[3]);
                        const bool same =
                            FeatureFires(features[s][0][f], ours, norm, y, x) == (value * cascadeNorm >= stump.threshold);
                        ++stumps;
                        stumpsAgreeing += same;
                        if (variance >= 2500) {
                            ++contrasted;
                            contrastedAgreeing += same;
                        }
                    }
                }
            }
        }
        // Apart from the variance's regularising 100 (and its slightly larger window), the two
        // rules are one: they part for windows of little contrast or values a hair from a threshold.
        EXPECT_GT(static_cast<double>(stumpsAgreeing) / stumps, 0.97);
    }
    ASSERT_GT(contrasted, 10000);
    EXPECT_GT(static_cast<double>(contrastedAgreeing) / contrasted, 0.99);
}

TEST(ConvertedCascade, FindsTheFaceWhereOpenCVsDetectorFindsIt) {
    const cv::Mat frame = facetest::AstronautFrame(0.4, 60, 20);
    std::vector<cv::Rect> expected;
    cv::CascadeClassifier(kCascade).detectMultiScale(frame, expected, 1.25, 3, 0, cv::Size(24, 24), cv::Size(47, 47));
    ASSERT_EQ(expected.size(), 1u);
    const cv::Rect& e = expected[0];

    ScaledFeatures features;
    std::vector<int> counts;
    std::vector<double> thresholds;
    int nStages = 0;
    std::vector<FaceDetection> detections(kMaxDetections);
    ::testing::internal::CaptureStdout();
    ReadClassifier(facetest::ClassifierPath(), 4, 1.0, features, counts, thresholds, nStages);
    detections.resize(DetectFaces(frame.data, frame.rows, frame.cols, 4, 1.0, detections.data(), features, counts,
                                  thresholds, nStages));
    ::testing::internal::GetCapturedStdout();
    int strong = 0;
    for (const FaceDetection& d : detections) {
        if (d.hits < 3) continue;
        ++strong;
        EXPECT_NEAR((d.x1 + d.x2) / 2, e.x + e.width / 2.0, 4.0);
        EXPECT_NEAR((d.y1 + d.y2) / 2, e.y + e.height / 2.0, 4.0);
        EXPECT_NEAR(d.x2 - d.x1 + 1, e.width, 0.15 * e.width);
    }
    EXPECT_EQ(strong, 1);
}

// Runs the converter on a one-stump cascade over the given rectangles; its exit status.
int Convert(const std::string& rects, const facetest::TempFolder& folder) {
    folder.Write("cascade.xml",
                 "<?xml version=\"1.0\"?>\n<opencv_storage>\n<cascade><stageType>BOOST</stageType>\n"
                 "<featureType>HAAR</featureType><height>24</height><width>24</width><stageNum>1</stageNum>\n"
                 "<stages><_><maxWeakCount>1</maxWeakCount><stageThreshold>-0.5</stageThreshold>\n"
                 "<weakClassifiers><_><internalNodes>0 -1 0 0.01</internalNodes>\n"
                 "<leafValues>-1.5 2.</leafValues></_></weakClassifiers></_></stages>\n"
                 "<features><_><rects>" + rects + "</rects></_></features></cascade>\n</opencv_storage>\n");
    const std::string command = std::string(VANTOREL_BUILD_DIR) + "/tools/convert_cascade " +
                                folder.Path("cascade.xml") + " " + folder.Path("") + " 2>/dev/null";
    return std::system(command.c_str());
}

std::string Read(const std::string& path) {
    std::stringstream content;
    content << std::ifstream(path).rdbuf();
    return content.str();
}

TEST(ConvertCascadeTool, WritesCornerWeightsTheScaledThresholdAndTheVotes) {
    facetest::TempFolder folder("vantorel_convert");
    // Whole window -1, left half +2: left half minus right half.
    ASSERT_EQ(Convert("<_>0 0 24 24 -1.</_><_>0 0 12 24 2.</_>", folder), 0);
    EXPECT_EQ(Read(folder.Path("Classifier.txt")), "1\nFrontalFaceStage00.txt\n");
    // Threshold 16 x 0.01 x 484 x sqrt(4000) = 4897.7; votes right leaf first.
    EXPECT_EQ(Read(folder.Path("FrontalFaceStage00.txt")),
              "1 0.5\n6 0\n-1 -1 16\n11 -1 -32\n23 -1 16\n-1 23 -16\n11 23 32\n23 23 -16\n4898 2 -1.5\n");

    for (const char* rects : {"<_>0 0 24 24 -1.</_><_>8 8 8 8 9.</_>",     // centre-surround: 4 x 4 corners
                              "<_>0 0 24 24 -1.</_><_>0 0 10 24 2.</_>",    // uneven cells
                              "<_>0 0 24 24 -1.</_><_>0 0 12 24 2.5</_>"}) {  // fractional weight
        facetest::TempFolder bad("vantorel_convert_bad");
        EXPECT_NE(Convert(rects, bad), 0) << rects;
        EXPECT_FALSE(std::filesystem::exists(bad.Path("Classifier.txt"))) << rects;
    }
}

}  // namespace
