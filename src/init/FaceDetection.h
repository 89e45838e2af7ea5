// Cascade face detection over 8-bit grey pixel buffers: the classifier and stage files, features
// scaled in advance to every window size, integral images, the window scan and the merging of
// window hits into detections. Plain functions over plain records; every record owns its storage.
//
// Stage files are untrusted: whatever they hold is refused at load time unless every scaled corner
// lies inside its window, so a scan with loaded features never reads outside its integral image.
// Numbers are read as the C library's formatted input reads them (a leading "+" included), and
// every size a file declares has a ceiling below. Messages and progress lines go to standard output.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace facedetect {

constexpr int kBaseWindow = 24;           // feature coordinate space, pixels
constexpr double kScaleFactor = 1.25;     // between consecutive window sizes
constexpr int kMaxRawHits = 1000;         // raw window hits kept for merging
constexpr int kMaxDetections = 1000;      // merged detections written at most
constexpr int kMaxStageFeatures = 400;
constexpr int kMaxPoints = 9;
constexpr std::size_t kMaxStagePathLength = 255;
constexpr double kSimilarityTolerance = 0.75;
constexpr int kMaxStages = 1000;
// Features over all stages: even a cascade that every window passes whole then scans a 320 x 240
// frame in well under a second (about 5 ns a feature and 50,000 windows at the default scales).
constexpr int kMaxTotalFeatures = 4000;
// A feature may declare any point count up to this; only 6, 8 and 9 give corners, other counts
// are reported and the feature's sum is 0.
constexpr int kMaxDeclaredPoints = 1000;
// The classifier file and every stage file.
constexpr std::size_t kMaxClassifierFileBytes = std::size_t{1} << 20;
constexpr int kMaxScales = 16;
constexpr int kDefaultScales = 4;      // window sizes scanned unless configured otherwise
constexpr int kMaxWeight = 1 << 16;       // larger corner weights are refused
constexpr int kMaxImageSide = 4096;       // larger images are not scanned

// floor(x + 0.5) in double precision: 37.5 rounds to 38.
int RoundNearest(double x);
// Window side and window step, in pixels, at scale s.
int WindowSize(double scale);
int WindowStep(double scale);

// One corner of a feature: offsets inside the window in the inclusive integral-image convention
// (a rectangle over pixels a..b has its corners at a - 1 and b) and the weight of its entry.
struct HaarPoint {
    int x = 0;
    int y = 0;
    int weight = 0;
};

// One weak classifier. Its corners lie on a regular grid, listed row by row: 6 points are two
// rectangles, 8 three, 9 a 2 x 2 checkerboard. orientation -1 stacks the rectangles vertically.
struct HaarFeature {
    int nPoints = 0;
    std::array<HaarPoint, kMaxPoints> points{};  // the first nPoints are used
    int threshold = 0;
    double voteTrue = 0.0;   // added to the stage sum when the feature fires
    double voteFalse = 0.0;  // added when it does not
    int orientation = 0;
};

// One stage as its file holds it, features unscaled.
struct HaarStage {
    int count = 0;
    double threshold = 0.0;
    std::vector<HaarFeature> features;
};

// features[stage][scale] holds the stage's features scaled to window size `scale`.
using ScaledFeatures = std::vector<std::vector<std::vector<HaarFeature>>>;

// Inclusive running sums: rows[y][x] is the sum over all pixels (x', y') with x' <= x and y' <= y,
// unsigned 32-bit and wrapping; window sums from four entries are exact while the window's own
// sum fits in 32 bits. Set width and height, then AllocateIntegralImage.
struct IntegralImage {
    std::vector<std::uint32_t*> rows;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> storage;  // height rows of width entries, contiguous
};

// A box, top-left and bottom-right pixel inclusive, and the number of raw hits merged into it.
struct FaceDetection {
    double x1 = 0.0;
    double y1 = 0.0;
    double x2 = 0.0;
    double y2 = 0.0;
    int hits = 0;
};

// Loads the classifier file and its stage files and scales every feature to the nScales window
// sizes from firstScale on. Returns 1, or 0 when the classifier file does not open, a stage file
// does not open or a file is refused; on 0 the tables are left empty and nStages is 0.
// A relative stage path that does not open as given is tried beside the classifier file.
int ReadClassifier(const std::string& classifierPath, int nScales, double firstScale, ScaledFeatures& features,
                   std::vector<int>& counts, std::vector<double>& thresholds, int& nStages);

// Reads one stage file; false (with a message) when it does not open or is malformed.
bool ReadStageFile(const std::string& stagePath, HaarStage& stage);

// Lays the scaled corners of count features onto a window of the given size; every other field
// is copied. A feature whose point count is not 6, 8 or 9 is reported and gets no corners (its sum
// is 0). False (with a message) when a scaled corner falls outside [-1, window - 1].
bool ScaleFeatures(const HaarFeature* unscaled, HaarFeature* scaled, int count, double scale, int windowHeight,
                   int windowWidth);

void AllocateIntegralImage(IntegralImage& image);
void FreeIntegralImage(IntegralImage& image);
// pixels: width x height bytes, row after row, without padding.
void ComputeIntegralImage(const std::uint8_t* pixels, IntegralImage& image);
void ComputeSquaredIntegralImage(const std::uint8_t* pixels, IntegralImage& image);
// Mean over the (k + 1) x (k + 1) window whose top-left pixel is (x, y).
double WindowMean(const IntegralImage& image, int x, int y, int k);

// Weighted corner sum of a feature placed with its window at (x, y); the window must lie at least
// one pixel inside the image's top and left edges.
std::int32_t FeatureSum(const HaarFeature& feature, const IntegralImage& image, int y, int x);
// 1 when value x norm > threshold (strictly).
int FeatureFires(const HaarFeature& feature, const IntegralImage& image, double norm, int y, int x);
// 1 when the votes plus the stage threshold reach 0.
int EvaluateStage(const HaarFeature* features, double stageThreshold, int count, const IntegralImage& image,
                  double norm, int y, int x);

// The features of all stages at every window size, laid out for the scan: corner offsets into an
// integral image of a given width, padded to nine corners (weight 0) so that every feature costs
// the same branch-free loop. The outcome of every window is the one EvaluateStage gives.
struct ScanPlan {
    struct Feature {
        std::array<std::int32_t, kMaxPoints> offsets;  // y * width + x
        std::array<std::int32_t, kMaxPoints> weights;
        double threshold;
        std::array<double, 2> votes;  // [0] when the feature does not fire, [1] when it does
    };
    struct Stage {
        int firstFeature;
        int count;
        double threshold;
    };
    int width = -1;  // integral-image width the offsets were computed for
    int nScales = 0;
    std::vector<Stage> stages;      // nStages per scale, scale after scale
    std::vector<Feature> features;  // per scale, stage after stage
};

// A plan that scans nothing (width -1) when the tables do not hold nStages stages of nScales sizes.
ScanPlan PrepareScan(const ScaledFeatures& features, const std::vector<int>& counts,
                     const std::vector<double>& thresholds, int nStages, int nScales, int width);

// Scans every window of the plan's nScales sizes from firstScale on; stores the first kMaxRawHits
// raw hits (scale, then row, then column) and returns how many windows passed all stages, stored or
// not. Nothing is scanned when the plan was made for another width or a side exceeds kMaxImageSide.
int ScanWindows(const std::uint8_t* pixels, int height, int width, double firstScale, const ScanPlan& plan,
                std::vector<FaceDetection>& rawHits);

// The whole detection: scan, then merge into output (room for kMaxDetections records).
// Returns the number of merged detections.
int DetectFaces(const std::uint8_t* pixels, int height, int width, int nScales, double firstScale,
                FaceDetection* output, const ScaledFeatures& features, const std::vector<int>& counts,
                const std::vector<double>& thresholds, int nStages);

// Groups the first min(rawCount, kMaxRawHits) hits, each group around its first hit, into output.
int MergeDetections(const FaceDetection* rawHits, FaceDetection* output, int rawCount);
int RectanglesSimilar(const FaceDetection& a, const FaceDetection& b);
void AverageDetections(const FaceDetection* const* group, int size, FaceDetection& output);

void FreeClassifier(ScaledFeatures& features, std::vector<int>& counts, std::vector<double>& thresholds,
                    int nScales);

}  // namespace facedetect
