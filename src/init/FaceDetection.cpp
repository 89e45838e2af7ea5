#include "init/FaceDetection.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <sstream>
#include <type_traits>

#include "common/BoundedFile.h"

namespace facedetect {

namespace {

// Whitespace-separated tokens of a whole text file, read strictly: a token must parse completely
// (after an optional "+", as formatted input allows).
class TokenFile {
public:
    explicit TokenFile(const std::string& text) {
        std::istringstream in(text);
        std::string token;
        while (in >> token) tokens_.push_back(token);
    }
    bool Next(std::string& token) {
        if (next_ >= tokens_.size()) return false;
        token = tokens_[next_++];
        return true;
    }
    template <typename Number>
    bool Next(Number& value) {
        std::string token;
        if (!Next(token)) return false;
        const char* begin = token.data();
        const char* end = begin + token.size();
        if (end - begin > 1 && *begin == '+' && begin[1] != '-') ++begin;
        auto [ptr, ec] = std::from_chars(begin, end, value);
        if constexpr (std::is_floating_point_v<Number>) {
            if (!std::isfinite(value)) return false;
        }
        return ec == std::errc() && ptr == end;
    }

private:
    std::vector<std::string> tokens_;
    std::size_t next_ = 0;
};

// Shape of a feature's corner grid, and which two corners give its cell height.
struct GridShape {
    int columns;
    int rows;
    int upperCorner;  // cell height = y[upperCorner] - y[lowerCorner]
    int lowerCorner;
};

bool ShapeOf(const HaarFeature& feature, GridShape& shape) {
    const bool vertical = feature.orientation == -1;
    switch (feature.nPoints) {
        case 6: shape = vertical ? GridShape{2, 3, 2, 1} : GridShape{3, 2, 3, 2}; return true;
        case 8: shape = vertical ? GridShape{2, 4, 2, 1} : GridShape{4, 2, 4, 3}; return true;
        case 9: shape = GridShape{3, 3, 3, 0}; return true;
        default: return false;
    }
}

void ReportUnsupportedPointCount() {
    std::printf("Error: a feature with neither 6, 8 or 9 points was found\n");
}

bool Refuse(const std::string& path, const char* reason) {
    std::printf("Error: %s refused: %s\n", path.c_str(), reason);
    std::fflush(stdout);
    return false;
}

bool ReadFeature(TokenFile& file, const std::string& path, HaarFeature& feature) {
    if (!file.Next(feature.nPoints) || !file.Next(feature.orientation)) {
        return Refuse(path, "truncated or unreadable feature header");
    }
    if (feature.nPoints < 0 || feature.nPoints > kMaxDeclaredPoints) return Refuse(path, "point count outside 0..1000");
    // A count without a corner grid is reported when the features are scaled; its points are read
    // past so that the features after it load as written.
    GridShape shape;
    const bool usable = ShapeOf(feature, shape);
    for (int p = 0; p < feature.nPoints; ++p) {
        HaarPoint point;
        if (!file.Next(point.x) || !file.Next(point.y) || !file.Next(point.weight)) {
            return Refuse(path, "truncated or unreadable corner");
        }
        if (!usable) continue;
        if (point.x < -1 || point.x >= kBaseWindow || point.y < -1 || point.y >= kBaseWindow) {
            return Refuse(path, "corner outside the 24 x 24 window");
        }
        if (point.weight < -kMaxWeight || point.weight > kMaxWeight) return Refuse(path, "corner weight too large");
        feature.points[p] = point;
    }
    if (!file.Next(feature.threshold) || !file.Next(feature.voteTrue) || !file.Next(feature.voteFalse)) {
        return Refuse(path, "truncated or unreadable feature threshold or votes");
    }
    return true;
}

// The file's text, or false (with a message) when it cannot be read within the ceiling.
bool ReadWholeFile(const std::string& path, const char* missingFormat, std::string& text) {
    std::string why;
    const BoundedRead result = ReadBoundedFile(path, kMaxClassifierFileBytes, text, why);
    if (result == BoundedRead::Ok) return true;
    if (result == BoundedRead::CannotOpen) {
        std::printf(missingFormat, path.c_str());
        std::fflush(stdout);
        return false;
    }
    return Refuse(path, why.c_str());
}

bool IsAbsolutePath(const std::string& path) {
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() > 1 && path[1] == ':');
}

// Without opening it: opening a pipe would wait for a writer.
bool FileOpens(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

// A relative stage path that does not open as given is looked for beside the classifier file.
std::string ResolveStagePath(const std::string& stagePath, const std::string& classifierPath) {
    if (FileOpens(stagePath) || IsAbsolutePath(stagePath)) return stagePath;
    const std::size_t slash = classifierPath.find_last_of("/\\");
    if (slash == std::string::npos) return stagePath;
    const std::string besideClassifier = classifierPath.substr(0, slash + 1) + stagePath;
    return FileOpens(besideClassifier) ? besideClassifier : stagePath;
}

// Interior window sum: the window lies at least one pixel inside the top and left edges.
inline std::uint32_t InteriorWindowSum(const std::uint32_t* topLeft, int stride, int k) {
    const std::uint32_t* above = topLeft - stride - 1;
    const std::uint32_t* below = topLeft + static_cast<std::ptrdiff_t>(k) * stride - 1;
    return below[k + 1] - above[k + 1] - below[0] + above[0];
}

}  // namespace

int RoundNearest(double x) { return static_cast<int>(std::floor(x + 0.5)); }
int WindowSize(double scale) { return RoundNearest(kBaseWindow * scale); }
int WindowStep(double scale) { return RoundNearest(1.5 * scale); }

bool ReadStageFile(const std::string& stagePath, HaarStage& stage) {
    std::string text;
    if (!ReadWholeFile(stagePath, "Cannot open file %s to rad.\n", text)) return false;
    TokenFile file(text);
    stage = HaarStage();
    if (!file.Next(stage.count) || !file.Next(stage.threshold)) {
        return Refuse(stagePath, "truncated or unreadable stage header");
    }
    if (stage.count < 1 || stage.count > kMaxStageFeatures) return Refuse(stagePath, "feature count outside 1..400");
    stage.features.resize(stage.count);
    for (HaarFeature& feature : stage.features) {
        if (!ReadFeature(file, stagePath, feature)) return false;
    }
    return true;
}

bool ScaleFeatures(const HaarFeature* unscaled, HaarFeature* scaled, int count, double scale, int windowHeight,
                   int windowWidth) {
    if (!(scale > 0.0 && scale <= 1024.0)) return false;
    for (int f = 0; f < count; ++f) {
        const HaarFeature& in = unscaled[f];
        HaarFeature& out = scaled[f];
        out.nPoints = in.nPoints;
        out.orientation = in.orientation;
        out.threshold = in.threshold;
        out.voteTrue = in.voteTrue;
        out.voteFalse = in.voteFalse;
        GridShape shape;
        if (!ShapeOf(in, shape)) {
            ReportUnsupportedPointCount();
            out.nPoints = 0;  // no corners: its sum is 0
            out.points = {};
            continue;
        }
        for (int p = 0; p < in.nPoints; ++p) {
            const HaarPoint& point = in.points[p];
            if (std::abs(point.x) > kBaseWindow * 64 || std::abs(point.y) > kBaseWindow * 64) return false;
        }
        const HaarPoint* p = in.points.data();
        const int x = RoundNearest((p[0].x + 1) * scale) - 1;
        const int y = RoundNearest((p[0].y + 1) * scale) - 1;
        int cellWidth = RoundNearest((p[1].x - p[0].x) * scale);
        int cellHeight = RoundNearest((p[shape.upperCorner].y - p[shape.lowerCorner].y) * scale);
        if (y + (shape.rows - 1) * cellHeight >= windowHeight) --cellHeight;
        if (x + (shape.columns - 1) * cellWidth >= windowWidth) --cellWidth;
        for (int r = 0; r < shape.rows; ++r) {
            for (int c = 0; c < shape.columns; ++c) {
                HaarPoint& corner = out.points[r * shape.columns + c];
                corner.x = x + c * cellWidth;
                corner.y = y + r * cellHeight;
                corner.weight = in.points[r * shape.columns + c].weight;
                if (corner.x < -1 || corner.x >= windowWidth || corner.y < -1 || corner.y >= windowHeight) {
                    std::printf("Error: a feature corner falls outside the %d x %d window\n", windowWidth,
                                windowHeight);
                    return false;
                }
            }
        }
    }
    return true;
}

void FreeClassifier(ScaledFeatures& features, std::vector<int>& counts, std::vector<double>& thresholds,
                    int /*nScales*/) {
    ScaledFeatures().swap(features);
    std::vector<int>().swap(counts);
    std::vector<double>().swap(thresholds);
}

int ReadClassifier(const std::string& classifierPath, int nScales, double firstScale, ScaledFeatures& features,
                   std::vector<int>& counts, std::vector<double>& thresholds, int& nStages) {
    FreeClassifier(features, counts, thresholds, nScales);
    nStages = 0;
    std::string text;
    if (!ReadWholeFile(classifierPath, "Cannot open file %s to read.\n", text)) return 0;
    if (nScales < 0 || nScales > kMaxScales || !(firstScale > 0.0 && firstScale <= 8.0)) {
        return Refuse(classifierPath, "unsupported window sizes");
    }
    TokenFile file(text);
    int stageCount = 0;
    if (!file.Next(stageCount)) return Refuse(classifierPath, "unreadable stage count");
    if (stageCount < 0 || stageCount > kMaxStages) return Refuse(classifierPath, "stage count outside 0..1000");

    std::vector<HaarStage> stages(stageCount);
    int totalFeatures = 0;
    for (HaarStage& stage : stages) {
        std::string stagePath;
        if (!file.Next(stagePath)) return Refuse(classifierPath, "fewer stage files than stages");
        if (stagePath.size() > kMaxStagePathLength) return Refuse(classifierPath, "stage path over 255 characters");
        if (!ReadStageFile(ResolveStagePath(stagePath, classifierPath), stage)) return 0;
        totalFeatures += stage.count;
        if (totalFeatures > kMaxTotalFeatures) return Refuse(classifierPath, "more than 4000 features in all stages");
    }

    ScaledFeatures scaledFeatures(stageCount, std::vector<std::vector<HaarFeature>>(nScales));
    double scale = firstScale;
    int window = WindowSize(scale);
    std::printf("patch_h = %d\n", window);
    for (int j = 0; j < nScales; ++j) {
        std::printf("j=%d, scale = %lf\n", j, scale);
        for (int s = 0; s < stageCount; ++s) {
            std::vector<HaarFeature>& scaled = scaledFeatures[s][j];
            scaled.resize(stages[s].count);
            if (!ScaleFeatures(stages[s].features.data(), scaled.data(), stages[s].count, scale, window, window)) {
                return Refuse(classifierPath, "a stage does not fit its windows");
            }
        }
        std::printf("j=%d\n", j);
        scale *= kScaleFactor;
        window = WindowSize(scale);
    }
    std::printf("freeing\n");
    std::fflush(stdout);

    features = std::move(scaledFeatures);
    for (const HaarStage& stage : stages) {
        counts.push_back(stage.count);
        thresholds.push_back(stage.threshold);
    }
    nStages = stageCount;
    return 1;
}

void AllocateIntegralImage(IntegralImage& image) {
    const int width = std::max(image.width, 0);
    const int height = std::max(image.height, 0);
    image.storage.assign(static_cast<std::size_t>(width) * height, 0u);
    image.rows.resize(height);
    for (int y = 0; y < height; ++y) image.rows[y] = image.storage.data() + static_cast<std::size_t>(y) * width;
}

void FreeIntegralImage(IntegralImage& image) {
    std::vector<std::uint32_t*>().swap(image.rows);
    std::vector<std::uint32_t>().swap(image.storage);
}

namespace {

template <bool Squared>
void ComputeRunningSums(const std::uint8_t* pixels, IntegralImage& image) {
    const int width = image.width;
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = pixels + static_cast<std::size_t>(y) * width;
        std::uint32_t* row = image.rows[y];
        const std::uint32_t* above = y > 0 ? image.rows[y - 1] : nullptr;
        std::uint32_t rowSum = 0;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = in[x];
            rowSum += Squared ? v * v : v;
            row[x] = above ? rowSum + above[x] : rowSum;
        }
    }
}

}  // namespace

void ComputeIntegralImage(const std::uint8_t* pixels, IntegralImage& image) { ComputeRunningSums<false>(pixels, image); }

void ComputeSquaredIntegralImage(const std::uint8_t* pixels, IntegralImage& image) {
    ComputeRunningSums<true>(pixels, image);
}

double WindowMean(const IntegralImage& image, int x, int y, int k) {
    std::uint32_t sum = image.rows[y + k][x + k];
    if (y > 0) sum -= image.rows[y - 1][x + k];
    if (x > 0) sum -= image.rows[y + k][x - 1];
    if (x > 0 && y > 0) sum += image.rows[y - 1][x - 1];
    return static_cast<double>(sum) / static_cast<double>((k + 1) * (k + 1));
}

std::int32_t FeatureSum(const HaarFeature& feature, const IntegralImage& image, int y, int x) {
    // Unsigned arithmetic wraps like the tables themselves; the true sum fits in 32 bits.
    std::uint32_t sum = 0;
    for (int p = 0; p < feature.nPoints; ++p) {
        const HaarPoint& point = feature.points[p];
        sum += static_cast<std::uint32_t>(point.weight) * image.rows[y + point.y][x + point.x];
    }
    return static_cast<std::int32_t>(sum);
}

int FeatureFires(const HaarFeature& feature, const IntegralImage& image, double norm, int y, int x) {
    return static_cast<double>(FeatureSum(feature, image, y, x)) * norm > static_cast<double>(feature.threshold);
}

int EvaluateStage(const HaarFeature* features, double stageThreshold, int count, const IntegralImage& image,
                  double norm, int y, int x) {
    double sum = 0.0;
    for (int f = 0; f < count; ++f) {
        sum += FeatureFires(features[f], image, norm, y, x) ? features[f].voteTrue : features[f].voteFalse;
    }
    return sum + stageThreshold >= 0.0;
}

ScanPlan PrepareScan(const ScaledFeatures& features, const std::vector<int>& counts,
                     const std::vector<double>& thresholds, int nStages, int nScales, int width) {
    ScanPlan plan;
    const std::size_t stageCount = static_cast<std::size_t>(std::max(nStages, 0));
    if (features.size() < stageCount || counts.size() < stageCount || thresholds.size() < stageCount) return plan;
    for (std::size_t s = 0; s < stageCount; ++s) {
        if (features[s].size() < static_cast<std::size_t>(std::max(nScales, 0))) return plan;
    }
    plan.width = width;
    plan.nScales = nScales;
    for (int j = 0; j < nScales; ++j) {
        for (std::size_t s = 0; s < stageCount; ++s) {
            const std::vector<HaarFeature>& stageFeatures = features[s][j];
            plan.stages.push_back(
                {static_cast<int>(plan.features.size()), static_cast<int>(stageFeatures.size()), thresholds[s]});
            for (const HaarFeature& feature : stageFeatures) {
                ScanPlan::Feature packed{};
                for (int p = 0; p < kMaxPoints; ++p) {
                    const HaarPoint& point = feature.points[p < feature.nPoints ? p : 0];
                    packed.offsets[p] = point.y * width + point.x;
                    packed.weights[p] = p < feature.nPoints ? point.weight : 0;
                }
                packed.threshold = feature.threshold;
                packed.votes = {feature.voteFalse, feature.voteTrue};
                plan.features.push_back(packed);
            }
        }
    }
    return plan;
}

namespace {

// The same sums and comparisons as EvaluateStage and FeatureFires, on precomputed offsets. The
// vote is picked by index: whether a feature fires is too random for a branch.
inline bool WindowPassesStages(const std::uint32_t* window, const ScanPlan::Feature* features,
                               const ScanPlan::Stage* stage, const ScanPlan::Stage* stageEnd, double norm) {
    for (; stage != stageEnd; ++stage) {
        double sum = 0.0;
        const ScanPlan::Feature* feature = features + stage->firstFeature;
        const ScanPlan::Feature* featureEnd = feature + stage->count;
        for (; feature != featureEnd; ++feature) {
            std::uint32_t value = 0;
#pragma GCC unroll 9
            for (int p = 0; p < kMaxPoints; ++p) {
                value += static_cast<std::uint32_t>(feature->weights[p]) * window[feature->offsets[p]];
            }
            const bool fires = static_cast<double>(static_cast<std::int32_t>(value)) * norm > feature->threshold;
            sum += feature->votes[fires];
        }
        if (!(sum + stage->threshold >= 0.0)) return false;
    }
    return true;
}

}  // namespace

int ScanWindows(const std::uint8_t* pixels, int height, int width, double firstScale, const ScanPlan& plan,
                std::vector<FaceDetection>& rawHits) {
    rawHits.clear();
    if (!pixels || width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide ||
        plan.width != width) {
        return 0;
    }
    IntegralImage sums;
    IntegralImage squares;
    sums.width = squares.width = width;
    sums.height = squares.height = height;
    AllocateIntegralImage(sums);
    AllocateIntegralImage(squares);
    ComputeIntegralImage(pixels, sums);
    ComputeSquaredIntegralImage(pixels, squares);

    const std::size_t stagesPerScale = plan.nScales > 0 ? plan.stages.size() / plan.nScales : 0;
    int rawCount = 0;
    double scale = firstScale;
    for (int j = 0; j < plan.nScales; ++j) {
        const int window = WindowSize(scale);
        const int step = WindowStep(scale);
        const double area = static_cast<double>(window * window);
        const double scaleSquared = scale * scale;
        const ScanPlan::Stage* stageBegin = plan.stages.data() + j * stagesPerScale;
        const ScanPlan::Stage* stageEnd = stageBegin + stagesPerScale;
        // Rows and columns start at 1 and stop two pixels short so that the -1 corners and the
        // window's last row and column stay inside the tables.
        for (int y = 1; y < height - window - 1; y += step) {
            for (int x = 1; x < width - window - 1; x += step) {
                const std::size_t at = static_cast<std::size_t>(y) * width + x;
                const double mean = static_cast<double>(InteriorWindowSum(&sums.storage[at], width, window - 1)) / area;
                const double meanSquare =
                    static_cast<double>(InteriorWindowSum(&squares.storage[at], width, window - 1)) / area;
                const double norm = std::sqrt(4000.0 / (meanSquare - mean * mean + 100.0)) / scaleSquared;
                if (!WindowPassesStages(&sums.storage[at], plan.features.data(), stageBegin, stageEnd, norm)) continue;
                if (rawCount < kMaxRawHits) {
                    rawHits.push_back({static_cast<double>(x), static_cast<double>(y),
                                       static_cast<double>(x + window - 1), static_cast<double>(y + window - 1), 0});
                }
                if (rawCount < std::numeric_limits<int>::max()) ++rawCount;
            }
        }
        scale *= kScaleFactor;
    }
    return rawCount;
}

int DetectFaces(const std::uint8_t* pixels, int height, int width, int nScales, double firstScale,
                FaceDetection* output, const ScaledFeatures& features, const std::vector<int>& counts,
                const std::vector<double>& thresholds, int nStages) {
    std::printf("num_scales = %d\n", nScales);
    std::fflush(stdout);
    const ScanPlan plan = PrepareScan(features, counts, thresholds, nStages, nScales, width);
    std::vector<FaceDetection> rawHits;
    const int rawCount = ScanWindows(pixels, height, width, firstScale, plan, rawHits);
    return MergeDetections(rawHits.data(), output, rawCount);
}

int RectanglesSimilar(const FaceDetection& a, const FaceDetection& b) {
    const double widthA = a.x2 - a.x1, heightA = a.y2 - a.y1;
    const double widthB = b.x2 - b.x1, heightB = b.y2 - b.y1;
    const double dx = std::fabs((a.x1 + a.x2) * 0.5 - (b.x1 + b.x2) * 0.5);
    const double dy = std::fabs((a.y1 + a.y2) * 0.5 - (b.y1 + b.y2) * 0.5);
    return dx <= kSimilarityTolerance * std::min(widthA, widthB) &&
           dy <= kSimilarityTolerance * std::min(heightA, heightB);
}

void AverageDetections(const FaceDetection* const* group, int size, FaceDetection& output) {
    output = FaceDetection();
    for (int i = 0; i < size; ++i) {
        output.x1 += group[i]->x1;
        output.y1 += group[i]->y1;
        output.x2 += group[i]->x2;
        output.y2 += group[i]->y2;
    }
    output.x1 /= size;
    output.y1 /= size;
    output.x2 /= size;
    output.y2 /= size;
    output.hits = size;
}

int MergeDetections(const FaceDetection* rawHits, FaceDetection* output, int rawCount) {
    const int n = std::min(std::max(rawCount, 0), kMaxRawHits);
    std::vector<bool> claimed(n, false);
    std::vector<const FaceDetection*> group;
    int nDetections = 0;
    for (int i = 0; i < n; ++i) {
        if (claimed[i]) continue;
        claimed[i] = true;
        group.assign(1, &rawHits[i]);
        for (int j = i + 1; j < n; ++j) {
            if (!claimed[j] && RectanglesSimilar(rawHits[i], rawHits[j])) {
                claimed[j] = true;
                group.push_back(&rawHits[j]);
            }
        }
        AverageDetections(group.data(), static_cast<int>(group.size()), output[nDetections++]);
    }
    return nDetections;
}

}  // namespace facedetect
