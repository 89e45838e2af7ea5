// The per-step log that the Java runner (quillmere.posewarden.demo.TrackSequence) writes, read
// back for the pictures and the comparison with ground truth.
//
// Lines starting with '#' are comments; every other line is one updateImage step, 19 fields:
//   step frame state event o1 o2 o3 t1 t2 t3 x1 x2 x3 y1 y2 y3 z1 z2 z3
// frame is the file index of the newest frame after the step, state 0 detecting or 1 tracking,
// event "found" (the face was found in this frame), "lost" (tracking was lost and a new frame
// grabbed) or "-"; then the fifteen values of the pose object (centroid, translation, rotation
// columns), in the unit and frame of the camera's 3D images.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/RigidMotion.h"

struct TrackLogStep {
    int step = 0;
    int frame = 0;
    bool tracking = false;
    std::string event;
    cv::Vec3d centroid;
    CRigidMotion pose;  // p' = R p + t

    bool Found() const { return event == "found"; }
    bool Lost() const { return event == "lost"; }
    // A step whose pose the tracker estimated (the finding step only starts tracking).
    bool Tracked() const { return tracking && !Found(); }
};

class CTrackLog {
public:
    // Replaces the steps by the file's; false, with the reason in *error, on a malformed line.
    bool Read(const std::string& path, std::string* error);
    const std::vector<TrackLogStep>& Steps() const { return steps_; }
    // The frame in which the face of step k's tracking run was found (the frame its pose starts
    // from); -1 when step k is not part of a tracking run.
    int AnchorFrame(std::size_t k) const;

private:
    std::vector<TrackLogStep> steps_;
};
