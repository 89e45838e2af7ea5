// The iterated, coarse-to-fine depth-and-brightness estimator: the rigid motion that carries the
// reference frame's face points onto the current frame, p_cur = R p_ref + t in the frames' 3D
// axes, found by Gauss-Newton with robust reweighting.
//
// Data path per pyramid level, coarsest first, each starting from the estimate of the level
// above: the reference's usable pixels inside the face box -> their 3D points moved by the
// estimate and projected into the current frame (PixelProjection.h) -> the current intensity and
// depth sampled there (cubic; PointMatching.h) -> per point a brightness row (sampled intensity against the
// reference's) and a depth row (sampled depth against the moved point's depth), with the
// single step's row model and gradients (MotionRows.h) -> noise and robust weights per block -> 6 x 6 normal
// equations -> increment, composed onto the estimate -> again, until the increment moves no
// pixel by more than a hundredth or the level's iteration count is spent.
//
// Points landing outside the current frame's usable pixels make no row; the current frame is
// sampled over the whole image, so a head leaving the face box is still followed; the rows say
// which face pixels are left. The last iteration's figures come back as a MotionLoss.
//
// Ownership: Estimate returns a new pose the caller owns; the frames are only read. The
// estimator keeps its pyramids (PyramidCache.h) and row buffers between calls.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "tracking/BrightnessField.h"
#include "tracking/BrightnessModel.h"
#include "tracking/FramePyramid.h"
#include "tracking/MotionLoss.h"
#include "tracking/MotionRows.h"
#include "tracking/NormalEquations.h"
#include "tracking/PixelProjection.h"
#include "tracking/PointDepthNoise.h"
#include "tracking/PointMatching.h"
#include "tracking/PyramidCache.h"
#include "tracking/RobustWeights.h"
#include "tracking/TrackerParameters.h"

class CPose;
class CStereoFrame;

struct IterationSettings {
    int levels = 3;
    int iterations = 10;           // at most, per level
    int gradient = 1;              // CTrackerParameters::Gradient
    int rowWeights = 1;            // CTrackerParameters::RowWeighting
    float lambda = 1.0f;           // depth-row weight under ROWS_LAMBDA, with its special values
    int robust = 2;                // CTrackerParameters::RobustWeighting
    float focalPx = 0.0f;          // camera focal length and baseline, for the depth noise;
    float baseline = 0.0f;         //   either not positive: depth noise taken as uniform
    int erosion = 0;               // of the masks at the frames' resolution
    int fineStride = 1;            // CTrackerParameters::fineStride
    int fineSmoothing = CFramePyramid::kIntensityPasses;  // CTrackerParameters::fineSmoothing
    bool exposureGain = false;     // a gain between the frames' grey levels
    bool shading = false;          // varying linearly across the face (with exposureGain)
    int depthSmoothing = 0;        // CTrackerParameters::DepthSmoothing
    int depthErosion = 0;          // CTrackerParameters::depthErosion
    int outlineFill = 0;           // CTrackerParameters::outlineFill
    bool averagedDepth = false;    // CTrackerParameters::JACOBIAN_DOUBLE
    float occlusionGap = 0.0f;     // CTrackerParameters::occlusionGap
    bool depthNoiseCorrection = false;  // CTrackerParameters::depthNoiseCorrection

    // The tracker's settings; the camera's focal length and baseline and the erosion are the
    // caller's to set.
    static IterationSettings From(const CTrackerParameters& parameters);
};

// The face region: reference pixels inside the box and, in both frames, pixels strictly inside
// the depth range make rows (a bound of -1: none). The frames' own masks apply as well; a frame
// grabbed before the region was set has a mask that knows nothing of the face.
struct FaceArea {
    cv::Rect box;
    float minDepth = -1.0f;
    float maxDepth = -1.0f;
    // The current frame's own face box when it differs (a region that follows the head): its
    // pyramid then covers it too, and serves again when that frame is the next reference.
    cv::Rect currentBox;
    // What the other pairs of the step need of the current frame (CurrentWindow of each; empty:
    // nothing): its pyramid is built over that at once, not built again for the next pair.
    cv::Rect currentWindow;
    // With ownCurrentDepths, the current frame's pixels are kept by its own face's depth range
    // rather than the reference's (a region that follows the head): all pairs of a step then
    // share the current frame's pyramid, and it serves again when that frame is a reference.
    bool ownCurrentDepths = false;
    float currentMinDepth = -1.0f;
    float currentMaxDepth = -1.0f;
    // Reference pixels nearer than this are no part of the face, whatever the depth range says:
    // a hand in front of it (-1: none).
    float referenceNearest = -1.0f;
};

class CIterativeEstimator {
public:
    explicit CIterativeEstimator(const IterationSettings& settings) { SetSettings(settings); }

    void SetSettings(const IterationSettings& settings);
    const IterationSettings& Settings() const { return settings_; }

    // The motion from reference to current, starting from `initial` (null: no motion). face says
    // which pixels make rows (null: every masked pixel of the whole frame). Never null;
    // frames that cannot be estimated (missing images or masks, no usable image model) give the
    // starting motion back with a loss that says so.
    CPose* Estimate(const CStereoFrame& reference, const CStereoFrame& current, const FaceArea* face,
                    const PixelProjection& projection, const CPose* initial, MotionLoss* loss = nullptr);
    // The part of the current frame that Estimate with these arguments needs the pyramid of
    // (face->currentWindow aside); empty when it builds none.
    cv::Rect CurrentWindow(const CStereoFrame& reference, const CStereoFrame& current, const FaceArea* face,
                           const PixelProjection& projection, const CPose* initial) const;
    // How many frame pyramids the estimator has built.
    long PyramidBuilds() const { return pyramids_.Builds(); }

private:
    // A rigid motion in double: p' = rotation p + translation.
    struct Motion {
        cv::Matx33d rotation = cv::Matx33d::eye();
        cv::Vec3d translation = cv::Vec3d::all(0.0);
    };
    struct LevelResult {
        bool converged = false;
        int iterations = 0;
    };

    static cv::Point2f StartingShift(const CStereoFrame& reference, const PixelProjection& projection,
                                     const Motion& motion);
    static Motion StartingMotion(const CPose* initial);
    int Levels() const;
    // The face box inside the frame, and the windows the frames' pyramids are built over.
    struct Windows {
        cv::Rect box, reference, current;
    };
    Windows WindowsFor(const CStereoFrame& reference, const CStereoFrame& current, const FaceArea* face,
                       const PixelProjection& projection, const Motion& motion) const;
    // The reference points of a pyramid's level in the box, collected again only when that
    // pyramid was rebuilt or not met lately: a keyframe is the reference of step after step.
    const ReferencePoints& Collected(const CFramePyramid& pyramid, int level, const cv::Rect& faceBox, float nearest);
    LevelResult IterateLevel(int level, const ReferencePoints& points, const PixelProjection& projection,
                             Motion& motion, MotionLoss& loss);
    // averagedDepth: the rows at the depth averaged over both frames (RowModel::averagedDepth);
    // firstOfLevel: which points are hidden is decided now; the level's iterations only add to it.
    void BuildRows(int level, const ReferencePoints& points, const PixelProjection& projection,
                   const Motion& motion, bool averagedDepth, bool firstOfLevel);
    // The shading field refitted to the matches, into the model's gains (the gradients' a fit behind).
    void FitShading(RowModel& model);
    // Accumulates the weighted rows; fills the loss's residual scales and inlier share.
    void Accumulate(MotionLoss& loss);
    bool UseBrightness() const;
    bool UseDepth() const;

    IterationSettings settings_;
    CBrightnessModel brightness_;  // of the pair being estimated
    CBrightnessField shading_;     // likewise, with IterationSettings::shading
    std::vector<float> matchRayX_, matchRayY_;  // the moved points' rays, which the field spans
    bool shadingSlopes_ = false;                // the field's slopes fitted (near the pose)
    // What the gradient mode's smoothing leaves of each block's noise (CFramePyramid::NoiseGain).
    float brightnessGain_ = 1.0f;
    float fineBrightnessGain_ = 1.0f;  // the finest level's, smoothed FINE_SMOOTHING times
    float depthGain_ = 1.0f;
    CPyramidCache pyramids_;
    // The current frame's level the rows sample, lent by the pyramid cache for one level, and its
    // images interleaved: once a level for the step's pairs, which share the current frame.
    void SampleCurrent(const CFramePyramid& pyramid, int level);
    const PyramidLevel* currentLevel_ = nullptr;
    const cv::Mat* currentSamples_ = nullptr;
    struct InterleavedLevel {
        const CFramePyramid* pyramid = nullptr;  // null: nothing interleaved yet
        long builds = 0;
        cv::Mat samples;
        // With an occlusion gap: per pixel the nearest depth within the kernels' reach.
        cv::Mat nearestAround;
    };
    InterleavedLevel interleaved_[CTrackerParameters::kMaxPyramidLevels];
    const cv::Mat* currentNearestAround_ = nullptr;
    float referenceNearest_ = -1.0f;  // the pair's FaceArea::referenceNearest
    struct CollectedPoints {
        const CFramePyramid* pyramid = nullptr;  // null: the slot holds nothing
        long builds = 0;
        int level = 0;
        int stride = 1;
        cv::Rect box;
        float nearest = -1.0f;
        long used = 0;
        ReferencePoints points;
    };
    // A step's pairs at every level, and the next step's new keyframe.
    static constexpr int kCollectedSlots = 24;
    CollectedPoints collected_[kCollectedSlots];
    long collectedClock_ = 0;
    MatchedPoints matches_;
    std::vector<unsigned char> hiddenPoints_;  // of the level being iterated
    MotionRows rows_;
    CNormalEquations equations_;
    // With DEPTH_NOISE_CORRECTION: what the rows were made at, and the excess taken off.
    PointDepthNoiseInputs rowsMade_;
    bool rowsPerspective_ = false;
    std::vector<float> scratch_;
    // One block's residuals and weights as Accumulate hands them to the normal equations.
    std::vector<float> blockResiduals_, blockWeights_;
};
