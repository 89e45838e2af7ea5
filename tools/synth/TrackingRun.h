// Replays a written synthetic sequence through the stereo source and the pose tracker the way the
// host would, and measures the tracked poses against the ground truth.
//
// The run: the source grabs the first frames while "detecting" (no region, no tracking); when the
// last still frame (file index stillFrames) is the newest, the face region the initialiser would
// give is set, and every later frame is grabbed and tracked. The tracker's pose of frame k is then
// the motion from frame stillFrames to frame k, in the axes of the recorded 3D data: Y up through
// disparity (and X, Y files written Y up), Y down otherwise. Errors are taken in those axes.
#pragma once

#include <string>
#include <vector>

#include "synth/GroundTruth.h"
#include "synth/HeadScene.h"
#include "synth/TrackingErrors.h"
#include "tracking/TrackerParameters.h"

class CPose;

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

// With the default SIZE_FACE values (60; 80, 30; 400, 300): the detector's box is centred on the
// projection of the head centre and spans half the head's projected width and height; its mean
// depth is taken over every pixel of the box, as the initialiser does with an all-ones mask.
FaceRegion InitialiserRegion(const RenderedFrame& frame, const StereoRig& camera, const CRigidMotion& headPose);

struct PoseError {
    double rotationDeg = 0.0;    // angle of R_est^T R_true
    double translationMm = 0.0;  // |t_est - t_true|
};

PoseError ComparePose(const CPose& estimated, const CRigidMotion& truth);

struct TrackedFrameResult {
    int index = 0;
    CRigidMotion truth;
    CRigidMotion estimated;
    PoseError error;
};

TrackingErrors Summarise(const std::vector<TrackedFrameResult>& results);

struct TrackingRunOptions {
    std::string folder;               // written by CSequenceWriter with the needed forms
    std::string path = "xyz";         // 3D path: xyz, disparity, iff (recorded) or live (stereo pairs)
    bool yUpFiles = false;            // the X, Y files were written Y up
    int stillFrames = 8;
    CTrackerParameters tracker;       // output file names are ignored
    bool perspective = false;         // "PROJECTION: PERSPECTIVE" for the source
    FaceRegion region;
};

// False, with the reason in *error, when the folder cannot be replayed or tracking never starts.
bool RunTracking(const TrackingRunOptions& options, const CGroundTruth& truth,
                 std::vector<TrackedFrameResult>& results, std::string* error);
