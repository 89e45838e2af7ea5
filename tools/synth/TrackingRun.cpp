#include "synth/TrackingRun.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "acquisition/StereoSource.h"
#include "tracking/Pose.h"
#include "tracking/TrackerZBCCE.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSizeFaceX = 60;
constexpr int kSizeFaceAbove = 80;
constexpr int kSizeFaceBelow = 30;
constexpr float kSizeFaceFront = 400.0f;
constexpr float kSizeFaceBehind = 300.0f;

CRigidMotion ToMotion(CPose pose) {
    pose.UpdateRotationMatrix();
    cv::Matx33d rotation;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) rotation(i, j) = pose.GetRotationMatrix(i, j);
    return CRigidMotion(rotation, {pose.GetTranslation(0), pose.GetTranslation(1), pose.GetTranslation(2)});
}

}  // namespace

FaceRegion InitialiserRegion(const RenderedFrame& frame, const StereoRig& camera, const CRigidMotion& headPose) {
    const cv::Vec3d centre = headPose.Translation();
    const double cx = camera.centreX + camera.focalPx * centre[0] / centre[2];
    const double cy = camera.centreY + camera.focalPx * centre[1] / centre[2];
    // Semi-axes 75 x 100 mm project to about 30 x 40 pixels at 950 mm: a face box of half that.
    const double halfWidth = 0.5 * camera.focalPx * 75.0 / centre[2];
    const double halfHeight = 0.5 * camera.focalPx * 100.0 / centre[2];
    const cv::Rect box = cv::Rect(cv::Point(static_cast<int>(cx - halfWidth), static_cast<int>(cy - halfHeight)),
                                  cv::Point(static_cast<int>(cx + halfWidth), static_cast<int>(cy + halfHeight))) &
                         cv::Rect(0, 0, frame.z.cols, frame.z.rows);
    const float depth = box.area() > 0 ? static_cast<float>(cv::mean(frame.z(box))[0]) : 0.0f;
    FaceRegion region;
    const int boxX = static_cast<int>((box.x + box.x + box.width) / 2.0);
    const int boxY = static_cast<int>((box.y + box.y + box.height) / 2.0);
    region.left = boxX <= kSizeFaceX ? 0 : boxX - kSizeFaceX;
    region.right = boxX + kSizeFaceX;
    region.top = boxY <= kSizeFaceAbove ? 0 : boxY - kSizeFaceAbove;
    region.bottom = boxY + kSizeFaceBelow;
    region.minDepth = depth <= kSizeFaceFront ? 0.0f : depth - kSizeFaceFront;
    region.maxDepth = depth + kSizeFaceBehind;
    return region;
}

PoseError ComparePose(const CPose& estimated, const CRigidMotion& truth) {
    const CRigidMotion motion = ToMotion(estimated);
    const cv::Matx33d difference = motion.Rotation().t() * truth.Rotation();
    const double cosine = std::clamp((cv::trace(difference) - 1.0) / 2.0, -1.0, 1.0);
    PoseError error;
    error.rotationDeg = std::acos(cosine) * 180.0 / kPi;
    error.translationMm = cv::norm(motion.Translation() - truth.Translation());
    return error;
}

ErrorSummary Summarise(const std::vector<TrackedFrameResult>& results) {
    ErrorSummary summary;
    summary.frames = static_cast<int>(results.size());
    if (results.empty()) return summary;
    double rotationSquares = 0.0, translationSquares = 0.0;
    for (const TrackedFrameResult& r : results) {
        rotationSquares += r.error.rotationDeg * r.error.rotationDeg;
        translationSquares += r.error.translationMm * r.error.translationMm;
        summary.rotationMaxDeg = std::max(summary.rotationMaxDeg, r.error.rotationDeg);
        summary.translationMaxMm = std::max(summary.translationMaxMm, r.error.translationMm);
    }
    summary.rotationRmsDeg = std::sqrt(rotationSquares / results.size());
    summary.translationRmsMm = std::sqrt(translationSquares / results.size());
    summary.rotationLastDeg = results.back().error.rotationDeg;
    summary.translationLastMm = results.back().error.translationMm;
    return summary;
}

bool RunTracking(const TrackingRunOptions& options, const CGroundTruth& truth,
                 std::vector<TrackedFrameResult>& results, std::string* error) {
    results.clear();
    const auto fail = [&](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    // The live path matches the stereo pairs with the live camera; the others replay recorded 3D.
    std::istringstream param(std::string("CAMERA_TYPE: ") + (options.path == "live" ? "SRI" : "FILES") +
                             "\nCONFIG_FILENAME: " + options.folder + "/camera-" + options.path +
                             ".cfg\nMAX_FRAMES: 100\n" + (options.perspective ? "PROJECTION: PERSPECTIVE\n" : ""));
    CStereoSource source(&param);
    if (!source.GetCurrentFrame()) return fail("the source grabbed no first frame from " + options.folder);
    while (source.GetCurrentFrame()->GetIndex() < options.stillFrames)
        if (!source.GrabImage()) return fail("the sequence ends before tracking starts");
    const FaceRegion& r = options.region;
    source.SetRegion(r.left, r.right, r.top, r.bottom, r.minDepth, r.maxDepth);

    CTrackerParameters parameters = options.tracker;
    parameters.resultsFileName.clear();
    parameters.posesFileName.clear();
    CTrackerZBCCE tracker(parameters);
    const int start = source.GetCurrentFrame()->GetIndex();
    const bool yUp = options.path == "disparity" || (options.path == "xyz" && options.yUpFiles);
    while (source.GrabImage()) {
        tracker.Track(source);
        CTrackedFrame* frame = source.GetCurrentFrame();
        TrackedFrameResult result;
        result.index = frame->GetIndex();
        if (!truth.Motion(start, result.index, result.truth)) return fail("no ground truth for a tracked frame");
        if (yUp) result.truth = result.truth.FlippedY();
        result.estimated = ToMotion(*frame->GetPose());
        result.error = ComparePose(*frame->GetPose(), result.truth);
        results.push_back(result);
    }
    return true;
}
