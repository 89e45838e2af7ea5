#include "tracking/TrackerZBCCE.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "acquisition/StereoCamera.h"
#include "tracking/BestScores.h"
#include "tracking/CandidateAgreement.h"
#include "acquisition/StereoSource.h"
#include "image/Image.h"
#include "image/ImageROI.h"
#include "platform/ipl/ipl.h"
#include "tracking/RotationVector.h"
#include "tracking/TrackedFrame.h"

namespace {

constexpr int kNormL2 = 4;
constexpr float kPreviousWeight = 1.0f;
// Pairs of one frame that agree land within a degree of each other; five apart, one is wrong.
constexpr double kCandidateSpreadRad = 5.0 * M_PI / 180.0;
// A pair's residual scale beyond this many times the step's best, and beyond this many noise
// units, is a pair that converged elsewhere.
constexpr float kPoorFitRatio = 10.0f;
constexpr float kPoorFitFloor = 2.0f;

// The frame after the newest in the source's list; null when there is none.
CTrackedFrame* PreviousFrame(const CStereoSource& source) {
    const CStereoSource::FrameList& frames = source.GetFrames();
    if (frames.size() < 2) return nullptr;
    return std::next(frames.begin())->get();
}

bool PerspectiveWanted(const CStereoSource& source) {
    return source.GetParameters().projection == CStereoSourceParameters::PROJECTION_PERSPECTIVE &&
           source.GetCamera();
}

bool UsableScale(float scale) { return scale != 0.0f && std::isfinite(scale); }

// The motion p -> R p + t of a pose, its rotation taken from the rotation vector when it has one.
void MotionOf(CPose pose, cv::Matx33d& rotation, cv::Vec3d& translation) {
    pose.UpdateRotationMatrix();
    for (int i = 0; i < 3; ++i) {
        translation[i] = pose.GetTranslation(i);
        for (int j = 0; j < 3; ++j) rotation(i, j) = pose.GetRotationMatrix(i, j);
    }
}

FaceArea FaceOf(const CDepthMaskRegion& region) {
    FaceArea face;
    face.box = cv::Rect(region.GetXOffset(), region.GetYOffset(), region.GetWidth(), region.GetHeight());
    face.minDepth = region.GetMinDepth();
    face.maxDepth = region.GetMaxDepth();
    return face;
}

// How often a bounded region distance looks whether it passed its bound.
constexpr int kRowsPerBoundCheck = 8;
// A keyframe's lower bound must pass the best scores' bound by this factor to stand for its score.
constexpr double kScreenMargin = 1.0 + 1e-5;

const float* FloatRow(const CImage* image, int row) {
    return reinterpret_cast<const float*>(image->GetImageData() + static_cast<long>(row) * image->GetWidthStep());
}

}  // namespace

CTrackerZBCCE::CTrackerZBCCE(std::istream& configuration)
    : parameters(configuration),
      estimator(parameters.lambda, parameters.gradient),
      iterativeEstimator(IterationSettings::From(parameters)),
      thresholds(LossThresholds::From(parameters)) {
    OpenOutputs();
}

CTrackerZBCCE::CTrackerZBCCE(const CTrackerParameters& trackerParameters)
    : parameters(trackerParameters),
      estimator(parameters.lambda, parameters.gradient),
      iterativeEstimator(IterationSettings::From(parameters)),
      thresholds(LossThresholds::From(parameters)) {
    OpenOutputs();
}

CTrackerZBCCE::~CTrackerZBCCE() { ClearMatches(); }

// An output that cannot be created is silently left out.
void CTrackerZBCCE::OpenOutputs() {
    const auto open = [](const std::string& name, std::unique_ptr<std::ofstream>& stream) {
        if (name.empty()) return;
        stream = std::make_unique<std::ofstream>(name, std::ios::out | std::ios::trunc);
        if (!stream->is_open()) stream.reset();
    };
    open(parameters.resultsFileName, resultsFile);
    open(parameters.posesFileName, posesFile);
}

int CTrackerZBCCE::Track(CStereoSource& source) {
    CTrackedFrame* current = source.GetCurrentFrame();
    if (!current) return 1;
    // A session starts from a frame grabbed while the face was searched (it has no pose). The
    // frames before it show the head wherever it was then: taken for the session's first frame
    // as keyframes, they would pull every later pose towards there.
    if (const CTrackedFrame* previous = PreviousFrame(source); previous && !previous->GetPose())
        source.DropFramesBefore(previous->GetIndex());
    if (!source.GetFrames().empty()) hiddenFaces.Forget(source.GetFrames().back()->GetIndex());
    SelectMatches(source, current, parameters.matchFunction);
    losses.clear();
    stepRefused = false;
    if (parameters.Iterated()) {
        EstimateIterated(source);
        hiddenFaces.Record(current->GetIndex(), losses);
    } else {
        // "PROJECTION: PERSPECTIVE" in the source's configuration selects the perspective image
        // model, with the calibration the frames' pixel scales came from.
        CStereoCamera* camera = source.GetCamera();
        estimator.SetPerspectiveFocal(PerspectiveWanted(source) ? camera->GetFocal() : 0.0f);
        for (auto& match : matches)
            match->SetRelativePose(
                EstimateMotionInRegion(match->GetReference(), match->GetCurrent(), source.GetRegion()));
    }
    current->SetPose(MergePoses(parameters.mergePose));
    stepRefused = TurnedTooFar(source);
    if (parameters.Iterated()) RememberBestScales();
    if (Following() && !stepRefused) FollowRegion(source);
    if (resultsFile) WriteResults(*resultsFile);
    if (posesFile) current->GetPose()->Write(*posesFile);
    return 1;
}

CPose* CTrackerZBCCE::EstimateMotionInRegion(CTrackedFrame* reference, CTrackedFrame* current,
                                             const CImageROI* region) {
    return estimator.EstimateMotionInRegion(reference, current, region);
}

CPose* CTrackerZBCCE::GetFirstMatchMotion() {
    if (matches.empty() || !matches.front()->GetRelativePose()) {
        noMotion.SetIdentity();
        return &noMotion;
    }
    if (!parameters.Iterated() && !stepRefused) return matches.front()->GetRelativePose();
    std::size_t k = 0;
    for (const auto& match : matches)
        if (Trusted(k++) && match->GetRelativePose()) return match->GetRelativePose();
    // No pair is a motion of the face: lent without a rotation vector, which fails validation.
    cv::Matx33d rotation;
    cv::Vec3d translation;
    MotionOf(*matches.front()->GetRelativePose(), rotation, translation);
    float columns[9], shift[3];
    for (int i = 0; i < 3; ++i) {
        shift[i] = static_cast<float>(translation[i]);
        for (int j = 0; j < 3; ++j) columns[3 * j + i] = static_cast<float>(rotation(i, j));
    }
    untrustedMotion = CPose(columns, shift);
    return &untrustedMotion;
}

// A pair whose solve failed carries no rotation vector: it is no motion of the face either.
bool CTrackerZBCCE::Trusted(std::size_t match) const {
    if (stepRefused) return false;
    if (match < matches.size()) {
        const CPose* relative = (*std::next(matches.begin(), static_cast<long>(match)))->GetRelativePose();
        if (relative && !relative->IsRotationVectorValid()) return false;
    }
    return !parameters.Iterated() || match >= losses.size() || thresholds.Accepts(losses[match]);
}

bool CTrackerZBCCE::TurnedTooFar(const CStereoSource& source) const {
    if (!(parameters.maxFrameRotationDeg > 0.0f)) return false;
    const CTrackedFrame* previous = PreviousFrame(source);
    const CPose* now = trackedFrame ? trackedFrame->GetPose() : nullptr;
    if (!previous || !now) return false;
    // A frame without a pose is the session's first, grabbed while the face was searched: the
    // origin the poses are measured from.
    cv::Matx33d before = cv::Matx33d::eye(), after;
    cv::Vec3d shift, turn;
    if (previous->GetPose()) MotionOf(*previous->GetPose(), before, shift);
    MotionOf(*now, after, shift);
    turn = VectorFromRotation(after * before.t());
    // Written so that a pose that is not a number turns too far.
    return !(cv::norm(turn) * 180.0 / CV_PI <= parameters.maxFrameRotationDeg);
}

bool CTrackerZBCCE::FirstMatchTrusted() const {
    if (matches.empty()) return true;
    for (std::size_t k = 0; k < matches.size(); ++k)
        if (Trusted(k)) return true;
    return false;
}

void CTrackerZBCCE::EstimateIterated(CStereoSource& source) {
    CStereoCamera* camera = source.GetCamera();
    const bool perspective = PerspectiveWanted(source);
    IterationSettings settings = IterationSettings::From(parameters);
    settings.focalPx = camera ? camera->GetFocal() : 0.0f;
    settings.baseline = camera ? camera->GetBaseline() : 0.0f;
    const CImage* depth = trackedFrame ? trackedFrame->GetDepth() : nullptr;
    settings.erosion = parameters.maskErosion >= 0 ? parameters.maskErosion
                       : depth                     ? CMotionEstimator::ErosionFor(depth->GetWidth())
                                                   : 0;
    iterativeEstimator.SetSettings(settings);
    // A session's first step already measures its references against the face it was found with.
    if (const CTrackedFrame* previous = PreviousFrame(source);
        parameters.occlusionGap > 0.0f && (!previous || !previous->GetPose()))
        StartHiddenFaces(source);
    const CDepthMaskRegion* region = source.GetRegion();
    const FaceArea face = region ? FaceOf(*region) : FaceArea();
    struct PairStart {
        PixelProjection projection;
        std::unique_ptr<CPose> initial;
        FaceArea face;
    };
    std::vector<PairStart> starts;
    starts.reserve(matches.size());
    // The tracked frame is the current frame of every pair but an exchanged one: its pyramid is
    // built once, over what all of them need.
    cv::Rect tracked;
    for (auto& match : matches) {
        CTrackedFrame* reference = match->GetReference();
        CTrackedFrame* current = match->GetCurrent();
        // A frame grabbed before the face region was set has no pixel scale; the other one does.
        const bool ownScale = UsableScale(reference->GetScaleX()) && UsableScale(reference->GetScaleY());
        const CTrackedFrame* scaled = ownScale ? reference : current;
        PairStart start{PixelProjection::FromScales(scaled->GetScaleX(), scaled->GetScaleY(), settings.focalPx,
                                                    perspective),
                        std::unique_ptr<CPose>(PredictedMotion(*match, source)), face};
        // Following, a reference's face is where the region was when that frame was grabbed.
        const auto own = Following() ? frameFaces.find(reference->GetIndex()) : frameFaces.end();
        if (own != frameFaces.end()) start.face = own->second;
        if (parameters.occlusionGap > 0.0f)
            start.face.referenceNearest = hiddenFaces.NearestFaceDepth(reference->GetPose(), parameters.occlusionGap);
        start.face.currentBox = face.box;
        if (Following() && current == trackedFrame) {
            start.face.ownCurrentDepths = true;
            start.face.currentMinDepth = face.minDepth;
            start.face.currentMaxDepth = face.maxDepth;
        }
        if (current == trackedFrame)
            tracked |= iterativeEstimator.CurrentWindow(*reference, *current, region ? &start.face : nullptr,
                                                        start.projection, start.initial.get());
        starts.push_back(std::move(start));
    }
    std::size_t k = 0;
    for (auto& match : matches) {
        PairStart& start = starts[k++];
        if (match->GetCurrent() == trackedFrame) start.face.currentWindow = tracked;
        MotionLoss loss;
        match->SetRelativePose(iterativeEstimator.Estimate(*match->GetReference(), *match->GetCurrent(),
                                                           region ? &start.face : nullptr, start.projection,
                                                           start.initial.get(), &loss));
        if (parameters.occlusionGap > 0.0f) loss.foundHiddenShare = hiddenFaces.FoundHiddenShare();
        losses.push_back(loss);
    }
    UpdateFaceShares(source);
    MarkResidualJumps();
}

void CTrackerZBCCE::MarkResidualJumps() {
    for (MotionLoss& loss : losses)
        loss.jumped = loss.estimated &&
                      (ResidualJumped(loss.brightnessScale, lastBestScales[0], kPoorFitRatio, kPoorFitFloor) ||
                       ResidualJumped(loss.depthScale, lastBestScales[1], kPoorFitRatio, kPoorFitFloor));
}

void CTrackerZBCCE::RememberBestScales() {
    float best[2] = {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity()};
    for (std::size_t k = 0; k < losses.size(); ++k)
        if (losses[k].estimated && Trusted(k)) {
            best[0] = std::min(best[0], losses[k].brightnessScale);
            best[1] = std::min(best[1], losses[k].depthScale);
        }
    if (std::isfinite(best[0]) && std::isfinite(best[1])) std::copy(best, best + 2, lastBestScales);
}

CPose* CTrackerZBCCE::PredictedMotion(const CFrameMatch& match, const CStereoSource& source) const {
    const CTrackedFrame* previous = PreviousFrame(source);
    const auto poseOf = [&](const CTrackedFrame* frame) -> const CPose* {
        if (frame == trackedFrame) return previous ? previous->GetPose() : nullptr;
        return frame ? frame->GetPose() : nullptr;
    };
    const CPose* referencePose = poseOf(match.GetReference());
    const CPose* currentPose = poseOf(match.GetCurrent());
    if (!referencePose || !currentPose) return nullptr;
    cv::Matx33d referenceRotation, currentRotation;
    cv::Vec3d referenceShift, currentShift;
    MotionOf(*referencePose, referenceRotation, referenceShift);
    MotionOf(*currentPose, currentRotation, currentShift);
    // Poses map the session's first frame into theirs: current o reference^-1.
    const cv::Matx33d rotation = currentRotation * referenceRotation.t();
    const cv::Vec3d translation = currentShift - rotation * referenceShift;
    const cv::Vec3d rotationVector = VectorFromRotation(rotation);
    return new CPose(static_cast<float>(rotationVector[0]), static_cast<float>(rotationVector[1]),
                     static_cast<float>(rotationVector[2]), static_cast<float>(translation[0]),
                     static_cast<float>(translation[1]), static_cast<float>(translation[2]));
}

// A session starts when the frame before the tracked one has no pose (it was grabbed while the
// face was searched), or when the face region is not the one of the last step.
void CTrackerZBCCE::UpdateFaceShares(const CStereoSource& source) {
    const CDepthMaskRegion* region = source.GetRegion();
    const int box[4] = {region ? region->GetXOffset() : 0, region ? region->GetYOffset() : 0,
                        region ? region->GetWidth() : 0, region ? region->GetHeight() : 0};
    const float depths[2] = {region ? region->GetMinDepth() : 0.0f, region ? region->GetMaxDepth() : 0.0f};
    const CTrackedFrame* previous = PreviousFrame(source);
    const bool ours = followedSet && cv::Rect(box[0], box[1], box[2], box[3]) == followedFace.box &&
                      depths[0] == followedFace.minDepth && depths[1] == followedFace.maxDepth;
    const bool sameRegion =
        ours || (std::equal(box, box + 4, sessionRegion) && std::equal(depths, depths + 2, sessionDepths));
    if (!sameRegion || !previous || !previous->GetPose()) {
        sessionFaceRows = 0;
        std::fill(lastBestScales, lastBestScales + 2, 0.0f);
        if (Following()) StartFollowing(source);
    }
    std::copy(box, box + 4, sessionRegion);
    std::copy(depths, depths + 2, sessionDepths);
    if (sessionFaceRows == 0 && !losses.empty()) sessionFaceRows = losses.front().matchedRows;
    for (MotionLoss& loss : losses)
        loss.faceShare = sessionFaceRows > 0 ? static_cast<float>(loss.matchedRows) / sessionFaceRows : 0.0f;
}

// The session's origin is the frame before the first tracked one: poses are motions from it.
void CTrackerZBCCE::StartFollowing(const CStereoSource& source) {
    frameFaces.clear();
    followedSet = false;
    follower.Stop();
    const CTrackedFrame* origin = PreviousFrame(source);
    const CDepthMaskRegion* region = source.GetRegion();
    if (!origin || !region) return;
    const FaceArea face = FaceOf(*region);
    if (follower.Start(*origin, face)) frameFaces[origin->GetIndex()] = face;
}

void CTrackerZBCCE::StartHiddenFaces(const CStereoSource& source) {
    hiddenFaces.Clear();
    const CTrackedFrame* origin = PreviousFrame(source);
    const CDepthMaskRegion* region = source.GetRegion();
    if (origin && region) hiddenFaces.StartSession(*origin, FaceOf(*region), parameters.occlusionGap);
}

void CTrackerZBCCE::FollowRegion(CStereoSource& source) {
    CTrackedFrame* current = source.GetCurrentFrame();
    const CDepthMaskRegion* region = source.GetRegion();
    if (!current || !region || !follower.Started() || !current->GetPose() || !current->GetDepth()) return;
    frameFaces[current->GetIndex()] = FaceOf(*region);
    // Faces of frames the source no longer keeps go.
    if (frameFaces.size() > 2 * source.GetFrames().size() + 2) {
        const int oldest = source.GetFrames().back()->GetIndex();
        for (auto it = frameFaces.begin(); it != frameFaces.end();)
            it = it->first < oldest ? frameFaces.erase(it) : std::next(it);
    }
    CStereoCamera* camera = source.GetCamera();
    const PixelProjection projection = PixelProjection::FromScales(
        current->GetScaleX(), current->GetScaleY(), camera ? camera->GetFocal() : 0.0f, PerspectiveWanted(source));
    FaceArea next;
    if (!follower.Follow(*current->GetPose(), projection, current->GetDepth()->GetWidth(),
                         current->GetDepth()->GetHeight(), next))
        return;
    source.SetRegion(next.box.x, next.box.x + next.box.width, next.box.y, next.box.y + next.box.height, next.minDepth,
                     next.maxDepth);
    followedFace = next;
    followedSet = true;
}

bool CTrackerZBCCE::HiddenFace(const CTrackedFrame& frame) const {
    return parameters.occlusionGap > 0.0f && hiddenFaces.Hidden(frame.GetIndex());
}

CTrackedFrame* CTrackerZBCCE::ReferenceFrame(const CStereoSource& source) const {
    CTrackedFrame* previous = PreviousFrame(source);
    if (!previous || !HiddenFace(*previous)) return previous;
    const CStereoSource::FrameList& frames = source.GetFrames();
    for (auto frame = std::next(frames.begin()); frame != frames.end(); ++frame)
        if (!HiddenFace(**frame)) return frame->get();
    return previous;
}

int CTrackerZBCCE::MaxBestMatches() const { return std::max(parameters.maxBestMatches, 1); }

void CTrackerZBCCE::AddMatch(CTrackedFrame* reference, CTrackedFrame* current, float weight) {
    if (reference && current) matches.push_front(std::make_unique<CFrameMatch>(reference, current, weight));
}

void CTrackerZBCCE::SelectMatches(CStereoSource& source, CTrackedFrame* current, int matchFunction) {
    ClearMatches();
    trackedFrame = current;
    const CStereoSource::FrameList& frames = source.GetFrames();
    if (frames.empty()) return;
    switch (matchFunction) {
        case CTrackerParameters::MATCH_FIRST:
            AddMatch(frames.back().get(), frames.front().get(), 0.0f);
            return;
        case CTrackerParameters::MATCH_FIRST_AS_END:
            AddMatch(frames.front().get(), frames.back().get(), 0.0f);
            return;
        case CTrackerParameters::MATCH_INTENSITY:
        case CTrackerParameters::MATCH_INTENSITY_DYNAMIC:
        case CTrackerParameters::MATCH_INTENSITY_WITH_PREVIOUS:
        case CTrackerParameters::MATCH_COVARIANCE:
        case CTrackerParameters::MATCH_COVARIANCE_DYNAMIC:
            AddKeyframeCandidates(source, current, matchFunction);
            return;
        default:  // MATCH_PREVIOUS, and any code outside the table
            AddMatch(ReferenceFrame(source), current, kPreviousWeight);
            return;
    }
}

void CTrackerZBCCE::AddKeyframeCandidates(CStereoSource& source, CTrackedFrame* current, int matchFunction) {
    const bool covariance = matchFunction == CTrackerParameters::MATCH_COVARIANCE ||
                            matchFunction == CTrackerParameters::MATCH_COVARIANCE_DYNAMIC;
    // The best region scores so far: a frame that cannot beat them stops being summed. The sort
    // below places the frames that stay exactly as it would with every score complete (it
    // compares such a frame only with the kept ones, which are all smaller, or with others that
    // go too), and the frames that stay are summed to the end.
    CBestScores best(static_cast<std::size_t>(MaxBestMatches()));
    const CImageROI* region = source.GetRegion();
    const bool screened =
        !covariance && parameters.compareRegion && region &&
        regionScreen.Start(current->GetIntensity(), cv::Rect(region->GetXOffset(), region->GetYOffset(),
                                                             region->GetWidth(), region->GetHeight()));
    for (const auto& stored : source.GetFrames()) {
        CTrackedFrame* frame = stored.get();
        if (frame->GetIndex() == current->GetIndex() || HiddenFace(*frame)) continue;
        float score;
        if (covariance) {
            // A frame without a pose counts as the identity, carrying no uncertainty.
            const CPose* pose = frame->GetPose();
            score = SquaredIntensityDifference(frame->GetIntensity(), current->GetIntensity()) +
                    (pose ? pose->GetWeight() : 0.0f);
        } else if (parameters.compareRegion && region) {
            // A frame whose block sums already put it past the best scores goes as a partial sum
            // would, its pixels unread (with a margin, so that the score stays past the bound in float).
            const float bound = best.Bound();
            const double atLeast = screened ? regionScreen.LowerBound(*frame) : 0.0;
            if (atLeast > static_cast<double>(bound) * kScreenMargin) {
                score = static_cast<float>(atLeast);
            } else {
                score = RegionIntensityDistance(frame->GetIntensity(), current->GetIntensity(), *region, bound);
                if (score < 0.0f) score = IntensityDistance(frame, current);
            }
            best.Offer(score);
        } else {
            score = IntensityDistance(frame, current);
        }
        AddMatch(frame, current, score);
    }
    if (screened) regionScreen.Finish();
    CTrackedFrame* previous = ReferenceFrame(source);
    if (matches.empty()) {
        AddMatch(previous, current, covariance ? 0.0f : kPreviousWeight);
        return;
    }
    SortMatchesByWeight();
    const int kept = MaxBestMatches();
    while (static_cast<int>(matches.size()) > kept) matches.pop_back();

    const int currentIndex = current->GetIndex();
    if (matchFunction == CTrackerParameters::MATCH_INTENSITY_DYNAMIC ||
        matchFunction == CTrackerParameters::MATCH_COVARIANCE_DYNAMIC) {
        // Keyframes only pay off when an older one is among the best; otherwise the previous frame.
        const bool olderKeyframe = std::any_of(matches.begin(), matches.end(), [&](const auto& match) {
            return match->GetReference()->GetIndex() < currentIndex - kept;
        });
        if (!olderKeyframe) {
            ClearMatches();
            AddMatch(previous, current, kPreviousWeight);
        }
    } else if (matchFunction == CTrackerParameters::MATCH_INTENSITY_WITH_PREVIOUS) {
        const bool hasPrevious = std::any_of(matches.begin(), matches.end(), [&](const auto& match) {
            return match->GetReference()->GetIndex() == currentIndex - 1;
        });
        if (!hasPrevious && previous) {
            matches.pop_front();
            AddMatch(previous, current, kPreviousWeight);
        }
    }
}

void CTrackerZBCCE::SortMatchesByWeight() {
    for (auto i = matches.begin(); i != matches.end(); ++i)
        for (auto j = std::next(i); j != matches.end(); ++j)
            if ((*j)->GetWeight() < (*i)->GetWeight()) std::swap(*i, *j);
}

float CTrackerZBCCE::IntensityDistance(CTrackedFrame* stored, CTrackedFrame* current) {
    return static_cast<float>(current->GetIntensity()->Norm(stored->GetIntensity(), kNormL2));
}

float CTrackerZBCCE::RegionIntensityDistance(const CImage* a, const CImage* b, const CImageROI& region,
                                             float bound) {
    if (!a || !b || !a->GetImageData() || !b->GetImageData()) return -1.0f;
    const cv::Mat first = iplFullView(a->GetIplImage()), second = iplFullView(b->GetIplImage());
    if (first.size() != second.size() || first.type() != second.type()) return -1.0f;
    const cv::Rect box = cv::Rect(region.GetXOffset(), region.GetYOffset(), region.GetWidth(), region.GetHeight()) &
                         cv::Rect(0, 0, first.cols, first.rows);
    if (box.empty()) return -1.0f;
    if (first.type() != CV_32FC1) return static_cast<float>(cv::norm(first(box), second(box), cv::NORM_L2));
    // Every stored frame is compared each step: four running sums keep the loop vectorised, and
    // in double they round no differently from cv::norm's single one at float precision.
    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    const auto distance = [&sums] { return static_cast<float>(std::sqrt((sums[0] + sums[1]) + (sums[2] + sums[3]))); };
    for (int row = box.y; row < box.y + box.height; ++row) {
        // Squares only add: the partial distance never exceeds the whole one.
        if ((row - box.y) % kRowsPerBoundCheck == 0 && row > box.y && distance() > bound) return distance();
        const float* pa = first.ptr<float>(row) + box.x;
        const float* pb = second.ptr<float>(row) + box.x;
        // Stored frames are long out of the cache: the next row is asked for while this one is summed.
        if (row + 1 < box.y + box.height)
            for (int ahead = 0; ahead < box.width; ahead += 16) {
                __builtin_prefetch(first.ptr<float>(row + 1) + box.x + ahead);
                __builtin_prefetch(second.ptr<float>(row + 1) + box.x + ahead);
            }
        int col = 0;
        for (; col + 4 <= box.width; col += 4)
            for (int lane = 0; lane < 4; ++lane) {
                const double d = pa[col + lane] - pb[col + lane];
                sums[lane] += d * d;
            }
        for (; col < box.width; ++col) {
            const double d = pa[col] - pb[col];
            sums[0] += d * d;
        }
    }
    return distance();
}

float CTrackerZBCCE::SquaredIntensityDifference(CImage* a, CImage* b) {
    if (!a || !b || a->GetWidth() != b->GetWidth() || a->GetHeight() != b->GetHeight()) return 0.0f;
    float sum = 0.0f;
    for (int row = 0; row < a->GetHeight(); ++row) {
        const float* pa = FloatRow(a, row);
        const float* pb = FloatRow(b, row);
        for (int col = 0; col < a->GetWidth(); ++col) {
            const float d = pa[col] - pb[col];
            sum += d * d;
        }
    }
    return sum;
}

// The candidate absolute pose of the tracked frame through one match.
CPose* CTrackerZBCCE::CandidatePose(const CFrameMatch& match) const {
    const bool rolesExchanged = match.GetReference() == trackedFrame && match.GetCurrent() != trackedFrame;
    return rolesExchanged ? match.GetReferenceAbsolutePose() : match.GetAbsolutePose();
}

// Merge weights of the records: equal for POSE_AVERAGE, 1/weight for the weighted merges. A
// record of weight 0 is a perfect match (an identical image, or a mode that scores nothing):
// the limit of 1/weight then leaves the records of weight 0 alone, counted equally.
std::vector<double> CTrackerZBCCE::MergeCoefficients(int mergePose) const {
    std::vector<double> coefficients;
    const bool weighted = mergePose == CTrackerParameters::POSE_WEIGHTED_AVERAGE ||
                          mergePose == CTrackerParameters::POSE_COVARIANCE;
    const bool anyZero = std::any_of(matches.begin(), matches.end(),
                                     [](const auto& match) { return match->GetWeight() == 0.0f; });
    // Pairs whose loss fails are no motion of the face; they count only when no pair passes.
    const bool screened = FirstMatchTrusted();
    double total = 0.0;
    std::size_t k = 0;
    for (const auto& match : matches) {
        const float w = match->GetWeight();
        double c = 1.0;
        if (weighted) c = anyZero ? (w == 0.0f ? 1.0 : 0.0) : (std::isfinite(w) && w > 0.0f ? 1.0 / w : 0.0);
        if (screened && !Trusted(k)) c = 0.0;
        ++k;
        coefficients.push_back(c);
    }
    if (parameters.Iterated()) {
        if (parameters.occlusionGap > 0.0f) CHiddenFaces::LeaveOutHiddenPairs(losses, coefficients);
        LeaveOutPoorFits(coefficients);
        LeaveOutDisagreeing(coefficients);
    }
    for (const double c : coefficients) total += c;
    if (!(total > 0.0)) coefficients.assign(matches.size(), 1.0);
    return coefficients;
}

// A pair whose residual ends far above the step's best converged elsewhere.
void CTrackerZBCCE::LeaveOutPoorFits(std::vector<double>& coefficients) const {
    std::vector<float> brightness, depth;
    std::vector<bool> counted;
    for (std::size_t k = 0; k < coefficients.size(); ++k) {
        const bool estimated = k < losses.size() && losses[k].estimated;
        counted.push_back(coefficients[k] > 0.0 && estimated);
        brightness.push_back(estimated ? losses[k].brightnessScale : 0.0f);
        depth.push_back(estimated ? losses[k].depthScale : 0.0f);
    }
    const std::vector<bool> poorBrightness = PoorFits(brightness, counted, kPoorFitRatio, kPoorFitFloor);
    const std::vector<bool> poorDepth = PoorFits(depth, counted, kPoorFitRatio, kPoorFitFloor);
    for (std::size_t k = 0; k < coefficients.size(); ++k)
        if (poorBrightness[k] || poorDepth[k]) coefficients[k] = 0.0;
}

// A keyframe pair that converged to a wrong minimum gives a pose far from the other pairs'.
void CTrackerZBCCE::LeaveOutDisagreeing(std::vector<double>& coefficients) const {
    std::vector<cv::Matx33d> rotations;
    std::vector<float> misfits;
    std::vector<std::size_t> counted;
    std::size_t k = 0;
    for (const auto& match : matches) {
        const std::unique_ptr<CPose> candidate(coefficients[k] > 0.0 ? CandidatePose(*match) : nullptr);
        if (candidate) {
            cv::Vec3d translation;
            rotations.emplace_back();
            MotionOf(*candidate, rotations.back(), translation);
            counted.push_back(k);
            // Both blocks' residual scales in noise units; unknown (NaN) tells nothing.
            const bool estimated = k < losses.size() && losses[k].estimated;
            misfits.push_back(estimated ? losses[k].brightnessScale + losses[k].depthScale : NAN);
        }
        ++k;
    }
    const std::vector<bool> agree = AgreeingCandidates(rotations, kCandidateSpreadRad, misfits);
    for (std::size_t i = 0; i < counted.size(); ++i)
        if (!agree[i]) coefficients[counted[i]] = 0.0;
}

CPose* CTrackerZBCCE::MergePoses(int mergePose) {
    if (matches.empty()) return new CPose();
    if (mergePose != CTrackerParameters::POSE_AVERAGE && mergePose != CTrackerParameters::POSE_WEIGHTED_AVERAGE &&
        mergePose != CTrackerParameters::POSE_COVARIANCE) {
        // POSE_FIRST: the front pair, or the first that passes its loss.
        const CFrameMatch* front = matches.front().get();
        std::size_t k = 0;
        for (const auto& match : matches)
            if (Trusted(k++)) {
                front = match.get();
                break;
            }
        CPose* first = CandidatePose(*front);
        return first ? first : new CPose();
    }
    // Weighted means of the candidates' rotation vectors and translations: the candidates are
    // estimates of one pose, close to each other.
    const std::vector<double> coefficients = MergeCoefficients(mergePose);
    double sum = 0.0, rotation[3] = {0, 0, 0}, translation[3] = {0, 0, 0};
    std::size_t k = 0;
    for (const auto& match : matches) {
        const std::unique_ptr<CPose> candidate(CandidatePose(*match));
        const double c = coefficients[k++];
        if (!candidate || c == 0.0) continue;
        for (int i = 0; i < 3; ++i) {
            rotation[i] += c * candidate->GetRotation(i);
            translation[i] += c * candidate->GetTranslation(i);
        }
        sum += c;
    }
    if (!(sum > 0.0)) return new CPose();
    auto* merged = new CPose(static_cast<float>(rotation[0] / sum), static_cast<float>(rotation[1] / sum),
                             static_cast<float>(rotation[2] / sum), static_cast<float>(translation[0] / sum),
                             static_cast<float>(translation[1] / sum), static_cast<float>(translation[2] / sum));
    if (mergePose == CTrackerParameters::POSE_COVARIANCE) {
        // 1/sum(1/weight): the uncertainty the covariance matching adds to this frame's scores.
        double inverseSum = 0.0;
        bool perfect = false;
        for (const auto& match : matches) {
            perfect = perfect || match->GetWeight() == 0.0f;
            inverseSum += 1.0 / match->GetWeight();
        }
        merged->SetWeight(perfect || !(inverseSum > 0.0) ? 0.0f : static_cast<float>(1.0 / inverseSum));
    }
    return merged;
}

void CTrackerZBCCE::WriteResults(std::ostream& out) {
    for (const auto& match : matches) {
        CPose* pose = match->GetRelativePose();
        if (!pose) continue;
        out << match->GetReference()->GetIndex() << " " << match->GetCurrent()->GetIndex() << " " << pose->GetWeight()
            << " ";
        pose->Write(out);
    }
}
