#include "tracking/FramePyramid.h"

#include <vector>

#include <algorithm>
#include <cstring>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "common/HotPath.h"
#include "image/Image.h"
#include "image/Kernels.h"
#include "image/RectMorphology.h"
#include "image/SharedSeparable.h"
#include "image/StereoFrame.h"
#include "platform/ipl/ipl.h"
#include "tracking/OutlineFill.h"
#include "tracking/PyramidPasses.h"
#include "tracking/TextureDepth.h"
#include "tracking/TrackerParameters.h"

// Every image here lives in buffers kept from build to build, written by OpenCV calls that reuse
// a destination of the right size: allocating images afresh each time costs more than filtering
// them. The levels are the pyramid's own; the filters' scratch is shared by the pyramids a thread
// builds, so that it is still in the processor's cache from one build to the next.

namespace {

constexpr int kBorder = cv::BORDER_REPLICATE;
// Below this many pixels across, a level has too few rows to say anything.
constexpr int kSmallestLevelSide = 8;
// A pixel whose 5 x 5 support is mostly filled holes makes no row.
constexpr float kLeastSupport = 0.5f;
// Stereo holes this small (in pixels of the level) are closed before the silhouette is eroded.
constexpr int kClosedHole = 2;
// Larger magnitudes are taken for broken data.
constexpr float kFar = 1e20f;
constexpr float kNoWeight = 1e-6f;
// FINE_SMOOTHING reaches up to the passes every coarser level takes, never past them.
static_assert(CFramePyramid::kIntensityPasses == CTrackerParameters::kMaxFineSmoothing,
              "the finest level's passes range up to the coarser levels' own");

using image_kernels::Morphology;
using image_kernels::RectMorphology;
using image_kernels::SeparableOutput;
using image_kernels::SeparableShared;

cv::Mat View(const CImage* image) { return image ? iplFullView(image->GetIplImage()) : cv::Mat(); }

// The 5-tap derivative with the 5-tap prefilter across it, as the single-step estimator uses, and
// unless null the prefilter's smoothing, in one sweep.
void Derivatives5(const cv::Mat& in, cv::Mat& alongColumns, cv::Mat& alongRows, cv::Mat* smoothed) {
    const auto& derivative = image_kernels::Derivative5();
    const auto& prefilter = image_kernels::Prefilter5();
    const SeparableOutput columns{&derivative, &prefilter, &alongColumns}, rows{&prefilter, &derivative, &alongRows};
    if (smoothed)
        SeparableShared(in, {columns, rows, SeparableOutput{&prefilter, &prefilter, smoothed}});
    else
        SeparableShared(in, {columns, rows});
}

void CentralDifferences(const cv::Mat& in, cv::Mat& alongColumns, cv::Mat& alongRows) {
    static const cv::Mat horizontal = (cv::Mat_<float>(1, 3) << -0.5f, 0.0f, 0.5f);
    static const cv::Mat vertical = horizontal.t();
    cv::filter2D(in, alongColumns, CV_32F, horizontal, cv::Point(1, 0), 0.0, kBorder);
    cv::filter2D(in, alongRows, CV_32F, vertical, cv::Point(0, 1), 0.0, kBorder);
}


// Six planes' rows into pixels of eight channels, the last two zero: eight pixels at a time, as
// an 8 x 8 transpose of vectors (unpack, shuffle, swap halves), rather than one float at a time.
VANTOREL_HOT_PATH void InterleaveRow(const float* const in[6], int width, float* out) {
    using Lanes = float __attribute__((vector_size(32)));
    constexpr int kChannels = 8;
    int column = 0;
    for (; column + 8 <= width; column += 8, out += 8 * kChannels) {
        // Named vectors, not arrays: an array goes through the stack in halves, and reading a
        // vector back from two halves just stored stalls.
        Lanes i, ix, iy, z, zx, zy;
        std::memcpy(&i, in[0] + column, sizeof i);
        std::memcpy(&ix, in[1] + column, sizeof ix);
        std::memcpy(&iy, in[2] + column, sizeof iy);
        std::memcpy(&z, in[3] + column, sizeof z);
        std::memcpy(&zx, in[4] + column, sizeof zx);
        std::memcpy(&zy, in[5] + column, sizeof zy);
        const Lanes zero = {};
// Lane orders of the transpose's three stages (AVX's unpack, shuffle and half swap).
#define VANTOREL_UNPACK_LOW(a, b) __builtin_shufflevector(a, b, 0, 8, 1, 9, 4, 12, 5, 13)
#define VANTOREL_UNPACK_HIGH(a, b) __builtin_shufflevector(a, b, 2, 10, 3, 11, 6, 14, 7, 15)
#define VANTOREL_EVEN_PAIRS(a, b) __builtin_shufflevector(a, b, 0, 1, 8, 9, 4, 5, 12, 13)
#define VANTOREL_ODD_PAIRS(a, b) __builtin_shufflevector(a, b, 2, 3, 10, 11, 6, 7, 14, 15)
#define VANTOREL_FIRST_HALVES(a, b) __builtin_shufflevector(a, b, 0, 1, 2, 3, 8, 9, 10, 11)
#define VANTOREL_SECOND_HALVES(a, b) __builtin_shufflevector(a, b, 4, 5, 6, 7, 12, 13, 14, 15)
        const Lanes t0 = VANTOREL_UNPACK_LOW(i, ix), t1 = VANTOREL_UNPACK_HIGH(i, ix);
        const Lanes t2 = VANTOREL_UNPACK_LOW(iy, z), t3 = VANTOREL_UNPACK_HIGH(iy, z);
        const Lanes t4 = VANTOREL_UNPACK_LOW(zx, zy), t5 = VANTOREL_UNPACK_HIGH(zx, zy);
        const Lanes u0 = VANTOREL_EVEN_PAIRS(t0, t2), u1 = VANTOREL_ODD_PAIRS(t0, t2);
        const Lanes u2 = VANTOREL_EVEN_PAIRS(t1, t3), u3 = VANTOREL_ODD_PAIRS(t1, t3);
        const Lanes u4 = VANTOREL_EVEN_PAIRS(t4, zero), u5 = VANTOREL_ODD_PAIRS(t4, zero);
        const Lanes u6 = VANTOREL_EVEN_PAIRS(t5, zero), u7 = VANTOREL_ODD_PAIRS(t5, zero);
        const auto store = [out](int pixel, const Lanes& channels) {
            std::memcpy(out + pixel * kChannels, &channels, sizeof channels);
        };
        store(0, VANTOREL_FIRST_HALVES(u0, u4));
        store(1, VANTOREL_FIRST_HALVES(u1, u5));
        store(2, VANTOREL_FIRST_HALVES(u2, u6));
        store(3, VANTOREL_FIRST_HALVES(u3, u7));
        store(4, VANTOREL_SECOND_HALVES(u0, u4));
        store(5, VANTOREL_SECOND_HALVES(u1, u5));
        store(6, VANTOREL_SECOND_HALVES(u2, u6));
        store(7, VANTOREL_SECOND_HALVES(u3, u7));
#undef VANTOREL_UNPACK_LOW
#undef VANTOREL_UNPACK_HIGH
#undef VANTOREL_EVEN_PAIRS
#undef VANTOREL_ODD_PAIRS
#undef VANTOREL_FIRST_HALVES
#undef VANTOREL_SECOND_HALVES
    }
    for (; column < width; ++column, out += kChannels) {
        for (int p = 0; p < 6; ++p) out[p] = in[p][column];
        out[6] = out[7] = 0.0f;
    }
}

}  // namespace

double CFramePyramid::NoiseGain(int gradientMode, bool intensity, int intensityPasses) {
    if (gradientMode == CTrackerParameters::DIRECT) return 1.0;
    const image_kernels::CorrelationKernel& kernel = gradientMode == CTrackerParameters::ANALYTIC
                                                         ? image_kernels::Gaussian15()
                                                         : image_kernels::Prefilter5();
    const int passes = gradientMode == CTrackerParameters::DOUBLE && intensity ? std::max(intensityPasses, 1) : 1;
    const cv::Mat_<float> single = kernel.taps.reshape(1, 1);
    std::vector<double> taps{1.0};
    for (int pass = 0; pass < passes; ++pass) {
        std::vector<double> wider(taps.size() + single.total() - 1, 0.0);
        for (std::size_t i = 0; i < taps.size(); ++i)
            for (int j = 0; j < single.cols; ++j) wider[i + static_cast<std::size_t>(j)] += taps[i] * single(0, j);
        taps.swap(wider);
    }
    double alongOneAxis = 0.0;
    for (const double tap : taps) alongOneAxis += tap * tap;
    return alongOneAxis * alongOneAxis;  // the same kernel along rows and columns
}

int CFramePyramid::EdgeReach(int gradientMode) {
    // The 15-tap Gaussian of ANALYTIC reaches 7 pixels, the 5-tap kernels 2, a halving 1 more.
    return gradientMode == CTrackerParameters::ANALYTIC ? 8 : 3;
}

int CFramePyramid::SilhouetteReach(int gradientMode) {
    // ANALYTIC's Gaussian is normalised over the mask, so only its 3-tap difference reaches out.
    return gradientMode == CTrackerParameters::ANALYTIC ? 1 : 2;
}

// Gaussian of (image * weights) over the Gaussian of the weights, into `out`; 0 where no weight
// reaches. The Gaussian of the weights stays in work.spread.
void CFramePyramid::Normalised(const cv::Mat& image, const cv::Mat& weights,
                               const image_kernels::CorrelationKernel& kernel, cv::Mat& out, Workspace& work) {
    cv::multiply(image, weights, work.product);
    SeparableShared(work.product, {SeparableOutput{&kernel, &kernel, &work.weighted}});
    SeparableShared(weights, {SeparableOutput{&kernel, &kernel, &work.spread}});
    pyramid_passes::DivideByWeights(work.weighted, work.spread, kNoWeight, out);
}

// pyrDown of the masked values, renormalised by the halved mask.
void CFramePyramid::HalveMasked(const cv::Mat& image, const cv::Mat& weights, const cv::Mat& halvedWeights,
                                cv::Mat& out, Workspace& work) {
    cv::multiply(image, weights, work.product);
    cv::pyrDown(work.product, work.weighted, halvedWeights.size(), kBorder);
    pyramid_passes::DivideByWeights(work.weighted, halvedWeights, kNoWeight, out);
}

bool CFramePyramid::Build(const CStereoFrame& frame, const cv::Rect& window, int levels, int gradientMode,
                          int erosion, float minDepth, float maxDepth, int depthSmoothing,
                          int depthErosion, int outlineFill, int fineSmoothing) {
    count_ = 0;
    ++builds_;
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
    if (static_cast<int>(levels_.size()) < levels) levels_.resize(static_cast<std::size_t>(levels));
    std::vector<Workspace>& work_ = SharedWorkspace();
    if (static_cast<int>(work_.size()) < levels) work_.resize(static_cast<std::size_t>(levels));

    // Rows need a point: inside the mask with a positive, finite depth and finite rays (NaN fails
    // every comparison). Whatever is not usable is zeroed, so no filter carries it along.
    Workspace& first = work_[0];
    const pyramid_passes::FirstLevel selected{&first.inside, &first.weights, &first.intensity,
                                              &first.depth,  &levels_[0].rayX, &levels_[0].rayY};
    // With both bounds given they alone say which depths count: a frame grabbed while the face was
    // searched is masked by the search's depth range, which may cut off a near face's nose.
    const bool boundsDecide = minDepth != pyramid_passes::kNoBound && maxDepth != pyramid_passes::kNoBound;
    if (boundsDecide) {
        first.unmasked.create(area.size(), CV_8UC1);
        first.unmasked.setTo(1);
    }
    const cv::Mat pixels = boundsDecide ? first.unmasked : mask(area);
    pyramid_passes::SelectFirstLevel(intensity(area), depth(area), pointX(area), pointY(area), pixels, minDepth,
                                     maxDepth, kFar, selected);
    first.measuredInside.release();
    if (outlineFill > 0 && outline_fill::Fill(depth(area), outlineFill, selected, first.outlineFilled))
        cv::subtract(first.inside, first.outlineFilled, first.measuredInside);

    for (int level = 0; level < levels; ++level) {
        Workspace& work = work_[static_cast<std::size_t>(level)];
        if (level > 0) {
            const Workspace& finer = work_[static_cast<std::size_t>(level - 1)];
            if (finer.depth.cols < 2 * kSmallestLevelSide || finer.depth.rows < 2 * kSmallestLevelSide) break;
            const cv::Size half((finer.depth.cols + 1) / 2, (finer.depth.rows + 1) / 2);
            cv::pyrDown(finer.weights, work.halvedWeights, half, kBorder);
            cv::pyrDown(finer.intensity, work.intensity, half, kBorder);
            HalveMasked(finer.depth, finer.weights, work.halvedWeights, work.depth, work);
            // The rays go straight into the levels: nothing filters them.
            const PyramidLevel& finerLevel = levels_[static_cast<std::size_t>(level - 1)];
            PyramidLevel& halved = levels_[static_cast<std::size_t>(level)];
            HalveMasked(finerLevel.rayX, finer.weights, work.halvedWeights, halved.rayX, work);
            HalveMasked(finerLevel.rayY, finer.weights, work.halvedWeights, halved.rayY, work);
            // A halved pixel belongs to the head when most of what it averages did.
            pyramid_passes::InsideFromShare(work.halvedWeights, 0.5f, work.inside, work.weights);
        }
        PyramidLevel& prepared = levels_[static_cast<std::size_t>(level)];
        prepared.level = level;
        prepared.origin = cv::Point(left >> level, top >> level);
        Prepare(prepared, work, gradientMode,
                std::max(SilhouetteReach(gradientMode), (erosion + (1 << level) - 1) >> level), depthSmoothing,
                std::max(depthErosion > 0 ? 1 : 0, (depthErosion + (1 << level) - 1) >> level),
                level == 0 ? std::clamp(fineSmoothing, 1, kIntensityPasses) : kIntensityPasses);
        count_ = level + 1;
    }
    return true;
}

std::vector<CFramePyramid::Workspace>& CFramePyramid::SharedWorkspace() {
    static thread_local std::vector<Workspace> workspace;
    return workspace;
}

void CFramePyramid::Prepare(PyramidLevel& level, Workspace& work, int gradientMode, int erosion,
                            int depthSmoothing, int depthErosion, int intensityPasses) {
    const auto& prefilter = image_kernels::Prefilter5();
    // The texture's depth serves the grey levels GRADIENT: DOUBLE compares, as the levels' depth
    // (TEXTURE) or beside it for the brightness rows alone (TEXTURE_BRIGHTNESS).
    const bool textured = (depthSmoothing == CTrackerParameters::DEPTH_TEXTURE ||
                           depthSmoothing == CTrackerParameters::DEPTH_TEXTURE_BRIGHTNESS) &&
                          gradientMode == CTrackerParameters::DOUBLE;
    // Only the finest level's depth: the coarser ones give the finer a start, not the answer.
    const bool quadratic = depthSmoothing == CTrackerParameters::DEPTH_QUADRATIC &&
                           gradientMode == CTrackerParameters::DOUBLE && level.level == 0;
    const bool separate = textured && depthSmoothing == CTrackerParameters::DEPTH_TEXTURE_BRIGHTNESS;
    if (!separate) level.brightnessDepth.release();
    // Holes filled from their masked neighbours, so that no kernel sees a cliff down to zero.
    Normalised(work.depth, work.weights, prefilter, work.filled, work);
    cv::compare(work.spread, kLeastSupport, work.supported, cv::CMP_GE);
    work.depth.copyTo(work.filled, work.inside);

    if (gradientMode == CTrackerParameters::ANALYTIC) {
        const auto& gaussian = image_kernels::Gaussian15();
        Normalised(work.intensity, work.weights, gaussian, level.intensity, work);
        Normalised(work.depth, work.weights, gaussian, level.depth, work);
        CentralDifferences(level.intensity, level.intensityGradX, level.intensityGradY);
        CentralDifferences(level.depth, level.depthGradX, level.depthGradY);
    } else {
        // The compared grey levels are intensityPasses passes of the prefilter, the last one with
        // the derivatives.
        if (textured)
            TextureWeightedDepth(work.intensity, work.filled, work.inside, prefilter, intensityPasses,
                                 work.textured);
        if (gradientMode == CTrackerParameters::DOUBLE)
            for (int pass = 1; pass < intensityPasses; ++pass) {
                SeparableShared(work.intensity, {SeparableOutput{&prefilter, &prefilter, &work.product}});
                std::swap(work.intensity, work.product);
            }
        const bool direct = gradientMode == CTrackerParameters::DIRECT;
        Derivatives5(work.intensity, level.intensityGradX, level.intensityGradY, direct ? nullptr : &level.intensity);
        // The quadratic fit replaces the prefilter's depth rather than smoothing it a second time.
        Derivatives5(work.filled, level.depthGradX, level.depthGradY, direct || quadratic ? nullptr : &level.depth);
        if (quadratic) quadratic_depth::Fit(work.depth, work.weights, work.inside, level.depth, work.quadratic);
        if (direct) {
            work.intensity.copyTo(level.intensity);
            work.filled.copyTo(level.depth);
        } else if (textured && !separate) {
            work.textured.copyTo(level.depth, work.inside);
        }
        if (separate) {
            level.depth.copyTo(level.brightnessDepth);
            work.textured.copyTo(level.brightnessDepth, work.inside);
        }
    }

    // Closed (beyond the window nothing is dilated in, and nothing erodes the closing), then
    // eroded with the window's edge as the silhouette's.
    Silhouette(work.inside, erosion, work, work.silhouette);
    pyramid_passes::UsablePixels(work.inside, work.silhouette, work.supported, EdgeReach(gradientMode), level.usable);
    if (level.level == 0 && !work.measuredInside.empty()) {
        // The filled holes carry derivatives, not depth rows: those keep to the measured silhouette.
        Silhouette(work.measuredInside, erosion + depthErosion, work, work.depthSilhouette);
    } else if (depthErosion > 0) {
        RectMorphology(work.silhouette, work.depthSilhouette, Morphology::kErode, depthErosion, 0.0);
    } else {
        level.depthWeight.release();
        return;
    }
    work.depthSilhouette.convertTo(level.depthWeight, CV_32F, 1.0 / 255.0);
}

void CFramePyramid::Silhouette(const cv::Mat& inside, int erosion, Workspace& work, cv::Mat& out) {
    RectMorphology(inside, work.closing, Morphology::kDilate, kClosedHole, 0.0);
    RectMorphology(work.closing, work.closed, Morphology::kErode, kClosedHole, 255.0);
    RectMorphology(work.closed, out, Morphology::kErode, erosion, 0.0);
}

void CFramePyramid::Interleave(const PyramidLevel& level, cv::Mat& samples) {
    static_assert(kSampleChannels == 8, "a pixel's samples are one vector of eight lanes");
    samples.create(level.usable.size(), CV_32FC(kSampleChannels));
    const cv::Mat* planes[6] = {&level.intensity, &level.intensityGradX, &level.intensityGradY,
                                &level.depth,     &level.depthGradX,     &level.depthGradY};
    for (const cv::Mat* plane : planes) CV_Assert(plane->type() == CV_32FC1 && plane->size() == samples.size());
    for (int row = 0; row < samples.rows; ++row) {
        const float* in[6];
        for (int p = 0; p < 6; ++p) in[p] = planes[p]->ptr<float>(row);
        InterleaveRow(in, samples.cols, samples.ptr<float>(row));
        if (!level.depthWeight.empty()) {
            const float* weight = level.depthWeight.ptr<float>(row);
            float* out = samples.ptr<float>(row);
            for (int column = 0; column < samples.cols; ++column) out[column * kSampleChannels + 6] = weight[column];
        }
    }
}
