// A hand passing in front of the face, as when someone rubs an eye or reaches across: an upright
// elliptical palm with a skin-like texture, in a plane facing the camera a little in front of the
// head, crossing the whole image from left to right at the head's height, and perhaps resting
// on its way.
#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "synth/RigidMotion.h"

struct StereoRig;

struct HandPass {
    int firstFrame = -1;  // the frame the hand sets off at, just out of view; negative: no hand
    int frames = 20;      // frames it takes to cross to just out of view on the other side
    // On its way it may rest (a hand over the mouth, rubbing an eye) for restFrames frames, its
    // centre restXMm to the side of the optical axis, in its plane (X right).
    int restFrames = 0;
    double restXMm = 0.0;
    cv::Size2d semiAxesMm{50.0, 90.0};
    double inFrontMm = 200.0;  // of the head centre, along the optical axis

    bool Any() const { return firstFrame >= 0; }
    // Empty, or what is wrong with the settings.
    std::string Problem() const;
};

// Draws the hand of frame `frame` into one camera's image (grey levels, CV_32FC1, before exposure
// and noise), the camera at (originX, 0, 0) with its rows rowShift pixels lower. For the left
// camera x, y, z and headMask are given too: the hand's points replace what it hides.
void DrawHand(const HandPass& hand, const StereoRig& rig, const CRigidMotion& headPose, unsigned frame,
              double originX, double rowShift, cv::Mat& intensity, cv::Mat* x, cv::Mat* y, cv::Mat* z,
              cv::Mat* headMask);
