#include "tracking/FramePyramid.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "image/Image.h"
#include "image/Kernels.h"
#include "image/StereoFrame.h"
#include "platform/ipl/ipl.h"
#include "tracking/TrackerParameters.h"

namespace {

constexpr int kBorder = cv::BORDER_REPLICATE;
// Below this many pixels across, a level has too few rows to say anything.
constexpr int kSmallestLevelSide = 8;
// A pixel whose 5 x 5 support is mostly filled holes makes no row.
constexpr float kLeastSupport = 0.5f;
// Stereo holes this small (in pixels of the level) are closed before the silhouette is eroded.
constexpr int kClosedHole = 2;
constexpr float kNoBound = -1.0f;
// Larger magnitudes are taken for broken data.
constexpr float kFar = 1e20f;

cv::Mat View(const CImage* image) { return image ? iplFullView(image->GetIplImage()) : cv::Mat(); }

void Separable(const cv::Mat& in, cv::Mat& out, const image_kernels::CorrelationKernel& horizontal,
               const image_kernels::CorrelationKernel& vertical) {
    cv::sepFilter2D(in, out, CV_32F, horizontal.taps, vertical.taps, cv::Point(horizontal.anchor, vertical.anchor),
                    0.0, kBorder);
}

// The 5-tap derivative with the 5-tap prefilter across it, as the single-step estimator uses.
void Derivatives5(const cv::Mat& in, cv::Mat& alongColumns, cv::Mat& alongRows) {
    const auto& derivative = image_kernels::Derivative5();
    const auto& prefilter = image_kernels::Prefilter5();
    Separable(in, alongColumns, derivative, prefilter);
    Separable(in, alongRows, prefilter, derivative);
}

void CentralDifferences(const cv::Mat& in, cv::Mat& alongColumns, cv::Mat& alongRows) {
    const cv::Mat horizontal = (cv::Mat_<float>(1, 3) << -0.5f, 0.0f, 0.5f);
    cv::filter2D(in, alongColumns, CV_32F, horizontal, cv::Point(1, 0), 0.0, kBorder);
    cv::filter2D(in, alongRows, CV_32F, horizontal.t(), cv::Point(0, 1), 0.0, kBorder);
}

// Gaussian of (image * weights) over the Gaussian of the weights; 0 where no weight reaches.
cv::Mat Normalised(const cv::Mat& image, const cv::Mat& weights, const image_kernels::CorrelationKernel& kernel,
                   cv::Mat* support = nullptr) {
    cv::Mat weighted, spread, result;
    Separable(image.mul(weights), weighted, kernel, kernel);
    Separable(weights, spread, kernel, kernel);
    cv::divide(weighted, cv::max(spread, 1e-6f), result);
    result.setTo(0.0f, spread <= 1e-6f);
    if (support) *support = spread;
    return result;
}

// pyrDown of the masked values, renormalised by the halved mask.
cv::Mat HalveMasked(const cv::Mat& image, const cv::Mat& weights, const cv::Mat& halvedWeights) {
    cv::Mat halved;
    cv::pyrDown(image.mul(weights), halved, halvedWeights.size(), kBorder);
    cv::Mat result;
    cv::divide(halved, cv::max(halvedWeights, 1e-6f), result);
    result.setTo(0.0f, halvedWeights <= 1e-6f);
    return result;
}

}  // namespace

int CFramePyramid::EdgeReach(int gradientMode) {
    // The 15-tap Gaussian of ANALYTIC reaches 7 pixels, the 5-tap kernels 2, a halving 1 more.
    return gradientMode == CTrackerParameters::ANALYTIC ? 8 : 3;
}

int CFramePyramid::SilhouetteReach(int gradientMode) {
    // ANALYTIC's Gaussian is normalised over the mask, so only its 3-tap difference reaches out.
    return gradientMode == CTrackerParameters::ANALYTIC ? 1 : 2;
}

bool CFramePyramid::Build(const CStereoFrame& frame, const cv::Rect& window, int levels, int gradientMode,
                          int erosion, float minDepth, float maxDepth) {
    levels_.clear();
    const cv::Mat intensity = View(frame.GetIntensity()), depth = View(frame.GetDepth());
    const cv::Mat pointX = View(frame.GetImageX()), pointY = View(frame.GetImageY()), mask = View(frame.GetMask());
    const cv::Size size = depth.size();
    for (const cv::Mat* image : {&intensity, &pointX, &pointY})
        if (image->size() != size || image->type() != CV_32FC1) return false;
    if (depth.type() != CV_32FC1 || mask.size() != size || mask.type() != CV_8UC1) return false;

    levels = std::max(levels, 1);
    const int step = 1 << (levels - 1);
    const cv::Rect clamped = window & cv::Rect(cv::Point(0, 0), size);
    if (clamped.empty()) return false;
    const int left = clamped.x / step * step, top = clamped.y / step * step;
    const cv::Rect area(left, top, clamped.x + clamped.width - left, clamped.y + clamped.height - top);

    // Rows need a point: inside the mask with a positive, finite depth and finite rays (NaN fails
    // every comparison). Whatever is not usable is zeroed, so no filter carries it along.
    cv::Mat rayX, rayY;
    cv::divide(pointX(area), depth(area), rayX);
    cv::divide(pointY(area), depth(area), rayY);
    cv::Mat usable = (mask(area) != 0) & (depth(area) > 0.0f) & (depth(area) < kFar) & (cv::abs(rayX) < kFar) &
                     (cv::abs(rayY) < kFar);
    if (minDepth != kNoBound) usable = usable & (depth(area) > minDepth);
    if (maxDepth != kNoBound) usable = usable & (depth(area) < maxDepth);
    cv::Mat weights;
    usable.convertTo(weights, CV_32F, 1.0 / 255.0);
    cv::Mat levelIntensity = intensity(area).clone(), levelDepth = depth(area).clone();
    levelIntensity.setTo(0.0f, ~(cv::abs(levelIntensity) < kFar));
    for (cv::Mat* image : {&levelDepth, &rayX, &rayY}) image->setTo(0.0f, ~usable);
    for (int level = 0; level < levels; ++level) {
        if (level > 0) {
            if (levelDepth.cols < 2 * kSmallestLevelSide || levelDepth.rows < 2 * kSmallestLevelSide) break;
            const cv::Size half((levelDepth.cols + 1) / 2, (levelDepth.rows + 1) / 2);
            cv::Mat halvedWeights;
            cv::pyrDown(weights, halvedWeights, half, kBorder);
            cv::Mat halvedIntensity;
            cv::pyrDown(levelIntensity, halvedIntensity, half, kBorder);
            levelIntensity = halvedIntensity;
            levelDepth = HalveMasked(levelDepth, weights, halvedWeights);
            rayX = HalveMasked(rayX, weights, halvedWeights);
            rayY = HalveMasked(rayY, weights, halvedWeights);
            // A halved pixel belongs to the head when most of what it averages did.
            weights = cv::Mat(halvedWeights >= 0.5f) / 255;
            weights.convertTo(weights, CV_32F);
        }
        PyramidLevel prepared;
        prepared.level = level;
        prepared.origin = cv::Point(left >> level, top >> level);
        Prepare(prepared, levelIntensity, levelDepth, rayX, rayY, weights, gradientMode,
                std::max(SilhouetteReach(gradientMode), (erosion + (1 << level) - 1) >> level));
        levels_.push_back(std::move(prepared));
    }
    return true;
}

void CFramePyramid::Prepare(PyramidLevel& level, const cv::Mat& intensity, const cv::Mat& depth, const cv::Mat& rayX,
                            const cv::Mat& rayY, const cv::Mat& weights, int gradientMode, int erosion) {
    const auto& prefilter = image_kernels::Prefilter5();
    cv::Mat support;
    const cv::Mat neighbours = Normalised(depth, weights, prefilter, &support);
    cv::Mat filled = depth.clone();
    neighbours.copyTo(filled, weights == 0.0f);

    if (gradientMode == CTrackerParameters::ANALYTIC) {
        const auto& gaussian = image_kernels::Gaussian15();
        level.intensity = Normalised(intensity, weights, gaussian);
        level.depth = Normalised(depth, weights, gaussian);
        CentralDifferences(level.intensity, level.intensityGradX, level.intensityGradY);
        CentralDifferences(level.depth, level.depthGradX, level.depthGradY);
    } else {
        Derivatives5(intensity, level.intensityGradX, level.intensityGradY);
        Derivatives5(filled, level.depthGradX, level.depthGradY);
        if (gradientMode == CTrackerParameters::DIRECT) {
            level.intensity = intensity.clone();
            level.depth = filled;
        } else {
            Separable(intensity, level.intensity, prefilter, prefilter);
            Separable(filled, level.depth, prefilter, prefilter);
        }
    }
    level.rayX = rayX.clone();
    level.rayY = rayY.clone();

    cv::Mat inside = weights > 0.0f;
    cv::Mat silhouette;
    const cv::Mat cross = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::morphologyEx(inside, silhouette, cv::MORPH_CLOSE, cross, cv::Point(-1, -1), kClosedHole);
    cv::erode(silhouette, silhouette, cross, cv::Point(-1, -1), erosion, cv::BORDER_CONSTANT, cv::Scalar(0));
    level.usable = inside & silhouette & (support >= kLeastSupport);
    const int edge = EdgeReach(gradientMode);
    const cv::Rect interior(edge, edge, level.usable.cols - 2 * edge, level.usable.rows - 2 * edge);
    cv::Mat keep = cv::Mat::zeros(level.usable.size(), CV_8U);
    if (interior.width > 0 && interior.height > 0) keep(interior).setTo(255);
    level.usable &= keep;
    level.usable /= 255;
}
