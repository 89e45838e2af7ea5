// Head trajectories by name: one head pose (head frame to left camera frame, see HeadScene.h) per
// frame of a sequence.
//
// Every trajectory starts with `stillFrames` frames at the rest pose (no rotation, head centre at
// (0, 0, distanceMm)) so that a face detector can lock on, then moves over the remaining frames and
// ends at the rest pose again. With s running from 0 at the last still frame to 1 at the last frame:
//   still      the rest pose throughout
//   yaw        rotation about the camera's vertical (Y) axis through the head centre, A sin(2 pi n s)
//   pitch      the same about the horizontal (X) axis
//   roll       the same about the optical (Z) axis
//   translate  head centre moved by (mx, my, mz) sin(2 pi n s)
//   random     each rotation-vector and translation component a seeded sum of three harmonics,
//              windowed by sin^2(pi s) so it starts and stops smoothly, bounded by A and (mx, my, mz)
//   leave      head centre moved sideways along +X by mx (1 - cos(2 pi s)) / 2: with the default
//              650 mm it leaves the image and comes back
//   tour       yaw A sin(2 pi n s) and pitch A/2 sin(4 pi n s) about the head centre, which moves by
//              (mx, my, mz) sin(2 pi n s): a turn with two nods while the head drifts
// A is amplitudeRad, n is cycles, (mx, my, mz) is amplitudeMm (a negative component picks the
// trajectory's own default for that component).
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/RigidMotion.h"

struct TrajectoryOptions {
    std::string name = "still";
    int frameCount = 120;
    int stillFrames = 8;
    double distanceMm = 950.0;
    double amplitudeRad = 0.3490658503988659;  // 20 degrees
    cv::Vec3d amplitudeMm{-1.0, -1.0, -1.0};
    int cycles = 1;
    unsigned seed = 1;
};

const std::vector<std::string>& TrajectoryNames();

// The amplitudes `name` uses when amplitudeMm holds negative components.
cv::Vec3d DefaultAmplitudeMm(const std::string& name);

// One pose per frame; false, with the reason in *error, for an unknown name or unusable options.
bool MakeTrajectory(const TrajectoryOptions& options, std::vector<CRigidMotion>& poses, std::string* error);
