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
//   fastrandom random with every harmonic three times as fast
// A is amplitudeRad, n is cycles, (mx, my, mz) is amplitudeMm (a negative value picks the
// trajectory's own default).
//
// Timed trajectories move at the pace of a person, framesPerSecond frames a second, from the last
// still frame on, through raised-cosine moves (synth/WaypointProfile.h) whose fastest point has the
// given peak speed; they need at least TimedFrameCount frames, and rest after their motion:
//   glance     a look aside and back: yaw to +A, back to 0, to -A, back to 0, holding 0.3 s at each
//              (default A 40 degrees, peak 180 degrees per second: 6 degrees a frame at 30 fps)
//   nod        the same about the horizontal (X) axis, a look down and up (default A 25 degrees)
//   tilt       the same about the optical (Z) axis, the head leaning to one side and the other
//              (default A 25 degrees)
//   sway       the head centre swings sideways (along X) 0 -> +mx -> -mx -> +mx -> -mx -> 0
//              (default mx 80 mm, peak 650 mm per second: 8.7 pixels a frame at 950 mm, focal 380)
//   quickleave the head centre moves sideways by mx (default 900 mm, out of view at every distance
//              up to 1200 mm with a focal length of 300 pixels or more), stays out 0.5 s, comes back
//              and rests 1.5 s (default peak 1200 mm per second)
// Speeds are physical (degrees, millimetres per second), so a trajectory means the same motion at
// any distance and focal length; its speed in pixels scales with focal / distance.
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
    cv::Vec2d offsetMm{0.0, 0.0};  // where the head rests off the optical axis: right, down
    double amplitudeRad = -1.0;  // negative: the trajectory's own (glance 40 degrees, nod and tilt 25, the others 20)
    cv::Vec3d amplitudeMm{-1.0, -1.0, -1.0};
    int cycles = 1;
    unsigned seed = 1;
    double framesPerSecond = 30.0;
    double peakDegPerSecond = -1.0;  // glance, nod, tilt; negative: 180
    double peakMmPerSecond = -1.0;   // sway, quickleave; negative: 650, 1200
};

const std::vector<std::string>& TrajectoryNames();

// The amplitudes `name` uses when amplitudeMm holds negative components or amplitudeRad is negative.
cv::Vec3d DefaultAmplitudeMm(const std::string& name);
double DefaultAmplitudeRad(const std::string& name);

bool IsTimedTrajectory(const std::string& name);
// Frames a timed trajectory needs (still frames, motion, rest); 0 for the others.
int TimedFrameCount(const TrajectoryOptions& options);

// One pose per frame; false, with the reason in *error, for an unknown name or unusable options.
bool MakeTrajectory(const TrajectoryOptions& options, std::vector<CRigidMotion>& poses, std::string* error);
