// Synthetic stereo material for tests: textured images and pairs with a known disparity.
#pragma once

#include <opencv2/core.hpp>

namespace test_support {

// Deterministic random texture (smoothed noise stretched to 0..255), 8-bit gray.
cv::Mat Texture(int width, int height, unsigned seed);

// The right image of a fronto-parallel plane seen with the given disparity (pixels, may be
// fractional): right(x, y) = left(x + disparity, y), edges replicated.
cv::Mat ShiftedLeft(const cv::Mat& left, double disparity);

}  // namespace test_support
