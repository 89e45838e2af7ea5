// The pose tracker: once per grabbed frame, Track registers the stereo source's newest frame
// against stored frames (the previous one, the first one, or the most similar keyframes),
// estimates each relative motion, merges the resulting absolute poses and gives the merged pose
// to the newest frame. Settings come from "ParamTrackerZBCCE.cfg" (TrackerParameters.h).
//
// Outputs, when named in the configuration and openable: the results file, one line per frame
// pair of a step ("ref cur weight t1 t2 t3 r1 r2 r3"), and the poses file, one pose line per
// tracked frame. Both stay open for the tracker's lifetime.
//
// With ITERATIONS set, every pair is estimated by the iterated estimator (IterativeEstimator.h),
// starting from the motion the stored poses predict, and judged by its loss (MotionLoss.h): pairs
// that fail the loss thresholds are left out of the merge, and when the front pair fails and no
// other pair passes, GetFirstMatchMotion lends that motion without a rotation vector (as a pose
// built from a matrix), which the tracker initialiser's Validate refuses: the face is lost.
//
// Ownership: the tracker owns the frame pairs of the last step with their relative poses (valid
// until the next Track), its estimator and its output streams. Frames belong to the source; the
// tracker only sets the newest frame's pose. MergePoses returns a new pose the caller owns;
// GetFirstMatchMotion lends one.
#pragma once

#include <fstream>
#include <istream>
#include <limits>
#include <list>
#include <map>
#include <memory>
#include <ostream>
#include <vector>

#include "tracking/FrameMatch.h"
#include "tracking/HiddenFaces.h"
#include "tracking/IterativeEstimator.h"
#include "tracking/MotionEstimator.h"
#include "tracking/MotionLoss.h"
#include "tracking/Pose.h"
#include "tracking/RegionFollower.h"
#include "tracking/RegionScreen.h"
#include "tracking/TrackerParameters.h"

class CImage;
class CImageROI;
class CPose;
class CStereoSource;
class CTrackedFrame;

class CTrackerZBCCE {
public:
    using MatchList = std::list<std::unique_ptr<CFrameMatch>>;

    explicit CTrackerZBCCE(std::istream& configuration);
    explicit CTrackerZBCCE(const CTrackerParameters& parameters);
    ~CTrackerZBCCE();
    CTrackerZBCCE(const CTrackerZBCCE&) = delete;
    CTrackerZBCCE& operator=(const CTrackerZBCCE&) = delete;

    // Always 1. Does nothing when the source holds no frame.
    int Track(CStereoSource& source);

    // The motion of the front pair of the last step, or the identity when the step made no pair;
    // lent by the tracker, valid until the next Track.
    CPose* GetFirstMatchMotion();

    void SelectMatches(CStereoSource& source, CTrackedFrame* current, int matchFunction);
    // Inserts a record at the front, as SelectMatches does; nothing for a missing frame.
    void AddMatch(CTrackedFrame* reference, CTrackedFrame* current, float weight);
    // A new pose the caller owns, merged from the estimated pairs' candidate poses of the tracked
    // frame (its reference's pose followed by the relative motion, composed exactly): POSE_FIRST
    // the front one; the averages the mean rotation vector and translation, equally weighted or
    // by 1/weight (records of weight 0, when there are any, alone); POSE_COVARIANCE also sets
    // the weight 1/sum(1/weight). The identity without pairs.
    CPose* MergePoses(int mergePose);
    // Ascending weight; an exchange sort, so pairs of equal weight may change places.
    void SortMatchesByWeight();
    void WriteResults(std::ostream& out);

    CPose* EstimateMotionInRegion(CTrackedFrame* reference, CTrackedFrame* current, const CImageROI* region);

    // sqrt of the sum of squared differences of the two intensity images.
    static float IntensityDistance(CTrackedFrame* stored, CTrackedFrame* current);
    // The same over the part of `region` inside both images; -1 when nothing of it is. Once the
    // distance of the rows summed so far exceeds `bound`, that partial distance instead: no more
    // than the whole one, and above the bound.
    static float RegionIntensityDistance(const CImage* a, const CImage* b, const CImageROI& region,
                                         float bound = std::numeric_limits<float>::infinity());
    // Sum of squared differences over a's pixels, accumulated in float.
    static float SquaredIntensityDifference(CImage* a, CImage* b);

    const CTrackerParameters& GetParameters() const { return parameters; }
    const MatchList& GetMatches() const { return matches; }
    // The losses of the last step's pairs, in the order of GetMatches; empty unless iterated.
    const std::vector<MotionLoss>& GetLosses() const { return losses; }
    // False when the last step was iterated and no pair passed the loss thresholds.
    bool FirstMatchTrusted() const;
    CMotionEstimator& GetEstimator() { return estimator; }
    bool HasResultsFile() const { return resultsFile != nullptr; }
    bool HasPosesFile() const { return posesFile != nullptr; }

private:
    void OpenOutputs();
    void ClearMatches() { matches.clear(); }
    void AddKeyframeCandidates(CStereoSource& source, CTrackedFrame* current, int matchFunction);
    // A frame whose face was partly hidden (OCCLUSION_GAP), and the frame that stands for the
    // previous one as a reference: the newest before the current one whose face was clear, the
    // previous one itself when none was.
    bool HiddenFace(const CTrackedFrame& frame) const;
    CTrackedFrame* ReferenceFrame(const CStereoSource& source) const;
    int MaxBestMatches() const;
    CPose* CandidatePose(const CFrameMatch& match) const;
    std::vector<double> MergeCoefficients(int mergePose) const;
    // Zero the coefficients of iterated candidates whose residual is far above the step's best,
    // and of those whose rotation disagrees with the others.
    void LeaveOutPoorFits(std::vector<double>& coefficients) const;
    void LeaveOutDisagreeing(std::vector<double>& coefficients) const;
    void EstimateIterated(CStereoSource& source);
    // The reference-to-current motion the stored poses predict (the tracked frame where the
    // frame before it was); null when a pose is missing.
    CPose* PredictedMotion(const CFrameMatch& match, const CStereoSource& source) const;
    // Relates each pair's matched face pixels to those of the tracking session's first pair.
    void UpdateFaceShares(const CStereoSource& source);
    // Pairs whose residual scales jumped far above the last step's best fail their loss.
    void MarkResidualJumps();
    void RememberBestScales();
    bool Trusted(std::size_t match) const;
    // Whether the tracked frame's merged pose turned further from the previous frame's than
    // MAX_FRAME_ROTATION allows.
    bool TurnedTooFar(const CStereoSource& source) const;

    MatchList matches;
    CTrackerParameters parameters;
    CMotionEstimator estimator;
    std::unique_ptr<std::ofstream> resultsFile;
    std::unique_ptr<std::ofstream> posesFile;
    CPose noMotion;
    CTrackedFrame* trackedFrame = nullptr;  // the frame SelectMatches was given

    CIterativeEstimator iterativeEstimator;
    LossThresholds thresholds;
    std::vector<MotionLoss> losses;
    CPose untrustedMotion;  // lent by GetFirstMatchMotion when no pair passed its loss
    bool stepRefused = false;  // the last step turned too far: no pair of it is trusted
    // The tracking session: its face region and last frame, and its first pair's matched pixels.
    int sessionRegion[4] = {0, 0, 0, 0};
    float sessionDepths[2] = {0.0f, 0.0f};
    int sessionFaceRows = 0;
    // The smallest brightness and depth residual scales of the last step's trusted pairs, 0
    // before the session's first step.
    float lastBestScales[2] = {0.0f, 0.0f};
    // Region following: the face each tracked frame was grabbed with (its own reference box
    // later), the follower, and the region it set last (no new session for that change).
    bool Following() const { return parameters.followRegion && parameters.Iterated(); }
    void FollowRegion(CStereoSource& source);
    void StartFollowing(const CStereoSource& source);
    // A new session: the hidden frames of the last one go, its face is taken as found.
    void StartHiddenFaces(const CStereoSource& source);
    std::map<int, FaceArea> frameFaces;
    CRegionFollower follower;
    CHiddenFaces hiddenFaces;
    CRegionScreen regionScreen;  // the keyframe choice's lower bounds (REGION comparison)
    bool followedSet = false;
    FaceArea followedFace;
};
