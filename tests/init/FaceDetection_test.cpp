#include "init/FaceDetection.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FaceTestData.h"

using namespace facedetect;

namespace {

// A folder of classifier and stage files written by one test.
class ClassifierFolder {
public:
    ClassifierFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("vantorel_" + std::string(info->test_suite_name()) + "_" + info->name());
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ClassifierFolder() { std::filesystem::remove_all(path_); }

    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream(path_ / name) << content;
        return (path_ / name).string();
    }
    std::string Path(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Right half minus left half of the whole 24 x 24 window, one stage passing when it fires.
std::string HalvesStage(int threshold) {
    return "1 0\n"
           "6 0\n"
           "-1 -1 -1\n11 -1 2\n23 -1 -1\n"
           "-1 23 1\n11 23 -2\n23 23 1\n" +
           std::to_string(threshold) + " 1 -1\n";
}

struct Classifier {
    ScaledFeatures features;
    std::vector<int> counts;
    std::vector<double> thresholds;
    int nStages = -1;

    int Load(const std::string& path, int nScales = 4) {
        return ReadClassifier(path, nScales, 1.0, features, counts, thresholds, nStages);
    }
    int Detect(const cv::Mat& frame, std::vector<FaceDetection>& detections, int nScales = 4) const {
        detections.assign(kMaxDetections, FaceDetection());
        const int n = DetectFaces(frame.data, frame.rows, frame.cols, nScales, 1.0, detections.data(), features,
                                  counts, thresholds, nStages);
        detections.resize(n);
        return n;
    }
    int Scan(const cv::Mat& frame, std::vector<FaceDetection>& rawHits, int nScales = 4) const {
        const ScanPlan plan = PrepareScan(features, counts, thresholds, nStages, nScales, frame.cols);
        return ScanWindows(frame.data, frame.rows, frame.cols, 1.0, plan, rawHits);
    }
};

std::string LoadMessages(Classifier& classifier, const std::string& path, int& result) {
    ::testing::internal::CaptureStdout();
    result = classifier.Load(path);
    return ::testing::internal::GetCapturedStdout();
}

FaceDetection Box(double x1, double y1, double x2, double y2) { return {x1, y1, x2, y2, 0}; }

TEST(FaceDetectionGeometry, WindowSizesAndStepsFollowTheFourScales) {
    const double scales[] = {1.0, 1.25, 1.5625, 1.953125};
    const int sizes[] = {24, 30, 38, 47};  // 37.5 rounds up to 38
    const int steps[] = {2, 2, 2, 3};
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(WindowSize(scales[j]), sizes[j]);
        EXPECT_EQ(WindowStep(scales[j]), steps[j]);
    }
}

TEST(FaceDetectionGeometry, ScanCoversTheWindowsOfEachSizeWithinTheBounds) {
    ClassifierFolder folder;
    Classifier everyWindow;
    ASSERT_EQ(everyWindow.Load(folder.Write("Classifier.txt", "0\n")), 1);
    EXPECT_EQ(everyWindow.nStages, 0);

    // 60 x 60: columns and rows from 1 while below 60 - size - 1.
    const cv::Mat frame(60, 60, CV_8UC1, cv::Scalar(90));
    std::vector<FaceDetection> raw;
    EXPECT_EQ(everyWindow.Scan(frame, raw), 17 * 17 + 14 * 14 + 10 * 10 + 4 * 4);
    std::map<int, std::set<double>> columns;
    for (const FaceDetection& hit : raw) {
        EXPECT_EQ(hit.x2 - hit.x1, hit.y2 - hit.y1);
        columns[static_cast<int>(hit.x2 - hit.x1) + 1].insert(hit.x1);
    }
    const std::map<int, std::set<double>> expected = {
        {24, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33}},
        {30, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27}},
        {38, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19}},
        {47, {1, 4, 7, 10}}};
    EXPECT_EQ(columns, expected);

    // 40 rows leave no room for the 38 window (40 - 38 - 1 = 1): that size scans no rows.
    const cv::Mat wide(40, 60, CV_8UC1, cv::Scalar(90));
    EXPECT_EQ(everyWindow.Scan(wide, raw), 17 * 7 + 14 * 4);
    EXPECT_EQ(raw.front().x1, 1);
    EXPECT_EQ(raw.front().x2, 24);
}

TEST(FaceDetectionGeometry, OrdersRawHitsByScaleRowAndColumn) {
    ClassifierFolder folder;
    Classifier everyWindow;
    ASSERT_EQ(everyWindow.Load(folder.Write("Classifier.txt", "0\n")), 1);
    std::vector<FaceDetection> raw;
    everyWindow.Scan(cv::Mat(60, 60, CV_8UC1, cv::Scalar(0)), raw);
    for (std::size_t i = 1; i < raw.size(); ++i) {
        const FaceDetection& a = raw[i - 1];
        const FaceDetection& b = raw[i];
        const bool ordered = (a.x2 - a.x1 < b.x2 - b.x1) ||
                             (a.x2 - a.x1 == b.x2 - b.x1 && (a.y1 < b.y1 || (a.y1 == b.y1 && a.x1 < b.x1)));
        ASSERT_TRUE(ordered) << "hit " << i;
    }
}

TEST(FaceDetectionGeometry, KeepsTheFirstThousandRawHitsAndCountsTheRest) {
    ClassifierFolder folder;
    Classifier everyWindow;
    ASSERT_EQ(everyWindow.Load(folder.Write("Classifier.txt", "0\n")), 1);
    const cv::Mat frame(240, 320, CV_8UC1, cv::Scalar(0));
    std::vector<FaceDetection> raw;
    EXPECT_EQ(everyWindow.Scan(frame, raw), 147 * 107 + 144 * 104 + 140 * 100 + 91 * 64);
    ASSERT_EQ(raw.size(), 1000u);
    EXPECT_EQ(raw.back().x2 - raw.back().x1, 23);  // all from the first size

    std::vector<FaceDetection> detections;
    everyWindow.Detect(frame, detections);
    int merged = 0;
    for (const FaceDetection& d : detections) merged += d.hits;
    EXPECT_EQ(merged, 1000);
}

HaarFeature GridFeature(int nPoints, int orientation, const std::vector<int>& xs, const std::vector<int>& ys) {
    HaarFeature feature;
    feature.nPoints = nPoints;
    feature.orientation = orientation;
    feature.threshold = 7;
    feature.voteTrue = 0.5;
    feature.voteFalse = -0.25;
    int p = 0;
    for (int y : ys) {
        for (int x : xs) {
            feature.points[p] = {x, y, 10 * (p + 1)};
            ++p;
        }
    }
    return feature;
}

void ExpectGrid(const HaarFeature& scaled, const std::vector<int>& xs, const std::vector<int>& ys) {
    int p = 0;
    for (int y : ys) {
        for (int x : xs) {
            EXPECT_EQ(scaled.points[p].x, x) << "corner " << p;
            EXPECT_EQ(scaled.points[p].y, y) << "corner " << p;
            EXPECT_EQ(scaled.points[p].weight, 10 * (p + 1));
            ++p;
        }
    }
    EXPECT_EQ(scaled.threshold, 7);
    EXPECT_EQ(scaled.voteTrue, 0.5);
    EXPECT_EQ(scaled.voteFalse, -0.25);
}

TEST(FaceDetectionScaling, LaysEveryShapeOnItsScaledGrid) {
    // Scale 1.25, window 30. Origins: round((x0 + 1) * s) - 1; cells: round(cell * s).
    const HaarFeature unscaled[] = {
        GridFeature(6, -1, {5, 17}, {3, 9, 15}),      // 2 x 3
        GridFeature(6, 0, {1, 12, 23}, {-1, 23}),     // 3 x 2, right edge reaches 30: cell 14 -> 13
        GridFeature(8, -1, {5, 17}, {3, 6, 9, 12}),   // 2 x 4
        GridFeature(8, 0, {5, 9, 13, 17}, {3, 10}),   // 4 x 2
        GridFeature(9, -1, {-1, 11, 23}, {1, 12, 23}),  // 3 x 3 whatever its orientation, lower edge 30 -> 13
    };
    HaarFeature scaled[5];
    ASSERT_TRUE(ScaleFeatures(unscaled, scaled, 5, 1.25, 30, 30));
    ExpectGrid(scaled[0], {7, 22}, {4, 12, 20});
    ExpectGrid(scaled[1], {2, 15, 28}, {-1, 29});
    ExpectGrid(scaled[2], {7, 22}, {4, 8, 12, 16});
    ExpectGrid(scaled[3], {7, 12, 17, 22}, {4, 13});
    ExpectGrid(scaled[4], {-1, 14, 29}, {2, 15, 28});

    // At scale 1 the grid is the file's own.
    ASSERT_TRUE(ScaleFeatures(unscaled, scaled, 5, 1.0, 24, 24));
    ExpectGrid(scaled[2], {5, 17}, {3, 6, 9, 12});
}

TEST(FaceDetectionScaling, RefusesShapesItCannotLayAndGridsThatLeaveTheWindow) {
    HaarFeature scaled[1];
    const HaarFeature sevenPoints = GridFeature(7, 0, {1, 2, 3, 4, 5, 6, 7}, {1});
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(ScaleFeatures(&sevenPoints, scaled, 1, 1.0, 24, 24));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Error: a feature with neither 6, 8 or 9 points was found\n");

    // The grid follows the first two corners: columns 15, 23, 31 at scale 1.
    const HaarFeature overhanging = GridFeature(6, 0, {15, 23, 23}, {-1, 23});
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(ScaleFeatures(&overhanging, scaled, 1, 1.0, 24, 24));
    ::testing::internal::GetCapturedStdout();
}

TEST(FaceDetectionIntegral, MatchesRunningSumsAndWindowMeansAtTheBorders) {
    cv::Mat pixels(17, 23, CV_8UC1);
    cv::randu(pixels, 0, 256);
    pixels.at<unsigned char>(0, 0) = 255;
    cv::Mat sums, squares;
    cv::integral(pixels, sums, squares, CV_64F, CV_64F);  // one extra leading row and column

    IntegralImage image, squared;
    image.width = squared.width = pixels.cols;
    image.height = squared.height = pixels.rows;
    AllocateIntegralImage(image);
    AllocateIntegralImage(squared);
    ComputeIntegralImage(pixels.data, image);
    ComputeSquaredIntegralImage(pixels.data, squared);
    for (int y = 0; y < pixels.rows; ++y) {
        for (int x = 0; x < pixels.cols; ++x) {
            ASSERT_EQ(image.rows[y][x], sums.at<double>(y + 1, x + 1));
            ASSERT_EQ(squared.rows[y][x], squares.at<double>(y + 1, x + 1));
        }
    }
    for (const cv::Rect window : {cv::Rect(0, 0, 5, 5), cv::Rect(0, 6, 4, 4), cv::Rect(9, 0, 8, 8),
                                  cv::Rect(11, 4, 12, 12)}) {
        const double expected = cv::mean(pixels(window))[0];
        EXPECT_NEAR(WindowMean(image, window.x, window.y, window.width - 1), expected, 1e-9);
    }
    FreeIntegralImage(image);
    EXPECT_TRUE(image.rows.empty());
}

// The window at (1, 1) of a 27 x 27 frame: left half 100, right half 160. Mean 130, variance 900,
// so norm = sqrt(4000 / 1000) = 2 and the feature's value (right minus left) is 288 x 60.
cv::Mat HalvesFrame() {
    cv::Mat frame(27, 27, CV_8UC1, cv::Scalar(100));
    frame(cv::Rect(13, 0, 14, 27)).setTo(160);
    return frame;
}

TEST(FaceDetectionThreshold, AFeatureExactlyAtItsThresholdDoesNotFire) {
    ClassifierFolder folder;
    const int atThreshold = 2 * 288 * 60;
    std::vector<FaceDetection> raw;
    for (const int threshold : {atThreshold, atThreshold - 1}) {
        Classifier classifier;
        folder.Write("Stage.txt", HalvesStage(threshold));
        ASSERT_EQ(classifier.Load(folder.Write("Classifier.txt", "1\nStage.txt\n"), 1), 1);
        EXPECT_EQ(classifier.Scan(HalvesFrame(), raw, 1), threshold == atThreshold ? 0 : 1) << threshold;

        IntegralImage image;
        image.width = image.height = 27;
        AllocateIntegralImage(image);
        ComputeIntegralImage(HalvesFrame().data, image);
        const HaarFeature& feature = classifier.features[0][0][0];
        EXPECT_EQ(FeatureSum(feature, image, 1, 1), 288 * 60);
        EXPECT_EQ(FeatureFires(feature, image, 2.0, 1, 1), threshold == atThreshold ? 0 : 1);
        EXPECT_EQ(EvaluateStage(&feature, 0.0, 1, image, 2.0, 1, 1), threshold == atThreshold ? 0 : 1);
    }
}

TEST(FaceDetectionMerging, MergesCentresExactlyThreeQuartersOfTheSmallerSizeApart) {
    FaceDetection out[kMaxDetections];
    // Sizes 20 and 24 (x2 - x1): tolerance 0.75 x 20 = 15.
    const FaceDetection atBound[] = {Box(0, 0, 20, 20), Box(13, 13, 37, 37)};
    EXPECT_EQ(MergeDetections(atBound, out, 2), 1);
    EXPECT_EQ(out[0].hits, 2);
    EXPECT_DOUBLE_EQ(out[0].x1, 6.5);
    EXPECT_DOUBLE_EQ(out[0].y2, 28.5);

    const FaceDetection pastX[] = {Box(0, 0, 20, 20), Box(13.001, 13, 37.001, 37)};
    EXPECT_EQ(MergeDetections(pastX, out, 2), 2);
    const FaceDetection pastY[] = {Box(0, 0, 20, 20), Box(13, 13.001, 37, 37.001)};
    EXPECT_EQ(MergeDetections(pastY, out, 2), 2);
}

TEST(FaceDetectionMerging, ComparesWithTheGroupsFirstHitOnly) {
    // b is like a and c, c is not like a: c starts its own group, which d then joins.
    const FaceDetection hits[] = {Box(0, 0, 20, 20), Box(12, 0, 32, 20), Box(24, 0, 44, 20), Box(30, 0, 50, 20)};
    FaceDetection out[kMaxDetections];
    ASSERT_EQ(MergeDetections(hits, out, 4), 2);
    EXPECT_EQ(out[0].hits, 2);
    EXPECT_DOUBLE_EQ(out[0].x1, 6.0);
    EXPECT_EQ(out[1].hits, 2);
    EXPECT_DOUBLE_EQ(out[1].x1, 27.0);
    EXPECT_EQ(MergeDetections(hits, out, 0), 0);
}

TEST(FaceDetectionLoading, PrintsItsProgressLinesAndFindsStagesBesideTheClassifier) {
    ClassifierFolder folder;
    folder.Write("Stage.txt", HalvesStage(0));
    Classifier classifier;
    int result = 0;
    // Stage.txt does not open from the working folder: it is found beside the classifier file.
    const std::string messages = LoadMessages(classifier, folder.Write("Classifier.txt", "1 Stage.txt"), result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(messages,
              "patch_h = 24\n"
              "j=0, scale = 1.000000\nj=0\n"
              "j=1, scale = 1.250000\nj=1\n"
              "j=2, scale = 1.562500\nj=2\n"
              "j=3, scale = 1.953125\nj=3\n"
              "freeing\n");
    EXPECT_EQ(classifier.nStages, 1);
    ASSERT_EQ(classifier.features.size(), 1u);
    ASSERT_EQ(classifier.features[0].size(), 4u);
    // At the 47 window the cells are round(12 x 1.953125) = 23 wide and 47 - 1 high.
    EXPECT_EQ(classifier.features[0][3][0].points[5].x, 45);
    EXPECT_EQ(classifier.features[0][3][0].points[5].y, 46);

    // An absolute path is used as given.
    Classifier absolute;
    EXPECT_EQ(absolute.Load(folder.Write("Absolute.txt", "1 " + folder.Path("Stage.txt"))), 1);
}

TEST(FaceDetectionLoading, AMissingClassifierOrStageFileLeavesNoClassifier) {
    ClassifierFolder folder;
    Classifier classifier;
    int result = -1;
    const std::string missing = folder.Path("Missing.txt");
    EXPECT_EQ(LoadMessages(classifier, missing, result), "Cannot open file " + missing + " to read.\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(classifier.nStages, 0);

    folder.Write("Stage.txt", HalvesStage(0));
    const std::string classifierPath = folder.Write("Classifier.txt", "2 Stage.txt NoSuchStage.txt\n");
    EXPECT_EQ(LoadMessages(classifier, classifierPath, result), "Cannot open file NoSuchStage.txt to rad.\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(classifier.nStages, 0);
    EXPECT_TRUE(classifier.features.empty());
    EXPECT_TRUE(classifier.counts.empty());
}

TEST(FaceDetectionLoading, RefusesMalformedStageFiles) {
    const std::string corner = "6 0\n-1 -1 -1\n11 -1 2\n23 -1 -1\n-1 23 1\n11 23 -2\n23 23 1\n";
    const std::map<std::string, std::string> bad = {
        {"no features", "0 0\n"},
        {"too many features", "401 0\n" + corner + "5 1 -1\n"},
        {"negative feature count", "-3 0\n"},
        {"seven points", "1 0\n7 0\n1 1 1\n2 2 2\n3 3 3\n4 4 4\n5 5 5\n6 6 6\n7 7 7\n5 1 -1\n"},
        {"corner past the window", "1 0\n6 0\n-1 -1 -1\n11 -1 2\n24 -1 -1\n-1 23 1\n11 23 -2\n24 23 1\n5 1 -1\n"},
        {"corner before the window", "1 0\n6 0\n-2 -1 -1\n11 -1 2\n23 -1 -1\n-2 23 1\n11 23 -2\n23 23 1\n5 1 -1\n"},
        {"grid leaving the window", "1 0\n6 0\n15 -1 -1\n23 -1 2\n23 -1 -1\n15 23 1\n23 23 -2\n23 23 1\n5 1 -1\n"},
        {"huge weight", "1 0\n6 0\n-1 -1 -99999999\n11 -1 2\n23 -1 -1\n-1 23 1\n11 23 -2\n23 23 1\n5 1 -1\n"},
        {"threshold beyond int", "1 0\n" + corner + "99999999999 1 -1\n"},
        {"vote not a number", "1 0\n" + corner + "5 nan -1\n"},
        {"vote unreadable", "1 0\n" + corner + "5 one -1\n"},
        {"truncated corners", "1 0\n6 0\n-1 -1 -1\n11 -1 2\n23 -1"},
        {"truncated votes", "1 0\n" + corner + "5 1"},
        {"missing second feature", "2 0\n" + corner + "5 1 -1\n"},
        {"empty", ""},
    };
    for (const auto& [what, content] : bad) {
        ClassifierFolder folder;
        folder.Write("Stage.txt", content);
        Classifier classifier;
        int result = -1;
        const std::string messages = LoadMessages(classifier, folder.Write("Classifier.txt", "1 Stage.txt"), result);
        EXPECT_EQ(result, 0) << what;
        EXPECT_EQ(classifier.nStages, 0) << what;
        EXPECT_TRUE(classifier.features.empty()) << what;
        EXPECT_NE(messages.find("refused"), std::string::npos) << what << ": " << messages;
    }
}

TEST(FaceDetectionLoading, RefusesMalformedClassifierFiles) {
    ClassifierFolder folder;
    folder.Write("Stage.txt", HalvesStage(0));
    const std::map<std::string, std::string> bad = {
        {"empty", ""},
        {"negative stage count", "-1\n"},
        {"huge stage count", "2000000000\nStage.txt\n"},
        {"fewer names than stages", "3\nStage.txt\nStage.txt\n"},
        {"name over 255 characters", "1\n" + std::string(256, 'a') + "\n"},
    };
    for (const auto& [what, content] : bad) {
        Classifier classifier;
        int result = -1;
        const std::string messages = LoadMessages(classifier, folder.Write("Classifier.txt", content), result);
        EXPECT_EQ(result, 0) << what;
        EXPECT_EQ(classifier.nStages, 0) << what;
        EXPECT_NE(messages.find("refused"), std::string::npos) << what << ": " << messages;
    }
}

TEST(FaceDetectionScan, GivesTheVerdictsOfTheStageByStageEvaluation) {
    Classifier classifier;
    ASSERT_EQ(classifier.Load(facetest::ClassifierPath()), 1) << facetest::ClassifierPath();
    for (const cv::Mat& frame : {facetest::AstronautFrame(0.4, 60, 20), facetest::FaceFreeFrame("coins.png", true)}) {
        IntegralImage sums, squares;
        sums.width = squares.width = frame.cols;
        sums.height = squares.height = frame.rows;
        AllocateIntegralImage(sums);
        AllocateIntegralImage(squares);
        ComputeIntegralImage(frame.data, sums);
        ComputeSquaredIntegralImage(frame.data, squares);
        std::vector<FaceDetection> expected;
        double scale = 1.0;
        for (int j = 0; j < 4; ++j, scale *= 1.25) {
            const int window = WindowSize(scale);
            for (int y = 1; y < frame.rows - window - 1; y += WindowStep(scale)) {
                for (int x = 1; x < frame.cols - window - 1; x += WindowStep(scale)) {
                    const double m = WindowMean(sums, x, y, window - 1);
                    const double m2 = WindowMean(squares, x, y, window - 1);
                    const double norm = std::sqrt(4000 / (m2 - m * m + 100)) / (scale * scale);
                    bool passes = true;
                    for (int s = 0; s < classifier.nStages && passes; ++s) {
                        passes = EvaluateStage(classifier.features[s][j].data(), classifier.thresholds[s],
                                               classifier.counts[s], sums, norm, y, x);
                    }
                    if (passes) expected.push_back(Box(x, y, x + window - 1, y + window - 1));
                }
            }
        }
        std::vector<FaceDetection> raw;
        ASSERT_EQ(classifier.Scan(frame, raw), static_cast<int>(expected.size()));
        for (std::size_t i = 0; i < raw.size(); ++i) {
            EXPECT_EQ(raw[i].x1, expected[i].x1);
            EXPECT_EQ(raw[i].y1, expected[i].y1);
            EXPECT_EQ(raw[i].x2, expected[i].x2);
        }
    }
}

TEST(FaceDetectionPhotographs, FindsTheAstronautsFaceWhereverItIsPlaced) {
    Classifier classifier;
    ASSERT_EQ(classifier.Load(facetest::ClassifierPath()), 1);
    ASSERT_FALSE(facetest::Photo("astronaut.png").empty());
    std::set<int> windowSizes;
    struct Placement { double factor; int left, top; };
    // Faces 30 to 45 pixels wide, placed across the frame and partly cut off on the left.
    const Placement placements[] = {{0.32, 0, 0}, {0.34, 100, 20}, {0.37, -40, 30}, {0.40, 150, 60},
                                    {0.43, 60, 100}, {0.46, 120, 10}, {0.47, -60, 80}};
    for (const Placement& p : placements) {
        const cv::Mat frame = facetest::AstronautFrame(p.factor, p.left, p.top);
        const cv::Point2d face = facetest::AstronautFaceCentre(p.factor, p.left, p.top);
        const double faceSize = facetest::kAstronautFaceSize * p.factor;
        std::vector<FaceDetection> detections;
        classifier.Detect(frame, detections);
        int found = 0;
        for (const FaceDetection& d : detections) {
            const bool onFace = std::abs((d.x1 + d.x2) / 2 - face.x) < faceSize / 4 &&
                                std::abs((d.y1 + d.y2) / 2 - face.y) < faceSize / 4;
            if (onFace && d.hits >= 3) ++found;
        }
        EXPECT_EQ(found, 1) << "factor " << p.factor << " at " << p.left << ", " << p.top;

        std::vector<FaceDetection> raw;
        classifier.Scan(frame, raw);
        for (const FaceDetection& hit : raw) {
            if (std::abs((hit.x1 + hit.x2) / 2 - face.x) < faceSize / 4) windowSizes.insert(hit.x2 - hit.x1 + 1);
        }
    }
    EXPECT_GE(windowSizes.size(), 3u);
}

TEST(FaceDetectionPhotographs, ReportsNoStrongDetectionInFaceFreePhotographs) {
    Classifier classifier;
    ASSERT_EQ(classifier.Load(facetest::ClassifierPath()), 1);
    for (const char* name : {"brick.png", "grass.png", "gravel.png", "moon.png", "text.png", "page.png"}) {
        for (const bool crop : {false, true}) {
            const cv::Mat frame = facetest::FaceFreeFrame(name, crop);
            ASSERT_FALSE(frame.empty()) << name;
            std::vector<FaceDetection> detections;
            classifier.Detect(frame, detections);
            for (const FaceDetection& d : detections) {
                EXPECT_LT(d.hits, 3) << name << (crop ? " cut" : " resized") << " at " << d.x1 << ", " << d.y1;
            }
        }
    }
}

}  // namespace
