// How far the tracker's poses are from the truth, and the angles people read poses by.
//
// Yaw, pitch and roll are the angles, in degrees, of R = Ry(yaw) Rx(pitch) Rz(roll) with Ra the
// right-handed rotation about the camera's axis a; the Java side's HeadPose uses the same rule.
// A tracked pose at frame k is the motion from the frame where its face was found (k0) to frame
// k, so it is compared with the ground truth's Motion(k0, k), flipped when the tracker's 3D
// frame has Y up.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "report/TrackLog.h"
#include "synth/GroundTruth.h"
#include "synth/TrackingErrors.h"

struct YawPitchRoll {
    double yaw = 0.0;
    double pitch = 0.0;
    double roll = 0.0;
};

YawPitchRoll ToYawPitchRoll(const cv::Matx33d& rotation);

// For every step, the true motion its pose should equal: Motion(anchor, frame) for tracked steps
// and the finding step (the identity), nothing for detecting steps or frames the truth lacks.
struct StepTruth {
    bool valid = false;
    CRigidMotion motion;
};
std::vector<StepTruth> TruthForSteps(const CTrackLog& log, const CGroundTruth& truth, bool yUp);

// Over the tracked steps that have a truth.
TrackingErrors CompareWithTruth(const CTrackLog& log, const std::vector<StepTruth>& truths);
