// How far each frame-to-frame increment of a tracked run is from the true one.
//
// A run's rotation RMS mixes two things: how precise one pair is, and how the pairs' errors add
// up. A few hundredths of a degree a pair, random in sign, wander like a random walk, and two
// runs of the same tracker on two draws of noise can differ by a factor of two in RMS; a small
// error of one sign in every pair (a drift) grows with the run's length instead. The increments'
// errors tell them apart: their RMS is the precision of one pair, their mean the drift per pair.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "synth/TrackingRun.h"

struct IncrementErrors {
    int pairs = 0;  // consecutive tracked frames compared
    // About the axes the poses are given in (the camera's; Y flipped where the data has Y up),
    // degrees: the rotation vector of R_est R_true^T, the estimated increment against the true one.
    cv::Vec3d rmsDeg{0.0, 0.0, 0.0};
    cv::Vec3d meanDeg{0.0, 0.0, 0.0};
};

// Over every two results with consecutive frame indices (a gap, where tracking stopped or a frame
// went untracked, starts over).
IncrementErrors MeasureIncrements(const std::vector<TrackedFrameResult>& results);
