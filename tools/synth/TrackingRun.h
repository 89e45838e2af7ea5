// Replays a written synthetic sequence through the stereo source and the pose tracker the way the
// host would, and measures the tracked poses against the ground truth.
//
// The run: the source grabs the first frames while "detecting" (no region, no tracking); when the
// last still frame (file index stillFrames) is the newest, the face region the initialiser would
// give is set, and every later frame is grabbed and tracked. The tracker's pose of frame k is then
// the motion from frame stillFrames to frame k, in the axes of the recorded 3D data: Y up through
// disparity (and X, Y files written Y up), Y down otherwise. Errors are taken in those axes.
//
// The head-centre error of a frame is how far apart the estimated and the true motion put one
// point of the frame where tracking started: by default the rendered head's centre (the centre of
// its ellipsoid), or, on request, the face centroid the tracker computes for the first tracked
// frame (the centroid of the face region's masked pixels), which is all a tracker knows.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "synth/GroundTruth.h"
#include "synth/HeadScene.h"
#include "synth/RunConfiguration.h"
#include "synth/TrackingErrors.h"
#include "init/InitParameters.h"
#include "tracking/TrackerParameters.h"

class CPose;
class CStereoSource;

// The face region of the initialiser's getters: box centre +- SIZE_FACE_X across, SIZE_FACE_Y
// above and below (left and top clamped at 0), depth SIZE_FACE_Z in front and behind the mean
// depth inside the detected box.
struct FaceRegion {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
    float minDepth = -1.0f;
    float maxDepth = -1.0f;
};

// The box a face detector gives for the head: centred on the projection of the head centre, half
// the head's projected width and height (the box may reach past the image).
cv::Rect FaceBox(const StereoRig& camera, const CRigidMotion& headPose);

// With the default SIZE_FACE values (60; 80, 30; 400, 300): the detector's box is centred on the
// projection of the head centre and spans half the head's projected width and height; its mean
// depth is taken over every pixel of the box, as the initialiser does with an all-ones mask.
// Other SIZE_FACE values may be given.
FaceRegion InitialiserRegion(const RenderedFrame& frame, const StereoRig& camera, const CRigidMotion& headPose,
                             const CInitParameters& size = CInitParameters());

struct PoseError {
    double rotationDeg = 0.0;    // angle of R_est^T R_true
    double translationMm = 0.0;  // |t_est - t_true|
    double headCentreMm = 0.0;   // |(R_est c + t_est) - (R_true c + t_true)|
};

CRigidMotion ToMotion(CPose pose);
PoseError ComparePose(const CRigidMotion& estimated, const CRigidMotion& truth, const cv::Vec3d& centre);
PoseError ComparePose(const CPose& estimated, const CRigidMotion& truth, const cv::Vec3d& centre);

struct TrackedFrameResult {
    int index = 0;
    CRigidMotion truth;
    CRigidMotion estimated;
    PoseError error;
    cv::Vec3d centre;      // the point the head-centre error is taken at, in the data's axes
    double seconds = 0.0;  // the tracking step of this frame
};

TrackingErrors Summarise(const std::vector<TrackedFrameResult>& results);

enum class CentrePoint {
    kHeadCentre,    // the rendered head's centre where tracking started
    kFaceCentroid,  // the first tracked frame's face centroid
};

struct TrackingRunOptions {
    std::string folder;               // written by CSequenceWriter with the needed forms
    std::string path = "xyz";         // 3D path: xyz, disparity, iff (recorded) or live (stereo pairs)
    bool yUpFiles = false;            // the X, Y files were written Y up
    int stillFrames = 8;
    CTrackerParameters tracker;       // output file names are ignored
    bool perspective = false;         // "PROJECTION: PERSPECTIVE" for the source
    // When given, the source and the tracker read these texts instead of `tracker` and `perspective`.
    std::optional<RunConfiguration> configuration;
    FaceRegion region;
    CentrePoint centre = CentrePoint::kHeadCentre;
    // The live path: each frame's matched depth replaced by the X, Y, Z files' where this mode of
    // synth/ExactDepth.h says ("" none).
    std::string exactDepth;
};

// The recorded 3D data of the run has Y up (disparity, or X, Y files written so).
bool DataYUp(const TrackingRunOptions& options);

// Sees the source after every grab from the frame where tracking starts on (that frame first,
// then each frame before the tracker works on it), with the frame's file index.
using FrameObserver = std::function<void(const CStereoSource& source, int fileIndex)>;

// False, with the reason in *error, when the folder cannot be replayed or tracking never starts.
bool RunTracking(const TrackingRunOptions& options, const CGroundTruth& truth,
                 std::vector<TrackedFrameResult>& results, std::string* error,
                 const FrameObserver& observer = FrameObserver());
