// The live camera's matched depth with the rendered depth put in where a mode says: a diagnosis
// of which of the matched depth's errors moves the pose (evaluate_tracking --exact-depth).
#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace exact_depth {

// all: every pixel where both depths are measured; near: those within kNearMm of the truth (the
// far misses, the background bled in, keep the matched depth); interior / outline: those more
// than / at most kOutlinePx pixels from the head's outline in the rendered depth (a missing depth
// or a jump of more than kJumpMm to a neighbour); smooth / fine: the near pixels keep only the
// part of their error that a Gaussian of kSmoothPx pixels leaves / removes.
bool KnownMode(const std::string& mode);

constexpr float kNearMm = 20.0f;
constexpr float kOutlinePx = 4.0f;
constexpr float kJumpMm = 100.0f;
constexpr double kSmoothPx = 2.0;

// depth, x, y (CV_32F, the matched frame's) take the rendered `exact` depth where `mode` says;
// each changed pixel keeps its ray (x and y scale with its depth).
void Put(const std::string& mode, const cv::Mat& exact, cv::Mat& depth, cv::Mat& x, cv::Mat& y);

}  // namespace exact_depth
