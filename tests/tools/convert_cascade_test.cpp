#include "init/FaceDetection.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/objdetect.hpp>

#include "support/FaceTestData.h"

using namespace facedetect;

namespace {

const char* const kCascade = "/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml";

// The trained cascade evaluated the way it was trained: a stump takes its right leaf when the
// weighted rectangle sum over (484 x deviation of the inner 22 x 22 window) reaches its threshold.
class ReferenceCascade {
public:
    explicit ReferenceCascade(const std::string& path) {
        cv::FileStorage storage(path, cv::FileStorage::READ);
        const cv::FileNode cascade = storage["cascade"];
        for (const cv::FileNode& feature : cascade["features"]) {
            std::vector<std::vector<double>> rects;
            for (const cv::FileNode& rect : feature["rects"]) {
                std::vector<double> r;
                rect >> r;
                rects.push_back(r);
            }
            features_.push_back(rects);
        }
        for (const cv::FileNode& stage : cascade["stages"]) {
            std::vector<Stump> stumps;
            for (const cv::FileNode& weak : stage["weakClassifiers"]) {
                std::vector<double> internal, leaves;
                weak["internalNodes"] >> internal;
                weak["leafValues"] >> leaves;
                stumps.push_back({static_cast<int>(internal[2]), internal[3], leaves[0], leaves[1]});
            }
            stages_.push_back(stumps);
            stageThresholds_.push_back(static_cast<double>(stage["stageThreshold"]));
        }
    }

    void SetImage(const cv::Mat& grey) { cv::integral(grey, sums_, squares_, CV_64F, CV_64F); }

    // Right leaf or not, for every stump of stage s, window at (x, y).
    std::vector<bool> StumpVerdicts(int s, int x, int y) const {
        const double area = 22.0 * 22.0;
        const double sum = RectSum(sums_, x + 1, y + 1, 22, 22);
        const double variance = area * RectSum(squares_, x + 1, y + 1, 22, 22) - sum * sum;
        const double normaliser = variance > 0 ? 1.0 / std::sqrt(variance) : 1.0;
        std::vector<bool> verdicts;
        for (const Stump& stump : stages_[s]) {
            double value = 0;
            for (const std::vector<double>& r : features_[stump.feature]) {
                value += r[4] * RectSum(sums_, x + static_cast<int>(r[0]), y + static_cast<int>(r[1]),
                                        static_cast<int>(r[2]), static_cast<int>(r[3]));
            }
            verdicts.push_back(value * normaliser >= stump.threshold);
        }
        return verdicts;
    }
    bool StagePasses(int s, const std::vector<bool>& verdicts) const {
        double sum = 0;
        for (std::size_t i = 0; i < verdicts.size(); ++i) sum += verdicts[i] ? stages_[s][i].right : stages_[s][i].left;
        return sum >= stageThresholds_[s];
    }
    int StageCount() const { return static_cast<int>(stages_.size()); }

private:
    struct Stump {
        int feature;
        double threshold, left, right;
    };
    static double RectSum(const cv::Mat& table, int x, int y, int width, int height) {
        return table.at<double>(y + height, x + width) - table.at<double>(y, x + width) -
               table.at<double>(y + height, x) + table.at<double>(y, x);
    }
    std::vector<std::vector<std::vector<double>>> features_;
    std::vector<std::vector<Stump>> stages_;
    std::vector<double> stageThresholds_;
    cv::Mat sums_, squares_;
};

struct Agreement {
    long stumps = 0, stumpsAgreeing = 0;
    long contrasted = 0, contrastedAgreeing = 0;  // windows with a deviation of 50 grey levels or more
    long windows = 0, windowsAgreeing = 0;       // same first failing stage
};

Agreement CompareAtBaseScale(const cv::Mat& frame) {
    ScaledFeatures features;
    std::vector<int> counts;
    std::vector<double> thresholds;
    int nStages = 0;
    EXPECT_EQ(ReadClassifier(facetest::ClassifierPath(), 1, 1.0, features, counts, thresholds, nStages), 1);
    ReferenceCascade reference(kCascade);
    EXPECT_EQ(reference.StageCount(), nStages);
    reference.SetImage(frame);
    IntegralImage sums, squares;
    sums.width = squares.width = frame.cols;
    sums.height = squares.height = frame.rows;
    AllocateIntegralImage(sums);
    AllocateIntegralImage(squares);
    ComputeIntegralImage(frame.data, sums);
    ComputeSquaredIntegralImage(frame.data, squares);

    Agreement agreement;
    for (int y = 1; y < frame.rows - 25; y += 2) {
        for (int x = 1; x < frame.cols - 25; x += 2) {
            const double mean = WindowMean(sums, x, y, 23);
            const double variance = WindowMean(squares, x, y, 23) - mean * mean;
            const double norm = std::sqrt(4000 / (variance + 100));
            int ourFailure = nStages, referenceFailure = nStages;
            for (int s = 0; s < nStages && (ourFailure == nStages || referenceFailure == nStages); ++s) {
                const std::vector<bool> verdicts = reference.StumpVerdicts(s, x, y);
                for (int f = 0; f < counts[s]; ++f) {
                    const bool same = FeatureFires(features[s][0][f], sums, norm, y, x) == verdicts[f];
                    ++agreement.stumps;
                    agreement.stumpsAgreeing += same;
                    if (variance >= 2500) {
                        ++agreement.contrasted;
                        agreement.contrastedAgreeing += same;
                    }
                }
                if (ourFailure == nStages && !EvaluateStage(features[s][0].data(), thresholds[s], counts[s], sums,
                                                            norm, y, x)) {
                    ourFailure = s;
                }
                if (referenceFailure == nStages && !reference.StagePasses(s, verdicts)) referenceFailure = s;
            }
            ++agreement.windows;
            agreement.windowsAgreeing += ourFailure == referenceFailure;
        }
    }
    return agreement;
}

TEST(ConvertedCascade, DecidesLikeTheTrainedCascadeOnPhotographs) {
    const std::pair<const char*, cv::Mat> frames[] = {{"astronaut", facetest::AstronautFrame(0.3, 40, 10)},
                                                      {"gravel", facetest::FaceFreeFrame("gravel.png", true)},
                                                      {"brick", facetest::FaceFreeFrame("brick.png", false)}};
    long contrasted = 0, contrastedAgreeing = 0;
    for (const auto& [name, frame] : frames) {
        ASSERT_FALSE(frame.empty()) << name;
        const Agreement a = CompareAtBaseScale(frame);
        ASSERT_GT(a.stumps, 100000) << name;
        // Apart from the variance's regularising 100, the two rules are one: they part only for
        // windows of little contrast or features within a hair of their thresholds.
        EXPECT_GT(static_cast<double>(a.stumpsAgreeing) / a.stumps, 0.97) << name;
        EXPECT_GT(static_cast<double>(a.windowsAgreeing) / a.windows, 0.85) << name;
        contrasted += a.contrasted;
        contrastedAgreeing += a.contrastedAgreeing;
    }
    ASSERT_GT(contrasted, 10000);
    EXPECT_GT(static_cast<double>(contrastedAgreeing) / contrasted, 0.99);
}

TEST(ConvertedCascade, FindsTheFaceWhereOpenCVsDetectorFindsIt) {
    const cv::Mat frame = facetest::AstronautFrame(0.4, 60, 20);
    cv::CascadeClassifier opencv(kCascade);
    std::vector<cv::Rect> expected;
    opencv.detectMultiScale(frame, expected, 1.25, 3, 0, cv::Size(24, 24), cv::Size(47, 47));
    ASSERT_EQ(expected.size(), 1u);

    ScaledFeatures features;
    std::vector<int> counts;
    std::vector<double> thresholds;
    int nStages = 0;
    ASSERT_EQ(ReadClassifier(facetest::ClassifierPath(), 4, 1.0, features, counts, thresholds, nStages), 1);
    std::vector<FaceDetection> detections(kMaxDetections);
    const int n = DetectFaces(frame.data, frame.rows, frame.cols, 4, 1.0, detections.data(), features, counts,
                              thresholds, nStages);
    int strong = 0;
    for (int i = 0; i < n; ++i) {
        if (detections[i].hits < 3) continue;
        ++strong;
        const FaceDetection& d = detections[i];
        const cv::Rect& e = expected[0];
        EXPECT_NEAR((d.x1 + d.x2) / 2, e.x + e.width / 2.0, 4.0);
        EXPECT_NEAR((d.y1 + d.y2) / 2, e.y + e.height / 2.0, 4.0);
        EXPECT_NEAR(d.x2 - d.x1 + 1, e.width, 0.15 * e.width);
    }
    EXPECT_EQ(strong, 1);
}

// Runs the converter on a one-feature cascade; returns its exit status.
int Convert(const std::string& rects, const std::filesystem::path& folder) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "cascade.xml")
        << "<?xml version=\"1.0\"?>\n<opencv_storage>\n"
           "<cascade type_id=\"opencv-cascade-classifier\"><stageType>BOOST</stageType>\n"
           "<featureType>HAAR</featureType><height>24</height><width>24</width><stageNum>1</stageNum>\n"
           "<stages><_><maxWeakCount>1</maxWeakCount><stageThreshold>-0.5</stageThreshold>\n"
           "<weakClassifiers><_><internalNodes>0 -1 0 0.01</internalNodes>\n"
           "<leafValues>-1.5 2.</leafValues></_></weakClassifiers></_></stages>\n"
           "<features><_><rects>"
        << rects << "</rects></_></features></cascade>\n</opencv_storage>\n";
    const std::string command = std::string(VANTOREL_BUILD_DIR) + "/tools/convert_cascade " +
                                (folder / "cascade.xml").string() + " " + folder.string() + " 2>/dev/null";
    return std::system(command.c_str());
}

std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

TEST(ConvertCascadeTool, WritesCornerWeightsTheScaledThresholdAndTheVotes) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vantorel_convert_cascade";
    // Whole window -1, left half +2: left half minus right half.
    ASSERT_EQ(Convert("<_>0 0 24 24 -1.</_><_>0 0 12 24 2.</_>", folder), 0);
    EXPECT_EQ(Read(folder / "Classifier.txt"), "1\nFrontalFaceStage00.txt\n");
    // 16 x 0.01 x 484 x sqrt(4000) = 4897.7
    EXPECT_EQ(Read(folder / "FrontalFaceStage00.txt"),
              "1 0.5\n6 0\n-1 -1 16\n11 -1 -32\n23 -1 16\n-1 23 -16\n11 23 32\n23 23 -16\n4898 2 -1.5\n");
    std::filesystem::remove_all(folder);
}

TEST(ConvertCascadeTool, RefusesFeaturesOffOurGridsAndWritesNoClassifier) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vantorel_convert_cascade_bad";
    for (const char* rects : {"<_>0 0 24 24 -1.</_><_>8 8 8 8 9.</_>",     // centre-surround: 4 x 4 corners
                              "<_>0 0 24 24 -1.</_><_>0 0 10 24 2.</_>",    // uneven cells
                              "<_>0 0 24 24 -1.</_><_>0 0 12 24 2.5</_>"}) {  // fractional weight
        EXPECT_NE(Convert(rects, folder), 0) << rects;
        EXPECT_FALSE(std::filesystem::exists(folder / "Classifier.txt")) << rects;
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
