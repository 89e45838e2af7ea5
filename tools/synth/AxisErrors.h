// How a tracked run's rotation error splits over the camera's three axes, and how much of each
// follows the run's main turn.
//
// A run's rotation RMS does not say why. An error that grows in step with the true angle about
// the turn's own axis is a gain (the turn read short or long); one that grows with it about
// another axis is crosstalk (a nod read partly as a turn aside); what neither explains is the
// rest, noise or errors that depend on the pose in no straight way. Each axis's error is fitted
// by a slope against the true angle about the main axis (the one the true poses turn furthest
// about, by RMS), through zero: at the start both are zero.
#pragma once

#include <vector>

#include "synth/TrackingRun.h"

struct AxisErrors {
    int frames = 0;
    int mainAxis = 0;  // 0, 1, 2: X, Y, Z of the camera (Y flipped where the data has Y up)
    // Degrees: the rotation vector of R_est R_true^T, per axis.
    cv::Vec3d rmsDeg{0.0, 0.0, 0.0};
    // Error per degree of true turn about the main axis (0.01: one per cent), and the RMS left
    // once that share is taken out.
    cv::Vec3d slope{0.0, 0.0, 0.0};
    cv::Vec3d restRmsDeg{0.0, 0.0, 0.0};
};

AxisErrors MeasureAxisErrors(const std::vector<TrackedFrameResult>& results);
