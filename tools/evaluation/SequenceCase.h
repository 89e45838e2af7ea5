// One measured case: a trajectory rendered at one distance, focal length and noise, written into
// a folder in the forms its 3D paths read, with its ground truth and the face region the
// initialiser would give at the end of the still frames.
#pragma once

#include <string>
#include <vector>

#include "synth/GroundTruth.h"
#include "synth/HeadScene.h"
#include "synth/RigidMotion.h"
#include "synth/TrackingRun.h"
#include "synth/Trajectory.h"

struct SequenceCase {
    std::string trajectory = "yaw";
    double distanceMm = 950.0;
    double focalPx = 380.0;
    cv::Vec2d offsetMm{0.0, 0.0};  // the head's rest position off the optical axis, right and down
    double noise = 0.0;           // grey levels
    double depthNoiseMm = 0.0;    // along the ray
    int frames = 120;             // sinusoidal trajectories; random ones get 300, timed ones what they need
    int stillFrames = 8;
    double framesPerSecond = 30.0;  // the camera's rate: how far a timed motion gets in a frame
    unsigned seed = 1;
    bool yUp = false;
    std::vector<std::string> paths{"xyz"};
    SceneOptions scene;           // head shape, shading, stereo-like depth errors; camera and noise set below
    std::vector<std::string> stereoKeywords;  // lines added to the live camera's file
    std::string exactDepth;       // the live path takes the rendered depth so (synth/ExactDepth.h)

    // "950 mm f380", with " n2 d2.6" for intensity noise 2 and depth noise 2.6 mm.
    std::string Label() const;
    // The depth noise the scene gets, mm.
    double DepthNoiseSigmaMm() const;
    SceneOptions Scene() const;
    TrajectoryOptions Trajectory() const;
};

struct WrittenCase {
    std::string folder;  // absolute
    StereoRig camera;
    CGroundTruth truth;
    FaceRegion region;         // with the initialiser's default sizes
    RenderedFrame stillFrame;  // the last still frame, where the region is found
    CRigidMotion stillPose;
    int frameCount = 0;
    std::vector<bool> headVisible;  // by frame (file index - 1): some head pixel is in view
    std::vector<bool> faceInView;   // the whole face box (synth/TrackingRun.h FaceBox) is in the image

    // The first frame (file index) at which the face box is in view again after a frame without
    // any head pixel; -1 when the head never leaves.
    int ReturnFrame() const;
    // The region with the SIZE_FACE values of an initialiser configuration ("ParamInit.cfg" text).
    FaceRegion RegionFor(const std::string& initText) const;
};

// Renders and writes the case into `folder` (made when missing); false, with the reason in *error.
bool WriteSequenceCase(const SequenceCase& sequence, const std::string& folder, WrittenCase& written,
                       std::string* error);
// The same for given poses (the pairs command), with the face region at frame stillFrames.
bool WritePoses(const SequenceCase& sequence, const std::vector<CRigidMotion>& poses, const std::string& folder,
                WrittenCase& written, std::string* error);
