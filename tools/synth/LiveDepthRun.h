// Runs stereo pairs through the live stereo camera the way the stereo source does: per frame one
// GrabFrame (capture and rectification), the left intensity, then X, Y, Z from the camera's own
// stereo matching; and times each frame.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

struct LiveDepthFrame {
    cv::Mat z;               // CV_32FC1, the camera's depth; 0 where it has none
    double seconds = 0.0;    // GrabFrame, intensity and X, Y, Z together
};

// Grabs `count` frames from the camera the parameter file describes (its capture source must hold
// them). False, with the reason in *error, when a grab fails.
bool RunLiveCamera(const std::string& parameterFile, int count, std::vector<LiveDepthFrame>& frames,
                   std::string* error);

// The parameter file `base` with `lines` after it (its keywords then win), written to `path`.
bool WriteParameterVariant(const std::string& base, const std::string& lines, const std::string& path,
                           std::string* error);
