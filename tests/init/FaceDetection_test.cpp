#include "init/FaceDetection.h"

#include <sys/stat.h>

#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include <gtest/gtest.h>

#include "support/FaceTestData.h"

using namespace facedetect;

namespace {

// Right half minus left half of the 24 x 24 window; the stage passes when the feature fires.
std::string HalvesStage(int threshold) {
    return "1 0\n6 0\n-1 -1 -1\n11 -1 2\n23 -1 -1\n-1 23 1\n11 23 -2\n23 23 1\n" + std::to_string(threshold) +
           " 1 -1\n";
}

struct Classifier {
    ScaledFeatures features;
    std::vector<int> counts;
    std::vector<double> thresholds;
    int nStages = -1;
    std::string messages;

    int Load(const std::string& path, int nScales = 4) {
        ::testing::internal::CaptureStdout();
        const int result = ReadClassifier(path, nScales, 1.0, features, counts, thresholds, nStages);
        messages = ::testing::internal::GetCapturedStdout();
        return result;
    }
    int Scan(const cv::Mat& frame, std::vector<FaceDetection>& raw, int nScales = 4) const {
        return ScanWindows(frame.data, frame.rows, frame.cols, 1.0,
                           PrepareScan(features, counts, thresholds, nStages, nScales, frame.cols), raw);
    }
    std::vector<FaceDetection> Detect(const cv::Mat& frame) const {
        std::vector<FaceDetection> out(kMaxDetections);
        out.resize(DetectFaces(frame.data, frame.rows, frame.cols, 4, 1.0, out.data(), features, counts, thresholds,
                               nStages));
        return out;
    }
};

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

FaceDetection Box(double x1, double y1, double x2, double y2) { return {x1, y1, x2, y2, 0}; }

TEST(FaceDetectionScan, CoversEverySizeWithItsStepAndKeepsTheFirstThousandHits) {
    facetest::TempFolder folder("vantorel_scan");
    Classifier everyWindow;
    ASSERT_EQ(everyWindow.Load(folder.Write("Classifier.txt", "0\n")), 1);
    std::vector<FaceDetection> raw;
    // 60 x 60: columns and rows from 1 while below 60 - size - 1.
    EXPECT_EQ(everyWindow.Scan(cv::Mat(60, 60, CV_8UC1, cv::Scalar(9)), raw), 17 * 17 + 14 * 14 + 10 * 10 + 4 * 4);
    std::map<int, std::set<double>> columns;
    for (const FaceDetection& hit : raw) columns[static_cast<int>(hit.x2 - hit.x1) + 1].insert(hit.x1);
    const std::map<int, std::set<double>> expected = {
        {24, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33}},
        {30, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27}},
        {38, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19}},  // 37.5 rounds up
        {47, {1, 4, 7, 10}}};
    EXPECT_EQ(columns, expected);
    // 40 rows leave the 38 window no room (40 - 38 - 1 = 1).
    EXPECT_EQ(everyWindow.Scan(cv::Mat(40, 60, CV_8UC1, cv::Scalar(9)), raw), 17 * 7 + 14 * 4);

    const cv::Mat frame(240, 320, CV_8UC1, cv::Scalar(0));
    EXPECT_EQ(everyWindow.Scan(frame, raw), 147 * 107 + 144 * 104 + 140 * 100 + 91 * 64);
    ASSERT_EQ(raw.size(), 1000u);
    int merged = 0;
    for (const FaceDetection& d : everyWindow.Detect(frame)) merged += d.hits;
    EXPECT_EQ(merged, 1000);
}

TEST(FaceDetectionScan, GivesTheVerdictsOfTheStageByStageEvaluation) {
    Classifier classifier;
    ASSERT_EQ(classifier.Load(facetest::ClassifierPath()), 1) << facetest::ClassifierPath();
    const cv::Mat frame = facetest::AstronautFrame(0.4, 60, 20);
    IntegralImage sums, squares;
    sums.width = squares.width = frame.cols;
    sums.height = squares.height = frame.rows;
    AllocateIntegralImage(sums);
    AllocateIntegralImage(squares);
    ComputeIntegralImage(frame.data, sums);
    ComputeSquaredIntegralImage(frame.data, squares);
    std::vector<std::pair<double, double>> expected;  // window corners in scan order
    double s = 1.0;
    for (int j = 0; j < 4; ++j, s *= 1.25) {
        const int window = WindowSize(s);
        for (int y = 1; y < frame.rows - window - 1; y += WindowStep(s)) {
            for (int x = 1; x < frame.cols - window - 1; x += WindowStep(s)) {
                const double m = WindowMean(sums, x, y, window - 1), m2 = WindowMean(squares, x, y, window - 1);
                const double norm = std::sqrt(4000 / (m2 - m * m + 100)) / (s * s);
                bool passes = true;
                for (int k = 0; k < classifier.nStages && passes; ++k) {
                    passes = EvaluateStage(classifier.features[k][j].data(), classifier.thresholds[k],
                                           classifier.counts[k], sums, norm, y, x);
                }
                if (passes) expected.emplace_back(x, y + 1000 * window);
            }
        }
    }
    std::vector<FaceDetection> raw;
    ASSERT_EQ(classifier.Scan(frame, raw), static_cast<int>(expected.size()));
    for (std::size_t i = 0; i < raw.size(); ++i) {
        EXPECT_EQ(std::make_pair(raw[i].x1, raw[i].y1 + 1000 * (raw[i].x2 - raw[i].x1 + 1)), expected[i]);
    }
}

TEST(FaceDetectionScan, AFeatureExactlyAtItsThresholdDoesNotFire) {
    // The window at (1, 1) of this frame: halves of 100 and 160, mean 130, variance 900, so
    // norm = sqrt(4000 / 1000) = 2; the feature's value is 288 x 60.
    cv::Mat frame(27, 27, CV_8UC1, cv::Scalar(100));
    frame(cv::Rect(13, 0, 14, 27)).setTo(160);
    facetest::TempFolder folder("vantorel_threshold");
    for (const int threshold : {2 * 288 * 60, 2 * 288 * 60 - 1}) {
        Classifier classifier;
        folder.Write("Stage.txt", HalvesStage(threshold));
        ASSERT_EQ(classifier.Load(folder.Write("Classifier.txt", "1\nStage.txt\n"), 1), 1);
        std::vector<FaceDetection> raw;
        EXPECT_EQ(classifier.Scan(frame, raw, 1), threshold == 2 * 288 * 60 ? 0 : 1) << threshold;
    }
}

TEST(FaceDetectionScaling, LaysEveryShapeOnItsScaledGrid) {
    struct Shape {
        int nPoints, orientation;
        std::vector<int> xs, ys, scaledXs, scaledYs;  // scale 1.25, window 30
    };
    const Shape shapes[] = {
        {6, -1, {5, 17}, {3, 9, 15}, {7, 22}, {4, 12, 20}},
        {6, 0, {1, 12, 23}, {-1, 23}, {2, 15, 28}, {-1, 29}},  // cell 14 reaches 30: 13
        {8, -1, {5, 17}, {3, 6, 9, 12}, {7, 22}, {4, 8, 12, 16}},
        {8, 0, {5, 9, 13, 17}, {3, 10}, {7, 12, 17, 22}, {4, 13}},
        {9, -1, {-1, 11, 23}, {1, 12, 23}, {-1, 14, 29}, {2, 15, 28}},  // orientation ignored; lower edge 30: 13
    };
    for (const Shape& shape : shapes) {
        HaarFeature in, out;
        in.nPoints = shape.nPoints;
        in.orientation = shape.orientation;
        int p = 0;
        for (int y : shape.ys) {
            for (int x : shape.xs) {
                in.points[p] = {x, y, p + 1};
                ++p;
            }
        }
        ASSERT_TRUE(ScaleFeatures(&in, &out, 1, 1.25, 30, 30)) << shape.nPoints;
        p = 0;
        for (int y : shape.scaledYs) {
            for (int x : shape.scaledXs) {
                EXPECT_EQ(out.points[p].x, x) << shape.nPoints << " corner " << p;
                EXPECT_EQ(out.points[p].y, y) << shape.nPoints << " corner " << p;
                EXPECT_EQ(out.points[p].weight, p + 1);
                ++p;
            }
        }
    }
}

TEST(FaceDetectionMerging, GroupsAroundTheFirstHitWithinThreeQuartersOfTheSmallerSize) {
    FaceDetection out[kMaxDetections];
    // Sizes 20 and 24 (x2 - x1): centres 15 apart in x and y are alike, a hair more is not.
    const FaceDetection atBound[] = {Box(0, 0, 20, 20), Box(13, 13, 37, 37)};
    ASSERT_EQ(MergeDetections(atBound, out, 2), 1);
    EXPECT_EQ(out[0].hits, 2);
    EXPECT_DOUBLE_EQ(out[0].x1, 6.5);
    EXPECT_DOUBLE_EQ(out[0].y2, 28.5);
    const FaceDetection pastX[] = {Box(0, 0, 20, 20), Box(13.001, 13, 37.001, 37)};
    EXPECT_EQ(MergeDetections(pastX, out, 2), 2);
    const FaceDetection pastY[] = {Box(0, 0, 20, 20), Box(13, 13.001, 37, 37.001)};
    EXPECT_EQ(MergeDetections(pastY, out, 2), 2);

    // b is like a and c, c is not like a: c starts its own group, which d joins.
    const FaceDetection chain[] = {Box(0, 0, 20, 20), Box(12, 0, 32, 20), Box(24, 0, 44, 20), Box(30, 0, 50, 20)};
    ASSERT_EQ(MergeDetections(chain, out, 4), 2);
    EXPECT_EQ(out[0].hits, 2);
    EXPECT_DOUBLE_EQ(out[0].x1, 6.0);
    EXPECT_EQ(out[1].hits, 2);
    EXPECT_DOUBLE_EQ(out[1].x1, 27.0);
}

TEST(FaceDetectionLoading, PrintsItsProgressAndFindsStagesBesideTheClassifier) {
    facetest::TempFolder folder("vantorel_loading");
    folder.Write("Stage.txt", HalvesStage(0));
    Classifier classifier;
    ASSERT_EQ(classifier.Load(folder.Write("Classifier.txt", "1 Stage.txt")), 1);
    EXPECT_EQ(classifier.messages,
              "patch_h = 24\nj=0, scale = 1.000000\nj=0\nj=1, scale = 1.250000\nj=1\n"
              "j=2, scale = 1.562500\nj=2\nj=3, scale = 1.953125\nj=3\nfreeing\n");
    ASSERT_EQ(classifier.nStages, 1);
    // At the 47 window: cells round(12 x 1.953125) = 23 wide, 47 - 1 high.
    EXPECT_EQ(classifier.features[0][3][0].points[5].x, 45);
    EXPECT_EQ(classifier.features[0][3][0].points[5].y, 46);
    Classifier absolute;
    EXPECT_EQ(absolute.Load(folder.Write("Absolute.txt", "1 " + folder.Path("Stage.txt"))), 1);
}

TEST(FaceDetectionLoading, AMissingFileLeavesNoClassifierAndEndsNothing) {
    facetest::TempFolder folder("vantorel_missing");
    Classifier classifier;
    EXPECT_EQ(classifier.Load(folder.Path("Missing.txt")), 0);
    EXPECT_EQ(classifier.messages, "Cannot open file " + folder.Path("Missing.txt") + " to read.\n");
    EXPECT_EQ(classifier.nStages, 0);

    folder.Write("Stage.txt", HalvesStage(0));
    EXPECT_EQ(classifier.Load(folder.Write("Classifier.txt", "2 Stage.txt NoSuchStage.txt\n")), 0);
    EXPECT_EQ(classifier.messages, "Cannot open file NoSuchStage.txt to rad.\n");
    EXPECT_EQ(classifier.nStages, 0);
    EXPECT_TRUE(classifier.features.empty() && classifier.counts.empty() && classifier.thresholds.empty());
}

TEST(FaceDetectionLoading, RefusesMalformedFiles) {
    const std::string corners = "6 0\n-1 -1 -1\n11 -1 2\n23 -1 -1\n-1 23 1\n11 23 -2\n23 23 1\n";
    const std::map<std::string, std::pair<std::string, std::string>> bad = {  // classifier, stage
        {"no stage count", {"", ""}},
        {"negative stage count", {"-1", ""}},
        {"huge stage count", {"2000000000 Stage.txt", HalvesStage(0)}},
        {"fewer names than stages", {"2 Stage.txt", HalvesStage(0)}},
        {"name over 255 characters", {"1 " + std::string(256, 'a'), ""}},
        {"no features", {"1 Stage.txt", "0 0\n"}},
        {"over 400 features", {"1 Stage.txt", "401 0\n" + corners + "5 1 -1\n"}},
        {"point count beyond 1000", {"1 Stage.txt", "1 0\n1001 0\n5 1 -1\n"}},
        {"negative point count", {"1 Stage.txt", "1 0\n-6 0\n5 1 -1\n"}},
        {"over 4000 features in all stages", {"11" + Repeat(" Stage.txt", 11), "400 0\n" + Repeat(corners + "5 1 -1\n", 400)}},
        {"sign without digits", {"+ Stage.txt", HalvesStage(0)}},
        {"corner past the window", {"1 Stage.txt", "1 0\n6 0\n-1 -1 -1\n11 -1 2\n24 -1 -1\n-1 23 1\n11 23 -2\n24 23 1\n5 1 -1\n"}},
        {"corner before it", {"1 Stage.txt", "1 0\n6 0\n-2 -1 -1\n11 -1 2\n23 -1 -1\n-2 23 1\n11 23 -2\n23 23 1\n5 1 -1\n"}},
        {"grid leaving it", {"1 Stage.txt", "1 0\n6 0\n15 -1 -1\n23 -1 2\n23 -1 -1\n15 23 1\n23 23 -2\n23 23 1\n5 1 -1\n"}},
        {"huge weight", {"1 Stage.txt", "1 0\n6 0\n-1 -1 -99999999\n11 -1 2\n23 -1 -1\n-1 23 1\n11 23 -2\n23 23 1\n5 1 -1\n"}},
        {"threshold beyond int", {"1 Stage.txt", "1 0\n" + corners + "99999999999 1 -1\n"}},
        {"vote not a number", {"1 Stage.txt", "1 0\n" + corners + "5 nan -1\n"}},
        {"truncated corners", {"1 Stage.txt", "1 0\n6 0\n-1 -1 -1\n11 -1 2\n23 -1"}},
        {"missing second feature", {"1 Stage.txt", "2 0\n" + corners + "5 1 -1\n"}},
    };
    for (const auto& [what, files] : bad) {
        facetest::TempFolder folder("vantorel_refused");
        folder.Write("Stage.txt", files.second);
        Classifier classifier;
        EXPECT_EQ(classifier.Load(folder.Write("Classifier.txt", files.first)), 0) << what;
        EXPECT_EQ(classifier.nStages, 0) << what;
        EXPECT_TRUE(classifier.features.empty()) << what;
        EXPECT_NE(classifier.messages.find("refused"), std::string::npos) << what << ": " << classifier.messages;
    }
}

TEST(FaceDetectionLoading, ReadsNumbersAsFormattedInputDoesAndGoesOnPastAFeatureWithoutAGrid) {
    facetest::TempFolder folder("vantorel_lenient");
    folder.Write("Halves.txt", HalvesStage(0));
    // The same stage with signs written out, and before it a seven-point feature that never fires
    // (its sum is 0, not above 5) and votes 0.
    folder.Write("Lenient.txt", "+2 +0\n7 0\n1 1 1\n2 2 2\n3 3 3\n4 4 4\n5 5 5\n6 6 6\n7 7 7\n5 7 +0\n"
                                "+6 0\n-1 -1 -1\n+11 -1 +2\n23 -1 -1\n-1 23 1\n11 23 -2\n23 23 +1\n+0 +1.0 -1\n");
    Classifier halves, lenient;
    ASSERT_EQ(halves.Load(folder.Write("Halves.cfg", "1 Halves.txt")), 1);
    ASSERT_EQ(lenient.Load(folder.Write("Lenient.cfg", "+1 Lenient.txt")), 1) << lenient.messages;
    const std::string warning = "Error: a feature with neither 6, 8 or 9 points was found\n";
    std::size_t warnings = 0;
    for (std::size_t at = 0; (at = lenient.messages.find(warning, at)) != std::string::npos; at += warning.size())
        ++warnings;
    EXPECT_EQ(warnings, 4u) << lenient.messages;  // once per window size
    const cv::Mat frame = facetest::AstronautFrame(0.4, 60, 20);
    std::vector<FaceDetection> expected, actual;
    const int expectedCount = halves.Scan(frame, expected);
    EXPECT_GT(expectedCount, 0);
    EXPECT_EQ(lenient.Scan(frame, actual), expectedCount);
}

TEST(FaceDetectionLoading, DevicesAndOversizedFilesAreRefusedWithoutBeingRead) {
    facetest::TempFolder folder("vantorel_devices");
    Classifier device;
    EXPECT_EQ(device.Load("/dev/zero"), 0);
    EXPECT_NE(device.messages.find("/dev/zero refused: not a regular file"), std::string::npos) << device.messages;
    ASSERT_EQ(::mkfifo(folder.Path("Stage.fifo").c_str(), 0600), 0);
    for (const char* stage : {"/dev/zero", "Stage.fifo"}) {  // a pipe nobody writes to: no waiting
        Classifier stageDevice;
        EXPECT_EQ(stageDevice.Load(folder.Write("Classifier.txt", std::string("1 ") + stage)), 0) << stage;
        EXPECT_NE(stageDevice.messages.find("not a regular file"), std::string::npos) << stageDevice.messages;
    }
    Classifier oversized;
    EXPECT_EQ(oversized.Load(folder.Write("Big.txt", "1 Stage.txt\n" + std::string(kMaxClassifierFileBytes, '#'))), 0);
    EXPECT_NE(oversized.messages.find("larger than 1048576 bytes"), std::string::npos) << oversized.messages;
}

TEST(FaceDetectionPhotographs, FindsTheAstronautsFaceWhereverItIsPlaced) {
    Classifier classifier;
    ASSERT_EQ(classifier.Load(facetest::ClassifierPath()), 1);
    ASSERT_FALSE(facetest::Photo("astronaut.png").empty());
    std::set<double> windowSizes;
    // Faces 30 to 45 pixels wide, across the frame and partly cut off on the left.
    const std::tuple<double, int, int> placements[] = {{0.32, 0, 0},    {0.34, 100, 20}, {0.37, -40, 30},
                                                       {0.40, 150, 60}, {0.43, 60, 100}, {0.46, 120, 10},
                                                       {0.47, -60, 80}};
    for (const auto& [factor, left, top] : placements) {
        const cv::Mat frame = facetest::AstronautFrame(factor, left, top);
        const cv::Point2d face = facetest::AstronautFaceCentre(factor, left, top);
        const double near = facetest::kAstronautFaceSize * factor / 4;
        int found = 0;
        for (const FaceDetection& d : classifier.Detect(frame)) {
            found += d.hits >= 3 && std::abs((d.x1 + d.x2) / 2 - face.x) < near &&
                     std::abs((d.y1 + d.y2) / 2 - face.y) < near;
        }
        EXPECT_EQ(found, 1) << "factor " << factor << " at " << left << ", " << top;
        std::vector<FaceDetection> raw;
        classifier.Scan(frame, raw);
        for (const FaceDetection& hit : raw) {
            if (std::abs((hit.x1 + hit.x2) / 2 - face.x) < near) windowSizes.insert(hit.x2 - hit.x1 + 1);
        }
    }
    EXPECT_GE(windowSizes.size(), 3u);
}

TEST(FaceDetectionPhotographs, ReportsNoStrongDetectionInFaceFreePhotographs) {
    Classifier classifier;
    ASSERT_EQ(classifier.Load(facetest::ClassifierPath()), 1);
    for (const char* name : {"brick.png", "grass.png", "gravel.png", "moon.png", "text.png", "page.png"}) {
        for (const bool cut : {false, true}) {
            const cv::Mat frame = facetest::FaceFreeFrame(name, cut);
            ASSERT_FALSE(frame.empty()) << name;
            for (const FaceDetection& d : classifier.Detect(frame)) EXPECT_LT(d.hits, 3) << name << " at " << d.x1;
        }
    }
}

}  // namespace
