// The acceptance table of the real-motion work: every run of the options' trajectories, paths,
// modes and conditions against the bounds a user should be able to count on, beside OpenCV's
// odometry on the same frames.
//
// Bounds, per tracker run (rotation RMS and head-centre RMS over the tracked frames):
//   clean (noise-free)           rotation RMS <= 0.5 deg, head-centre RMS <= 3 mm
//   noisy, noholes (stereo-like) rotation RMS <= 1 deg,   head-centre RMS <= 5 mm
//   random, clean, keyframe mode the last frame (back at the start) within 0.5 deg
//   still (noisy), keyframe mode every frame within 0.2 deg
//   quickleave (host loop)       no tracked frame off by more than 3 deg, and tracking starts
//                                again within 10 frames of the face's return
// A keyframe mode is any mode but "previous". Beside each tracker run, whether it is more accurate
// than every peer on the same frames (rotation and head-centre RMS both below the best peer's).
#pragma once

#include <string>
#include <vector>

#include "evaluation/CaseRuns.h"
#include "evaluation/EvaluationOptions.h"
#include "evaluation/HostRuns.h"

struct AcceptanceBounds {
    double rotationRmsDeg = 0.5;
    double headCentreRmsMm = 3.0;
};

AcceptanceBounds BoundsFor(bool noisy);

// The condition's scene on top of the options' own: clean (noise-free), noisy (intensity noise of
// 2 grey levels, disparity noise of 0.1 pixel, no depth on weak texture and at 2 % of the pixels)
// or noholes (the noise without the holes).
void ApplyCondition(const std::string& condition, SequenceCase& sequence);

// Empty when the run meets its bounds, else what it misses, e.g. "rot rms 2.65 > 0.5".
std::string Shortfall(const RunRow& row, bool noisy);
// A run through the host's loop: wrong poses, and a restart too late after the face's return;
// with `moving` (the head set off while it was found) also Shortfall's bounds.
std::string HostShortfall(const HostRow& row, bool moving = false, bool noisy = false);
// "beats peers" or "peer better: icp 0.76 deg 0.29 mm"; empty without peer rows.
std::string PeerComparison(const RunRow& tracker, const std::vector<RunRow>& peers);

// Runs and prints the whole table; the exit status (0 also when runs miss their bounds: the
// table says so).
int RunAcceptance(const EvaluationOptions& options, const std::string& folder);
