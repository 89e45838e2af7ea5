#include "synth/TrackingRun.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <sstream>

#include "acquisition/StereoSource.h"
#include "image/Image.h"
#include "image/ImagePixels.h"
#include "init/InitParameters.h"
#include "synth/ExactDepth.h"
#include "tracking/Pose.h"
#include "tracking/TrackerZBCCE.h"

CRigidMotion ToMotion(CPose pose) {
    pose.UpdateRotationMatrix();
    cv::Matx33d rotation;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) rotation(i, j) = pose.GetRotationMatrix(i, j);
    return CRigidMotion(rotation, {pose.GetTranslation(0), pose.GetTranslation(1), pose.GetTranslation(2)});
}

cv::Rect FaceBox(const StereoRig& camera, const CRigidMotion& headPose) {
    const cv::Vec3d centre = headPose.Translation();
    const double cx = camera.centreX + camera.focalPx * centre[0] / centre[2];
    const double cy = camera.centreY + camera.focalPx * centre[1] / centre[2];
    // Semi-axes 75 x 100 mm project to about 30 x 40 pixels at 950 mm: a face box of half that.
    const double halfWidth = 0.5 * camera.focalPx * 75.0 / centre[2];
    const double halfHeight = 0.5 * camera.focalPx * 100.0 / centre[2];
    return cv::Rect(cv::Point(static_cast<int>(cx - halfWidth), static_cast<int>(cy - halfHeight)),
                    cv::Point(static_cast<int>(cx + halfWidth), static_cast<int>(cy + halfHeight)));
}

FaceRegion InitialiserRegion(const RenderedFrame& frame, const StereoRig& camera, const CRigidMotion& headPose,
                             const CInitParameters& size) {
    const cv::Rect box = FaceBox(camera, headPose) & cv::Rect(0, 0, frame.z.cols, frame.z.rows);
    // Over the pixels with depth only, as the initialiser weighs by the mask: holes are not 0 mm away.
    const float depth = box.area() > 0 ? static_cast<float>(cv::mean(frame.z(box), frame.z(box) > 0.0f)[0]) : 0.0f;
    FaceRegion region;
    const int boxX = static_cast<int>((box.x + box.x + box.width) / 2.0);
    const int boxY = static_cast<int>((box.y + box.y + box.height) / 2.0);
    region.left = boxX <= size.sizeFaceX ? 0 : boxX - size.sizeFaceX;
    region.right = boxX + size.sizeFaceX;
    region.top = boxY <= size.sizeFaceYAbove ? 0 : boxY - size.sizeFaceYAbove;
    region.bottom = boxY + size.sizeFaceYBelow;
    region.minDepth = depth <= size.sizeFaceZFront ? 0.0f : depth - size.sizeFaceZFront;
    region.maxDepth = depth + size.sizeFaceZBehind;
    return region;
}

PoseError ComparePose(const CRigidMotion& estimated, const CRigidMotion& truth, const cv::Vec3d& centre) {
    PoseError error;
    error.rotationDeg = RotationDifferenceDeg(estimated.Rotation(), truth.Rotation());
    error.translationMm = cv::norm(estimated.Translation() - truth.Translation());
    error.headCentreMm =
        PointDistance(estimated.Rotation(), estimated.Translation(), truth.Rotation(), truth.Translation(), centre);
    return error;
}

PoseError ComparePose(const CPose& estimated, const CRigidMotion& truth, const cv::Vec3d& centre) {
    return ComparePose(ToMotion(estimated), truth, centre);
}

TrackingErrors Summarise(const std::vector<TrackedFrameResult>& results) {
    TrackingErrors errors;
    for (const TrackedFrameResult& r : results)
        errors.Add(r.error.rotationDeg, r.error.translationMm, r.error.headCentreMm);
    return errors;
}

bool DataYUp(const TrackingRunOptions& options) {
    return options.path == "disparity" || (options.path == "xyz" && options.yUpFiles);
}

bool RunTracking(const TrackingRunOptions& options, const CGroundTruth& truth,
                 std::vector<TrackedFrameResult>& results, std::string* error, const FrameObserver& observer) {
    results.clear();
    const auto fail = [&](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    // The live path matches the stereo pairs with the live camera; the others replay recorded 3D.
    const std::string paramText =
        options.configuration
            ? options.configuration->ParamFor(options.folder, options.path)
            : std::string("CAMERA_TYPE: ") + (options.path == "live" ? "SRI" : "FILES") + "\nCONFIG_FILENAME: " +
                  options.folder + "/camera-" + options.path + ".cfg\nMAX_FRAMES: 100\n" +
                  (options.perspective ? "PROJECTION: PERSPECTIVE\n" : "");
    std::istringstream param(paramText);
    CStereoSource source(&param);
    if (!source.GetCurrentFrame()) return fail("the source grabbed no first frame from " + options.folder);
    while (source.GetCurrentFrame()->GetIndex() < options.stillFrames)
        if (!source.GrabImage()) return fail("the sequence ends before tracking starts");
    const FaceRegion& r = options.region;
    source.SetRegion(r.left, r.right, r.top, r.bottom, r.minDepth, r.maxDepth);

    std::unique_ptr<CTrackerZBCCE> tracker;
    if (options.configuration) {
        std::istringstream text(options.configuration->tracker);
        tracker = std::make_unique<CTrackerZBCCE>(text);
    } else {
        CTrackerParameters parameters = options.tracker;
        parameters.resultsFileName.clear();
        parameters.posesFileName.clear();
        tracker = std::make_unique<CTrackerZBCCE>(parameters);
    }
    std::istringstream exactParam;
    std::unique_ptr<CStereoSource> exact;
    if (!options.exactDepth.empty() && options.path == "live") {
        exactParam.str("CAMERA_TYPE: FILES\nCONFIG_FILENAME: " + options.folder + "/camera-xyz.cfg\nMAX_FRAMES: 2\n");
        exact = std::make_unique<CStereoSource>(&exactParam);
        if (!exact->GetCurrentFrame()) return fail("no X, Y, Z files to take the exact depth from in " + options.folder);
    }
    // The exact frame of the same index; false when the files end first.
    const auto putExact = [&](CTrackedFrame& frame) {
        if (!exact) return true;
        while (exact->GetCurrentFrame()->GetIndex() < frame.GetIndex())
            if (!exact->GrabImage()) return false;
        cv::Mat depth = image_pixels::View(frame.GetDepth()->GetIplImage());
        cv::Mat x = image_pixels::View(frame.GetImageX()->GetIplImage());
        cv::Mat y = image_pixels::View(frame.GetImageY()->GetIplImage());
        exact_depth::Put(options.exactDepth, image_pixels::View(exact->GetCurrentFrame()->GetDepth()->GetIplImage()),
                         depth, x, y);
        return true;
    };
    if (!putExact(*source.GetCurrentFrame())) return fail("the X, Y, Z files end before tracking starts");
    const int start = source.GetCurrentFrame()->GetIndex();
    const bool yUp = DataYUp(options);
    const CRigidMotion* startPose = truth.Find(start);
    if (!startPose) return fail("no ground truth for the frame where tracking starts");
    cv::Vec3d centre = startPose->Translation();
    if (yUp) centre[1] = -centre[1];
    if (observer) observer(source, start);
    // Up to the last frame of the truth: a live camera reports the grab past the end on stdout.
    const int last = truth.Frames().back().index;
    while (source.GetCurrentFrame()->GetIndex() < last && source.GrabImage()) {
        CTrackedFrame* frame = source.GetCurrentFrame();
        if (!putExact(*frame)) return fail("the X, Y, Z files end before the stereo pairs");
        if (options.centre == CentrePoint::kFaceCentroid && frame->GetIndex() == start + 1)
            centre = cv::Vec3d(frame->GetCentroidX(), frame->GetCentroidY(), frame->GetCentroidZ());
        if (observer) observer(source, frame->GetIndex());
        const auto begin = std::chrono::steady_clock::now();
        tracker->Track(source);
        TrackedFrameResult result;
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        result.index = frame->GetIndex();
        if (!truth.Motion(start, result.index, result.truth)) return fail("no ground truth for a tracked frame");
        if (yUp) result.truth = result.truth.FlippedY();
        result.estimated = ToMotion(*frame->GetPose());
        results.push_back(result);
    }
    // The face centroid is known only once the first tracked frame is in.
    for (TrackedFrameResult& r : results) {
        r.centre = centre;
        r.error = ComparePose(r.estimated, r.truth, centre);
    }
    return true;
}
