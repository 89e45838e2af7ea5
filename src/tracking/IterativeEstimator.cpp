#include "tracking/IterativeEstimator.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "image/Image.h"
#include "image/StereoFrame.h"
#include "tracking/Pose.h"
#include "tracking/RotationVector.h"
#include "tracking/TrackerParameters.h"

namespace {

// Six unknowns; a level with fewer matched points than this says nothing reliable.
constexpr int kMinRows = 12;
// An increment that moves no face pixel by more than this (pixels of its level) ends a level.
constexpr double kNegligibleStepPx = 0.01;
// A step under this leaves the pose near enough for the depth averaged over both frames.
constexpr double kNearStepPx = 0.3;
// Both frames carry their own noise: a difference has sqrt(2) times one frame's.
constexpr float kTwoFrames = 1.41421356f;
// Layouts LAMBDA selects, compared exactly as the single step compares them.
constexpr float kBrightnessOnly = 0.0f;
constexpr float kDepthOnly = -1.0f;
constexpr float kBalanced = -10.0f;
// The source scales grey levels 0..255 into intensities 0..0.01.
constexpr float kGreyLevel = 1.0f / 25500.0f;
// Nominal sensor noise: one grey level, a tenth of a pixel of disparity. Only the shape of the
// noise (the same for every brightness row, growing with Z^2 for depth rows) and the floor below
// come from them: each block's scale is measured from its residuals.
constexpr float kNominalIntensityNoise = kGreyLevel;
constexpr float kNominalDisparityNoise = 0.1f;
// A block is never taken to be more than a hundred times better than its nominal noise (a
// thousandth of a pixel of disparity): exact synthetic depth would otherwise outweigh everything,
// its own interpolation errors included, and a perfect fit would divide by a zero scale.
constexpr float kScaleFloor = 0.01f;
// The most of any direction's curvature the depth noise's excess may take off.
constexpr double kLargestNoiseShare = 0.5;

}  // namespace

IterationSettings IterationSettings::From(const CTrackerParameters& parameters) {
    IterationSettings settings;
    settings.levels = std::clamp(parameters.pyramidLevels, 1, 6);
    settings.iterations = std::clamp(parameters.iterations, 1, 100);
    settings.gradient = parameters.gradient;
    settings.rowWeights = parameters.rowWeights;
    settings.lambda = parameters.lambda;
    settings.robust = parameters.robustWeights;
    settings.fineStride = std::clamp(parameters.fineStride, 1, CTrackerParameters::kMaxFineStride);
    settings.fineSmoothing = std::clamp(parameters.fineSmoothing, 1, CTrackerParameters::kMaxFineSmoothing);
    settings.exposureGain = parameters.brightness == CTrackerParameters::BRIGHTNESS_GAIN ||
                            parameters.brightness == CTrackerParameters::BRIGHTNESS_SHADING;
    settings.shading = parameters.brightness == CTrackerParameters::BRIGHTNESS_SHADING;
    settings.depthSmoothing = parameters.depthSmoothing;
    settings.depthErosion = parameters.depthErosion;
    settings.outlineFill = parameters.outlineFill;
    settings.averagedDepth = parameters.jacobianDepth == CTrackerParameters::JACOBIAN_DOUBLE;
    settings.occlusionGap = parameters.occlusionGap;
    settings.depthNoiseCorrection = parameters.depthNoiseCorrection;
    return settings;
}

void CIterativeEstimator::SetSettings(const IterationSettings& settings) {
    settings_ = settings;
    brightnessGain_ = static_cast<float>(CFramePyramid::NoiseGain(settings_.gradient, true));
    fineBrightnessGain_ =
        static_cast<float>(CFramePyramid::NoiseGain(settings_.gradient, true, settings_.fineSmoothing));
    depthGain_ = static_cast<float>(CFramePyramid::NoiseGain(settings_.gradient, false));
}

// LAMBDA's two special values choose the blocks, whatever weighs the rows.
bool CIterativeEstimator::UseBrightness() const { return settings_.lambda != kDepthOnly; }

bool CIterativeEstimator::UseDepth() const { return settings_.lambda != kBrightnessOnly; }

CIterativeEstimator::Motion CIterativeEstimator::StartingMotion(const CPose* initial) {
    Motion motion;
    if (initial) {
        CPose start(*initial);
        start.UpdateRotationMatrix();
        for (int i = 0; i < 3; ++i) {
            motion.translation[i] = start.GetTranslation(i);
            for (int j = 0; j < 3; ++j) motion.rotation(i, j) = start.GetRotationMatrix(i, j);
        }
    }
    return motion;
}

int CIterativeEstimator::Levels() const {
    // As many as the tracker reads, whatever a caller set: a current level is kept per level.
    return std::clamp(settings_.levels, 1, CTrackerParameters::kMaxPyramidLevels);
}

CIterativeEstimator::Windows CIterativeEstimator::WindowsFor(const CStereoFrame& reference,
                                                             const CStereoFrame& current, const FaceArea* face,
                                                             const PixelProjection& projection,
                                                             const Motion& motion) const {
    Windows windows;
    const cv::Rect whole(0, 0, current.GetDepth() ? current.GetDepth()->GetWidth() : 0,
                         current.GetDepth() ? current.GetDepth()->GetHeight() : 0);
    windows.box = face ? face->box & whole : whole;
    // Both frames over the face box and a margin the motion may cross (twenty pixels and more
    // at three levels) with the filters' reach beyond it; the current frame's window moved
    // along by the motion the estimate starts from.
    const int margin = 16 + (4 << (Levels() - 1));
    const cv::Rect& box = windows.box;
    windows.reference = cv::Rect(box.x - margin, box.y - margin, box.width + 2 * margin, box.height + 2 * margin);
    const cv::Point2f shift = StartingShift(reference, projection, motion);
    const cv::Rect moved = windows.reference + cv::Point(cvRound(shift.x), cvRound(shift.y));
    const cv::Rect own = face && !face->currentBox.empty()
                             ? cv::Rect(face->currentBox.x - margin, face->currentBox.y - margin,
                                        face->currentBox.width + 2 * margin, face->currentBox.height + 2 * margin)
                             : windows.reference;
    windows.current = windows.reference | moved | own;
    return windows;
}

cv::Rect CIterativeEstimator::CurrentWindow(const CStereoFrame& reference, const CStereoFrame& current,
                                            const FaceArea* face, const PixelProjection& projection,
                                            const CPose* initial) const {
    const Windows windows = WindowsFor(reference, current, face, projection, StartingMotion(initial));
    return projection.Usable() && !windows.box.empty() ? windows.current : cv::Rect();
}

CPose* CIterativeEstimator::Estimate(const CStereoFrame& reference, const CStereoFrame& current,
                                     const FaceArea* face, const PixelProjection& projection,
                                     const CPose* initial, MotionLoss* lossOut) {
    Motion motion = StartingMotion(initial);
    const Motion start = motion;
    brightness_.Reset();
    shading_.Reset();
    MotionLoss loss;
    loss.estimated = true;
    try {
        const int levels = Levels();
        referenceNearest_ = face ? face->referenceNearest : -1.0f;
        const Windows windows = WindowsFor(reference, current, face, projection, motion);
        const cv::Rect& box = windows.box;
        const float nearest = face ? face->minDepth : -1.0f, farthest = face ? face->maxDepth : -1.0f;
        const CFramePyramid* referencePyramid = nullptr;
        const CFramePyramid* currentPyramid = nullptr;
        if (projection.Usable() && !box.empty()) {
            const PyramidSettings build{levels,   settings_.gradient,       settings_.erosion,
                                        nearest,  farthest,                 settings_.depthSmoothing,
                                        settings_.depthErosion, settings_.outlineFill, settings_.fineSmoothing};
            referencePyramid = pyramids_.Get(reference, windows.reference, build, nullptr);
            const cv::Rect shared = face ? face->currentWindow : cv::Rect();
            PyramidSettings currentBuild = build;
            if (face && face->ownCurrentDepths) {
                currentBuild.nearest = face->currentMinDepth;
                currentBuild.farthest = face->currentMaxDepth;
            }
            if (referencePyramid)
                currentPyramid = pyramids_.Get(current, windows.current | shared, currentBuild, referencePyramid);
        }
        if (referencePyramid && currentPyramid) {
            const int usedLevels = std::min(referencePyramid->Levels(), currentPyramid->Levels());
            for (int level = usedLevels - 1; level >= 0; --level) {
                const ReferencePoints& points =
                    Collected(*referencePyramid, level, box, face ? face->referenceNearest : -1.0f);
                loss.referencePixels = points.Size();
                loss.matchedRows = 0;
                loss.hiddenRows = 0;
                if (points.Size() < kMinRows) continue;
                SampleCurrent(*currentPyramid, level);
                const LevelResult result = IterateLevel(level, points, projection, motion, loss);
                currentLevel_ = nullptr;
                currentSamples_ = nullptr;
                loss.iterations += result.iterations;
                loss.converged = result.converged;
            }
        }
    } catch (const cv::Exception&) {
        motion = start;
        loss = MotionLoss();
        loss.estimated = true;
    } catch (const std::bad_alloc&) {
        motion = start;
        loss = MotionLoss();
        loss.estimated = true;
    }
    if (lossOut) *lossOut = loss;
    const cv::Vec3d rotationVector = VectorFromRotation(motion.rotation);
    return new CPose(static_cast<float>(rotationVector[0]), static_cast<float>(rotationVector[1]),
                     static_cast<float>(rotationVector[2]), static_cast<float>(motion.translation[0]),
                     static_cast<float>(motion.translation[1]), static_cast<float>(motion.translation[2]));
}

// How far, in pixels of the frames, the starting motion carries the reference's face centroid.
cv::Point2f CIterativeEstimator::StartingShift(const CStereoFrame& reference, const PixelProjection& projection,
                                               const Motion& motion) {
    const cv::Vec3d centre(reference.GetCentroidX(), reference.GetCentroidY(), reference.GetCentroidZ());
    const cv::Vec3d moved = motion.rotation * centre + motion.translation;
    if (!(centre[2] > 0.0) || !(moved[2] > 0.0)) return {0.0f, 0.0f};
    cv::Point2d shift;
    if (projection.perspective) {
        shift.x = projection.columnSign * projection.focalPx * (moved[0] / moved[2] - centre[0] / centre[2]);
        shift.y = projection.rowSign * projection.focalPx * (moved[1] / moved[2] - centre[1] / centre[2]);
    } else {
        shift.x = projection.columnsPerUnit * (moved[0] - centre[0]);
        shift.y = projection.rowsPerUnit * (moved[1] - centre[1]);
    }
    // A wild start is no reason to build a wild window.
    if (!(std::fabs(shift.x) < 1e4 && std::fabs(shift.y) < 1e4)) return {0.0f, 0.0f};
    return cv::Point2f(static_cast<float>(shift.x), static_cast<float>(shift.y));
}

void CIterativeEstimator::SampleCurrent(const CFramePyramid& pyramid, int level) {
    InterleavedLevel& kept = interleaved_[level];
    if (kept.pyramid != &pyramid || kept.builds != pyramid.Builds()) {
        kept.pyramid = nullptr;  // until interleaved
        CFramePyramid::Interleave(pyramid.Level(level), kept.samples);
        kept.nearestAround.release();
        // A resting hand's still edge, mixed into the samples beside it, would hold the pose.
        if (settings_.occlusionGap > 0.0f)
            NearestAround(pyramid.Level(level).depth, CFramePyramid::EdgeReach(settings_.gradient), kept.nearestAround);
        kept.pyramid = &pyramid;
        kept.builds = pyramid.Builds();
    }
    currentLevel_ = &pyramid.Level(level);
    currentSamples_ = &kept.samples;
    currentNearestAround_ = kept.nearestAround.empty() ? nullptr : &kept.nearestAround;
}

const ReferencePoints& CIterativeEstimator::Collected(const CFramePyramid& pyramid, int level,
                                                      const cv::Rect& faceBox, float nearest) {
    ++collectedClock_;
    const int stride = level == 0 ? std::max(settings_.fineStride, 1) : 1;
    CollectedPoints* oldest = &collected_[0];
    for (CollectedPoints& slot : collected_) {
        if (slot.pyramid == &pyramid && slot.builds == pyramid.Builds() && slot.level == level &&
            slot.stride == stride && slot.box == faceBox && slot.nearest == nearest) {
            slot.used = collectedClock_;
            return slot.points;
        }
        if (slot.used < oldest->used) oldest = &slot;
    }
    oldest->pyramid = nullptr;  // until the points are complete
    CollectReference(pyramid.Level(level), faceBox, stride, oldest->points, nearest,
                     CFramePyramid::EdgeReach(settings_.gradient));
    oldest->pyramid = &pyramid;
    oldest->builds = pyramid.Builds();
    oldest->level = level;
    oldest->stride = stride;
    oldest->box = faceBox;
    oldest->nearest = nearest;
    oldest->used = collectedClock_;
    return oldest->points;
}

CIterativeEstimator::LevelResult CIterativeEstimator::IterateLevel(int level, const ReferencePoints& points,
                                                                   const PixelProjection& projection, Motion& motion,
                                                                   MotionLoss& loss) {
    LevelResult result;
    const double levelScale = 1.0 / (1 << level);
    // The depth averaged over both frames serves only near the pose: the finest level first
    // iterates from the reference's points, then goes on from there with it. From further off, an
    // occluder's pull can hold it at a pose the reference's points leave.
    bool averagedDepth = false;
    const bool polish = settings_.averagedDepth && level == 0;
    // The shading's slopes wait for the pose to be near as well: from further off, a field can
    // take up some of what the misplaced texture shows and hold the pose there.
    shadingSlopes_ = false;
    int iterations = settings_.iterations;
    for (int iteration = 0; iteration < iterations; ++iteration) {
        BuildRows(level, points, projection, motion, averagedDepth, iteration == 0);
        loss.matchedRows = rows_.Size();
        loss.hiddenRows = matches_.hidden;
        if (rows_.Size() < kMinRows) break;
        // What a level mostly hidden leaves lies along the occluder's edge, where its smoothed
        // depth mixes both surfaces: too little to move the pose by; the finer levels see more.
        if (iteration == 0 && level > 0 && matches_.hidden > 2 * rows_.Size()) break;
        ++result.iterations;
        equations_.Reset();
        Accumulate(loss);
        double step[6];
        if (!equations_.Solve(step)) break;
        // The increment moves points by v + w x (p - c') about the moved centroid c'.
        const cv::Vec3d v(step[0], step[1], step[2]), w(step[3], step[4], step[5]);
        const cv::Vec3d centre = motion.rotation * points.centroid + motion.translation;
        const cv::Matx33d turn = RotationFromVector(w);
        motion.rotation = turn * motion.rotation;
        motion.translation = turn * (motion.translation - centre) + centre + v;
        // How far the increment moves the face's pixels, at most.
        const double pixelsPerUnit =
            projection.perspective
                ? projection.focalPx * levelScale / std::max(centre[2], 1e-6)
                : std::max(std::fabs(projection.columnsPerUnit), std::fabs(projection.rowsPerUnit)) * levelScale;
        const double stepPx = pixelsPerUnit * (cv::norm(v) + cv::norm(w) * points.radius);
        if (level == 0 && stepPx < kNearStepPx) shadingSlopes_ = true;
        if (polish && !averagedDepth && (stepPx < kNearStepPx || iteration + 1 == iterations)) {
            averagedDepth = true;
            iterations = iteration + 1 + settings_.iterations;
            continue;
        }
        if (stepPx < kNegligibleStepPx) {
            result.converged = true;
            break;
        }
    }
    return result;
}

void CIterativeEstimator::BuildRows(int level, const ReferencePoints& points, const PixelProjection& projection,
                                    const Motion& motion, bool averagedDepth, bool firstOfLevel) {
    RowModel model;
    model.perspective = projection.perspective;
    const float levelScale = 1.0f / static_cast<float>(1 << level);
    model.columnGain = projection.perspective ? projection.columnSign * projection.focalPx * levelScale
                                              : projection.columnsPerUnit * levelScale;
    model.rowGain = projection.perspective ? projection.rowSign * projection.focalPx * levelScale
                                           : projection.rowsPerUnit * levelScale;
    model.averaged = settings_.gradient == CTrackerParameters::DOUBLE;
    model.averagedDepth = averagedDepth;
    model.gradientGain = settings_.shading ? shading_.Field().constant
                         : settings_.exposureGain ? brightness_.Gain() : 1.0f;
    model.centre = cv::Vec3f(motion.rotation * points.centroid + motion.translation);
    model.brightnessNoise = kTwoFrames * kNominalIntensityNoise;
    // Stereo depth noise grows with the square of the depth: sigma_Z = Z^2 sigma_d / (f b).
    const bool calibrated = settings_.focalPx > 0.0f && settings_.baseline > 0.0f &&
                            std::isfinite(settings_.focalPx * settings_.baseline);
    // Without a calibration, the shape alone: one depth unit at the face's depth.
    const double centreDepth = std::max(points.centroid[2], 1e-6);
    model.depthNoisePerSquare = calibrated
                                    ? kTwoFrames * kNominalDisparityNoise / (settings_.focalPx * settings_.baseline)
                                    : static_cast<float>(kTwoFrames / (centreDepth * centreDepth));
    model.separatePoints = !points.brightnessZ.empty();
    model.occlusionGap = settings_.occlusionGap;
    if (currentNearestAround_ && referenceNearest_ > 0.0f) {
        // The face's front moves with the face.
        model.nearestAround = currentNearestAround_->ptr<float>();
        model.occluderDepth = referenceNearest_ + (model.centre[2] - static_cast<float>(points.centroid[2]));
    }
    rowsMade_.rotation = cv::Matx33f(motion.rotation);
    rowsMade_.translation = cv::Vec3f(motion.translation);
    rowsMade_.centre = model.centre;
    rowsMade_.averagedDepth = averagedDepth;
    rowsPerspective_ = model.perspective;
    MatchPoints(points, model, cv::Matx33f(motion.rotation), cv::Vec3f(motion.translation), *currentLevel_,
                *currentSamples_, matches_, &hiddenPoints_, firstOfLevel);
    // The exposure refitted to this iteration's matches; the gradients keep the last fit's gain,
    // a step behind.
    if (settings_.shading) {
        FitShading(model);
    } else {
        if (settings_.exposureGain) brightness_.Fit(matches_.referenceLevel, matches_.level);
        model.levelGain = settings_.exposureGain ? brightness_.Gain() : 1.0f;
    }
    MakeRows(matches_, model, rows_);
}

void CIterativeEstimator::FitShading(RowModel& model) {
    const CBrightnessField::Gains before = shading_.Field();
    const int n = matches_.Size();
    const bool separate = model.separatePoints;
    const std::vector<float>& x = separate ? matches_.bx : matches_.x;
    const std::vector<float>& y = separate ? matches_.by : matches_.y;
    const std::vector<float>& z = separate ? matches_.bz : matches_.z;
    matchRayX_.resize(static_cast<std::size_t>(n));
    matchRayY_.resize(static_cast<std::size_t>(n));
    for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
        matchRayX_[k] = x[k] / z[k];
        matchRayY_[k] = y[k] / z[k];
    }
    shading_.Fit(matches_.referenceLevel, matches_.level, matchRayX_, matchRayY_, shadingSlopes_);
    const auto take = [](const CBrightnessField::Gains& gains, float& constant, float along[2]) {
        constant = gains.constant;
        along[0] = gains.alongX;
        along[1] = gains.alongY;
    };
    model.gainField = true;
    take(before, model.gradientGain, model.gradientGainAlong);
    take(shading_.Field(), model.levelGain, model.levelGainAlong);
}

void CIterativeEstimator::Accumulate(MotionLoss& loss) {
    const bool brightness = UseBrightness(), depth = UseDepth();
    const bool noiseWeights = settings_.rowWeights == CTrackerParameters::ROWS_NOISE;
    const float brightnessScale = brightness ? CRobustWeights::Scale(rows_.brightness, kScaleFloor, scratch_) : 0.0f;
    const float depthScale = depth ? CRobustWeights::Scale(rows_.depth, kScaleFloor, scratch_) : 0.0f;
    // LAMBDA's weight of the depth rows; -10 balances the blocks' absolute residuals, as the single
    // step balances its temporal differences.
    float lambda = 1.0f;
    if (!noiseWeights && depth && brightness) {
        lambda = settings_.lambda;
        if (lambda == kBalanced) {
            double brightnessSum = 0.0, depthSum = 0.0;
            for (int k = 0; k < rows_.Size(); ++k) {
                brightnessSum += std::fabs(rows_.brightness[k] * rows_.brightnessNoise[k]);
                depthSum += std::fabs(rows_.depth[k] * rows_.depthNoise[k]);
            }
            lambda = depthSum > 0.0 ? static_cast<float>(brightnessSum / depthSum) : 0.0f;
        }
    }
    // By noise, a block's rows share the noise its image's smoothing spread over them: each row
    // is worth the gain's share of what its own residual scale says.
    // A row's weight: robust in its block's scale; then, by noise, the gain over (its noise times
    // that scale)^2, or by LAMBDA, 1 for brightness and lambda^2 for depth.
    const CRobustWeights robust(settings_.robust);
    int kept = 0, counted = 0;
    const int n = rows_.Size();
    blockResiduals_.resize(static_cast<std::size_t>(n));
    blockWeights_.resize(static_cast<std::size_t>(n));
    const auto add = [&](const std::vector<float> (&jacobian)[6], const std::vector<float>& normalised,
                         const std::vector<float>& noise, float scale, float lambdaWeight, float gain,
                         const float* landing) {
        for (int k = 0; k < n; ++k) {
            const float inScale = normalised[k] / scale;
            float weight = robust.Weight(inScale);
            const float spread = noise[k] * scale;
            weight *= noiseWeights ? gain / (spread * spread) : lambdaWeight;
            if (landing) weight *= landing[k];
            blockResiduals_[k] = normalised[k] * noise[k];
            blockWeights_[k] = weight;
            kept += CRobustWeights::Keeps(inScale);
        }
        counted += n;
        const float* columns[6];
        for (int i = 0; i < 6; ++i) columns[i] = jacobian[i].data();
        equations_.AddRows(columns, blockResiduals_.data(), blockWeights_.data(), n);
    };
    // The brightness rows' weights are needed for their depth noise's excess before the depth
    // rows take the scratch over.
    const bool correct = settings_.depthNoiseCorrection && brightness && depth && rowsPerspective_;
    DepthNoiseExcess excess;
    if (brightness)
        add(rows_.brightnessJacobian, rows_.brightness, rows_.brightnessNoise, brightnessScale, 1.0f,
            currentLevel_ && currentLevel_->level == 0 ? fineBrightnessGain_ : brightnessGain_, nullptr);
    if (correct) {
        rowsMade_.depthScale = depthScale;
        rowsMade_.cutOff = CRobustWeights::kTukeyTuning;
        excess = PointDepthNoiseExcess(matches_, rows_, blockWeights_, rowsMade_);
    }
    if (depth && lambda != 0.0f)
        add(rows_.depthJacobian, rows_.depth, rows_.depthNoise, depthScale, lambda * lambda, depthGain_,
            matches_.depthWeight.data());
    // Never more than half of any direction's curvature: beyond that the noise is most of what the
    // rows say along it, and the correction would guess.
    if (correct) equations_.Subtract(excess.hessian, excess.gradient, kLargestNoiseShare);
    loss.brightnessScale = brightnessScale;
    loss.depthScale = depthScale;
    loss.inlierShare = counted > 0 ? static_cast<float>(kept) / static_cast<float>(counted) : 0.0f;
}
